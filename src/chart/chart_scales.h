#pragma once
// The chart's value scales, computed from the days on show: the price scale with its grid,
// the volume scale, and the price-band volume panel beside the chart.
#include <array>
#include <cstdint>
#include <vector>

namespace vorn {

struct PriceScale {
    std::uint64_t highest = 0;       // highest high of the shown days, x 10^k
    std::uint64_t lowest = 0;        // lowest low of the shown days, x 10^k
    std::uint64_t reference = 0;     // R: a round value the grid passes through
    std::uint64_t tick = 0;          // exchange tick for the highest value, raised to its floor
    std::uint64_t low = 0;           // scale bottom: lowest rounded down to the tick
    std::uint64_t high = 0;          // scale top: the highest value itself
    std::uint64_t step = 0;          // distance between grid values
    std::vector<std::uint64_t> grid; // ascending, each within [low, high]
};

// Price values are in yen x 10^k; `market` picks the tick table.
PriceScale ComputePriceScale(std::uint8_t market, std::uint64_t highest, std::uint64_t lowest);
// The largest power of ten strictly below `value`; 10 for values of 100 or less.
std::uint64_t PriceMagnitude(std::uint64_t value);

struct VolumeScale {
    std::uint8_t unit = 0;               // 0 shares, 3 thousands of shares ("千株")
    std::uint64_t step = 0;              // v, in the unit
    std::uint64_t low = 0;               // in the unit
    std::uint64_t high = 0;              // in the unit
    std::array<std::uint64_t, 4> grid{}; // low, a third, two thirds, high
};

// From the highest and lowest volume of the shown days, in shares.
VolumeScale ComputeVolumeScale(std::uint64_t highest, std::uint64_t lowest);
// Step v for a highest value already in the unit.
std::uint64_t VolumeStep(std::uint64_t highest);
// Rounds [lowest, highest] outwards to multiples of `step` and widens it until the range
// splits into `divisions` parts of whole steps where it can.
void FitVolumeRange(std::uint64_t step, unsigned divisions, std::uint64_t& lowest,
                    std::uint64_t& highest);

constexpr std::size_t kPriceBandCount = 80;
// Display unit codes of the panel: shares, thousands, millions.
constexpr std::uint8_t kBandUnitShares = 0;
constexpr std::uint8_t kBandUnitThousands = 3;
constexpr std::uint8_t kBandUnitMillions = 6;

struct PriceBandDay {
    std::uint64_t high; // x 10^k
    std::uint64_t low;  // x 10^k
    std::uint64_t volume;
};

struct PriceBandPanel {
    std::array<std::uint64_t, kPriceBandCount> upperBounds{}; // price x 10^k, ascending
    std::array<std::uint64_t, kPriceBandCount> volumes{};     // in `unit`
    std::uint8_t unit = kBandUnitShares;                      // 0 or 3: what `volumes` hold
    std::uint64_t scaleLow = 0;                               // horizontal scale, in `unit`
    std::uint64_t scaleHigh = 0;
    std::uint64_t scaleStep = 0;
    bool millionsCaption = false; // the scale is captioned "百万株"

    // What the cursor report and the caption show: kBandUnitMillions when captioned so.
    std::uint8_t DisplayUnit() const { return millionsCaption ? kBandUnitMillions : unit; }
    // The band holding a price, or -1 outside the scale.
    int BandOf(std::uint64_t price, std::uint64_t scaleLowPrice) const;
};

PriceBandPanel ComputePriceBands(std::uint64_t priceLow, std::uint64_t priceHigh,
                                 const PriceBandDay* days, std::size_t count);

// Odd body width for a slot width: 3 to 35 pixels.
std::uint8_t CandleWidthFor(double dayWidth);

} // namespace vorn
