#include "gaps/ui/grid_monthly_tradings.h"

namespace vorn {

CGridMonthlyTradings::CGridMonthlyTradings(QWidget* parent)
    : CGridTradeList(TradeListKind::Monthly, parent) {}

void CGridMonthlyTradings::Load(const SecurityRecord* security,
                                std::span<const MonthlySegment> segments, const CCalendar& calendar,
                                std::int64_t priceScale) {
    MutableList().LoadSegments(security, segments, calendar, priceScale);
    ShowRows();
}

} // namespace vorn
