#include "foundation/time_agent.h"

#include <chrono>
#include <cstdio>

#include "foundation/calendar_math.h"

namespace vorn {
namespace {

constexpr const char* kWeekdayNames[] = {"日", "月", "火", "水", "木", "金", "土"};

// Bounded print lengths: a bare "hh:mm", a bare date, a date with weekday or with hours
// and minutes, longer texts, the longest. Weekday names and "年月日" take three bytes each
// in UTF-8, so texts holding them use the next size up.
constexpr std::size_t kShortTime = 8;
constexpr std::size_t kBareDate = 16;
constexpr std::size_t kMedium = 24;
constexpr std::size_t kLong = 32;
constexpr std::size_t kLongest = kTimeTextCapacity;

// snprintf into at most `capacity` bytes; the result points at the terminating NUL.
template <class... Args>
char* Print(char* buffer, std::size_t capacity, const char* format, Args... args) {
    const int written = std::snprintf(buffer, capacity, format, args...);
    if (written < 0) {
        buffer[0] = '\0';
        return buffer;
    }
    const auto length = static_cast<std::size_t>(written);
    return buffer + (length < capacity ? length : capacity - 1);
}

LocalClock DecodeLocal(const std::tm& local, unsigned millisecond) {
    LocalClock clock;
    clock.year = static_cast<unsigned>(local.tm_year + 1900);
    clock.month = static_cast<unsigned>(local.tm_mon + 1);
    clock.day = static_cast<unsigned>(local.tm_mday);
    clock.hour = static_cast<unsigned>(local.tm_hour);
    clock.minute = static_cast<unsigned>(local.tm_min);
    // A leap second reads as 60; the packed time has room for it.
    clock.second = static_cast<unsigned>(local.tm_sec);
    clock.millisecond = millisecond;
    clock.weekday = static_cast<unsigned>(local.tm_wday);
    return clock;
}

// Splits the current wall-clock time into local calendar fields.
void ReadClock(std::tm& local, unsigned& millisecond) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto sinceEpoch = now.time_since_epoch();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
    millisecond = static_cast<unsigned>(ms < 0 ? ms + 1000 : ms);
    if (localtime_r(&seconds, &local) == nullptr)
        local = std::tm{};
}

std::mutex& TodayMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

char* CTimeAgent::FormatTime(char* buffer, PackedTime time, bool withSeconds,
                             bool withMilliseconds) const {
    const unsigned h = TimeHour(time), m = TimeMinute(time);
    if (!withSeconds)
        return Print(buffer, kShortTime, "%02u:%02u", h, m);
    if (!withMilliseconds)
        return Print(buffer, kBareDate, "%02u:%02u:%02u", h, m, TimeSecond(time));
    return Print(buffer, kBareDate, "%02u:%02u:%02u.%03u", h, m, TimeSecond(time),
                 TimeMillisecond(time));
}

char* CTimeAgent::FormatDateTime(char* buffer, PackedDateTime dateTime, bool fourDigitYear,
                                 bool withWeekday, bool withTime) const {
    const unsigned year = fourDigitYear ? DateTimeYear(dateTime) : DateTimeYear(dateTime) % 100;
    const unsigned month = DateTimeMonth(dateTime), day = DateTimeDay(dateTime);
    const unsigned hour = DateTimeHour(dateTime), minute = DateTimeMinute(dateTime);
    // The weekday is worked out from the date: stored weekday bits are not always filled.
    const std::uint8_t weekday = WeekdayOfDateTime(dateTime);
    if (weekday > 6)
        withWeekday = false;
    if (fourDigitYear) {
        if (withWeekday && withTime)
            return Print(buffer, kLong, "%04u/%02u/%02u  %s曜日 %02u:%02u", year, month, day,
                         kWeekdayNames[weekday], hour, minute);
        if (withWeekday)
            return Print(buffer, kMedium, "%04u/%02u/%02u %s曜日", year, month, day,
                         kWeekdayNames[weekday]);
        if (withTime)
            return Print(buffer, kMedium, "%04u/%02u/%02u %02u:%02u", year, month, day, hour,
                         minute);
        return Print(buffer, kBareDate, "%04u/%02u/%02u", year, month, day);
    }
    if (withWeekday && withTime)
        return Print(buffer, kLong, "%02u/%02u/%02u  %s曜日 %02u:%02u", year, month, day,
                     kWeekdayNames[weekday], hour, minute);
    if (withWeekday)
        return Print(buffer, kMedium, "%02u/%02u/%02u %s曜日", year, month, day,
                     kWeekdayNames[weekday]);
    if (withTime)
        return Print(buffer, kMedium, "%02u/%02u/%02u %02u:%02u", year, month, day, hour, minute);
    return Print(buffer, kBareDate, "%02u/%02u/%02u", year, month, day);
}

char* CTimeAgent::FormatDate(char* buffer, PackedDate date, bool fourDigitYear,
                             bool zeroPadded) const {
    if (date == kNoDate)
        return Print(buffer, kBareDate, "%s", fourDigitYear ? "0000/00/00" : "00/00/00");
    if (date == kOpenEnd)
        return Print(buffer, kBareDate, "%s", fourDigitYear ? "9999/99/99" : "99/99/99");
    const unsigned year = fourDigitYear ? DateYear(date) : DateYear(date) % 100;
    if (!zeroPadded)
        return Print(buffer, kBareDate, "%u/%u/%u", year, DateMonth(date), DateDay(date));
    return Print(buffer, kBareDate, fourDigitYear ? "%04u/%02u/%02u" : "%02u/%02u/%02u", year,
                 DateMonth(date), DateDay(date));
}

char* CTimeAgent::FormatJapaneseDate(char* buffer, PackedDate date) const {
    if (date == kNoDate)
        return Print(buffer, kLong, "%s", "0000年00月00日");
    if (date == kOpenEnd)
        return Print(buffer, kLong, "%s", "9999年99月99日");
    const std::uint8_t weekday = WeekdayOfDate(date);
    return Print(buffer, kLong, "%04u年%02u月%02u日 %s曜日", DateYear(date), DateMonth(date),
                 DateDay(date), weekday <= 6 ? kWeekdayNames[weekday] : "");
}

char* CTimeAgent::FormatNow(char* buffer, bool fourDigitYear, bool withWeekday, bool withTime,
                            bool withSeconds, bool withMilliseconds) {
    if (buffer == nullptr)
        return nullptr;
    const LocalClock now = ReadLocalClock();
    const unsigned year = fourDigitYear ? now.year : now.year % 100;
    if (now.weekday > 6)
        withWeekday = false;
    const char* const weekday = withWeekday ? kWeekdayNames[now.weekday] : "";
    const char* dateFormat = fourDigitYear ? "%04u/%02u/%02u" : "%02u/%02u/%02u";

    if (!withTime) {
        if (!withWeekday)
            return Print(buffer, kBareDate, dateFormat, year, now.month, now.day);
        return Print(buffer, kMedium,
                     fourDigitYear ? "%04u/%02u/%02u %s曜日" : "%02u/%02u/%02u %s曜日", year,
                     now.month, now.day, weekday);
    }
    // Date and time share one bound; the time goes where the date ended.
    const std::size_t total = !withWeekday                      ? kMedium
                              : withSeconds && withMilliseconds ? kLongest
                                                                : kLong;
    char* end = withWeekday
                    ? Print(buffer, total,
                            fourDigitYear ? "%04u/%02u/%02u %s曜日 " : "%02u/%02u/%02u %s曜日 ",
                            year, now.month, now.day, weekday)
                    : Print(buffer, total, fourDigitYear ? "%04u/%02u/%02u " : "%02u/%02u/%02u ",
                            year, now.month, now.day);
    const std::size_t room = total - static_cast<std::size_t>(end - buffer);
    if (!withSeconds)
        return Print(end, room, "%02u:%02u", now.hour, now.minute);
    if (!withMilliseconds)
        return Print(end, room, "%02u:%02u:%02u", now.hour, now.minute, now.second);
    return Print(end, room, "%02u:%02u:%02u.%03u", now.hour, now.minute, now.second,
                 now.millisecond);
}

std::uint8_t CTimeAgent::WeekdayOfDateTime(PackedDateTime dateTime) const {
    return WeekdayOfYmd(static_cast<int>(DateTimeYear(dateTime)),
                        static_cast<int>(DateTimeMonth(dateTime)),
                        static_cast<int>(DateTimeDay(dateTime)));
}

std::uint8_t CTimeAgent::WeekdayOfDate(PackedDate date) const {
    return WeekdayOfPackedDate(date);
}

std::uint8_t CTimeAgent::Weekday(int year, int month, int day) const {
    return WeekdayOfYmd(year, month, day);
}

PackedDateTime CTimeAgent::AddDaysToDateTime(PackedDateTime dateTime, int days) const {
    return AddDaysToYmdDate(static_cast<int>(DateTimeYear(dateTime)),
                            static_cast<int>(DateTimeMonth(dateTime)),
                            static_cast<int>(DateTimeDay(dateTime)), days);
}

PackedDateTime CTimeAgent::AddDays(PackedDate date, int days) const {
    return AddDaysToYmdDate(static_cast<int>(DateYear(date)), static_cast<int>(DateMonth(date)),
                            static_cast<int>(DateDay(date)), days);
}

PackedDateTime CTimeAgent::AddDaysToYmd(int year, int month, int day, int days) const {
    return AddDaysToYmdDate(year, month, day, days);
}

LocalClock CTimeAgent::ReadLocalClock() {
    std::lock_guard lock(mutex_);
    unsigned millisecond = 0;
    ReadClock(scratch_, millisecond);
    return DecodeLocal(scratch_, millisecond);
}

CTimeAgent& TimeAgent() {
    static CTimeAgent agent;
    return agent;
}

PackedDate GetToday(PackedTime* time) {
    std::lock_guard lock(TodayMutex());
    std::tm local{};
    unsigned millisecond = 0;
    ReadClock(local, millisecond);
    const LocalClock now = DecodeLocal(local, millisecond);
    if (time != nullptr)
        *time = MakePackedTime(now.hour, now.minute, now.second, now.millisecond);
    // Outside the packed range (a clock that failed to read) there is no date to give.
    if (now.year < 1950 || now.year > 2077)
        return kNoDate;
    return MakePackedDate(now.year, now.month, now.day);
}

} // namespace vorn
