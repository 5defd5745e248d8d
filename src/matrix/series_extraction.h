#pragma once
// Preparation of extraction result views (the extraction itself is on CMarketMatrix).
#include "matrix/historical_manager.h"
#include "matrix/market_records.h"

namespace vorn {

// Sets the view's first and last days to the calendar days not after `from` and `to` (the
// calendar's first day when `from` precedes it) and makes its arrays hold count elements in
// `encoding`, zero-filled. The arrays are reused when the encoding equals `previousEncoding`
// and the capacity suffices; otherwise they are reallocated to exactly count elements.
// False (empty calendar, `to` before `from`, unknown encoding, no memory) leaves the view
// empty.
bool PrepareView(const CCalendar& calendar, SeriesView& view, std::uint16_t encoding,
                 PackedDate from, PackedDate to, std::uint16_t previousEncoding);

} // namespace vorn
