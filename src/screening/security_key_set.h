#pragma once
// An ordered set of security keys held in one sorted vector: the screening's preferred and
// excluded lists and the favourites are small, copied whole into the history and the settings
// files, and looked up for every security of the market on each screening pass.
#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

#include "matrix/market_records.h"

namespace vorn {

class SecurityKeySet {
public:
    using const_iterator = std::vector<SecurityKey>::const_iterator;

    SecurityKeySet() = default;
    SecurityKeySet(std::initializer_list<SecurityKey> keys) {
        for (SecurityKey key : keys)
            Insert(key);
    }

    // Takes keys in any order, duplicates allowed.
    void Assign(std::vector<SecurityKey> keys) {
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        keys_ = std::move(keys);
    }
    // True when the key was not yet held.
    bool Insert(SecurityKey key) {
        auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
        if (it != keys_.end() && *it == key)
            return false;
        keys_.insert(it, key);
        return true;
    }
    // True when the key was held.
    bool Erase(SecurityKey key) {
        auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
        if (it == keys_.end() || *it != key)
            return false;
        keys_.erase(it);
        return true;
    }
    bool Contains(SecurityKey key) const {
        return std::binary_search(keys_.begin(), keys_.end(), key);
    }
    void Clear() { keys_.clear(); }
    bool Empty() const { return keys_.empty(); }
    std::size_t Size() const { return keys_.size(); }

    const_iterator begin() const { return keys_.begin(); }
    const_iterator end() const { return keys_.end(); }
    // Ascending and free of duplicates.
    const std::vector<SecurityKey>& Keys() const { return keys_; }

    friend bool operator==(const SecurityKeySet&, const SecurityKeySet&) = default;

private:
    std::vector<SecurityKey> keys_; // ascending, unique
};

} // namespace vorn
