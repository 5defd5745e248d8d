// Relayout and drawing of the gap chart for a twenty-year security, through the same model,
// window regions and layers the chart window uses, on the offscreen platform. Each step is
// timed per frame; the aim is under 16 ms a frame (relayout and draw together) both at full
// zoom-out and at 60 visible days.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "chart/chart_model.h"
#include "chart/window_regions.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"
#include "matrix/sample_market.h"
// The core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "chart/ui/chart_layers.h"
#include "chart/ui/chart_resources.h"
#include "chart/ui/chart_settings.h"
#include "ui_base/graphic_manager.h"

#include <QApplication>
#include <QImage>

namespace {

using namespace vorn;

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr std::uint16_t kFullZoomOut = 0xFFFE; // more days than any security has

// A twenty-year sample market with a few securities, mapped, and the benchmark index analysed.
struct ChartFixture {
    CMarketMatrix matrix;
    CMarketWindows windows;
    CWindowsPerformer performer;
    ChartSettings settings = ApplyColourScheme(false);
    std::unique_ptr<CChartResources> resources;
    std::unique_ptr<CFontTextMeasure> measure;
    std::unique_ptr<CChartModel> model;
    ChartCanvas canvas; // kept between frames, as the chart window keeps it
    bool ready = false;
};

ChartFixture& Fixture() {
    static std::unique_ptr<ChartFixture> fixture = [] {
        auto f = std::make_unique<ChartFixture>();
        SampleMarketOptions options;
        options.years = 20;
        options.securities = 6;
        const SecurityKey key = MakeSecurityKey(kBenchmarkCode, kBenchmarkMarket);
        if (!BuildSampleMarket(f->matrix, options) ||
            !f->windows.MapMarketWindows(f->matrix, nullptr, nullptr) ||
            !f->windows.AnalyseListingByKey(f->matrix, key, PeriodKind::Daily, f->performer, true))
            return f;
        f->resources = std::make_unique<CChartResources>(CGraphicManager::Shared(), f->settings);
        f->measure = std::make_unique<CFontTextMeasure>(f->resources->ScaleFont());
        f->model = std::make_unique<CChartModel>(f->matrix);
        f->model->SetTextMeasure(f->measure.get());
        f->model->SetLayoutSettings(f->settings.Layout());
        f->model->SetViewSize(kWidth, kHeight);
        f->ready = f->model->LoadStock(f->matrix.FindSecurity(key));
        return f;
    }();
    return *fixture;
}

// One frame as the chart window composes it after a relayout.
const QImage& DrawFrame(ChartFixture& f) {
    const CChartModel& model = *f.model;
    const std::vector<ChartWindowRegion> regions =
        BuildWindowRegions(f.performer, model.Layout(), model.Coordinates());
    const std::vector<SignalMark> marks =
        SignalMarksOnShow(f.performer.Positions(), f.performer.FirstPosition(), model.Layout());
    ChartScene scene;
    scene.model = &model;
    scene.settings = &f.settings;
    scene.windows = regions;
    scene.marks = marks;
    scene.stockCaption = StockCaption(*model.Stock());
    RenderChartInto(f.canvas, scene, *f.resources, QSize(kWidth, kHeight));
    return f.canvas.composed;
}

bool Prepare(benchmark::State& state, std::uint16_t visibleDays) {
    ChartFixture& f = Fixture();
    if (!f.ready) {
        state.SkipWithError("the sample market could not be built or analysed");
        return false;
    }
    if (!f.model->SetDisplay(PeriodKind::Daily, visibleDays, CChartModel::kLastPosition)) {
        state.SkipWithError("the chart could not be laid out");
        return false;
    }
    state.counters["days"] = static_cast<double>(f.model->Layout().days.size());
    return true;
}

void BM_Relayout(benchmark::State& state) {
    const auto days = static_cast<std::uint16_t>(state.range(0));
    if (!Prepare(state, days))
        return;
    ChartFixture& f = Fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(f.model->Relayout());
}

void BM_Draw(benchmark::State& state) {
    const auto days = static_cast<std::uint16_t>(state.range(0));
    if (!Prepare(state, days))
        return;
    ChartFixture& f = Fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(DrawFrame(f).constBits());
    }
}

void BM_RelayoutAndDraw(benchmark::State& state) {
    const auto days = static_cast<std::uint16_t>(state.range(0));
    if (!Prepare(state, days))
        return;
    ChartFixture& f = Fixture();
    for (auto _ : state) {
        f.model->Relayout();
        benchmark::DoNotOptimize(DrawFrame(f).constBits());
    }
}

BENCHMARK(BM_Relayout)->Arg(kFullZoomOut)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw)->Arg(kFullZoomOut)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelayoutAndDraw)->Arg(kFullZoomOut)->Arg(60)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // Drawn offscreen whatever the terminal has; the toolkit's fonts need an application.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int toolkitArgc = 1;
    QApplication application(toolkitArgc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("Per-frame times at %dx%d; the aim is under 16 ms for relayout and draw.\n", kWidth,
                kHeight);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
