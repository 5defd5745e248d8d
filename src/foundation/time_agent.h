#pragma once
// The program's single authority on dates: weekdays, day arithmetic and the text forms of
// packed dates, times and the current local time.
//
// Formatted text is UTF-8 (weekday names, "年", "曜日"); convert with Utf8ToCp932 where
// cp932 bytes are wanted. Every formatter writes a NUL-terminated text of bounded length
// and returns a pointer to that NUL, so callers chain fields into one buffer.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>

#include "foundation/packed_date.h"

namespace vorn {

// Room one formatter call may use, terminator included. A buffer passed to any formatter
// must hold this many bytes from the pointer given.
constexpr std::size_t kTimeTextCapacity = 40;

// The local clock read once: calendar fields plus milliseconds.
struct LocalClock {
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    unsigned millisecond = 0;
    unsigned weekday = 0; // 0 = Sunday; anything above 6 means unknown
};

class CTimeAgent final {
public:
    CTimeAgent() = default;
    ~CTimeAgent() = default;
    CTimeAgent(const CTimeAgent&) = delete;
    CTimeAgent& operator=(const CTimeAgent&) = delete;

    // --- Operations in slot order ---
    // "hh:mm", "hh:mm:ss" or "hh:mm:ss.mmm"; milliseconds only together with seconds.
    virtual char* FormatTime(char* buffer, PackedTime time, bool withSeconds,
                             bool withMilliseconds) const;
    virtual char* FormatDateTime(char* buffer, PackedDateTime dateTime, bool fourDigitYear,
                                 bool withWeekday, bool withTime) const;
    // 0 prints as zeros and 0xFFFF (open end) as nines.
    virtual char* FormatDate(char* buffer, PackedDate date, bool fourDigitYear,
                             bool zeroPadded) const;
    virtual char* FormatJapaneseDate(char* buffer, PackedDate date) const;
    // The local time now; null when buffer is null.
    virtual char* FormatNow(char* buffer, bool fourDigitYear, bool withWeekday, bool withTime,
                            bool withSeconds, bool withMilliseconds);
    virtual std::uint8_t WeekdayOfDateTime(PackedDateTime dateTime) const;
    virtual std::uint8_t WeekdayOfDate(PackedDate date) const;
    // 0 = Sunday .. 6 = Saturday, kInvalidWeekday for the origin of the day count.
    virtual std::uint8_t Weekday(int year, int month, int day) const;
    // The results carry the weekday and a zero time.
    virtual PackedDateTime AddDaysToDateTime(PackedDateTime dateTime, int days) const;
    virtual PackedDateTime AddDays(PackedDate date, int days) const;
    virtual PackedDateTime AddDaysToYmd(int year, int month, int day, int days) const;

    // Reads the local clock under the agent's lock (the log channels stamp lines with it).
    LocalClock ReadLocalClock();

private:
    std::mutex mutex_;  // guards scratch_
    std::tm scratch_{}; // local time being decoded
};

// The one agent of the process, created on first use.
CTimeAgent& TimeAgent();

// The local date; `time` (when given) receives the local time of the same reading.
PackedDate GetToday(PackedTime* time = nullptr);

} // namespace vorn
