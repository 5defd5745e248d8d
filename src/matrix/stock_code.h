#pragma once
// Stock codes as written ("7203", "130A", "1A00") and as stored in the 16-bit code field.
//
// Decimal codes 0..9999 are stored as their number. Codes with a letter use the 19 letters
// "ACDFGHJKLMNPRSTUWXY" (numbered 0..18) and are stored from 10,000 upwards; the rule is part
// of the file formats, so it never changes:
//   digit-digit-digit-letter (130A): 10,000 + (three digits) x 19 + letter      -> 10,000..28,999
//   digit-letter-digit-digit (1A00): 29,000 + first x 1,900 + letter x 100 + (two digits)
//                                                                                -> 29,000..47,999
// Letters in both places and stored values of 48,000 or more are not held.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorn {

constexpr std::uint32_t kFirstLetterCode = 10000;   // first stored value of a lettered code
constexpr std::uint32_t kSecondLetterCodes = 29000; // first stored value of the 1A00 form
constexpr std::uint32_t kEndOfCodes = 48000;        // stored values from here on are not held

// The code as written: four decimal digits ("0012"), a lettered code ("130A"), or the bare
// number for a stored value the rule does not cover ("48000").
std::string FormatStockCode(std::uint32_t storedCode);

// Reads a code as a user types it or a file holds it: four characters, digits or allowed
// letters in the second and fourth places, upper or lower case (lower case is upper-cased);
// "7203" and codes of fewer digits ("12" -> 12) are decimal. Five-character codes are not
// taken here (see ParseDeliveredStockCode). Nothing when the text is not a code.
std::optional<std::uint16_t> ParseStockCode(std::string_view text);

// True for a letter a code may hold ("ACDFGHJKLMNPRSTUWXY"), in either case and either width.
bool IsStockCodeLetter(char16_t c);

// Reads a code as typed into a code box (UTF-16): exactly four characters, either all
// half-width or all full-width ("１３０Ａ"); letters of either case. Nothing for other text,
// including codes of fewer digits.
std::optional<std::uint16_t> ParseTypedStockCode(std::u16string_view text);

// Reads a code as data services deliver it: four characters as ParseStockCode, or five
// characters whose last is the common-stock suffix '0' ("72030", "130A0"). Nothing for
// other suffixes (preferred shares and other classes) or text that is not a code.
std::optional<std::uint16_t> ParseDeliveredStockCode(std::string_view text);

// Why `text` is no code ParseDeliveredStockCode takes, for error messages: "stock code '9A7A'
// cannot be held (letters in both the second and fourth place)" and the like.
std::string DescribeBadStockCode(std::string_view text);

// Key for ordering codes the way they are written (1301 < 130A < 1332), not by stored value.
std::uint32_t StockCodeSortKey(std::uint32_t storedCode);

// Key for ordering security keys (the code from bit 18 up) by written code, then by market.
inline std::uint64_t SecurityKeySortKey(std::uint64_t securityKey) {
    return (std::uint64_t{StockCodeSortKey(static_cast<std::uint32_t>(securityKey >> 18))} << 18) |
           (securityKey & 0x3FFFFu);
}

} // namespace vorn
