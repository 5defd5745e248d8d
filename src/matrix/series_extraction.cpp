#include "matrix/series_extraction.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

#include "foundation/saturating.h"
#include "matrix/market_matrix.h"

namespace vorn {
namespace {

constexpr std::array<std::uint64_t, 20> kPowersOfTen = {1ull,
                                                        10ull,
                                                        100ull,
                                                        1000ull,
                                                        10000ull,
                                                        100000ull,
                                                        1000000ull,
                                                        10000000ull,
                                                        100000000ull,
                                                        1000000000ull,
                                                        10000000000ull,
                                                        100000000000ull,
                                                        1000000000000ull,
                                                        10000000000000ull,
                                                        100000000000000ull,
                                                        1000000000000000ull,
                                                        10000000000000000ull,
                                                        100000000000000000ull,
                                                        1000000000000000000ull,
                                                        10000000000000000000ull};

// Adjusted values are computed in double; a ratio below 1 can push them past the output
// width, and converting an out-of-range double is undefined, so they saturate.
inline std::uint32_t SaturatedPrice(double value) {
    if (!(value > 0.0))
        return 0;
    if (value >= 4294967295.0)
        return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(value);
}

inline std::uint64_t SaturatedVolume(double value) {
    if (!(value > 0.0))
        return 0;
    if (value >= 18446744073709551616.0)
        return ~std::uint64_t{0};
    return static_cast<std::uint64_t>(value);
}

// A ratio of zero, below zero or not finite would poison every later price; such entries
// are treated as absent.
inline bool UsableRatio(double ratio) {
    return std::isfinite(ratio) && ratio > 0.0;
}

// Back-adjustment over the entries that count for one extraction. The factor is the product
// of the ratios of the counted entries the walk has not reached yet; a day at or after an
// entry's date is on that entry's price basis, so an entry dated on a day the calendar lacks
// takes effect on the next trading day.
class CAdjustmentWalk {
public:
    CAdjustmentWalk() = default;

    // Counts the entries of [begin, stop) dated after `viewFirst` with a usable ratio.
    CAdjustmentWalk(const AdjustmentEntry* begin, const AdjustmentEntry* stop, PackedDate viewFirst)
        : next_(begin), stop_(stop), viewFirst_(viewFirst) {
        for (const AdjustmentEntry* e = begin; e != stop; ++e)
            if (Counts(*e))
                factor_ *= e->ratio;
        SkipUncounted();
    }

    // False once every counted entry is divided out: later days are copied plainly, never
    // divided by the floating residue of the factor, which would shave a unit off volumes.
    bool Active() const { return next_ != stop_; }
    double Factor() const { return factor_; }
    // Date of the next entry to divide out; past every trading day once the walk is done.
    PackedDate NextDate() const { return Active() ? next_->date : kOpenEnd; }

    // Divides out every counted entry dated on or before `day`.
    void Reach(PackedDate day) {
        while (next_ != stop_ && next_->date <= day) {
            factor_ /= next_->ratio;
            ++next_;
            SkipUncounted();
        }
    }

private:
    bool Counts(const AdjustmentEntry& e) const {
        return e.date > viewFirst_ && UsableRatio(e.ratio);
    }
    void SkipUncounted() {
        while (next_ != stop_ && !Counts(*next_))
            ++next_;
    }

    const AdjustmentEntry* next_ = nullptr;
    const AdjustmentEntry* stop_ = nullptr;
    PackedDate viewFirst_ = 0;
    double factor_ = 1.0;
};

struct DailyCopy {
    const void* prices;        // stored candles, from the view's first day
    const void* volumes;       // stored volumes, same days
    const PackedDate* days;    // daily calendar days of those elements
    std::uint32_t count;       // days in the view
    std::uint64_t volumeScale; // 10^volume exponent
    CAdjustmentWalk walk;
    SeriesView* view;
};

struct PeriodCopy {
    const void* prices;      // stored candles, from the security's first day
    const void* volumes;     // stored volumes, same days
    const PackedDate* days;  // daily calendar days of those elements
    const PackedDate* daily; // the whole daily calendar
    std::uint32_t dailyCount;
    const PackedDate* periods;   // period starts from the view's first
    std::uint32_t periodsLeft;   // period calendar entries from the view's first to the end
    std::uint32_t firstStart;    // daily position of the view's first period start
    std::uint32_t securityFirst; // daily position of the security's first day
    std::uint32_t securityEnd;   // one past the daily position of the last day to read
    std::uint64_t volumeScale;
    CAdjustmentWalk walk;
    SeriesView* view;

    // Daily position one past period `j`, given the position where it starts. The last period
    // of the calendar runs to the last daily day.
    std::uint32_t PeriodEnd(std::uint32_t j, std::uint32_t start) const {
        if (j + 1 >= periodsLeft)
            return dailyCount;
        return static_cast<std::uint32_t>(
            std::lower_bound(daily + start, daily + dailyCount, periods[j + 1]) - daily);
    }
};

template <class Out, class Stored> inline Candle<Out> Widened(const Candle<Stored>& c) {
    return {static_cast<Out>(c.open), static_cast<Out>(c.high), static_cast<Out>(c.low),
            static_cast<Out>(c.close)};
}

template <class Stored> inline Candle<std::uint32_t> Rounded(const Candle<Stored>& c, double f) {
    return {SaturatedPrice(c.open / f + 0.5), SaturatedPrice(c.high / f + 0.5),
            SaturatedPrice(c.low / f + 0.5), SaturatedPrice(c.close / f + 0.5)};
}

template <class Stored> inline Candle<std::uint32_t> Truncated(const Candle<Stored>& c, double f) {
    return {SaturatedPrice(c.open / f), SaturatedPrice(c.high / f), SaturatedPrice(c.low / f),
            SaturatedPrice(c.close / f)};
}

// Folds one day into a period's candle. Open and close are not the first open and the last
// close: they merge as bodies, by whether the period so far and the day rise or fall. The
// cases are kept exactly, odd ones included, because period candles elsewhere match them.
template <class Price> inline void MergeDay(Candle<Price>& s, const Candle<Price>& d) {
    s.high = std::max(s.high, d.high);
    s.low = std::min(s.low, d.low);
    const bool periodRising = s.open <= s.close;
    const bool dayRising = d.open <= d.close;
    if (periodRising) {
        if (dayRising) {
            s.open = std::min(s.open, d.open);
            s.close = std::max(s.close, d.close);
        } else if (d.open > s.close) {
            s.close = std::min(s.open, d.close);
            s.open = d.open;
        } else if (d.close > s.open) {
            s.open = d.close;
        }
    } else {
        if (!dayRising) {
            s.open = std::max(s.open, d.open);
            s.close = std::min(s.close, d.close);
        } else if (d.close > s.open) {
            s.open = std::min(s.close, d.open);
            s.close = d.close;
        } else {
            s.close = std::min(s.close, d.open);
        }
    }
}

template <class StoredPrice, class StoredVolume, class OutPrice>
bool CopyDaily(const DailyCopy& job) {
    const auto* source = static_cast<const Candle<StoredPrice>*>(job.prices);
    const auto* stored = static_cast<const StoredVolume*>(job.volumes);
    Candle<OutPrice>* out = job.view->Candles<OutPrice>();
    std::uint64_t* volumes = job.view->volumes.get();
    const std::uint32_t n = job.count;
    std::uint32_t i = 0;
    if constexpr (std::is_same_v<OutPrice, std::uint32_t>) {
        CAdjustmentWalk walk = job.walk;
        const double scale = static_cast<double>(job.volumeScale);
        while (i < n && walk.Active()) {
            // Every day before the next entry's date shares one factor.
            const auto end = static_cast<std::uint32_t>(
                std::lower_bound(job.days + i, job.days + n, walk.NextDate()) - job.days);
            const double f = walk.Factor();
            for (; i < end; ++i) {
                out[i] = Rounded(source[i], f);
                volumes[i] = SaturatedVolume(static_cast<double>(stored[i]) * scale * f);
            }
            if (i < n)
                walk.Reach(job.days[i]);
        }
    }
    for (; i < n; ++i) {
        out[i] = Widened<OutPrice>(source[i]);
        volumes[i] = SaturatingMultiply(static_cast<std::uint64_t>(stored[i]), job.volumeScale);
    }
    return true;
}

template <class StoredPrice, class StoredVolume, class OutPrice>
bool CopyPeriods(const PeriodCopy& job) {
    const auto* source = static_cast<const Candle<StoredPrice>*>(job.prices);
    const auto* stored = static_cast<const StoredVolume*>(job.volumes);
    Candle<OutPrice>* out = job.view->Candles<OutPrice>();
    std::uint64_t* volumes = job.view->volumes.get();
    CAdjustmentWalk walk = job.walk;
    const double scale = static_cast<double>(job.volumeScale);
    std::uint32_t start = job.firstStart;
    for (std::uint32_t j = 0; j < job.view->count; ++j) {
        const std::uint32_t end = job.PeriodEnd(j, start);
        // Element indices of the security's own days in this period.
        const std::uint32_t first = std::max(start, job.securityFirst) - job.securityFirst;
        const std::uint32_t last = std::min(end, job.securityEnd);
        start = end;
        if (last <= first + job.securityFirst)
            return false; // period calendar out of step with the daily one
        const std::uint32_t stop = last - job.securityFirst;

        std::uint64_t storedSum = 0;   // days on the stored basis, exponent not yet applied
        std::uint64_t adjustedSum = 0; // adjusted days, exponent applied
        Candle<OutPrice> period{};
        for (std::uint32_t k = first; k < stop; ++k) {
            Candle<OutPrice> day;
            bool adjusted = false;
            if constexpr (std::is_same_v<OutPrice, std::uint32_t>) {
                if (walk.Active() && job.days[k] >= walk.NextDate())
                    walk.Reach(job.days[k]);
                if (walk.Active()) {
                    const double f = walk.Factor();
                    day = Truncated(source[k], f);
                    adjustedSum = SaturatingAdd(
                        adjustedSum, SaturatedVolume(static_cast<double>(stored[k]) * scale * f));
                    adjusted = true;
                }
            }
            if (!adjusted) {
                day = Widened<OutPrice>(source[k]);
                storedSum = SaturatingAdd(storedSum, static_cast<std::uint64_t>(stored[k]));
            }
            if (k == first)
                period = day;
            else
                MergeDay(period, day);
        }
        out[j] = period;
        volumes[j] = SaturatingAdd(adjustedSum, SaturatingMultiply(storedSum, job.volumeScale));
    }
    return true;
}

using DailyCopyFn = bool (*)(const DailyCopy&);
using PeriodCopyFn = bool (*)(const PeriodCopy&);

struct CopyRoutines {
    DailyCopyFn daily;
    PeriodCopyFn periods;
};

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;

// Index: 0 keeps the stored price width, 1 widens to u32 for adjusted output.
template <class P, class V>
constexpr std::array<CopyRoutines, 2> kByOutput = {
    {{&CopyDaily<P, V, P>, &CopyPeriods<P, V, P>},
     {&CopyDaily<P, V, u32>, &CopyPeriods<P, V, u32>}}};

template <class P>
constexpr std::array<std::array<CopyRoutines, 2>, 4> kByVolume = {
    kByOutput<P, u8>, kByOutput<P, u16>, kByOutput<P, u32>, kByOutput<P, u64>};

// [stored price encoding][stored volume encoding - 3][adjusted output]
constexpr std::array<std::array<std::array<CopyRoutines, 2>, 4>, 3> kCopyRoutines = {
    kByVolume<u8>, kByVolume<u16>, kByVolume<u32>};

struct Span {
    std::uint32_t first;
    std::uint32_t last;
};

// The positions of the calendar days not after `from` and `to` (the first day when a date
// precedes the calendar).
bool ViewSpan(const CCalendar& calendar, PackedDate from, PackedDate to, Span& span) {
    if (calendar.Empty())
        return false;
    const auto at = [&calendar](PackedDate date) {
        const unsigned short* p = calendar.Lookup(date, SearchMode::LowerBound);
        std::uint32_t position = (p == nullptr || p == calendar.End())
                                     ? calendar.Count() - 1u
                                     : static_cast<std::uint32_t>(p - calendar.Data());
        if (calendar[position] > date && position > 0)
            --position;
        return position;
    };
    span = {at(from), at(to)};
    return span.last >= span.first;
}

bool FillView(const CCalendar& calendar, const Span& span, SeriesView& view, std::uint16_t encoding,
              std::uint16_t previousEncoding) {
    const std::size_t elementSize = IsPriceType(encoding) ? ElementSize(encoding) : 0;
    if (elementSize == 0) {
        view.Free();
        return false;
    }
    const std::uint32_t n = span.last - span.first + 1;
    if (view.prices && view.volumes && encoding == previousEncoding && view.capacity >= n) {
        std::memset(view.prices.get(), 0, n * elementSize);
        std::memset(view.volumes.get(), 0, n * sizeof(std::uint64_t));
    } else {
        view.Free();
        view.prices = AllocateZeroed(n * elementSize);
        view.volumes.reset(new (std::nothrow) std::uint64_t[n]());
        if (!view.prices || !view.volumes) {
            view.Free();
            return false;
        }
        view.capacity = n;
    }
    view.firstDate = calendar[span.first];
    view.lastDate = calendar[span.last];
    view.count = static_cast<std::uint16_t>(n);
    return true;
}

// Position of the first element of `calendar` not less than `date` (count when none).
std::uint32_t LowerPosition(const CCalendar& calendar, PackedDate date) {
    const unsigned short* data = calendar.Data();
    return static_cast<std::uint32_t>(std::lower_bound(data, data + calendar.Count(), date) - data);
}

bool Extract(const CMarketMatrix& matrix, PeriodKind period, SeriesSet& out,
             const SecurityRecord* security, PackedDate from, PackedDate to) {
    if (security == nullptr || security->firstDate > to || security->lastDate < from)
        return false;
    const TypedArray& prices = security->prices;
    const TypedArray& volumes = security->volumes;
    if (!IsPriceType(prices.elementType) || !IsValueType(volumes.elementType) || prices.Empty() ||
        volumes.Empty() || volumes.attribute >= kPowersOfTen.size())
        return false;

    const CCalendar& daily = matrix.DailyCalendar();
    if (daily.Empty())
        return false;
    const PackedDate a = std::max(security->firstDate, from);
    const unsigned short* pA = daily.Lookup(a, SearchMode::LowerBound);
    if (pA == nullptr || pA == daily.End())
        return false;
    const PackedDate b = std::min(security->lastDate, to);
    const unsigned short* pB = daily.Lookup(b, SearchMode::LowerBound);
    if (pB == daily.End())
        pB = daily.Last();
    if (pA > pB)
        return false;
    const int securityFirst = daily.PositionOf(security->firstDate);
    if (securityFirst < 0)
        return false;
    const auto firstPosition = static_cast<std::uint32_t>(securityFirst);
    const std::uint32_t readable = std::min(prices.count, volumes.count);

    const CCalendar& calendar = matrix.PeriodCalendar(period);
    Span span{};
    if (!ViewSpan(calendar, *pA, *pB, span))
        return false;

    const bool adjusted = HasAdjustments(security->adjustments);
    const std::uint16_t encoding = adjusted ? kPricesU32 : prices.elementType;
    const CopyRoutines& routines =
        kCopyRoutines[prices.elementType][volumes.elementType - kValueU8][adjusted ? 1 : 0];
    const AdjustmentEntry* entries = adjusted ? security->adjustments->entries.data() : nullptr;
    const AdjustmentEntry* entriesEnd =
        adjusted ? entries + security->adjustments->entries.size() : nullptr;
    const std::uint64_t volumeScale = kPowersOfTen[volumes.attribute];
    const auto elementBytes = [](const TypedArray& array, std::uint32_t index) {
        return array.data.get() + static_cast<std::size_t>(index) * ElementSize(array.elementType);
    };

    SeriesView& view = out.View(period);
    const auto prepare = [&] {
        // Every view of a result holds arrays in the result's one encoding; when that changes,
        // the other views' arrays no longer match it and could not be reused safely.
        if (encoding != out.priceEncoding)
            for (SeriesView* other : {&out.daily, &out.weekly, &out.monthly})
                if (other != &view)
                    other->Free();
        if (!FillView(calendar, span, view, encoding, out.priceEncoding)) {
            out.Free();
            return false;
        }
        out.priceEncoding = encoding;
        out.priceExponent = prices.attribute;
        return true;
    };

    if (period == PeriodKind::Daily) {
        const auto viewFirst = static_cast<std::uint32_t>(pA - daily.Data());
        const auto viewLast = static_cast<std::uint32_t>(pB - daily.Data());
        if (viewFirst < firstPosition || viewLast - firstPosition >= readable)
            return false;
        if (!prepare())
            return false;
        DailyCopy job{elementBytes(prices, viewFirst - firstPosition),
                      elementBytes(volumes, viewFirst - firstPosition),
                      daily.Data() + viewFirst,
                      view.count,
                      volumeScale,
                      {},
                      &view};
        if (adjusted) {
            const AdjustmentEntry* stop =
                std::find_if(entries, entriesEnd,
                             [&view](const AdjustmentEntry& e) { return e.date > view.lastDate; });
            job.walk = CAdjustmentWalk(entries, stop, view.firstDate);
        }
        return routines.daily(job);
    }

    // Periods run past `to` to their end, but never past the security's last day.
    const std::uint32_t firstStart = LowerPosition(daily, calendar[span.first]);
    const bool lastIsFinal = span.last + 1u >= calendar.Count();
    const std::uint32_t lastEnd =
        lastIsFinal ? daily.Count() : LowerPosition(daily, calendar[span.last + 1]);
    const std::uint32_t securityEnd = std::min(
        lastEnd, static_cast<std::uint32_t>(
                     daily.Lookup(security->lastDate, SearchMode::UpperBound) - daily.Data()));
    if (securityEnd <= firstPosition || securityEnd - firstPosition > readable)
        return false;
    if (!prepare())
        return false;
    PeriodCopy job{elementBytes(prices, 0),
                   elementBytes(volumes, 0),
                   daily.Data() + firstPosition,
                   daily.Data(),
                   daily.Count(),
                   calendar.Data() + span.first,
                   calendar.Count() - span.first,
                   firstStart,
                   firstPosition,
                   securityEnd,
                   volumeScale,
                   {},
                   &view};
    if (adjusted) {
        // Entries count up to, not including, the last daily day of the last period; for the
        // calendar's final period, the day before the last daily day.
        PackedDate limit = 0;
        if (!lastIsFinal && lastEnd > 0)
            limit = daily[lastEnd - 1];
        else if (lastIsFinal && daily.Count() >= 2)
            limit = daily[daily.Count() - 2];
        const AdjustmentEntry* stop = std::find_if(
            entries, entriesEnd, [limit](const AdjustmentEntry& e) { return e.date >= limit; });
        job.walk = CAdjustmentWalk(entries, stop, view.firstDate);
    }
    return routines.periods(job);
}

} // namespace

bool PrepareView(const CCalendar& calendar, SeriesView& view, std::uint16_t encoding,
                 PackedDate from, PackedDate to, std::uint16_t previousEncoding) {
    Span span{};
    if (!ViewSpan(calendar, from, to, span)) {
        view.Free();
        return false;
    }
    return FillView(calendar, span, view, encoding, previousEncoding);
}

bool CMarketMatrix::GetSeries(SeriesSet& out, const SecurityRecord* security, PackedDate from,
                              PackedDate to) const {
    if (!Extract(*this, PeriodKind::Daily, out, security, from, to))
        return false;
    out.adjustments = HasAdjustments(security->adjustments) ? security->adjustments.get() : nullptr;
    return true;
}

bool CMarketMatrix::GetSeriesByKey(SeriesSet& out, SecurityKey key, PackedDate from,
                                   PackedDate to) const {
    const SecurityRecord* security = FindSecurity(key);
    return security != nullptr && GetSeries(out, security, from, to);
}

bool CMarketMatrix::GetPeriodSeries(PeriodKind period, SeriesSet& out,
                                    const SecurityRecord* security, PackedDate from,
                                    PackedDate to) const {
    if (period == PeriodKind::Daily)
        return GetSeries(out, security, from, to);
    if (period != PeriodKind::Weekly && period != PeriodKind::Monthly)
        return false;
    return Extract(*this, period, out, security, from, to);
}

} // namespace vorn
