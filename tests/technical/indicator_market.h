#pragma once
// A hand-made market with a registered indicator manager, and the straightforward
// re-computations the indicators are checked against.
#include <cstdint>
#include <vector>

#include "matrix/market_matrix.h"
#include "support/market_builder.h"
#include "technical/technical_manager.h"
#include "technical/technical_result.h"

namespace vorn::test {

constexpr PackedDate kIndicatorFirstDay = MakePackedDate(2007, 1, 4); // a Thursday

class CIndicatorMarket {
public:
    explicit CIndicatorMarket(const CMarketBuilder& builder) {
        builder.BuildInto(matrix_);
        manager_.RegisterTechnicals(&matrix_);
    }

    // The security's daily series from its first to its last day; null when it has none.
    const SeriesSet* Series(std::uint16_t code, std::uint8_t market = 1) {
        const SecurityRecord* security = matrix_.FindSecurity(MakeSecurityKey(code, market));
        if (security == nullptr ||
            !matrix_.GetPeriodSeries(PeriodKind::Daily, series_, security, security->firstDate,
                                     security->lastDate))
            return nullptr;
        return &series_;
    }

    TechnicalStatus Analyze(const TechnicalParameters& parameters, CTechnicalResult& result,
                            std::uint16_t code, std::uint8_t market = 1) {
        return manager_.Analyze(parameters, &result, Series(code, market), PeriodKind::Daily);
    }

    TechnicalParameters Defaults(std::uint16_t type) const {
        TechnicalParameters parameters;
        manager_.SetDefaults(type, parameters);
        return parameters;
    }

    CMarketMatrix& Matrix() { return matrix_; }
    CTechnicalManager& Manager() { return manager_; }

private:
    CMarketMatrix matrix_;
    CTechnicalManager manager_;
    SeriesSet series_;
};

inline double SelectedValue(const Ohlcv& row, unsigned selector) {
    switch (selector) {
    case 1:
        return row.open;
    case 2:
        return row.high;
    case 4:
        return (row.high + static_cast<double>(row.low)) / 2.0;
    case 8:
        return row.low;
    default:
        return row.close;
    }
}

// The window averages of `value` over rows[d-n+1..d] for d from the newest day not after
// `analysisDate` back to day n-1, each summed afresh; nothing unless n + 1 days lead up to the
// newest day.
template <class ValueOf>
std::vector<DatedValue>
WindowAverages(const std::vector<Ohlcv>& rows, const std::vector<PackedDate>& dates,
               PackedDate analysisDate, unsigned period, unsigned n, ValueOf value) {
    std::vector<DatedValue> out;
    if (rows.empty() || analysisDate <= dates[0])
        return out;
    int newest = static_cast<int>(rows.size()) - 1;
    while (dates[newest] > analysisDate)
        --newest;
    if (newest < static_cast<int>(n))
        return out;
    for (int d = newest; d >= static_cast<int>(n) - 1 && out.size() < period; --d) {
        double sum = 0;
        for (int k = 0; k < static_cast<int>(n); ++k)
            sum += value(rows[d - k]);
        out.push_back({dates[d], sum / n});
    }
    return out;
}

// Pseudo-random candles around `base`, deterministic for a seed.
inline std::vector<Ohlcv> RandomRows(int count, std::uint32_t seed, std::uint32_t base,
                                     std::uint32_t spread, std::uint64_t volumeScale = 1000) {
    std::uint64_t state = seed * 6364136223846793005ull + 1442695040888963407ull;
    const auto next = [&state](std::uint32_t bound) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>((state >> 33) % bound);
    };
    std::vector<Ohlcv> rows;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t low = base + next(spread);
        const std::uint32_t high = low + next(spread / 2 + 1);
        const std::uint32_t open = low + next(high - low + 1);
        const std::uint32_t close = low + next(high - low + 1);
        // Some days without trades.
        const std::uint64_t volume = next(7) == 0 ? 0 : (1 + next(50)) * volumeScale;
        rows.push_back({open, high, low, close, volume});
    }
    return rows;
}

} // namespace vorn::test
