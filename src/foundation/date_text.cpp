#include "foundation/date_text.h"

#include <cstdio>

namespace vorn {
namespace {

constexpr unsigned kFirstYear = 1950;
constexpr unsigned kLastYear = 2077;

bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, unsigned& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}

} // namespace

unsigned DaysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

PackedDate ParseDateText(std::string_view text) {
    std::size_t monthAt = 4, dayAt = 6;
    if (text.size() == 10) {
        const char separator = text[4];
        if ((separator != '/' && separator != '-') || text[7] != separator)
            return kNoDate;
        monthAt = 5;
        dayAt = 8;
    } else if (text.size() != 8) {
        return kNoDate;
    }
    unsigned year = 0, month = 0, day = 0;
    if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, monthAt, 2, month) ||
        !ReadDigits(text, dayAt, 2, day))
        return kNoDate;
    if (year < kFirstYear || year > kLastYear || day < 1 || day > DaysInMonth(year, month))
        return kNoDate;
    return MakePackedDate(year, month, day);
}

std::string FormatDateText(PackedDate date) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04u/%02u/%02u", DateYear(date), DateMonth(date),
                  DateDay(date));
    return buffer;
}

} // namespace vorn
