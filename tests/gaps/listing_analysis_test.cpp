#include "gaps/listing_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gaps/analysed_market.h"

namespace vorn {
namespace {

using test::CAnalysedMarket;
using test::CMarketBuilder;
using test::Ohlcv;
using test::TwoWindowRows;

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr std::uint16_t kCode = 1301;

const LawStats& StatsOf(const ListingAnalysis& record, std::uint8_t lawCode) {
    return record.lawStats[static_cast<std::size_t>(LawStatsIndex(lawCode))];
}

TEST(CandleShapes, CoverEveryBodyAndShadow) {
    struct Case {
        std::uint32_t open, high, low, close;
        std::uint16_t shape;
    };
    const Case cases[] = {
        {110, 110, 100, 100, kShapeBlack},
        {110, 110, 95, 100, kShapeBlackLowerShadow},
        {110, 115, 95, 100, kShapeBlackBothShadows},
        {110, 115, 100, 100, kShapeBlackUpperShadow},
        {100, 110, 100, 110, kShapeWhite},
        {100, 110, 95, 110, kShapeWhiteLowerShadow},
        {100, 115, 100, 110, kShapeWhiteUpperShadow},
        {100, 115, 95, 110, kShapeWhiteBothShadows},
        {100, 100, 100, 100, kShapeDoji},
        {100, 100, 95, 100, kShapeDojiLowerShadow},
        {100, 105, 95, 100, kShapeDojiBothShadows},
        {100, 105, 100, 100, kShapeDojiUpperShadow},
        {110, 105, 100, 100, 0}, // open above high: no candle
        {100, 105, 101, 100, 0}, // doji below its low
    };
    for (const Case& c : cases)
        EXPECT_EQ(CandleShapeOf(c.open, c.high, c.low, c.close), c.shape)
            << c.open << "," << c.high << "," << c.low << "," << c.close;
}

// Day 1 sells (law 1); day 2 opens an upward window while the downward one is reduced
// (law 3 buy); day 4 reaches the upward window (a second buy, ignored); day 5 reduces the
// downward window (law 2 sell); day 6 sells again (ignored).
std::vector<Ohlcv> AlternatingRows() {
    return {{100, 102, 98, 100, 10}, {90, 92, 88, 90, 10}, {93, 96, 93, 95, 10},
            {94, 95, 94, 95, 10},    {95, 95, 93, 94, 10}, {94, 97, 94, 96, 10},
            {90, 91, 88, 89, 10},    {89, 90, 88, 89, 10}};
}

TEST(TradingLaws, PositionsAlternateAndEachCloseScoresTheOpeningLaw) {
    CAnalysedMarket market(CMarketBuilder().Security(kCode, 1, kFirstDay, AlternatingRows()));
    const ListingAnalysis* record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr);
    const auto& positions = market.Performer().Positions();
    ASSERT_EQ(positions.size(), 3u);
    EXPECT_EQ(positions[0].signal, kDownWindowOpened);
    EXPECT_EQ(positions[0].law, 1);
    EXPECT_EQ(positions[1].day, 2);
    EXPECT_EQ(LawCodeOf(positions[1].law, positions[1].signal), kLaw3Buy);
    EXPECT_EQ(positions[2].day, 5);
    EXPECT_EQ(LawCodeOf(positions[2].law, positions[2].signal), kLaw2Sell);

    // Three positions, two closes: the first position adds nothing by itself.
    int trades = 0;
    for (const LawStats& s : record->lawStats)
        trades += s.wins + s.losses + s.evens;
    EXPECT_EQ(trades, 2);
    EXPECT_EQ(StatsOf(*record, kLaw1Sell).losses, 1);
    EXPECT_DOUBLE_EQ(StatsOf(*record, kLaw1Sell).sumOfReturns, (93.0 - 94.0) / 93.0);
    // The law-2 buy of day 4 was ignored: the law-3 buy is the one that closes.
    EXPECT_EQ(StatsOf(*record, kLaw2Buy).losses + StatsOf(*record, kLaw2Buy).wins, 0);
    EXPECT_EQ(StatsOf(*record, kLaw3Buy).losses, 1);
    EXPECT_DOUBLE_EQ(StatsOf(*record, kLaw3Buy).sumOfReturns, (90.0 - 94.0) / 94.0);

    EXPECT_EQ(record->position, kPositionHoldSell);
    EXPECT_EQ(record->daysHeld, 2);
    EXPECT_EQ(record->signal, kDownWindowReduced);
    EXPECT_EQ(record->signalLaw, 2);
    EXPECT_EQ(record->lastEventSignal, kDownWindowOpened); // day 6: opening with a fill
    EXPECT_EQ(record->lastEventLaw, 3);
}

// Two upward windows, then a downward one that reduces the second upward window (sell);
// the last day fills the second upward window and reaches the downward one.
std::vector<Ohlcv> LawFourRows(std::uint32_t open, std::uint32_t close) {
    return {{100, 101, 99, 100, 10},
            {105, 106, 104, 105, 10},
            {115, 116, 114, 115, 10},
            {108, 110, 107, 108, 10},
            {open, 110, 105, close, 10}};
}

TEST(TradingLaws, LawFourFollowsTheCandleColour) {
    {
        SCOPED_TRACE("black candle");
        CAnalysedMarket market(
            CMarketBuilder().Security(kCode, 1, kFirstDay, LawFourRows(109, 106)));
        const ListingAnalysis* record = market.Analyse(kCode);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->lastEventSignal, kUpWindowFilled);
        EXPECT_EQ(LawCodeOf(record->lastEventLaw, record->lastEventSignal), kLaw4Buy);
        EXPECT_EQ(record->position, kPositionSwitchBuy);
        EXPECT_EQ(record->daysHeld, 0);
        // Signalled on the last day: no entry price yet and the sell stays unscored.
        EXPECT_EQ(market.Performer().Positions().back().entryPrice, kNoEntryPrice);
        EXPECT_EQ(StatsOf(*record, kLaw3Sell).wins + StatsOf(*record, kLaw3Sell).losses +
                      StatsOf(*record, kLaw3Sell).evens,
                  0);
    }
    {
        SCOPED_TRACE("white candle");
        CAnalysedMarket market(
            CMarketBuilder().Security(kCode, 1, kFirstDay, LawFourRows(106, 109)));
        const ListingAnalysis* record = market.Analyse(kCode);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->lastEventSignal, kDownWindowReached);
        EXPECT_EQ(LawCodeOf(record->lastEventLaw, record->lastEventSignal), kLaw4Sell);
        EXPECT_EQ(record->position, kPositionHoldSell); // same side: ignored
        EXPECT_EQ(record->daysHeld, 1);
    }
    {
        SCOPED_TRACE("equal open and close");
        CAnalysedMarket market(
            CMarketBuilder().Security(kCode, 1, kFirstDay, LawFourRows(107, 107)));
        const ListingAnalysis* record = market.Analyse(kCode);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->lastEventSignal, 0);
        EXPECT_EQ(record->lastEventLaw, 4);
        EXPECT_EQ(record->position, kPositionHoldSell);
    }
}

TEST(LastDay, PositionShapeAndVolumeChange) {
    const std::vector<Ohlcv> first = {{100, 101, 99, 100, 10}};
    const auto withLastDay = [&](Ohlcv last) {
        std::vector<Ohlcv> rows = first;
        rows.push_back(last);
        return rows;
    };
    CAnalysedMarket market(
        CMarketBuilder()
            .Security(kCode, 1, kFirstDay, withLastDay({105, 106, 104, 105, 10}))
            .Security(kCode, 2, kFirstDay, withLastDay({95, 96, 94, 95, 10}))
            .Security(kCode, 3, kFirstDay, withLastDay({100, 100, 100, 100, 30}))
            .Security(kCode, 4, kFirstDay, withLastDay({100, 100, 100, 100, 0}))
            .Security(kCode, 5, kFirstDay, {{100, 101, 99, 100, 0}, {100, 102, 99, 101, 30}})
            .Security(kCode, 6, kFirstDay, {{100, 102, 99, 101, 30}}));
    const ListingAnalysis* buy = market.Analyse(kCode, 1);
    ASSERT_NE(buy, nullptr);
    EXPECT_EQ(buy->position, kPositionNewBuy);
    EXPECT_EQ(buy->daysHeld, 0);
    EXPECT_EQ(buy->daysSinceEvent, 0);
    EXPECT_EQ(market.Analyse(kCode, 2)->position, kPositionNewSell);

    const ListingAnalysis* doji = market.Analyse(kCode, 3);
    ASSERT_NE(doji, nullptr);
    EXPECT_EQ(doji->position, kPositionNone);
    EXPECT_EQ(doji->daysSinceEvent, 1); // no event: the last day's calendar position
    EXPECT_EQ(doji->candleShape, kShapeDoji);
    EXPECT_DOUBLE_EQ(doji->volumeChange, 2.0);
    const ListingAnalysis* idle = market.Analyse(kCode, 4);
    EXPECT_EQ(idle->candleShape, kCandleShapeNoVolume);
    EXPECT_EQ(idle->volumeChange, -1.0);
    EXPECT_EQ(market.Analyse(kCode, 5)->volumeChange, -1.0); // after a day without volume
    const ListingAnalysis* single = market.Analyse(kCode, 6);
    EXPECT_EQ(single->volumeChange, -1.0);
    EXPECT_EQ(single->candleShape, kShapeWhiteBothShadows);
}

TEST(ListingAnalysis, CacheAndPeriodKinds) {
    CAnalysedMarket market(CMarketBuilder().Security(kCode, 1, kFirstDay, TwoWindowRows()));
    ASSERT_NE(market.Analyse(kCode), nullptr);
    CWindowsPerformer& performer = market.Performer();
    const SecurityKey key = MakeSecurityKey(kCode, 1);
    ListingAnalysis sentinel;
    sentinel.daysHeld = 777;
    performer.StoreResult(key, sentinel);
    // Without force a cached record stays as it is.
    EXPECT_TRUE(
        market.Windows().AnalyseListing(market.Matrix(), PeriodKind::Daily, performer, false));
    EXPECT_EQ(performer.FindResult(key)->daysHeld, 777);
    EXPECT_TRUE(
        market.Windows().AnalyseListing(market.Matrix(), PeriodKind::Daily, performer, true));
    EXPECT_EQ(performer.FindResult(key)->daysHeld, 5);

    EXPECT_FALSE(market.Windows().AnalyseListing(market.Matrix(), static_cast<PeriodKind>(3),
                                                 performer, true));
    EXPECT_FALSE(market.Windows().AnalyseListingByKey(market.Matrix(), MakeSecurityKey(9999, 1),
                                                      PeriodKind::Daily, performer, true));
    CWindowsPerformer fresh;
    EXPECT_FALSE(market.Windows().AnalyseListing(market.Matrix(), PeriodKind::Daily, fresh, true));
}

// Closes that move every day without gaps between the candles.
std::uint32_t WavyClose(int day) {
    return 1000 + static_cast<std::uint32_t>((day * 37) % 101);
}
Ohlcv WavyRow(int day, std::uint32_t scale = 1) {
    const std::uint32_t c = WavyClose(day) * scale;
    return {c, 1200 * scale, 800 * scale, c, 100};
}

TEST(Beta, AgainstTheBenchmarkOverItsLastDays) {
    CMarketBuilder builder;
    builder.Calendar(test::Weekdays(kFirstDay, 30));
    std::vector<Ohlcv> benchmark, doubled, flat;
    for (int day = 0; day < 30; ++day) {
        benchmark.push_back(WavyRow(day));
        doubled.push_back(WavyRow(day, 2));
        flat.push_back({500, 600, 400, 500, 100});
    }
    builder.Security(1002, 1, kFirstDay, benchmark)
        .Security(kCode, 1, kFirstDay, benchmark)
        .Security(kCode, 2, kFirstDay, doubled)
        .Security(kCode, 3, kFirstDay, flat)
        .Security(kCode, 4, kFirstDay,
                  std::vector<Ohlcv>(benchmark.begin(), benchmark.begin() + 25))
        .Security(1302, 1, kFirstDay, {benchmark[0]});
    CAnalysedMarket market(builder);
    const ListingAnalysis* same = market.Analyse(kCode, 1);
    ASSERT_NE(same, nullptr);
    EXPECT_DOUBLE_EQ(same->beta, 1.0); // fewer than 180 days: all of them
    EXPECT_DOUBLE_EQ(market.Analyse(kCode, 2)->beta, 1.0);
    EXPECT_DOUBLE_EQ(market.Analyse(kCode, 3)->beta, 0.0);
    // Ending before the benchmark: deviations computed at its own last day.
    EXPECT_DOUBLE_EQ(market.Analyse(kCode, 4)->beta, 1.0);
    EXPECT_EQ(market.Analyse(1302, 1)->beta, 0.0); // a single day
    EXPECT_DOUBLE_EQ(market.Analyse(1002, 1)->beta, 1.0);
}

TEST(Beta, UsesTheLast180BenchmarkDays) {
    CMarketBuilder builder;
    builder.Calendar(test::Weekdays(kFirstDay, 200));
    std::vector<Ohlcv> benchmark;
    for (int day = 0; day < 200; ++day)
        benchmark.push_back(
            day < 20 ? Ohlcv{day % 2 ? 500u : 1500u, 1600, 400, day % 2 ? 500u : 1500u, 100}
                     : WavyRow(day));
    const PackedDate day20 = test::Weekdays(kFirstDay, 200)[20];
    builder.Security(1002, 1, kFirstDay, benchmark)
        .Security(kCode, 1, day20, std::vector<Ohlcv>(benchmark.begin() + 20, benchmark.end()));
    CAnalysedMarket market(builder);
    const ListingAnalysis* record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr);
    EXPECT_DOUBLE_EQ(record->beta, 1.0);
}

TEST(Beta, IsZeroAgainstABenchmarkThatNeverMoves) {
    std::vector<Ohlcv> flat, wavy;
    for (int day = 0; day < 10; ++day) {
        flat.push_back({500, 600, 400, 500, 100});
        wavy.push_back(WavyRow(day));
    }
    CAnalysedMarket market(CMarketBuilder()
                               .Calendar(test::Weekdays(kFirstDay, 10))
                               .Security(1002, 1, kFirstDay, flat)
                               .Security(kCode, 1, kFirstDay, wavy));
    const ListingAnalysis* record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->beta, 0.0);
}

// A buy on day 1, a sell on day 30 (February), a buy on day 45 (March); the price rises one
// a day to day 29, falls one a day to day 44 and stays at 135 from day 46.
std::vector<Ohlcv> MonthlyRows(int days) {
    std::vector<Ohlcv> rows;
    for (int i = 0; i < days; ++i) {
        std::uint32_t p;
        if (i == 0)
            rows.push_back({100, 102, 98, 100, 10});
        else if (i == 30)
            rows.push_back({140, 142, 138, 140, 10});
        else if (i == 45)
            rows.push_back({135, 137, 133, 135, 10});
        else if (i > 45)
            rows.push_back({135, 137, 134, 135, 10});
        else {
            p = i < 30 ? 120 + static_cast<std::uint32_t>(i)
                       : 140 - static_cast<std::uint32_t>(i - 30);
            rows.push_back({p, p + 2, p - 2, p, 10});
        }
    }
    return rows;
}

struct SegmentValues {
    int endDay;
    std::uint8_t side;
    std::uint32_t start, end;
};

TEST(MonthlyFigures, SegmentsAndAnnualFigures) {
    CAnalysedMarket market(CMarketBuilder()
                               .Calendar(test::Weekdays(kFirstDay, 100))
                               .Security(kCode, 1, kFirstDay, MonthlyRows(100)));
    const ListingAnalysis* record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(market.Performer().Positions().size(), 3u);
    EXPECT_EQ(StatsOf(*record, kLaw1Buy).wins, 1);
    EXPECT_EQ(StatsOf(*record, kLaw1Sell).wins, 1);

    // Month starts: February 1 is day 20, March 1 day 40, April 2 day 62, May 1 day 83.
    const std::vector<SegmentValues> expected = {
        {20, 1, 140, 140}, {31, 1, 140, 139}, {40, 2, 139, 130},
        {46, 2, 130, 135}, {62, 1, 135, 135}, {83, 1, 135, 135},
    };
    const auto& segments = market.Performer().Segments();
    ASSERT_EQ(segments.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(segments[i].endPosition, expected[i].endDay);
        EXPECT_EQ(segments[i].side, expected[i].side);
        EXPECT_EQ(segments[i].startPrice, expected[i].start);
        EXPECT_EQ(segments[i].endPrice, expected[i].end);
    }

    const double february = (1.0 - 1.0 / 140) * (1.0 + 9.0 / 139) - 1.0;
    const double march = -5.0 / 130;
    const double april = 0.0;
    const double mean = (february + march + april) / 3;
    const double variance = ((february - mean) * (february - mean) +
                             (march - mean) * (march - mean) + (april - mean) * (april - mean)) /
                            2;
    EXPECT_NEAR(record->annualReturn, mean * 1200, 1e-9);
    EXPECT_NEAR(record->annualRisk, std::sqrt(variance) * std::sqrt(12.0) * 100, 1e-9);
}

TEST(MonthlyFigures, OneCompletedMonthGivesNoAnnualFigures) {
    CAnalysedMarket market(CMarketBuilder()
                               .Calendar(test::Weekdays(kFirstDay, 60))
                               .Security(kCode, 1, kFirstDay, MonthlyRows(60)));
    const ListingAnalysis* record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(market.Performer().Segments().empty());
    EXPECT_EQ(record->annualReturn, 0.0);
    EXPECT_EQ(record->annualRisk, 0.0);
}

TEST(MonthlyFigures, AZeroStartPriceCountsAsNoChange) {
    std::vector<Ohlcv> rows = MonthlyRows(100);
    rows[62] = {0, 0, 0, 0, 0}; // April 2 without trading
    CAnalysedMarket market(CMarketBuilder()
                               .Calendar(test::Weekdays(kFirstDay, 100))
                               .Security(kCode, 1, kFirstDay, rows));
    const ListingAnalysis* record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(std::isfinite(record->annualReturn));
    ASSERT_TRUE(std::isfinite(record->annualRisk));
    const double february = (1.0 - 1.0 / 140) * (1.0 + 9.0 / 139) - 1.0;
    const double march = (1.0 - 5.0 / 130) * 0.0 - 1.0; // closed at a price of 0
    EXPECT_NEAR(record->annualReturn, (february + march + 0.0) / 3 * 1200, 1e-9);
}

} // namespace
} // namespace vorn
