#include "gaps/ui/grid_tradings.h"

namespace vorn {

CGridTradings::CGridTradings(QWidget* parent) : CGridTradeList(TradeListKind::Trading, parent) {}

void CGridTradings::Load(const SecurityRecord* security, std::span<const PositionEntry> positions,
                         const CCalendar& calendar, int firstPosition, std::int64_t priceScale) {
    MutableList().LoadPositions(security, positions, calendar, firstPosition, priceScale);
    ShowRows();
}

} // namespace vorn
