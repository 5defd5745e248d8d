// vornctl screen FILE [--settings PATH] [--saved NAME]: the securities that pass the screening,
// one comma-separated line each, and the summary of the selection.
#include <cstdio>
#include <string>

#include "analysed_market.h"
#include "command.h"
#include "contents/settings_files.h"
#include "screening/securities_list.h"
#include "screening/indicator_screening.h"
#include "technical/technical_manager.h"

namespace vornctl {
namespace {

// The settings the program would screen with after starting with `path` as "Vorn.ssd"; the
// defaults without a path.
bool LoadSettings(const std::optional<std::string>& path, const std::optional<std::string>& saved,
                  vorn::ScreeningSettings& settings) {
    settings = vorn::MakeDefaultScreeningSettings();
    if (!path)
        return true;
    vorn::CSavedScreenings records;
    vorn::ScreeningSettings current;
    const vorn::SettingsFileResult result =
        vorn::LoadScreeningFile(*path, current, records, vorn::DamagedCopy::Skip);
    if (result != vorn::SettingsFileResult::Ok &&
        result != vorn::SettingsFileResult::DamagedRecords) {
        std::fprintf(stderr, "vornctl: cannot read the screening settings %s (result %u)\n",
                     path->c_str(), static_cast<unsigned>(result));
        return false;
    }
    if (saved && !records.ApplyScreening(vorn::Utf8ToCp932(*saved), current)) {
        std::fprintf(stderr, "vornctl: %s holds no saved screening '%s'\n", path->c_str(),
                     saved->c_str());
        return false;
    }
    vorn::ApplyStartupParameterDefaults(current);
    settings = std::move(current);
    return true;
}

int RunScreen(int argc, char** argv) {
    CArgs args(argc, argv);
    if (!args.Error().empty())
        return UsageError(args.Error());
    if (const std::string unknown = args.UnknownOption({"settings", "saved"}); !unknown.empty())
        return UsageError("unknown option " + unknown);
    if (args.Positionals().size() != 1)
        return UsageError("usage: screen FILE [--settings PATH] [--saved NAME]");
    const std::optional<std::string> settingsPath = args.Option("settings");
    const std::optional<std::string> savedName = args.Option("saved");
    if (savedName && !settingsPath)
        return UsageError("--saved needs --settings PATH");

    vorn::ScreeningSettings settings;
    if (!LoadSettings(settingsPath, savedName, settings))
        return 1;
    AnalysedMarket market;
    if (!LoadAnalysedMarket(args.Positionals()[0], market))
        return 1;

    vorn::CTechnicalManager manager;
    manager.RegisterTechnicals(&market.matrix);
    vorn::CIndicatorScreening indicators(manager);
    indicators.PrepareInclinationParameters(settings.inclinationParameters);
    indicators.RecomputeInclinationScreening(settings.inclinationParameters);
    indicators.RecomputeTurnoverScreening(settings.turnoverParameters);

    vorn::CSecuritiesList list(market.matrix, market.results);
    list.SetIndicatorValues(indicators.Inclinations(), indicators.TurnoverRatios());
    list.Prepare();
    list.RebuildSecurities(settings);
    std::fputs(TerminalText(list.CopyAllAsCsv()).c_str(), stdout);
    std::printf("%s\n", list.SummaryText().c_str());
    return 0;
}

const CommandRegistrar kRegistrar("screen", "screen FILE [--settings PATH] [--saved NAME]",
                                  RunScreen);

} // namespace
} // namespace vornctl
