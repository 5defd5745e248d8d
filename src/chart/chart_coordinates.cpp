#include "chart/chart_coordinates.h"

#include <algorithm>
#include <cmath>

namespace vorn {
namespace {

// Rows far outside the window still have to fit an int; a value off the scale by orders of
// magnitude must not make the conversion undefined.
constexpr double kRowLimit = 1.0e9;

int RowOf(std::uint64_t value, std::uint64_t low, std::uint64_t high, int top, int bottom) {
    if (high <= low)
        return top + (bottom - top) / 2; // a flat scale: one line across the middle
    const double share =
        (static_cast<double>(value) - static_cast<double>(low)) / static_cast<double>(high - low);
    const double y = static_cast<double>(bottom) - share * static_cast<double>(bottom - top);
    return static_cast<int>(std::clamp(y, -kRowLimit, kRowLimit));
}

std::uint64_t ValueAtRow(int y, std::uint64_t low, std::uint64_t high, int top, int bottom) {
    if (high <= low || bottom <= top)
        return low;
    const double share =
        std::clamp(static_cast<double>(bottom - y) / static_cast<double>(bottom - top), 0.0, 1.0);
    return low + static_cast<std::uint64_t>(std::llround(share * static_cast<double>(high - low)));
}

} // namespace

void CChartCoordinates::SetDays(double dayWidth, std::uint8_t candleWidth,
                                std::vector<PackedDate> dates) {
    dayWidth_ = dayWidth;
    candleWidth_ = candleWidth;
    candleHalfWidth_ = static_cast<std::uint8_t>(candleWidth / 2 + 1);
    dates_ = std::move(dates);
}

void CChartCoordinates::SetPriceScale(std::uint64_t low, std::uint64_t high) {
    priceLow_ = low;
    priceHigh_ = high;
}

void CChartCoordinates::SetVolumeScale(std::uint64_t low, std::uint64_t high, std::uint8_t unit) {
    volumeLow_ = low;
    volumeHigh_ = high;
    volumeUnit_ = unit;
}

int CChartCoordinates::SlotLeft(int day) const {
    return panes_.plot.left + static_cast<int>(static_cast<double>(day) * dayWidth_);
}

int CChartCoordinates::DayAtX(int x) const {
    if (x < panes_.plot.left || dayWidth_ <= 0.0 || slotCount_ <= 0)
        return -1;
    // The estimate can be one off where the truncated slot edges disagree with the division.
    int day = static_cast<int>(static_cast<double>(x - panes_.plot.left) / dayWidth_);
    day = std::min(day, slotCount_);
    while (day > 0 && SlotLeft(day) > x)
        --day;
    while (day < slotCount_ && SlotLeft(day + 1) <= x)
        ++day;
    return day < slotCount_ ? day : -1;
}

int CChartCoordinates::BodyAtX(int x) const {
    if (x < panes_.plot.left || dayWidth_ <= 0.0 || slotCount_ <= 0)
        return -1;
    int day = DayAtX(x);
    if (day < 0)
        day = slotCount_ - 1; // right of the slots a wide last body may still reach
    for (; day >= 0 && BodyRight(day) >= x; --day)
        if (BodyLeft(day) <= x)
            return day;
    return -1;
}

std::optional<int> CChartCoordinates::XOfDate(PackedDate date) const {
    const auto found = std::lower_bound(dates_.begin(), dates_.end(), date);
    if (found == dates_.end() || *found != date)
        return std::nullopt;
    return XOfDay(static_cast<int>(found - dates_.begin()));
}

PackedDate CChartCoordinates::DateAtX(int x) const {
    const int day = DayAtX(x);
    if (day < 0 || static_cast<std::size_t>(day) >= dates_.size())
        return kNoDate;
    return dates_[static_cast<std::size_t>(day)];
}

int CChartCoordinates::YOfPrice(std::uint64_t value) const {
    return RowOf(value, priceLow_, priceHigh_, panes_.pricePane.top, panes_.pricePane.bottom);
}

std::uint64_t CChartCoordinates::PriceAtY(int y) const {
    return ValueAtRow(y, priceLow_, priceHigh_, panes_.pricePane.top, panes_.pricePane.bottom);
}

int CChartCoordinates::YOfVolume(std::uint64_t shares) const {
    const std::uint64_t value = volumeUnit_ == kVolumeUnitThousands ? shares / 1000 : shares;
    return RowOf(value, volumeLow_, volumeHigh_, panes_.volumePane.top, panes_.volumePane.bottom);
}

std::uint64_t CChartCoordinates::VolumeAtY(int y) const {
    return ValueAtRow(y, volumeLow_, volumeHigh_, panes_.volumePane.top, panes_.volumePane.bottom);
}

} // namespace vorn
