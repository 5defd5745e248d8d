// The market-wide test of the trading laws: the trades come from the trading list of every
// security as the listing analysis leaves it, the figures from those trades.
#include "gaps/law_backtest.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <system_error>

#include "gaps/market_windows.h"
#include "gaps/trading_lists.h"
#include "gaps/windows_performer.h"
#include "matrix/name_tables.h"
#include "foundation/file_replacement.h"

namespace vorn {
namespace {

// Progress is posted, and the cancel event polled, after this many securities.
constexpr std::size_t kPollEvery = 35;
// Share of the progress bar the mapping of the period's windows takes.
constexpr double kMappingShare = 20.0;
constexpr std::intptr_t kRefusedRunning = 1;
constexpr std::intptr_t kRefusedThreadFailed = 3;
constexpr std::intptr_t kRefusedFailed = 6;

// Buy codes of laws 1..4, then the sell codes.
constexpr std::array<std::uint8_t, 4> kBuyCodes = {kLaw1Buy, kLaw2Buy, kLaw3Buy, kLaw4Buy};
constexpr std::array<std::uint8_t, 4> kSellCodes = {kLaw1Sell, kLaw2Sell, kLaw3Sell, kLaw4Sell};

void Post(IMessageSink* sink, std::uintptr_t wParam, std::intptr_t lParam) {
    if (sink != nullptr)
        sink->Post(kMsgProgress, wParam, lParam);
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long DayNumber(PackedDate date) {
    const long y = static_cast<long>(DateYear(date)) - (DateMonth(date) <= 2 ? 1 : 0);
    const long m = static_cast<long>(DateMonth(date));
    const long d = static_cast<long>(DateDay(date));
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool Contains(const std::vector<std::uint8_t>& list, std::uint8_t value) {
    return list.empty() || std::find(list.begin(), list.end(), value) != list.end();
}

unsigned GroupOf(const BacktestTrade& trade, BacktestGrouping grouping) {
    switch (grouping) {
    case BacktestGrouping::Year:
        return DateYear(trade.exitDate);
    case BacktestGrouping::Market:
        return trade.Market();
    case BacktestGrouping::Sector:
        return trade.industry;
    case BacktestGrouping::All:
        break;
    }
    return 0;
}

// The trades of one group, per law code.
struct LawBucket {
    std::vector<double> returns;
    double days = 0.0;
};
using GroupBuckets = std::array<LawBucket, kLawCount>;

BacktestFigures FiguresOf(const GroupBuckets& buckets, std::span<const std::uint8_t> codes) {
    std::vector<double> returns;
    double days = 0.0;
    for (std::uint8_t code : codes) {
        const LawBucket& bucket = buckets[static_cast<std::size_t>(LawStatsIndex(code))];
        returns.insert(returns.end(), bucket.returns.begin(), bucket.returns.end());
        days += bucket.days;
    }
    return ComputeBacktestFigures(std::move(returns), days);
}

// Columns of the terminal table: heading and whether the texts are right-aligned.
struct TableColumn {
    const char* heading;
    bool right;
};
constexpr TableColumn kTableColumns[] = {
    {"区分", false}, {"法則", false},    {"売買", false}, {"取引", true},  {"勝ち", true},
    {"負け", true},  {"分け", true},     {"勝率%", true}, {"平均%", true}, {"中央値%", true},
    {"合計%", true}, {"平均日数", true}, {"最悪%", true}, {"PF", true}};

// Columns a text takes on a terminal: two for every character beyond ASCII (the texts here
// are Japanese).
std::size_t DisplayWidth(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text) {
        if (c < 0x80)
            ++width;
        else if ((c & 0xC0) != 0x80)
            width += 2;
    }
    return width;
}

std::string GroupLabel(const BacktestRow& row) {
    switch (row.grouping) {
    case BacktestGrouping::Year:
        return std::to_string(row.group);
    case BacktestGrouping::Market:
        return std::to_string(row.group) + " " + MarketName(row.group);
    case BacktestGrouping::Sector:
        return std::to_string(row.group) + " " + IndustryName(row.group);
    case BacktestGrouping::All:
        break;
    }
    return "全体";
}

std::string LawLabel(const BacktestRow& row) {
    if (row.law == 0)
        return kAllLawsLabel;
    const auto& codes = row.side == BacktestSide::Sell ? kSellCodes : kBuyCodes;
    return LawTitle(static_cast<unsigned>(LawStatsIndex(codes[row.law - 1u]) + 1));
}

std::vector<std::string> RowTexts(const BacktestRow& row) {
    const BacktestFigures& f = row.figures;
    return {GroupLabel(row),
            LawLabel(row),
            BacktestSideName(row.side),
            std::to_string(f.trades),
            std::to_string(f.wins),
            std::to_string(f.losses),
            std::to_string(f.evens),
            BacktestNumber(f.winRate),
            BacktestNumber(f.averageReturn),
            BacktestNumber(f.medianReturn),
            BacktestNumber(f.totalReturn),
            BacktestNumber(f.averageDays),
            BacktestNumber(f.worst),
            BacktestNumber(f.profitFactor)};
}

} // namespace

void CollectClosedTrades(const CWindowsPerformer& performer, std::uint8_t industry,
                         std::vector<BacktestTrade>& out) {
    const SecurityRecord* security = performer.Security();
    if (security == nullptr || performer.Calendar() == nullptr)
        return;
    CTradeList list(TradeListKind::Trading);
    list.LoadFrom(performer);
    // The list comes newest first; each row's exit is the next (newer) row's execution day.
    const std::vector<TradeRow>& rows = list.Rows();
    for (std::size_t i = rows.size(); i-- > 1;) {
        const TradeRow& row = rows[i];
        const TradeRow& closing = rows[i - 1];
        if (!row.HasResult() || row.entryPrice == 0 || closing.secondDate == kOpenEnd ||
            row.secondDate == kOpenEnd)
            continue;
        BacktestTrade trade;
        trade.key = security->Key();
        trade.signal = row.signal;
        trade.law = row.law;
        trade.industry = industry;
        trade.signalDate = row.firstDate;
        trade.entryDate = row.secondDate;
        trade.exitDate = closing.secondDate;
        trade.entryPrice = row.entryPrice;
        trade.exitPrice = row.exitPrice;
        trade.returnRate = row.ProfitRate();
        const long days = DayNumber(trade.exitDate) - DayNumber(trade.entryDate);
        trade.holdingDays = static_cast<std::uint16_t>(std::clamp(days, 0L, 65535L));
        out.push_back(trade);
    }
}

const char* BacktestSideWord(BacktestSide side) {
    constexpr const char* kWords[] = {"buy", "sell", "both"};
    return kWords[static_cast<std::size_t>(side)];
}

const char* BacktestSideName(BacktestSide side) {
    constexpr const char* kNames[] = {"買い", "売り", "両方"};
    return kNames[static_cast<std::size_t>(side)];
}

const char* BacktestGroupingWord(BacktestGrouping grouping) {
    constexpr const char* kWords[] = {"all", "year", "market", "sector"};
    return kWords[static_cast<std::size_t>(grouping)];
}

std::optional<BacktestGrouping> ParseBacktestGrouping(const std::string& word) {
    for (auto g : {BacktestGrouping::All, BacktestGrouping::Year, BacktestGrouping::Market,
                   BacktestGrouping::Sector})
        if (word == BacktestGroupingWord(g))
            return g;
    return std::nullopt;
}

std::optional<PeriodKind> ParsePeriodWord(const std::string& word) {
    constexpr const char* kWords[] = {"daily", "weekly", "monthly"};
    for (PeriodKind kind : kPeriodKinds)
        if (word == kWords[PeriodIndex(kind)])
            return kind;
    return std::nullopt;
}

BacktestFigures ComputeBacktestFigures(std::vector<double> returns, double totalDays) {
    BacktestFigures f;
    if (returns.empty())
        return f;
    f.trades = static_cast<unsigned>(returns.size());
    double gains = 0.0;
    double losses = 0.0;
    double sum = 0.0;
    f.worst = std::numeric_limits<double>::infinity();
    for (double r : returns) {
        if (r > 0) {
            ++f.wins;
            gains += r;
        } else if (r < 0) {
            ++f.losses;
            losses -= r;
        } else {
            ++f.evens;
        }
        sum += r;
        f.worst = std::min(f.worst, r);
    }
    const double n = static_cast<double>(returns.size());
    f.winRate = f.wins / n * 100.0;
    f.averageReturn = sum / n * 100.0;
    f.totalReturn = sum * 100.0;
    f.worst *= 100.0;
    f.averageDays = totalDays / n;
    const std::size_t middle = returns.size() / 2;
    std::nth_element(returns.begin(), returns.begin() + static_cast<long>(middle), returns.end());
    double median = returns[middle];
    if (returns.size() % 2 == 0)
        median = (median +
                  *std::max_element(returns.begin(), returns.begin() + static_cast<long>(middle))) /
                 2.0;
    f.medianReturn = median * 100.0;
    if (losses > 0)
        f.profitFactor = gains / losses;
    else if (gains > 0)
        f.profitFactor = std::numeric_limits<double>::infinity();
    return f;
}

CLawBacktest::CLawBacktest()
    : windows_(std::make_unique<CMarketWindows>()),
      performer_(std::make_unique<CWindowsPerformer>()) {}

CLawBacktest::~CLawBacktest() {
    stopping_ = true;
    cancel_.Set();
    Join();
}

void CLawBacktest::Join() {
    if (worker_.joinable())
        worker_.join();
}

bool CLawBacktest::Run(const CMarketMatrix& matrix, const BacktestOptions& options, CEvent* cancel,
                       IMessageSink* sink) {
    trades_.clear();
    periodKind_ = options.periodKind;
    if (!IsPeriodKind(options.periodKind))
        return false;
    const auto cancelled = [&] { return stopping_ || IsSignalled(cancel); };
    Post(sink, kProgressPercent, 0);
    // The windows of the period kind are mapped here, apart from the application's map, so
    // that a test never touches what the chart reads.
    if (!windows_->MapPeriodWindows(matrix, options.periodKind, cancel)) {
        if (cancelled())
            return false;
        Post(sink, kProgressPercent, 100);
        return true; // an empty calendar has no trades
    }
    Post(sink, kProgressPercent, static_cast<std::intptr_t>(kMappingShare));

    CWindowsPerformer& performer = *performer_;
    performer.ClearResults();
    performer.Reset();
    const auto& securities = matrix.Securities();
    const double step =
        (100.0 - kMappingShare) / static_cast<double>(std::max<std::size_t>(securities.size(), 1));
    double progress = kMappingShare;
    std::size_t count = 0;
    std::vector<BacktestTrade> found;
    for (const auto& [key, security] : securities) {
        ++count;
        progress += step;
        if (count % kPollEvery == 0) {
            if (cancelled()) {
                trades_.clear(); // part of a market is no answer for the market
                return false;
            }
            Post(sink, kProgressPercent, static_cast<std::intptr_t>(progress));
        }
        if (options.selection && options.selection->count(key) == 0)
            continue;
        const std::uint8_t industry = security.company ? security.company->industry : 0;
        if (!Contains(options.markets, security.market) || !Contains(options.sectors, industry))
            continue;
        performer.SetSecurity(&security);
        if (!windows_->AnalyseListing(matrix, options.periodKind, performer, true))
            continue;
        performer.ClearResults(); // only the positions are wanted
        found.clear();
        CollectClosedTrades(performer, industry, found);
        for (const BacktestTrade& trade : found)
            if (trade.entryDate >= options.from && trade.exitDate <= options.to)
                trades_.push_back(trade);
    }
    performer.Reset();
    performer.SetSecurity(nullptr);
    Post(sink, kProgressPercent, 100);
    return true;
}

bool CLawBacktest::Start(const CMarketMatrix& matrix, const BacktestOptions& options,
                         IMessageSink* sink) {
    if (!workerEnded_.IsSet()) {
        Post(sink, kBacktestRefused, kRefusedRunning);
        return false;
    }
    Join();
    workerOptions_ = options;
    cancel_.Reset();
    workerEnded_.Reset();
    try {
        worker_ = std::thread([this, &matrix, sink] {
            bool done = false;
            bool failed = false;
            try {
                done = Run(matrix, workerOptions_, &cancel_, sink);
            } catch (const std::exception&) {
                failed = true;
                trades_.clear();
            }
            if (failed || !IsPeriodKind(workerOptions_.periodKind))
                Post(sink, kBacktestRefused, kRefusedFailed);
            else if (done)
                Post(sink, kBacktestFinished, 0);
            else
                Post(sink, kBacktestCancelled, 1);
            workerEnded_.Set();
        });
    } catch (const std::system_error&) {
        workerEnded_.Set();
        Post(sink, kBacktestRefused, kRefusedThreadFailed);
        return false;
    }
    return true;
}

std::vector<BacktestTrade> CLawBacktest::TradesOf(std::uint8_t law, BacktestSide side) const {
    std::vector<BacktestTrade> result;
    for (const BacktestTrade& trade : trades_) {
        if (law != 0 && trade.law != law)
            continue;
        if ((side == BacktestSide::Buy && !trade.IsBuy()) ||
            (side == BacktestSide::Sell && trade.IsBuy()))
            continue;
        result.push_back(trade);
    }
    return result;
}

std::vector<BacktestRow> CLawBacktest::Summarise(BacktestGrouping grouping) const {
    std::map<unsigned, GroupBuckets> groups;
    if (grouping == BacktestGrouping::All)
        groups[0]; // the whole selection has a row even without trades
    for (const BacktestTrade& trade : trades_) {
        const int index = LawStatsIndex(trade.Code());
        if (index < 0)
            continue;
        LawBucket& bucket = groups[GroupOf(trade, grouping)][static_cast<std::size_t>(index)];
        bucket.returns.push_back(trade.returnRate);
        bucket.days += trade.holdingDays;
    }
    std::vector<BacktestRow> rows;
    rows.reserve(groups.size() * 11);
    for (const auto& [group, buckets] : groups) {
        const auto add = [&](std::uint8_t law, BacktestSide side,
                             std::span<const std::uint8_t> codes) {
            rows.push_back({grouping, group, law, side, FiguresOf(buckets, codes)});
        };
        for (std::uint8_t law = 1; law <= 4; ++law)
            add(law, BacktestSide::Buy, std::span(&kBuyCodes[law - 1u], 1));
        for (std::uint8_t law = 1; law <= 4; ++law)
            add(law, BacktestSide::Sell, std::span(&kSellCodes[law - 1u], 1));
        const std::array<std::uint8_t, 8> every = {kLaw1Buy,  kLaw2Buy,  kLaw3Buy,  kLaw4Buy,
                                                   kLaw1Sell, kLaw2Sell, kLaw3Sell, kLaw4Sell};
        add(0, BacktestSide::Buy, kBuyCodes);
        add(0, BacktestSide::Sell, kSellCodes);
        add(0, BacktestSide::Both, every);
    }
    return rows;
}

std::vector<YearLawAverages> AverageReturnsByYear(const std::vector<BacktestTrade>& trades) {
    std::map<unsigned, YearLawAverages> years;
    for (const BacktestTrade& trade : trades) {
        if (trade.law < 1 || trade.law > 4)
            continue;
        YearLawAverages& year = years[DateYear(trade.exitDate)];
        year.averageReturn[trade.law - 1u] += trade.returnRate;
        ++year.trades[trade.law - 1u];
    }
    std::vector<YearLawAverages> result;
    result.reserve(years.size());
    for (auto& [number, year] : years) {
        year.year = number;
        for (std::size_t law = 0; law < 4; ++law)
            if (year.trades[law] > 0)
                year.averageReturn[law] = year.averageReturn[law] / year.trades[law] * 100.0;
        result.push_back(year);
    }
    return result;
}

std::uint16_t ChartPositionOf(const CMarketMatrix& matrix, const SecurityRecord& security,
                              PackedDate day, std::uint16_t visibleDays) {
    const CCalendar& calendar = matrix.DailyCalendar();
    const unsigned short* first = calendar.Lookup(security.firstDate, SearchMode::LowerBound);
    const unsigned short* at = calendar.Lookup(day, SearchMode::LowerBound);
    if (first == nullptr || at == nullptr || first == calendar.End() || at <= first)
        return 0;
    const long index = (at == calendar.End() ? at - 1 : at) - first;
    return static_cast<std::uint16_t>(std::clamp(index - visibleDays / 2, 0L, 0xFFFEL));
}

std::string BacktestGroupText(const BacktestRow& row) {
    return row.grouping == BacktestGrouping::All ? "all" : std::to_string(row.group);
}

std::string BacktestLawText(const BacktestRow& row) {
    return row.law == 0 ? "all" : std::to_string(row.law);
}

std::string BacktestNumber(double value) {
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    // No "-0.00" for a value that rounds to zero.
    if (std::string_view(text) == "-0.00")
        return "0.00";
    return text;
}

std::string BacktestCsv(const std::vector<BacktestRow>& rows) {
    std::string csv = kBacktestCsvHeader;
    csv += '\n';
    for (const BacktestRow& row : rows) {
        const BacktestFigures& f = row.figures;
        csv += BacktestGroupText(row) + ',' + BacktestLawText(row) + ',' +
               BacktestSideWord(row.side) + ',' + std::to_string(f.trades) + ',' +
               std::to_string(f.wins) + ',' + std::to_string(f.losses) + ',' +
               std::to_string(f.evens) + ',' + BacktestNumber(f.winRate) + ',' +
               BacktestNumber(f.averageReturn) + ',' + BacktestNumber(f.medianReturn) + ',' +
               BacktestNumber(f.totalReturn) + ',' + BacktestNumber(f.averageDays) + ',' +
               BacktestNumber(f.worst) + ',' + BacktestNumber(f.profitFactor) + '\n';
    }
    return csv;
}

bool ExportBacktestCsv(const std::filesystem::path& path, const std::vector<BacktestRow>& rows) {
    return ReplaceFileWith(path, BacktestCsv(rows));
}

std::string BacktestTable(const std::vector<BacktestRow>& rows) {
    constexpr std::size_t kColumns = std::size(kTableColumns);
    std::vector<std::vector<std::string>> lines;
    lines.reserve(rows.size() + 1);
    std::vector<std::string> heading;
    for (const TableColumn& column : kTableColumns)
        heading.emplace_back(column.heading);
    lines.push_back(std::move(heading));
    for (const BacktestRow& row : rows)
        lines.push_back(RowTexts(row));
    std::array<std::size_t, kColumns> widths{};
    for (const auto& line : lines)
        for (std::size_t c = 0; c < kColumns; ++c)
            widths[c] = std::max(widths[c], DisplayWidth(line[c]));
    std::string table;
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t c = 0; c < kColumns; ++c) {
            const std::string pad(widths[c] - DisplayWidth(line[c]), ' ');
            if (c > 0)
                text += "  ";
            text += kTableColumns[c].right ? pad + line[c] : line[c] + pad;
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        table += text + '\n';
    }
    return table;
}

} // namespace vorn
