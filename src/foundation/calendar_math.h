#pragma once
// Day arithmetic on the proleptic Gregorian calendar, shared by the time agent and the
// trading calendars.
#include "foundation/packed_date.h"

namespace vorn {

// 0 = Sunday .. 6 = Saturday; kInvalidWeekday for the day before the epoch of the count.
std::uint8_t WeekdayOfYmd(int year, int month, int day);
inline std::uint8_t WeekdayOfPackedDate(PackedDate d) {
    return WeekdayOfYmd(static_cast<int>(DateYear(d)), static_cast<int>(DateMonth(d)),
                        static_cast<int>(DateDay(d)));
}

// The date `days` after (year, month, day), with its weekday and a zero time.
PackedDateTime AddDaysToYmdDate(int year, int month, int day, int days);
inline PackedDate AddDaysToPackedDate(PackedDate d, int days) {
    return ToPackedDate(AddDaysToYmdDate(static_cast<int>(DateYear(d)),
                                         static_cast<int>(DateMonth(d)),
                                         static_cast<int>(DateDay(d)), days));
}

} // namespace vorn
