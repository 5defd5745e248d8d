// The market analysis of every security (after one mapping pass) against a pure scan that
// extracts every security's series and reads each candle once. The aim for the analysis is
// under one second for the default sample market on one core.
#include <benchmark/benchmark.h>

#include "ratio_reporter.h"

#include <cstdio>
#include <memory>

#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"
#include "matrix/sample_market.h"

namespace {

using namespace vorn;

struct MappedMarket {
    CMarketMatrix matrix;
    CMarketWindows windows;
    bool built = false;
};

MappedMarket& Market() {
    static std::unique_ptr<MappedMarket> market = [] {
        auto m = std::make_unique<MappedMarket>();
        m->built = BuildSampleMarket(m->matrix, SampleMarketOptions{}) &&
                   m->windows.MapMarketWindows(m->matrix, nullptr, nullptr);
        return m;
    }();
    return *market;
}

template <class Price> std::uint64_t ReadCandles(const SeriesView& view) {
    const Candle<Price>* candles = view.Candles<Price>();
    std::uint64_t sum = 0;
    for (std::uint32_t i = 0; i < view.count; ++i)
        sum +=
            candles[i].open + candles[i].high + candles[i].low + candles[i].close + view.volumes[i];
    return sum;
}
using CandleReader = std::uint64_t (*)(const SeriesView&);
constexpr CandleReader kReaders[] = {ReadCandles<std::uint8_t>, ReadCandles<std::uint16_t>,
                                     ReadCandles<std::uint32_t>};

void BM_PureScan(benchmark::State& state) {
    MappedMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    SeriesSet series;
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (const auto& [key, security] : market.matrix.Securities())
            if (market.matrix.GetPeriodSeries(PeriodKind::Daily, series, &security,
                                              security.firstDate, security.lastDate) &&
                series.priceEncoding <= 2)
                sum += kReaders[series.priceEncoding](series.daily);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["securities"] = static_cast<double>(market.matrix.Securities().size());
}

// What the worker thread does, on this thread so that CPU time measures it.
void BM_AnalyseEverySecurity(benchmark::State& state) {
    MappedMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    CWindowsPerformer performer;
    for (auto _ : state) {
        performer.ClearResults();
        for (const auto& [key, security] : market.matrix.Securities())
            if (market.matrix.GetPeriodSeries(PeriodKind::Daily, performer.Series(), &security,
                                              security.firstDate, security.lastDate)) {
                performer.SetSecurity(&security);
                market.windows.AnalyseListing(market.matrix, PeriodKind::Daily, performer, false);
            }
        benchmark::DoNotOptimize(performer.Results().size());
    }
    state.counters["records"] = static_cast<double>(performer.Results().size());
}

// The worker itself, start to finish (wall-clock time).
void BM_MarketAnalysisWorker(benchmark::State& state) {
    MappedMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    for (auto _ : state) {
        AnalysisResults results;
        market.windows.StartMarketAnalysis(market.matrix, results, nullptr);
        market.windows.JoinWorker();
        benchmark::DoNotOptimize(results.records.size());
    }
}

BENCHMARK(BM_PureScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalyseEverySecurity)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarketAnalysisWorker)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    vorn::bench::CRatioReporter reporter("BM_PureScan", "BM_AnalyseEverySecurity",
                                         "market analysis / pure scan");
    return vorn::bench::RunWithRatio(argc, argv, reporter);
}
