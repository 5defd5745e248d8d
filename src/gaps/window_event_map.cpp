#include "gaps/window_event_map.h"

#include <algorithm>

namespace vorn {

void CWindowEventMap::Clear() {
    events_.clear();
    securities_.clear();
}

const CWindowEventMap::SecurityRange* CWindowEventMap::FindRange(SecurityKey key) const {
    auto it = std::lower_bound(securities_.begin(), securities_.end(), key,
                               [](const SecurityRange& r, SecurityKey k) { return r.key < k; });
    return (it != securities_.end() && it->key == key) ? &*it : nullptr;
}

void CWindowEventMap::Set(EventKey key, std::uint8_t flags) {
    const SecurityKey security = key & ~0x3FFFu;
    const auto day = static_cast<std::uint16_t>(key & 0x3FFF);
    if (securities_.empty() || securities_.back().key < security) {
        const auto at = static_cast<std::uint32_t>(events_.size());
        securities_.push_back({security, at, at});
    }
    SecurityRange* range = const_cast<SecurityRange*>(FindRange(security));
    if (range == nullptr) {
        // A security between existing ones: open an empty range at its place.
        auto it = std::lower_bound(
            securities_.begin(), securities_.end(), security,
            [](const SecurityRange& r, SecurityKey k) { return r.key < k; });
        const std::uint32_t at = it->begin;
        range = &*securities_.insert(it, {security, at, at});
    }
    if ((range->end == range->begin || events_[range->end - 1].day < day) &&
        range == &securities_.back() && range->end == events_.size()) {
        events_.push_back({day, flags});
        ++range->end;
        return;
    }
    auto first = events_.begin() + range->begin;
    auto last = events_.begin() + range->end;
    auto pos = std::lower_bound(first, last, day,
                                [](const WindowEvent& e, std::uint16_t d) { return e.day < d; });
    if (pos != last && pos->day == day) {
        pos->flags = flags;
        return;
    }
    events_.insert(pos, {day, flags});
    ++range->end;
    for (auto* r = range + 1; r != securities_.data() + securities_.size(); ++r) {
        ++r->begin;
        ++r->end;
    }
}

std::span<const WindowEvent> CWindowEventMap::EventsOf(SecurityKey key) const {
    const SecurityRange* range = FindRange(key & ~0x3FFFu);
    if (range == nullptr)
        return {};
    return {events_.data() + range->begin, range->end - range->begin};
}

std::uint8_t CWindowEventMap::FlagsAt(EventKey key) const {
    const auto events = EventsOf(key);
    const auto day = static_cast<std::uint16_t>(key & 0x3FFF);
    auto pos = std::lower_bound(events.begin(), events.end(), day,
                                [](const WindowEvent& e, std::uint16_t d) { return e.day < d; });
    return (pos != events.end() && pos->day == day) ? pos->flags : 0;
}

void CWindowCountsMap::Set(SecurityKey key, const WindowCounts& counts) {
    if (entries_.empty() || entries_.back().key < key) {
        entries_.push_back({key, counts});
        return;
    }
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const Entry& e, SecurityKey k) { return e.key < k; });
    if (it != entries_.end() && it->key == key)
        it->counts = counts;
    else
        entries_.insert(it, {key, counts});
}

const WindowCounts* CWindowCountsMap::Find(SecurityKey key) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const Entry& e, SecurityKey k) { return e.key < k; });
    return (it != entries_.end() && it->key == key) ? &it->counts : nullptr;
}

} // namespace vorn
