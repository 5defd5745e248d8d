#pragma once
// A sorted, duplicate-free array of keys ending in an all-ones terminator, searched by
// binary search with a linear tail. Pointers into it double as calendar positions.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace vorn {

enum class SearchMode : std::uint8_t { Exact = 0, LowerBound = 1, UpperBound = 2 };

template <class Key> class CHistoricalManager {
public:
    static constexpr Key kTerminator = std::numeric_limits<Key>::max();
    static constexpr std::uint16_t kMaxKeys = 0xFFFE;

    CHistoricalManager() = default;
    CHistoricalManager(const CHistoricalManager& other) { Assign(other); }
    CHistoricalManager& operator=(const CHistoricalManager& other) {
        if (this != &other)
            Assign(other);
        return *this;
    }
    virtual ~CHistoricalManager() { Clear(); }

    // Recursive form of the search over the half-open index range [low, high).
    virtual const Key* SearchRange(Key key, std::uint16_t low, std::uint16_t high,
                                   SearchMode mode) const {
        if (high - low >= kLinearBelow) {
            const std::uint16_t mid = static_cast<std::uint16_t>(low + (high - low) / 2);
            if (items_[mid] == key)
                return Hit(mid, mode);
            if (key > items_[mid])
                return SearchRange(key, static_cast<std::uint16_t>(mid + 1), high, mode);
            return SearchRange(key, low, mid, mode);
        }
        return LinearTail(key, low, high, mode);
    }

    // Iterative form working on the search members set up by Find.
    virtual const Key* SearchStep() {
        while (searchHigh_ - searchLow_ >= kLinearBelow) {
            const std::uint16_t mid =
                static_cast<std::uint16_t>(searchLow_ + (searchHigh_ - searchLow_) / 2);
            if (items_[mid] == searchKey_)
                return Hit(mid, searchMode_);
            if (searchKey_ > items_[mid])
                searchLow_ = static_cast<std::uint16_t>(mid + 1);
            else
                searchHigh_ = mid;
        }
        return LinearTail(searchKey_, searchLow_, searchHigh_, searchMode_);
    }

    // Null when empty; the end pointer when the key lies beyond the last key (any mode) or,
    // for an exact search, is absent.
    virtual const Key* Find(Key key, SearchMode mode, bool iterative = false) {
        if (items_ == nullptr || count_ == 0)
            return nullptr;
        if (key > items_[count_ - 1])
            return End();
        if (key < items_[0])
            return mode == SearchMode::Exact ? End() : items_;
        const std::uint16_t mid = static_cast<std::uint16_t>(count_ / 2);
        if (items_[mid] == key)
            return Hit(mid, mode);
        std::uint16_t low = 0;
        std::uint16_t high = count_;
        if (key > items_[mid])
            low = static_cast<std::uint16_t>(mid + 1);
        else
            high = mid;
        if (!iterative)
            return SearchRange(key, low, high, mode);
        searchKey_ = key;
        searchLow_ = low;
        searchHigh_ = high;
        searchMode_ = mode;
        return SearchStep();
    }

    // A const lookup that leaves the search members alone (same results as Find).
    const Key* Lookup(Key key, SearchMode mode) const {
        if (items_ == nullptr || count_ == 0)
            return nullptr;
        if (key > items_[count_ - 1])
            return End();
        if (key < items_[0])
            return mode == SearchMode::Exact ? End() : items_;
        return SearchRange(key, 0, count_, mode);
    }

    // Position of an exact key, or -1.
    int PositionOf(Key key) const {
        const Key* p = Lookup(key, SearchMode::Exact);
        return (p == nullptr || p == End()) ? -1 : static_cast<int>(p - items_);
    }

    // Adds a key in order; an existing key or a full manager changes nothing.
    void Insert(Key key) {
        if (count_ >= kMaxKeys)
            return;
        if (count_ > 0 && key > items_[count_ - 1] && capacity_ > count_ + 1u) {
            // Appending in order reuses spare room.
            items_[count_] = key;
            items_[++count_] = kTerminator;
            return;
        }
        const Key* found = Lookup(key, SearchMode::LowerBound);
        if (found != nullptr && found != End() && *found == key)
            return;
        const std::uint16_t at = found == nullptr ? 0 : static_cast<std::uint16_t>(found - items_);
        const std::uint32_t allocated = GrowthFor(count_ + 2u);
        std::unique_ptr<Key[]> grown(new (std::nothrow) Key[allocated]);
        if (!grown)
            return;
        if (at > 0)
            std::memcpy(grown.get(), items_, at * sizeof(Key));
        grown[at] = key;
        if (count_ > at)
            std::memcpy(grown.get() + at + 1, items_ + at, (count_ - at) * sizeof(Key));
        grown[count_ + 1] = kTerminator;
        delete[] items_;
        items_ = grown.release();
        ++count_;
        capacity_ = static_cast<std::uint16_t>(std::min<std::uint32_t>(allocated, 0xFFFF));
    }

    void Assign(const CHistoricalManager& other) {
        if (&other == this)
            return; // clearing first would lose the keys being copied
        Clear();
        if (other.capacity_ == 0 || other.items_ == nullptr)
            return;
        Key* copy = new (std::nothrow) Key[other.capacity_];
        if (copy == nullptr)
            return;
        std::memcpy(copy, other.items_, other.capacity_ * sizeof(Key));
        items_ = copy;
        count_ = other.count_;
        capacity_ = other.capacity_;
    }

    // Drops keys from the end (never below zero) and rewrites the terminator.
    void Truncate(std::uint16_t newCount) {
        if (newCount >= count_)
            return;
        count_ = newCount;
        items_[count_] = kTerminator;
    }

    void Clear() {
        delete[] items_;
        items_ = nullptr;
        count_ = 0;
        capacity_ = 0;
    }

    const Key* First() const { return count_ ? items_ : nullptr; }
    const Key* Last() const { return count_ ? items_ + count_ - 1 : nullptr; }
    const Key* End() const { return count_ ? items_ + count_ : nullptr; }
    std::uint16_t Count() const { return count_; }
    std::uint16_t Capacity() const { return capacity_; }
    const Key* Data() const { return items_; }
    Key operator[](std::size_t position) const { return items_[position]; }
    bool Empty() const { return count_ == 0; }

private:
    static constexpr int kLinearBelow = 10;

    // Calendars grow one day at a time; keep a little room so appends are cheap.
    static std::uint32_t GrowthFor(std::uint32_t needed) {
        return std::min<std::uint32_t>(needed + needed / 8, kMaxKeys + 1u);
    }

    const Key* Hit(std::uint16_t index, SearchMode mode) const {
        return mode == SearchMode::UpperBound ? items_ + index + 1 : items_ + index;
    }

    const Key* LinearTail(Key key, std::uint16_t low, std::uint16_t high, SearchMode mode) const {
        switch (mode) {
        case SearchMode::Exact:
            for (std::uint16_t i = low; i < high; ++i)
                if (items_[i] == key)
                    return items_ + i;
            return End();
        case SearchMode::LowerBound:
            for (std::uint16_t i = low; i < high; ++i)
                if (!(items_[i] < key))
                    return items_ + i;
            return items_ + high;
        case SearchMode::UpperBound:
            for (std::uint16_t i = low; i < high; ++i)
                if (items_[i] > key)
                    return items_ + i;
            return items_ + high;
        }
        return End();
    }

    Key* items_ = nullptr;
    std::uint16_t count_ = 0;
    std::uint16_t capacity_ = 0;
    Key searchKey_ = 0;
    std::uint16_t searchLow_ = 0;
    std::uint16_t searchHigh_ = 0;
    SearchMode searchMode_ = SearchMode::Exact;
};

using CCalendar = CHistoricalManager<unsigned short>;

} // namespace vorn
