#pragma once
// Reading comma- or tab-separated text as a user's spreadsheet or data source writes it:
// UTF-8 with or without a byte order mark, or cp932; one record per line.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

enum class TextEncoding : std::uint8_t { Utf8, Cp932 };

struct EncodingCheck {
    bool decodable = false;
    TextEncoding encoding = TextEncoding::Utf8;
    std::size_t bomBytes = 0; // bytes of a UTF-8 byte order mark to skip
    std::size_t badLine = 0;  // 1-based line of the first undecodable byte
    const char* reason = "";  // why the text is not decodable
};

// UTF-8 when the whole text is valid UTF-8 (ASCII included), else cp932 when it is valid
// cp932. UTF-16, NUL bytes and text valid in neither are not decodable.
EncodingCheck CheckTextEncoding(std::string_view bytes);

bool IsValidUtf8(std::string_view bytes);

// Splits text into records of fields. A field may be enclosed in double quotes (a quote
// inside doubled); spaces around a field are dropped. Blank lines, and lines of nothing but
// separators, are skipped. The separator and newline bytes never occur inside a cp932 or
// UTF-8 character, so splitting bytes is safe for both.
class CCsvReader {
public:
    CCsvReader(std::string_view text, char separator) : text_(text), separator_(separator) {}

    // The next non-blank line's fields; false at the end. Views stay valid until the next
    // call.
    bool Next(std::vector<std::string_view>& fields);
    // 1-based line number of the record last returned.
    std::size_t Line() const { return line_; }
    // The record last returned had an unclosed quote or text after a closing quote.
    bool Malformed() const { return malformed_; }

private:
    std::string_view SplitQuoted(std::string_view line, std::size_t& at);

    std::string_view text_;
    std::size_t position_ = 0;
    std::size_t nextLine_ = 1;
    std::size_t line_ = 0;
    char separator_;
    bool malformed_ = false;
    std::deque<std::string> unescaped_; // fields that held doubled quotes; deque keeps addresses
};

// Tab when the line holds a tab outside quotes, otherwise comma.
char DetectSeparator(std::string_view firstLine);

// The text up to the first line break.
std::string_view FirstLine(std::string_view text);

} // namespace vorn
