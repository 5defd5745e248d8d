#pragma once
// The layers of the gap chart. Each draws one thing from the chart model through its
// coordinate mapping: the window layer holds the windows, the candle layer everything else,
// and the composition lays the candle layer over the window layer with the background colour
// as the transparent key, so windows show behind candles.
#include "chart/chart_model.h"
#include "gaps/windows_performer.h"
#include "matrix/market_naming.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <span>
#include <string>
#include <vector>

#include "chart/ui/chart_resources.h"

namespace vorn {

// A position signal on a shown day: "B" below the low, "S" above the high.
struct SignalMark {
    int day = 0; // view day
    bool buy = false;
};

// What one rendering of the chart reads.
struct ChartScene {
    const CChartModel* model = nullptr;
    const ChartSettings* settings = nullptr;
    std::span<const ChartWindowRegion> windows;
    int selectedWindow = -1; // index into `windows`, drawn in the highlight colour
    std::span<const SignalMark> marks;
    std::string stockCaption; // UTF-8
};

// --- Data the layers take from the analysis ---
// The signals of `positions` (days from the series' first day at daily calendar position
// `seriesFirstPosition`) that fall on shown days.
std::vector<SignalMark> SignalMarksOnShow(std::span<const PositionEntry> positions,
                                          int seriesFirstPosition, const ChartLayout& layout);
// The position state of a day of the series (index from its first day), UTF-8.
const char* PositionStateText(std::span<const PositionEntry> positions, int seriesDay);
// "[%s] %s ： %s  <%s>" with code as written, company name, market and industry, UTF-8.
std::string StockCaption(const SecurityRecord& security, MarketNaming naming = {});
// "%02u/%02u/%02u"; 0 and the open end are shown as all zeros and all nines.
std::string ShortDate(PackedDate date);
// A price in scale units as shown: grouped yen, or "%.02f" of hundredths.
std::string PriceText(std::uint64_t value, bool hundredths);

// The outline of a window's region, one polygon per run of adjacent strips, with vertices on
// pixel edges so that filling it covers exactly the pixels the hit test finds inside.
std::vector<QPolygon> WindowPolygons(const ChartWindowRegion& region);

// --- Layers ---
// Background and every window region.
void DrawWindowLayer(QImage& image, const ChartScene& scene, const CChartResources& resources);
// Background, captions, grid and scales, date marks, candles with volumes, marks and markers,
// and the price-band panel.
void DrawCandleLayer(QImage& image, const ChartScene& scene, const CChartResources& resources);

// The parts of the candle layer, in drawing order.
void DrawCaptions(QPainter& painter, const ChartScene& scene, const CChartResources& resources);
void DrawGridAndScales(QPainter& painter, const ChartScene& scene,
                       const CChartResources& resources);
void DrawDateMarks(QPainter& painter, const ChartScene& scene, const CChartResources& resources);
void DrawCandlesAndVolumes(QPainter& painter, const ChartScene& scene,
                           const CChartResources& resources);
void DrawMarksAndMarkers(QPainter& painter, const ChartScene& scene,
                         const CChartResources& resources);
void DrawPriceBands(QPainter& painter, const ChartScene& scene, const CChartResources& resources);

// Copies every pixel of `top` that is not `key` onto `base`; both of one size, RGB32.
void ComposeLayers(QImage& base, const QImage& top, QRgb key);

// The whole chart without tips; `size` is the view size the model was laid out for. Black
// when nothing is shown.
QImage RenderChart(const ChartScene& scene, const CChartResources& resources, QSize size);

// The layer images of a chart drawn again and again. A rendering into a canvas reuses them
// when their size still fits, instead of allocating and first touching two full-size images a
// frame (which costs more than the drawing itself).
struct ChartCanvas {
    QImage composed; // the result: the candle layer laid over the window layer
    QImage candles;
};
// RenderChart into `canvas.composed`.
void RenderChartInto(ChartCanvas& canvas, const ChartScene& scene, const CChartResources& resources,
                     QSize size);

} // namespace vorn
