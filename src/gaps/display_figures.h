#pragma once
// The texts the gap panels and trading lists show for dates, prices and results (UTF-8,
// ASCII only), with "," between groups of three integer digits.
#include <cstdint>
#include <string>

#include "foundation/packed_date.h"

namespace vorn {

// A Windows colour value: red in the low byte, blue in the third.
using ColorRef = std::uint32_t;

constexpr ColorRef kTextWhite = 0xFFFFFF;
constexpr ColorRef kTextGrey = 0x808080;
// Gains and losses, as every result of the gap panels shows them.
constexpr ColorRef kGainColour = 0x0045FF;
constexpr ColorRef kLossColour = 0xFFFF00;

// "%d", or "%+d" with `plusSign`, grouped.
std::string GroupedInteger(std::int64_t value, bool plusSign = false);
std::string GroupedUnsigned(std::uint64_t value);
// One double conversion (e.g. "%+.02f%%") with its integer part grouped.
std::string GroupedReal(double value, const char* format);
// "%04u/%02u/%02u" of the packed fields, whatever they hold.
std::string DateText(PackedDate date);
// A price or a difference of prices in the units a list holds them: grouped integers, or for
// a security priced in hundredths the value divided by 100 with two decimals.
std::string PriceText(std::int64_t value, bool hundredths, bool plusSign = false);

} // namespace vorn
