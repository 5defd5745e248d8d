#include "matrix/market_naming.h"

#include "matrix/market_matrix.h"
#include "matrix/name_tables.h"

namespace vorn {
namespace {

struct PresentDayName {
    unsigned market;
    const char* name;
    const char* shortName;
};

// Markets 4..7, 11..15 have no present-day segment and keep their names.
constexpr PresentDayName kPresentDayNames[] = {
    {1, "東証プライム", "東証Ｐ"}, {2, "東証スタンダード", "東証Ｓ"},
    {3, "東証グロース", "東証Ｇ"}, {8, "名証プレミア", "名証Ｐ"},
    {9, "名証メイン", "名証Ｍ"},   {10, "名証ネクスト", "名証Ｎ"},
};

const PresentDayName* FindPresentDayName(unsigned market) {
    for (const PresentDayName& entry : kPresentDayNames)
        if (entry.market == market)
            return &entry;
    return nullptr;
}

} // namespace

const char* MarketNaming::Name(unsigned market) const {
    if (const PresentDayName* entry = presentDay_ ? FindPresentDayName(market) : nullptr)
        return entry->name;
    return MarketName(market);
}

const char* MarketNaming::ShortName(unsigned market) const {
    if (const PresentDayName* entry = presentDay_ ? FindPresentDayName(market) : nullptr)
        return entry->shortName;
    return MarketShortName(market);
}

MarketNaming MarketNamingOf(const CMarketMatrix& matrix) {
    const CCalendar& calendar = matrix.DailyCalendar();
    const unsigned count = calendar.Count();
    const unsigned projected = matrix.ProjectedDays();
    if (count <= projected)
        return MarketNaming{};
    return MarketNaming::ForLastDay(calendar[count - projected - 1]);
}

} // namespace vorn
