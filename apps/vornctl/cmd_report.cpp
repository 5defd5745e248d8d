// vornctl report FILE --top N | --codes C1,C2,... [--cp932]: the text signal report, for the
// largest companies or for chosen stock codes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "analysed_market.h"
#include "command.h"
#include "matrix/stock_code.h"
#include "screening/signal_report.h"

namespace vornctl {
namespace {

// False with `bad` set to the first text that is no stock code.
bool ParseCodes(const std::string& text, std::vector<std::uint16_t>& codes, std::string& bad) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string part = text.substr(start, comma - start);
        const std::optional<std::uint16_t> code = vorn::ParseStockCode(part);
        if (!code) {
            bad = part;
            return false;
        }
        codes.push_back(*code);
        start = comma + 1;
    }
    return !codes.empty();
}

int RunReport(int argc, char** argv) {
    CArgs args(argc, argv, {"cp932"});
    if (!args.Error().empty())
        return UsageError(args.Error());
    if (const std::string unknown = args.UnknownOption({"top", "codes", "cp932"}); !unknown.empty())
        return UsageError("unknown option " + unknown);
    const std::optional<std::string> top = args.Option("top");
    const std::optional<std::string> codesText = args.Option("codes");
    if (args.Positionals().size() != 1 || top.has_value() == codesText.has_value())
        return UsageError("usage: report FILE --top N | report FILE --codes C1,C2,... [--cp932]");
    unsigned long count = 0;
    std::vector<std::uint16_t> codes;
    if (top && !ParseNumber(*top, 65535, count))
        return UsageError("--top needs a number 0..65535");
    if (std::string bad; codesText && !ParseCodes(*codesText, codes, bad))
        return UsageError("--codes needs stock codes (7203, 130A) separated by commas: " +
                          vorn::DescribeBadStockCode(bad));

    AnalysedMarket market;
    if (!LoadAnalysedMarket(args.Positionals()[0], market))
        return 1;
    const std::string report =
        top ? vorn::CopySignalReport(market.matrix, market.results, static_cast<unsigned>(count))
            : vorn::CopySignalReportFor(market.matrix, market.results, codes);
    if (args.Has("cp932"))
        std::fwrite(report.data(), 1, report.size(), stdout);
    else
        std::fputs(TerminalText(report).c_str(), stdout);
    return 0;
}

const CommandRegistrar kRegistrar("report", "report FILE --top N | --codes C1,C2,... [--cp932]",
                                  RunReport);

} // namespace
} // namespace vornctl
