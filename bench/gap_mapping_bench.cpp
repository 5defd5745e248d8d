// The whole-market mapping pass against the least any pass over the same data can cost:
// extracting every security's series and reading each candle once. Their ratio is how far
// the mapping is from the memory-bandwidth limit (the aim is within 3x).
#include <benchmark/benchmark.h>

#include "ratio_reporter.h"

#include <cstdio>
#include <memory>

#include "gaps/market_windows.h"
#include "matrix/sample_market.h"

namespace {

using namespace vorn;

struct SampleMarket {
    CMarketMatrix matrix;
    bool built = false;
    std::size_t storedDays = 0;
};

SampleMarket& Market() {
    static std::unique_ptr<SampleMarket> market = [] {
        auto m = std::make_unique<SampleMarket>();
        m->built = BuildSampleMarket(m->matrix, SampleMarketOptions{});
        for (const auto& [key, security] : m->matrix.Securities())
            m->storedDays += security.prices.count;
        return m;
    }();
    return *market;
}

template <class Price> std::uint64_t ReadCandles(const SeriesView& view) {
    const Candle<Price>* candles = view.Candles<Price>();
    std::uint64_t sum = 0;
    for (std::uint32_t i = 0; i < view.count; ++i)
        sum += candles[i].high + candles[i].low + view.volumes[i];
    return sum;
}

void BM_PureScan(benchmark::State& state) {
    SampleMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    const CCalendar& calendar = market.matrix.DailyCalendar();
    SeriesSet series;
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (const auto& [key, security] : market.matrix.Securities()) {
            if (!market.matrix.GetSeries(series, &security, *calendar.First(), *calendar.Last()))
                continue;
            switch (series.priceEncoding) {
            case 0:
                sum += ReadCandles<std::uint8_t>(series.daily);
                break;
            case 1:
                sum += ReadCandles<std::uint16_t>(series.daily);
                break;
            default:
                sum += ReadCandles<std::uint32_t>(series.daily);
                break;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["days"] = static_cast<double>(market.storedDays);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * market.storedDays));
}

void BM_MapMarketWindows(benchmark::State& state) {
    SampleMarket& market = Market();
    if (!market.built) {
        state.SkipWithError("the sample market is not available in this build");
        return;
    }
    CMarketWindows windows;
    for (auto _ : state)
        benchmark::DoNotOptimize(windows.MapMarketWindows(market.matrix, nullptr, nullptr));
    state.counters["events"] = static_cast<double>(windows.EventMap().Size());
    state.counters["days"] = static_cast<double>(market.storedDays);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * market.storedDays));
}

BENCHMARK(BM_PureScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapMarketWindows)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    vorn::bench::CRatioReporter reporter("BM_PureScan", "BM_MapMarketWindows",
                                         "mapping pass / pure scan", "within 3x");
    return vorn::bench::RunWithRatio(argc, argv, reporter);
}
