#include "foundation/calendar_math.h"

namespace vorn {
namespace {

// Days counted so that consecutive dates differ by one and n mod 7 is the weekday.
long long DayNumber(long long y, long long m, long long d) {
    if (m < 3) {
        y -= 1;
        m += 12;
    }
    return y * 365 + y / 4 - y / 100 + y / 400 + ((m + 1) * 306) / 10 + d - 428;
}

} // namespace

std::uint8_t WeekdayOfYmd(int year, int month, int day) {
    const long long n = DayNumber(year, month, day);
    if (n == 0)
        return kInvalidWeekday;
    return static_cast<std::uint8_t>(((n % 7) + 7) % 7);
}

PackedDateTime AddDaysToYmdDate(int year, int month, int day, int days) {
    const long long n = DayNumber(year, month, day) + days;
    const long long e = n + 305;
    const long long q400 = e / 146097;
    const long long r = e % 146097;
    long long years = q400 * 400 + (r / 36524) * 100 + ((r % 36524) / 1461) * 4 +
                      ((r % 36524) % 1461) / 365;
    long long f = n - years * 365 - years / 4 + years / 100 - years / 400 + 305;
    if (f == -1) {
        years -= 1;
        f = 365;
    }
    long long i = 3;
    for (; i < 14; ++i) {
        if (((i + 1) * 306) / 10 - 122 <= f && f < ((i + 2) * 306) / 10 - 122)
            break;
    }
    const long long d = f - ((i + 1) * 306) / 10 + 123;
    long long m = i;
    if (m > 12) {
        m -= 12;
        years += 1;
    }
    const unsigned weekday = static_cast<unsigned>(((n % 7) + 7) % 7);
    return ((static_cast<unsigned>(years - 1850) & 0xFF) << 24) |
           (static_cast<unsigned>(m) << 20) | (static_cast<unsigned>(d) << 15) | (weekday << 1);
}

} // namespace vorn
