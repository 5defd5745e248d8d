#pragma once
// The price-band inclination index: for each day, the volume of the bands above the day's
// price weighed against the volume of the bands below it, as a score from -100 to +100.
// A positive score means more volume below the price than above it.
#include "technical/price_range_volume.h"

namespace vorn {

class CInclinationIndex final : public CPriceRangeVolume {
public:
    // Writes the descriptors of keys 0..5 into `registry`.
    explicit CInclinationIndex(ParameterRegistry& registry);

    TechnicalStatus Calculate(const TechnicalParameters& parameters, CTechnicalResult& result,
                            const TechnicalInput& input) override;
    std::uint16_t GetTypeId() const override { return kTechnicalInclinationIndex; }
    // Newest date, all values, 60 days, the close, 80 bands, 10 analysed bands.
    void SetDefaults(TechnicalParameters& parameters) const override;
};

// The score of a price against a built profile, weighing the bands at distances 1..K-1 on
// each side with weights 0..K-2 over the weight sum K(K+1)/2. 0 when the price lies above
// every band or its band holds no volume. Never a negative zero.
double InclinationScore(const CBandProfile& profile, double price, std::uint16_t analysedBands);

} // namespace vorn
