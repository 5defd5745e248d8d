#pragma once
// What the history needs from the application to show an earlier state again. The main
// window implements it; tests implement it to watch what would be shown.
#include <cstdint>
#include <string>

#include "matrix/market_records.h"
#include "screening/screening_settings.h"

namespace vorn {

class IContentsHost {
public:
    virtual ~IContentsHost() = default;
    // Makes `stock` the chart's selected stock and shows its chart of that series kind at that
    // zoom and scroll.
    virtual void ShowChart(const SecurityRecord* stock, PeriodKind seriesKind,
                           std::uint16_t displayedDays, std::uint16_t scrollPosition) = 0;
    // Installs the settings with both lists as the current screening and shows its result.
    virtual void ShowScreening(const ScreeningSettings& settings) = 0;
    // Navigates the report browser; the recorder ignores the completion of this navigation.
    virtual void ShowReport(const std::string& address) = 0;
};

} // namespace vorn
