#include "acquisition/intelligence_writer.h"

#include <charconv>
#include <system_error>

#include "contents/file_bytes.h"
#include "foundation/text_encoding.h"
#include "foundation/time_agent.h"
#include "matrix/stock_code.h"

namespace vorn {
namespace {

bool ParseNumber(std::string_view text, std::uint32_t& value, std::uint32_t largest) {
    if (text.empty())
        return false;
    std::uint32_t parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || parsed > largest)
        return false;
    value = parsed;
    return true;
}

// Exactly `digits` decimal digits.
bool ParseDigits(std::string_view text, std::size_t digits, unsigned& value) {
    if (text.size() != digits)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

bool ParseYmd(std::string_view text, unsigned& year, unsigned& month, unsigned& day) {
    return text.size() == 10 && text[4] == '/' && text[7] == '/' &&
           ParseDigits(text.substr(0, 4), 4, year) && ParseDigits(text.substr(5, 2), 2, month) &&
           ParseDigits(text.substr(8, 2), 2, day) && month >= 1 && month <= 12 && day >= 1 &&
           day <= 31;
}

bool ParseExpiry(std::string_view text, PackedDate& value) {
    if (text == "-") {
        value = kOpenEnd;
        return true;
    }
    unsigned year = 0, month = 0, day = 0;
    if (!ParseYmd(text, year, month, day) || year < 1950 || year > 2077)
        return false;
    value = MakePackedDate(year, month, day);
    return true;
}

bool ParseStock(std::string_view text, SecurityKey& key) {
    if (text == "0") {
        key = 0;
        return true;
    }
    const auto colon = text.find(':');
    std::uint32_t market = 0;
    if (colon == std::string_view::npos || !ParseNumber(text.substr(colon + 1), market, 15) ||
        market == 0)
        return false;
    const std::optional<std::uint16_t> code = ParseStockCode(text.substr(0, colon));
    if (!code)
        return false;
    key = MakeSecurityKey(*code, static_cast<std::uint8_t>(market));
    return true;
}

std::string Unescape(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == 'n' || next == 't' || next == '\\') {
                plain.push_back(next == 'n' ? '\n' : next == 't' ? '\t' : '\\');
                ++i;
                continue;
            }
        }
        plain.push_back(text[i]);
    }
    return plain;
}

bool ConvertText(std::string_view utf8, std::string& cp932) {
    cp932 = Utf8ToCp932(Unescape(utf8));
    return cp932.size() < kItemTextCapacity;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

} // namespace

bool ParseFeedDateTime(std::string_view text, PackedDateTime& value) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (text.size() != 16 || text[10] != ' ' || text[13] != ':' ||
        !ParseYmd(text.substr(0, 10), year, month, day) ||
        !ParseDigits(text.substr(11, 2), 2, hour) || !ParseDigits(text.substr(14, 2), 2, minute))
        return false;
    if (year < 1850 || year > 2105 || hour > 23 || minute > 59)
        return false;
    const std::uint8_t weekday =
        TimeAgent().Weekday(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
    value = MakePackedDateTime(year, month, day, hour, minute, weekday > 6 ? 0 : weekday);
    return true;
}

bool ParseIntelligenceList(std::string_view utf8, std::vector<IntelligenceItem>& items,
                           std::string& error) {
    std::vector<IntelligenceItem> parsed;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < utf8.size()) {
        auto end = utf8.find('\n', start);
        if (end == std::string_view::npos)
            end = utf8.size();
        std::string_view line = utf8.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;

        auto fail = [&](const char* what) {
            error = "line " + std::to_string(lineNumber) + ": " + what;
            return false;
        };
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields.size() < 7 || fields.size() > 9)
            return fail("expected 7 to 9 tab-separated fields");
        IntelligenceItem item;
        std::uint32_t number = 0;
        if (!ParseNumber(fields[0], item.id, UINT32_MAX))
            return fail("bad id");
        if (!ParseFeedDateTime(fields[1], item.delivered))
            return fail("bad delivered time (YYYY/MM/DD HH:MM)");
        if (!ParseExpiry(fields[2], item.expiry))
            return fail("bad expiry (YYYY/MM/DD or -)");
        if (!ParseNumber(fields[3], number, kLinkMessage))
            return fail("bad link type (0..3)");
        item.linkType = static_cast<std::uint16_t>(number);
        if (!ParseNumber(fields[4], number, 255))
            return fail("bad flags (0..255)");
        item.flags = static_cast<std::uint8_t>(number);
        if (!ParseStock(fields[5], item.stock))
            return fail("bad stock (CODE:MARKET or 0)");
        if (!ConvertText(fields[6], item.subject) ||
            (fields.size() > 7 && !ConvertText(fields[7], item.link)) ||
            (fields.size() > 8 && !ConvertText(fields[8], item.message)))
            return fail("a text is too long");
        parsed.push_back(std::move(item));
    }
    items = std::move(parsed);
    return true;
}

std::string_view Describe(FeedPublishResult result) {
    switch (result) {
    case FeedPublishResult::Ok:
        return "published";
    case FeedPublishResult::BadOptions:
        return "unusable folder, kind, version or stamp";
    case FeedPublishResult::NoItems:
        return "the list holds no items";
    case FeedPublishResult::TextTooLong:
        return "a text is too long";
    case FeedPublishResult::CannotCreate:
        return "cannot create the output folders";
    case FeedPublishResult::WriteFailed:
        return "writing a file failed";
    }
    return "failed";
}

FeedPublishResult PublishIntelligenceFeed(const std::filesystem::path& root,
                                          const IntelligencePublication& publication,
                                          std::filesystem::path* itemFile) {
    const IntelligenceIndexHeader& header = publication.index;
    if (!IsPlainFeedFolder(publication.directory) || !IsPlainFeedFolder(header.itemDirectory) ||
        !IsPlainItemKind(publication.itemKind) || header.version == 0 || header.stamp == 0)
        return kFeedPublishBadOptions;
    if (publication.items.empty())
        return kFeedPublishNoItems;
    const std::vector<std::uint8_t> itemBytes =
        EncodeIntelligenceItems(publication.items, header.version);
    const std::vector<std::uint8_t> indexBytes = EncodeIntelligenceIndex(header);
    if (itemBytes.empty())
        return kFeedPublishTextTooLong;
    if (indexBytes.empty())
        return kFeedPublishBadOptions;

    std::filesystem::path feedFolder = root;
    if (!publication.directory.empty())
        feedFolder /= publication.directory;
    std::filesystem::path itemFolder = feedFolder;
    if (!header.itemDirectory.empty())
        itemFolder /= header.itemDirectory;
    std::error_code error;
    std::filesystem::create_directories(itemFolder, error);
    if (error || !std::filesystem::is_directory(itemFolder, error))
        return kFeedPublishCannotCreate;

    const std::filesystem::path itemPath =
        itemFolder / FormatItemFileName(header.stamp, publication.itemKind);
    if (!ReplaceFileWith(itemPath.string(), itemBytes) ||
        !ReplaceFileWith((feedFolder / kIntelligenceIndexName).string(), indexBytes))
        return kFeedPublishWriteFailed;
    if (itemFile != nullptr)
        *itemFile = itemPath;
    return kFeedPublishOk;
}

} // namespace vorn
