#pragma once
// Numbers shown to the user, with "," between groups of three integer digits.
#include <cstddef>
#include <cstdint>

namespace vorn {

// Enough for any u64 with its separators.
constexpr std::size_t kGroupedIntegerCapacity = 32;
// The printed real is cut to 63 characters before grouping; grouping adds at most six.
constexpr std::size_t kGroupedRealCapacity = 72;

// Writes at most `capacity` bytes (terminator included) and returns the end of the text.
char* FormatGroupedInteger(char* buffer, std::size_t capacity, std::uint64_t value);
// Prints `value` with `format` (one double conversion, e.g. "%+.02f%%"), then groups the
// integer part: the digits after an optional leading "+" or "-" up to the "." or the end.
// More than 20 integer digits are left as printed.
char* FormatGroupedReal(double value, const char* format, char* buffer, std::size_t capacity);

template <std::size_t N> char* FormatGroupedInteger(char (&buffer)[N], std::uint64_t value) {
    return FormatGroupedInteger(buffer, N, value);
}
template <std::size_t N>
char* FormatGroupedReal(double value, const char* format, char (&buffer)[N]) {
    return FormatGroupedReal(value, format, buffer, N);
}

} // namespace vorn
