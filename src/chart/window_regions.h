#pragma once
// The windows (gaps) of the shown stock as filled regions in chart pixels, built with the
// same mapping the candles use, so that the window layer and the hit test agree.
#include <span>
#include <vector>

#include "chart/chart_model.h"
#include "gaps/windows_performer.h"

namespace vorn {

// One window's history: the opening record (state 1 below the price, 2 above it, with the
// bound the previous day set), the record with the other bound, narrowing records (16 lower
// the upper bound of a state-1 window, 32 raise the lower bound of a state-2 window) and a
// closing record of any other state. Days count from the daily calendar position
// `seriesFirstPosition`; prices are in the price scale's units (x 10^k).
// False, with `region` cleared, when nothing of the window is on show.
bool BuildWindowRegion(std::span<const WindowStateRecord> records, int seriesFirstPosition,
                       const ChartLayout& layout, const CChartCoordinates& coordinates,
                       ChartWindowRegion& region);

// Every window of the analysed stock that is on show, in identifier order. Windows are
// tracked on daily prices, so other series kinds show none.
std::vector<ChartWindowRegion> BuildWindowRegions(const CWindowsPerformer& performer,
                                                  const ChartLayout& layout,
                                                  const CChartCoordinates& coordinates);

} // namespace vorn
