#include "contents/settings_files.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <vector>

#include "contents/file_bytes.h"
#include "contents/serializer.h"

namespace vorn {
namespace {

// Keeps the bytes of a file that could not be read completely: the next save replaces it.
void PreserveDamagedCopy(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    ReplaceFileWith(path + ".damaged", bytes);
}

SettingsFileResult ReadSettingsFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    switch (ReadFileBytes(path, kMaxSettingsFileBytes, bytes)) {
    case FileReadResult::Ok:
        return SettingsFileResult::Ok;
    case FileReadResult::TooLarge:
        return SettingsFileResult::TooLarge;
    default:
        return SettingsFileResult::CannotOpen;
    }
}

// {count u16, keys u32 x count}; keys in their stored form. A stored value in neither key
// form names no security and is left out.
bool ReadKeyList(CSerializer& in, std::vector<SecurityKey>& keys) {
    std::uint16_t count = 0;
    if (!in.ReadU16(count) || in.Remaining() / 4 < count)
        return false;
    keys.clear();
    keys.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        std::uint32_t stored = 0;
        if (!in.ReadU32(stored))
            return false;
        if (const std::optional<SecurityKey> key = SecurityKeyOfStored(stored))
            keys.push_back(*key);
    }
    return true;
}

// Lists longer than a 16-bit count cannot be stored; the whole save fails rather than write
// a count that disagrees with the keys.
bool WriteKeyList(CByteWriter& out, const std::vector<SecurityKey>& keys) {
    if (keys.size() > kMaxScreeningListLength)
        return false;
    out.U16(static_cast<std::uint16_t>(keys.size()));
    for (SecurityKey key : keys)
        out.U32(StoredSecurityKey(key));
    return true;
}

bool ReadSavedRecord(CSerializer& in, std::string& name, SavedScreening& record) {
    std::uint32_t length = 0;
    if (!in.ReadU32(length) || length < 1 || length > kMaxScreeningNameLength)
        return false;
    return in.ReadString(name, length) && in.ReadU8(record.flag) && in.ReadU16(record.savedDate) &&
           in.ReadU32(record.savedTime) && ReadKeyList(in, record.preferred) &&
           ReadKeyList(in, record.excluded) && in.ReadBytes(record.settings);
}

SettingsFileResult ParseScreeningFile(CSerializer& in, ScreeningSettings& current,
                                      CSavedScreenings& saved) {
    std::uint32_t magic = 0;
    if (!in.ReadU32(magic) || magic != kScreeningFileMagic)
        return SettingsFileResult::WrongMagic;
    std::vector<SecurityKey> preferred;
    std::vector<SecurityKey> excluded;
    ScreeningImage image{};
    if (!ReadKeyList(in, preferred) || !ReadKeyList(in, excluded) || !in.ReadBytes(image))
        return SettingsFileResult::Damaged;

    current.preferred.Assign(std::move(preferred));
    current.excluded.Assign(std::move(excluded));
    FromImage(image, current);

    std::uint32_t count = 0;
    if (!in.ReadU32(count))
        return SettingsFileResult::DamagedRecords;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name;
        SavedScreening record;
        if (!ReadSavedRecord(in, name, record) || !saved.Insert(std::move(name), std::move(record)))
            return SettingsFileResult::DamagedRecords;
    }
    return SettingsFileResult::Ok;
}

} // namespace

SettingsFileResult LoadScreeningFile(const std::string& path, ScreeningSettings& current,
                                     CSavedScreenings& saved, DamagedCopy damagedCopy) {
    std::vector<std::uint8_t> bytes;
    if (const SettingsFileResult read = ReadSettingsFile(path, bytes);
        read != SettingsFileResult::Ok)
        return read;
    SettingsFileResult result;
    try {
        CSerializer in{std::span<const std::uint8_t>(bytes)};
        result = ParseScreeningFile(in, current, saved);
    } catch (const std::bad_alloc&) {
        result = SettingsFileResult::DamagedRecords;
    }
    if (result != SettingsFileResult::Ok && damagedCopy == DamagedCopy::Keep)
        PreserveDamagedCopy(path, bytes);
    return result;
}

SettingsFileResult SaveScreeningFile(const std::string& path, const ScreeningSettings& current,
                                     const CSavedScreenings& saved) {
    try {
        CByteWriter out;
        out.U32(kScreeningFileMagic);
        if (!WriteKeyList(out, current.preferred.Keys()) ||
            !WriteKeyList(out, current.excluded.Keys()))
            return SettingsFileResult::WriteFailed;
        out.Bytes(ToImage(current));
        out.U32(static_cast<std::uint32_t>(saved.Count()));
        for (const auto& [name, record] : saved.All()) {
            if (!IsValidScreeningName(name))
                return SettingsFileResult::WriteFailed;
            out.U32(static_cast<std::uint32_t>(name.size()));
            out.Bytes(std::span(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()));
            out.U8(record.flag);
            out.U16(record.savedDate);
            out.U32(record.savedTime);
            if (!WriteKeyList(out, record.preferred) || !WriteKeyList(out, record.excluded))
                return SettingsFileResult::WriteFailed;
            out.Bytes(record.settings);
        }
        return ReplaceFileWith(path, out.Data()) ? SettingsFileResult::Ok
                                                 : SettingsFileResult::WriteFailed;
    } catch (const std::bad_alloc&) {
        return SettingsFileResult::WriteFailed;
    }
}

SettingsFileResult LoadScreeningAtStartup(const std::string& path, ScreeningSettings& current,
                                          CSavedScreenings& saved) {
    const SettingsFileResult result = LoadScreeningFile(path, current, saved);
    if (result != SettingsFileResult::Ok && result != SettingsFileResult::DamagedRecords)
        current = MakeDefaultScreeningSettings();
    ApplyStartupParameterDefaults(current);
    return result;
}

SettingsFileResult LoadFavorites(const std::string& path, SecurityKeySet& favorites,
                                 DamagedCopy damagedCopy) {
    std::vector<std::uint8_t> bytes;
    if (const SettingsFileResult read = ReadSettingsFile(path, bytes);
        read != SettingsFileResult::Ok)
        return read;
    CSerializer in{std::span<const std::uint8_t>(bytes)};
    std::uint16_t magic = 0;
    std::uint32_t count = 0;
    SettingsFileResult result = SettingsFileResult::Ok;
    if (!in.ReadU16(magic) || magic != kFavoritesFileMagic) {
        result = SettingsFileResult::WrongMagic;
    } else if (!in.ReadU32(count)) {
        result = SettingsFileResult::Damaged;
    } else if (count == 0) {
        return SettingsFileResult::Empty;
    } else {
        try {
            std::vector<SecurityKey> keys;
            keys.reserve(std::min<std::size_t>(count, in.Remaining() / 4));
            for (std::uint32_t i = 0; i < count; ++i) {
                std::uint32_t stored = 0;
                if (!in.ReadU32(stored)) {
                    result = SettingsFileResult::DamagedRecords;
                    break;
                }
                if (const std::optional<SecurityKey> key = SecurityKeyOfStored(stored))
                    keys.push_back(*key);
                else
                    result = SettingsFileResult::DamagedRecords; // names no security
            }
            favorites.Assign(std::move(keys));
        } catch (const std::bad_alloc&) {
            return SettingsFileResult::TooLarge;
        }
    }
    if (result != SettingsFileResult::Ok && damagedCopy == DamagedCopy::Keep)
        PreserveDamagedCopy(path, bytes);
    return result;
}

SettingsFileResult SaveFavorites(const std::string& path, const SecurityKeySet& favorites) {
    try {
        CByteWriter out;
        out.U16(kFavoritesFileMagic);
        out.U32(static_cast<std::uint32_t>(favorites.Size()));
        for (SecurityKey key : favorites)
            out.U32(StoredSecurityKey(key));
        return ReplaceFileWith(path, out.Data()) ? SettingsFileResult::Ok
                                                 : SettingsFileResult::WriteFailed;
    } catch (const std::bad_alloc&) {
        return SettingsFileResult::WriteFailed;
    }
}

std::string_view Describe(SettingsFileResult result) {
    switch (result) {
    case SettingsFileResult::Ok:
        return "OK";
    case SettingsFileResult::CannotOpen:
        return "cannot open";
    case SettingsFileResult::WrongMagic:
        return "not a settings file";
    case SettingsFileResult::Damaged:
        return "damaged";
    case SettingsFileResult::DamagedRecords:
        return "damaged saved records";
    case SettingsFileResult::Empty:
        return "empty";
    case SettingsFileResult::TooLarge:
        return "too large";
    case SettingsFileResult::WriteFailed:
        return "write failed";
    }
    return "unknown result";
}

} // namespace vorn
