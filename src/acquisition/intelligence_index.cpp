#include "acquisition/intelligence_index.h"

#include <algorithm>
#include <cstdio>

#include "contents/file_bytes.h"
#include "contents/serializer.h"

namespace vorn {
namespace {

bool ReadFeedText(CSerializer& reader, std::string& text, std::size_t capacity) {
    std::vector<char> scratch(capacity);
    if (!reader.ReadText(scratch.data(), scratch.size()))
        return false;
    text.assign(scratch.data());
    return true;
}

// The security an item refers to, from its stored key field; a value in neither key form
// refers to no security.
bool ReadItemStock(CSerializer& reader, SecurityKey& stock) {
    std::uint32_t stored = 0;
    if (!reader.ReadU32(stored))
        return false;
    stock = SecurityKeyOfStored(stored).value_or(0);
    return true;
}

// One record, all fields or none.
bool ReadItemRecord(CSerializer& reader, IntelligenceItem& item) {
    return reader.ReadU32(item.id) && reader.ReadU32(item.delivered) &&
           reader.ReadU16(item.expiry) && reader.ReadU16(item.linkType) &&
           reader.ReadU8(item.flags) && reader.ReadU16(item.reserved) &&
           ReadItemStock(reader, item.stock) &&
           ReadFeedText(reader, item.subject, kItemTextCapacity) &&
           ReadFeedText(reader, item.link, kItemTextCapacity) &&
           ReadFeedText(reader, item.message, kItemTextCapacity);
}

bool PutText(CByteWriter& writer, const std::string& text, std::size_t capacity) {
    if (text.size() >= capacity)
        return false;
    writer.U32(static_cast<std::uint32_t>(text.size()));
    writer.Bytes({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    return true;
}

bool IsFolderCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

} // namespace

bool DecodeIntelligenceIndex(std::span<const std::uint8_t> bytes, IntelligenceIndexHeader& header) {
    CSerializer reader(bytes);
    std::uint16_t magic = 0;
    IntelligenceIndexHeader read;
    if (!reader.ReadU16(magic) || magic != kIntelligenceIndexMagic)
        return false;
    if (!reader.ReadU8(read.version) || read.version == 0)
        return false;
    if (!reader.ReadU32(read.stamp) || !reader.ReadU32(read.intervalOther) ||
        !reader.ReadU32(read.intervalFull) ||
        !ReadFeedText(reader, read.itemDirectory, kItemDirectoryCapacity))
        return false;
    if (!IsPlainFeedFolder(read.itemDirectory))
        return false;
    header = std::move(read);
    return true;
}

std::vector<std::uint8_t> EncodeIntelligenceIndex(const IntelligenceIndexHeader& header) {
    if (header.version == 0 || !IsPlainFeedFolder(header.itemDirectory))
        return {};
    CByteWriter writer;
    writer.U16(kIntelligenceIndexMagic);
    writer.U8(header.version);
    writer.U32(header.stamp);
    writer.U32(header.intervalOther);
    writer.U32(header.intervalFull);
    if (!PutText(writer, header.itemDirectory, kItemDirectoryCapacity))
        return {};
    return writer.Data();
}

std::vector<std::uint8_t> EncodeIntelligenceItems(std::span<const IntelligenceItem> items,
                                                  std::uint8_t version) {
    if (items.empty() || version == 0 || items.size() > UINT32_MAX)
        return {};
    CByteWriter writer;
    writer.U16(kIntelligenceItemFileMagic);
    writer.U8(version);
    writer.U32(static_cast<std::uint32_t>(items.size()));
    for (const IntelligenceItem& item : items) {
        writer.U32(item.id);
        writer.U32(item.delivered);
        writer.U16(item.expiry);
        writer.U16(item.linkType);
        writer.U8(item.flags);
        writer.U16(item.reserved);
        writer.U32(StoredSecurityKey(item.stock));
        if (!PutText(writer, item.subject, kItemTextCapacity) ||
            !PutText(writer, item.link, kItemTextCapacity) ||
            !PutText(writer, item.message, kItemTextCapacity))
            return {};
    }
    return writer.Data();
}

std::string FormatItemFileName(PackedDateTime stamp, std::string_view kind) {
    char name[48];
    std::snprintf(name, sizeof name, "%04u%02u%02u_%02u%02u_%02u.", DateTimeYear(stamp),
                  DateTimeMonth(stamp), DateTimeDay(stamp), DateTimeHour(stamp),
                  DateTimeMinute(stamp), static_cast<unsigned>(stamp & 0x0F));
    return std::string(name).append(kind);
}

std::string FormatDeliveredTime(PackedDateTime delivered) {
    if (delivered == 0)
        return "----/--/-- --:--";
    char text[32];
    std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u", DateTimeYear(delivered),
                  DateTimeMonth(delivered), DateTimeDay(delivered), DateTimeHour(delivered),
                  DateTimeMinute(delivered));
    return text;
}

bool IsPlainFeedFolder(std::string_view folder) {
    if (folder.size() >= kItemDirectoryCapacity)
        return false;
    std::size_t start = 0;
    while (start < folder.size()) {
        std::size_t end = folder.find('/', start);
        if (end == std::string_view::npos)
            end = folder.size();
        const std::string_view segment = folder.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..")
            return false;
        if (!std::all_of(segment.begin(), segment.end(), IsFolderCharacter))
            return false;
        if (end == folder.size())
            break;
        start = end + 1;
        if (start == folder.size())
            return false; // a trailing '/'
    }
    return true;
}

bool IsPlainItemKind(std::string_view kind) {
    if (kind.empty() || kind.size() >= kItemKindCapacity)
        return false;
    return std::all_of(kind.begin(), kind.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

void CIntelligenceIndex::PutItem(IntelligenceItem item) {
    const std::uint32_t id = item.id;
    items_.insert_or_assign(id, std::move(item));
}

ItemLoadResult CIntelligenceIndex::LoadItems(std::span<const std::uint8_t> bytes) {
    CSerializer reader(bytes);
    std::uint16_t magic = 0;
    std::uint8_t version = 0;
    std::uint32_t count = 0;
    if (!reader.ReadU16(magic) || magic != GetItemFileMagic() || !reader.ReadU8(version) ||
        version == 0 || !reader.ReadU32(count) || count == 0)
        return ItemLoadResult::Rejected;

    ItemMap setAside;
    setAside.swap(items_);
    bool truncated = false;
    // The count is untrusted: nothing is reserved for it, the records end the loop.
    for (std::uint32_t i = 0; i < count; ++i) {
        IntelligenceItem record;
        if (!ReadItemRecord(reader, record)) {
            truncated = true;
            break;
        }
        auto held = setAside.extract(record.id);
        if (held) {
            if (held.mapped().delivered != record.delivered)
                held.mapped() = std::move(record);
            items_.insert(std::move(held));
        } else {
            const std::uint32_t id = record.id;
            items_.try_emplace(id, std::move(record));
        }
    }
    if (truncated) {
        // What the damaged file could not confirm stays as it was.
        items_.merge(setAside);
        return ItemLoadResult::Truncated;
    }
    return ItemLoadResult::Loaded;
}

void CIntelligenceIndex::ApplyHeader(const IntelligenceIndexHeader& header) {
    intervalOther_ = header.intervalOther;
    intervalFull_ = header.intervalFull;
    itemDirectory_ = header.itemDirectory;
}

std::vector<IntelligenceItem> CIntelligenceIndex::ListedItems(PackedDate today) const {
    std::vector<IntelligenceItem> rows;
    for (const auto& [id, item] : items_)
        if (item.expiry >= today)
            rows.push_back(item);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const IntelligenceItem& a, const IntelligenceItem& b) {
                         return a.delivered > b.delivered;
                     });
    return rows;
}

} // namespace vorn
