// Placeholder: the mapping pass is being written.
#include "gaps/market_windows.h"

namespace vorn {

bool CMarketWindows::MapMarketWindows(CMarketMatrix&, CEvent*, IMessageSink*) { return false; }

std::uint16_t CMarketWindows::MapListingWindows(const SeriesSet&, SecurityKey, const CCalendar&,
                                                CWindowEventMap&, CWindowCountsMap&) {
    return 0;
}

} // namespace vorn
