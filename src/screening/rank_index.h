#pragma once
// Competition ranks of the securities by one figure, for the rank mode of the screening's
// range groups: rank 1 is the best, equal figures share a rank and the next different figure
// gets its position (1, 1, 3, ...).
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "matrix/market_records.h"

namespace vorn {

class CMarketMatrix;
struct AnalysisResults;

struct RankEntry {
    std::uint16_t rank = 0; // from 1; saturates at 65535
    SecurityKey key = 0;
};

class RankIndex {
public:
    enum class Best { Largest, Smallest };

    // Replaces the index. Securities with equal figures keep the order of their keys.
    void Build(std::vector<std::pair<std::uint64_t, SecurityKey>> figures, Best best);
    void Build(std::vector<std::pair<double, SecurityKey>> figures, Best best);
    void Clear();

    // Rank order.
    const std::vector<RankEntry>& ByRank() const { return byRank_; }
    std::optional<std::uint16_t> RankOf(SecurityKey key) const;
    // Every entry of one company (any market), in key order.
    std::span<const RankEntry> EntriesOfCode(std::uint16_t code) const;
    std::size_t Size() const { return byRank_.size(); }

private:
    template <class Figure>
    void BuildFrom(std::vector<std::pair<Figure, SecurityKey>>& figures, Best best);

    std::vector<RankEntry> byRank_;
    std::vector<RankEntry> byKey_; // the same entries, ascending by key
};

// The five indexes the securities list holds. They cover the securities that are current and
// have a nonzero last price; price and market cap leave out securities priced in hundredths,
// and market cap holds only securities on their company's preferred market.
struct RankIndexes {
    RankIndex price;        // last price x trading unit, largest first
    RankIndex marketCap;    // shares issued x last price, largest first
    RankIndex annualReturn; // largest first; 0 without an analysis record
    RankIndex annualRisk;   // smallest first; 0 without an analysis record
    RankIndex beta;         // largest first; 0 without an analysis record
};

void BuildRankIndexes(const CMarketMatrix& matrix, const AnalysisResults& analysis,
                      RankIndexes& indexes);

} // namespace vorn
