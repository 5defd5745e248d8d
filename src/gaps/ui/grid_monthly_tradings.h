#pragma once
// The monthly trading list: one row per monthly holding segment of the stock shown.
#include "gaps/ui/grid_trade_list.h"

namespace vorn {

class CGridMonthlyTradings final : public CGridTradeList {
public:
    explicit CGridMonthlyTradings(QWidget* parent = nullptr);

    // Prices are multiplied by `priceScale`.
    void Load(const SecurityRecord* security, std::span<const MonthlySegment> segments,
              const CCalendar& calendar, std::int64_t priceScale);
};

} // namespace vorn
