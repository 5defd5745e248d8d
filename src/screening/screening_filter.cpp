#include "screening/screening_filter.h"

#include <algorithm>
#include <cmath>

#include "screening/last_quote.h"

namespace vorn {
namespace {

constexpr std::uint8_t kMaxMarketCode = 15;
constexpr std::uint8_t kMaxSectorCode = 34;
constexpr std::uint8_t kMaxPositionCode = 6;
constexpr std::uint64_t kMarketCapUnit = 100000000;

bool WithinBounds(double value, const ScreeningRange& range) {
    if (range.HasLower() && value < range.lower)
        return false;
    if (range.HasUpper() && value > range.upper)
        return false;
    return true;
}

bool RankWithinBounds(std::uint16_t rank, const ScreeningRange& range) {
    // The upper bound holds the first rank, the lower bound the last.
    if (range.HasUpper() && rank < range.upper)
        return false;
    if (range.HasLower() && rank > range.lower)
        return false;
    return true;
}

bool PassesRank(const ScreeningRange& range, const RankIndex* index, SecurityKey key, bool byCode) {
    if (index == nullptr)
        return false;
    if (range.HasUpper() && range.HasLower() && range.upper > range.lower)
        return false;
    if (!byCode) {
        const std::optional<std::uint16_t> rank = index->RankOf(key);
        return rank && RankWithinBounds(*rank, range);
    }
    const auto entries = index->EntriesOfCode(CodeOfKey(key));
    return std::any_of(entries.begin(), entries.end(),
                       [&](const RankEntry& e) { return RankWithinBounds(e.rank, range); });
}

// Only `value` is computed in value mode, so a figure that needs the company history is read
// only when the group is on.
template <class ValueOf>
bool PassesGroup(const ScreeningRange& range, const RankIndex* index, SecurityKey key, bool byCode,
                 ValueOf value) {
    if (!range.IsOn())
        return true;
    if (range.IsRankMode())
        return PassesRank(range, index, key, byCode);
    return WithinBounds(value(), range);
}

bool WithinPair(double value, std::uint32_t flags, std::uint32_t lowerBit, std::uint32_t upperBit,
                const BoundPair& bounds) {
    if ((flags & lowerBit) && value < bounds.lower)
        return false;
    if ((flags & upperBit) && value > bounds.upper)
        return false;
    return true;
}

struct WindowPair {
    double upper = 0;
    double lower = 0;
    bool Exists() const { return upper != 0 && lower != 0; }
};

bool PassesWindowsAndShadows(const WindowsAndShadows& ws, const LastQuote& quote,
                             const ListingAnalysis& record) {
    const std::uint32_t f = ws.flags;
    constexpr std::uint32_t kTests = kWsWindowAbove | kWsWindowBelow | kWsSpaceAbove |
                                     kWsSpaceBelow | kWsUpperShadow | kWsLowerShadow | kWsBody;
    if ((f & kTests) == 0)
        return true;
    if (quote.close == 0)
        return false;
    const double p = static_cast<double>(quote.close);
    const double o = static_cast<double>(quote.open);
    const double h = static_cast<double>(quote.high);
    const double l = static_cast<double>(quote.low);
    const auto percent = [p](double amount) { return amount / p * 100.0; };
    // The window above the price was opened by a downward gap, the one below by an upward gap.
    const WindowPair above{static_cast<double>(record.latestWindows[0]),
                           static_cast<double>(record.latestWindows[1])};
    const WindowPair below{static_cast<double>(record.latestWindows[2]),
                           static_cast<double>(record.latestWindows[3])};

    const bool noWindowAbove = (f & kWsWindowAbove) && (f & kWsNoWindowAbove);
    const bool noWindowBelow = (f & kWsWindowBelow) && (f & kWsNoWindowBelow);

    if (f & kWsWindowAbove) {
        if (noWindowAbove) {
            if (above.Exists())
                return false;
        } else if (f & (kWsWindowAboveLowerSet | kWsWindowAboveUpperSet)) {
            if (!above.Exists() ||
                !WithinPair(percent(above.upper - above.lower), f, kWsWindowAboveLowerSet,
                            kWsWindowAboveUpperSet, ws.windowAbove))
                return false;
        }
    }
    if (f & kWsWindowBelow) {
        if (noWindowBelow) {
            if (below.Exists())
                return false;
        } else if (f & (kWsWindowBelowLowerSet | kWsWindowBelowUpperSet)) {
            if (!below.Exists() ||
                !WithinPair(percent(below.upper - below.lower), f, kWsWindowBelowLowerSet,
                            kWsWindowBelowUpperSet, ws.windowBelow))
                return false;
        }
    }
    if ((f & kWsSpaceAbove) && !noWindowAbove &&
        (f & (kWsSpaceAboveLowerSet | kWsSpaceAboveUpperSet))) {
        if (!above.Exists() || !WithinPair(percent(above.lower - p), f, kWsSpaceAboveLowerSet,
                                           kWsSpaceAboveUpperSet, ws.spaceAbove))
            return false;
    }
    if ((f & kWsSpaceBelow) && !noWindowBelow &&
        (f & (kWsSpaceBelowLowerSet | kWsSpaceBelowUpperSet))) {
        if (!below.Exists() || !WithinPair(percent(p - below.upper), f, kWsSpaceBelowLowerSet,
                                           kWsSpaceBelowUpperSet, ws.spaceBelow))
            return false;
    }
    if ((f & kWsUpperShadow) && !WithinPair(percent(h - std::max(o, p)), f, kWsUpperShadowLowerSet,
                                            kWsUpperShadowUpperSet, ws.upperShadow))
        return false;
    if ((f & kWsLowerShadow) && !WithinPair(percent(std::min(o, p) - l), f, kWsLowerShadowLowerSet,
                                            kWsLowerShadowUpperSet, ws.lowerShadow))
        return false;
    if (f & kWsBody) {
        const bool black = (f & kWsBlackBody) != 0;
        if (black ? p > o : o > p)
            return false;
        if (!WithinPair(percent(black ? o - p : p - o), f, kWsBodyLowerSet, kWsBodyUpperSet,
                        ws.body))
            return false;
    }
    return true;
}

bool PassesInclination(const ScreeningSources& sources, const InclinationCondition& c,
                       SecurityKey key) {
    const bool current = (c.flags & kInclinationCurrentOn) &&
                         (c.flags & (kInclinationCurrentLowerSet | kInclinationCurrentUpperSet));
    const bool previous = (c.flags & kInclinationPreviousOn) &&
                          (c.flags & (kInclinationPreviousLowerSet | kInclinationPreviousUpperSet));
    if (!current && !previous)
        return true;
    const SecurityInclination* values = sources.FindInclination(key);
    if (values == nullptr)
        return false;
    if (current && !WithinPair(values->current, c.flags, kInclinationCurrentLowerSet,
                               kInclinationCurrentUpperSet, {c.currentLower, c.currentUpper}))
        return false;
    if (previous && !WithinPair(values->previous, c.flags, kInclinationPreviousLowerSet,
                                kInclinationPreviousUpperSet, {c.previousLower, c.previousUpper}))
        return false;
    return true;
}

} // namespace

const ListingAnalysis* ScreeningSources::FindAnalysis(SecurityKey key) const {
    if (analysis == nullptr)
        return nullptr;
    const auto it = analysis->records.find(key);
    return it == analysis->records.end() ? nullptr : &it->second;
}

const SecurityInclination* ScreeningSources::FindInclination(SecurityKey key) const {
    const auto it =
        std::lower_bound(inclinations.begin(), inclinations.end(), key,
                         [](const SecurityInclination& v, SecurityKey k) { return v.key < k; });
    return it != inclinations.end() && it->key == key ? &*it : nullptr;
}

const SecurityTurnover* ScreeningSources::FindTurnover(SecurityKey key) const {
    const auto it =
        std::lower_bound(turnovers.begin(), turnovers.end(), key,
                         [](const SecurityTurnover& v, SecurityKey k) { return v.key < k; });
    return it != turnovers.end() && it->key == key ? &*it : nullptr;
}

bool ScreeningSources::IsOnPreferredMarket(const SecurityRecord& security) const {
    if (matrix == nullptr)
        return false;
    const auto& preferred = matrix->PreferredMarkets();
    const auto it = preferred.find(security.Code());
    return it != preferred.end() && it->second == security.market;
}

LawCode LastDayLawCode(const ListingAnalysis& record) {
    return record.daysSinceEvent == 0 ? LawCodeOf(record.lastEventLaw, record.lastEventSignal)
                                      : kLawNone;
}

bool MatchesScreening(const ScreeningSources& sources, const ScreeningSettings& settings,
                      const SecurityRecord& security) {
    const SecurityKey key = security.Key();
    if (settings.preferred.Contains(key))
        return true;
    if (settings.excluded.Contains(key))
        return false;

    if (security.market == 0 || security.market > kMaxMarketCode ||
        (settings.markets & (1u << (security.market - 1))) == 0)
        return false;
    const std::uint8_t sector = security.company ? security.company->industry : 0;
    if (sector == 0 || sector > kMaxSectorCode ||
        (settings.sectors & (std::uint64_t{1} << (sector - 1))) == 0)
        return false;

    const ScreeningRange& period = settings.analysisPeriod;
    if (period.IsOn()) {
        const double days = security.prices.count;
        if ((period.HasLower() && days < std::trunc(period.lower)) ||
            (period.HasUpper() && days > std::trunc(period.upper)))
            return false;
    }

    if ((settings.options & kOptionPreferredMarketOnly) && !sources.IsOnPreferredMarket(security))
        return false;
    if ((settings.options & kOptionMarginTradableOnly) &&
        (security.listingFlags & kListingMarginTradable) == 0)
        return false;
    if ((settings.options & kOptionIncludeDelisted) == 0 &&
        (sources.matrix == nullptr || !sources.matrix->IsLatestDayOf(security)))
        return false;

    const ListingAnalysis* record = sources.FindAnalysis(key);
    if (record == nullptr)
        return false;

    if (settings.laws == 0)
        return false;
    // A last day whose event gave no signal shows no law, like a day without an event.
    const LawCode law = LastDayLawCode(*record);
    if (law != 0 ? (settings.laws & law) == 0 : (settings.laws & kLawsAcceptWithoutEvent) == 0)
        return false;

    if (record->position > kMaxPositionCode)
        return false;
    const unsigned positionBit =
        record->position == kPositionNone ? kPositionsNone : 1u << (record->position - 1);
    if ((settings.positions & positionBit) == 0)
        return false;

    const LastQuote quote = ReadLastQuote(security);
    const RankIndexes* ranks = sources.ranks;
    if (!PassesGroup(settings.price, ranks ? &ranks->price : nullptr, key, false, [&] {
            return static_cast<double>(PriceTimesUnit(quote, security.TradingUnit()));
        }))
        return false;
    if (!PassesGroup(settings.marketCap, ranks ? &ranks->marketCap : nullptr, key, true, [&] {
            return static_cast<double>(MarketCapitalisation(SharesIssued(security), quote) /
                                       kMarketCapUnit);
        }))
        return false;
    if (!PassesGroup(settings.annualReturn, ranks ? &ranks->annualReturn : nullptr, key, false,
                     [&] { return record->annualReturn; }) ||
        !PassesGroup(settings.annualRisk, ranks ? &ranks->annualRisk : nullptr, key, false,
                     [&] { return record->annualRisk; }) ||
        !PassesGroup(settings.beta, ranks ? &ranks->beta : nullptr, key, false,
                     [&] { return record->beta; }))
        return false;

    if (settings.candleShapes == 0)
        return false;
    if (record->candleShape != 0 && (record->candleShape & ~settings.candleShapes) != 0)
        return false;

    const ScreeningRange& volume = settings.volumeChange;
    if (volume.IsOn()) {
        if (volume.HasLower() && record->volumeChange < volume.lower - 1.0)
            return false;
        if (volume.HasUpper() && record->volumeChange > volume.upper - 1.0)
            return false;
    }

    if (!PassesInclination(sources, settings.inclination, key))
        return false;

    const ScreeningRange& turnover = settings.turnoverAverage;
    if (turnover.IsOn() && (turnover.HasLower() || turnover.HasUpper())) {
        const SecurityTurnover* ratio = sources.FindTurnover(key);
        if (ratio == nullptr || !WithinBounds(ratio->ratio, turnover))
            return false;
    }

    if ((settings.windowsAndShadows.flags & kWsOn) &&
        !PassesWindowsAndShadows(settings.windowsAndShadows, quote, *record))
        return false;
    return true;
}

} // namespace vorn
