#pragma once
// The announcement feed's two files: the small index "IntelligenceIndex.rpt2" that names the
// current item file and the poll intervals, and the item file with the announcements
// themselves. Both come from the feed server and are checked field by field.
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/packed_date.h"
#include "matrix/market_records.h"

namespace vorn {

constexpr std::uint16_t kIntelligenceIndexMagic = 5627;     // 0x15FB
constexpr std::uint16_t kIntelligenceItemFileMagic = 53135; // 0xCF8F
inline constexpr char kIntelligenceIndexName[] = "IntelligenceIndex.rpt2";
// Stored texts are shorter than these (counted in bytes).
constexpr std::size_t kItemDirectoryCapacity = 256;
constexpr std::size_t kItemTextCapacity = 4096;
constexpr std::size_t kItemKindCapacity = 8;

// What an item's link leads to.
enum IntelligenceLinkType : std::uint16_t {
    kLinkNone = 0,
    kLinkServerPage = 1,
    kLinkWebAddress = 2, // shown in the location dialog
    kLinkMessage = 3,    // shown in the pop-up window
};
// Flag bit: show the message pop-up at full size rather than at half width and height.
constexpr std::uint8_t kItemFlagFullSizeMessage = 0x08;

struct IntelligenceItem {
    std::uint32_t id = 0;
    PackedDateTime delivered = 0;
    PackedDate expiry = kNoDate; // listed while today is not after it
    std::uint16_t linkType = kLinkNone;
    std::uint8_t flags = 0;
    std::uint16_t reserved = 0; // carried along, never used
    SecurityKey stock = 0;      // 0 = refers to no security
    std::string subject;        // cp932, like the two below
    std::string link;           // server path (type 1) or web address (type 2)
    std::string message;        // comment (type 2) or message text (type 3)

    bool operator==(const IntelligenceItem&) const = default;
};

// The fields of one index file.
struct IntelligenceIndexHeader {
    std::uint8_t version = 0;
    PackedDateTime stamp = 0;             // of the current item file
    std::uint32_t intervalOther = 900000; // ms, poll interval of the other kinds
    std::uint32_t intervalFull = 180000;  // ms, poll interval of the full kind
    std::string itemDirectory;            // below the feed directory; may be empty
};

enum class ItemLoadResult : std::uint8_t {
    Loaded = 0,
    // Wrong magic, version 0 or no records: the items are as they were.
    Rejected = 1,
    // The records before the damage were taken in; nothing that was held is lost.
    Truncated = 2,
};

// Reads an index image. False for a wrong magic, version 0, a short field, an item directory
// of kItemDirectoryCapacity bytes or more or one that is not a plain relative folder;
// `header` is then untouched.
bool DecodeIntelligenceIndex(std::span<const std::uint8_t> bytes, IntelligenceIndexHeader& header);
// Empty when a field cannot be stored.
std::vector<std::uint8_t> EncodeIntelligenceIndex(const IntelligenceIndexHeader& header);
// Empty for no items, version 0 or a text too long to be stored.
std::vector<std::uint8_t> EncodeIntelligenceItems(std::span<const IntelligenceItem> items,
                                                  std::uint8_t version = 1);

// "%04u%02u%02u_%02u%02u_%02u.%s" from the stamp: date, hour and minute, then the stamp's
// low four bits, and the item kind.
std::string FormatItemFileName(PackedDateTime stamp, std::string_view kind);
// "%04u/%02u/%02u %02u:%02u", or "----/--/-- --:--" for 0.
std::string FormatDeliveredTime(PackedDateTime delivered);

// A folder path that stays below the folder it is joined to: segments of letters, digits,
// '-', '_' and '.' separated by single '/', none of them "." or "..". Empty is allowed.
bool IsPlainFeedFolder(std::string_view folder);
// 1..7 letters and digits.
bool IsPlainItemKind(std::string_view kind);

class CIntelligenceIndex {
public:
    using ItemMap = std::map<std::uint32_t, IntelligenceItem>;

    CIntelligenceIndex() = default;
    CIntelligenceIndex(const CIntelligenceIndex&) = delete;
    CIntelligenceIndex& operator=(const CIntelligenceIndex&) = delete;

    // --- Operations in slot order ---
    virtual ~CIntelligenceIndex() = default;
    // Inserts the item, or replaces the one with its id.
    virtual void PutItem(IntelligenceItem item);
    virtual std::uint16_t GetItemFileMagic() const { return kIntelligenceItemFileMagic; }
    virtual const char* GetIndexName() const { return kIntelligenceIndexName; }
    virtual std::uint16_t GetIndexMagic() const { return kIntelligenceIndexMagic; }

    // Takes an item file image in. Items whose id was held before keep their object (and
    // its address); they take the record's fields when its delivered time differs. Of
    // records with one id the first wins. After a complete file the items are exactly the
    // file's; after a truncated one the records read are added to what was held.
    ItemLoadResult LoadItems(std::span<const std::uint8_t> bytes);
    // Takes the fields of a decoded index; the stamp is set apart (SetStamp), once the item
    // file it names has been taken in.
    void ApplyHeader(const IntelligenceIndexHeader& header);
    void SetStamp(PackedDateTime stamp) { stamp_ = stamp; }

    PackedDateTime Stamp() const { return stamp_; }
    std::uint32_t IntervalOther() const { return intervalOther_; }
    std::uint32_t IntervalFull() const { return intervalFull_; }
    const std::string& ItemDirectory() const { return itemDirectory_; }
    const ItemMap& Items() const { return items_; }

    // The rows of the announcement list: items whose expiry is `today` or later, newest
    // delivered first (equal times by id).
    std::vector<IntelligenceItem> ListedItems(PackedDate today) const;

private:
    PackedDateTime stamp_ = 0;
    std::uint32_t intervalOther_ = 900000;
    std::uint32_t intervalFull_ = 180000;
    std::string itemDirectory_;
    ItemMap items_;
};

} // namespace vorn
