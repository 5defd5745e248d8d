#include "chart/chart_scales.h"

#include <gtest/gtest.h>

#include "matrix/exchange_tick.h"

namespace vorn {
namespace {

constexpr std::uint8_t kExchange = 1;

TEST(ExchangeTick, BandsApplyStrictlyAboveTheirLimit) {
    EXPECT_EQ(ExchangeTick(kExchange, 2000), 1u);
    EXPECT_EQ(ExchangeTick(kExchange, 2001), 5u);
    EXPECT_EQ(ExchangeTick(kExchange, 30001), 50u);
    EXPECT_EQ(ExchangeTick(kExchange, 0), 1u);
    EXPECT_EQ(ExchangeTick(kMarket15, 1000), 1u);
    EXPECT_EQ(ExchangeTick(kMarket15, 2001), 10u); // the other table would give 5
}

TEST(PriceScale, TickFloorRaisesSmallTicksForFourDigitPrices) {
    // 2,000 and 2,001 sit on either side of a tick band, but both scales step in fifties.
    const PriceScale at2000 = ComputePriceScale(kExchange, 2000, 1500);
    const PriceScale at2001 = ComputePriceScale(kExchange, 2001, 1500);
    EXPECT_EQ(at2000.reference, 2000u);
    EXPECT_EQ(at2000.tick, 50u);
    EXPECT_EQ(at2001.tick, 50u);
    EXPECT_EQ(at2001.low, 1500u);
    EXPECT_EQ(at2001.high, 2001u);
    EXPECT_EQ(at2001.step, 100u); // 501 / 4 = 125, down to a multiple of 50

    EXPECT_EQ(ComputePriceScale(kExchange, 90, 60).tick, 5u);
    EXPECT_EQ(ComputePriceScale(kExchange, 500, 300).tick, 10u);
    EXPECT_EQ(ComputePriceScale(kExchange, 60000, 40000).tick, 100u); // not lowered to 50
}

TEST(PriceScale, ReferenceFollowsTheMagnitudes) {
    EXPECT_EQ(PriceMagnitude(100), 10u);
    EXPECT_EQ(PriceMagnitude(1000), 100u);
    // Same magnitude, lowest rounds below highest: the coarse reference.
    EXPECT_EQ(ComputePriceScale(kExchange, 2480, 1320).reference, 2000u);
    // Same magnitude, both round to the same thousand: one digit finer.
    EXPECT_EQ(ComputePriceScale(kExchange, 1480, 1320).reference, 1400u);
    // Different magnitudes: one digit finer.
    EXPECT_EQ(ComputePriceScale(kExchange, 1480, 820).reference, 1400u);
}

TEST(PriceScale, GridPassesThroughReferenceAndStaysOnScale) {
    for (const auto& [high, low] : {std::pair<std::uint64_t, std::uint64_t>{2480, 1320},
                                    {1480, 1320},
                                    {1090, 1060},
                                    {98, 41},
                                    {12345678, 9000000},
                                    {1000, 1000},
                                    {3, 1}}) {
        SCOPED_TRACE(high);
        const PriceScale scale = ComputePriceScale(kExchange, high, low);
        ASSERT_FALSE(scale.grid.empty());
        ASSERT_GE(scale.step, 1u);
        EXPECT_LE(scale.low, low);
        bool throughReference = false;
        for (std::size_t i = 0; i < scale.grid.size(); ++i) {
            EXPECT_GE(scale.grid[i], scale.low);
            EXPECT_LE(scale.grid[i], scale.high);
            if (i > 0) {
                EXPECT_EQ(scale.grid[i] - scale.grid[i - 1], scale.step);
            }
            throughReference |= scale.grid[i] == scale.reference;
        }
        // Through R itself, or on R's lattice when R lies below the scale.
        EXPECT_TRUE(throughReference || (scale.grid[0] - scale.reference) % scale.step == 0);
        EXPECT_LE(scale.grid.size(), 12u);
    }
}

TEST(VolumeScale, StepGrowsByPowersOfTenAndHalvesAboveAThousand) {
    EXPECT_EQ(VolumeStep(100), 10u);
    EXPECT_EQ(VolumeStep(1000), 100u);
    EXPECT_EQ(VolumeStep(5000), 1000u);
    EXPECT_EQ(VolumeStep(10001), 5000u);
}

TEST(VolumeScale, RangeIsWidenedToThreeWholeParts) {
    VolumeScale scale = ComputeVolumeScale(250, 120);
    EXPECT_EQ(scale.unit, 0);
    EXPECT_EQ(scale.step, 100u);
    EXPECT_EQ(scale.low, 100u);
    EXPECT_EQ(scale.high, 400u); // 300 + one step on top
    EXPECT_EQ(scale.grid[1], 200u);

    // A bottom below one step is never lowered; the top takes the step instead.
    scale = ComputeVolumeScale(950, 20);
    EXPECT_EQ(scale.low, 0u);
    EXPECT_EQ(scale.high, 1200u);

    // Top first, then bottom.
    scale = ComputeVolumeScale(950, 320);
    EXPECT_EQ(scale.low, 200u);
    EXPECT_EQ(scale.high, 1100u);

    // A highest that is already a multiple gains one more step.
    EXPECT_GT(ComputeVolumeScale(300, 300).high, 300u);
}

TEST(VolumeScale, LargeVolumesCountThousands) {
    const VolumeScale scale = ComputeVolumeScale(150000000, 20000000);
    EXPECT_EQ(scale.unit, 3);
    EXPECT_EQ(scale.step, 50000u);
    EXPECT_EQ(scale.low, 0u);
    EXPECT_EQ(scale.high, 300000u);
    EXPECT_EQ(ComputeVolumeScale(99999999, 0).unit, 0);
}

TEST(ChartScales, ExtremeValuesStayFinite) {
    constexpr std::uint64_t kHuge = ~0ull;
    EXPECT_FALSE(ComputePriceScale(kExchange, kHuge, kHuge / 3).grid.empty());
    const VolumeScale volume = ComputeVolumeScale(kHuge, 0);
    EXPECT_GT(volume.high, volume.low);
    const PriceBandDay day{kHuge / 2, kHuge / 4, 1};
    const PriceBandPanel panel = ComputePriceBands(0, kHuge / 2, &day, 1);
    EXPECT_EQ(panel.upperBounds[79], kHuge / 2);
    EXPECT_LT(panel.upperBounds[0], panel.upperBounds[1]);
}

TEST(CandleWidth, OddWidthsBetweenThreeAndThirtyFive) {
    EXPECT_EQ(CandleWidthFor(10.7), 9);
    EXPECT_EQ(CandleWidthFor(5.9), 3);
    EXPECT_EQ(CandleWidthFor(0.4), 3);
    EXPECT_EQ(CandleWidthFor(34.9), 33);
    EXPECT_EQ(CandleWidthFor(400.0), 35);
}

TEST(PriceBands, VolumeGoesToTheBandsADaySpans) {
    const PriceBandDay days[] = {
        {1025, 1005, 100}, // spans the bounds 1010 and 1020
        {1018, 1012, 7},   // between two bounds: the band around it
        {1900, 1500, 999}, // above the scale: left out
        {1800, 1800, 1},   // on the top bound
    };
    const PriceBandPanel panel = ComputePriceBands(1000, 1800, days, std::size(days));
    EXPECT_EQ(panel.upperBounds[0], 1010u);
    EXPECT_EQ(panel.upperBounds[79], 1800u);
    EXPECT_EQ(panel.volumes[0], 100u);
    EXPECT_EQ(panel.volumes[1], 107u);
    EXPECT_EQ(panel.volumes[2], 0u);
    EXPECT_EQ(panel.volumes[79], 1u);
    EXPECT_EQ(panel.unit, kBandUnitShares);
    EXPECT_EQ(panel.BandOf(1011, 1000), 1);
    EXPECT_EQ(panel.BandOf(999, 1000), -1);
    EXPECT_EQ(panel.BandOf(1801, 1000), -1);
}

TEST(PriceBands, MillionsOfSharesSwitchUnits) {
    PriceBandDay day{1010, 1001, 1234500};
    PriceBandPanel panel = ComputePriceBands(1000, 1800, &day, 1);
    EXPECT_EQ(panel.unit, kBandUnitThousands);
    EXPECT_EQ(panel.volumes[0], 1235u); // rounded half up
    EXPECT_EQ(panel.DisplayUnit(), kBandUnitThousands);

    day.volume = 9000000000ull;
    panel = ComputePriceBands(1000, 1800, &day, 1);
    EXPECT_EQ(panel.DisplayUnit(), kBandUnitMillions);

    day.volume = ~0ull; // damaged data saturates instead of wrapping
    const PriceBandDay twice[] = {day, day};
    panel = ComputePriceBands(1000, 1800, twice, 2);
    EXPECT_GT(panel.volumes[0], 1000000000000000ull);
}

} // namespace
} // namespace vorn
