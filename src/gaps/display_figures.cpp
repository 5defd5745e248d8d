#include "gaps/display_figures.h"

#include <cstdio>

#include "foundation/number_format.h"

namespace vorn {

std::string GroupedInteger(std::int64_t value, bool plusSign) {
    // The magnitude in unsigned arithmetic, so that the most negative value has one too.
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char digits[kGroupedIntegerCapacity];
    FormatGroupedInteger(digits, magnitude);
    std::string text;
    if (value < 0)
        text.push_back('-');
    else if (plusSign)
        text.push_back('+');
    return text + digits;
}

std::string GroupedUnsigned(std::uint64_t value) {
    char digits[kGroupedIntegerCapacity];
    FormatGroupedInteger(digits, value);
    return digits;
}

std::string GroupedReal(double value, const char* format) {
    char text[kGroupedRealCapacity];
    FormatGroupedReal(value, format, text);
    return text;
}

std::string DateText(PackedDate date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u/%02u/%02u", DateYear(date), DateMonth(date),
                  DateDay(date));
    return text;
}

std::string PriceText(std::int64_t value, bool hundredths, bool plusSign) {
    if (!hundredths)
        return GroupedInteger(value, plusSign);
    return GroupedReal(static_cast<double>(value) / 100.0, plusSign ? "%+.02f" : "%.02f");
}

} // namespace vorn
