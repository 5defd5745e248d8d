#pragma once
// The window events of the whole market: one flag byte per security and event day, held
// flat. Keys order the events exactly as an ordered map keyed by EventKey would (one
// security's events contiguous, in day order), but a whole-market pass appends in that
// order and scans them at memory speed.
#include <cstddef>
#include <cstdint>
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

struct WindowEvent {
    std::uint16_t day; // position in the daily calendar (the low 14 bits of the EventKey)
    std::uint8_t flags;
};

class CWindowEventMap {
public:
    void Clear();
    // Stores the flags of one event (replacing an earlier value under the same key). Events
    // arriving in ascending key order are appended; others are inserted in place.
    void Set(EventKey key, std::uint8_t flags);
    // The events of one security in day order (empty when it has none).
    std::span<const WindowEvent> EventsOf(SecurityKey key) const;
    // The flags stored under an event key, 0 when none.
    std::uint8_t FlagsAt(EventKey key) const;
    std::size_t Size() const { return events_.size(); }
    bool Empty() const { return events_.empty(); }

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
    const SecurityRange* FindRange(SecurityKey key) const;

    std::vector<WindowEvent> events_;     // grouped by security, each group in day order
    std::vector<SecurityRange> securities_; // ascending by key
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
