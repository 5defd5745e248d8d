#include "grids/column_calculator.h"

namespace vorn {

void CColumnCalculator::Set(int column, std::uint16_t minimumWidth, std::uint8_t weight) {
    columns_[column] = ColumnLayout{minimumWidth, weight, minimumWidth};
}

void CColumnCalculator::Calculate(int clientWidth, int reservedMargin) {
    std::int64_t spare = std::int64_t{clientWidth} - reservedMargin;
    std::int64_t totalWeight = 0;
    const ColumnLayout* lastWeighted = nullptr;
    for (auto& [column, layout] : columns_) {
        layout.width = layout.minimumWidth;
        spare -= layout.minimumWidth;
        totalWeight += layout.weight;
        if (layout.weight != 0)
            lastWeighted = &layout;
    }
    if (spare <= 0 || totalWeight == 0)
        return;
    std::int64_t left = spare;
    for (auto& [column, layout] : columns_) {
        if (layout.weight == 0)
            continue;
        const std::int64_t share =
            &layout == lastWeighted ? left : spare * layout.weight / totalWeight;
        layout.width += static_cast<int>(share);
        left -= share;
    }
}

int CColumnCalculator::Width(int column) const {
    auto it = columns_.find(column);
    return it != columns_.end() ? it->second.width : 0;
}

} // namespace vorn
