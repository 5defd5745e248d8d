#pragma once
// The trading list: one row per position the trading laws took on the stock shown.
#include "gaps/ui/grid_trade_list.h"

namespace vorn {

class CGridTradings final : public CGridTradeList {
public:
    explicit CGridTradings(QWidget* parent = nullptr);

    // The positions with their signal days counted from calendar position `firstPosition`;
    // prices are multiplied by `priceScale`.
    void Load(const SecurityRecord* security, std::span<const PositionEntry> positions,
              const CCalendar& calendar, int firstPosition, std::int64_t priceScale);
};

} // namespace vorn
