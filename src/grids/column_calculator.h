#pragma once
// Column widths of a list: every column has a minimum width, and the width left over in the
// window is shared among the columns that have a weight.
#include <cstdint>
#include <map>

namespace vorn {

struct ColumnLayout {
    std::uint16_t minimumWidth = 0; // pixels
    std::uint8_t weight = 0;        // 0 keeps the minimum width; a stretching column has 100
    int width = 0;                  // result of the last Calculate
};

class CColumnCalculator {
public:
    void Clear() { columns_.clear(); }
    void Set(int column, std::uint16_t minimumWidth, std::uint8_t weight);

    // Shares (clientWidth - reservedMargin - sum of minimum widths) among the weighted columns
    // in proportion to their weights; the last weighted column takes what truncation leaves.
    // Without spare width every column keeps its minimum.
    void Calculate(int clientWidth, int reservedMargin);

    // The calculated width, or 0 for a column without a layout.
    int Width(int column) const;
    const std::map<int, ColumnLayout>& Columns() const { return columns_; }
    bool Empty() const { return columns_.empty(); }

private:
    std::map<int, ColumnLayout> columns_; // by column index
};

} // namespace vorn
