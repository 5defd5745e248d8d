#include "screening/securities_list.h"

#include <gtest/gtest.h>

#include "foundation/text_encoding.h"
#include "screening_market.h"

namespace vorn {
namespace {

using test::AddListing;
using test::CMarketBuilder;
using test::Flat;
using test::ScreeningMarket;

constexpr SecurityKey kFishery = MakeSecurityKey(1301, 1);
constexpr SecurityKey kIndex = MakeSecurityKey(2002, 2);
constexpr SecurityKey kSwitch = MakeSecurityKey(3003, 1);

CMarketBuilder ListMarket() {
    const auto day = test::ScreeningDays()[0];
    CMarketBuilder builder;
    builder.Calendar(test::ScreeningDays())
        .Company(1301, 1, Utf8ToCp932("極洋"))
        .Company(2002, 34, Utf8ToCp932("指数"))
        .Company(3003, 5, Utf8ToCp932("東和"));
    AddListing(builder, 1301, 1, {Flat(1000), Flat(1234)});
    AddListing(builder, 2002, 2, {Flat(12345)});
    builder.Flags(2002, 2, 1, kListingHundredths); // 123.45 yen
    AddListing(builder, 3003, 1, {Flat(50)}, 0, 1);
    builder.History(1301, {{day, 1000000}}).History(2002, {{day, 1000}});
    return builder;
}

class SecuritiesListTest : public ::testing::Test {
protected:
    SecuritiesListTest() : market_(ListMarket()), list_(*market_.matrix, market_.analysis) {
        market_.Prefer(1301, 1);
        market_.Prefer(2002, 2);
        market_.Prefer(3003, 1);
        ListingAnalysis& fishery = market_.Record(kFishery);
        fishery.annualReturn = 12.5;
        fishery.beta = -1234.5;
        ListingAnalysis& change = market_.Record(kSwitch);
        change.position = kPositionSwitchSell;
        change.daysSinceEvent = 0;
        change.lastEventSignal = 2;
        change.lastEventLaw = 1; // "窓空け下落"
        change.annualRisk = 30;
        change.beta = 0.3;
        market_.inclinations = {{kSwitch, 1.5, 0.0}};
        list_.SetIndicatorValues(market_.inclinations, market_.turnovers);
        settings_ = MakeDefaultScreeningSettings();
        settings_.preferred = {kIndex}; // it has no analysis record
    }

    std::string Row(std::size_t row) const {
        std::string text;
        for (int column = 0; column < kSecuritiesColumnCount; ++column)
            text += (column ? "|" : "") + list_.CellText(row, column);
        return text;
    }

    ScreeningMarket market_;
    CSecuritiesList list_;
    ScreeningSettings settings_;
};

TEST_F(SecuritiesListTest, RebuildListsPassingSecuritiesAndAveragesOverAllOfThem) {
    list_.RebuildSecurities(settings_);
    ASSERT_EQ(list_.RowCount(), 3u);
    EXPECT_EQ(list_.RowKey(0), kFishery);
    EXPECT_EQ(list_.RowKey(1), kIndex);
    EXPECT_EQ(list_.RowKey(2), kSwitch);
    // The security without a record counts in the divisor.
    EXPECT_DOUBLE_EQ(list_.Summary().averageReturn, 12.5 / 3);
    EXPECT_DOUBLE_EQ(list_.Summary().averageRisk, 10.0);
    EXPECT_DOUBLE_EQ(list_.Summary().averageBeta, (-1234.5 + 0.3) / 3);
    EXPECT_EQ(list_.SummaryText(),
              "銘柄数：3 平均リターン：4.17 平均リスク：10.00 平均ベータ：-411.40");

    settings_.markets = 0;
    settings_.preferred.Clear();
    list_.RebuildSecurities(settings_);
    EXPECT_EQ(list_.RowCount(), 0u);
    EXPECT_EQ(list_.SummaryText(),
              "銘柄数：0 平均リターン：0.00 平均リスク：0.00 平均ベータ：0.00");
}

TEST_F(SecuritiesListTest, CellTexts) {
    list_.RebuildSecurities(settings_);
    EXPECT_EQ(Row(0), "1301|極洋|東証一|水産・農林業|1,234|1,234,000,000|なし|買い継続|+12.50|"
                      "0.00|-1,234.50|－|－");
    // Priced in hundredths: the price and the capitalisation in yen (1,000 x 123.45).
    EXPECT_EQ(Row(1), "2002|指数|東証二|株価指標|123.45|123,450|#N/A|#N/A|#N/A|#N/A|#N/A|－|－");
    EXPECT_EQ(Row(2), "3003|東和|東証一|繊維製品|500|－|窓空け下落|売り転換|0.00|+30.00|+0.30|"
                      "0.00|+1.50");
    EXPECT_EQ(list_.CellText(3, 0), "");
    EXPECT_EQ(list_.CellText(0, kSecuritiesColumnCount), "");

    EXPECT_STREQ(SecuritiesColumnHeading(kColumnCurrentInclination), "傾斜(当日)");
    EXPECT_TRUE(IsSecuritiesColumnRightAligned(kColumnMarketCap));
    EXPECT_FALSE(IsSecuritiesColumnRightAligned(kColumnLaw));
}

TEST_F(SecuritiesListTest, CsvExportOfSelectedRows) {
    list_.RebuildSecurities(settings_);
    const std::size_t rows[] = {2, 1, 0, 7};
    const std::string expected = "3003,東和,東証一,繊維製品,500,,窓空け下落,売り転換,+0.00,+30.00,"
                                 "+0.30,+0.00,+1.50\n"
                                 "2002,指数,東証二,株価指標,123.45,123450,"
                                 "#N/A,#N/A,#N/A,#N/A,#N/A,#N/A,#N/A\n"
                                 "1301,極洋,東証一,水産・農林業,1234,1234000000,なし,買い継続,"
                                 "+12.50,+0.00,-1234.50,,\n";
    EXPECT_EQ(list_.CopySelectionAsCsv(rows), Utf8ToCp932(expected));
    EXPECT_EQ(list_.CopyAllAsCsv().size(), Utf8ToCp932(expected).size());
}

TEST_F(SecuritiesListTest, RankModeWaitsForPrepare) {
    settings_.preferred.Clear();
    settings_.annualReturn = {kRangeOn | kRangeRankMode | kRangeUpperSet | kRangeLowerSet, 1, 1};
    list_.RebuildSecurities(settings_);
    EXPECT_EQ(list_.RowCount(), 0u);
    list_.Prepare();
    list_.RebuildSecurities(settings_);
    ASSERT_EQ(list_.RowCount(), 1u);
    EXPECT_EQ(list_.RowKey(0), kFishery);
}

} // namespace
} // namespace vorn
