#include "screening/screening_settings.h"

#include <bit>
#include <cstddef>
#include <type_traits>

#include "technical/technical.h"

namespace vorn {
namespace {

// Offsets are template arguments so that every access is checked against the image size when
// it is compiled.
template <std::size_t Offset, class T> void Put(ScreeningImage& image, T value) {
    static_assert(Offset + sizeof(T) <= kScreeningImageSize);
    std::uint64_t bits;
    if constexpr (std::is_same_v<T, double>)
        bits = std::bit_cast<std::uint64_t>(value);
    else
        bits = value;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        image[Offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

template <std::size_t Offset, class T> T Get(const ScreeningImage& image) {
    static_assert(Offset + sizeof(T) <= kScreeningImageSize);
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bits |= static_cast<std::uint64_t>(image[Offset + i]) << (8 * i);
    if constexpr (std::is_same_v<T, double>)
        return std::bit_cast<double>(bits);
    else
        return static_cast<T>(bits);
}

// A range group: flags, 7 reserved bytes, lower, upper.
template <std::size_t Offset> void PutRange(ScreeningImage& image, const ScreeningRange& range) {
    Put<Offset>(image, range.flags);
    Put<Offset + 8>(image, range.lower);
    Put<Offset + 16>(image, range.upper);
}

template <std::size_t Offset> void GetRange(const ScreeningImage& image, ScreeningRange& range) {
    range.flags = Get<Offset, std::uint8_t>(image);
    range.lower = Get<Offset + 8, double>(image);
    range.upper = Get<Offset + 16, double>(image);
}

template <std::size_t Offset> void PutPair(ScreeningImage& image, const BoundPair& pair) {
    Put<Offset>(image, pair.lower);
    Put<Offset + 8>(image, pair.upper);
}

template <std::size_t Offset> void GetPair(const ScreeningImage& image, BoundPair& pair) {
    pair.lower = Get<Offset, double>(image);
    pair.upper = Get<Offset + 8, double>(image);
}

bool IsKnownSelector(std::uint8_t selector) {
    return selector == kSelectorOpen || selector == kSelectorHigh || selector == kSelectorMiddle ||
           selector == kSelectorLow || selector == kSelectorClose;
}

} // namespace

void ToImage(const ScreeningSettings& s, ScreeningImage& image) {
    image.fill(0);
    Put<0>(image, s.markets);
    Put<8>(image, s.sectors);
    Put<16>(image, s.laws);
    Put<18>(image, s.positions);
    Put<19>(image, s.options);
    PutRange<24>(image, s.price);
    PutRange<48>(image, s.marketCap);
    PutRange<72>(image, s.analysisPeriod);
    PutRange<96>(image, s.annualReturn);
    PutRange<120>(image, s.annualRisk);
    PutRange<144>(image, s.beta);
    PutRange<168>(image, s.volumeChange);
    Put<192>(image, s.candleShapes);
    Put<200>(image, s.inclinationParameters.days);
    Put<202>(image, s.inclinationParameters.priceSelector);
    Put<204>(image, s.inclinationParameters.bands);
    Put<206>(image, s.inclinationParameters.analysedBands);
    Put<208>(image, s.inclination.flags);
    Put<216>(image, s.inclination.currentLower);
    Put<224>(image, s.inclination.currentUpper);
    Put<232>(image, s.inclination.previousLower);
    Put<240>(image, s.inclination.previousUpper);
    Put<248>(image, s.turnoverParameters.evaluationDays);
    Put<250>(image, s.turnoverParameters.baseDays);
    Put<252>(image, s.turnoverAverage.flags);
    Put<256>(image, s.turnoverAverage.lower);
    Put<264>(image, s.turnoverAverage.upper);
    const WindowsAndShadows& ws = s.windowsAndShadows;
    Put<272>(image, ws.flags);
    PutPair<280>(image, ws.windowAbove);
    PutPair<296>(image, ws.spaceAbove);
    PutPair<312>(image, ws.upperShadow);
    PutPair<328>(image, ws.body);
    PutPair<344>(image, ws.lowerShadow);
    PutPair<360>(image, ws.spaceBelow);
    PutPair<376>(image, ws.windowBelow);
}

ScreeningImage ToImage(const ScreeningSettings& settings) {
    ScreeningImage image;
    ToImage(settings, image);
    return image;
}

void FromImage(const ScreeningImage& image, ScreeningSettings& s) {
    s.markets = Get<0, std::uint16_t>(image);
    s.sectors = Get<8, std::uint64_t>(image);
    s.laws = Get<16, std::uint16_t>(image);
    s.positions = Get<18, std::uint8_t>(image);
    s.options = Get<19, std::uint8_t>(image);
    GetRange<24>(image, s.price);
    GetRange<48>(image, s.marketCap);
    GetRange<72>(image, s.analysisPeriod);
    GetRange<96>(image, s.annualReturn);
    GetRange<120>(image, s.annualRisk);
    GetRange<144>(image, s.beta);
    GetRange<168>(image, s.volumeChange);
    s.candleShapes = Get<192, std::uint16_t>(image);
    s.inclinationParameters.days = Get<200, std::uint16_t>(image);
    s.inclinationParameters.priceSelector = Get<202, std::uint8_t>(image);
    s.inclinationParameters.bands = Get<204, std::uint16_t>(image);
    s.inclinationParameters.analysedBands = Get<206, std::uint16_t>(image);
    s.inclination.flags = Get<208, std::uint8_t>(image);
    s.inclination.currentLower = Get<216, double>(image);
    s.inclination.currentUpper = Get<224, double>(image);
    s.inclination.previousLower = Get<232, double>(image);
    s.inclination.previousUpper = Get<240, double>(image);
    s.turnoverParameters.evaluationDays = Get<248, std::uint16_t>(image);
    s.turnoverParameters.baseDays = Get<250, std::uint16_t>(image);
    s.turnoverAverage.flags = Get<252, std::uint8_t>(image);
    s.turnoverAverage.lower = Get<256, double>(image);
    s.turnoverAverage.upper = Get<264, double>(image);
    WindowsAndShadows& ws = s.windowsAndShadows;
    ws.flags = Get<272, std::uint32_t>(image);
    GetPair<280>(image, ws.windowAbove);
    GetPair<296>(image, ws.spaceAbove);
    GetPair<312>(image, ws.upperShadow);
    GetPair<328>(image, ws.body);
    GetPair<344>(image, ws.lowerShadow);
    GetPair<360>(image, ws.spaceBelow);
    GetPair<376>(image, ws.windowBelow);
}

void ResetScreening(ScreeningSettings& s) {
    s.markets = kAllMarkets;
    s.sectors = kAllSectors;
    s.laws = kAllLaws;
    s.positions = kAllPositions;
    s.options = kOptionPreferredMarketOnly;
    s.candleShapes = kAllCandleShapes;
    for (ScreeningRange* range : {&s.price, &s.marketCap, &s.analysisPeriod})
        range->flags = static_cast<std::uint8_t>((range->flags & ~kRangeOn) | kRangeResetMark);
    for (ScreeningRange* range :
         {&s.annualReturn, &s.annualRisk, &s.beta, &s.volumeChange, &s.turnoverAverage})
        range->flags &= static_cast<std::uint8_t>(~kRangeOn);
    s.inclination.flags &=
        static_cast<std::uint8_t>(~(kInclinationCurrentOn | kInclinationPreviousOn));
    s.windowsAndShadows.flags &= ~kWsOn;
}

void ApplyStartupParameterDefaults(ScreeningSettings& s) {
    InclinationParameters& inclination = s.inclinationParameters;
    if (inclination.days == 0)
        inclination.days = kDefaultInclinationDays;
    // A selector the indicator does not know would pick no price at all.
    if (!IsKnownSelector(inclination.priceSelector))
        inclination.priceSelector = kSelectorClose;
    if (inclination.bands == 0 || inclination.bands >= kBandCountLimit)
        inclination.bands = kDefaultPriceBands;
    if (inclination.analysedBands == 0 || inclination.analysedBands >= kBandCountLimit)
        inclination.analysedBands = kDefaultAnalysedBands;
    if (s.turnoverParameters.evaluationDays == 0)
        s.turnoverParameters.evaluationDays = kDefaultTurnoverEvaluationDays;
    if (s.turnoverParameters.baseDays == 0)
        s.turnoverParameters.baseDays = kDefaultTurnoverBaseDays;
}

ScreeningSettings MakeDefaultScreeningSettings() {
    ScreeningSettings settings;
    ResetScreening(settings);
    ApplyStartupParameterDefaults(settings);
    return settings;
}

} // namespace vorn
