#pragma once
// The market-wide test of the eight trading laws: the closed trades the trading list shows for
// every security of a selection, on daily, weekly or monthly series, summed up per law and
// side, and broken down by the year of the exit, by market and by sector.
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "gaps/listing_analysis.h"
#include "matrix/market_matrix.h"

namespace vorn {

class CMarketWindows;
class CWindowsPerformer;

// The title of the desktop application's window and the label of all laws together.
inline constexpr char kLawBacktestTitle[] = "法則の検証";
inline constexpr char kAllLawsLabel[] = "全法則";

// One closed trade: a position from the execution day of its signal to the execution day of
// the signal that closed it, as a row of the trading list with both prices.
struct BacktestTrade {
    SecurityKey key = 0;
    std::uint8_t signal = 0;   // signal flag of the opening position; buy side in 0x55
    std::uint8_t law = 0;      // law number 1..4
    std::uint8_t industry = 0; // the company's sector code
    PackedDate signalDate = 0;
    PackedDate entryDate = 0;
    PackedDate exitDate = 0;
    std::int64_t entryPrice = 0; // times the price scale
    std::int64_t exitPrice = 0;
    double returnRate = 0.0;       // a fraction, as the trading list's profit rate
    std::uint16_t holdingDays = 0; // calendar days from the entry day to the exit day

    bool IsBuy() const { return IsBuySignal(signal); }
    LawCode Code() const { return LawCodeOf(law, signal); }
    std::uint8_t Market() const { return static_cast<std::uint8_t>((key >> 14) & 0x0F); }

    bool operator==(const BacktestTrade&) const = default;
};

// Appends the closed trades of the security the performer has just analysed, oldest first.
// Trades whose entry price is 0 have no return and are left out, as the law statistics do.
void CollectClosedTrades(const CWindowsPerformer& performer, std::uint8_t industry,
                         std::vector<BacktestTrade>& out);

enum class BacktestSide : std::uint8_t { Buy = 0, Sell = 1, Both = 2 };
enum class BacktestGrouping : std::uint8_t { All = 0, Year = 1, Market = 2, Sector = 3 };

const char* BacktestSideWord(BacktestSide side);          // "buy", "sell", "both"
const char* BacktestSideName(BacktestSide side);          // "買い", "売り", "両方"
const char* BacktestGroupingWord(BacktestGrouping group); // "all", "year", "market", "sector"
std::optional<BacktestGrouping> ParseBacktestGrouping(const std::string& word);
std::optional<PeriodKind> ParsePeriodWord(const std::string& word); // daily, weekly, monthly

struct BacktestFigures {
    unsigned trades = 0;
    unsigned wins = 0;
    unsigned losses = 0;
    unsigned evens = 0;
    double winRate = 0.0;       // percent of the trades
    double averageReturn = 0.0; // percent per trade
    double medianReturn = 0.0;  // percent
    double totalReturn = 0.0;   // percent: the returns added up
    double averageDays = 0.0;   // calendar days held
    double worst = 0.0;         // percent: the lowest return; 0 without trades
    // Sum of the gains over the sum of the losses; infinite with gains and no loss, 0 with
    // neither.
    double profitFactor = 0.0;
};

// Figures of a set of trade returns (fractions) and their holding days.
BacktestFigures ComputeBacktestFigures(std::vector<double> returns, double totalDays);

struct BacktestRow {
    BacktestGrouping grouping = BacktestGrouping::All;
    unsigned group = 0;   // the year, market code or sector code; 0 for all
    std::uint8_t law = 0; // law number 1..4; 0 for all laws
    BacktestSide side = BacktestSide::Both;
    BacktestFigures figures;
};

struct BacktestOptions {
    PeriodKind periodKind = PeriodKind::Daily;
    // Trades that entered on or after `from` and exited on or before `to`.
    PackedDate from = kNoDate;
    PackedDate to = kOpenEnd;
    std::vector<std::uint8_t> markets; // empty: every market
    std::vector<std::uint8_t> sectors; // empty: every sector
    // Only these securities; none: every security.
    std::optional<std::set<SecurityKey>> selection;
};

// The heading of the comma-separated table.
inline constexpr char kBacktestCsvHeader[] = "group,law,side,trades,wins,losses,even,win_rate,"
                                             "avg_return,median_return,total_return,avg_days,"
                                             "worst,profit_factor";

// Progress messages of the test (kMsgProgress): wParam 0 percent, wParam 1 finished, wParam 2
// with lParam 1 cancelled (nothing kept), wParam -1 with lParam 1 refused because a test is
// still running, 3 the thread could not be started, 6 the test failed.
constexpr std::uintptr_t kBacktestFinished = 1;
constexpr std::uintptr_t kBacktestCancelled = kProgressFailure;
constexpr std::uintptr_t kBacktestRefused = static_cast<std::uintptr_t>(-1);

class CLawBacktest {
public:
    CLawBacktest();
    ~CLawBacktest();
    CLawBacktest(const CLawBacktest&) = delete;
    CLawBacktest& operator=(const CLawBacktest&) = delete;

    // Runs the test on this thread; false when cancelled (the trades then stay empty) or when
    // the period kind is not 0, 1 or 2. The matrix must not change while it runs.
    bool Run(const CMarketMatrix& matrix, const BacktestOptions& options, CEvent* cancel = nullptr,
             IMessageSink* sink = nullptr);

    // Runs the test on a worker thread that reports to `sink`; false (with a message) when a
    // test is still running or the thread cannot be started. The trades must not be read until
    // the finish message has arrived.
    bool Start(const CMarketMatrix& matrix, const BacktestOptions& options, IMessageSink* sink);
    void Cancel() { cancel_.Set(); }
    bool Running() { return !workerEnded_.IsSet(); }
    void Join();

    PeriodKind Period() const { return periodKind_; }
    // Every trade found, by security and then by time.
    const std::vector<BacktestTrade>& Trades() const { return trades_; }
    // The trades of one law (1..4, 0 for all) and side.
    std::vector<BacktestTrade> TradesOf(std::uint8_t law, BacktestSide side) const;

    // For every group in ascending order: the buy laws 1..4, the sell laws 1..4, then all laws
    // on the buy side, the sell side and both.
    std::vector<BacktestRow> Summarise(BacktestGrouping grouping) const;

private:
    std::unique_ptr<CMarketWindows> windows_;
    std::unique_ptr<CWindowsPerformer> performer_;
    std::vector<BacktestTrade> trades_;
    PeriodKind periodKind_ = PeriodKind::Daily;

    std::thread worker_;
    CEvent workerEnded_{true, true};
    CEvent cancel_{true, false};
    std::atomic<bool> stopping_{false};
    BacktestOptions workerOptions_;
};

// The average return (percent) of each law, both sides together, in one year of exits.
struct YearLawAverages {
    unsigned year = 0;
    std::array<double, 4> averageReturn{}; // laws 1..4
    std::array<unsigned, 4> trades{};
};
// Ascending by year; only years with trades.
std::vector<YearLawAverages> AverageReturnsByYear(const std::vector<BacktestTrade>& trades);

// Days a chart opened at a trade shows, and the chart position (its left edge, counted from the
// security's first day in the daily calendar) that puts `day` in the middle of them.
constexpr std::uint16_t kTradeChartDays = 120;
std::uint16_t ChartPositionOf(const CMarketMatrix& matrix, const SecurityRecord& security,
                              PackedDate day, std::uint16_t visibleDays);

// Texts of a row for the terminal and the comma-separated table.
std::string BacktestGroupText(const BacktestRow& row);
std::string BacktestLawText(const BacktestRow& row); // "1".."4" or "all"
// "%.2f", "inf" for an infinite profit factor.
std::string BacktestNumber(double value);
std::string BacktestCsv(const std::vector<BacktestRow>& rows);
// Writes BacktestCsv to `path` through a completely written temporary file; false (and the file
// as it was) when that fails.
bool ExportBacktestCsv(const std::filesystem::path& path, const std::vector<BacktestRow>& rows);
// The table for the terminal: one line per row under a heading line, columns aligned.
std::string BacktestTable(const std::vector<BacktestRow>& rows);

} // namespace vorn
