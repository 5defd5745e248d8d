#pragma once
// The user's named screening settings: each remembers the conditions and both stock lists as
// they were at its last save.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/packed_date.h"
#include "screening/screening_settings.h"

namespace vorn {

// Names are stored with a 32-bit length but read back only within these bounds.
constexpr std::size_t kMaxScreeningNameLength = 1023;
// The stored lists carry a 16-bit count.
constexpr std::size_t kMaxScreeningListLength = 0xFFFF;

enum class ScreeningSaveResult : std::uint8_t { Ok = 0, NameExists = 1, Failed = 3 };

struct SavedScreening {
    std::uint8_t flag = 0; // 0 when created; stored and reloaded, not otherwise used
    PackedDate savedDate = 0;
    PackedTime savedTime = 0;
    std::vector<SecurityKey> preferred;
    std::vector<SecurityKey> excluded;
    ScreeningImage settings{};

    friend bool operator==(const SavedScreening&, const SavedScreening&) = default;
};

constexpr bool IsValidScreeningName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxScreeningNameLength;
}

class CSavedScreenings {
public:
    // std::string orders byte-wise (as unsigned bytes), shorter first on a common prefix.
    using Records = std::map<std::string, SavedScreening>;

    // NameExists and nothing changed when the name is taken; Failed for a name outside
    // 1..1023 bytes or lists too long to store.
    ScreeningSaveResult SaveScreeningAs(const std::string& name, const ScreeningSettings& current);
    // Replaces the record's date, time, lists and settings; a missing name is saved as new.
    ScreeningSaveResult OverwriteScreening(const std::string& name,
                                           const ScreeningSettings& current);
    // Renames the record `oldTitle` to `newTitle` and saves the current state into it. A
    // `newTitle` that another record holds fails before anything changes; a missing
    // `oldTitle` saves `newTitle` as new.
    ScreeningSaveResult ResaveScreening(const std::string& newTitle, const std::string& oldTitle,
                                        const ScreeningSettings& current);
    bool DeleteScreening(const std::string& name);
    // Copies the record's settings and both lists into `current`; false when the name is
    // missing. The caller then rebuilds the securities list and records the screening.
    bool ApplyScreening(const std::string& name, ScreeningSettings& current) const;

    // For the settings file: false when the name is invalid or already present.
    bool Insert(std::string name, SavedScreening record);
    const SavedScreening* Find(const std::string& name) const;
    const Records& All() const { return records_; }
    std::size_t Count() const { return records_.size(); }
    void Clear() { records_.clear(); }

private:
    // Stamps the record with the current state. False, with the record unchanged, when the
    // lists cannot be stored.
    static bool Capture(SavedScreening& record, const ScreeningSettings& current);

    Records records_;
};

} // namespace vorn
