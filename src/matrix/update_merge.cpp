#include "matrix/update_merge.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

namespace vorn {
namespace {

constexpr const char* kUpdatingText = "マーケットマトリクスを更新しています";

// ---------------------------------------------------------------------------------------
// Elements of one series: a candle of four prices or a single volume.

template <class Element> struct Lane {
    static std::uint64_t Largest(Element value) { return value; }
    template <class Source> static Element From(Source value, std::uint64_t scale) {
        return static_cast<Element>(static_cast<std::uint64_t>(value) * scale);
    }
};

template <class Price> struct Lane<Candle<Price>> {
    // The high is the largest field of a sound candle; the others are looked at too so that
    // a damaged candle cannot overflow the narrower target.
    static std::uint64_t Largest(const Candle<Price>& c) {
        return std::max({static_cast<std::uint64_t>(c.open), static_cast<std::uint64_t>(c.high),
                         static_cast<std::uint64_t>(c.low), static_cast<std::uint64_t>(c.close)});
    }
    template <class Source>
    static Candle<Price> From(const Candle<Source>& c, std::uint64_t scale) {
        return {static_cast<Price>(c.open * scale), static_cast<Price>(c.high * scale),
                static_cast<Price>(c.low * scale), static_cast<Price>(c.close * scale)};
    }
};

struct PriceFamily {
    using Elements = std::tuple<Candle<std::uint8_t>, Candle<std::uint16_t>, Candle<std::uint32_t>>;
    static constexpr unsigned kFirstType = kPricesU8;
    static constexpr std::array<std::uint64_t, 3> kLargestStored = {0xFF, 0xFFFF, 0xFFFFFFFF};
};

struct VolumeFamily {
    using Elements = std::tuple<std::uint8_t, std::uint16_t, std::uint32_t, std::uint64_t>;
    static constexpr unsigned kFirstType = kValueU8;
    static constexpr std::array<std::uint64_t, 4> kLargestStored = {
        0xFF, 0xFFFF, 0xFFFFFFFF, std::numeric_limits<std::uint64_t>::max()};
};

template <class Family>
constexpr std::size_t kWidths = std::tuple_size_v<typename Family::Elements>;
template <class Family, std::size_t I>
using ElementAt = std::tuple_element_t<I, typename Family::Elements>;

// Index of the narrowest width that stores `value`, or -1 when none does.
template <class Family> int NarrowestWidth(std::uint64_t value) {
    for (std::size_t i = 0; i < kWidths<Family>; ++i)
        if (value <= Family::kLargestStored[i])
            return static_cast<int>(i);
    return -1;
}

// 10^exponent, or 0 when it does not fit 64 bits.
std::uint64_t PowerOfTen(unsigned exponent) {
    if (exponent > 19)
        return 0;
    std::uint64_t power = 1;
    for (unsigned i = 0; i < exponent; ++i)
        power *= 10;
    return power;
}

// The main elements followed by the fresh ones, each rescaled, in the target width.
template <class MainElement, class UpdateElement, class TargetElement>
std::unique_ptr<std::uint8_t[]>
ConvertSeries(const std::uint8_t* mainData, std::size_t mainCount, std::uint64_t mainScale,
              const std::uint8_t* freshData, std::size_t freshCount, std::uint64_t freshScale) {
    auto out = AllocateZeroed((mainCount + freshCount) * sizeof(TargetElement));
    if (!out)
        return nullptr;
    auto* target = reinterpret_cast<TargetElement*>(out.get());
    const auto* main = reinterpret_cast<const MainElement*>(mainData);
    for (std::size_t i = 0; i < mainCount; ++i)
        target[i] = Lane<TargetElement>::From(main[i], mainScale);
    const auto* fresh = reinterpret_cast<const UpdateElement*>(freshData);
    for (std::size_t i = 0; i < freshCount; ++i)
        target[mainCount + i] = Lane<TargetElement>::From(fresh[i], freshScale);
    return out;
}

template <class Family> struct ConvertTable {
    using Fn = std::unique_ptr<std::uint8_t[]> (*)(const std::uint8_t*, std::size_t, std::uint64_t,
                                                   const std::uint8_t*, std::size_t, std::uint64_t);
    static constexpr std::size_t K = kWidths<Family>;
    // Indexed by (main width × K + update width) × K + target width.
    static constexpr std::array<Fn, K* K* K> kFns =
        []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<Fn, K * K * K>{
            &ConvertSeries<ElementAt<Family, I / (K * K)>, ElementAt<Family, (I / K) % K>,
                           ElementAt<Family, I % K>>...};
    }
    (std::make_index_sequence<K * K * K>{});
};

template <class Element> std::uint64_t LargestElement(const std::uint8_t* data, std::size_t count) {
    const auto* elements = reinterpret_cast<const Element*>(data);
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i < count; ++i)
        largest = std::max(largest, Lane<Element>::Largest(elements[i]));
    return largest;
}

// Builds `result` from the main series and the last `freshCount` update elements: chooses the
// target width and exponent, then converts both parts. False when the rescaled values do not
// fit any width or memory runs out.
template <class Family, class MainElement, class UpdateElement>
bool PlanSeries(const TypedArray& main, const TypedArray& update, std::uint16_t freshCount,
                TypedArray& result) {
    constexpr std::size_t K = kWidths<Family>;
    const std::size_t mainWidth = main.elementType - Family::kFirstType;
    const std::size_t updateWidth = update.elementType - Family::kFirstType;
    const std::uint8_t* fresh =
        update.data.get() +
        static_cast<std::size_t>(update.count - freshCount) * sizeof(UpdateElement);

    std::size_t targetWidth = std::max(mainWidth, updateWidth);
    std::uint8_t targetExponent = main.attribute;
    std::uint64_t mainScale = 1;
    std::uint64_t freshScale = 1;
    if (main.attribute != update.attribute) {
        const bool mainIsFiner = main.attribute < update.attribute;
        targetExponent = std::min(main.attribute, update.attribute);
        const std::uint64_t scale = PowerOfTen(
            static_cast<unsigned>(std::max(main.attribute, update.attribute) - targetExponent));
        if (scale == 0)
            return false;
        const std::uint64_t largest =
            mainIsFiner ? LargestElement<UpdateElement>(fresh, freshCount)
                        : LargestElement<MainElement>(main.data.get(), main.count);
        if (largest > std::numeric_limits<std::uint64_t>::max() / scale)
            return false;
        const int needed = NarrowestWidth<Family>(largest * scale);
        if (needed < 0)
            return false;
        targetWidth =
            std::max(static_cast<std::size_t>(needed), mainIsFiner ? mainWidth : updateWidth);
        (mainIsFiner ? freshScale : mainScale) = scale;
    }

    const auto convert =
        ConvertTable<Family>::kFns[(mainWidth * K + updateWidth) * K + targetWidth];
    auto data = convert(main.data.get(), main.count, mainScale, fresh, freshCount, freshScale);
    if (!data)
        return false;
    result.elementType = static_cast<std::uint16_t>(Family::kFirstType + targetWidth);
    result.attribute = targetExponent;
    result.count = static_cast<std::uint16_t>(main.count + freshCount);
    result.data = std::move(data);
    return true;
}

template <class Family> struct PlanTable {
    using Fn = bool (*)(const TypedArray&, const TypedArray&, std::uint16_t, TypedArray&);
    static constexpr std::size_t K = kWidths<Family>;
    // Indexed by main width × K + update width.
    static constexpr std::array<Fn, K* K> kFns = []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<Fn, K * K>{
            &PlanSeries<Family, ElementAt<Family, I / K>, ElementAt<Family, I % K>>...};
    }
    (std::make_index_sequence<K * K>{});
};

template <class Family> bool IsFamilyType(unsigned type) {
    return type >= Family::kFirstType && type < Family::kFirstType + kWidths<Family>;
}

// Checks what the merge reads of both arrays, then builds the merged series.
template <class Family>
bool MergeSeries(const TypedArray& main, const TypedArray& update, std::uint16_t freshCount,
                 TypedArray& result) {
    if (!IsFamilyType<Family>(main.elementType) || !IsFamilyType<Family>(update.elementType))
        return false;
    if (update.Empty() || update.count < freshCount)
        return false;
    if (main.count > 0 && !main.data)
        return false;
    if (static_cast<std::uint32_t>(main.count) + freshCount > 0xFFFF)
        return false;
    const std::size_t K = kWidths<Family>;
    const auto plan = PlanTable<Family>::kFns[(main.elementType - Family::kFirstType) * K +
                                              (update.elementType - Family::kFirstType)];
    return plan(main, update, freshCount, result);
}

// ---------------------------------------------------------------------------------------
// Company histories: entries of a PackedDate followed by a value, unaligned.

enum class HistoryOutcome { Unchanged, Merged, Failed };

template <class Value>
constexpr std::uint16_t kValueTypeOf = sizeof(Value) == 1   ? kValueU8
                                       : sizeof(Value) == 2 ? kValueU16
                                       : sizeof(Value) == 4 ? kValueU32
                                                            : kValueU64;

template <class Value> struct HistoryCursor {
    static constexpr std::size_t kEntry = 2 + sizeof(Value);
    const std::uint8_t* data;
    PackedDate DateAt(std::size_t i) const {
        return static_cast<PackedDate>(ReadUnsigned(data + i * kEntry, 2));
    }
    std::uint64_t ValueAt(std::size_t i) const {
        return ReadUnsigned(data + i * kEntry + 2, sizeof(Value));
    }
};

template <class MainValue, class UpdateValue>
HistoryOutcome MergeHistoryEntries(const TypedArray& main, const TypedArray& update,
                                   TypedArray& merged) {
    using Target =
        std::conditional_t<(sizeof(MainValue) >= sizeof(UpdateValue)), MainValue, UpdateValue>;
    constexpr std::size_t kTargetEntry = 2 + sizeof(Target);
    const HistoryCursor<MainValue> mainEntries{main.data.get()};
    const HistoryCursor<UpdateValue> updateEntries{update.data.get()};
    const PackedDate lastDate = mainEntries.DateAt(main.count - 1);
    const std::uint64_t lastValue = mainEntries.ValueAt(main.count - 1);

    std::size_t start = 0;
    while (start < update.count &&
           (updateEntries.DateAt(start) <= lastDate || updateEntries.ValueAt(start) == lastValue))
        ++start;
    if (start == update.count)
        return HistoryOutcome::Unchanged;
    const std::size_t total = main.count + (update.count - start);
    if (total > 0xFFFF)
        return HistoryOutcome::Failed;
    auto data = AllocateZeroed(total * kTargetEntry);
    if (!data)
        return HistoryOutcome::Failed;
    std::uint8_t* out = data.get();
    for (std::size_t i = 0; i < main.count; ++i, out += kTargetEntry) {
        WriteUnsigned(out, 2, mainEntries.DateAt(i));
        WriteUnsigned(out + 2, sizeof(Target), mainEntries.ValueAt(i));
    }
    for (std::size_t i = start; i < update.count; ++i, out += kTargetEntry) {
        WriteUnsigned(out, 2, updateEntries.DateAt(i));
        WriteUnsigned(out + 2, sizeof(Target), updateEntries.ValueAt(i));
    }
    merged.elementType = kValueTypeOf<Target>;
    merged.attribute = update.attribute;
    merged.count = static_cast<std::uint16_t>(total);
    merged.data = std::move(data);
    return HistoryOutcome::Merged;
}

using HistoryMergeFn = HistoryOutcome (*)(const TypedArray&, const TypedArray&, TypedArray&);
// Indexed by (main type − 3) × 4 + (update type − 3).
constexpr auto kHistoryMerges = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<HistoryMergeFn, 16>{
        &MergeHistoryEntries<ElementAt<VolumeFamily, I / 4>, ElementAt<VolumeFamily, I % 4>>...};
}
(std::make_index_sequence<16>{});

void TakeText(std::optional<std::string>& update, std::optional<std::string>& main) {
    if (!update.has_value() || (main.has_value() && *main == *update))
        return;
    main = std::move(update);
    update.reset();
}

// ---------------------------------------------------------------------------------------
// Adjustments.

// Main's entries, then the update's, an update entry replacing a main entry of the same date;
// ascending by date. Null when memory runs out.
std::unique_ptr<AdjustmentList> UniteAdjustments(const AdjustmentList& main,
                                                 const AdjustmentList& update) {
    try {
        auto united = std::make_unique<AdjustmentList>();
        united->entries.reserve(main.entries.size() + update.entries.size());
        for (const AdjustmentEntry& entry : main.entries) {
            const bool replaced = std::any_of(
                update.entries.begin(), update.entries.end(),
                [&entry](const AdjustmentEntry& other) { return other.date == entry.date; });
            if (!replaced)
                united->entries.push_back(entry);
        }
        united->entries.insert(united->entries.end(), update.entries.begin(), update.entries.end());
        std::stable_sort(
            united->entries.begin(), united->entries.end(),
            [](const AdjustmentEntry& a, const AdjustmentEntry& b) { return a.date < b.date; });
        if (united->entries.size() > 0xFFFF)
            return nullptr;
        return united;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// ---------------------------------------------------------------------------------------
// The merge of whole matrices.

// Appends the update's days after the main matrix's last day; all or nothing.
MergeResult AppendTradingDays(CMarketMatrix& mainMatrix, const CCalendar& updateDays,
                               std::uint16_t firstNew) {
    CCalendar& days = mainMatrix.DailyCalendar();
    const std::uint16_t before = days.Count();
    const std::uint32_t added = updateDays.Count() - firstNew;
    if (before + added > CCalendar::kMaxKeys)
        return kMergeSecurityFailed;
    for (std::uint16_t i = firstNew; i < updateDays.Count(); ++i) {
        const std::uint16_t count = days.Count();
        days.Insert(updateDays[i]);
        if (days.Count() != count + 1) {
            days.Truncate(before);
            return kMergeSecurityFailed;
        }
    }
    mainMatrix.RebuildPeriodCalendars();
    return kMergeOk;
}

MergeResult MergeMatrices(CEvent* cancel, CMarketMatrix& mainMatrix, CMarketMatrix& update) {
    mainMatrix.PostProgress(0);
    mainMatrix.PostProgressText(kUpdatingText);

    const CCalendar& mainDays = mainMatrix.DailyCalendar();
    if (mainDays.Empty())
        return kMergeEmptyCalendar;
    const PackedDate lastDay = *mainDays.Last();
    const CCalendar& updateDays = update.DailyCalendar();
    const PackedDate* firstNew = updateDays.Lookup(lastDay, SearchMode::UpperBound);
    if (firstNew == nullptr || firstNew == updateDays.End())
        return kMergeNoNewDays;
    const PackedDate firstNewDay = *firstNew;
    const auto firstNewPosition = static_cast<std::uint16_t>(firstNew - updateDays.Data());

    if (const MergeResult result = AppendTradingDays(mainMatrix, updateDays, firstNewPosition);
        result != kMergeOk)
        return result;
    mainMatrix.PostProgress(1);

    auto& securities = update.Securities();
    const std::size_t total = securities.size();
    std::size_t index = 0;
    for (auto it = securities.begin(); it != securities.end(); ++index) {
        const auto next = std::next(it);
        if (index & 32) {
            if (IsSignalled(cancel))
                return kMergeCancelled;
            mainMatrix.PostProgress(static_cast<std::uint16_t>((index * 99 + total / 2) / total));
        }
        SecurityRecord& fresh = it->second;
        if (fresh.lastDate >= firstNewDay) {
            SecurityRecord* held = mainMatrix.FindSecurity(it->first);
            if (held == nullptr) {
                if (const MergeResult result = MoveSecurity(mainMatrix, update, it);
                    result != kMergeOk)
                    return result;
            } else if (held->lastDate == lastDay) {
                // A security that stopped before the last day is no longer updated.
                const int lastPosition = updateDays.PositionOf(fresh.lastDate);
                if (lastPosition >= firstNewPosition && !fresh.prices.Empty() &&
                    !fresh.volumes.Empty()) {
                    const auto newDays =
                        static_cast<std::uint16_t>(lastPosition - firstNewPosition + 1);
                    if (!MergeSecurity(newDays, fresh, *held))
                        return kMergeSecurityFailed;
                }
            }
        }
        it = next;
    }
    mainMatrix.PostProgress(100);
    return kMergeOk;
}

} // namespace

MergeResult MoveSecurity(CMarketMatrix& mainMatrix, CMarketMatrix& update,
                          CMarketMatrix::SecurityMap::iterator position) {
    SecurityRecord& security = position->second;
    if (security.company == nullptr)
        return kMergeMoveFailed;
    const std::uint16_t code = CodeOfKey(position->first);
    CompanyRecord* mainCompany = mainMatrix.FindCompany(code);
    if (mainCompany == nullptr) {
        // Node handles keep the record's address, so every update security pointing at this
        // company points into the main matrix afterwards.
        auto company = update.Companies().extract(code);
        if (company.empty())
            return kMergeMoveFailed;
        if (&company.mapped() != security.company) {
            update.Companies().insert(std::move(company));
            return kMergeMoveFailed;
        }
        auto placed = mainMatrix.Companies().insert(std::move(company));
        if (!placed.inserted) {
            update.Companies().insert(std::move(placed.node));
            return kMergeMoveFailed;
        }
    } else if (mainCompany != security.company) {
        if (!MergeCompany(*security.company, *mainCompany))
            return kMergeCompanyFailed;
        security.company = mainCompany;
    }
    auto node = update.Securities().extract(position);
    auto placed = mainMatrix.Securities().insert(std::move(node));
    if (!placed.inserted) {
        update.Securities().insert(std::move(placed.node));
        return kMergeMoveFailed;
    }
    return kMergeOk;
}

bool MergeCompany(CompanyRecord& update, CompanyRecord& main) {
    if (&update == &main)
        return true;
    // Everything that can fail comes first, so that a failure leaves `main` as it was.
    TypedArray merged;
    bool takeHistory = false;
    bool replaceHistory = false;
    if (!update.history.Empty()) {
        if (!IsValueType(update.history.elementType))
            return false;
        if (main.history.Empty()) {
            takeHistory = true;
        } else {
            if (!IsValueType(main.history.elementType))
                return false;
            const auto merge = kHistoryMerges[(main.history.elementType - kValueU8) * 4 +
                                              (update.history.elementType - kValueU8)];
            const HistoryOutcome outcome = merge(main.history, update.history, merged);
            if (outcome == HistoryOutcome::Failed)
                return false;
            replaceHistory = outcome == HistoryOutcome::Merged;
        }
    }

    main.markets = update.markets;
    main.industry = update.industry;
    TakeText(update.name, main.name);
    TakeText(update.text, main.text);
    if (takeHistory) {
        main.history = std::move(update.history);
        update.history = TypedArray{};
    } else if (replaceHistory) {
        main.history = std::move(merged);
    }
    return true;
}

bool MergeSecurity(std::uint16_t newDays, SecurityRecord& update, SecurityRecord& main) {
    if (newDays == 0 || update.company == nullptr || main.company == nullptr)
        return false;
    TypedArray prices;
    if (!MergeSeries<PriceFamily>(main.prices, update.prices, newDays, prices))
        return false;
    TypedArray volumes;
    if (!MergeSeries<VolumeFamily>(main.volumes, update.volumes, newDays, volumes))
        return false;
    std::unique_ptr<AdjustmentList> united;
    const bool bothAdjusted =
        HasAdjustments(update.adjustments) && HasAdjustments(main.adjustments);
    if (bothAdjusted) {
        united = UniteAdjustments(*main.adjustments, *update.adjustments);
        if (!united)
            return false;
    }
    if (!MergeCompany(*update.company, *main.company))
        return false;

    main.tradingUnit = update.tradingUnit;
    main.listingFlags = update.listingFlags;
    main.lastDate = update.lastDate;
    main.prices = std::move(prices);
    main.volumes = std::move(volumes);
    if (bothAdjusted)
        main.adjustments = std::move(united);
    else if (HasAdjustments(update.adjustments))
        main.adjustments = std::move(update.adjustments);
    return true;
}

std::string_view Describe(MergeResult result) {
    switch (result) {
    case MergeResult::Ok:
        return "merged";
    case MergeResult::EmptyCalendar:
        return "the content file has no trading day to continue from";
    case MergeResult::NoNewDays:
        return "the update holds no day after the content file's last day";
    case MergeResult::CompanyFailed:
        return "a company of the update could not be merged";
    case MergeResult::MoveFailed:
        return "a new security of the update could not be added";
    case MergeResult::SecurityFailed:
        return "a security's new days could not be merged";
    case MergeResult::Cancelled:
        return "cancelled";
    }
    return "unknown merge result";
}

MergeResult MergeUpdate(CEvent* cancel, IMessageSink* sink, CMarketMatrix& mainMatrix,
                        CMarketMatrix& update) {
    mainMatrix.SetProgressTarget(
        ProgressTarget{sink, kMsgProgress, kProgressPercent, kProgressText, kProgressFailure});
    const MergeResult result = MergeMatrices(cancel, mainMatrix, update);
    if (result != kMergeOk)
        mainMatrix.PostFailure(ResultCode(result));
    mainMatrix.ClearProgressTarget();
    return result;
}

} // namespace vorn
