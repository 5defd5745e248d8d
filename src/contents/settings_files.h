#pragma once
// The user's own files beside the program: "Vorn.ssd" (the current screening settings and
// the saved ones) and "Favorite.skf" (the favourite securities). Both are read once at
// start-up and written once at exit; the caller gives the paths.
//
// Files are untrusted: every length is checked, a damaged file keeps what was read before the
// damage, and a copy of it is left as "PATH.damaged" so that the save at exit cannot cost the
// user the part that could not be read. Writing replaces a file only with a completely
// written one.
#include <cstdint>
#include <string>
#include <string_view>

#include "contents/saved_screenings.h"
#include "screening/screening_settings.h"
#include "screening/security_key_set.h"

namespace vorn {

constexpr const char* kScreeningFileName = "Vorn.ssd";
constexpr const char* kFavoritesFileName = "Favorite.skf";
constexpr std::uint32_t kScreeningFileMagic = 57775; // 0x0000E1AF
constexpr std::uint16_t kFavoritesFileMagic = 13579; // 0x350B
// Far above anything a user could save; a larger file is not read at all.
constexpr std::size_t kMaxSettingsFileBytes = 64u << 20;

enum class SettingsFileResult : std::uint8_t {
    Ok = 0,
    CannotOpen = 1, // missing or unreadable
    WrongMagic = 2,
    Damaged = 3,        // the leading part is short or invalid: nothing was installed
    DamagedRecords = 4, // the leading part was installed; records before the damage were kept
    Empty = 5,          // favourites: a count of 0
    TooLarge = 6,
    WriteFailed = 7,
};

// The words a user reads for a result.
std::string_view Describe(SettingsFileResult result);

// Whether a load that finds damage leaves the copy "PATH.damaged" (a viewer does not).
enum class DamagedCopy : std::uint8_t { Keep, Skip };

// Installs the stored lists and settings into `current` (lists replaced, settings read whole)
// and inserts the saved records into `saved`. With Damaged or worse nothing of `current` is
// touched; DamagedRecords also covers a name stored twice.
SettingsFileResult LoadScreeningFile(const std::string& path, ScreeningSettings& current,
                                     CSavedScreenings& saved,
                                     DamagedCopy damagedCopy = DamagedCopy::Keep);
SettingsFileResult SaveScreeningFile(const std::string& path, const ScreeningSettings& current,
                                     const CSavedScreenings& saved);

// What start-up does with "Vorn.ssd": a file that could not be read (Ok and DamagedRecords
// aside) leaves the default settings; either way unusable indicator parameters are replaced.
SettingsFileResult LoadScreeningAtStartup(const std::string& path, ScreeningSettings& current,
                                          CSavedScreenings& saved);

// Replaces `favorites` with the stored keys when the file is Ok or DamagedRecords (the keys
// before the damage); otherwise leaves it untouched.
SettingsFileResult LoadFavorites(const std::string& path, SecurityKeySet& favorites,
                                 DamagedCopy damagedCopy = DamagedCopy::Keep);
SettingsFileResult SaveFavorites(const std::string& path, const SecurityKeySet& favorites);

} // namespace vorn
