// vornctl analyse: the trading-law analysis of one security, or of the whole market.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "command.h"
#include "foundation/event.h"
#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"
#include "matrix_input.h"
#include "progress_line.h"

namespace vornctl {
namespace {

using namespace vorn;

// Waits for the market analysis worker's last message.
class CFinishSink final : public IMessageSink {
public:
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (message != kMsgProgress || wParam == kProgressPercent)
            return;
        finished_ = wParam == 1;
        done_.Set();
    }
    bool Wait() {
        done_.Wait();
        return finished_;
    }

private:
    CEvent done_{true, false};
    bool finished_ = false; // written before done_ is set, read after it
};

bool ParseUnsigned(const std::string& text, unsigned long limit, unsigned long& value) {
    if (text.empty() || text.size() > 10)
        return false;
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, 10);
    return end != nullptr && *end == '\0' && value <= limit;
}

// A day of the analysed series as a date; "-" for a day the calendar does not hold.
std::string SeriesDay(const CCalendar& calendar, int firstPosition, unsigned index) {
    const long position = static_cast<long>(firstPosition) + static_cast<long>(index);
    if (firstPosition < 0 || position >= static_cast<long>(calendar.Count()))
        return "-";
    return FormatDateArg(calendar[static_cast<std::uint16_t>(position)]);
}

std::string CalendarDay(const CCalendar& calendar, unsigned position) {
    return position < calendar.Count() ? FormatDateArg(calendar[static_cast<std::uint16_t>(position)])
                                       : "-";
}

// A price, or "-" where none is known yet (a position signalled on the last day).
std::string PriceText(std::uint32_t price) {
    return price == kNoEntryPrice ? "-" : std::to_string(price);
}

void PrintRecord(const ListingAnalysis& r) {
    std::printf("signal=%u\nsignalLaw=%u\nposition=%u\ndaysHeld=%u\n", r.signal, r.signalLaw,
                r.position, r.daysHeld);
    std::printf("lastEventSignal=%u\nlastEventLaw=%u\ndaysSinceEvent=%u\n", r.lastEventSignal,
                r.lastEventLaw, r.daysSinceEvent);
    std::printf("annualReturn=%.10g\nannualRisk=%.10g\nbeta=%.10g\n", r.annualReturn, r.annualRisk,
                r.beta);
    for (int i = 0; i < kLawCount; ++i) {
        const LawStats& s = r.lawStats[static_cast<std::size_t>(i)];
        std::printf("law.%u=%u,%u,%u,%.10g\n", 1u << i, s.wins, s.losses, s.evens, s.sumOfReturns);
    }
    std::printf("candleShape=%u\nvolumeChange=%.10g\n", r.candleShape, r.volumeChange);
    std::printf("latestWindows=%u,%u,%u,%u\n", r.latestWindows[0], r.latestWindows[1],
                r.latestWindows[2], r.latestWindows[3]);
}

void MapWithProgress(CMarketWindows& windows, CMarketMatrix& matrix) {
    CProgressLine line;
    CProgressSink mapping(line, "mapping the windows");
    windows.MapMarketWindows(matrix, nullptr, &mapping);
}

int AnalyseOne(CMarketMatrix& matrix, const std::string& path, unsigned long code,
               unsigned long market) {
    if (matrix.FindSecurity(MakeSecurityKey(static_cast<std::uint16_t>(code),
                                            static_cast<std::uint8_t>(market))) == nullptr)
        return NoSecurity(static_cast<unsigned>(code), static_cast<unsigned>(market), path);
    CMarketWindows windows;
    MapWithProgress(windows, matrix);
    CWindowsPerformer performer;
    const SecurityKey key = MakeSecurityKey(static_cast<std::uint16_t>(code), static_cast<std::uint8_t>(market));
    const ListingAnalysis* record = nullptr;
    if (windows.AnalyseListingByKey(matrix, key, PeriodKind::Daily, performer, true))
        record = performer.FindResult(key);
    if (record == nullptr)
        return Failure("security " + FormatStockCode(static_cast<std::uint32_t>(code)) +
                       " on market " + std::to_string(market) + " could not be analysed");
    PrintRecord(*record);
    const CCalendar& calendar = matrix.DailyCalendar();
    const int first = performer.FirstPosition();
    for (const WindowStateRecord& w : performer.History())
        std::printf("window %u: %u %s %u\n", w.identifier, w.state,
                    SeriesDay(calendar, first, w.day).c_str(), w.price);
    for (const PositionEntry& p : performer.Positions())
        std::printf("position %s: %u %u %s\n", SeriesDay(calendar, first, p.day).c_str(), p.signal,
                    p.law, PriceText(p.entryPrice).c_str());
    for (const MonthlySegment& s : performer.Segments())
        std::printf("segment %s: %u %s %s\n", CalendarDay(calendar, s.endPosition).c_str(), s.side,
                    PriceText(s.startPrice).c_str(), PriceText(s.endPrice).c_str());
    return 0;
}

int AnalyseAll(CMarketMatrix& matrix) {
    CMarketWindows windows;
    MapWithProgress(windows, matrix);
    AnalysisResults results;
    results.periodKind = vorn::PeriodKind::Daily;
    CFinishSink finish;
    CProgressLine line;
    CProgressSink analysis(line, "analysing the securities", &finish);
    const bool finished = windows.StartMarketAnalysis(matrix, results, &analysis) && finish.Wait();
    windows.JoinWorker();
    line.Clear();
    if (!finished)
        return Failure("the market analysis failed");
    for (const auto& [key, r] : results.records) {
        std::printf("%s,%u,%u,%u,%u,%u,%u,%u,%u,%.10g,%.10g,%.10g,%u,%.10g,%u,%u,%u,%u",
                    FormatStockCode(CodeOfKey(key)).c_str(), MarketOfKey(key), r.signal,
                    r.signalLaw, r.position, r.daysHeld, r.lastEventSignal, r.lastEventLaw,
                    r.daysSinceEvent, r.annualReturn, r.annualRisk, r.beta, r.candleShape,
                    r.volumeChange, r.latestWindows[0], r.latestWindows[1], r.latestWindows[2],
                    r.latestWindows[3]);
        for (const LawStats& s : r.lawStats)
            std::printf(",%u,%u,%u,%.10g", s.wins, s.losses, s.evens, s.sumOfReturns);
        std::printf("\n");
    }
    return 0;
}

int RunAnalyse(int argc, char** argv) {
    const CArgs args(argc, argv);
    const auto& positionals = args.Positionals();
    const bool all = args.Has("all");
    if (positionals.empty() || (all ? positionals.size() != 1 : positionals.size() != 3))
        return UsageError("expected FILE CODE MARKET or FILE --all");
    unsigned long code = 0, market = 0;
    if (!all) {
        const std::optional<std::uint16_t> parsed = ParseStockCode(positionals[1]);
        if (!parsed)
            return UsageError(DescribeBadStockCode(positionals[1]));
        if (!ParseUnsigned(positionals[2], 15, market) || market == 0)
            return UsageError("CODE must be a stock code (7203, 130A) and MARKET 1..15");
        code = *parsed;
    }

    CMarketMatrix matrix;
    if (!RestoreOrReport(matrix, positionals[0]))
        return 1;
    return all ? AnalyseAll(matrix) : AnalyseOne(matrix, positionals[0], code, market);
}

const CommandRegistrar kRegistrar(
    {"analyse",
     "analyse FILE CODE MARKET | analyse FILE --all",
     "the trading-law analysis of one security, or one line per security of the whole market",
     {{"all", nullptr, "analyse every security, one comma-separated line each (default: the one "
                       "security CODE on MARKET, with its windows, positions and segments by "
                       "date)"}},
     "vornctl analyse data/Market.kbx 7203 1",
     "FILE is a market content file; CODE the stock code and MARKET the market number (1..15)."},
    RunAnalyse);

} // namespace
} // namespace vornctl
