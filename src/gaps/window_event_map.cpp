#include "gaps/window_event_map.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vorn {
namespace {

constexpr SecurityKey SecurityOf(EventKey key) {
    return key & ~static_cast<EventKey>(kMaxEventDay);
}

} // namespace

void CWindowEventMap::Clear() {
    size_ = 0;
    securities_.clear();
    open_ = false;
}

bool CWindowEventMap::Grow(std::size_t needed) {
    if (needed <= capacity_)
        return true;
    const std::size_t capacity = std::max(needed, capacity_ + capacity_ / 2);
    std::unique_ptr<WindowEvent[]> grown(new (std::nothrow) WindowEvent[capacity]);
    if (!grown)
        return false;
    if (size_ > 0)
        std::memcpy(grown.get(), events_.get(), size_ * sizeof(WindowEvent));
    events_ = std::move(grown);
    capacity_ = capacity;
    return true;
}

bool CWindowEventMap::Reserve(std::size_t events, std::size_t securities) {
    securities_.reserve(securities);
    return Grow(events);
}

std::vector<CWindowEventMap::SecurityRange>::iterator CWindowEventMap::LowerBound(SecurityKey key) {
    return std::lower_bound(securities_.begin(), securities_.end(), key,
                            [](const SecurityRange& r, SecurityKey k) { return r.key < k; });
}

const CWindowEventMap::SecurityRange* CWindowEventMap::FindRange(SecurityKey key) const {
    auto it = std::lower_bound(securities_.begin(), securities_.end(), key,
                               [](const SecurityRange& r, SecurityKey k) { return r.key < k; });
    return (it != securities_.end() && it->key == key) ? &*it : nullptr;
}

void CWindowEventMap::Erase(std::vector<SecurityRange>::iterator range) {
    const std::uint32_t removed = range->end - range->begin;
    std::memmove(events_.get() + range->begin, events_.get() + range->end,
                 (size_ - range->end) * sizeof(WindowEvent));
    size_ -= removed;
    for (auto it = range + 1; it != securities_.end(); ++it) {
        it->begin -= removed;
        it->end -= removed;
    }
    securities_.erase(range);
}

void CWindowEventMap::BeginSecurity(SecurityKey key) {
    if (open_)
        EndSecurity();
    key = SecurityOf(key);
    if (!securities_.empty() && securities_.back().key >= key) {
        auto it = LowerBound(key);
        if (it != securities_.end() && it->key == key)
            Erase(it);
    }
    open_ = true;
    openKey_ = key;
    openBegin_ = static_cast<std::uint32_t>(size_);
}

WindowEvent* CWindowEventMap::AppendSpace(std::size_t count) {
    if (!open_ || !Grow(size_ + count))
        return nullptr;
    return events_.get() + size_;
}

bool CWindowEventMap::Append(std::uint16_t day, std::uint8_t flags) {
    WindowEvent* space = AppendSpace(1);
    if (space == nullptr)
        return false;
    *space = {day, flags};
    ++size_;
    return true;
}

void CWindowEventMap::EndSecurity() {
    if (!open_)
        return;
    open_ = false;
    const auto end = static_cast<std::uint32_t>(size_);
    const std::uint32_t added = end - openBegin_;
    if (added == 0)
        return;
    if (securities_.empty() || securities_.back().key < openKey_) {
        securities_.push_back({openKey_, openBegin_, end});
        return;
    }
    // A security below the last one filed: move its events from the tail to their place.
    auto it = LowerBound(openKey_);
    const std::uint32_t at = it->begin;
    std::rotate(events_.get() + at, events_.get() + openBegin_, events_.get() + end);
    for (auto later = it; later != securities_.end(); ++later) {
        later->begin += added;
        later->end += added;
    }
    securities_.insert(it, {openKey_, at, at + added});
}

bool CWindowEventMap::Set(EventKey key, std::uint8_t flags) {
    if (open_)
        EndSecurity();
    const SecurityKey security = SecurityOf(key);
    const auto day = static_cast<std::uint16_t>(key & kMaxEventDay);
    if (securities_.empty() || securities_.back().key < security) {
        if (!Grow(size_ + 1))
            return false;
        const auto at = static_cast<std::uint32_t>(size_);
        events_[size_++] = {day, flags};
        securities_.push_back({security, at, at + 1});
        return true;
    }
    auto range = LowerBound(security);
    std::uint32_t at = range->begin;
    const bool known = range->key == security;
    if (known) {
        WindowEvent* first = events_.get() + range->begin;
        WindowEvent* last = events_.get() + range->end;
        WindowEvent* pos = std::lower_bound(
            first, last, day, [](const WindowEvent& e, std::uint16_t d) { return e.day < d; });
        if (pos != last && pos->day == day) {
            pos->flags = flags;
            return true;
        }
        at = static_cast<std::uint32_t>(pos - events_.get());
    }
    if (!Grow(size_ + 1))
        return false;
    std::memmove(events_.get() + at + 1, events_.get() + at, (size_ - at) * sizeof(WindowEvent));
    events_[at] = {day, flags};
    ++size_;
    if (known) {
        ++range->end;
        ++range;
    } else {
        range = securities_.insert(range, {security, at, at});
        ++range->end;
        ++range;
    }
    for (; range != securities_.end(); ++range) {
        ++range->begin;
        ++range->end;
    }
    return true;
}

std::span<const WindowEvent> CWindowEventMap::EventsOf(SecurityKey key) const {
    const SecurityRange* range = FindRange(SecurityOf(key));
    if (range == nullptr)
        return {};
    return {events_.get() + range->begin, range->end - range->begin};
}

std::uint8_t CWindowEventMap::FlagsAt(EventKey key) const {
    const auto events = EventsOf(key);
    const auto day = static_cast<std::uint16_t>(key & kMaxEventDay);
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
