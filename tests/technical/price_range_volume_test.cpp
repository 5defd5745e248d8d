#include "technical/price_range_volume.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vorn {
namespace {

TEST(BandProfile, BandVolumesStopAtTheLargestValueInsteadOfWrapping) {
    constexpr std::uint64_t kLargest = UINT64_MAX;
    // Three days over the same range: the sum of the last two days alone exceeds 64 bits.
    // The profile looks back `days` days before `day`, so the first candle stays out.
    const std::vector<Candle<std::uint16_t>> candles = {
        {100, 110, 90, 100}, {100, 110, 90, 100}, {100, 110, 90, 100}, {100, 110, 90, 100}};
    const std::vector<std::uint64_t> volumes = {1, 7, kLargest, 2};
    CBandProfile profile;
    ASSERT_TRUE(profile.Build(candles.data(), volumes.data(), 3, 3, 4));
    ASSERT_EQ(profile.Count(), 4u);
    for (std::size_t band = 0; band < profile.Count(); ++band)
        EXPECT_EQ(profile.Volume(band), kLargest) << band;

    // Small volumes still add up exactly.
    const std::vector<std::uint64_t> small = {1, 7, 5, 2};
    ASSERT_TRUE(profile.Build(candles.data(), small.data(), 3, 3, 4));
    EXPECT_EQ(profile.Volume(0), 14u);
}

} // namespace
} // namespace vorn
