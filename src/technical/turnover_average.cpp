#include "technical/turnover_average.h"

#include "technical/technical_result.h"

namespace vorn {
namespace {

struct TurnoverRequest {
    std::uint16_t newestDay;
    std::uint16_t period;
    std::uint16_t days;
};

template <class Price>
void TurnoverAverage(const TechnicalInput& input, const TurnoverRequest& request,
                     CDatedValues& out) {
    const Candle<Price>* candles = input.Candles<Price>();
    const std::uint64_t* volumes = input.Volumes();
    const auto turnover = [&](std::uint16_t day) {
        return DailyTurnover(candles[day].close, volumes[day]);
    };
    const std::uint16_t n = request.days;
    std::uint16_t day = request.newestDay;
    double sum = 0.0;
    for (std::uint16_t k = 0; k < n; ++k)
        sum += turnover(static_cast<std::uint16_t>(day - k));
    while (out.Size() < request.period) {
        out.Set(input.DateOf(day), sum / n);
        const std::uint16_t oldest = static_cast<std::uint16_t>(day - n + 1);
        if (oldest == 0)
            break;
        sum += turnover(static_cast<std::uint16_t>(oldest - 1));
        sum -= turnover(day);
        --day;
    }
}

} // namespace

double DailyTurnover(std::uint64_t close, std::uint64_t volume) {
    std::uint64_t product = 0;
    // A wrapped product would be a plausible-looking wrong value; beyond 64 bits the double
    // product is the nearest thing.
    if (__builtin_mul_overflow(close, volume, &product))
        return static_cast<double>(close) * static_cast<double>(volume) / 1000.0;
    return static_cast<double>(product) / 1000.0;
}

CTurnoverAverage::CTurnoverAverage(ParameterRegistry& registry) {
    for (int key = kParamAnalysisDate; key <= kParamDays; ++key)
        RegisterParameter(registry, key);
}

void CTurnoverAverage::SetDefaults(TechnicalParameters& parameters) const {
    parameters.clear();
    parameters[kParamAnalysisDate] = kNewestDate;
    parameters[kParamPeriod] = kAllValues;
    parameters[kParamDays] = kDefaultTurnoverDays;
}

TechnicalStatus CTurnoverAverage::Calculate(const TechnicalParameters& parameters,
                                          CTechnicalResult& result, const TechnicalInput& input) {
    AveragingParameters averaging;
    if (const TechnicalStatus status = ReadAveragingParameters(parameters, averaging);
        status != kTechnicalOk)
        return status;
    if (input.priceEncoding > kPricesU32)
        return kTechnicalBadEncoding;

    const auto newestDay = NewestDayNotAfter(input, averaging.analysisDate);
    if (!newestDay || averaging.days >= *newestDay + 1u)
        return kTechnicalOk;
    const TurnoverRequest request{*newestDay, averaging.period, averaging.days};
    VisitPriceWidth(input.priceEncoding, [&]<class Price>(PriceWidth<Price>) {
        TurnoverAverage<Price>(input, request, result.Values());
    });
    return kTechnicalOk;
}

} // namespace vorn
