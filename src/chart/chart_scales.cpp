#include "chart/chart_scales.h"

#include <algorithm>
#include <limits>

#include "matrix/exchange_tick.h"

namespace vorn {
namespace {

constexpr std::uint64_t FloorTo(std::uint64_t value, std::uint64_t unit) {
    return unit == 0 ? value : value / unit * unit;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

// Above this the volume scale counts thousands of shares.
constexpr std::uint64_t kLargestVolumeInShares = 99999999;
// A band this large (in shares) switches the panel to thousands.
constexpr std::uint64_t kBandThousandsFrom = 1000000;
constexpr std::uint64_t kBandMillionsCaptionFrom = 20000000;

} // namespace

constexpr std::uint64_t kLargestTenfold = std::numeric_limits<std::uint64_t>::max() / 10;

std::uint64_t PriceMagnitude(std::uint64_t value) {
    std::uint64_t power = 10;
    while (power <= kLargestTenfold && power * 10 < value)
        power *= 10;
    return power;
}

PriceScale ComputePriceScale(std::uint8_t market, std::uint64_t highest, std::uint64_t lowest) {
    PriceScale scale;
    lowest = std::min(lowest, highest);
    scale.highest = highest;
    scale.lowest = lowest;

    const std::uint64_t highMagnitude = PriceMagnitude(highest);
    const std::uint64_t lowMagnitude = PriceMagnitude(lowest);
    std::uint64_t reference = FloorTo(highest, highMagnitude / 10);
    if (highMagnitude == lowMagnitude) {
        reference = FloorTo(highest, highMagnitude);
        if (FloorTo(lowest, lowMagnitude) >= reference)
            reference = FloorTo(highest, highMagnitude / 10);
    }
    scale.reference = reference;

    std::uint64_t tick = ExchangeTick(market, highest);
    if (reference >= 1000) {
        if (tick < 100)
            tick = 50;
    } else if (reference < 100) {
        if (tick < 5)
            tick = 5;
    } else if (tick < 10) {
        tick = 10;
    }
    scale.tick = tick;

    scale.low = lowest < tick ? 0 : FloorTo(lowest, tick);
    scale.high = highest;
    std::uint64_t step = (highest - scale.low) / 4;
    if (step >= tick)
        step = FloorTo(step, tick);
    // A range narrower than four units would give a zero step and a grid that never ends.
    scale.step = std::max<std::uint64_t>(step, 1);

    // The grid passes through the reference value and stays on the scale.
    std::uint64_t start = reference;
    if (reference >= scale.low)
        start = reference - (reference - scale.low) / scale.step * scale.step;
    else
        start = reference + (scale.low - reference + scale.step - 1) / scale.step * scale.step;
    for (std::uint64_t value = start; value <= scale.high; value += scale.step) {
        scale.grid.push_back(value);
        if (value > std::numeric_limits<std::uint64_t>::max() - scale.step)
            break;
    }
    return scale;
}

std::uint64_t VolumeStep(std::uint64_t highest) {
    if (highest <= 100)
        return 10;
    std::uint64_t step = 100;
    while (step <= kLargestTenfold && step * 10 < highest)
        step *= 10;
    return step > 1000 ? step / 2 : step;
}

void FitVolumeRange(std::uint64_t step, unsigned divisions, std::uint64_t& lowest,
                    std::uint64_t& highest) {
    highest = highest <= step ? step : SaturatingAdd(highest / step * step, step);
    lowest = lowest < step ? 0 : FloorTo(lowest, step);
    const std::uint64_t remainder = ((highest - lowest) / divisions) % step;
    if (remainder == 0)
        return;
    // divisions x (step - remainder) / step, without the product overflowing.
    const std::uint64_t steps =
        (step - remainder) / step * divisions + (step - remainder) % step * divisions / step;
    for (std::uint64_t i = 0; i < steps; ++i) {
        if (i % 2 == 1 && lowest >= step)
            lowest -= step;
        else
            highest = SaturatingAdd(highest, step);
    }
}

VolumeScale ComputeVolumeScale(std::uint64_t highest, std::uint64_t lowest) {
    VolumeScale scale;
    lowest = std::min(lowest, highest);
    if (highest > kLargestVolumeInShares) {
        highest /= 1000;
        lowest /= 1000;
        scale.unit = 3;
    }
    scale.step = VolumeStep(highest);
    FitVolumeRange(scale.step, 3, lowest, highest);
    scale.low = lowest;
    scale.high = highest;
    const std::uint64_t third = (highest - lowest) / 3;
    scale.grid = {lowest, lowest + third, lowest + 2 * third, highest};
    return scale;
}

int PriceBandPanel::BandOf(std::uint64_t price, std::uint64_t scaleLowPrice) const {
    if (price < scaleLowPrice || price > upperBounds.back())
        return -1;
    const auto found = std::lower_bound(upperBounds.begin(), upperBounds.end(), price);
    return static_cast<int>(found - upperBounds.begin());
}

PriceBandPanel ComputePriceBands(std::uint64_t priceLow, std::uint64_t priceHigh,
                                 const PriceBandDay* days, std::size_t count) {
    PriceBandPanel panel;
    priceHigh = std::max(priceHigh, priceLow);
    const std::uint64_t range = priceHigh - priceLow;
    for (std::size_t i = 0; i < kPriceBandCount; ++i) {
        // range x (i + 1) / 80, split so that the product cannot overflow.
        const std::uint64_t n = i + 1;
        panel.upperBounds[i] =
            priceLow + range / kPriceBandCount * n + range % kPriceBandCount * n / kPriceBandCount;
    }
    for (std::size_t d = 0; d < count; ++d) {
        const PriceBandDay& day = days[d];
        if (day.high > priceHigh || day.low < priceLow || day.low > day.high)
            continue;
        const auto first =
            std::lower_bound(panel.upperBounds.begin(), panel.upperBounds.end(), day.low);
        const auto last =
            std::upper_bound(panel.upperBounds.begin(), panel.upperBounds.end(), day.high);
        if (first != last) {
            for (auto it = first; it != last; ++it) {
                auto& volume =
                    panel.volumes[static_cast<std::size_t>(it - panel.upperBounds.begin())];
                volume = SaturatingAdd(volume, day.volume);
            }
        } else if (last != panel.upperBounds.end()) {
            // No bound inside the day's range: the band around it takes the whole volume.
            auto& volume =
                panel.volumes[static_cast<std::size_t>(last - panel.upperBounds.begin())];
            volume = SaturatingAdd(volume, day.volume);
        }
    }
    const std::uint64_t largest = *std::max_element(panel.volumes.begin(), panel.volumes.end());
    if (largest >= kBandThousandsFrom) {
        for (auto& volume : panel.volumes)
            volume = volume / 1000 + (volume % 1000 >= 500 ? 1 : 0);
        panel.unit = kBandUnitThousands;
    }
    std::uint64_t high = *std::max_element(panel.volumes.begin(), panel.volumes.end());
    std::uint64_t low = 0;
    panel.scaleStep = VolumeStep(high);
    FitVolumeRange(panel.scaleStep, 2, low, high);
    panel.scaleLow = low;
    panel.scaleHigh = high;
    panel.millionsCaption =
        panel.unit == kBandUnitThousands && (high - low) >= (kBandMillionsCaptionFrom + 2) / 3;
    return panel;
}

std::uint8_t CandleWidthFor(double dayWidth) {
    const double whole = dayWidth < 0.0 ? 0.0 : dayWidth;
    if (whole >= 35.0)
        return 35;
    const auto pixels = static_cast<unsigned>(whole);
    if (pixels <= 3)
        return 3;
    return static_cast<std::uint8_t>((pixels & ~1u) - 1);
}

} // namespace vorn
