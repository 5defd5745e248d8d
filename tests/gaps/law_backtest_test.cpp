// The market-wide law test: figures of known trades per law, side and breakdown on daily and
// weekly series, agreement with the law statistics and the trading list on the sample market,
// and the worker's progress, cancel and refusal.
#include <gtest/gtest.h>
#include <ostream>

#include <cmath>
#include <map>
#include <memory>

#include "foundation/calendar_math.h"
#include "gaps/law_backtest.h"
#include "gaps/market_windows.h"
#include "gaps/trading_lists.h"
#include "gaps/windows_performer.h"
#include "matrix/sample_market.h"
#include "support/market_builder.h"
#include "support/recording_sink.h"

namespace vorn {

// Parameter values in test names read "weekly", not a byte dump.
void PrintTo(PeriodKind kind, std::ostream* out) {
    constexpr const char* kWords[] = {"daily", "weekly", "monthly"};
    *out << (IsPeriodKind(kind) ? kWords[PeriodIndex(kind)] : "unknown");
}

namespace {

using test::CMarketBuilder;
using test::Ohlcv;

// Seven closed trades and one open position (days are row indexes):
//  1 law-1 buy (up window opened), entry 112 on day 2
//  4 law-3 sell (down window opened while the up one fills), entry 96 on day 5
// 10 law-1 buy, entry 120 on day 11;  12 law-3 sell, entry 100 on day 13
// 14 law-3 buy (up window opened, down one reduced), entry 109 on day 15
// 15 law-2 sell (the down window reduced), entry 118 on day 16
// 16 law-3 buy, entry 110 on day 17;  17 law-3 sell, entry 111 on day 18 (still open)
std::vector<Ohlcv> KnownTradeRows() {
    return {
        {100, 105, 95, 100, 1000},  {110, 115, 108, 112, 1000}, {112, 116, 109, 114, 1000},
        {110, 112, 107, 108, 1000}, {100, 101, 90, 95, 1000},   {96, 99, 94, 97, 1000},
        {98, 101, 96, 100, 1000},   {100, 104, 99, 103, 1000},  {105, 108, 104, 107, 1000},
        {107, 108, 106, 107, 1500}, {115, 118, 112, 116, 1000}, {120, 122, 117, 121, 1000},
        {105, 110, 104, 106, 1000}, {100, 104, 99, 103, 1000},  {108, 112, 107, 111, 1000},
        {109, 113, 108, 112, 1000}, {118, 119, 116, 117, 1000}, {110, 112, 109, 111, 1000},
        {111, 112, 110, 111, 1000},
    };
}

constexpr double kT1 = (96.0 - 112) / 112;  // law 1 buy
constexpr double kT2 = (96.0 - 120) / 96;   // law 3 sell
constexpr double kT3 = (100.0 - 120) / 120; // law 1 buy
constexpr double kT4 = (100.0 - 109) / 100; // law 3 sell
constexpr double kT5 = (118.0 - 109) / 109; // law 3 buy
constexpr double kT6 = (118.0 - 110) / 118; // law 2 sell
constexpr double kT7 = (111.0 - 110) / 110; // law 3 buy

// Security 1301 (market 1, sector 1) has all seven trades; 1302 (market 2, sector 5) stops
// after day 12, so only its first two trades close. Day 5 falls in 2007, day 11 in 2008.
std::unique_ptr<CMarketMatrix> KnownMarket(std::vector<PackedDate> calendar) {
    std::vector<Ohlcv> shorter = KnownTradeRows();
    shorter.resize(13);
    const PackedDate first = calendar.front();
    return CMarketBuilder()
        .Calendar(std::move(calendar))
        .Company(1301, 1)
        .Company(1302, 5)
        .Security(1301, 1, first, KnownTradeRows())
        .Security(1302, 2, first, shorter)
        .Build();
}

std::vector<PackedDate> Mondays(PackedDate first, int count) {
    std::vector<PackedDate> days;
    for (int i = 0; i < count; ++i)
        days.push_back(AddDaysToPackedDate(first, 7 * i));
    return days;
}

const BacktestRow* FindRow(const std::vector<BacktestRow>& rows, unsigned group, int law,
                           BacktestSide side) {
    for (const BacktestRow& row : rows)
        if (row.group == group && row.law == law && row.side == side)
            return &row;
    return nullptr;
}

struct Expected {
    std::vector<double> returns;
    double days;
};

void ExpectFigures(const std::vector<BacktestRow>& rows, unsigned group, int law, BacktestSide side,
                   const Expected& e) {
    SCOPED_TRACE("group " + std::to_string(group) + " law " + std::to_string(law) + " side " +
                 BacktestSideWord(side));
    const BacktestRow* row = FindRow(rows, group, law, side);
    ASSERT_NE(row, nullptr);
    const BacktestFigures& f = row->figures;
    ASSERT_EQ(f.trades, e.returns.size());
    unsigned wins = 0, losses = 0;
    double sum = 0, gains = 0, lost = 0, worst = 1e9;
    for (double r : e.returns) {
        wins += r > 0;
        losses += r < 0;
        sum += r;
        (r > 0 ? gains : lost) += std::abs(r);
        worst = std::min(worst, r);
    }
    EXPECT_EQ(f.wins, wins);
    EXPECT_EQ(f.losses, losses);
    EXPECT_EQ(f.evens, e.returns.size() - wins - losses);
    const double n = static_cast<double>(e.returns.size());
    EXPECT_NEAR(f.winRate, wins / n * 100, 1e-9);
    EXPECT_NEAR(f.averageReturn, sum / n * 100, 1e-9);
    EXPECT_NEAR(f.totalReturn, sum * 100, 1e-9);
    EXPECT_NEAR(f.averageDays, e.days / n, 1e-9);
    EXPECT_NEAR(f.worst, worst * 100, 1e-9);
    std::vector<double> sorted = e.returns;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t m = sorted.size() / 2;
    const double median = sorted.size() % 2 ? sorted[m] : (sorted[m - 1] + sorted[m]) / 2;
    EXPECT_NEAR(f.medianReturn, median * 100, 1e-9);
    if (lost > 0)
        EXPECT_NEAR(f.profitFactor, gains / lost, 1e-9);
    else
        EXPECT_TRUE(std::isinf(f.profitFactor));
}

class KnownTrades : public ::testing::TestWithParam<PeriodKind> {
protected:
    // Daily: weekdays from Thursday 2007/12/20. Weekly: one trading day a week, so that every
    // weekly candle is one daily candle and the trades are the same, seven times as long.
    void SetUp() override {
        weekly_ = GetParam() == PeriodKind::Weekly;
        matrix_ = weekly_ ? KnownMarket(Mondays(MakePackedDate(2007, 1, 1), 30))
                          : KnownMarket(test::Weekdays(MakePackedDate(2007, 12, 20), 30));
        BacktestOptions options;
        options.periodKind = GetParam();
        ASSERT_TRUE(backtest_.Run(*matrix_, options));
    }
    // The expected returns and holding days of trades T1..T7 (calendar days: weekdays in the
    // daily case, one week per candle in the weekly one).
    Expected E(std::initializer_list<int> ids) const {
        constexpr double kReturns[] = {0, kT1, kT2, kT3, kT4, kT5, kT6, kT7};
        constexpr double kDailyDays[] = {0, 3, 8, 4, 2, 1, 3, 1};
        constexpr double kWeeklyDays[] = {0, 21, 42, 14, 14, 7, 7, 7};
        Expected e{{}, 0};
        for (int id : ids) {
            e.returns.push_back(kReturns[id]);
            e.days += weekly_ ? kWeeklyDays[id] : kDailyDays[id];
        }
        return e;
    }
    bool weekly_ = false;
    std::unique_ptr<CMarketMatrix> matrix_;
    CLawBacktest backtest_;
};

TEST_P(KnownTrades, TradesAreTheClosedRowsOfTheTradingList) {
    const std::vector<BacktestTrade>& trades = backtest_.Trades();
    ASSERT_EQ(trades.size(), 9u);
    const double expected[] = {kT1, kT2, kT3, kT4, kT5, kT6, kT7, kT1, kT2};
    const std::uint8_t laws[] = {1, 3, 1, 3, 3, 2, 3, 1, 3};
    for (std::size_t i = 0; i < trades.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(trades[i].returnRate, expected[i]);
        EXPECT_EQ(trades[i].law, laws[i]);
        EXPECT_EQ(trades[i].IsBuy(), expected[i] == kT1 || expected[i] == kT3 ||
                                         expected[i] == kT5 || expected[i] == kT7);
    }
    EXPECT_EQ(trades[0].Market(), 1);
    EXPECT_EQ(trades[8].Market(), 2);
    EXPECT_EQ(trades[8].industry, 5);
    // Entry on the execution day after the signal, exit on the closing signal's.
    const CCalendar& calendar = matrix_->PeriodCalendar(GetParam());
    EXPECT_EQ(trades[0].signalDate, calendar[1]);
    EXPECT_EQ(trades[0].entryDate, calendar[2]);
    EXPECT_EQ(trades[0].exitDate, calendar[5]);
    EXPECT_EQ(trades[0].entryPrice, 112);
    EXPECT_EQ(trades[0].exitPrice, 96);
}

TEST_P(KnownTrades, FiguresOfEveryLawAndSide) {
    const auto rows = backtest_.Summarise(BacktestGrouping::All);
    ASSERT_EQ(rows.size(), 11u);
    ExpectFigures(rows, 0, 1, BacktestSide::Buy, E({1, 3, 1}));
    ExpectFigures(rows, 0, 3, BacktestSide::Buy, E({5, 7}));
    ExpectFigures(rows, 0, 2, BacktestSide::Sell, E({6}));
    ExpectFigures(rows, 0, 3, BacktestSide::Sell, E({2, 4, 2}));
    EXPECT_EQ(FindRow(rows, 0, 2, BacktestSide::Buy)->figures.trades, 0u);
    EXPECT_EQ(FindRow(rows, 0, 4, BacktestSide::Sell)->figures.trades, 0u);
    ExpectFigures(rows, 0, 0, BacktestSide::Buy, E({1, 3, 5, 7, 1}));
    ExpectFigures(rows, 0, 0, BacktestSide::Sell, E({2, 4, 6, 2}));
    ExpectFigures(rows, 0, 0, BacktestSide::Both, E({1, 2, 3, 4, 5, 6, 7, 1, 2}));
}

TEST_P(KnownTrades, FiguresByMarketAndSector) {
    const auto markets = backtest_.Summarise(BacktestGrouping::Market);
    ASSERT_EQ(markets.size(), 22u);
    ExpectFigures(markets, 1, 0, BacktestSide::Both, E({1, 2, 3, 4, 5, 6, 7}));
    ExpectFigures(markets, 2, 1, BacktestSide::Buy, E({1}));
    ExpectFigures(markets, 2, 3, BacktestSide::Sell, E({2}));
    const auto sectors = backtest_.Summarise(BacktestGrouping::Sector);
    ExpectFigures(sectors, 5, 0, BacktestSide::Both, E({1, 2}));
    ExpectFigures(sectors, 1, 3, BacktestSide::Buy, E({5, 7}));
}

TEST_P(KnownTrades, FiguresByYearOfTheExit) {
    const auto years = backtest_.Summarise(BacktestGrouping::Year);
    if (weekly_) {
        // Weekly trades from January 2007 all end in 2007.
        ASSERT_EQ(years.size(), 11u);
        EXPECT_EQ(years.front().group, 2007u);
        return;
    }
    ASSERT_EQ(years.size(), 22u);
    // Both first trades exit on 2007/12/27; the rest in 2008.
    ExpectFigures(years, 2007, 0, BacktestSide::Both, E({1, 1}));
    ExpectFigures(years, 2008, 0, BacktestSide::Both, E({2, 3, 4, 5, 6, 7, 2}));
    ExpectFigures(years, 2008, 3, BacktestSide::Sell, E({2, 4, 2}));
}

INSTANTIATE_TEST_SUITE_P(DailyAndWeekly, KnownTrades,
                         ::testing::Values(PeriodKind::Daily, PeriodKind::Weekly));

TEST(LawBacktest, SelectionMarketsSectorsAndDatesRestrictTheTrades) {
    const auto matrix = KnownMarket(test::Weekdays(MakePackedDate(2007, 12, 20), 30));
    CLawBacktest backtest;
    BacktestOptions options;
    options.markets = {2};
    ASSERT_TRUE(backtest.Run(*matrix, options));
    EXPECT_EQ(backtest.Trades().size(), 2u);
    options = {};
    options.sectors = {1};
    options.from = MakePackedDate(2008, 1, 1);
    ASSERT_TRUE(backtest.Run(*matrix, options));
    EXPECT_EQ(backtest.Trades().size(), 5u); // T3..T7 of 1301
    options = {};
    options.selection = std::set<SecurityKey>{MakeSecurityKey(1302, 2)};
    options.to = MakePackedDate(2007, 12, 31);
    ASSERT_TRUE(backtest.Run(*matrix, options));
    ASSERT_EQ(backtest.Trades().size(), 1u);
    EXPECT_DOUBLE_EQ(backtest.Trades()[0].returnRate, kT1);
    EXPECT_EQ(backtest.TradesOf(1, BacktestSide::Buy).size(), 1u);
    EXPECT_TRUE(backtest.TradesOf(1, BacktestSide::Sell).empty());
    options.periodKind = static_cast<PeriodKind>(3);
    EXPECT_FALSE(backtest.Run(*matrix, options));
}

TEST_P(KnownTrades, YearlyAverageReturnOfEachLaw) {
    const auto years = AverageReturnsByYear(backtest_.Trades());
    if (weekly_) {
        ASSERT_EQ(years.size(), 1u);
        EXPECT_EQ(years[0].trades, (std::array<unsigned, 4>{3, 1, 5, 0}));
        EXPECT_NEAR(years[0].averageReturn[1], kT6 * 100, 1e-9);
        return;
    }
    ASSERT_EQ(years.size(), 2u);
    EXPECT_EQ(years[0].year, 2007u);
    EXPECT_EQ(years[0].trades, (std::array<unsigned, 4>{2, 0, 0, 0}));
    EXPECT_NEAR(years[0].averageReturn[0], kT1 * 100, 1e-9);
    EXPECT_EQ(years[1].trades, (std::array<unsigned, 4>{1, 1, 5, 0}));
    EXPECT_NEAR(years[1].averageReturn[2], (kT2 * 2 + kT4 + kT5 + kT7) / 5 * 100, 1e-9);
    EXPECT_EQ(years[1].averageReturn[3], 0.0);
}

TEST(LawBacktest, FiguresOfEdgeCases) {
    const BacktestFigures none = ComputeBacktestFigures({}, 0);
    EXPECT_EQ(none.trades, 0u);
    EXPECT_EQ(none.profitFactor, 0.0);
    EXPECT_EQ(none.worst, 0.0);
    const BacktestFigures evens = ComputeBacktestFigures({0.0, 0.0}, 4);
    EXPECT_EQ(evens.evens, 2u);
    EXPECT_EQ(evens.profitFactor, 0.0);
    EXPECT_EQ(evens.winRate, 0.0);
    EXPECT_EQ(evens.averageDays, 2.0);
    const BacktestFigures gains = ComputeBacktestFigures({0.1, 0.3, 0.2, 0.4}, 4);
    EXPECT_TRUE(std::isinf(gains.profitFactor));
    EXPECT_NEAR(gains.medianReturn, 25.0, 1e-9);
    EXPECT_EQ(BacktestNumber(gains.profitFactor), "inf");
    EXPECT_EQ(BacktestNumber(-0.001), "0.00");
}

TEST(LawBacktest, CsvHasTheHeaderAndOneLinePerRow) {
    const auto matrix = KnownMarket(test::Weekdays(MakePackedDate(2007, 12, 20), 30));
    CLawBacktest backtest;
    ASSERT_TRUE(backtest.Run(*matrix, {}));
    const std::string csv = BacktestCsv(backtest.Summarise(BacktestGrouping::All));
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "group,law,side,trades,wins,losses,even,win_rate,avg_return,median_return,"
              "total_return,avg_days,worst,profit_factor");
    EXPECT_NE(csv.find("\nall,1,buy,3,0,3,0,0.00,-15.08,-14.29,-45.24,3.33,-16.67,0.00\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\nall,all,both,9,3,6,0,"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 12);
    const std::string table = BacktestTable(backtest.Summarise(BacktestGrouping::All));
    EXPECT_NE(table.find("[法則１] 窓空け上昇"), std::string::npos);
    EXPECT_NE(table.find("全法則"), std::string::npos);
}

// The sample market, built once: a few hundred securities over ten years.
const CMarketMatrix& SampleMatrix() {
    static const std::unique_ptr<CMarketMatrix> matrix = [] {
        auto m = std::make_unique<CMarketMatrix>();
        SampleMarketOptions options;
        options.years = 10;
        options.securities = 300;
        EXPECT_TRUE(BuildSampleMarket(*m, options));
        return m;
    }();
    return *matrix;
}

class SampleMarket : public ::testing::TestWithParam<PeriodKind> {};

TEST_P(SampleMarket, EverySecurityAgreesWithItsLawStatisticsAndTradingList) {
    // The analysis the chart, the law performance panel and the trading list read.
    CMarketMatrix& matrix = const_cast<CMarketMatrix&>(SampleMatrix());
    CMarketWindows windows;
    ASSERT_TRUE(windows.MapMarketWindows(matrix, nullptr, nullptr));
    ASSERT_TRUE(windows.MapPeriodWindows(matrix, GetParam(), nullptr));
    CLawBacktest backtest;
    BacktestOptions options;
    options.periodKind = GetParam();
    ASSERT_TRUE(backtest.Run(matrix, options));
    const auto all = backtest.Summarise(BacktestGrouping::All);

    std::map<SecurityKey, std::vector<BacktestTrade>> bySecurity;
    for (const BacktestTrade& trade : backtest.Trades())
        bySecurity[trade.key].push_back(trade);
    std::array<LawStats, kLawCount> market{};
    CWindowsPerformer performer;
    std::size_t withTrades = 0;
    for (const auto& [key, security] : matrix.Securities()) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(windows.AnalyseListingByKey(matrix, key, GetParam(), performer, true));
        const ListingAnalysis* record = performer.FindResult(key);
        ASSERT_NE(record, nullptr);
        const std::vector<BacktestTrade>& trades = bySecurity[key];
        withTrades += !trades.empty();
        // The law statistics of the record, trade by trade.
        std::array<LawStats, kLawCount> own{};
        for (const BacktestTrade& t : trades) {
            LawStats& s = own[static_cast<std::size_t>(LawStatsIndex(t.Code()))];
            (t.returnRate > 0 ? s.wins : t.returnRate < 0 ? s.losses : s.evens)++;
            s.sumOfReturns += t.returnRate;
        }
        for (int i = 0; i < kLawCount; ++i) {
            EXPECT_EQ(own[i].wins, record->lawStats[i].wins);
            EXPECT_EQ(own[i].losses, record->lawStats[i].losses);
            EXPECT_EQ(own[i].evens, record->lawStats[i].evens);
            EXPECT_NEAR(own[i].sumOfReturns, record->lawStats[i].sumOfReturns, 1e-9);
            market[i].wins += record->lawStats[i].wins;
            market[i].losses += record->lawStats[i].losses;
            market[i].evens += record->lawStats[i].evens;
            market[i].sumOfReturns += record->lawStats[i].sumOfReturns;
        }
        // The trading list: every row with both prices is a trade, with its profit rate.
        CTradeList list(TradeListKind::Trading);
        list.LoadFrom(performer);
        std::vector<double> rates;
        for (auto row = list.Rows().rbegin(); row != list.Rows().rend(); ++row)
            if (row->HasResult())
                rates.push_back(row->ProfitRate());
        ASSERT_EQ(rates.size(), trades.size());
        for (std::size_t i = 0; i < rates.size(); ++i)
            EXPECT_EQ(rates[i], trades[i].returnRate);
    }
    // Gaps between weekly and monthly candles are rarer than between daily ones.
    const std::size_t kMinimumSecurities[] = {200, 50, 0};
    EXPECT_GT(withTrades, kMinimumSecurities[PeriodIndex(GetParam())]);

    // The market-wide rows are the sums of the securities'.
    const std::uint8_t codes[] = {kLaw1Buy,  kLaw2Buy,  kLaw3Buy,  kLaw4Buy,
                                  kLaw1Sell, kLaw2Sell, kLaw3Sell, kLaw4Sell};
    unsigned total = 0;
    for (int i = 0; i < kLawCount; ++i) {
        const LawStats& s = market[static_cast<std::size_t>(LawStatsIndex(codes[i]))];
        const BacktestFigures& f = all[static_cast<std::size_t>(i)].figures;
        EXPECT_EQ(f.wins, s.wins);
        EXPECT_EQ(f.losses, s.losses);
        EXPECT_EQ(f.evens, s.evens);
        EXPECT_NEAR(f.totalReturn, s.sumOfReturns * 100, 1e-6);
        total += f.trades;
    }
    EXPECT_EQ(all[10].figures.trades, total);
    EXPECT_EQ(total, backtest.Trades().size());
    const unsigned kMinimumTrades[] = {10000, 300, 0};
    EXPECT_GT(total, kMinimumTrades[PeriodIndex(GetParam())]);
}

INSTANTIATE_TEST_SUITE_P(DailyWeeklyMonthly, SampleMarket, ::testing::ValuesIn(kPeriodKinds));

TEST(LawBacktestWorker, ReportsProgressFinishesAndRefusesASecondStart) {
    const CMarketMatrix& matrix = SampleMatrix();
    CLawBacktest backtest;
    test::CRecordingSink sink;
    ASSERT_TRUE(backtest.Start(matrix, {}, &sink));
    test::CRecordingSink refused;
    // A second start while the first runs is refused (unless the first is already done).
    if (!backtest.Start(matrix, {}, &refused)) {
        EXPECT_EQ(refused.Values(kBacktestRefused), std::vector<std::intptr_t>{1});
    }
    backtest.Join();
    const auto percents = sink.Values(kProgressPercent);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.front(), 0);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(sink.Values(kBacktestFinished), std::vector<std::intptr_t>{0});
    EXPECT_FALSE(backtest.Trades().empty());
}

// Cancels the test it watches once the mapping of the windows is done.
class CCancellingSink final : public IMessageSink {
public:
    explicit CCancellingSink(CLawBacktest& backtest) : backtest_(backtest) {}
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (wParam == kProgressPercent && lParam >= 20)
            backtest_.Cancel();
        recorded_.Post(message, wParam, lParam);
    }
    test::CRecordingSink& Recorded() { return recorded_; }

private:
    CLawBacktest& backtest_;
    test::CRecordingSink recorded_;
};

TEST(LawBacktestWorker, CancelEndsWithoutTradesAndAStaleCancelDoesNotStopTheNext) {
    const CMarketMatrix& matrix = SampleMatrix();
    CLawBacktest backtest;
    CCancellingSink cancelling(backtest);
    ASSERT_TRUE(backtest.Start(matrix, {}, &cancelling));
    backtest.Join();
    EXPECT_EQ(cancelling.Recorded().Values(kBacktestCancelled), std::vector<std::intptr_t>{1});
    EXPECT_TRUE(cancelling.Recorded().Values(kBacktestFinished).empty());
    EXPECT_TRUE(backtest.Trades().empty());

    test::CRecordingSink sink;
    ASSERT_TRUE(backtest.Start(matrix, {}, &sink));
    backtest.Join();
    EXPECT_EQ(sink.Values(kBacktestFinished), std::vector<std::intptr_t>{0});
    EXPECT_FALSE(backtest.Trades().empty());

    CEvent cancel;
    cancel.Set();
    EXPECT_FALSE(backtest.Run(matrix, {}, &cancel));
    EXPECT_TRUE(backtest.Trades().empty());
}

} // namespace
} // namespace vorn
