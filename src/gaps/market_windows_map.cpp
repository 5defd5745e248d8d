// The mapping pass: every security's daily history reduced to one event byte per day, the
// window counters per security and each company's preferred market.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "foundation/saturating.h"
#include "gaps/market_windows.h"

namespace vorn {
namespace {

// Bounds of an open window, widened to 32 bits whatever the candle width: comparisons stay
// unsigned and exact.
struct GapBounds {
    std::uint32_t upper;
    std::uint32_t lower;
};

// Open windows of the security being mapped; kept across securities so that a whole-market
// pass allocates them once.
struct MappingScratch {
    std::vector<GapBounds> upward;
    std::vector<GapBounds> downward;
};

// Days whose volume the preferred-market choice sums, counted back from the last day.
constexpr std::uint16_t kPreferenceDays = 20;
// Volume is summed as quotient and remainder by this divisor so that the sums cannot wrap.
constexpr std::uint64_t kVolumeDivisor = 1000;

template <class Price>
std::uint16_t MapSeries(const SeriesView& view, SecurityKey keyBase, const CCalendar& calendar,
                        CWindowEventMap& events, CWindowCountsMap& counts,
                        MappingScratch& scratch) {
    if (view.count == 0 || !view.prices || !view.volumes)
        return 0;
    const int firstPosition = calendar.PositionOf(view.firstDate);
    const int lastPosition = calendar.PositionOf(view.lastDate);
    if (firstPosition < 0 || lastPosition < firstPosition)
        return 0;
    const auto span = static_cast<std::uint32_t>(lastPosition - firstPosition);
    if (span >= view.count)
        return 0;
    // Days beyond the 14 bits of an event key cannot be stored without corrupting the key of
    // another security.
    if (lastPosition > kMaxEventDay)
        return 0;

    const Candle<Price>* candles = view.Candles<Price>();
    const std::uint64_t* volumes = view.volumes.get();
    std::uint32_t baseDay = 0;
    while (baseDay <= span && (candles[baseDay].open == 0 || candles[baseDay].high == 0 ||
                               candles[baseDay].low == 0 || candles[baseDay].close == 0))
        ++baseDay;

    // A day opens at most one window, so span + 1 slots per direction never run out.
    if (scratch.upward.size() < span + 1u) {
        scratch.upward.resize(span + 1u);
        scratch.downward.resize(span + 1u);
    }
    GapBounds* const upward = scratch.upward.data();
    GapBounds* const downward = scratch.downward.data();
    std::size_t upwardCount = 0;
    std::size_t downwardCount = 0;

    const SecurityKey security = keyBase & ~static_cast<SecurityKey>(kMaxEventDay);
    events.BeginSecurity(security);
    // Likewise at most one event per day.
    WindowEvent* const eventSlots = events.AppendSpace(span + 1u);
    if (eventSlots == nullptr) {
        events.EndSecurity();
        return 0;
    }
    std::size_t eventCount = 0;
    // Counted in full-width registers and stored as the 16-bit counters at the end.
    std::uint32_t upOpened = 0, downOpened = 0, upFilled = 0, downFilled = 0;

    // Upward windows are kept in ascending order of their upper bounds, downward ones in
    // descending order of their lower bounds. A day touches exactly a tail of each list (upper
    // bounds at or above its low, lower bounds at or below its high), and every window it
    // touches without filling it ends with that low (high) as its bound, as does a window the
    // day opens: the order holds without sorting, and a day costs only the windows it touches.
    // Nothing here relies on the prices being sane.
    //
    // Most days neither touch a window nor open one. The bounds nearest the price are kept in
    // 64 bits with out-of-range values for an empty list, so that one test picks out the days
    // that need any work.
    constexpr std::int64_t kNoUpward = -1;
    constexpr std::int64_t kNoDownward = std::int64_t{1} << 32;
    std::int64_t upwardTop = kNoUpward;
    std::int64_t downwardBottom = kNoDownward;
    // The day before counts whatever its volume: a day without trading still carries the
    // candle the next trading day gaps from.
    std::uint32_t previousHigh = 0;
    std::uint32_t previousLow = 0;
    if (baseDay <= span) {
        previousHigh = candles[baseDay].high;
        previousLow = candles[baseDay].low;
    }
    for (std::uint32_t day = baseDay + 1; day <= span; ++day) {
        const std::uint32_t low = candles[day].low;
        const std::uint32_t high = candles[day].high;
        const std::uint32_t gapBaseHigh = previousHigh;
        const std::uint32_t gapBaseLow = previousLow;
        previousHigh = high;
        previousLow = low;
        const unsigned busy = unsigned{low <= upwardTop} | unsigned{high >= downwardBottom} |
                              unsigned{gapBaseHigh < low} | unsigned{high < gapBaseLow};
        if ((busy & unsigned{volumes[day] != 0}) == 0)
            continue;

        unsigned flags = 0;
        if (low <= upwardTop) {
            std::size_t first = upwardCount - 1;
            while (first > 0 && upward[first - 1].upper >= low)
                --first;
            std::size_t kept = first;
            for (std::size_t i = first; i < upwardCount; ++i) {
                GapBounds window = upward[i];
                if (window.upper == low) {
                    flags |= kUpWindowReached;
                } else if (window.lower >= low) {
                    flags |= kUpWindowFilled;
                    ++upFilled;
                    continue;
                } else {
                    window.upper = low;
                    flags |= kUpWindowReduced;
                }
                upward[kept++] = window;
            }
            upwardCount = kept;
        }
        if (high >= downwardBottom) {
            std::size_t first = downwardCount - 1;
            while (first > 0 && downward[first - 1].lower <= high)
                --first;
            std::size_t kept = first;
            for (std::size_t i = first; i < downwardCount; ++i) {
                GapBounds window = downward[i];
                if (window.lower == high) {
                    flags |= kDownWindowReached;
                } else if (high >= window.upper) {
                    flags |= kDownWindowFilled;
                    ++downFilled;
                    continue;
                } else {
                    window.lower = high;
                    flags |= kDownWindowReduced;
                }
                downward[kept++] = window;
            }
            downwardCount = kept;
        }

        if (gapBaseHigh < low) {
            upward[upwardCount++] = {low, gapBaseHigh};
            ++upOpened;
            flags |= kUpWindowOpened;
        } else if (high < gapBaseLow) {
            downward[downwardCount++] = {gapBaseLow, high};
            ++downOpened;
            flags |= kDownWindowOpened;
        }
        upwardTop = upwardCount > 0 ? upward[upwardCount - 1].upper : kNoUpward;
        downwardBottom = downwardCount > 0 ? downward[downwardCount - 1].lower : kNoDownward;

        // A busy day always carries a flag; the test only guards the slot count.
        eventSlots[eventCount] = {static_cast<std::uint16_t>(firstPosition + day),
                                  static_cast<std::uint8_t>(flags)};
        eventCount += flags != 0;
    }
    events.CommitAppend(eventCount);
    events.EndSecurity();
    counts.Set(security,
               {static_cast<std::uint16_t>(upOpened), static_cast<std::uint16_t>(downOpened),
                static_cast<std::uint16_t>(upFilled), static_cast<std::uint16_t>(downFilled)});
    return static_cast<std::uint16_t>(span + 1);
}

std::uint16_t MapPeriod(const SeriesSet& series, PeriodKind kind, SecurityKey keyBase,
                        const CCalendar& calendar, CWindowEventMap& events,
                        CWindowCountsMap& counts, MappingScratch& scratch) {
    if (!IsPriceType(series.priceEncoding))
        return 0;
    return VisitPriceWidth(series.priceEncoding, [&]<class Price>(PriceWidth<Price>) {
        return MapSeries<Price>(series.View(kind), keyBase, calendar, events, counts, scratch);
    });
}

std::uint16_t MapDaily(const SeriesSet& series, SecurityKey keyBase, const CCalendar& calendar,
                       CWindowEventMap& events, CWindowCountsMap& counts, MappingScratch& scratch) {
    return MapPeriod(series, PeriodKind::Daily, keyBase, calendar, events, counts, scratch);
}

struct PreferenceCandidate {
    std::uint16_t code;
    std::uint8_t market;
    std::uint64_t volumeQuotients;
    std::uint64_t volumeRemainders;
};

void Post(IMessageSink* sink, std::uintptr_t code, std::intptr_t value) {
    if (sink != nullptr)
        sink->Post(kMsgProgress, code, value);
}

} // namespace

std::uint16_t CMarketWindows::MapListingWindows(const SeriesSet& series, SecurityKey keyBase,
                                                const CCalendar& calendar, CWindowEventMap& events,
                                                CWindowCountsMap& counts) {
    MappingScratch scratch;
    return MapDaily(series, keyBase, calendar, events, counts, scratch);
}

bool CMarketWindows::MapPeriodWindows(const CMarketMatrix& matrix, PeriodKind periodKind,
                                      CEvent* cancel) {
    if (!IsPeriodKind(periodKind))
        return false;
    CWindowEventMap& events = eventMaps_[PeriodIndex(periodKind)];
    CWindowCountsMap& counts = countsMaps_[PeriodIndex(periodKind)];
    events.Clear();
    counts.Clear();
    const CCalendar& calendar = matrix.PeriodCalendar(periodKind);
    if (calendar.Empty())
        return false;
    const auto& securities = matrix.Securities();
    // The daily series come through the same extraction as in the whole-market mapping, the
    // others through the one the analysis of a security uses, so that the events match both.
    const PackedDate firstDay = *calendar.First();
    const PackedDate lastDay = *calendar.Last();
    SeriesSet series;
    MappingScratch scratch;
    std::uint32_t count = 0;
    for (const auto& [key, security] : securities) {
        if ((++count & 31) == 0 && IsSignalled(cancel))
            return false;
        const bool extracted =
            periodKind == PeriodKind::Daily
                ? matrix.GetSeries(series, &security, firstDay, lastDay)
                : matrix.GetPeriodSeries(periodKind, series, &security, firstDay, lastDay);
        if (extracted)
            MapPeriod(series, periodKind, key, calendar, events, counts, scratch);
    }
    return true;
}

bool CMarketWindows::MapMarketWindows(CMarketMatrix& matrix, CEvent* cancel, IMessageSink* sink) {
    Post(sink, kProgressPercent, 0);
    Post(sink, kProgressText, reinterpret_cast<std::intptr_t>(kMarketMappingStatusText));

    for (auto& map : eventMaps_)
        map.Clear();
    for (auto& map : countsMaps_)
        map.Clear();

    const CCalendar& calendar = matrix.DailyCalendar();
    if (calendar.Empty()) {
        Post(sink, kProgressFailure, 0);
        return false;
    }
    const PackedDate firstDay = *calendar.First();
    const PackedDate lastDay = *calendar.Last();

    auto& preferred = matrix.PreferredMarkets();
    preferred.clear();
    const auto& securities = matrix.Securities();

    CWindowEventMap& events = eventMaps_[0];
    CWindowCountsMap& counts = countsMaps_[0];
    // The previous pass's size is the best guess; a first pass guesses one event in four
    // stored days.
    std::size_t storedDays = 0;
    for (const auto& [key, security] : securities)
        storedDays += security.prices.count;
    events.Reserve(std::max(events.Capacity(), storedDays / 4), securities.size());
    counts.Reserve(securities.size());

    // Securities come in key order, so by stock code: one company's candidates are adjacent
    // and the candidates end up in code order.
    std::vector<PreferenceCandidate> candidates;
    candidates.reserve(matrix.Companies().size());

    const double step = 99.0 / static_cast<double>(securities.size());
    SeriesSet series;
    MappingScratch scratch;
    std::uint32_t count = 0;
    for (const auto& [key, security] : securities) {
        ++count;
        if (count & 32) {
            if (IsSignalled(cancel)) {
                Post(sink, kProgressFailure, 1);
                return false;
            }
            Post(sink, kProgressPercent, static_cast<std::intptr_t>(step * count));
        }
        if (!matrix.GetSeries(series, &security, firstDay, lastDay))
            continue;
        const std::uint16_t days = MapDaily(series, key, calendar, events, counts, scratch);
        if (days == 0)
            continue;

        PreferenceCandidate candidate{CodeOfKey(key), MarketOfKey(key), 0, 0};
        const std::uint64_t* volumes = series.daily.volumes.get();
        for (std::uint32_t day = days > kPreferenceDays ? days - kPreferenceDays : 0; day < days;
             ++day) {
            candidate.volumeQuotients =
                SaturatingAdd(candidate.volumeQuotients, volumes[day] / kVolumeDivisor);
            candidate.volumeRemainders += volumes[day] % kVolumeDivisor;
        }
        if (candidates.empty() || candidates.back().code != candidate.code) {
            candidates.push_back(candidate);
            continue;
        }
        PreferenceCandidate& held = candidates.back();
        if (candidate.volumeQuotients > held.volumeQuotients ||
            (candidate.volumeQuotients == held.volumeQuotients &&
             candidate.volumeRemainders > held.volumeRemainders))
            held = candidate;
    }

    for (const auto& candidate : candidates)
        preferred.emplace_hint(preferred.end(), candidate.code, candidate.market);
    Post(sink, kProgressPercent, 100);
    return true;
}

} // namespace vorn
