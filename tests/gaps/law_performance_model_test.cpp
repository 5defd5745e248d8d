#include "gaps/law_performance_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gaps/analysed_market.h"

namespace vorn {
namespace {

using test::CAnalysedMarket;
using test::CMarketBuilder;
using test::TwoWindowRows;

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr std::uint16_t kCode = 1301;

LawStats& StatsOf(std::array<LawStats, kLawCount>& stats, std::uint8_t code) {
    return stats[static_cast<std::size_t>(LawStatsIndex(code))];
}

TEST(LawPerformanceRows, LabelsInRowOrderAndGreyZeros) {
    std::string labels;
    for (const LawPerformanceRow& row : BuildLawPerformanceRows({})) {
        labels += row.label + (row.labelColour == kBuyLawColour ? "+" : "-") + row.axisLabel;
        // Nothing traded: counts and percentages in grey.
        EXPECT_EQ(row.evens.text + row.winRateCell.text + row.averageReturnCell.text,
                  "00.00%0.00%");
        EXPECT_TRUE(row.evens.colour == kTextGrey && row.winRateCell.colour == kTextGrey &&
                    row.averageReturnCell.colour == kTextGrey);
    }
    EXPECT_EQ(labels, "[1]窓空け上昇+[1][2]下方窓到達+[2][3]窓空け上昇も上方窓到達+[3]"
                      "[4]上下窓埋め陰線+[4][1]窓空け下落-[1][2]上方窓到達-[2]"
                      "[3]窓空け下落も下方窓到達-[3][4]上下窓埋め陽線-[4]");
}

TEST(LawPerformanceRows, RatesReturnsAndTheirColours) {
    std::array<LawStats, kLawCount> stats{};
    StatsOf(stats, kLaw1Buy) = {2, 1, 0, 0.09};      // 66.67 %, +3.00 %
    StatsOf(stats, kLaw1Sell) = {0, 0, 3, 0.0};      // evens only
    StatsOf(stats, kLaw2Sell) = {1, 3, 0, -0.1};     // 25 %, -2.50 %
    StatsOf(stats, kLaw4Sell) = {1500, 1500, 0, 30}; // 50 %, +1.00 %
    StatsOf(stats, kLaw3Buy) = {1, 0, 0, 123.456};   // +12,345.60 %
    const auto rows = BuildLawPerformanceRows(stats);

    EXPECT_EQ(rows[0].trades, 3u);
    EXPECT_EQ(rows[0].wins.text, "2");
    EXPECT_EQ(rows[0].wins.colour, kTextWhite);
    EXPECT_EQ(rows[0].evens.text, "0");
    EXPECT_EQ(rows[0].evens.colour, kTextWhite); // the law traded
    EXPECT_EQ(rows[0].winRateCell.text, "66.67%");
    EXPECT_EQ(rows[0].averageReturnCell.text, "+3.00%");
    EXPECT_EQ(rows[0].averageReturnCell.colour, kGainColour);

    EXPECT_EQ(rows[4].winRateCell.text, "0.00%");
    EXPECT_EQ(rows[4].winRateCell.colour, kTextWhite);
    EXPECT_EQ(rows[4].averageReturnCell.text, "0.00%");
    EXPECT_EQ(rows[4].averageReturnCell.colour, kTextWhite);

    EXPECT_EQ(rows[5].winRateCell.text, "25.00%");
    EXPECT_EQ(rows[5].averageReturnCell.text, "-2.50%");
    EXPECT_EQ(rows[5].averageReturnCell.colour, kLossColour);

    EXPECT_EQ(rows[7].wins.text, "1500"); // counts are "%u", without separators
    EXPECT_EQ(rows[7].winRateCell.text, "50.00%");
    EXPECT_EQ(rows[2].averageReturnCell.text, "+12,345.60%");
    EXPECT_EQ(rows[2].winRateCell.text, "100.00%");
}

TEST(LawPerformanceRadar, VerticesClampAndSitOnTheirAxes) {
    // Axis 5 (buy law 1) points up and to the left; axis 0 (sell law 3) down and right.
    EXPECT_EQ(RadarVertex(5, 0.0, 5.0, 100, 100, 80), (RadarPoint{99, 99}));
    const RadarPoint edge = RadarVertex(5, 5.0, 5.0, 100.5, 100.5, 80);
    EXPECT_EQ(edge, (RadarPoint{static_cast<int>(100.5 + 80 * std::cos(4.31968625)) - 1,
                                static_cast<int>(100.5 + 80 * std::sin(4.31968625)) - 1}));
    EXPECT_EQ(edge, (RadarPoint{68, 25}));
    EXPECT_EQ(RadarVertex(5, 12.0, 5.0, 100.5, 100.5, 80), edge); // beyond the scale
    EXPECT_EQ(RadarVertex(5, -3.0, 5.0, 100, 100, 80), (RadarPoint{99, 99}));
    EXPECT_EQ(RadarVertex(5, std::numeric_limits<double>::quiet_NaN(), 5.0, 100, 100, 80),
              (RadarPoint{99, 99}));
    EXPECT_EQ(RadarVertex(0, 50.0, 100.0, 100, 100, 80), (RadarPoint{135, 114}));
}

TEST(LawPerformancePanel, ShowsTheSelectedSecuritysRecordOnce) {
    CAnalysedMarket market(CMarketBuilder()
                               .Security(kCode, 1, kFirstDay, TwoWindowRows())
                               .Security(kCode, 2, kFirstDay, TwoWindowRows()));
    const ListingAnalysis* analysed = market.Analyse(kCode, 1);
    ASSERT_NE(analysed, nullptr);
    AnalysisResults results;
    ListingAnalysis record = *analysed;
    record.lawStats[static_cast<std::size_t>(LawStatsIndex(kLaw2Sell))] = {1, 0, 0, 0.5};
    results.records[MakeSecurityKey(kCode, 1)] = record;
    const SecurityRecord* first = market.Matrix().FindSecurity(MakeSecurityKey(kCode, 1));
    const SecurityRecord* second = market.Matrix().FindSecurity(MakeSecurityKey(kCode, 2));

    CLawPerformanceModel panel;
    EXPECT_EQ(panel.Title(), "法則別パフォーマンス");
    EXPECT_FALSE(panel.SetListing(nullptr, results)); // nothing shown yet either

    ASSERT_TRUE(panel.SetListing(first, results));
    EXPECT_EQ(panel.Title(), "法則別パフォーマンス [1301：東証一部]");
    // The analysed law-1 buy was closed by the law-3 sell at 96 after entering at 112.
    const LawPerformanceRow* buy = panel.RowOf(kLaw1Buy);
    ASSERT_NE(buy, nullptr);
    EXPECT_EQ(buy->losses.text, "1");
    EXPECT_EQ(buy->averageReturnCell.text, "-14.29%");
    const RadarPolygon returns = panel.AverageReturnPolygon(100, 100, 80);
    EXPECT_EQ(returns[5], (RadarPoint{99, 99}));                    // negative: at the centre
    EXPECT_EQ(returns[7], RadarVertex(7, 50.0, 5.0, 100, 100, 80)); // +50 % clamps to the edge
    const RadarPolygon rates = panel.WinRatePolygon(100, 100, 80);
    EXPECT_EQ(rates[7], RadarVertex(7, 100.0, 100.0, 100, 100, 80));
    EXPECT_EQ(rates[5], (RadarPoint{99, 99}));

    // The same security again changes nothing, even when its record has changed.
    results.records.clear();
    EXPECT_FALSE(panel.SetListing(first, results));
    EXPECT_EQ(panel.RowOf(kLaw2Sell)->wins.text, "1");

    // A security without a record shows the bare title and zeros.
    ASSERT_TRUE(panel.SetListing(second, results));
    EXPECT_EQ(panel.Title(), "法則別パフォーマンス");
    for (const LawPerformanceRow& row : panel.Rows()) {
        EXPECT_EQ(row.trades, 0u);
        EXPECT_EQ(row.losses.colour, kTextGrey);
    }
    EXPECT_EQ(panel.RowOf(kLawNone), nullptr);
    EXPECT_EQ(panel.RowOf(static_cast<LawCode>(3)), nullptr);
}

} // namespace
} // namespace vorn
