#include "foundation/number_format.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace vorn {
namespace {

constexpr std::size_t kMaxGroupedDigits = 20;

// Copies `printed` into the caller's buffer with separators between the integer digits
// that follow the optional sign.
char* Group(const char* printed, char* buffer, std::size_t capacity) {
    if (capacity == 0)
        return buffer;
    const std::size_t length = std::strlen(printed);
    std::size_t start = (printed[0] == '+' || printed[0] == '-') ? 1 : 0;
    std::size_t digits = 0;
    while (start + digits < length && printed[start + digits] >= '0' &&
           printed[start + digits] <= '9')
        ++digits;
    const bool grouped = digits > 3 && digits <= kMaxGroupedDigits;

    std::size_t out = 0;
    const auto put = [&](char c) {
        if (out + 1 < capacity)
            buffer[out++] = c;
    };
    for (std::size_t i = 0; i < length; ++i) {
        if (grouped && i > start && i < start + digits && (start + digits - i) % 3 == 0)
            put(',');
        put(printed[i]);
    }
    buffer[out] = '\0';
    return buffer + out;
}

} // namespace

char* FormatGroupedInteger(char* buffer, std::size_t capacity, std::uint64_t value) {
    char printed[kGroupedIntegerCapacity];
    std::snprintf(printed, sizeof printed, "%" PRIu64, value);
    return Group(printed, buffer, capacity);
}

char* FormatGroupedReal(double value, const char* format, char* buffer, std::size_t capacity) {
    char printed[64];
    if (std::snprintf(printed, sizeof printed, format, value) < 0)
        printed[0] = '\0';
    return Group(printed, buffer, capacity);
}

} // namespace vorn
