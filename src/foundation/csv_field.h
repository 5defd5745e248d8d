#pragma once
// One field of a comma-separated line, quoted when it has to be: a field holding a comma, a
// double quote or a line break is enclosed in double quotes with its quotes doubled, so any
// CSV reader gets the same columns back. cp932 text is safe: no trail byte is one of these.
#include <string>
#include <string_view>

namespace vorn {

inline std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

} // namespace vorn
