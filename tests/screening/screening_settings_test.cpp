#include "screening/screening_settings.h"

#include <cstring>
#include <set>

#include <gtest/gtest.h>

namespace vorn {
namespace {

std::uint64_t ReadLe(const ScreeningImage& image, std::size_t offset, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= static_cast<std::uint64_t>(image[offset + i]) << (8 * i);
    return value;
}

double ReadDouble(const ScreeningImage& image, std::size_t offset) {
    const std::uint64_t bits = ReadLe(image, offset, 8);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

ScreeningRange Range(std::uint8_t flags, double lower, double upper) {
    return ScreeningRange{flags, lower, upper};
}

// Every stored field holds a value that no other field holds, and multi-byte integers use
// every byte, so a field written at a wrong offset or in the wrong byte order shows.
ScreeningSettings DistinctSettings() {
    ScreeningSettings s;
    s.markets = 0x1234;
    s.sectors = 0x0102030405060708ull;
    s.laws = 0x8A5B;
    s.positions = 0x9C;
    s.options = 0x05;
    s.price = Range(0x11, 1.5, 2.5);
    s.marketCap = Range(0x12, 3.5, 4.5);
    s.analysisPeriod = Range(0x13, 5.5, 6.5);
    s.annualReturn = Range(0x14, -7.5, 8.5);
    s.annualRisk = Range(0x15, 9.5, 10.5);
    s.beta = Range(0x16, 11.5, 12.5);
    s.volumeChange = Range(0x17, 13.5, 14.5);
    s.candleShapes = 0x8ABC;
    s.inclinationParameters = {0x0102, 0x08, 0x0304, 0x0506};
    s.inclination = {0x3D, -15.25, 16.25, -17.25, 18.25};
    s.turnoverParameters = {0x0708, 0x090A};
    s.turnoverAverage = Range(0x0D, 19.75, 20.75);
    s.windowsAndShadows.flags = 0x80C3A5F1u;
    s.windowsAndShadows.windowAbove = {21.0, 22.0};
    s.windowsAndShadows.spaceAbove = {23.0, 24.0};
    s.windowsAndShadows.upperShadow = {25.0, 26.0};
    s.windowsAndShadows.body = {27.0, 28.0};
    s.windowsAndShadows.lowerShadow = {29.0, 30.0};
    s.windowsAndShadows.spaceBelow = {31.0, 32.0};
    s.windowsAndShadows.windowBelow = {33.0, 34.0};
    return s;
}

TEST(ScreeningImage, EveryFieldAtItsOffset) {
    const ScreeningImage image = ToImage(DistinctSettings());
    std::set<std::size_t> covered;
    auto expectInt = [&](std::size_t offset, std::size_t size, std::uint64_t value) {
        EXPECT_EQ(ReadLe(image, offset, size), value) << "offset " << offset;
        for (std::size_t i = 0; i < size; ++i)
            covered.insert(offset + i);
    };
    auto expectDouble = [&](std::size_t offset, double value) {
        EXPECT_EQ(ReadDouble(image, offset), value) << "offset " << offset;
        for (std::size_t i = 0; i < 8; ++i)
            covered.insert(offset + i);
    };
    auto expectRange = [&](std::size_t offset, std::uint8_t flags, double lower, double upper) {
        expectInt(offset, 1, flags);
        expectDouble(offset + 8, lower);
        expectDouble(offset + 16, upper);
    };

    expectInt(0, 2, 0x1234);
    expectInt(8, 8, 0x0102030405060708ull);
    expectInt(16, 2, 0x8A5B);
    expectInt(18, 1, 0x9C);
    expectInt(19, 1, 0x05);
    expectRange(24, 0x11, 1.5, 2.5);
    expectRange(48, 0x12, 3.5, 4.5);
    expectRange(72, 0x13, 5.5, 6.5);
    expectRange(96, 0x14, -7.5, 8.5);
    expectRange(120, 0x15, 9.5, 10.5);
    expectRange(144, 0x16, 11.5, 12.5);
    expectRange(168, 0x17, 13.5, 14.5);
    expectInt(192, 2, 0x8ABC);
    expectInt(200, 2, 0x0102);
    expectInt(202, 1, 0x08);
    expectInt(204, 2, 0x0304);
    expectInt(206, 2, 0x0506);
    expectInt(208, 1, 0x3D);
    expectDouble(216, -15.25);
    expectDouble(224, 16.25);
    expectDouble(232, -17.25);
    expectDouble(240, 18.25);
    expectInt(248, 2, 0x0708);
    expectInt(250, 2, 0x090A);
    expectInt(252, 1, 0x0D);
    expectDouble(256, 19.75);
    expectDouble(264, 20.75);
    expectInt(272, 4, 0x80C3A5F1u);
    for (int i = 0; i < 14; ++i)
        expectDouble(280 + 8 * i, 21.0 + i);

    for (std::size_t offset = 0; offset < kScreeningImageSize; ++offset)
        if (!covered.count(offset)) {
            EXPECT_EQ(image[offset], 0) << "reserved byte " << offset;
        }
}

TEST(ScreeningImage, RoundTripKeepsEveryFieldAndLeavesTheSets) {
    const ScreeningSettings original = DistinctSettings();
    ScreeningSettings restored;
    restored.preferred = {MakeSecurityKey(1301, 1)};
    restored.excluded = {MakeSecurityKey(7203, 1), MakeSecurityKey(6758, 1)};
    FromImage(ToImage(original), restored);

    ScreeningSettings expected = original;
    expected.preferred = restored.preferred;
    expected.excluded = restored.excluded;
    EXPECT_EQ(restored, expected);
    EXPECT_EQ(restored.preferred.Size(), 1u);
    EXPECT_EQ(restored.excluded.Size(), 2u);
}

TEST(ScreeningImage, ReservedBytesOfAStoredImageAreIgnored) {
    ScreeningImage image = ToImage(DistinctSettings());
    for (std::size_t offset : {2u, 7u, 20u, 25u, 31u, 194u, 203u, 209u, 253u, 276u})
        image[offset] = 0xEE;
    ScreeningSettings restored;
    FromImage(image, restored);
    EXPECT_EQ(restored, DistinctSettings());
    EXPECT_EQ(ToImage(restored), ToImage(DistinctSettings())) << "written back clean";
}

TEST(ResetScreening, SwitchesConditionsAndKeepsBoundsParametersAndSets) {
    ScreeningSettings s = DistinctSettings();
    s.price.flags = kRangeOn | kRangeLowerSet;
    s.marketCap.flags = kRangeOn | kRangeRankMode;
    s.beta.flags = kRangeOn | kRangeUpperSet;
    s.inclination.flags = 0x3F;
    s.preferred = {MakeSecurityKey(1301, 1)};
    s.excluded = {MakeSecurityKey(9984, 1)};
    const ScreeningSettings before = s;
    ResetScreening(s);

    EXPECT_EQ(s.markets, 0x7FFF);
    EXPECT_EQ(s.sectors, 0x3FFFFFFFFull);
    EXPECT_EQ(s.laws, 0x80FF);
    EXPECT_EQ(s.positions, 0xBF);
    EXPECT_EQ(s.options, 1);
    EXPECT_EQ(s.candleShapes, 0x8FFF);

    EXPECT_EQ(s.price.flags, kRangeLowerSet | kRangeResetMark);
    EXPECT_EQ(s.marketCap.flags, kRangeRankMode | kRangeResetMark);
    EXPECT_EQ(s.analysisPeriod.flags, 0x13 & ~kRangeOn);
    EXPECT_EQ(s.annualReturn.flags, 0x14);
    EXPECT_EQ(s.annualRisk.flags, 0x14);
    EXPECT_EQ(s.beta.flags, kRangeUpperSet);
    EXPECT_EQ(s.volumeChange.flags, 0x16);
    EXPECT_EQ(s.turnoverAverage.flags, 0x0C);
    EXPECT_EQ(s.inclination.flags, 0x3C) << "only the two day tests are switched off";
    EXPECT_EQ(s.windowsAndShadows.flags, 0x00C3A5F1u);

    EXPECT_EQ(s.price.lower, before.price.lower);
    EXPECT_EQ(s.volumeChange.upper, before.volumeChange.upper);
    EXPECT_EQ(s.inclination.previousUpper, before.inclination.previousUpper);
    EXPECT_EQ(s.windowsAndShadows.body, before.windowsAndShadows.body);
    EXPECT_EQ(s.inclinationParameters, before.inclinationParameters);
    EXPECT_EQ(s.turnoverParameters, before.turnoverParameters);
    EXPECT_EQ(s.preferred, before.preferred);
    EXPECT_EQ(s.excluded, before.excluded);
}

TEST(ScreeningDefaults, StartupReplacesOnlyUnusableParameters) {
    ScreeningSettings zero;
    ApplyStartupParameterDefaults(zero);
    EXPECT_EQ(zero.inclinationParameters, (InclinationParameters{60, 16, 80, 10}));
    EXPECT_EQ(zero.turnoverParameters, (TurnoverParameters{3, 15}));

    ScreeningSettings large;
    large.inclinationParameters = {999, kSelectorLow, 1000, 1000};
    large.turnoverParameters = {1, 2};
    ApplyStartupParameterDefaults(large);
    EXPECT_EQ(large.inclinationParameters, (InclinationParameters{999, 8, 80, 10}));
    EXPECT_EQ(large.turnoverParameters, (TurnoverParameters{1, 2}));

    ScreeningSettings kept;
    kept.inclinationParameters = {20, kSelectorOpen, 999, 999};
    ApplyStartupParameterDefaults(kept);
    EXPECT_EQ(kept.inclinationParameters, (InclinationParameters{20, 1, 999, 999}));

    ScreeningSettings unknownSelector;
    unknownSelector.inclinationParameters.priceSelector = 3;
    ApplyStartupParameterDefaults(unknownSelector);
    EXPECT_EQ(unknownSelector.inclinationParameters.priceSelector, 16);
}

TEST(ScreeningDefaults, FirstStartSettings) {
    const ScreeningSettings s = MakeDefaultScreeningSettings();
    EXPECT_EQ(s.markets, 0x7FFF);
    EXPECT_EQ(s.laws, 0x80FF);
    EXPECT_EQ(s.price.flags, kRangeResetMark);
    EXPECT_EQ(s.annualReturn.flags, 0);
    EXPECT_EQ(s.inclinationParameters, (InclinationParameters{60, 16, 80, 10}));
    EXPECT_EQ(s.turnoverParameters, (TurnoverParameters{3, 15}));
    EXPECT_TRUE(s.preferred.Empty());
    EXPECT_TRUE(s.excluded.Empty());
}

} // namespace
} // namespace vorn
