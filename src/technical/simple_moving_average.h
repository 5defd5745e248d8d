#pragma once
// The N-day simple moving average of a selected price, in yen.
#include "technical/technical.h"

namespace vorn {

class CSimpleMovingAverage final : public CTechnical {
public:
    // Writes the descriptors of keys 0..3 into `registry`.
    explicit CSimpleMovingAverage(ParameterRegistry& registry);

    TechnicalStatus Calculate(const TechnicalParameters& parameters, CTechnicalResult& result,
                            const TechnicalInput& input) override;
    std::uint16_t GetTypeId() const override { return kTechnicalSimpleMovingAverage; }
    // Newest date, all values, 25 days, the close.
    void SetDefaults(TechnicalParameters& parameters) const override;
};

} // namespace vorn
