// vornctl screen FILE [--settings PATH] [--saved NAME]: the securities that pass the screening,
// one comma-separated line each, and the summary of the selection.
#include <cstdio>
#include <string>

#include "analysed_market.h"
#include "command.h"
#include "foundation/csv_field.h"
#include "screened_market.h"

namespace vornctl {
namespace {

// The list's column heading, with the unit of the columns that hold yen.
std::string Heading(int column) {
    std::string heading = vorn::SecuritiesColumnHeading(column);
    if (column == vorn::kColumnPrice || column == vorn::kColumnMarketCap)
        heading += "(円)";
    return heading;
}

int RunScreen(int argc, char** argv) {
    const CArgs args(argc, argv);
    if (args.Positionals().size() != 1)
        return UsageError("expected one FILE");
    const std::optional<std::string> settingsPath = args.Option("settings");
    const std::optional<std::string> savedName = args.Option("saved");
    if (savedName && !settingsPath)
        return UsageError("--saved needs --settings PATH");

    vorn::ScreeningSettings settings;
    if (!LoadScreeningSettings(settingsPath, savedName, settings))
        return 1;
    AnalysedMarket market;
    if (!LoadAnalysedMarket(args.Positionals()[0], market))
        return 1;

    CScreenedMarket screened(market, settings);
    vorn::CSecuritiesList& list = screened.List();
    if (args.Has("header")) {
        for (int column = 0; column < vorn::kSecuritiesColumnCount; ++column)
            std::printf("%s%s", column == 0 ? "" : ",", vorn::CsvField(Heading(column)).c_str());
        std::printf("\n");
    }
    std::fputs(TerminalText(list.CopyAllAsCsv()).c_str(), stdout);
    if (!args.Has("no-summary"))
        std::printf("%s\n", list.SummaryText().c_str());
    return 0;
}

const CommandRegistrar kRegistrar(
    {"screen",
     "screen FILE [--settings PATH] [--saved NAME] [--header] [--no-summary]",
     "screens the market and prints the securities that pass, one CSV line each (RFC 4180 "
     "quoting), then the summary line",
     {{"settings", "PATH", "the screening settings file to use, as Vorn.ssd (default: the "
                           "default settings)"},
      {"saved", "NAME", "use the saved screening NAME of --settings instead of its current "
                        "settings"},
      {"header", nullptr, "print a header line of column names first, the yen columns as "
                          "株価(円) and 時価総額(円) (default: none)"},
      {"no-summary", nullptr, "leave out the summary line 銘柄数：... (default: printed last)"}},
     "vornctl screen data/Market.kbx --header --no-summary > passed.csv",
     "FILE is a market content file."},
    RunScreen);

} // namespace
} // namespace vornctl
