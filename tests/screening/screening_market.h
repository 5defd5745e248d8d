#pragma once
// Small hand-built markets with hand-made analysis records for the screening tests.
#include <memory>
#include <vector>

#include "gaps/listing_analysis.h"
#include "gaps/window_event_map.h"
#include "screening/screening_filter.h"
#include "support/market_builder.h"

namespace vorn::test {

constexpr int kScreeningDays = 10;

inline std::vector<PackedDate> ScreeningDays() {
    return Weekdays(MakePackedDate(2007, 1, 4), kScreeningDays);
}

// A candle that opens, closes and trades in one place.
inline Ohlcv Flat(std::uint32_t price, std::uint64_t volume = 1000) {
    return {price, price, price, price, volume};
}

// Rows that end `daysBeforeEnd` trading days before the last day of ScreeningDays().
inline CMarketBuilder& AddListing(CMarketBuilder& builder, std::uint16_t code, std::uint8_t market,
                                  std::vector<Ohlcv> rows, int daysBeforeEnd = 0,
                                  std::uint8_t priceExponent = 0) {
    const auto days = ScreeningDays();
    const std::size_t first = days.size() - rows.size() - static_cast<std::size_t>(daysBeforeEnd);
    return builder.Security(code, market, days[first], std::move(rows), CMarketBuilder::kNarrowest,
                            CMarketBuilder::kNarrowest, priceExponent);
}

// A buy position held since an earlier day, no event on the last day, nothing else set.
inline ListingAnalysis HeldBuy() {
    ListingAnalysis record;
    record.signal = kUpWindowOpened;
    record.signalLaw = 1;
    record.position = kPositionHoldBuy;
    record.daysHeld = 3;
    record.lastEventSignal = kUpWindowOpened;
    record.lastEventLaw = 1;
    record.daysSinceEvent = 3;
    return record;
}

struct ScreeningMarket {
    std::unique_ptr<CMarketMatrix> matrix;
    AnalysisResults analysis;
    std::vector<SecurityInclination> inclinations; // ascending keys
    std::vector<SecurityTurnover> turnovers;       // ascending keys

    explicit ScreeningMarket(const CMarketBuilder& builder) : matrix(builder.Build()) {}

    void Prefer(std::uint16_t code, std::uint8_t market) {
        matrix->PreferredMarkets()[code] = market;
    }
    ListingAnalysis& Record(SecurityKey key, const ListingAnalysis& record = HeldBuy()) {
        return analysis.records[key] = record;
    }
    const SecurityRecord& Security(SecurityKey key) const { return *matrix->FindSecurity(key); }
    ScreeningSources Sources(const RankIndexes* ranks = nullptr) const {
        ScreeningSources sources;
        sources.matrix = matrix.get();
        sources.analysis = &analysis;
        sources.inclinations = inclinations;
        sources.turnovers = turnovers;
        sources.ranks = ranks;
        return sources;
    }
};

} // namespace vorn::test
