// The default sample market has to build in a couple of seconds at most.
#include <benchmark/benchmark.h>

#include "matrix/sample_market.h"

namespace {

void BM_BuildSampleMarket(benchmark::State& state) {
    vorn::SampleMarketOptions options;
    options.years = static_cast<int>(state.range(0));
    options.securities = static_cast<int>(state.range(1));
    for (auto _ : state) {
        vorn::CMarketMatrix matrix;
        benchmark::DoNotOptimize(vorn::BuildSampleMarket(matrix, options));
    }
}
BENCHMARK(BM_BuildSampleMarket)
    ->Args({2, 300})
    ->Args({10, 3800})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
