#include "screening/rank_index.h"

#include <algorithm>
#include <cmath>

#include "gaps/listing_analysis.h"
#include "matrix/market_matrix.h"
#include "screening/last_quote.h"

namespace vorn {

template <class Figure>
void RankIndex::BuildFrom(std::vector<std::pair<Figure, SecurityKey>>& figures, Best best) {
    if (best == Best::Largest)
        std::stable_sort(figures.begin(), figures.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
    else
        std::stable_sort(figures.begin(), figures.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    byRank_.clear();
    byRank_.reserve(figures.size());
    std::uint16_t rank = 0;
    for (std::size_t i = 0; i < figures.size(); ++i) {
        if (i == 0 || !(figures[i].first == figures[i - 1].first))
            rank = static_cast<std::uint16_t>(std::min<std::size_t>(i + 1, UINT16_MAX));
        byRank_.push_back({rank, figures[i].second});
    }
    byKey_ = byRank_;
    std::sort(byKey_.begin(), byKey_.end(),
              [](const RankEntry& a, const RankEntry& b) { return a.key < b.key; });
}

void RankIndex::Build(std::vector<std::pair<std::uint64_t, SecurityKey>> figures, Best best) {
    BuildFrom(figures, best);
}

void RankIndex::Build(std::vector<std::pair<double, SecurityKey>> figures, Best best) {
    BuildFrom(figures, best);
}

void RankIndex::Clear() {
    byRank_.clear();
    byKey_.clear();
}

std::optional<std::uint16_t> RankIndex::RankOf(SecurityKey key) const {
    auto it = std::lower_bound(byKey_.begin(), byKey_.end(), key,
                               [](const RankEntry& e, SecurityKey k) { return e.key < k; });
    if (it == byKey_.end() || it->key != key)
        return std::nullopt;
    return it->rank;
}

std::span<const RankEntry> RankIndex::EntriesOfCode(std::uint16_t code) const {
    const auto byKey = [](const RankEntry& e, SecurityKey k) { return e.key < k; };
    auto first = std::lower_bound(byKey_.begin(), byKey_.end(), MakeSecurityKey(code, 0), byKey);
    auto last = first;
    while (last != byKey_.end() && CodeOfKey(last->key) == code)
        ++last;
    return {first, last};
}

void BuildRankIndexes(const CMarketMatrix& matrix, const AnalysisResults& analysis,
                      RankIndexes& indexes) {
    std::vector<std::pair<std::uint64_t, SecurityKey>> prices, caps;
    std::vector<std::pair<double, SecurityKey>> returns, risks, betas;
    const std::size_t securities = matrix.Securities().size();
    prices.reserve(securities);
    returns.reserve(securities);
    risks.reserve(securities);
    betas.reserve(securities);

    const auto& preferred = matrix.PreferredMarkets();
    for (const auto& [key, security] : matrix.Securities()) {
        if (!matrix.IsLatestDayOf(security))
            continue;
        const LastQuote quote = ReadLastQuote(security);
        if (quote.close == 0)
            continue;
        // Securities priced in hundredths rank with the others, by their figures in yen.
        prices.emplace_back(PriceTimesUnit(quote, security.TradingUnit()), key);
        const auto it = preferred.find(security.Code());
        if (it != preferred.end() && it->second == security.market)
            caps.emplace_back(MarketCapitalisation(SharesIssued(security), quote), key);
        const auto record = analysis.records.find(key);
        const bool analysed = record != analysis.records.end();
        // A NaN would break the ordering the ranks are counted in.
        const auto figure = [analysed](double value) {
            return analysed && !std::isnan(value) ? value : 0.0;
        };
        returns.emplace_back(figure(analysed ? record->second.annualReturn : 0.0), key);
        risks.emplace_back(figure(analysed ? record->second.annualRisk : 0.0), key);
        betas.emplace_back(figure(analysed ? record->second.beta : 0.0), key);
    }
    indexes.price.Build(std::move(prices), RankIndex::Best::Largest);
    indexes.marketCap.Build(std::move(caps), RankIndex::Best::Largest);
    indexes.annualReturn.Build(std::move(returns), RankIndex::Best::Largest);
    indexes.annualRisk.Build(std::move(risks), RankIndex::Best::Smallest);
    indexes.beta.Build(std::move(betas), RankIndex::Best::Largest);
}

} // namespace vorn
