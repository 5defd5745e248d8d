#pragma once
// The inclination and trading-value passes over the whole market and their per-security
// results, which the screening filter and the securities list read.
#include <cstdint>
#include <optional>
#include <vector>

#include "matrix/market_records.h"
#include "screening/screening_settings.h"
#include "technical/technical.h"

namespace vorn {

class CTechnicalManager;

struct SecurityInclination {
    SecurityKey key = 0;
    double current = 0.0;  // the newest day's score
    double previous = 0.0; // the score of the trading day before it
};

struct SecurityTurnover {
    SecurityKey key = 0;
    double ratio = 0.0; // evaluation average against base average, in percent
};

class CIndicatorScreening {
public:
    // The manager must outlive this object; its registered market is the one screened.
    explicit CIndicatorScreening(CTechnicalManager& manager);

    // Fills the inclination parameters once at start-up: the indicator defaults, two values
    // (today and the day before) and the window, selector and bands of `settings`.
    void PrepareInclinationParameters(const InclinationParameters& settings);
    // True when the last inclination pass ran with the days, selector, bands and analysed bands
    // of `settings`; false before any pass.
    bool IsInclinationScreeningCurrent(const InclinationParameters& settings) const;

    // Rebuilds the inclination scores of every security that gives at least two values.
    void RecomputeInclinationScreening(const InclinationParameters& settings);
    // Rebuilds the trading-value ratios of every security whose base average is positive. A
    // security whose evaluation average cannot be computed gets -100%.
    void RecomputeTurnoverScreening(const TurnoverParameters& settings);

    // --- Results, in SecurityKey order ---
    const SecurityInclination* FindInclination(SecurityKey key) const;
    bool HasInclination(SecurityKey key) const { return FindInclination(key) != nullptr; }
    std::optional<double> CurrentInclination(SecurityKey key) const;
    std::optional<double> PreviousInclination(SecurityKey key) const;
    std::optional<double> TurnoverRatio(SecurityKey key) const;
    bool HasTurnoverRatio(SecurityKey key) const { return TurnoverRatio(key).has_value(); }
    const std::vector<SecurityInclination>& Inclinations() const { return inclinations_; }
    const std::vector<SecurityTurnover>& TurnoverRatios() const { return turnovers_; }

    const TechnicalParameters& InclinationParametersMap() const { return inclinationParameters_; }

private:
    void SetInclinationKeys(const InclinationParameters& settings);

    CTechnicalManager& manager_;
    TechnicalParameters inclinationParameters_;
    bool inclinationComputed_ = false; // a pass ran with inclinationParameters_
    std::vector<SecurityInclination> inclinations_;
    std::vector<SecurityTurnover> turnovers_;
};

} // namespace vorn
