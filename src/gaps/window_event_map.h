#pragma once
// The window events of the whole market: one flag byte per security and event day, held
// flat. Keys order the events exactly as an ordered map keyed by EventKey would (one
// security's events contiguous, in day order), but a whole-market pass appends in that
// order and scans them at memory speed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "matrix/market_records.h"

namespace vorn {

// Bits of the event byte.
enum WindowEventFlags : std::uint8_t {
    kUpWindowOpened = 1,
    kDownWindowOpened = 2,
    kUpWindowReached = 4,
    kDownWindowReached = 8,
    kUpWindowReduced = 16,
    kDownWindowReduced = 32,
    kUpWindowFilled = 64,
    kDownWindowFilled = 128,
};
constexpr std::uint8_t kUpSideMask = 0x55;
constexpr std::uint8_t kDownSideMask = 0xAA;

// The largest calendar position an event key can carry (its low 14 bits).
constexpr std::uint16_t kMaxEventDay = 0x3FFF;

struct WindowEvent {
    std::uint16_t day; // position in the daily calendar (the low 14 bits of the EventKey)
    std::uint8_t flags;
};

class CWindowEventMap {
public:
    void Clear();
    // Room for `events` events of `securities` securities without reallocation; false when
    // the memory is not there.
    bool Reserve(std::size_t events, std::size_t securities);
    std::size_t Capacity() const { return capacity_; }

    // Stores the flags of one event (replacing an earlier value under the same key). Events
    // arriving in ascending key order are appended; others are inserted in place. False when
    // the memory for it is not there.
    bool Set(EventKey key, std::uint8_t flags);

    // Writing one security's events in one go: BeginSecurity drops whatever events the
    // security had, the events are appended in ascending day order (each day at most once,
    // days not above kMaxEventDay), EndSecurity files them under the security. Securities
    // begun in ascending key order, as a whole-market pass does, cost no search and no move.
    void BeginSecurity(SecurityKey key);
    bool Append(std::uint16_t day, std::uint8_t flags);
    // Space for up to `count` further events of the security being written, to be filled
    // from the front and confirmed with CommitAppend; null when the memory is not there.
    WindowEvent* AppendSpace(std::size_t count);
    void CommitAppend(std::size_t count) { size_ += count; }
    void EndSecurity();

    // The events of one security in day order (empty when it has none).
    std::span<const WindowEvent> EventsOf(SecurityKey key) const;
    // The flags stored under an event key, 0 when none.
    std::uint8_t FlagsAt(EventKey key) const;
    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    // Number of securities with at least one event.
    std::size_t SecurityCount() const { return securities_.size(); }

    // Visits every event in key order: fn(EventKey, flags).
    template <class Fn> void ForEach(Fn&& fn) const {
        for (const auto& range : securities_)
            for (std::uint32_t i = range.begin; i < range.end; ++i)
                fn(range.key | events_[i].day, events_[i].flags);
    }

private:
    struct SecurityRange {
        SecurityKey key;
        std::uint32_t begin;
        std::uint32_t end;
    };
    std::vector<SecurityRange>::iterator LowerBound(SecurityKey key);
    const SecurityRange* FindRange(SecurityKey key) const;
    // Removes a security's events and its range, closing the gap.
    void Erase(std::vector<SecurityRange>::iterator range);
    bool Grow(std::size_t needed);

    // Grouped by security, each group in day order. A plain buffer rather than a vector so
    // that a pass can write events without initialising the space first.
    std::unique_ptr<WindowEvent[]> events_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::vector<SecurityRange> securities_; // ascending by key, no empty ranges
    // The security being written between BeginSecurity and EndSecurity; its events are the
    // tail of events_ from openBegin_.
    bool open_ = false;
    SecurityKey openKey_ = 0;
    std::uint32_t openBegin_ = 0;
};

// The four window counters of one security.
struct WindowCounts {
    std::uint16_t upOpened = 0;
    std::uint16_t downOpened = 0;
    std::uint16_t upFilled = 0;
    std::uint16_t downFilled = 0;
};

class CWindowCountsMap {
public:
    void Clear() { entries_.clear(); }
    void Reserve(std::size_t securities) { entries_.reserve(securities); }
    // Replaces the counters of a security; ascending keys are appended without a search.
    void Set(SecurityKey key, const WindowCounts& counts);
    const WindowCounts* Find(SecurityKey key) const;
    std::size_t Size() const { return entries_.size(); }
    template <class Fn> void ForEach(Fn&& fn) const {
        for (const auto& e : entries_)
            fn(e.key, e.counts);
    }

private:
    struct Entry {
        SecurityKey key;
        WindowCounts counts;
    };
    std::vector<Entry> entries_; // ascending by key
};

} // namespace vorn
