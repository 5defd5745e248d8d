#pragma once
// Owns one object of every indicator, keyed by indicator type, and the descriptors of the
// parameters they read.
#include <cstdint>
#include <map>
#include <memory>

#include "technical/technical.h"

namespace vorn {

class CMarketMatrix;

class CTechnicalManager {
public:
    CTechnicalManager() = default;
    CTechnicalManager(const CTechnicalManager&) = delete;
    CTechnicalManager& operator=(const CTechnicalManager&) = delete;

    // --- Operations in slot order ---
    virtual ~CTechnicalManager();
    // Fills `parameters` with the defaults of the indicator of `type`; empties it when no
    // indicator has that type.
    virtual void SetDefaults(std::uint16_t type, TechnicalParameters& parameters) const;
    // Runs the indicator of the result's type; kTechnicalNotRegistered when there is none,
    // kTechnicalWrongResult for a null result.
    virtual TechnicalStatus Analyze(const TechnicalParameters& parameters, CTechnicalResult* result,
                                    const SeriesSet* stock, PeriodKind seriesKind);

    // Remembers the market (its calendars place every series) and enters the moving average,
    // the inclination index and the trading-value average. Calling it again starts afresh.
    void RegisterTechnicals(const CMarketMatrix* store);

    // Null when no indicator has that type.
    CTechnical* Find(std::uint16_t type) const;
    const ParameterRegistry& Parameters() const { return parameters_; }
    const CMarketMatrix* Store() const { return store_; }

private:
    std::map<std::uint16_t, std::unique_ptr<CTechnical>> technicals_;
    ParameterRegistry parameters_;
    const CMarketMatrix* store_ = nullptr;
};

} // namespace vorn
