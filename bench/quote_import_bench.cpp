// Importing a whole market from CSV: the default sample market (3,800 securities, ten years)
// written out as one quotes file per security, then read back into a matrix. The target is
// well under a minute on one core.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "matrix/quote_import.h"
#include "matrix/sample_market.h"

namespace {

using namespace vorn;
namespace fs = std::filesystem;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint64_t Scale(unsigned exponent) {
    std::uint64_t scale = 1;
    while (exponent--)
        scale *= 10;
    return scale;
}

// Writes a price held in hundredths or whole yen as the file would carry it.
int FormatPrice(char* out, std::size_t size, std::uint64_t stored, bool hundredths) {
    if (hundredths)
        return std::snprintf(out, size, "%llu.%02llu",
                             static_cast<unsigned long long>(stored / 100),
                             static_cast<unsigned long long>(stored % 100));
    return std::snprintf(out, size, "%llu", static_cast<unsigned long long>(stored));
}

template <class Price>
void WriteRows(std::FILE* file, const CMarketMatrix& matrix, const SecurityRecord& security) {
    const auto* candles = security.prices.As<Candle<Price>>();
    const int first = matrix.DayPosition(security.firstDate);
    const bool hundredths = (security.listingFlags & kListingHundredths) != 0;
    const std::uint64_t priceScale = Scale(security.prices.attribute);
    const std::uint64_t volumeScale = Scale(security.volumes.attribute);
    std::fputs("date,open,high,low,close,volume\n", file);
    char line[160];
    for (std::uint16_t i = 0; i < security.prices.count; ++i) {
        const PackedDate day = matrix.DailyCalendar()[static_cast<std::size_t>(first + i)];
        int n = std::snprintf(line, sizeof line, "%04u-%02u-%02u", DateYear(day), DateMonth(day),
                              DateDay(day));
        for (const Price value :
             {candles[i].open, candles[i].high, candles[i].low, candles[i].close}) {
            line[n++] = ',';
            n += FormatPrice(line + n, sizeof line - static_cast<std::size_t>(n),
                             value * priceScale, hundredths);
        }
        n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), ",%llu\n",
                           static_cast<unsigned long long>(security.StoredVolume(i) * volumeScale));
        std::fwrite(line, 1, static_cast<std::size_t>(n), file);
    }
}

// The sample market as CSV files, written once per run and removed at exit.
struct CsvMarket {
    fs::path directory;
    QuoteImportOptions options;
    std::uintmax_t bytes = 0;
    bool ready = false;

    CsvMarket() {
        std::string pattern = (fs::temp_directory_path() / "vorn-import-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            return;
        directory = pattern;
        CMarketMatrix matrix;
        if (!BuildSampleMarket(matrix, SampleMarketOptions{}))
            return;
        fs::create_directory(directory / "quotes");
        File list(std::fopen((directory / "securities.csv").c_str(), "wb"));
        if (!list)
            return;
        std::fputs("code,market,name,industry,unit,margin\n", list.get());
        for (const auto& [key, security] : matrix.Securities()) {
            if (security.prices.Empty())
                continue;
            const CompanyRecord& company = *security.company;
            std::fprintf(list.get(), "%u,%u,\"%s\",%u,%u,%u\n", company.code,
                         static_cast<unsigned>(security.market),
                         company.name ? company.name->c_str() : "",
                         static_cast<unsigned>(company.industry), security.TradingUnit(),
                         security.listingFlags & kListingMarginTradable ? 1u : 0u);
            char name[32];
            std::snprintf(name, sizeof name, "%04u_%u.csv", company.code,
                          static_cast<unsigned>(security.market));
            File file(std::fopen((directory / "quotes" / name).c_str(), "wb"));
            if (!file)
                return;
            switch (security.prices.elementType) {
            case kPricesU8:
                WriteRows<std::uint8_t>(file.get(), matrix, security);
                break;
            case kPricesU16:
                WriteRows<std::uint16_t>(file.get(), matrix, security);
                break;
            default:
                WriteRows<std::uint32_t>(file.get(), matrix, security);
                break;
            }
        }
        list.reset();
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(directory / "quotes", error))
            bytes += entry.file_size(error);
        options.securitiesList = directory / "securities.csv";
        options.quotes = {directory / "quotes"};
        options.skipBadRows = true; // the synthetic market may hold rows a file would refuse
        ready = true;
    }
    ~CsvMarket() {
        std::error_code error;
        if (!directory.empty())
            fs::remove_all(directory, error);
    }
};

CsvMarket& Market() {
    static CsvMarket market;
    return market;
}

void BM_ImportSampleMarket(benchmark::State& state) {
    CsvMarket& market = Market();
    if (!market.ready) {
        state.SkipWithError("the CSV market could not be written");
        return;
    }
    QuoteImportReport report;
    for (auto _ : state) {
        CMarketMatrix matrix;
        if (ImportQuotes(market.options, matrix, report) != kImportOk) {
            state.SkipWithError(report.error.c_str());
            return;
        }
        benchmark::DoNotOptimize(matrix.Securities().size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(market.bytes));
    state.counters["securities"] = static_cast<double>(report.securities);
    state.counters["rows"] = static_cast<double>(report.rows);
    state.counters["skipped"] = static_cast<double>(report.skippedRows + report.skippedFiles);
    state.counters["csv_MB"] = static_cast<double>(market.bytes) / 1e6;
}

BENCHMARK(BM_ImportSampleMarket)->Unit(benchmark::kSecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
