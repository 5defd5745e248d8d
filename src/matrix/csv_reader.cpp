#include "matrix/csv_reader.h"

#include <algorithm>
#include <cstring>

namespace vorn {
namespace {

std::size_t LineOf(std::string_view bytes, std::size_t offset) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset && i < bytes.size(); ++i)
        line += bytes[i] == '\n';
    return line;
}

// Offset of the first byte that does not start or continue a well-formed UTF-8 sequence;
// the size when there is none.
std::size_t FirstInvalidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Runs of ASCII are the common case; test eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ull)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0; // overlong
            else if (lead == 0xED)
                high = 0x9F; // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return i;
        }
        if (i + length > n)
            return i;
        if (p[i + 1] < low || p[i + 1] > high)
            return i;
        for (std::size_t k = 2; k < length; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return i;
        i += length;
    }
    return n;
}

std::size_t FirstInvalidCp932(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
            ++i;
            continue;
        }
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (!lead || i + 1 >= n)
            return i;
        const unsigned char trail = p[i + 1];
        if (trail < 0x40 || trail == 0x7F || trail > 0xFC)
            return i;
        i += 2;
    }
    return n;
}

std::string_view Trim(std::string_view field) {
    std::size_t begin = 0;
    std::size_t end = field.size();
    while (begin < end && field[begin] == ' ')
        ++begin;
    while (end > begin && field[end - 1] == ' ')
        --end;
    return field.substr(begin, end - begin);
}

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    return FirstInvalidUtf8(bytes) == bytes.size();
}

EncodingCheck CheckTextEncoding(std::string_view bytes) {
    EncodingCheck check;
    if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                              (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
        check.badLine = 1;
        check.reason = "UTF-16 text is not supported (save it as UTF-8 or cp932)";
        return check;
    }
    if (const void* nul = std::memchr(bytes.data(), '\0', bytes.size())) {
        check.badLine = LineOf(bytes, static_cast<const char*>(nul) - bytes.data());
        check.reason = "the file holds NUL bytes; it is not text";
        return check;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        const std::string_view rest = bytes.substr(3);
        const std::size_t bad = FirstInvalidUtf8(rest);
        if (bad != rest.size()) {
            check.badLine = LineOf(rest, bad);
            check.reason = "the file starts like UTF-8 but is not valid UTF-8";
            return check;
        }
        check.decodable = true;
        check.bomBytes = 3;
        return check;
    }
    if (FirstInvalidUtf8(bytes) == bytes.size()) {
        check.decodable = true;
        return check;
    }
    const std::size_t bad = FirstInvalidCp932(bytes);
    if (bad != bytes.size()) {
        check.badLine = LineOf(bytes, bad);
        check.reason = "the text is neither UTF-8 nor cp932";
        return check;
    }
    check.decodable = true;
    check.encoding = TextEncoding::Cp932;
    return check;
}

std::string_view FirstLine(std::string_view text) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

char DetectSeparator(std::string_view firstLine) {
    bool quoted = false;
    for (char c : firstLine) {
        if (c == '"')
            quoted = !quoted;
        else if (c == '\t' && !quoted)
            return '\t';
    }
    return ',';
}

std::string_view CCsvReader::SplitQuoted(std::string_view line, std::size_t& at) {
    // `at` is just past the opening quote.
    std::string* unescaped = nullptr;
    const std::size_t start = at;
    std::string_view field;
    for (;;) {
        const std::size_t quote = line.find('"', at);
        if (quote == std::string_view::npos) {
            malformed_ = true;
            field = line.substr(start);
            at = line.size();
            break;
        }
        if (quote + 1 < line.size() && line[quote + 1] == '"') {
            if (unescaped == nullptr)
                unescaped = &unescaped_.emplace_back(line.substr(start, quote - start + 1));
            else
                unescaped->append(line.substr(at, quote - at + 1));
            at = quote + 2;
            continue;
        }
        if (unescaped != nullptr) {
            unescaped->append(line.substr(at, quote - at));
            field = *unescaped;
        } else {
            field = line.substr(start, quote - start);
        }
        at = quote + 1;
        while (at < line.size() && line[at] == ' ')
            ++at;
        if (at < line.size() && line[at] != separator_) {
            malformed_ = true;
            const std::size_t next = line.find(separator_, at);
            at = next == std::string_view::npos ? line.size() : next;
        }
        break;
    }
    return field;
}

bool CCsvReader::Next(std::vector<std::string_view>& fields) {
    fields.clear();
    unescaped_.clear();
    malformed_ = false;
    while (position_ < text_.size()) {
        const std::size_t newline = text_.find('\n', position_);
        const std::size_t end = newline == std::string_view::npos ? text_.size() : newline;
        std::string_view line = text_.substr(position_, end - position_);
        position_ = newline == std::string_view::npos ? text_.size() : newline + 1;
        line_ = nextLine_++;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (Trim(line).empty())
            continue;

        std::size_t at = 0;
        for (;;) {
            while (at < line.size() && line[at] == ' ')
                ++at;
            if (at < line.size() && line[at] == '"') {
                ++at;
                fields.push_back(SplitQuoted(line, at));
            } else {
                const std::size_t next = line.find(separator_, at);
                const std::size_t stop = next == std::string_view::npos ? line.size() : next;
                fields.push_back(Trim(line.substr(at, stop - at)));
                at = stop;
            }
            if (at >= line.size())
                break;
            ++at; // the separator
            if (at == line.size()) {
                fields.emplace_back(); // a trailing separator ends in an empty field
                break;
            }
        }
        // Spreadsheets leave rows of bare separators below the data.
        if (!malformed_ && std::all_of(fields.begin(), fields.end(),
                                       [](std::string_view field) { return field.empty(); })) {
            fields.clear();
            continue;
        }
        return true;
    }
    return false;
}

} // namespace vorn
