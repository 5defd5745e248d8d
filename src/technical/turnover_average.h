#pragma once
// The N-day average trading value: close x volume / 1000 on stored prices.
#include "technical/technical.h"

namespace vorn {

class CTurnoverAverage final : public CTechnical {
public:
    // Writes the descriptors of keys 0..2 into `registry`.
    explicit CTurnoverAverage(ParameterRegistry& registry);

    TechnicalStatus Calculate(const TechnicalParameters& parameters, CTechnicalResult& result,
                            const TechnicalInput& input) override;
    std::uint16_t GetTypeId() const override { return kTechnicalTurnoverAverage; }
    // Newest date, all values, 5 days.
    void SetDefaults(TechnicalParameters& parameters) const override;
};

// One day's trading value in thousands: stored close x volume / 1000. The product is exact
// while it fits 64 bits.
double DailyTurnover(std::uint64_t close, std::uint64_t volume);

} // namespace vorn
