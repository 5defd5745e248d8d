#include "screening/screening_filter.h"

#include <gtest/gtest.h>

#include "matrix/name_tables.h"
#include "screening/rank_index.h"
#include "screening_market.h"

namespace vorn {
namespace {

using test::AddListing;
using test::CMarketBuilder;
using test::Flat;
using test::Ohlcv;
using test::ScreeningMarket;

constexpr SecurityKey kMain = MakeSecurityKey(1001, 1);   // preferred listing, industry 1
constexpr SecurityKey kSecond = MakeSecurityKey(1001, 2); // the same company elsewhere
constexpr SecurityKey kIndex = MakeSecurityKey(2002, 3);  // industry 34
constexpr SecurityKey kStale = MakeSecurityKey(3003, 1);  // last traded two days ago
constexpr SecurityKey kMargin = MakeSecurityKey(4004, 1); // margin-tradable

CMarketBuilder BaseMarket() {
    CMarketBuilder builder;
    builder.Calendar(test::ScreeningDays())
        .Company(1001, 1)
        .Company(2002, kIndustryPriceIndex)
        .Company(3003, 5)
        .Company(4004, 5);
    AddListing(builder, 1001, 1, {Flat(500), Flat(500), Flat(500), Flat(500), Flat(500)});
    AddListing(builder, 1001, 2, {Flat(510), Flat(510)});
    AddListing(builder, 2002, 3, {Flat(200), Flat(200)});
    AddListing(builder, 3003, 1, {Flat(300), Flat(300)}, 2);
    AddListing(builder, 4004, 1, {Flat(400), Flat(400)});
    builder.Flags(4004, 1, 1, kListingMarginTradable);
    return builder;
}

class ScreeningFilterTest : public ::testing::Test {
protected:
    ScreeningFilterTest() : market_(BaseMarket()) {
        market_.Prefer(1001, 1);
        market_.Prefer(2002, 3);
        market_.Prefer(3003, 1);
        market_.Prefer(4004, 1);
        for (SecurityKey key : {kMain, kSecond, kIndex, kStale, kMargin})
            market_.Record(key);
        settings_ = MakeDefaultScreeningSettings();
    }

    bool Passes(SecurityKey key, const RankIndexes* ranks = nullptr) const {
        return MatchesScreening(market_.Sources(ranks), settings_, market_.Security(key));
    }
    ListingAnalysis& Record(SecurityKey key) { return market_.analysis.records[key]; }

    ScreeningMarket market_;
    ScreeningSettings settings_;
};

TEST_F(ScreeningFilterTest, PreferredAndExcludedSetsOverrideEveryCondition) {
    settings_.markets = 0;
    market_.analysis.records.erase(kIndex);
    EXPECT_FALSE(Passes(kMain));
    settings_.preferred = {kMain, kIndex};
    EXPECT_TRUE(Passes(kMain));
    EXPECT_TRUE(Passes(kIndex)) << "a preferred security needs no analysis record";

    settings_ = MakeDefaultScreeningSettings();
    ASSERT_TRUE(Passes(kMargin));
    settings_.excluded = {kMargin, kMain};
    EXPECT_FALSE(Passes(kMargin));
    settings_.preferred = {kMain};
    EXPECT_TRUE(Passes(kMain)) << "preferred is tested before excluded";
}

TEST_F(ScreeningFilterTest, MarketAndSectorBitsSelect) {
    EXPECT_TRUE(Passes(kMain));
    EXPECT_TRUE(Passes(kIndex));
    settings_.markets = kAllMarkets & ~1u;
    EXPECT_FALSE(Passes(kMain));
    EXPECT_TRUE(Passes(kIndex));

    settings_.markets = kAllMarkets;
    settings_.sectors = std::uint64_t{1} << 33; // the price index, in the high word
    EXPECT_TRUE(Passes(kIndex));
    EXPECT_FALSE(Passes(kMain));
    settings_.sectors = kAllSectors & ~(std::uint64_t{1} << 33);
    EXPECT_FALSE(Passes(kIndex));
    EXPECT_TRUE(Passes(kMain));
}

TEST_F(ScreeningFilterTest, OptionsSelectPreferredMarginTradableAndCurrentListings) {
    EXPECT_FALSE(Passes(kSecond)) << "not the company's preferred market";
    settings_.options = 0;
    EXPECT_TRUE(Passes(kSecond));
    market_.matrix->PreferredMarkets().erase(1001);
    settings_.options = kOptionPreferredMarketOnly;
    EXPECT_FALSE(Passes(kMain)) << "a company without a preferred market";

    settings_.options = kOptionMarginTradableOnly;
    EXPECT_TRUE(Passes(kMargin));
    EXPECT_FALSE(Passes(kSecond));

    settings_.options = kOptionPreferredMarketOnly;
    EXPECT_FALSE(Passes(kStale));
    settings_.options = kOptionPreferredMarketOnly | kOptionIncludeDelisted;
    EXPECT_TRUE(Passes(kStale));
}

TEST_F(ScreeningFilterTest, AnalysisRecordIsRequired) {
    market_.analysis.records.erase(kMain);
    EXPECT_FALSE(Passes(kMain));
}

TEST_F(ScreeningFilterTest, LawsMatchTheLastDayEventOrAcceptNoEvent) {
    // HeldBuy: the last event was three days ago.
    settings_.laws = 0x00FF;
    EXPECT_FALSE(Passes(kMain));
    settings_.laws = kLawsAcceptWithoutEvent;
    EXPECT_TRUE(Passes(kMain));
    settings_.laws = 0;
    EXPECT_FALSE(Passes(kMain));

    ListingAnalysis& r = Record(kMain);
    r.daysSinceEvent = 0;
    r.lastEventSignal = kUpWindowOpened;
    r.lastEventLaw = 3; // law 3 buy, code 16
    settings_.laws = kLaw3Buy;
    EXPECT_TRUE(Passes(kMain));
    settings_.laws = kAllLaws & ~kLaw3Buy;
    EXPECT_FALSE(Passes(kMain));

    // An event on the last day that gave no signal shows no law.
    r.lastEventSignal = 0;
    r.lastEventLaw = 4;
    settings_.laws = 0x00FF;
    EXPECT_FALSE(Passes(kMain));
    settings_.laws = kAllLaws;
    EXPECT_TRUE(Passes(kMain));
}

TEST_F(ScreeningFilterTest, PositionsSelectByBit) {
    ListingAnalysis& r = Record(kMain);
    r.position = kPositionNone;
    settings_.positions = 0x3F;
    EXPECT_FALSE(Passes(kMain));
    settings_.positions = kPositionsNone;
    EXPECT_TRUE(Passes(kMain));

    r.position = kPositionSwitchBuy;
    settings_.positions = 4;
    EXPECT_TRUE(Passes(kMain));
    settings_.positions = 0xFB;
    EXPECT_FALSE(Passes(kMain));

    r.position = static_cast<PositionCode>(7); // not a position code
    settings_.positions = 0xFF;
    EXPECT_FALSE(Passes(kMain));
}

TEST_F(ScreeningFilterTest, CandleShapesPassWhenEveryBitIsAccepted) {
    ListingAnalysis& r = Record(kMain);
    r.candleShape = 0;
    settings_.candleShapes = kShapeBlack;
    EXPECT_TRUE(Passes(kMain)) << "a shape that was not computed";
    settings_.candleShapes = 0;
    EXPECT_FALSE(Passes(kMain));

    r.candleShape = kCandleShapeNoVolume;
    settings_.candleShapes = 0x0FFF;
    EXPECT_FALSE(Passes(kMain));
    settings_.candleShapes = kAllCandleShapes;
    EXPECT_TRUE(Passes(kMain));

    r.candleShape = kShapeBlackBothShadows;
    settings_.candleShapes = kShapeBlack | kShapeBlackLowerShadow;
    EXPECT_FALSE(Passes(kMain));
}

TEST_F(ScreeningFilterTest, VolumeBoundsAreRatiosToThePreviousDay) {
    ListingAnalysis& r = Record(kMain);
    settings_.volumeChange = {kRangeOn | kRangeLowerSet, 2.0, 0.0};
    r.volumeChange = 1.0; // doubled
    EXPECT_TRUE(Passes(kMain));
    r.volumeChange = 0.99;
    EXPECT_FALSE(Passes(kMain));
    r.volumeChange = -1.0; // not computable
    EXPECT_FALSE(Passes(kMain));

    settings_.volumeChange = {kRangeOn | kRangeUpperSet, 0.0, 1.5};
    r.volumeChange = 0.5;
    EXPECT_TRUE(Passes(kMain));
    r.volumeChange = 0.51;
    EXPECT_FALSE(Passes(kMain));
    settings_.volumeChange.flags = kRangeUpperSet; // off
    EXPECT_TRUE(Passes(kMain));
}

TEST(ScreeningValueRangeTest, PriceCapitalisationPeriodAndFiguresInYen) {
    CMarketBuilder builder;
    builder.Calendar(test::ScreeningDays()).Company(1001, 1).Company(2002, 1).Company(3003, 1);
    AddListing(builder, 1001, 1, {Flat(500), Flat(500), Flat(500), Flat(500), Flat(500)});
    builder.Flags(1001, 1, 0x21, 0); // a unit of 10
    builder.History(1001, {{test::ScreeningDays()[0], 300000001}});
    AddListing(builder, 2002, 1, {Flat(200)}, 0, 1); // stored 200, price 2,000 yen
    AddListing(builder, 3003, 1, {Flat(12345)});
    builder.Flags(3003, 1, 0x21, kListingHundredths); // 123.45 yen, a unit of 10
    builder.History(3003, {{test::ScreeningDays()[0], 999999999}});
    ScreeningMarket market(builder);
    for (std::uint16_t code : {1001, 2002, 3003}) {
        market.Prefer(code, 1);
        market.Record(MakeSecurityKey(code, 1)).annualReturn = 12.5;
    }
    ScreeningSettings settings = MakeDefaultScreeningSettings();
    const auto passes = [&](std::uint16_t code) {
        return MatchesScreening(market.Sources(), settings,
                                market.Security(MakeSecurityKey(code, 1)));
    };

    settings.price = {kRangeOn | kRangeLowerSet | kRangeUpperSet, 5000, 5000};
    EXPECT_TRUE(passes(1001)) << "last close x unit, bounds inclusive";
    settings.price.lower = 5001;
    EXPECT_FALSE(passes(1001));
    settings.price = {kRangeOn | kRangeLowerSet | kRangeUpperSet, 2000, 2000};
    EXPECT_TRUE(passes(2002)) << "stored price times 10 to the exponent";
    // 123.45 yen x 10 = 1,234.5 yen, truncated to whole yen.
    settings.price = {kRangeOn | kRangeLowerSet | kRangeUpperSet, 1234, 1234};
    EXPECT_TRUE(passes(3003)) << "a price in hundredths is tested in yen";
    settings.price = {kRangeOn | kRangeLowerSet, 1235, 0};
    EXPECT_FALSE(passes(3003));
    settings.price = {};

    // 999,999,999 shares x 123.45 yen = 123,449,999,876.55 yen: 1,234 in units of 100,000,000.
    settings.marketCap = {kRangeOn | kRangeLowerSet | kRangeUpperSet, 1234, 1234};
    EXPECT_TRUE(passes(3003));
    settings.marketCap = {kRangeOn | kRangeLowerSet, 1235, 0};
    EXPECT_FALSE(passes(3003));
    settings.marketCap = {};

    // 300,000,001 shares x 500 yen = 150,000,000,500: 1,500 in units of 100,000,000.
    settings.marketCap = {kRangeOn | kRangeLowerSet | kRangeUpperSet, 1500, 1500};
    EXPECT_TRUE(passes(1001));
    settings.marketCap.lower = 1500.5;
    EXPECT_FALSE(passes(1001));
    settings.marketCap = {};

    settings.analysisPeriod = {kRangeOn | kRangeLowerSet | kRangeUpperSet, 5.9, 5.9};
    EXPECT_TRUE(passes(1001)) << "bounds are truncated to 5";
    settings.analysisPeriod.lower = 6;
    EXPECT_FALSE(passes(1001));
    settings.analysisPeriod = {kRangeOn | kRangeUpperSet, 0, 4.99};
    EXPECT_FALSE(passes(1001));
    settings.analysisPeriod = {};

    settings.annualReturn = {kRangeOn | kRangeLowerSet | kRangeUpperSet, 12.5, 12.5};
    EXPECT_TRUE(passes(1001));
    settings.annualReturn.upper = 12.4;
    EXPECT_FALSE(passes(1001));
    settings.annualReturn.flags = kRangeLowerSet | kRangeUpperSet; // off
    EXPECT_TRUE(passes(1001));
}

TEST_F(ScreeningFilterTest, RankModeTestsTheRankBetweenFirstAndLast) {
    Record(kMain).annualReturn = 10;
    Record(kIndex).annualReturn = 10;
    Record(kMargin).annualReturn = 5;
    Record(kMain).annualRisk = 30;
    Record(kIndex).annualRisk = 20;
    RankIndexes ranks;
    BuildRankIndexes(*market_.matrix, market_.analysis, ranks);

    // Returns rank 10, 10, 5, 0 as 1, 1, 3, 4. The upper bound is the first rank, the lower
    // bound the last.
    settings_.annualReturn = {kRangeOn | kRangeRankMode | kRangeUpperSet | kRangeLowerSet, 1, 1};
    EXPECT_TRUE(Passes(kMain, &ranks));
    EXPECT_TRUE(Passes(kIndex, &ranks));
    EXPECT_FALSE(Passes(kMargin, &ranks));
    EXPECT_FALSE(Passes(kMain)) << "no indexes yet";
    settings_.annualReturn = {kRangeOn | kRangeRankMode | kRangeUpperSet, 0, 3};
    EXPECT_FALSE(Passes(kMain, &ranks));
    EXPECT_TRUE(Passes(kMargin, &ranks));
    settings_.annualReturn = {kRangeOn | kRangeRankMode | kRangeUpperSet | kRangeLowerSet, 1, 2};
    EXPECT_FALSE(Passes(kMain, &ranks)) << "the first rank after the last";
    EXPECT_FALSE(Passes(kMargin, &ranks));
    settings_.annualReturn = {};

    // Risk ranks the smallest first: 0 (1001/2 and 4004), 20, 30.
    settings_.annualRisk = {kRangeOn | kRangeRankMode | kRangeLowerSet, 3, 0};
    EXPECT_TRUE(Passes(kMargin, &ranks));
    EXPECT_TRUE(Passes(kIndex, &ranks));
    EXPECT_FALSE(Passes(kMain, &ranks));
}

TEST(ScreeningRankTest, MarketCapRankCoversEveryListingOfTheCompany) {
    CMarketBuilder builder;
    builder.Calendar(test::ScreeningDays()).Company(1001, 1).Company(2002, 1).Company(3003, 1);
    AddListing(builder, 1001, 1, {Flat(100)});
    AddListing(builder, 1001, 2, {Flat(100)});
    AddListing(builder, 2002, 1, {Flat(200)});
    AddListing(builder, 3003, 1, {Flat(250)});
    builder.Flags(3003, 1, 1, kListingHundredths);
    const auto day = test::ScreeningDays()[0];
    builder.History(1001, {{day, 1000}}).History(2002, {{day, 100}}).History(3003, {{day, 9000}});
    ScreeningMarket market(builder);
    market.Prefer(1001, 1);
    market.Prefer(2002, 1);
    market.Prefer(3003, 1);
    for (SecurityKey key : {MakeSecurityKey(1001, 1), MakeSecurityKey(1001, 2),
                            MakeSecurityKey(2002, 1), MakeSecurityKey(3003, 1)})
        market.Record(key);
    RankIndexes ranks;
    BuildRankIndexes(*market.matrix, market.analysis, ranks);
    // Preferred listings, those priced in hundredths included, by their figures in yen:
    // 100,000 (1001), 22,500 (3003: 9,000 x 2.50) and 20,000 (2002).
    EXPECT_EQ(ranks.marketCap.Size(), 3u);
    EXPECT_EQ(ranks.marketCap.RankOf(MakeSecurityKey(3003, 1)), 2);
    EXPECT_EQ(ranks.marketCap.RankOf(MakeSecurityKey(2002, 1)), 3);
    // Price times unit: 200 (2002), 100 (1001 on both markets), 2 (3003).
    EXPECT_EQ(ranks.price.RankOf(MakeSecurityKey(2002, 1)), 1);
    EXPECT_EQ(ranks.price.RankOf(MakeSecurityKey(3003, 1)), 4);

    ScreeningSettings settings = MakeDefaultScreeningSettings();
    settings.options = 0;
    settings.marketCap = {kRangeOn | kRangeRankMode | kRangeUpperSet | kRangeLowerSet, 1, 1};
    const auto passes = [&](SecurityKey key) {
        return MatchesScreening(market.Sources(&ranks), settings, market.Security(key));
    };
    EXPECT_TRUE(passes(MakeSecurityKey(1001, 1)));
    EXPECT_TRUE(passes(MakeSecurityKey(1001, 2))) << "matched by stock code";
    EXPECT_FALSE(passes(MakeSecurityKey(2002, 1)));
    EXPECT_FALSE(passes(MakeSecurityKey(3003, 1)));
    settings.marketCap.flags &= static_cast<std::uint8_t>(~kRangeOn);
    EXPECT_TRUE(passes(MakeSecurityKey(2002, 1)));
}

TEST_F(ScreeningFilterTest, IndicatorConditionsNeedValuesOnlyWhenOnWithABound) {
    InclinationCondition& c = settings_.inclination;
    c = {kInclinationCurrentLowerSet, 10, 0, 0, 0};
    EXPECT_TRUE(Passes(kMain)) << "bounds kept while the test is off";
    c.flags = kInclinationCurrentOn;
    EXPECT_TRUE(Passes(kMain)) << "on without a bound";
    c.flags = kInclinationCurrentOn | kInclinationCurrentLowerSet;
    EXPECT_FALSE(Passes(kMain)) << "no inclination values";
    market_.inclinations = {{kMain, 10.0, -50.0}, {kMargin, 9.9, 50.0}};
    EXPECT_TRUE(Passes(kMain));
    EXPECT_FALSE(Passes(kMargin));
    c = {kInclinationPreviousOn | kInclinationPreviousUpperSet, 0, 0, 0, 0};
    EXPECT_TRUE(Passes(kMain)) << "the previous day's value is tested";
    EXPECT_FALSE(Passes(kMargin));
    c = {};

    settings_.turnoverAverage = {kRangeOn, 0, 0};
    EXPECT_TRUE(Passes(kMain));
    settings_.turnoverAverage = {kRangeOn | kRangeLowerSet, 0, 0};
    EXPECT_FALSE(Passes(kMain)) << "no trading-value ratio";
    market_.turnovers = {{kMain, 0.0}, {kMargin, -5.0}};
    EXPECT_TRUE(Passes(kMain));
    EXPECT_FALSE(Passes(kMargin));
}

// Last day O 90, H 110, L 80, C 100 in yen; a window above from 110 to 120 and one below
// from 80 to 90: every measure is 10%.
class WindowsAndShadowsTest : public ::testing::Test {
protected:
    static constexpr SecurityKey kKey = MakeSecurityKey(5005, 1);
    static constexpr SecurityKey kScaled = MakeSecurityKey(6006, 1);

    WindowsAndShadowsTest() : market_(Build()) {
        market_.Prefer(5005, 1);
        market_.Prefer(6006, 1);
        market_.Record(kKey).latestWindows = {120, 110, 90, 80};
        market_.Record(kScaled).latestWindows = {120, 110, 90, 80};
        settings_ = MakeDefaultScreeningSettings();
    }
    static CMarketBuilder Build() {
        CMarketBuilder builder;
        builder.Calendar(test::ScreeningDays());
        AddListing(builder, 5005, 1, {Flat(100), {90, 110, 80, 100, 1000}});
        // Stored in tens: the same candle once the exponent is applied.
        AddListing(builder, 6006, 1, {Flat(10), {9, 11, 8, 10, 1000}}, 0, 1);
        return builder;
    }
    bool Passes(std::uint32_t flags, SecurityKey key = kKey) {
        settings_.windowsAndShadows.flags = kWsOn | flags;
        return MatchesScreening(market_.Sources(), settings_, market_.Security(key));
    }
    WindowsAndShadows& Ws() { return settings_.windowsAndShadows; }

    ScreeningMarket market_;
    ScreeningSettings settings_;
};

TEST_F(WindowsAndShadowsTest, NoWindowRequirementsAndSkippedSpaceTests) {
    Ws().spaceAbove = {50, 60};
    EXPECT_FALSE(Passes(kWsWindowAbove | kWsNoWindowAbove)) << "a window with both bounds";
    market_.analysis.records[kKey].latestWindows = {120, 0, 90, 80};
    EXPECT_TRUE(Passes(kWsWindowAbove | kWsNoWindowAbove)) << "one bound is no window";
    EXPECT_TRUE(Passes(kWsWindowAbove | kWsNoWindowAbove | kWsSpaceAbove | kWsSpaceAboveLowerSet))
        << "space above skipped";
    EXPECT_FALSE(Passes(kWsSpaceAbove | kWsSpaceAboveLowerSet)) << "space test without a window";
    EXPECT_TRUE(Passes(kWsSpaceAbove)) << "no bound, no test";
    EXPECT_FALSE(Passes(kWsWindowAbove | kWsWindowAboveUpperSet));

    Ws().spaceBelow = {50, 60};
    market_.analysis.records[kKey].latestWindows = {120, 110, 0, 0};
    EXPECT_TRUE(Passes(kWsWindowBelow | kWsNoWindowBelow | kWsSpaceBelow | kWsSpaceBelowLowerSet));
    market_.analysis.records[kKey].latestWindows = {120, 110, 90, 80};
    EXPECT_FALSE(Passes(kWsWindowBelow | kWsNoWindowBelow));
}

TEST_F(WindowsAndShadowsTest, MeasuresArePercentagesOfTheLastClose) {
    const BoundPair tenPercent{9.99, 10.01};
    Ws() = {0, tenPercent, tenPercent, tenPercent, tenPercent, tenPercent, tenPercent, tenPercent};
    for (SecurityKey key : {kKey, kScaled}) {
        SCOPED_TRACE(key);
        EXPECT_TRUE(Passes(kWsWindowAbove | kWsWindowAboveLowerSet | kWsWindowAboveUpperSet |
                               kWsWindowBelow | kWsWindowBelowLowerSet | kWsWindowBelowUpperSet,
                           key));
        EXPECT_TRUE(Passes(kWsSpaceAbove | kWsSpaceAboveLowerSet | kWsSpaceAboveUpperSet |
                               kWsSpaceBelow | kWsSpaceBelowLowerSet | kWsSpaceBelowUpperSet,
                           key));
        EXPECT_TRUE(Passes(kWsUpperShadow | kWsUpperShadowLowerSet | kWsUpperShadowUpperSet |
                               kWsLowerShadow | kWsLowerShadowLowerSet | kWsLowerShadowUpperSet,
                           key));
        EXPECT_TRUE(Passes(kWsBody | kWsBodyLowerSet | kWsBodyUpperSet, key));
    }
    Ws().windowAbove.lower = 10.02;
    EXPECT_FALSE(Passes(kWsWindowAbove | kWsWindowAboveLowerSet));
    Ws().lowerShadow.upper = 9.9;
    EXPECT_FALSE(Passes(kWsLowerShadow | kWsLowerShadowUpperSet));
    EXPECT_TRUE(Passes(kWsLowerShadow | kWsLowerShadowLowerSet));
    Ws().spaceBelow.upper = 9.9;
    EXPECT_FALSE(Passes(kWsSpaceBelow | kWsSpaceBelowUpperSet));

    EXPECT_FALSE(Passes(kWsBody | kWsBlackBody)) << "a white body with the black test";
    EXPECT_TRUE(Passes(kWsBody));

    // The group switched off ignores every test.
    settings_.windowsAndShadows.flags = kWsWindowAbove | kWsWindowAboveLowerSet;
    EXPECT_TRUE(MatchesScreening(market_.Sources(), settings_, market_.Security(kKey)));
}

TEST_F(WindowsAndShadowsTest, BlackBodyAndZeroClose) {
    CMarketBuilder builder;
    builder.Calendar(test::ScreeningDays());
    AddListing(builder, 7007, 1, {{110, 112, 98, 100, 1000}});
    AddListing(builder, 8008, 1, {{0, 0, 0, 0, 1000}});
    ScreeningMarket market(builder);
    market.Prefer(7007, 1);
    market.Prefer(8008, 1);
    market.Record(MakeSecurityKey(7007, 1));
    market.Record(MakeSecurityKey(8008, 1));
    const auto passes = [&](std::uint16_t code, std::uint32_t flags) {
        settings_.windowsAndShadows.flags = kWsOn | flags;
        return MatchesScreening(market.Sources(), settings_,
                                market.Security(MakeSecurityKey(code, 1)));
    };
    Ws().body = {9.99, 10.01};
    EXPECT_TRUE(passes(7007, kWsBody | kWsBlackBody | kWsBodyLowerSet | kWsBodyUpperSet));
    EXPECT_FALSE(passes(7007, kWsBody));
    EXPECT_FALSE(passes(8008, kWsUpperShadow)) << "a close of 0 with a test";
    EXPECT_TRUE(passes(8008, kWsNoWindowAbove)) << "no test bit";
}

} // namespace
} // namespace vorn
