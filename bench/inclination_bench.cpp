// The inclination screening pass (two scores per security with the default 60 days, 80 bands
// and 10 analysed bands) and the trading-value pass over the default sample market. The aim
// for the inclination pass is under one second on one core.
#include <benchmark/benchmark.h>

#include <memory>

#include "matrix/sample_market.h"
#include "screening/indicator_screening.h"
#include "technical/technical_manager.h"

namespace {

using namespace vorn;

struct SampleMarket {
    CMarketMatrix matrix;
    CTechnicalManager manager;
    bool built = false;
};

SampleMarket& Market() {
    static std::unique_ptr<SampleMarket> market = [] {
        auto m = std::make_unique<SampleMarket>();
        m->built = BuildSampleMarket(m->matrix, SampleMarketOptions{});
        m->manager.RegisterTechnicals(&m->matrix);
        return m;
    }();
    return *market;
}

void BM_InclinationScreening(benchmark::State& state) {
    SampleMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    const InclinationParameters settings{60, 16, 80, 10};
    CIndicatorScreening screening(market.manager);
    screening.PrepareInclinationParameters(settings);
    for (auto _ : state) {
        screening.RecomputeInclinationScreening(settings);
        benchmark::DoNotOptimize(screening.Inclinations().data());
    }
    state.counters["securities"] = static_cast<double>(screening.Inclinations().size());
}

void BM_TurnoverScreening(benchmark::State& state) {
    SampleMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    CIndicatorScreening screening(market.manager);
    for (auto _ : state) {
        screening.RecomputeTurnoverScreening({3, 15});
        benchmark::DoNotOptimize(screening.TurnoverRatios().data());
    }
    state.counters["securities"] = static_cast<double>(screening.TurnoverRatios().size());
}

BENCHMARK(BM_InclinationScreening)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurnoverScreening)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
