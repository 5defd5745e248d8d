#include "chart/window_regions.h"

#include <algorithm>

namespace vorn {
namespace {

constexpr std::uint8_t kOpensBelowPrice = 1;
constexpr std::uint8_t kOpensAbovePrice = 2;
constexpr std::uint8_t kUpperLowered = 16;
constexpr std::uint8_t kLowerRaised = 32;

// Adds the band between the bounds over the columns [left, right), cut at the price scale.
void AddStrip(const CChartCoordinates& coordinates, int left, int right, std::uint64_t upper,
              std::uint64_t lower, ChartWindowRegion& region) {
    if (right <= left)
        return;
    upper = std::min(upper, coordinates.PriceHigh());
    lower = std::max(lower, coordinates.PriceLow());
    if (upper < lower)
        return; // wholly above or below the scale
    const int top = coordinates.YOfPrice(upper);
    // Equal bounds give one row: the bottom row is part of the strip.
    const int bottom = std::max(coordinates.YOfPrice(lower), top);
    region.strips.push_back({left, top, right, bottom});
}

} // namespace

bool BuildWindowRegion(std::span<const WindowStateRecord> records, int seriesFirstPosition,
                       const ChartLayout& layout, const CChartCoordinates& coordinates,
                       ChartWindowRegion& region) {
    region = ChartWindowRegion{};
    if (!layout.shown || layout.seriesKind != PeriodKind::Daily || layout.days.empty() ||
        records.size() < 2)
        return false;
    const WindowStateRecord& opening = records[0];
    if (opening.state != kOpensBelowPrice && opening.state != kOpensAbovePrice)
        return false;
    const bool below = opening.state == kOpensBelowPrice;
    std::uint64_t upper = below ? records[1].price : opening.price;
    std::uint64_t lower = below ? opening.price : records[1].price;
    if (upper < lower)
        std::swap(upper, lower);

    const int lastDay = static_cast<int>(layout.days.size()) - 1;
    const auto viewDay = [&](std::uint16_t day) {
        return seriesFirstPosition + static_cast<int>(day) - layout.firstShown;
    };
    const int openingDay = viewDay(opening.day);
    if (openingDay > lastDay)
        return false;
    region.identifier = opening.identifier;
    region.kind = opening.state;

    const int firstDay = std::max(openingDay, 0);
    int left = coordinates.BodyLeft(firstDay);
    int endDay = lastDay;
    for (std::size_t i = 2; i < records.size(); ++i) {
        const WindowStateRecord& record = records[i];
        const bool narrows = below ? record.state == kUpperLowered : record.state == kLowerRaised;
        const int dayBefore = viewDay(record.day) - 1;
        if (!narrows) {
            endDay = std::min(dayBefore, lastDay);
            break;
        }
        if (dayBefore > lastDay)
            break; // later changes happen after the view
        if (dayBefore >= firstDay) {
            const int step = coordinates.BodyRight(dayBefore) + 1;
            AddStrip(coordinates, left, step, upper, lower, region);
            left = step;
        }
        (below ? upper : lower) = record.price;
    }
    if (endDay >= firstDay)
        AddStrip(coordinates, left, coordinates.BodyRight(endDay) + 1, upper, lower, region);
    if (region.strips.empty()) {
        region = ChartWindowRegion{};
        return false;
    }
    return true;
}

std::vector<ChartWindowRegion> BuildWindowRegions(const CWindowsPerformer& performer,
                                                  const ChartLayout& layout,
                                                  const CChartCoordinates& coordinates) {
    std::vector<ChartWindowRegion> regions;
    if (performer.FirstPosition() < 0)
        return regions;
    ChartWindowRegion region;
    for (std::size_t id = 0; id < performer.WindowCount(); ++id)
        if (BuildWindowRegion(performer.RecordsOf(static_cast<std::uint16_t>(id)),
                              performer.FirstPosition(), layout, coordinates, region))
            regions.push_back(std::move(region));
    return regions;
}

} // namespace vorn
