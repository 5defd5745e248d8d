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
#include "foundation/file_replacement.h"
#include "matrix/market_matrix.h"
#include "matrix_input.h"
#include "technical/technical_manager.h"
#include "technical/technical_result.h"

namespace vornctl {
namespace {

// The named parameters; the numeric keys 0..5 are accepted as well.
struct ParameterName {
    const char* name;
    int key;
    unsigned long low;
    unsigned long high;
    const char* meaning;
};
constexpr ParameterName kParameterNames[] = {
    {"date", vorn::kParamAnalysisDate, 0, 0xFFFF,
     "the newest day to compute, a DATE (default: the security's last day)"},
    {"count", vorn::kParamPeriod, 1, 0xFFFF,
     "how many values to compute, newest first (default: all)"},
    {"period", vorn::kParamDays, 1, 0xFFFF, "the window length in days"},
    {"price", vorn::kParamPriceSelector, 1, 16,
     "the price read: open, high, middle, low or close (or 1, 2, 4, 8, 16)"},
    {"bands", vorn::kParamBands, 1, 0xFFFF, "price bands of the volume profile"},
    {"weighed", vorn::kParamAnalysedBands, 0, 0xFFFF, "bands weighed on each side of the price"},
};

const ParameterName* FindParameter(const std::string& name) {
    for (const ParameterName& p : kParameterNames)
        if (name == p.name || (name.size() == 1 && name[0] - '0' == p.key))
            return &p;
    return nullptr;
}

// KEY=VALUE: a whole number within the parameter's range, a date for `date`, a price name
// for `price`. An empty string when fine, else what is wrong.
std::string ParseParameter(const std::string& text, int& key, double& value) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 >= text.size())
        return "'" + text + "' is not KEY=VALUE";
    const std::string name = text.substr(0, eq);
    const std::string number = text.substr(eq + 1);
    const ParameterName* parameter = FindParameter(name);
    if (parameter == nullptr)
        return "unknown parameter '" + name + "' (date, count, period, price, bands, weighed)";
    key = parameter->key;
    if (key == vorn::kParamAnalysisDate && number.size() >= 8) {
        const vorn::PackedDate date = ParseDateArg(number);
        if (date == vorn::kNoDate)
            return "date=" + number + " is not a date (YYYY/MM/DD, YYYY-MM-DD or YYYYMMDD)";
        value = date;
        return {};
    }
    if (key == vorn::kParamPriceSelector) {
        static constexpr std::pair<const char*, int> kPrices[] = {
            {"open", 1}, {"high", 2}, {"middle", 4}, {"low", 8}, {"close", 16}};
        for (const auto& [priceName, code] : kPrices)
            if (number == priceName) {
                value = code;
                return {};
            }
    }
    unsigned long whole = 0;
    if (!ParseNumber(number, 0xFFFFFFFFul, whole) || whole < parameter->low ||
        whole > parameter->high)
        return std::string(parameter->name) + "=" + number + " is out of range (a whole number " +
               std::to_string(parameter->low) + ".." + std::to_string(parameter->high) + ")";
    value = static_cast<double>(whole);
    return {};
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

// The values in yen as a reader expects them: a moving average of prices in yen, trading
// values (close x volume / 1000, computed on the series' unscaled prices) in thousands of
// yen. Stored prices are hundredths of a yen for a security priced in hundredths. The
// inclination is a score and keeps its plain header.
vorn::CsvUnit UnitOf(const vorn::CTechnicalResult& result, const vorn::SecurityRecord& security,
                     const vorn::SeriesSet& series) {
    const double hundredths = (security.listingFlags & vorn::kListingHundredths) != 0 ? 100 : 1;
    switch (result.GetTypeId()) {
    case vorn::kTechnicalSimpleMovingAverage:
        return {hundredths, "円"};
    case vorn::kTechnicalTurnoverAverage:
        return {hundredths / std::pow(10.0, series.priceExponent), "千円"};
    default:
        return {};
    }
}

int RunIndicator(int argc, char** argv) {
    const CArgs args(argc, argv);
    const auto& positionals = args.Positionals();
    if (positionals.size() < 4 || positionals.size() > 10)
        return UsageError("expected FILE CODE MARKET sma|inclination|turnover [KEY=VALUE ...]");
    const auto csv = args.Option("out");
    if (!csv || csv->empty())
        return UsageError("--out PATH is required");
    const std::optional<std::uint16_t> parsedCode = vorn::ParseStockCode(positionals[1]);
    unsigned long market = 0;
    if (!parsedCode)
        return UsageError("bad " + vorn::DescribeBadStockCode(positionals[1]));
    const unsigned long code = *parsedCode;
    if (!ParseNumber(positionals[2], 15, market) || market == 0)
        return UsageError("bad market code '" + positionals[2] + "'");
    std::unique_ptr<vorn::CTechnicalResult> result = MakeResult(positionals[3]);
    if (!result)
        return UsageError("bad indicator '" + positionals[3] + "' (sma, inclination or turnover)");
    std::vector<std::pair<int, double>> overrides;
    for (std::size_t i = 4; i < positionals.size(); ++i) {
        int key = 0;
        double value = 0;
        if (const std::string error = ParseParameter(positionals[i], key, value); !error.empty())
            return UsageError(error);
        overrides.emplace_back(key, value);
    }

    vorn::CMarketMatrix matrix;
    if (!RestoreOrReport(matrix, positionals[0]))
        return 1;
    const vorn::SecurityRecord* security = matrix.FindSecurity(
        vorn::MakeSecurityKey(static_cast<std::uint16_t>(code), static_cast<std::uint8_t>(market)));
    vorn::SeriesSet series;
    if (security == nullptr)
        return NoSecurity(static_cast<unsigned>(code), static_cast<unsigned>(market),
                          positionals[0]);
    if (!matrix.GetPeriodSeries(vorn::PeriodKind::Daily, series, security, security->firstDate,
                                security->lastDate)) {
        std::fprintf(stderr, "vornctl: no series for %s on market %u\n",
                     vorn::FormatStockCode(static_cast<std::uint32_t>(code)).c_str(),
                     static_cast<unsigned>(market));
        return 1;
    }

    vorn::CTechnicalManager manager;
    manager.RegisterTechnicals(&matrix);
    vorn::TechnicalParameters parameters;
    manager.SetDefaults(result->GetTypeId(), parameters);
    for (const auto& [key, value] : overrides)
        parameters[key] = value;
    const vorn::TechnicalStatus status =
        manager.Analyze(parameters, result.get(), &series, vorn::PeriodKind::Daily);
    std::printf("status=%u\n", vorn::ResultCode(status));
    if (status != vorn::kTechnicalOk)
        std::fprintf(stderr, "vornctl: indicator: %s\n",
                     std::string(vorn::Describe(status)).c_str());
    if (!vorn::ReplaceFileWith(*csv, result->CsvText(UnitOf(*result, *security, series))))
        return Failure(*csv + ": cannot write (" + SystemReason(errno != 0 ? errno : EIO) + ")");
    return status == vorn::kTechnicalOk ? 0 : 1;
}

const CommandRegistrar kIndicator(
    {"indicator",
     "indicator FILE CODE MARKET sma|inclination|turnover [KEY=VALUE ...] --out PATH",
     "computes one indicator over a security's daily history and writes its CSV file",
     {{"out", "PATH",
       "the CSV file to write, cp932, one YYYYMMDD,VALUE line a day, newest "
       "first; moving averages in yen, trading values in thousands of yen, the "
       "unit in the header (required)",
       "csv"}},
     "vornctl indicator data/Market.kbx 7203 1 sma period=25 --out sma.csv",
     "FILE is a market content file; CODE the stock code and MARKET the market number (1..15).\n"
     "KEY=VALUE parameters (the indicator's defaults otherwise; keys 0..5 also work):\n"
     "  date=DATE      the newest day to compute (default: the security's last day)\n"
     "  count=N        how many values, newest first, 1..65535 (default: all)\n"
     "  period=N       the window length in days, 1..65535\n"
     "  price=NAME     open, high, middle, low or close (default close)\n"
     "  bands=N        price bands of the volume profile, 1..65535\n"
     "  weighed=N      bands weighed on each side of the price, 0..65535"},
    RunIndicator);

} // namespace
} // namespace vornctl
