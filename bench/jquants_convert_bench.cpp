// Converting two years of all-market cached answers of the daily-data API (490 trading days x
// 4,000 issues, generated here) into a content file: read the compressed pages, parse, build,
// write.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "acquisition/jquants_client.h"
#include "acquisition/jquants_convert.h"
#include "matrix/matrix_file.h"

namespace {

namespace fs = std::filesystem;
using namespace vorn;

constexpr int kDays = 490;
constexpr int kIssues = 4000;

struct CachedMarket {
    fs::path dir;
    std::vector<fs::path> bars;
    std::string calendar;
    std::string master;
    PackedDate from = kNoDate, to = kNoDate;
};

std::string Code(int i) {
    char text[8];
    std::snprintf(text, sizeof text, "%04d0", 1300 + i);
    return text;
}

const CachedMarket& Market() {
    static CachedMarket market = [] {
        CachedMarket m;
        m.dir = fs::temp_directory_path() / ("vorn-jquants-bench-" + std::to_string(::getpid()));
        fs::create_directories(m.dir);
        std::vector<PackedDate> days;
        for (int d = 0, year = 2023, month = 1, day = 4; static_cast<int>(days.size()) < kDays;
             ++d) {
            days.push_back(MakePackedDate(year, month, day));
            if (++day > 28) {
                day = 1;
                if (++month > 12) {
                    month = 1;
                    ++year;
                }
            }
        }
        m.from = days.front();
        m.to = days.back();
        m.calendar = "{\"data\":[";
        for (PackedDate day : days)
            m.calendar += std::string(m.calendar.size() > 9 ? "," : "") + "{\"Date\":\"" +
                          FormatApiDate(day) + "\",\"HolDiv\":\"1\"}";
        m.calendar += "]}";
        m.master = "{\"data\":[";
        for (int i = 0; i < kIssues; ++i)
            m.master += std::string(i ? "," : "") + "{\"Date\":\"" + FormatApiDate(m.to) +
                        "\",\"Code\":\"" + Code(i) +
                        "\",\"CoName\":\"会社\",\"CoNameEn\":\"X\",\"S17\":\"1\",\"S17Nm\":\"x\","
                        "\"S33\":\"3650\",\"S33Nm\":\"x\",\"ScaleCat\":\"-\",\"Mkt\":\"0111\","
                        "\"MktNm\":\"x\",\"Mrgn\":\"2\",\"MrgnNm\":\"x\",\"ProdCat\":\"011\"}";
        m.master += "]}";
        for (int d = 0; d < kDays; ++d) {
            std::string body = "{\"data\":[";
            for (int i = 0; i < kIssues; ++i) {
                const int close = 500 + (i * 37 + d * 11) % 3000;
                char row[512];
                std::snprintf(row, sizeof row,
                              "%s{\"Date\":\"%s\",\"Code\":\"%s\",\"O\":%d.0,\"H\":%d.0,\"L\":%d."
                              "0,\"C\":%d.0,\"UL\":\"0\",\"LL\":\"0\",\"Vo\":%d.0,\"Va\":%d.0,"
                              "\"AdjFactor\":1.0,\"AdjO\":%d.0,\"AdjH\":%d.0,\"AdjL\":%d.0,"
                              "\"AdjC\":%d.0,\"AdjVo\":%d.0}",
                              i ? "," : "", FormatApiDate(days[d]).c_str(), Code(i).c_str(),
                              close - 5, close + 10, close - 10, close, 1000 + i, close * 1000,
                              close - 5, close + 10, close - 10, close, 1000 + i);
                body += row;
            }
            body += "]}";
            m.bars.push_back(m.dir / ("bars" + std::to_string(d) + ".json.gz"));
            WriteCompressedFile(m.bars.back(), body);
        }
        return m;
    }();
    return market;
}

void BM_ConvertTwoYears(benchmark::State& state) {
    const CachedMarket& m = Market();
    for (auto _ : state) {
        CJQuantsMarket market{JQuantsConvertOptions{}};
        std::string error;
        market.AddCalendarPage(m.calendar, m.from, m.to, error);
        for (const fs::path& page : m.bars) {
            const auto body = ReadCompressedFile(page);
            if (!body || !market.AddBarsPage(*body, error))
                state.SkipWithError("a page could not be read");
        }
        market.AddMasterPage(m.master, error);
        CMarketMatrix matrix;
        JQuantsConvertReport report;
        if (market.Build(matrix, report) != ConvertResult::Ok)
            state.SkipWithError(report.error.c_str());
        if (GenerateMatrix(matrix, m.dir / "Market.dat", nullptr, nullptr) != kMatrixOk)
            state.SkipWithError("writing failed");
        state.counters["rows"] = static_cast<double>(report.rows);
    }
}
BENCHMARK(BM_ConvertTwoYears)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::error_code ec;
    fs::remove_all(Market().dir, ec);
    return 0;
}
