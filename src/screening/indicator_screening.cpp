#include "screening/indicator_screening.h"

#include <algorithm>

#include "matrix/market_matrix.h"
#include "technical/technical_manager.h"
#include "technical/technical_result.h"

namespace vorn {
namespace {

template <class Entry> const Entry* FindEntry(const std::vector<Entry>& entries, SecurityKey key) {
    const auto at = std::lower_bound(entries.begin(), entries.end(), key,
                                     [](const Entry& e, SecurityKey k) { return e.key < k; });
    return at != entries.end() && at->key == key ? &*at : nullptr;
}

bool ExtractDaily(const CMarketMatrix& matrix, const SecurityRecord& security, SeriesSet& series) {
    return matrix.GetPeriodSeries(PeriodKind::Daily, series, &security, security.firstDate,
                                  security.lastDate);
}

} // namespace

CIndicatorScreening::CIndicatorScreening(CTechnicalManager& manager) : manager_(manager) {}

void CIndicatorScreening::SetInclinationKeys(const InclinationParameters& settings) {
    inclinationParameters_[kParamDays] = settings.days;
    inclinationParameters_[kParamPriceSelector] = settings.priceSelector;
    inclinationParameters_[kParamBands] = settings.bands;
    inclinationParameters_[kParamAnalysedBands] = settings.analysedBands;
}

void CIndicatorScreening::PrepareInclinationParameters(const InclinationParameters& settings) {
    manager_.SetDefaults(kTechnicalInclinationIndex, inclinationParameters_);
    inclinationParameters_[kParamPeriod] = 2;
    SetInclinationKeys(settings);
    inclinationComputed_ = false;
}

bool CIndicatorScreening::IsInclinationScreeningCurrent(
    const InclinationParameters& settings) const {
    if (!inclinationComputed_)
        return false;
    const auto holds = [&](int key, double value) {
        const auto it = inclinationParameters_.find(key);
        return it != inclinationParameters_.end() && it->second == value;
    };
    return holds(kParamDays, settings.days) && holds(kParamPriceSelector, settings.priceSelector) &&
           holds(kParamBands, settings.bands) && holds(kParamAnalysedBands, settings.analysedBands);
}

void CIndicatorScreening::RecomputeInclinationScreening(const InclinationParameters& settings) {
    inclinations_.clear();
    if (inclinationParameters_.empty())
        PrepareInclinationParameters(settings);
    SetInclinationKeys(settings);
    inclinationComputed_ = true;
    const CMarketMatrix* matrix = manager_.Store();
    if (matrix == nullptr)
        return;
    SeriesSet series;
    CTechnicalInclinationIndex result;
    for (const auto& [key, security] : matrix->Securities()) {
        if (!ExtractDaily(*matrix, security, series))
            continue;
        if (manager_.Analyze(inclinationParameters_, &result, &series, PeriodKind::Daily) !=
            kTechnicalOk)
            continue;
        const CDatedValues& values = result.Values();
        if (values.Size() >= 2)
            inclinations_.push_back({key, values[0].value, values[1].value});
    }
}

void CIndicatorScreening::RecomputeTurnoverScreening(const TurnoverParameters& settings) {
    turnovers_.clear();
    TechnicalParameters parameters;
    manager_.SetDefaults(kTechnicalTurnoverAverage, parameters);
    parameters[kParamPeriod] = 1;
    if (settings.evaluationDays == 0 || settings.baseDays == 0)
        return;
    const CMarketMatrix* matrix = manager_.Store();
    if (matrix == nullptr)
        return;
    SeriesSet series;
    CTechnicalTurnoverAverage result;
    for (const auto& [key, security] : matrix->Securities()) {
        if (!ExtractDaily(*matrix, security, series))
            continue;
        parameters[kParamDays] = settings.evaluationDays;
        double evaluation = 0.0;
        if (manager_.Analyze(parameters, &result, &series, PeriodKind::Daily) == kTechnicalOk &&
            !result.Values().Empty())
            evaluation = result.Values()[0].value;
        parameters[kParamDays] = settings.baseDays;
        if (manager_.Analyze(parameters, &result, &series, PeriodKind::Daily) != kTechnicalOk ||
            result.Values().Empty())
            continue;
        const double base = result.Values()[0].value;
        if (base > 0.0)
            turnovers_.push_back({key, (evaluation - base) / base * 100.0});
    }
}

const SecurityInclination* CIndicatorScreening::FindInclination(SecurityKey key) const {
    return FindEntry(inclinations_, key);
}

std::optional<double> CIndicatorScreening::CurrentInclination(SecurityKey key) const {
    const SecurityInclination* entry = FindInclination(key);
    return entry ? std::optional<double>(entry->current) : std::nullopt;
}

std::optional<double> CIndicatorScreening::PreviousInclination(SecurityKey key) const {
    const SecurityInclination* entry = FindInclination(key);
    return entry ? std::optional<double>(entry->previous) : std::nullopt;
}

std::optional<double> CIndicatorScreening::TurnoverRatio(SecurityKey key) const {
    const SecurityTurnover* entry = FindEntry(turnovers_, key);
    return entry ? std::optional<double>(entry->ratio) : std::nullopt;
}

} // namespace vorn
