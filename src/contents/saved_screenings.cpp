#include "contents/saved_screenings.h"

#include <chrono>
#include <new>
#include <thread>

#include "foundation/time_agent.h"

namespace vorn {
namespace {

// Saves made in quick succession would otherwise share a millisecond, and the dialog tells
// the records apart by their times.
void StampNow(SavedScreening& record) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    record.savedDate = GetToday(&record.savedTime);
}

bool ListsFit(const ScreeningSettings& current) {
    return current.preferred.Size() <= kMaxScreeningListLength &&
           current.excluded.Size() <= kMaxScreeningListLength;
}

} // namespace

bool CSavedScreenings::Capture(SavedScreening& record, const ScreeningSettings& current) {
    if (!ListsFit(current))
        return false;
    std::vector<SecurityKey> preferred;
    std::vector<SecurityKey> excluded;
    try {
        preferred = current.preferred.Keys();
        excluded = current.excluded.Keys();
    } catch (const std::bad_alloc&) {
        return false;
    }
    StampNow(record);
    record.preferred = std::move(preferred);
    record.excluded = std::move(excluded);
    ToImage(current, record.settings);
    return true;
}

ScreeningSaveResult CSavedScreenings::SaveScreeningAs(const std::string& name,
                                                      const ScreeningSettings& current) {
    if (records_.count(name) != 0)
        return ScreeningSaveResult::NameExists;
    if (!IsValidScreeningName(name))
        return ScreeningSaveResult::Failed;
    SavedScreening record;
    if (!Capture(record, current))
        return ScreeningSaveResult::Failed;
    try {
        records_.emplace(name, std::move(record));
    } catch (const std::bad_alloc&) {
        return ScreeningSaveResult::Failed;
    }
    return ScreeningSaveResult::Ok;
}

ScreeningSaveResult CSavedScreenings::OverwriteScreening(const std::string& name,
                                                         const ScreeningSettings& current) {
    auto it = records_.find(name);
    if (it == records_.end())
        return SaveScreeningAs(name, current);
    if (!ListsFit(current))
        return ScreeningSaveResult::Failed;
    if (!Capture(it->second, current)) {
        // Out of memory while copying: the record must not keep lists from another state.
        it->second.preferred.clear();
        it->second.excluded.clear();
        return ScreeningSaveResult::Failed;
    }
    return ScreeningSaveResult::Ok;
}

ScreeningSaveResult CSavedScreenings::ResaveScreening(const std::string& newTitle,
                                                      const std::string& oldTitle,
                                                      const ScreeningSettings& current) {
    if (!IsValidScreeningName(newTitle))
        return ScreeningSaveResult::Failed;
    if (newTitle != oldTitle && records_.count(newTitle) != 0)
        return ScreeningSaveResult::Failed;
    auto it = records_.find(oldTitle);
    if (it == records_.end())
        return SaveScreeningAs(newTitle, current) == ScreeningSaveResult::Ok
                   ? ScreeningSaveResult::Ok
                   : ScreeningSaveResult::Failed;
    // Everything that may fail happens before the record leaves the map.
    std::string key;
    SavedScreening record;
    try {
        key = newTitle;
        record = it->second;
    } catch (const std::bad_alloc&) {
        return ScreeningSaveResult::Failed;
    }
    if (!Capture(record, current))
        return ScreeningSaveResult::Failed;
    auto node = records_.extract(it);
    node.key() = std::move(key);
    node.mapped() = std::move(record);
    records_.insert(std::move(node));
    return ScreeningSaveResult::Ok;
}

bool CSavedScreenings::DeleteScreening(const std::string& name) {
    return records_.erase(name) != 0;
}

bool CSavedScreenings::ApplyScreening(const std::string& name, ScreeningSettings& current) const {
    const SavedScreening* record = Find(name);
    if (record == nullptr)
        return false;
    SecurityKeySet preferred;
    SecurityKeySet excluded;
    try {
        preferred.Assign(record->preferred);
        excluded.Assign(record->excluded);
    } catch (const std::bad_alloc&) {
        return false;
    }
    FromImage(record->settings, current);
    current.preferred = std::move(preferred);
    current.excluded = std::move(excluded);
    return true;
}

bool CSavedScreenings::Insert(std::string name, SavedScreening record) {
    if (!IsValidScreeningName(name))
        return false;
    return records_.emplace(std::move(name), std::move(record)).second;
}

const SavedScreening* CSavedScreenings::Find(const std::string& name) const {
    auto it = records_.find(name);
    return it == records_.end() ? nullptr : &it->second;
}

} // namespace vorn
