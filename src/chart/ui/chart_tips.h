#pragma once
// The tips opened by clicking the chart: the candle tip with the day's quotes and position
// state, the window tip with a window's bounds, and their blending over the chart.
#include "chart/ui/chart_layers.h"

#include <QImage>
#include <QPoint>
#include <span>
#include <vector>

namespace vorn {

// A tip as two images of one size: `body` is the whole tip (frame, background, text), `ink`
// only its frame and text on transparent pixels.
struct ChartTip {
    QImage body;
    QImage ink;
    QPoint at; // top-left corner in chart pixels

    bool Empty() const { return body.isNull(); }
};

// One pass of the tip blend: a constant alpha (0..255), applied to the body, or to the ink
// with its own per-pixel alpha.
struct TipBlendPass {
    int alpha = 0;
    bool perPixel = false;
};
// The passes for a tip opacity of 0 (opaque) to 100 (invisible); larger values count as 100.
std::vector<TipBlendPass> TipBlendPasses(int opacity);
void BlendTip(QImage& chart, const ChartTip& tip, int opacity);

// The tip of view day `day`; `stateText` is its position state (UTF-8). Empty for a day
// without quotes.
ChartTip RenderCandleTip(const ChartScene& scene, const CChartResources& resources, int day,
                         const char* stateText);
// The tip of a window clicked at `click`; `records` is its history, days counted from the
// series' first day at daily calendar position `seriesFirstPosition` of `calendar`.
ChartTip RenderWindowTip(const ChartScene& scene, const CChartResources& resources,
                         std::span<const WindowStateRecord> records, int seriesFirstPosition,
                         const CCalendar& calendar, QPoint click);

// The frame drawn around the candle whose tip is open.
void DrawCandleTipMarker(QImage& chart, const ChartScene& scene, const CChartResources& resources,
                         int day);
// "→ %3d日" or "← %3d日" while dragging; nothing otherwise.
void DrawDragIndicator(QImage& chart, const ChartScene& scene, const CChartResources& resources);

} // namespace vorn
