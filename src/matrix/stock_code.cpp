#include "matrix/stock_code.h"

#include <cstdio>

namespace vorn {
namespace {

constexpr std::string_view kCodeLetters = "ACDFGHJKLMNPRSTUWXY";
constexpr std::uint32_t kLetterCount = 19;

int LetterNumber(char c) {
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    std::size_t at = kCodeLetters.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

std::string FormatStockCode(std::uint32_t storedCode) {
    char text[16];
    if (storedCode < kFirstLetterCode) {
        std::snprintf(text, sizeof text, "%04u", storedCode);
    } else if (storedCode < kSecondLetterCodes) {
        std::uint32_t v = storedCode - kFirstLetterCode;
        std::snprintf(text, sizeof text, "%03u%c", v / kLetterCount,
                      kCodeLetters[v % kLetterCount]);
    } else if (storedCode < kEndOfCodes) {
        std::uint32_t v = storedCode - kSecondLetterCodes;
        std::snprintf(text, sizeof text, "%u%c%02u", v / 1900, kCodeLetters[v % 1900 / 100],
                      v % 100);
    } else {
        std::snprintf(text, sizeof text, "%u", storedCode);
    }
    return text;
}

std::optional<std::uint16_t> ParseStockCode(std::string_view text) {
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    bool allDigits = true;
    for (char c : text)
        allDigits = allDigits && IsDigit(c);
    if (allDigits) {
        unsigned value = 0;
        for (char c : text)
            value = value * 10 + static_cast<unsigned>(c - '0');
        return static_cast<std::uint16_t>(value);
    }
    if (text.size() != 4 || !IsDigit(text[0]) || !IsDigit(text[2]))
        return std::nullopt;
    int second = IsDigit(text[1]) ? -1 : LetterNumber(text[1]);
    int fourth = IsDigit(text[3]) ? -1 : LetterNumber(text[3]);
    if ((!IsDigit(text[1]) && second < 0) || (!IsDigit(text[3]) && fourth < 0))
        return std::nullopt;
    auto digit = [&](std::size_t i) { return static_cast<std::uint32_t>(text[i] - '0'); };
    if (second < 0 && fourth >= 0) {
        std::uint32_t three = digit(0) * 100 + digit(1) * 10 + digit(2);
        return static_cast<std::uint16_t>(kFirstLetterCode + three * kLetterCount +
                                          static_cast<std::uint32_t>(fourth));
    }
    if (second >= 0 && fourth < 0) {
        return static_cast<std::uint16_t>(kSecondLetterCodes + digit(0) * 1900 +
                                          static_cast<std::uint32_t>(second) * 100 +
                                          digit(2) * 10 + digit(3));
    }
    return std::nullopt; // letters in both places are reserved
}

bool IsStockCodeLetter(char16_t c) {
    if (c >= u'\uFF01' && c <= u'\uFF5E')
        c = static_cast<char16_t>(c - 0xFEE0);
    return c < 0x80 && !IsDigit(static_cast<char>(c)) && LetterNumber(static_cast<char>(c)) >= 0;
}

std::optional<std::uint16_t> ParseTypedStockCode(std::u16string_view text) {
    if (text.size() != 4)
        return std::nullopt;
    // Full-width forms lie 0xFEE0 above their ASCII forms; mixing the widths is no code.
    constexpr char16_t kFullWidthOffset = 0xFEE0;
    const bool fullWidth = text[0] >= u'\uFF01' && text[0] <= u'\uFF5E';
    std::string ascii;
    for (char16_t c : text) {
        if (fullWidth) {
            if (c < u'\uFF01' || c > u'\uFF5E')
                return std::nullopt;
            c = static_cast<char16_t>(c - kFullWidthOffset);
        }
        if (c >= 0x80)
            return std::nullopt;
        ascii += static_cast<char>(c);
    }
    for (char c : ascii)
        if (!IsDigit(c) && LetterNumber(c) < 0)
            return std::nullopt;
    return ParseStockCode(ascii);
}

std::optional<std::uint16_t> ParseDeliveredStockCode(std::string_view text) {
    if (text.size() == 5) {
        if (text[4] != '0')
            return std::nullopt;
        text = text.substr(0, 4);
    }
    return ParseStockCode(text);
}

std::string DescribeBadStockCode(std::string_view text) {
    // Only printable ASCII is echoed: other bytes would garble a terminal.
    std::string quoted = "stock code '";
    for (char c : text.substr(0, 32))
        quoted += c >= 0x20 && c < 0x7F ? c : '?';
    quoted += text.size() > 32 ? "...'" : "'";
    if (text.size() == 5 && text[4] != '0' && ParseStockCode(text.substr(0, 4)))
        return quoted + " is not a common stock (suffix '" + std::string(1, text[4]) +
               "'; only '0' is taken)";
    if (text.size() == 4 && IsDigit(text[0]) && IsDigit(text[2]) && LetterNumber(text[1]) >= 0 &&
        LetterNumber(text[3]) >= 0)
        return quoted + " cannot be held (letters in both the second and fourth place)";
    return quoted + " is not a code: four characters, digits or the letters " +
           std::string(kCodeLetters) + " in the second or fourth place";
}

std::uint32_t StockCodeSortKey(std::uint32_t storedCode) {
    if (storedCode >= kEndOfCodes)
        return 0xFFFF0000u + storedCode;
    // Order by the written characters, digits before letters: each place gets a rank of
    // 0..9 for digits and 10..28 for letters.
    std::string written = FormatStockCode(storedCode);
    std::uint32_t key = 0;
    for (char c : written) {
        int letter = LetterNumber(c);
        key = key * 29 + (letter >= 0 ? 10 + static_cast<std::uint32_t>(letter)
                                      : static_cast<std::uint32_t>(c - '0'));
    }
    return key;
}

} // namespace vorn
