// vornctl backtest FILE [--period daily|weekly|monthly] [--from D] [--to D] [--markets LIST]
// [--sectors LIST] [--settings Vorn.ssd [--saved NAME]] [--by year|market|sector] [--csv PATH]:
// how each trading law did over the market (or the securities a screening selects).
#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "analysed_market.h"
#include "command.h"
#include "gaps/law_backtest.h"
#include "screened_market.h"

namespace vornctl {
namespace {

constexpr char kUsage[] =
    "backtest FILE [--period daily|weekly|monthly] [--from D] [--to D] [--markets LIST] "
    "[--sectors LIST] [--settings Vorn.ssd [--saved NAME]] [--by year|market|sector] "
    "[--csv PATH]";

// A comma-separated list of codes from 1 to `limit`.
bool ParseCodeList(const std::string& text, unsigned long limit, std::vector<std::uint8_t>& out) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma - start);
        unsigned long value = 0;
        if (!ParseNumber(item, limit, value) || value == 0)
            return false;
        out.push_back(static_cast<std::uint8_t>(value));
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

// The securities the screening selects on the daily analysis of the whole market.
void ScreenedSecurities(AnalysedMarket& market, const vorn::ScreeningSettings& settings,
                        std::set<vorn::SecurityKey>& keys) {
    CScreenedMarket screened(market, settings);
    const vorn::CSecuritiesList& list = screened.List();
    for (std::size_t row = 0; row < list.RowCount(); ++row)
        keys.insert(list.RowKey(row));
}

bool ParseDateOption(const CArgs& args, const char* name, unsigned short& date) {
    const auto text = args.Option(name);
    if (!text)
        return true;
    date = ParseDateArg(*text);
    return date != 0;
}

int RunBacktest(int argc, char** argv) {
    const CArgs args(argc, argv);
    if (!args.Error().empty())
        return UsageError(args.Error());
    if (args.Positionals().size() != 1)
        return UsageError("expected one FILE");

    vorn::BacktestOptions options;
    if (const auto period = args.Option("period")) {
        const auto kind = vorn::ParsePeriodWord(*period);
        if (!kind)
            return UsageError("bad period '" + *period + "' (daily, weekly or monthly)");
        options.periodKind = *kind;
    }
    if (!ParseDateOption(args, "from", options.from))
        return DateError("from", *args.Option("from"));
    if (!ParseDateOption(args, "to", options.to))
        return DateError("to", *args.Option("to"));
    if (options.from > options.to)
        return UsageError("--from is after --to");
    if (const auto markets = args.Option("markets");
        markets && !ParseCodeList(*markets, 15, options.markets))
        return UsageError("bad market list '" + *markets + "' (codes 1 to 15, comma-separated)");
    if (const auto sectors = args.Option("sectors");
        sectors && !ParseCodeList(*sectors, 34, options.sectors))
        return UsageError("bad sector list '" + *sectors + "' (codes 1 to 34, comma-separated)");
    vorn::BacktestGrouping grouping = vorn::BacktestGrouping::All;
    if (const auto by = args.Option("by")) {
        const auto parsed = vorn::ParseBacktestGrouping(*by);
        if (!parsed || *parsed == vorn::BacktestGrouping::All)
            return UsageError("bad grouping '" + *by + "' (year, market or sector)");
        grouping = *parsed;
    }
    const auto settingsPath = args.Option("settings");
    const auto savedName = args.Option("saved");
    if (savedName && !settingsPath)
        return UsageError("--saved needs --settings PATH");

    const std::string& file = args.Positionals()[0];
    auto market = std::make_unique<AnalysedMarket>();
    if (settingsPath) {
        vorn::ScreeningSettings settings;
        if (!LoadScreeningSettings(settingsPath, savedName, settings) ||
            !LoadAnalysedMarket(file, *market))
            return 1;
        ScreenedSecurities(*market, settings, options.selection.emplace());
    } else {
        if (!RestoreOrReport(market->matrix, file))
            return 1;
    }
    vorn::CLawBacktest backtest;
    bool ran = false;
    {
        CProgressLine line;
        CProgressSink testing(line, "testing the laws");
        ran = backtest.Run(market->matrix, options, nullptr, &testing);
    }
    if (!ran) {
        std::fprintf(stderr, "vornctl: the law test failed\n");
        return 1;
    }
    const std::vector<vorn::BacktestRow> rows = backtest.Summarise(grouping);
    if (const auto csv = args.Option("out")) {
        if (!vorn::ExportBacktestCsv(*csv, rows)) {
            std::fprintf(stderr, "vornctl: cannot write %s\n", csv->c_str());
            return 1;
        }
    }
    std::fputs(vorn::BacktestTable(rows).c_str(), stdout);
    std::printf("%zu trades\n", backtest.Trades().size());
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "vornctl: cannot write the table\n");
        return 1;
    }
    return 0;
}

const CommandRegistrar kRegistrar(
    {"backtest", kUsage,
     "tests the eight trading laws over the market (or the securities a screening selects): "
     "the closed trades of every law and side, with their figures",
     {{"period", "KIND", "daily, weekly or monthly candles (default daily)"},
      {"from", "DATE", "only trades entered on or after DATE (default: the first day)"},
      {"to", "DATE", "only trades exited on or before DATE (default: the last day)"},
      {"markets", "LIST", "only these market codes, comma-separated, 1..15 (default: all)"},
      {"sectors", "LIST", "only these sector codes, comma-separated, 1..34 (default: all)"},
      {"settings", "PATH", "only the securities the screening settings file PATH selects"},
      {"saved", "NAME", "with --settings: use its saved screening NAME"},
      {"by", "GROUP", "break the figures down by year, market or sector (default: none)"},
      {"out", "PATH", "also write the figures as a UTF-8 CSV file (default: none)", "csv"}},
     "vornctl backtest data/Market.kbx --period weekly --by year --csv laws.csv",
     "FILE is a market content file."},
    RunBacktest);

} // namespace
} // namespace vornctl
