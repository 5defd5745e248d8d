#pragma once
// Dates as people type them and read them.
#include <string>
#include <string_view>

#include "foundation/packed_date.h"

namespace vorn {

// YYYY/MM/DD, YYYY-MM-DD or YYYYMMDD for a day that exists (2018-02-30 does not) in the years
// a packed date holds (1950..2077); kNoDate for anything else.
PackedDate ParseDateText(std::string_view text);

// YYYY/MM/DD.
std::string FormatDateText(PackedDate date);

// The number of days of `month` (1..12) in `year`.
unsigned DaysInMonth(unsigned year, unsigned month);

} // namespace vorn
