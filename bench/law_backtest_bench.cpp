// The market-wide law test on the default sample market (10 years, 3,800 securities), start
// to finish for each period kind: mapping the period's windows, analysing every security,
// collecting the trades, then the summaries. The aim is under two seconds for one kind.
#include <benchmark/benchmark.h>

#include <memory>

#include "gaps/law_backtest.h"
#include "matrix/sample_market.h"

namespace {

using namespace vorn;

struct SampleMatrix {
    CMarketMatrix matrix;
    bool built = false;
};

SampleMatrix& Sample() {
    static std::unique_ptr<SampleMatrix> sample = [] {
        auto s = std::make_unique<SampleMatrix>();
        s->built = BuildSampleMarket(s->matrix, SampleMarketOptions{});
        return s;
    }();
    return *sample;
}

void BM_LawBacktest(benchmark::State& state) {
    SampleMatrix& sample = Sample();
    if (!sample.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    CLawBacktest backtest;
    BacktestOptions options;
    options.periodKind = kPeriodKinds[state.range(0)];
    for (auto _ : state) {
        backtest.Run(sample.matrix, options);
        benchmark::DoNotOptimize(backtest.Summarise(BacktestGrouping::All).size());
    }
    state.counters["trades"] = static_cast<double>(backtest.Trades().size());
}

// The breakdowns alone, over the trades of a daily run.
void BM_Summaries(benchmark::State& state) {
    SampleMatrix& sample = Sample();
    if (!sample.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    CLawBacktest backtest;
    backtest.Run(sample.matrix, {});
    for (auto _ : state)
        for (auto grouping : {BacktestGrouping::All, BacktestGrouping::Year,
                              BacktestGrouping::Market, BacktestGrouping::Sector})
            benchmark::DoNotOptimize(backtest.Summarise(grouping).size());
}

BENCHMARK(BM_LawBacktest)->ArgName("period")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Summaries)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
