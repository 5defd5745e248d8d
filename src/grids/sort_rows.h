#pragma once
// The order in which every list sorts its rows: rows with equal keys keep their previous
// relative order when ascending, and the descending order is exactly the ascending one read
// backwards (so equal keys come out reversed).
#include <algorithm>
#include <vector>

namespace vorn {

template <class Row, class KeyOf>
void SortRowsByKey(std::vector<Row>& rows, KeyOf keyOf, bool ascending) {
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const Row& a, const Row& b) { return keyOf(a) < keyOf(b); });
    if (!ascending)
        std::reverse(rows.begin(), rows.end());
}

} // namespace vorn
