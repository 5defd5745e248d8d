#pragma once
// The feed server's side: from a plain list of announcements, the item file and the index
// "IntelligenceIndex.rpt2" that a static HTTP server offers to the agents.
//
// The list has one item per line, fields separated by tabs:
//   id, delivered "YYYY/MM/DD HH:MM", expiry "YYYY/MM/DD" ("-" = never expires), link type
//   0..3, flags 0..255, stock "CODE:MARKET" or 0, subject, link, message
// The link and message may be left off. In the three texts "\n", "\t" and "\\" stand for a
// line break, a tab and a backslash. Empty lines and lines starting with '#' are skipped.
// The list is UTF-8; the files hold cp932.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/intelligence_index.h"
#include "foundation/result_code.h"

namespace vorn {

enum class FeedPublishResult : std::uint8_t {
    Ok = 0,
    BadOptions = 1, // folder, item kind, version or stamp unusable
    NoItems = 2,
    TextTooLong = 3, // a text of 4096 bytes or more once in cp932
    CannotCreate = 4,
    WriteFailed = 5,
};

// The short names used throughout the module.
inline constexpr FeedPublishResult kFeedPublishOk = FeedPublishResult::Ok;
inline constexpr FeedPublishResult kFeedPublishBadOptions = FeedPublishResult::BadOptions;
inline constexpr FeedPublishResult kFeedPublishNoItems = FeedPublishResult::NoItems;
inline constexpr FeedPublishResult kFeedPublishTextTooLong = FeedPublishResult::TextTooLong;
inline constexpr FeedPublishResult kFeedPublishCannotCreate = FeedPublishResult::CannotCreate;
inline constexpr FeedPublishResult kFeedPublishWriteFailed = FeedPublishResult::WriteFailed;

// The words a user reads for a result.
std::string_view Describe(FeedPublishResult result);

struct IntelligencePublication {
    // Folder below the output root that the agents' "directory" setting names.
    std::string directory = "vorn";
    std::string itemKind = "yid";
    // Stamp, intervals, item folder (below `directory`) and version of the index.
    IntelligenceIndexHeader index;
    std::vector<IntelligenceItem> items;
};

// "YYYY/MM/DD HH:MM" with the weekday filled in; false when malformed or out of range.
bool ParseFeedDateTime(std::string_view text, PackedDateTime& value);

// Reads the list. On failure `error` names the line and the field, and `items` is untouched.
bool ParseIntelligenceList(std::string_view utf8, std::vector<IntelligenceItem>& items,
                           std::string& error);

// Writes the item file, then the index, each replacing its file only once complete, so an
// agent never reads an index naming an item file that is not there. `itemFile` receives the
// item file's path.
FeedPublishResult PublishIntelligenceFeed(const std::filesystem::path& root,
                                          const IntelligencePublication& publication,
                                          std::filesystem::path* itemFile = nullptr);

} // namespace vorn
