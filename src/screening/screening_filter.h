#pragma once
// The test of one security against the screening conditions.
#include <span>

#include "gaps/listing_analysis.h"
#include "matrix/market_matrix.h"
#include "screening/rank_index.h"
#include "screening/screening_settings.h"
#include "screening/indicator_screening.h"

namespace vorn {

// What the screening reads besides the conditions. The referenced objects must outlive it.
struct ScreeningSources {
    const CMarketMatrix* matrix = nullptr;
    const AnalysisResults* analysis = nullptr;
    std::span<const SecurityInclination> inclinations; // ascending keys
    std::span<const SecurityTurnover> turnovers;       // ascending keys
    const RankIndexes* ranks = nullptr; // null until built: rank mode then passes nothing

    const ListingAnalysis* FindAnalysis(SecurityKey key) const;
    const SecurityInclination* FindInclination(SecurityKey key) const;
    const SecurityTurnover* FindTurnover(SecurityKey key) const;
    // True when the security is listed on the market its company is preferred on.
    bool IsOnPreferredMarket(const SecurityRecord& security) const;
};

// The law code a security shows for its last day: 0 when its last event was on an earlier day
// or gave no signal.
LawCode LastDayLawCode(const ListingAnalysis& record);

// The preferred securities pass and the excluded fail before any condition is looked at.
bool MatchesScreening(const ScreeningSources& sources, const ScreeningSettings& settings,
                      const SecurityRecord& security);

} // namespace vorn
