#include "technical/inclination_index.h"

#include <algorithm>

#include "technical/technical_result.h"

namespace vorn {
namespace {

template <class Price>
void Inclinations(const TechnicalInput& input, const ProfileRequest& request,
                  std::uint16_t analysedBands, CDatedValues& out) {
    const Candle<Price>* candles = input.Candles<Price>();
    const std::uint64_t* volumes = input.Volumes();
    CBandProfile profile;
    std::uint16_t day = request.currentDay;
    while (profile.Build(candles, volumes, day, request.days, request.bands)) {
        const double price = SelectedPrice(candles[day], request.selector);
        out.Set(input.DateOf(day), InclinationScore(profile, price, analysedBands));
        if (out.Size() >= request.period)
            break;
        --day; // Build succeeded, so day >= days >= 1
    }
}

} // namespace

double InclinationScore(const CBandProfile& profile, double price, std::uint16_t analysedBands) {
    const std::ptrdiff_t band = profile.BandOf(price);
    if (band < 0 || profile.Volume(static_cast<std::size_t>(band)) == 0)
        return 0.0;
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(profile.Count());
    // Past the farther end of the profile every term is zero.
    const std::ptrdiff_t reach =
        std::min<std::ptrdiff_t>(analysedBands - 1, std::max(band, count - 1 - band));
    double weighed = 0.0;
    for (std::ptrdiff_t s = 1; s <= reach; ++s) {
        const double above = band + s < count ? static_cast<double>(profile.Volume(band + s)) : 0.0;
        const double below = band - s >= 0 ? static_cast<double>(profile.Volume(band - s)) : 0.0;
        weighed += static_cast<double>(s - 1) * (above - below);
    }
    const double weightSum = static_cast<double>(analysedBands) * (analysedBands + 1.0) / 2.0;
    const double ratio =
        weighed / weightSum / static_cast<double>(profile.Volume(static_cast<std::size_t>(band)));
    if (ratio >= 1.0)
        return -100.0;
    if (ratio <= -1.0)
        return 100.0;
    // -100 x 0 is a negative zero, which would print as "-0.00".
    return ratio == 0.0 ? 0.0 : -100.0 * ratio;
}

CInclinationIndex::CInclinationIndex(ParameterRegistry& registry) : CPriceRangeVolume(registry) {
    RegisterParameter(registry, kParamAnalysedBands);
}

void CInclinationIndex::SetDefaults(TechnicalParameters& parameters) const {
    parameters.clear();
    parameters[kParamAnalysisDate] = kNewestDate;
    parameters[kParamPeriod] = kAllValues;
    parameters[kParamDays] = kDefaultInclinationDays;
    parameters[kParamPriceSelector] = static_cast<double>(PriceSelector::Close);
    parameters[kParamBands] = kDefaultPriceBands;
    parameters[kParamAnalysedBands] = kDefaultAnalysedBands;
}

TechnicalStatus CInclinationIndex::Calculate(const TechnicalParameters& parameters,
                                           CTechnicalResult& result, const TechnicalInput& input) {
    const auto analysedBands = ReadParameter(parameters, kParamAnalysedBands);
    if (!analysedBands || *analysedBands <= 1)
        return kTechnicalBadAnalysedBands;
    ProfileRequest request;
    if (const TechnicalStatus status = SetUpProfile(parameters, input, request);
        status != kTechnicalOk)
        return status;
    if (input.priceEncoding > kPricesU32)
        return kTechnicalBadEncoding;
    VisitPriceWidth(input.priceEncoding, [&]<class Price>(PriceWidth<Price>) {
        Inclinations<Price>(input, request, *analysedBands, result.Values());
    });
    return kTechnicalOk;
}

} // namespace vorn
