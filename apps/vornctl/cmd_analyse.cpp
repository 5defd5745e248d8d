// vornctl analyse: the trading-law analysis of one security, or of the whole market.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "command.h"
#include "foundation/event.h"
#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"
#include "matrix/matrix_file.h"
#include "matrix/stock_code.h"

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

int AnalyseOne(CMarketMatrix& matrix, const std::string& codeText, const std::string& marketText) {
    const std::optional<std::uint16_t> code = ParseStockCode(codeText);
    unsigned long market = 0;
    if (!code || !ParseUnsigned(marketText, 15, market) || market == 0)
        return UsageError(
            "CODE must be a stock code (7203, 130A) and MARKET 1..15; " +
            (code ? "bad market '" + marketText + "'" : DescribeBadStockCode(codeText)));
    CMarketWindows windows;
    windows.MapMarketWindows(matrix, nullptr, nullptr);
    CWindowsPerformer performer;
    const SecurityKey key = MakeSecurityKey(*code, static_cast<std::uint8_t>(market));
    const ListingAnalysis* record = nullptr;
    if (windows.AnalyseListingByKey(matrix, key, 0, performer, true))
        record = performer.FindResult(key);
    if (record == nullptr) {
        std::fprintf(stderr, "vornctl: security %s on market %lu could not be analysed\n",
                     FormatStockCode(*code).c_str(), market);
        return 1;
    }
    PrintRecord(*record);
    for (const WindowStateRecord& w : performer.History())
        std::printf("window %u: %u %u %u\n", w.identifier, w.state, w.day, w.price);
    for (const PositionEntry& p : performer.Positions())
        std::printf("position %u: %u %u %u\n", p.day, p.signal, p.law, p.entryPrice);
    for (const MonthlySegment& s : performer.Segments())
        std::printf("segment %u: %u %u %u\n", s.endPosition, s.side, s.startPrice, s.endPrice);
    return 0;
}

int AnalyseAll(CMarketMatrix& matrix) {
    CMarketWindows windows;
    windows.MapMarketWindows(matrix, nullptr, nullptr);
    AnalysisResults results;
    results.periodKind = 0;
    CFinishSink sink;
    if (!windows.StartMarketAnalysis(matrix, results, &sink) || !sink.Wait()) {
        std::fprintf(stderr, "vornctl: the market analysis failed\n");
        return 1;
    }
    windows.JoinWorker();
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
    CArgs args(argc, argv, {"all"});
    if (!args.Error().empty())
        return UsageError(args.Error());
    if (const std::string unknown = args.UnknownOption({"all"}); !unknown.empty())
        return UsageError("unknown option " + unknown);
    const auto& positionals = args.Positionals();
    const bool all = args.Has("all");
    if (positionals.empty() || (all ? positionals.size() != 1 : positionals.size() != 3))
        return UsageError("usage: analyse FILE CODE MARKET | analyse FILE --all");

    CMarketMatrix matrix;
    const std::uint8_t restored = RestoreMatrix(matrix, positionals[0], nullptr, nullptr);
    if (restored != kMatrixOk) {
        std::fprintf(stderr, "vornctl: cannot restore %s (result %u)\n", positionals[0].c_str(),
                     restored);
        return 1;
    }
    return all ? AnalyseAll(matrix) : AnalyseOne(matrix, positionals[1], positionals[2]);
}

const CommandRegistrar kRegistrar("analyse", "analyse FILE CODE MARKET | analyse FILE --all",
                                  RunAnalyse);

} // namespace
} // namespace vornctl
