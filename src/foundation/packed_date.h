#pragma once
// The compact date and time encodings used in every stored record.
#include <cstdint>

namespace vorn {

// year - 1950 in bits 15..9, month in 8..5, day in 4..0. Sorts like the dates it holds.
using PackedDate = std::uint16_t;
// year - 1850 in bits 31..24, month 23..20, day 19..15, hour 14..10, minute 9..4,
// weekday (0 = Sunday) 3..1, bit 0 zero.
using PackedDateTime = std::uint32_t;
// hour 26..22, minute 21..16, second 15..10, millisecond 9..0.
using PackedTime = std::uint32_t;

constexpr PackedDate kNoDate = 0;
constexpr PackedDate kOpenEnd = 0xFFFF;
constexpr std::uint8_t kInvalidWeekday = 255;

constexpr PackedDate MakePackedDate(unsigned year, unsigned month, unsigned day) {
    return static_cast<PackedDate>(((year - 1950) << 9) | (month << 5) | day);
}
constexpr unsigned DateYear(PackedDate d) { return (d >> 9) + 1950; }
constexpr unsigned DateMonth(PackedDate d) { return (d >> 5) & 0x0F; }
constexpr unsigned DateDay(PackedDate d) { return d & 0x1F; }

constexpr PackedDateTime MakePackedDateTime(unsigned year, unsigned month, unsigned day,
                                            unsigned hour = 0, unsigned minute = 0,
                                            unsigned weekday = 0) {
    return (((year - 1850) & 0xFF) << 24) | (month << 20) | (day << 15) | (hour << 10) |
           (minute << 4) | ((weekday & 7) << 1);
}
constexpr unsigned DateTimeYear(PackedDateTime t) { return (t >> 24) + 1850; }
constexpr unsigned DateTimeMonth(PackedDateTime t) { return (t >> 20) & 0x0F; }
constexpr unsigned DateTimeDay(PackedDateTime t) { return (t >> 15) & 0x1F; }
constexpr unsigned DateTimeHour(PackedDateTime t) { return (t >> 10) & 0x1F; }
constexpr unsigned DateTimeMinute(PackedDateTime t) { return (t >> 4) & 0x3F; }
constexpr unsigned DateTimeWeekday(PackedDateTime t) { return (t >> 1) & 0x07; }

// The year offsets differ by 100, which is 28 modulo 128.
constexpr PackedDate ToPackedDate(PackedDateTime t) {
    return static_cast<PackedDate>(((t >> 15) + 0x3800) & 0xFFFF);
}

constexpr PackedTime MakePackedTime(unsigned hour, unsigned minute, unsigned second,
                                    unsigned millisecond) {
    return (hour << 22) | (minute << 16) | (second << 10) | millisecond;
}
constexpr unsigned TimeHour(PackedTime t) { return (t >> 22) & 0x1F; }
constexpr unsigned TimeMinute(PackedTime t) { return (t >> 16) & 0x3F; }
constexpr unsigned TimeSecond(PackedTime t) { return (t >> 10) & 0x3F; }
constexpr unsigned TimeMillisecond(PackedTime t) { return t & 0x3FF; }

} // namespace vorn
