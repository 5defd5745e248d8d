#include "support/market_builder.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/calendar_math.h"

namespace vorn::test {

std::vector<Ohlcv> SteppedRows(int count, std::uint32_t base) {
    std::vector<Ohlcv> rows;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t level = base + static_cast<std::uint32_t>((i / 5) % 3) * 40;
        rows.push_back({level, level + 4, level - 3, level + 1, 1000u + (i * 37u) % 500u});
    }
    return rows;
}

std::vector<PackedDate> Weekdays(PackedDate first, int count) {
    std::vector<PackedDate> days;
    PackedDate day = first;
    while (static_cast<int>(days.size()) < count) {
        const unsigned weekday = WeekdayOfPackedDate(day);
        if (weekday != 0 && weekday != 6)
            days.push_back(day);
        day = AddDaysToPackedDate(day, 1);
    }
    return days;
}

CMarketBuilder& CMarketBuilder::Calendar(std::vector<PackedDate> days) {
    calendar_ = std::move(days);
    return *this;
}

CMarketBuilder& CMarketBuilder::Company(std::uint16_t code, std::uint8_t industry,
                                        std::string name, std::string text) {
    for (auto& c : companies_)
        if (c.code == code) {
            c.industry = industry;
            c.name = std::move(name);
            c.text = std::move(text);
            return *this;
        }
    companies_.push_back({code, industry, std::move(name), std::move(text), {}, kNarrowest});
    return *this;
}

CMarketBuilder& CMarketBuilder::Security(std::uint16_t code, std::uint8_t market,
                                         PackedDate first, std::vector<Ohlcv> rows, int priceType,
                                         int volumeType, std::uint8_t priceExponent,
                                         std::uint8_t volumeExponent) {
    if (std::none_of(companies_.begin(), companies_.end(),
                     [code](const CompanyPlan& c) { return c.code == code; }))
        Company(code);
    securities_.push_back({code, market, first, std::move(rows), priceType, volumeType,
                           priceExponent, volumeExponent, 1, 0, {}});
    return *this;
}

CMarketBuilder::SecurityPlan* CMarketBuilder::FindPlan(std::uint16_t code, std::uint8_t market) {
    for (auto& s : securities_)
        if (s.code == code && s.market == market)
            return &s;
    throw std::logic_error("CMarketBuilder: unknown security");
}

CMarketBuilder& CMarketBuilder::Adjustment(std::uint16_t code, std::uint8_t market,
                                           PackedDate date, double ratio, std::uint8_t kind) {
    auto& list = FindPlan(code, market)->adjustments;
    list.push_back({date, kind, ratio});
    std::sort(list.begin(), list.end(),
              [](const AdjustmentEntry& a, const AdjustmentEntry& b) { return a.date < b.date; });
    return *this;
}

CMarketBuilder& CMarketBuilder::History(std::uint16_t code,
                                        std::vector<std::pair<PackedDate, std::uint64_t>> entries,
                                        int valueType) {
    for (auto& c : companies_)
        if (c.code == code) {
            c.history = std::move(entries);
            c.historyType = valueType;
            return *this;
        }
    throw std::logic_error("CMarketBuilder: unknown company");
}

CMarketBuilder& CMarketBuilder::Flags(std::uint16_t code, std::uint8_t market,
                                      std::uint8_t tradingUnit, std::uint8_t listingFlags) {
    SecurityPlan* plan = FindPlan(code, market);
    plan->tradingUnit = tradingUnit;
    plan->listingFlags = listingFlags;
    return *this;
}

namespace {

int NarrowestValueType(std::uint64_t largest) {
    if (largest <= 0xFF)
        return kValueU8;
    if (largest <= 0xFFFF)
        return kValueU16;
    if (largest <= 0xFFFFFFFFull)
        return kValueU32;
    return kValueU64;
}

template <class Price> void StorePrices(TypedArray& array, const std::vector<Ohlcv>& rows) {
    auto* candles = array.As<Candle<Price>>();
    for (std::size_t i = 0; i < rows.size(); ++i)
        candles[i] = {static_cast<Price>(rows[i].open), static_cast<Price>(rows[i].high),
                      static_cast<Price>(rows[i].low), static_cast<Price>(rows[i].close)};
}

} // namespace

std::unique_ptr<CMarketMatrix> CMarketBuilder::Build() const {
    auto matrix = std::make_unique<CMarketMatrix>();
    BuildInto(*matrix);
    return matrix;
}

void CMarketBuilder::BuildInto(CMarketMatrix& matrix) const {
    matrix.Clear();
    const std::vector<PackedDate> calendar =
        calendar_.empty() ? Weekdays(MakePackedDate(2007, 1, 4), 60) : calendar_;
    for (PackedDate day : calendar)
        matrix.AddTradingDay(day);
    matrix.RebuildPeriodCalendars();
    for (const auto& plan : companies_) {
        CompanyRecord* company = matrix.FindOrAddCompany(plan.code, plan.industry);
        if (!plan.name.empty())
            company->name = plan.name;
        if (!plan.text.empty())
            company->text = plan.text;
        if (!plan.history.empty()) {
            std::uint64_t largest = 0;
            for (const auto& e : plan.history)
                largest = std::max(largest, e.second);
            const int type = plan.historyType == kNarrowest ? NarrowestValueType(largest)
                                                             : plan.historyType;
            TypedArray& history = company->history;
            history.elementType = static_cast<std::uint16_t>(type);
            history.count = static_cast<std::uint16_t>(plan.history.size());
            history.data = AllocateZeroed(history.HistoryByteSize());
            const std::size_t entry = HistoryEntrySize(type);
            for (std::size_t i = 0; i < plan.history.size(); ++i) {
                WriteUnsigned(history.data.get() + i * entry, 2, plan.history[i].first);
                WriteUnsigned(history.data.get() + i * entry + 2, entry - 2,
                              plan.history[i].second);
            }
        }
    }
    const CCalendar& daily = matrix.DailyCalendar();
    for (const auto& plan : securities_) {
        SecurityRecord* security = matrix.FindOrAddSecurity(plan.code, plan.market);
        const int firstPosition = daily.PositionOf(plan.first);
        if (firstPosition < 0 || firstPosition + plan.rows.size() > daily.Count())
            throw std::logic_error("CMarketBuilder: rows do not fit the calendar");
        security->tradingUnit = plan.tradingUnit;
        security->listingFlags = plan.listingFlags;
        const auto count = static_cast<std::uint16_t>(plan.rows.size());
        security->firstDate = count ? plan.first : 0;
        security->lastDate = count ? daily[firstPosition + count - 1] : 0;
        std::uint64_t highest = 0, largestVolume = 0;
        for (const auto& r : plan.rows) {
            highest = std::max<std::uint64_t>({highest, r.open, r.high, r.low, r.close});
            largestVolume = std::max(largestVolume, r.volume);
        }
        const int priceType = plan.priceType != kNarrowest ? plan.priceType
                              : highest <= 0xFF            ? kPricesU8
                              : highest <= 0xFFFF          ? kPricesU16
                                                           : kPricesU32;
        const int volumeType =
            plan.volumeType != kNarrowest ? plan.volumeType : NarrowestValueType(largestVolume);
        security->prices.elementType = static_cast<std::uint16_t>(priceType);
        security->prices.attribute = plan.priceExponent;
        security->prices.count = count;
        security->volumes.elementType = static_cast<std::uint16_t>(volumeType);
        security->volumes.attribute = plan.volumeExponent;
        security->volumes.count = count;
        if (count) {
            security->prices.data = AllocateZeroed(security->prices.ByteSize());
            security->volumes.data = AllocateZeroed(security->volumes.ByteSize());
            switch (priceType) {
            case kPricesU8: StorePrices<std::uint8_t>(security->prices, plan.rows); break;
            case kPricesU16: StorePrices<std::uint16_t>(security->prices, plan.rows); break;
            default: StorePrices<std::uint32_t>(security->prices, plan.rows); break;
            }
            const std::size_t width = ElementSize(volumeType);
            for (std::size_t i = 0; i < count; ++i)
                WriteUnsigned(security->volumes.data.get() + i * width, width,
                              plan.rows[i].volume);
        }
        if (!plan.adjustments.empty()) {
            security->adjustments = std::make_unique<AdjustmentList>();
            security->adjustments->entries = plan.adjustments;
        }
    }
}

} // namespace vorn::test
