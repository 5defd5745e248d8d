// The gap engine extracts every security of the market once per pass; this measures one pass
// over the default sample market (daily, weekly and monthly) with one reused result.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

#include "foundation/calendar_math.h"
#include "matrix/market_matrix.h"
#include "matrix/sample_market.h"

namespace {

using namespace vorn;

// Stands in when the sample market cannot be built: ten years of weekdays and 3800 securities
// in mixed widths, a tenth of them with adjustments.
void BuildSyntheticMarket(CMarketMatrix& matrix) {
    matrix.Clear();
    PackedDate day = MakePackedDate(2016, 11, 28);
    const PackedDate end = MakePackedDate(2026, 11, 27);
    while (day <= end) {
        const unsigned weekday = WeekdayOfPackedDate(day);
        if (weekday != 0 && weekday != 6)
            matrix.AddTradingDay(day);
        day = AddDaysToPackedDate(day, 1);
    }
    matrix.RebuildPeriodCalendars();
    const CCalendar& daily = matrix.DailyCalendar();
    std::mt19937 random(20070104);
    for (std::uint16_t i = 0; i < 3800; ++i) {
        const auto code = static_cast<std::uint16_t>(1301 + i);
        matrix.FindOrAddCompany(code, static_cast<std::uint8_t>(1 + i % 33));
        SecurityRecord* security = matrix.FindOrAddSecurity(code, 1);
        const std::uint16_t first = static_cast<std::uint16_t>(random() % 200);
        const auto count = static_cast<std::uint16_t>(daily.Count() - first);
        security->firstDate = daily[first];
        security->lastDate = daily[daily.Count() - 1];
        security->prices.elementType = static_cast<std::uint16_t>(i % 3);
        security->prices.count = count;
        security->prices.data = AllocateZeroed(security->prices.ByteSize());
        security->volumes.elementType = static_cast<std::uint16_t>(kValueU8 + i % 4);
        security->volumes.attribute = static_cast<std::uint8_t>(i % 3);
        security->volumes.count = count;
        security->volumes.data = AllocateZeroed(security->volumes.ByteSize());
        for (std::size_t b = 0; b < security->prices.ByteSize(); ++b)
            security->prices.data[b] = static_cast<std::uint8_t>(random());
        for (std::size_t b = 0; b < security->volumes.ByteSize(); ++b)
            security->volumes.data[b] = static_cast<std::uint8_t>(random());
        if (i % 10 == 0) {
            security->adjustments = std::make_unique<AdjustmentList>();
            security->adjustments->entries.push_back({daily[first + count / 3], 2, 2.0});
            security->adjustments->entries.push_back({daily[first + count / 2], 2, 1.5});
        }
    }
}

const CMarketMatrix& Market() {
    static CMarketMatrix matrix;
    static const bool built = [] {
        if (BuildSampleMarket(matrix, SampleMarketOptions{}) && !matrix.Securities().empty())
            return true;
        std::fprintf(stderr, "sample market unavailable; using a synthetic market\n");
        BuildSyntheticMarket(matrix);
        return true;
    }();
    (void)built;
    return matrix;
}

void ExtractWholeMarket(benchmark::State& state, PeriodKind period) {
    const CMarketMatrix& matrix = Market();
    SeriesSet series;
    std::size_t extracted = 0;
    for (auto _ : state) {
        for (const auto& [key, security] : matrix.Securities())
            extracted += matrix.GetPeriodSeries(period, series, &security, kNoDate, kOpenEnd);
        benchmark::ClobberMemory();
    }
    const auto securities = static_cast<double>(matrix.Securities().size());
    state.counters["securities"] = securities;
    state.counters["securities/s"] = benchmark::Counter(
        securities * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["extracted"] =
        static_cast<double>(extracted) /
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

void BM_DailyWholeMarket(benchmark::State& state) {
    ExtractWholeMarket(state, PeriodKind::Daily);
}
void BM_WeeklyWholeMarket(benchmark::State& state) {
    ExtractWholeMarket(state, PeriodKind::Weekly);
}
void BM_MonthlyWholeMarket(benchmark::State& state) {
    ExtractWholeMarket(state, PeriodKind::Monthly);
}

BENCHMARK(BM_DailyWholeMarket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeeklyWholeMarket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MonthlyWholeMarket)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
