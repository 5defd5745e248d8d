#include "technical/technical.h"

#include <cmath>

#include "matrix/market_matrix.h"
#include "technical/technical_result.h"

namespace vorn {
namespace {

std::optional<double> TruncatedValue(const TechnicalParameters& parameters, int key, double limit) {
    const auto it = parameters.find(key);
    if (it == parameters.end())
        return std::nullopt;
    const double value = it->second;
    if (std::isnan(value) || value <= 0.0)
        return 0.0;
    return value >= limit ? limit : std::trunc(value);
}

double ScaleOf(std::uint8_t exponent) {
    constexpr double kPowers[] = {1.0,     10.0,     100.0,     1000.0,
                                  10000.0, 100000.0, 1000000.0, 10000000.0};
    return exponent < std::size(kPowers) ? kPowers[exponent] : std::pow(10.0, exponent);
}

} // namespace

void RegisterParameter(ParameterRegistry& registry, int key) {
    switch (key) {
    case kParamAnalysisDate:
        registry[key] = {"分析日付", kParamKindDate};
        break;
    case kParamPeriod:
        registry[key] = {"分析期間", kParamKindDays};
        break;
    case kParamDays:
        registry[key] = {"日数", kParamKindDays};
        break;
    case kParamPriceSelector:
        registry[key] = {"対象株価", kParamKindPriceSelector};
        break;
    case kParamBands:
        registry[key] = {"価格帯分割数", kParamKindCount};
        break;
    case kParamAnalysedBands:
        registry[key] = {"分析価格帯数", kParamKindCount};
        break;
    default:
        break;
    }
}

std::optional<std::uint16_t> ReadParameter(const TechnicalParameters& parameters, int key) {
    const auto value = TruncatedValue(parameters, key, 65535.0);
    if (!value)
        return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

std::optional<std::uint8_t> ReadSelectorParameter(const TechnicalParameters& parameters, int key) {
    const auto value = TruncatedValue(parameters, key, 255.0);
    if (!value)
        return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::optional<std::uint16_t> NewestDayNotAfter(const TechnicalInput& input,
                                               PackedDate analysisDate) {
    if (analysisDate <= input.DateOf(0))
        return std::nullopt;
    std::uint16_t day = static_cast<std::uint16_t>(input.DayCount() - 1);
    // Terminates: day 0 is earlier than the analysis date.
    while (input.DateOf(day) > analysisDate)
        --day;
    return day;
}

std::string_view Describe(TechnicalStatus status) {
    switch (status) {
    case TechnicalStatus::Ok:
        return "computed";
    case TechnicalStatus::WrongResult:
        return "no result of this indicator to fill";
    case TechnicalStatus::NoStore:
        return "no market data";
    case TechnicalStatus::BadSeriesKind:
        return "unknown period kind";
    case TechnicalStatus::FirstDateMissing:
        return "the series has no first day";
    case TechnicalStatus::LastDateMissing:
        return "the series has no last day";
    case TechnicalStatus::DatesReversed:
        return "the series' first day is after its last day";
    case TechnicalStatus::BadAnalysisDate:
        return "the date is not a day of the series";
    case TechnicalStatus::BadPeriod:
        return "the count of values is not usable";
    case TechnicalStatus::BadDays:
        return "the window in days is not usable";
    case TechnicalStatus::NoPriceSelector:
        return "no price chosen";
    case TechnicalStatus::BadEncoding:
        return "the security's stored prices cannot be read";
    case TechnicalStatus::BadBands:
        return "the number of price bands is not usable";
    case TechnicalStatus::BadAnalysedBands:
        return "the number of weighed bands is not usable";
    case TechnicalStatus::NotRegistered:
        return "no such indicator";
    }
    return "unknown indicator status";
}

TechnicalStatus CTechnical::Analyze(const TechnicalParameters& parameters, CTechnicalResult* result,
                                    const SeriesSet* stock, PeriodKind seriesKind) {
    if (result == nullptr || result->GetTypeId() != GetTypeId())
        return kTechnicalWrongResult;
    result->Clear();
    if (store_ == nullptr)
        return kTechnicalNoStore;
    if (!IsPeriodKind(seriesKind))
        return kTechnicalBadSeriesKind;
    const CCalendar& calendar = store_->PeriodCalendar(seriesKind);
    if (stock == nullptr)
        return kTechnicalFirstDateMissing;
    const SeriesView& view = stock->View(seriesKind);
    // An unfilled view has no first day to place.
    if (view.count == 0 || !view.prices || !view.volumes)
        return kTechnicalFirstDateMissing;
    const int first = calendar.PositionOf(view.firstDate);
    if (first < 0)
        return kTechnicalFirstDateMissing;
    int last = calendar.PositionOf(view.lastDate);
    if (last < 0)
        return kTechnicalLastDateMissing;
    if (last < first)
        return kTechnicalDatesReversed;
    // Never read past the elements the view holds, whatever its dates claim.
    if (last - first + 1 > view.count)
        last = first + view.count - 1;

    TechnicalInput input;
    input.view = &view;
    input.priceEncoding = stock->priceEncoding;
    input.scale = ScaleOf(stock->priceExponent);
    input.calendar = &calendar;
    input.firstPosition = static_cast<std::uint16_t>(first);
    input.lastPosition = static_cast<std::uint16_t>(last);
    return Calculate(parameters, *result, input);
}

TechnicalStatus ReadAveragingParameters(const TechnicalParameters& parameters,
                                      AveragingParameters& out) {
    const auto analysisDate = ReadParameter(parameters, kParamAnalysisDate);
    if (!analysisDate || *analysisDate == 0)
        return kTechnicalBadAnalysisDate;
    const auto period = ReadParameter(parameters, kParamPeriod);
    if (!period || *period == 0)
        return kTechnicalBadPeriod;
    const auto days = ReadParameter(parameters, kParamDays);
    if (!days || *days == 0)
        return kTechnicalBadDays;
    out = {*analysisDate, *period, *days};
    return kTechnicalOk;
}

} // namespace vorn
