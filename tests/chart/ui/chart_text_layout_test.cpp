// No two texts of the chart overlap and none leaves it, at any size, for every kind of stock.
#include "chart/ui/graph.h"
#include "foundation/text_encoding.h"
#include "gaps/analysed_market.h"

#include <gtest/gtest.h>

#include "support/offscreen_application.h"

namespace vorn {
namespace {

constexpr PackedDate kFirstDay = MakePackedDate(2005, 1, 4);
constexpr int kDays = 900; // beyond three year labels
constexpr std::uint16_t kFlat = 1301;
constexpr std::uint16_t kVolatile = 6758;
constexpr std::uint16_t kHundredths = 2413;
constexpr std::uint16_t kIndex = 1001;

std::vector<test::Ohlcv> FlatRows() {
    return std::vector<test::Ohlcv>(kDays, {500, 500, 500, 500, 100});
}

// Wide swings with gaps both ways and volumes that need the thousands unit.
std::vector<test::Ohlcv> VolatileRows() {
    std::vector<test::Ohlcv> rows;
    for (int i = 0; i < kDays; ++i) {
        const std::uint32_t wave = static_cast<std::uint32_t>((i * 37) % 90);
        const std::uint32_t base = 1'000'000 + wave * 9'000 + ((i / 20) % 2) * 150'000;
        rows.push_back({base, base + 20'000, base - 15'000,
                        base + static_cast<std::uint32_t>(i % 3) * 9'000 - 9'000,
                        400'000'000ull + static_cast<std::uint64_t>(i % 11) * 70'000'000ull});
    }
    return rows;
}

// Prices in hundredths of a yen.
std::vector<test::Ohlcv> HundredthsRows() {
    std::vector<test::Ohlcv> rows;
    for (int i = 0; i < kDays; ++i) {
        const std::uint32_t base = 12'345 + static_cast<std::uint32_t>((i * 13) % 400);
        rows.push_back({base, base + 35, base - 20, base + 10, 5'000 + i % 7});
    }
    return rows;
}

std::vector<test::Ohlcv> IndexRows() {
    std::vector<test::Ohlcv> rows;
    for (int i = 0; i < kDays; ++i) {
        const std::uint32_t base = 17'000 + static_cast<std::uint32_t>((i * 29) % 2'000);
        rows.push_back({base, base + 120, base - 130, base + 40, 1'500'000'000ull + i});
    }
    return rows;
}

test::CMarketBuilder Builder() {
    test::CMarketBuilder builder;
    builder.Calendar(test::Weekdays(kFirstDay, kDays))
        .Company(kFlat, 1, Utf8ToCp932("極洋"))
        .Company(kVolatile, 16, Utf8ToCp932("ソニーグループ株式会社の長い名前の会社"))
        .Company(kHundredths, 10, Utf8ToCp932("エムスリー"))
        .Company(kIndex, 34, Utf8ToCp932("日経平均"))
        .Security(kFlat, 1, kFirstDay, FlatRows())
        .Security(kVolatile, 1, kFirstDay, VolatileRows())
        .Security(kHundredths, 1, kFirstDay, HundredthsRows())
        .Flags(kHundredths, 1, 100, 0x80)
        .Security(kIndex, 1, kFirstDay, IndexRows());
    return builder;
}

struct LayoutCase {
    bool white;
    PeriodKind seriesKind;
};

class ChartTextLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ChartTextLayout, NoTwoTextsOverlapAtAnySize) {
    test::OffscreenApplication();
    test::CAnalysedMarket market(Builder());
    ASSERT_TRUE(market.Mapped());
    CGraph graph;
    graph.SetMarket(&market.Matrix(), &market.Windows(), &market.Performer());
    graph.SetColourScheme(GetParam().white);
    graph.show();
    const QSize sizes[] = {{320, 200},  {400, 260},  {480, 320},  {640, 400},   {800, 500},
                           {1024, 640}, {1366, 768}, {1600, 900}, {1920, 1080}, {2560, 1440}};
    int checked = 0;
    for (std::uint16_t code : {kFlat, kVolatile, kHundredths, kIndex}) {
        for (const QSize& size : sizes) {
            // The default period and the whole history (most year labels and markers).
            for (std::uint16_t days : {std::uint16_t{120}, std::uint16_t{0xFFFF}}) {
                graph.resize(size);
                ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(code, 1), GetParam().seriesKind,
                                               days, CChartModel::kLastPosition))
                    << code;
                const std::vector<ChartText>& texts = graph.Texts();
                const QRect chart(QPoint(0, 0), size);
                const std::string where =
                    std::to_string(code) + " at " + std::to_string(size.width()) + "x" +
                    std::to_string(size.height()) + ", " + std::to_string(days) + " days";
                ASSERT_FALSE(texts.empty()) << where;
                // The caption line always comes first.
                EXPECT_EQ(texts.front().font, ChartTextFont::Caption) << where;
                for (std::size_t i = 0; i < texts.size(); ++i) {
                    EXPECT_TRUE(chart.contains(texts[i].rect))
                        << where << ": " << texts[i].text.toStdString();
                    for (std::size_t j = i + 1; j < texts.size(); ++j)
                        EXPECT_FALSE(texts[i].rect.intersects(texts[j].rect))
                            << where << ": \"" << texts[i].text.toStdString() << "\" and \""
                            << texts[j].text.toStdString() << "\"";
                }
                if (size.height() >= 400) {
                    // Room enough: the price scale and both markers are shown.
                    const auto count = [&](ChartColour colour) {
                        return std::count_if(
                            texts.begin(), texts.end(),
                            [colour](const ChartText& text) { return text.colour == colour; });
                    };
                    // A flat stock has one price to show.
                    EXPECT_GE(count(kColourPriceText), code == kFlat ? 1 : 2) << where;
                    EXPECT_EQ(count(kColourMarkerDate), 2) << where;
                }
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 4 * 10 * 2);
}

INSTANTIATE_TEST_SUITE_P(SchemesAndPeriods, ChartTextLayout,
                         ::testing::Values(LayoutCase{false, PeriodKind::Daily},
                                           LayoutCase{true, PeriodKind::Daily},
                                           LayoutCase{false, PeriodKind::Weekly},
                                           LayoutCase{true, PeriodKind::Monthly}),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             return std::string(info.param.white ? "White" : "Black") +
                                    std::to_string(PeriodIndex(info.param.seriesKind));
                         });

// The volume unit stays readable when the lowest price label takes its usual place.
TEST(ChartTextLayout, VolumeUnitMovesRatherThanOverlapping) {
    test::OffscreenApplication();
    test::CAnalysedMarket market(Builder());
    CGraph graph;
    graph.SetMarket(&market.Matrix(), &market.Windows(), &market.Performer());
    graph.resize(800, 500);
    graph.show();
    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kVolatile, 1), PeriodKind::Daily, 120,
                                   CChartModel::kLastPosition));
    const std::vector<ChartText>& texts = graph.Texts();
    EXPECT_EQ(
        std::count_if(texts.begin(), texts.end(),
                      [](const ChartText& text) { return text.text == QStringLiteral("千株"); }),
        1);
}

} // namespace
} // namespace vorn
