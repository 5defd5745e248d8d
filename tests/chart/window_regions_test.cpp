#include "chart/window_regions.h"

#include <gtest/gtest.h>

#include "support/market_builder.h"

namespace vorn {
namespace {

constexpr std::uint16_t kCode = 1301;
constexpr std::uint8_t kMarket = 1;

std::unique_ptr<CMarketMatrix> Market() {
    std::vector<test::Ohlcv> rows;
    for (int i = 0; i < 300; ++i) {
        const auto wave = static_cast<std::uint32_t>((i * 37) % 200);
        rows.push_back({1000 + wave, 1015 + wave, 985 + wave, 1000 + wave, 10000});
    }
    const auto days = test::Weekdays(MakePackedDate(2007, 1, 4), 300);
    return test::CMarketBuilder().Calendar(days).Security(kCode, kMarket, days[0], rows).Build();
}

WindowStateRecord Record(std::uint8_t state, std::uint16_t day, std::uint32_t price) {
    return {7, state, day, price};
}

// Series days 100..199 on show; the stock starts at calendar position 0.
class WindowRegions : public ::testing::Test {
protected:
    WindowRegions() : matrix(Market()), model(*matrix) {
        model.SetViewSize(1000, 600);
        EXPECT_TRUE(model.LoadStock(matrix->FindSecurity(MakeSecurityKey(kCode, kMarket))));
        EXPECT_TRUE(model.SetDisplay(PeriodKind::Daily, 100, 100));
    }
    bool Build(std::vector<WindowStateRecord> records) {
        return BuildWindowRegion(records, 0, model.Layout(), c(), region);
    }
    const CChartCoordinates& c() const { return model.Coordinates(); }

    std::unique_ptr<CMarketMatrix> matrix;
    CChartModel model;
    ChartWindowRegion region;
};

TEST_F(WindowRegions, NarrowingStepsAtTheCandleBeforeTheRecord) {
    ASSERT_TRUE(Build({Record(1, 110, 1050), Record(0, 110, 1100), Record(16, 115, 1080),
                       Record(64, 120, 1050)}));
    EXPECT_EQ(region.identifier, 7);
    EXPECT_EQ(region.kind, 1);
    ASSERT_EQ(region.strips.size(), 2u);
    const ChartRect& first = region.strips[0];
    EXPECT_EQ(first.left, c().BodyLeft(10));
    EXPECT_EQ(first.right, c().BodyRight(14) + 1);
    EXPECT_EQ(first.top, c().YOfPrice(1100));
    EXPECT_EQ(first.bottom, c().YOfPrice(1050));
    const ChartRect& second = region.strips[1];
    EXPECT_EQ(second.left, first.right);
    EXPECT_EQ(second.right, c().BodyRight(19) + 1);
    EXPECT_EQ(second.top, c().YOfPrice(1080));
    EXPECT_EQ(second.bottom, c().YOfPrice(1050));
}

TEST_F(WindowRegions, WindowsReachingIntoTheViewUseItsEdges) {
    // Opened and raised before the view, still open after it.
    ASSERT_TRUE(Build({Record(2, 90, 1150), Record(0, 90, 1120), Record(32, 95, 1130)}));
    EXPECT_EQ(region.kind, 2);
    ASSERT_EQ(region.strips.size(), 1u);
    EXPECT_EQ(region.strips[0].left, c().BodyLeft(0));
    EXPECT_EQ(region.strips[0].right, c().BodyRight(99) + 1);
    EXPECT_EQ(region.strips[0].bottom, c().YOfPrice(1130));
    EXPECT_EQ(region.strips[0].top, c().YOfPrice(1150));
}

TEST_F(WindowRegions, WindowsOffTheViewOrTheScaleAreSkipped) {
    EXPECT_FALSE(Build({Record(1, 110, 1050)}));
    EXPECT_FALSE(Build({Record(1, 110, 1050), Record(0, 110, 1100), Record(64, 110, 1050)}));
    EXPECT_FALSE(Build({Record(1, 250, 1050), Record(0, 250, 1100)}));
    EXPECT_FALSE(Build({Record(1, 50, 1050), Record(0, 50, 1100), Record(64, 60, 1050)}));
    EXPECT_FALSE(Build({Record(1, 110, 5000), Record(0, 110, 6000)}));
    EXPECT_FALSE(Build({Record(16, 110, 1050), Record(0, 110, 1100)}));
    EXPECT_TRUE(region.strips.empty());

    // Cut at the top of the scale.
    ASSERT_TRUE(Build({Record(1, 110, 1150), Record(0, 110, 9000)}));
    EXPECT_EQ(region.strips[0].top, c().YOfPrice(c().PriceHigh()));
    // Equal bounds still cover one row.
    ASSERT_TRUE(Build({Record(1, 110, 1100), Record(0, 110, 1100)}));
    EXPECT_EQ(region.strips[0].top, region.strips[0].bottom);
}

TEST_F(WindowRegions, HitTestFindsTheRegionsOfThePerformer) {
    CWindowsPerformer performer;
    performer.SetPositions(0, 299);
    for (const auto& r : {Record(1, 110, 1050), Record(0, 110, 1100), Record(64, 120, 1050)})
        performer.AppendRecord({1, r.state, r.day, r.price});
    for (const auto& r : {Record(1, 10, 1050), Record(0, 10, 1100), Record(64, 20, 1050)})
        performer.AppendRecord({2, r.state, r.day, r.price}); // before the view
    for (const auto& r : {Record(2, 130, 1190), Record(0, 130, 1160)})
        performer.AppendRecord({3, r.state, r.day, r.price});
    performer.FinishHistory();
    const auto regions = BuildWindowRegions(performer, model.Layout(), c());
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0].identifier, 1);
    EXPECT_EQ(regions[1].identifier, 3);

    // The first column of a slot lies left of its candle body.
    const ChartHitResult hit = model.HitTest(c().SlotLeft(35), c().YOfPrice(1175), regions);
    EXPECT_EQ(hit.hit, ChartHit::Window);
    EXPECT_EQ(hit.window, 1);
    EXPECT_EQ(model.HitTest(c().SlotLeft(5), c().YOfPrice(1175), regions).hit, ChartHit::PricePane);

    ASSERT_TRUE(model.SetDisplay(PeriodKind::Weekly, 100, 0));
    EXPECT_TRUE(BuildWindowRegions(performer, model.Layout(), c()).empty());
}

} // namespace
} // namespace vorn
