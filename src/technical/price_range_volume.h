#pragma once
// The base of the indicators that weigh volume by price band: the volume profile of the last
// N days over B equal bands between the window's lowest low and highest high.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "technical/technical.h"

namespace vorn {

// Bands ascending by upper bound, each with the volume of every day whose range [low, high]
// holds that bound. Held as two flat arrays; equal bounds collapse into one band.
class CBandProfile {
public:
    // The profile of days day-days+1 .. day. False, with no bands, when there is no day before
    // the window (day < days) or `bands` is 0.
    template <class Price>
    bool Build(const Candle<Price>* candles, const std::uint64_t* volumes, std::uint16_t day,
               std::uint16_t days, std::uint16_t bands);
    void Clear();

    std::size_t Count() const { return upperBounds_.size(); }
    double UpperBound(std::size_t band) const { return upperBounds_[band]; }
    std::uint64_t Volume(std::size_t band) const { return volumes_[band]; }
    // The band holding `price`: the one with the smallest upper bound not below it; -1 when
    // the price lies above every band.
    std::ptrdiff_t BandOf(double price) const;

private:
    std::vector<double> upperBounds_;
    std::vector<std::uint64_t> volumes_;
    // Per-band volume differences while building; a day adds at most 2^64 - 1 and a series
    // holds at most 65535 days, so the running sums fit.
    using VolumeDifference = __int128;
    std::vector<VolumeDifference> changes_;
};

extern template bool CBandProfile::Build<std::uint8_t>(const Candle<std::uint8_t>*,
                                                       const std::uint64_t*, std::uint16_t,
                                                       std::uint16_t, std::uint16_t);
extern template bool CBandProfile::Build<std::uint16_t>(const Candle<std::uint16_t>*,
                                                        const std::uint64_t*, std::uint16_t,
                                                        std::uint16_t, std::uint16_t);
extern template bool CBandProfile::Build<std::uint32_t>(const Candle<std::uint32_t>*,
                                                        const std::uint64_t*, std::uint16_t,
                                                        std::uint16_t, std::uint16_t);

// What the profile set-up reads from the parameters.
struct ProfileRequest {
    std::uint16_t currentDay = 0; // the newest day to compute
    std::uint16_t period = 0;
    std::uint16_t days = 0;
    std::uint8_t selector = 0;
    std::uint16_t bands = 0;
};

class CPriceRangeVolume : public CTechnical {
protected:
    // Writes the descriptors of keys 0..4 into `registry`.
    explicit CPriceRangeVolume(ParameterRegistry& registry);

    // Reads keys 0..4 and finds the current day. The analysis date must be a trading day of the
    // stock (or 65535 for its last day); otherwise kTechnicalBadAnalysisDate.
    TechnicalStatus SetUpProfile(const TechnicalParameters& parameters, const TechnicalInput& input,
                               ProfileRequest& request) const;
};

} // namespace vorn
