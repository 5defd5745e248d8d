// The screening of the default sample market: the market analysis and the indicator passes
// run once in set-up; what is measured is the filter over every security, the rank indexes
// and the texts made from the result.
#include <benchmark/benchmark.h>

#include <memory>

#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "matrix/sample_market.h"
#include "screening/securities_list.h"
#include "screening/signal_report.h"
#include "screening/indicator_screening.h"
#include "technical/technical_manager.h"

namespace {

using namespace vorn;

struct ScreenedMarket {
    CMarketMatrix matrix;
    CMarketWindows windows;
    AnalysisResults results;
    CTechnicalManager manager;
    std::unique_ptr<CIndicatorScreening> indicators;
    std::unique_ptr<CSecuritiesList> list;
    ScreeningSettings defaults = MakeDefaultScreeningSettings();
    bool built = false;
};

ScreenedMarket& Market() {
    static std::unique_ptr<ScreenedMarket> market = [] {
        auto m = std::make_unique<ScreenedMarket>();
        if (!BuildSampleMarket(m->matrix, SampleMarketOptions{}) ||
            !m->windows.MapMarketWindows(m->matrix, nullptr, nullptr) ||
            !m->windows.StartMarketAnalysis(m->matrix, m->results, nullptr))
            return m;
        m->windows.JoinWorker();
        m->manager.RegisterTechnicals(&m->matrix);
        m->indicators = std::make_unique<CIndicatorScreening>(m->manager);
        m->indicators->PrepareInclinationParameters(m->defaults.inclinationParameters);
        m->indicators->RecomputeInclinationScreening(m->defaults.inclinationParameters);
        m->indicators->RecomputeTurnoverScreening(m->defaults.turnoverParameters);
        m->list = std::make_unique<CSecuritiesList>(m->matrix, m->results);
        m->list->SetIndicatorValues(m->indicators->Inclinations(), m->indicators->TurnoverRatios());
        m->list->Prepare();
        m->built = true;
        return m;
    }();
    return *market;
}

// Every group on, so that every test of the filter runs for the securities that get that far.
ScreeningSettings EveryConditionOn() {
    ScreeningSettings s = MakeDefaultScreeningSettings();
    constexpr std::uint8_t kBoth = kRangeOn | kRangeLowerSet | kRangeUpperSet;
    s.price = {kBoth, 0, 1e12};
    s.marketCap = {kBoth, 0, 1e9};
    s.analysisPeriod = {kBoth, 1, 60000};
    s.annualReturn = {kRangeOn | kRangeRankMode | kRangeLowerSet, 3000, 0};
    s.annualRisk = {kBoth, -1e9, 1e9};
    s.beta = {kBoth, -1e9, 1e9};
    s.volumeChange = {kBoth, 0, 1e9};
    s.inclination.flags = kInclinationCurrentOn | kInclinationCurrentLowerSet |
                          kInclinationPreviousOn | kInclinationPreviousUpperSet;
    s.inclination.currentLower = -100;
    s.inclination.previousUpper = 100;
    s.turnoverAverage = {kBoth, -100, 1e9};
    s.windowsAndShadows.flags =
        kWsOn | kWsUpperShadow | kWsUpperShadowUpperSet | kWsLowerShadow | kWsLowerShadowUpperSet;
    s.windowsAndShadows.upperShadow = {0, 1000};
    s.windowsAndShadows.lowerShadow = {0, 1000};
    return s;
}

void BM_RebuildDefaultSettings(benchmark::State& state) {
    ScreenedMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    for (auto _ : state) {
        market.list->RebuildSecurities(market.defaults);
        benchmark::DoNotOptimize(market.list->RowCount());
    }
    state.counters["rows"] = static_cast<double>(market.list->RowCount());
}

void BM_RebuildEveryConditionOn(benchmark::State& state) {
    ScreenedMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    const ScreeningSettings settings = EveryConditionOn();
    for (auto _ : state) {
        market.list->RebuildSecurities(settings);
        benchmark::DoNotOptimize(market.list->RowCount());
    }
    state.counters["rows"] = static_cast<double>(market.list->RowCount());
}

void BM_BuildRankIndexes(benchmark::State& state) {
    ScreenedMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    RankIndexes indexes;
    for (auto _ : state) {
        BuildRankIndexes(market.matrix, market.results, indexes);
        benchmark::DoNotOptimize(indexes.price.Size());
    }
}

void BM_CsvOfEveryRow(benchmark::State& state) {
    ScreenedMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    market.list->RebuildSecurities(market.defaults);
    for (auto _ : state)
        benchmark::DoNotOptimize(market.list->CopyAllAsCsv());
}

void BM_SignalReportTop100(benchmark::State& state) {
    ScreenedMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(CopySignalReport(market.matrix, market.results, 100));
}

BENCHMARK(BM_RebuildDefaultSettings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildEveryConditionOn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildRankIndexes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvOfEveryRow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignalReportTop100)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
