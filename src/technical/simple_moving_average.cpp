#include "technical/simple_moving_average.h"

#include "technical/technical_result.h"

namespace vorn {
namespace {

struct AverageRequest {
    std::uint16_t newestDay;
    std::uint16_t period;
    std::uint16_t days;
    std::uint8_t selector;
};

// Values for the newest day back to the oldest day whose window is complete, one window slide
// per value.
template <class Price>
void Average(const TechnicalInput& input, const AverageRequest& request, CDatedValues& out) {
    const Candle<Price>* candles = input.Candles<Price>();
    const std::uint16_t n = request.days;
    std::uint16_t day = request.newestDay;
    double sum = 0.0;
    for (std::uint16_t k = 0; k < n; ++k)
        sum += SelectedPrice(candles[day - k], request.selector);
    while (out.Size() < request.period) {
        out.Set(input.DateOf(day), sum / n * input.scale);
        const std::uint16_t oldest = static_cast<std::uint16_t>(day - n + 1);
        if (oldest == 0)
            break;
        sum += SelectedPrice(candles[oldest - 1], request.selector);
        sum -= SelectedPrice(candles[day], request.selector);
        --day;
    }
}

} // namespace

CSimpleMovingAverage::CSimpleMovingAverage(ParameterRegistry& registry) {
    for (int key = kParamAnalysisDate; key <= kParamPriceSelector; ++key)
        RegisterParameter(registry, key);
}

void CSimpleMovingAverage::SetDefaults(TechnicalParameters& parameters) const {
    parameters.clear();
    parameters[kParamAnalysisDate] = kNewestDate;
    parameters[kParamPeriod] = kAllValues;
    parameters[kParamDays] = 25;
    parameters[kParamPriceSelector] = static_cast<double>(PriceSelector::Close);
}

TechnicalStatus CSimpleMovingAverage::Calculate(const TechnicalParameters& parameters,
                                              CTechnicalResult& result,
                                              const TechnicalInput& input) {
    AveragingParameters averaging;
    if (const TechnicalStatus status = ReadAveragingParameters(parameters, averaging);
        status != kTechnicalOk)
        return status;
    const auto selector = ReadSelectorParameter(parameters, kParamPriceSelector);
    if (!selector)
        return kTechnicalNoPriceSelector;
    if (input.priceEncoding > kPricesU32)
        return kTechnicalBadEncoding;

    const auto newestDay = NewestDayNotAfter(input, averaging.analysisDate);
    // The newest day needs a day before its window (N + 1 days up to it).
    if (!newestDay || averaging.days >= *newestDay + 1u)
        return kTechnicalOk;
    const AverageRequest request{*newestDay, averaging.period, averaging.days, *selector};
    VisitPriceWidth(input.priceEncoding, [&]<class Price>(PriceWidth<Price>) {
        Average<Price>(input, request, result.Values());
    });
    return kTechnicalOk;
}

} // namespace vorn
