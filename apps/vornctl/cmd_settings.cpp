// vornctl settings PATH [--reset]: shows what a screening settings file holds, or writes one
// holding the default settings.
#include <cstdio>
#include <iterator>
#include <string>

#include "command.h"
#include "contents/settings_files.h"
#include "foundation/packed_date.h"
#include "foundation/text_encoding.h"
#include "matrix/stock_code.h"

namespace vornctl {
namespace {

// Names come from the file: control characters would drive the terminal.
std::string PrintableName(const std::string& cp932) {
    std::string text = vorn::Cp932ToUtf8(cp932);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

void PrintRange(const char* indent, const char* name, const vorn::ScreeningRange& range) {
    std::printf("%s%-15s flags 0x%02X lower %g upper %g\n", indent, name, unsigned{range.flags},
                range.lower, range.upper);
}

void PrintPair(const char* indent, const char* name, const vorn::BoundPair& pair) {
    std::printf("%s  %-13s lower %g upper %g\n", indent, name, pair.lower, pair.upper);
}

template <class Keys> void PrintKeys(const char* indent, const char* name, const Keys& keys) {
    std::printf("%s%-15s %zu", indent, name,
                static_cast<std::size_t>(std::distance(keys.begin(), keys.end())));
    for (vorn::SecurityKey key : keys)
        std::printf(" %s/%u", vorn::FormatStockCode(vorn::CodeOfKey(key)).c_str(),
                    unsigned{vorn::MarketOfKey(key)});
    std::printf("\n");
}

void PrintSettings(const char* indent, const vorn::ScreeningSettings& s) {
    std::printf("%smarkets         0x%04X\n", indent, unsigned{s.markets});
    std::printf("%ssectors         0x%09llX\n", indent, static_cast<unsigned long long>(s.sectors));
    std::printf("%slaws            0x%04X\n", indent, unsigned{s.laws});
    std::printf("%spositions       0x%02X\n", indent, unsigned{s.positions});
    std::printf("%soptions         0x%02X\n", indent, unsigned{s.options});
    PrintRange(indent, "price", s.price);
    PrintRange(indent, "marketCap", s.marketCap);
    PrintRange(indent, "analysisPeriod", s.analysisPeriod);
    PrintRange(indent, "annualReturn", s.annualReturn);
    PrintRange(indent, "annualRisk", s.annualRisk);
    PrintRange(indent, "beta", s.beta);
    PrintRange(indent, "volumeChange", s.volumeChange);
    std::printf("%scandleShapes    0x%04X\n", indent, unsigned{s.candleShapes});
    const vorn::InclinationParameters& ip = s.inclinationParameters;
    const vorn::InclinationCondition& ic = s.inclination;
    std::printf("%sinclination     days %u selector %u bands %u analysedBands %u flags 0x%02X "
                "current %g..%g previous %g..%g\n",
                indent, unsigned{ip.days}, unsigned{ip.priceSelector}, unsigned{ip.bands},
                unsigned{ip.analysedBands}, unsigned{ic.flags}, ic.currentLower, ic.currentUpper,
                ic.previousLower, ic.previousUpper);
    std::printf("%sturnoverAverage evaluationDays %u baseDays %u flags 0x%02X lower %g upper %g\n",
                indent, unsigned{s.turnoverParameters.evaluationDays},
                unsigned{s.turnoverParameters.baseDays}, unsigned{s.turnoverAverage.flags},
                s.turnoverAverage.lower, s.turnoverAverage.upper);
    const vorn::WindowsAndShadows& ws = s.windowsAndShadows;
    std::printf("%swindowsAndShadows flags 0x%08X\n", indent, unsigned{ws.flags});
    PrintPair(indent, "windowAbove", ws.windowAbove);
    PrintPair(indent, "spaceAbove", ws.spaceAbove);
    PrintPair(indent, "upperShadow", ws.upperShadow);
    PrintPair(indent, "body", ws.body);
    PrintPair(indent, "lowerShadow", ws.lowerShadow);
    PrintPair(indent, "spaceBelow", ws.spaceBelow);
    PrintPair(indent, "windowBelow", ws.windowBelow);
}

const char* ResultText(vorn::SettingsFileResult result) {
    switch (result) {
    case vorn::SettingsFileResult::Ok:
        return "OK";
    case vorn::SettingsFileResult::CannotOpen:
        return "cannot open";
    case vorn::SettingsFileResult::WrongMagic:
        return "not a settings file";
    case vorn::SettingsFileResult::Damaged:
        return "damaged";
    case vorn::SettingsFileResult::DamagedRecords:
        return "damaged saved records";
    case vorn::SettingsFileResult::Empty:
        return "empty";
    case vorn::SettingsFileResult::TooLarge:
        return "too large";
    case vorn::SettingsFileResult::WriteFailed:
        return "write failed";
    }
    return "unknown";
}

int RunSettings(int argc, char** argv) {
    CArgs args(argc, argv, {"reset"});
    if (!args.Error().empty())
        return UsageError(args.Error());
    if (const std::string unknown = args.UnknownOption({"reset"}); !unknown.empty())
        return UsageError("unknown option " + unknown);
    if (args.Positionals().size() != 1)
        return UsageError("usage: settings PATH [--reset]");
    const std::string& path = args.Positionals()[0];

    if (args.Has("reset")) {
        const vorn::SettingsFileResult result = vorn::SaveScreeningFile(
            path, vorn::MakeDefaultScreeningSettings(), vorn::CSavedScreenings{});
        if (result != vorn::SettingsFileResult::Ok) {
            std::fprintf(stderr, "vornctl: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("written: %s\n", path.c_str());
        return 0;
    }

    vorn::ScreeningSettings current;
    vorn::CSavedScreenings saved;
    const vorn::SettingsFileResult result =
        vorn::LoadScreeningFile(path, current, saved, vorn::DamagedCopy::Skip);
    if (result == vorn::SettingsFileResult::CannotOpen ||
        result == vorn::SettingsFileResult::TooLarge) {
        std::fprintf(stderr, "vornctl: cannot read %s (%s)\n", path.c_str(), ResultText(result));
        return 1;
    }
    if (result == vorn::SettingsFileResult::Ok ||
        result == vorn::SettingsFileResult::DamagedRecords) {
        std::printf("current:\n");
        PrintKeys("  ", "preferred", current.preferred);
        PrintKeys("  ", "excluded", current.excluded);
        PrintSettings("  ", current);
        std::printf("saved: %zu\n", saved.Count());
        for (const auto& [name, record] : saved.All()) {
            std::printf("- \"%s\" %s %02u:%02u:%02u flag %u\n", PrintableName(name).c_str(),
                        FormatDateArg(record.savedDate).c_str(), vorn::TimeHour(record.savedTime),
                        vorn::TimeMinute(record.savedTime), vorn::TimeSecond(record.savedTime),
                        unsigned{record.flag});
            vorn::ScreeningSettings settings;
            vorn::FromImage(record.settings, settings);
            PrintKeys("    ", "preferred", record.preferred);
            PrintKeys("    ", "excluded", record.excluded);
            PrintSettings("    ", settings);
        }
    }
    std::printf("result: %s (%u)\n", ResultText(result), static_cast<unsigned>(result));
    return result == vorn::SettingsFileResult::Ok ? 0 : 1;
}

const CommandRegistrar kSettings("settings",
                                 "settings PATH [--reset]  show a screening settings file, or "
                                 "replace it with the default settings",
                                 RunSettings);

} // namespace
} // namespace vornctl
