#include "technical/price_range_volume.h"

#include <algorithm>

namespace vorn {

template <class Price>
bool CBandProfile::Build(const Candle<Price>* candles, const std::uint64_t* volumes,
                         std::uint16_t day, std::uint16_t days, std::uint16_t bands) {
    Clear();
    if (day < days || bands == 0 || days == 0)
        return false;
    const std::uint16_t first = static_cast<std::uint16_t>(day - days + 1);
    double lowest = candles[first].low;
    double highest = candles[first].high;
    for (std::uint32_t d = first + 1u; d <= day; ++d) {
        lowest = std::min<double>(lowest, candles[d].low);
        highest = std::max<double>(highest, candles[d].high);
    }
    const double width = (highest - lowest) / bands;
    upperBounds_.reserve(bands);
    for (std::uint32_t j = 1; j <= bands; ++j) {
        const double bound = lowest + j * width;
        if (upperBounds_.empty() || bound != upperBounds_.back())
            upperBounds_.push_back(bound);
    }
    const std::size_t count = upperBounds_.size();
    volumes_.assign(count, 0);
    // Each day adds its whole volume to a run of consecutive bands: mark where the run starts
    // and ends, then sum once. The differences are kept wide enough that no sum wraps; a band
    // whose volume exceeds what 64 bits hold shows the largest value.
    changes_.assign(count + 1, 0);
    for (std::uint32_t d = first; d <= day; ++d) {
        const std::uint64_t volume = volumes[d];
        if (volume == 0)
            continue;
        const double low = candles[d].low;
        const double high = candles[d].high;
        const auto begin = std::lower_bound(upperBounds_.begin(), upperBounds_.end(), low);
        const auto end = std::upper_bound(begin, upperBounds_.end(), high);
        if (begin >= end)
            continue;
        changes_[static_cast<std::size_t>(begin - upperBounds_.begin())] += volume;
        changes_[static_cast<std::size_t>(end - upperBounds_.begin())] -= volume;
    }
    VolumeDifference running = 0;
    for (std::size_t band = 0; band < count; ++band) {
        running += changes_[band];
        volumes_[band] = running > UINT64_MAX ? UINT64_MAX : static_cast<std::uint64_t>(running);
    }
    return true;
}

template bool CBandProfile::Build<std::uint8_t>(const Candle<std::uint8_t>*, const std::uint64_t*,
                                                std::uint16_t, std::uint16_t, std::uint16_t);
template bool CBandProfile::Build<std::uint16_t>(const Candle<std::uint16_t>*, const std::uint64_t*,
                                                 std::uint16_t, std::uint16_t, std::uint16_t);
template bool CBandProfile::Build<std::uint32_t>(const Candle<std::uint32_t>*, const std::uint64_t*,
                                                 std::uint16_t, std::uint16_t, std::uint16_t);

void CBandProfile::Clear() {
    upperBounds_.clear();
    volumes_.clear();
}

std::ptrdiff_t CBandProfile::BandOf(double price) const {
    const auto at = std::lower_bound(upperBounds_.begin(), upperBounds_.end(), price);
    return at == upperBounds_.end() ? -1 : at - upperBounds_.begin();
}

CPriceRangeVolume::CPriceRangeVolume(ParameterRegistry& registry) {
    for (int key = kParamAnalysisDate; key <= kParamBands; ++key)
        RegisterParameter(registry, key);
}

TechnicalStatus CPriceRangeVolume::SetUpProfile(const TechnicalParameters& parameters,
                                              const TechnicalInput& input,
                                              ProfileRequest& request) const {
    const auto analysisDate = ReadParameter(parameters, kParamAnalysisDate);
    if (!analysisDate || *analysisDate == 0)
        return kTechnicalBadAnalysisDate;
    std::uint16_t day = static_cast<std::uint16_t>(input.DayCount() - 1);
    if (*analysisDate != kNewestDate) {
        while (input.DateOf(day) > *analysisDate && day > 0)
            --day;
        if (input.DateOf(day) != *analysisDate)
            return kTechnicalBadAnalysisDate;
    }
    request.currentDay = day;
    const auto period = ReadParameter(parameters, kParamPeriod);
    if (!period || *period == 0)
        return kTechnicalBadPeriod;
    const auto days = ReadParameter(parameters, kParamDays);
    if (!days || *days == 0)
        return kTechnicalBadDays;
    const auto selector = ReadSelectorParameter(parameters, kParamPriceSelector);
    if (!selector)
        return kTechnicalNoPriceSelector;
    const auto bands = ReadParameter(parameters, kParamBands);
    if (!bands || *bands == 0)
        return kTechnicalBadBands;
    request.period = *period;
    request.days = *days;
    request.selector = *selector;
    request.bands = *bands;
    return kTechnicalOk;
}

} // namespace vorn
