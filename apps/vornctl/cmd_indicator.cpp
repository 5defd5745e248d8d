// vornctl indicator: one security's moving average, inclination index or trading-value
// average over its whole daily history, written as the indicator's comma-separated file.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "command.h"
#include "matrix/market_matrix.h"
#include "matrix/matrix_file.h"
#include "matrix/stock_code.h"
#include "technical/technical_manager.h"
#include "technical/technical_result.h"

namespace vornctl {
namespace {

// KEY=VALUE with a key 0..5 and a finite number; key 0 also takes a date.
bool ParseParameter(const std::string& text, int& key, double& value) {
    const auto eq = text.find('=');
    if (eq != 1 || text[0] < '0' || text[0] > '5' || eq + 1 >= text.size())
        return false;
    key = text[0] - '0';
    const std::string number = text.substr(eq + 1);
    // The analysis date may also be written as a date.
    if (key == vorn::kParamAnalysisDate && number.find_first_of("/-") != std::string::npos) {
        value = ParseDateArg(number);
        return value != 0;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtod(number.c_str(), &end);
    return errno == 0 && end == number.c_str() + number.size() && std::isfinite(value);
}

std::unique_ptr<vorn::CTechnicalResult> MakeResult(const std::string& name) {
    if (name == "sma")
        return std::make_unique<vorn::CTechnicalMovingAverage>();
    if (name == "inclination")
        return std::make_unique<vorn::CTechnicalInclinationIndex>();
    if (name == "turnover")
        return std::make_unique<vorn::CTechnicalTurnoverAverage>();
    return nullptr;
}

int RunIndicator(int argc, char** argv) {
    CArgs args(argc, argv);
    if (!args.Error().empty())
        return UsageError(args.Error());
    if (auto unknown = args.UnknownOption({"csv"}); !unknown.empty())
        return UsageError("unknown option " + unknown);
    const auto& positionals = args.Positionals();
    if (positionals.size() < 4 || positionals.size() > 10)
        return UsageError("indicator needs FILE CODE MARKET sma|inclination|turnover "
                          "[KEY=VALUE ...] --csv PATH");
    const auto csv = args.Option("csv");
    if (!csv || csv->empty())
        return UsageError("indicator needs --csv PATH");
    const std::optional<std::uint16_t> code = vorn::ParseStockCode(positionals[1]);
    unsigned long market = 0;
    if (!code)
        return UsageError("bad " + vorn::DescribeBadStockCode(positionals[1]));
    if (!ParseNumber(positionals[2], 15, market) || market == 0)
        return UsageError("bad market code '" + positionals[2] + "'");
    std::unique_ptr<vorn::CTechnicalResult> result = MakeResult(positionals[3]);
    if (!result)
        return UsageError("bad indicator '" + positionals[3] + "' (sma, inclination or turnover)");
    std::vector<std::pair<int, double>> overrides;
    for (std::size_t i = 4; i < positionals.size(); ++i) {
        int key = 0;
        double value = 0;
        if (!ParseParameter(positionals[i], key, value))
            return UsageError("bad parameter '" + positionals[i] + "' (KEY=VALUE, KEY 0..5)");
        overrides.emplace_back(key, value);
    }

    vorn::CMarketMatrix matrix;
    const std::uint8_t restored = vorn::RestoreMatrix(matrix, positionals[0], nullptr, nullptr);
    if (restored != vorn::kMatrixOk) {
        std::fprintf(stderr, "vornctl: cannot restore %s (result %u)\n", positionals[0].c_str(),
                     static_cast<unsigned>(restored));
        return 1;
    }
    const vorn::SecurityRecord* security =
        matrix.FindSecurity(vorn::MakeSecurityKey(*code, static_cast<std::uint8_t>(market)));
    vorn::SeriesSet series;
    if (security == nullptr ||
        !matrix.GetPeriodSeries(0, series, security, security->firstDate, security->lastDate)) {
        std::fprintf(stderr, "vornctl: no series for %s on market %u\n",
                     vorn::FormatStockCode(*code).c_str(), static_cast<unsigned>(market));
        return 1;
    }

    vorn::CTechnicalManager manager;
    manager.RegisterTechnicals(&matrix);
    vorn::TechnicalParameters parameters;
    manager.SetDefaults(result->GetTypeId(), parameters);
    for (const auto& [key, value] : overrides)
        parameters[key] = value;
    const std::uint16_t status = manager.Analyze(parameters, result.get(), &series, 0);
    std::printf("status=%u\n", static_cast<unsigned>(status));
    if (!result->ExportCsv(*csv)) {
        std::fprintf(stderr, "vornctl: cannot write %s\n", csv->c_str());
        return 1;
    }
    return status == vorn::kTechnicalOk ? 0 : 1;
}

const CommandRegistrar kIndicator("indicator",
                                  "indicator FILE CODE MARKET sma|inclination|turnover "
                                  "[KEY=VALUE ...] --csv PATH  (KEY 0..5; 0=YYYY/MM/DD)",
                                  RunIndicator);

} // namespace
} // namespace vornctl
