#include "matrix/market_matrix.h"

#include <algorithm>
#include <new>

#include "foundation/calendar_math.h"
#include "matrix/restore_context.h"
#include "matrix/stock_code.h"

namespace vorn {
namespace {

constexpr std::uint8_t kMaxMarketCode = 15;

} // namespace

std::unique_ptr<std::uint8_t[]> AllocateZeroed(std::size_t bytes) {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes ? bytes : 1]());
}

PackedDate CompanyRecord::HistoryDate(std::size_t index) const {
    return static_cast<PackedDate>(
        ReadUnsigned(history.data.get() + index * HistoryEntrySize(history.elementType), 2));
}

std::uint64_t CompanyRecord::HistoryValue(std::size_t index) const {
    const std::size_t width = ElementSize(history.elementType);
    return ReadUnsigned(history.data.get() + index * (2 + width) + 2, width);
}

std::uint64_t CompanyRecord::HistoryValueAt(PackedDate date, PackedDate* entryDate) const {
    if (history.Empty() || !IsValueType(history.elementType)) {
        if (entryDate)
            *entryDate = 0;
        return 0;
    }
    std::size_t used = 0;
    for (std::size_t i = 0; i < history.count; ++i) {
        if (HistoryDate(i) > date)
            break;
        used = i;
    }
    if (entryDate)
        *entryDate = HistoryDate(used);
    return HistoryValue(used);
}

std::uint32_t SecurityRecord::TradingUnit() const {
    std::uint32_t unit = tradingUnit & 0x1F;
    for (unsigned i = 0; i < (tradingUnit >> 5); ++i)
        unit *= 10;
    return unit;
}

std::uint64_t SecurityRecord::StoredVolume(std::size_t index) const {
    const std::size_t width = ElementSize(volumes.elementType);
    return ReadUnsigned(volumes.data.get() + index * width, width);
}

CMarketMatrix::CMarketMatrix() = default;
CMarketMatrix::~CMarketMatrix() = default;

void CMarketMatrix::CopyCalendarFrom(const CCalendar& source, PackedDate from) {
    dailyCalendar_.Clear();
    for (std::uint16_t i = 0; i < source.Count(); ++i)
        if (source[i] >= from)
            dailyCalendar_.Insert(source[i]);
}

void CMarketMatrix::AssignCalendar(const CCalendar& source) {
    dailyCalendar_.Assign(source);
}

void CMarketMatrix::AddTradingDay(PackedDate day) {
    dailyCalendar_.Insert(day);
}

void CMarketMatrix::Purge(bool keepTexts) {
    for (auto it = securities_.begin(); it != securities_.end();) {
        if (it->second.prices.Empty())
            it = securities_.erase(it);
        else
            ++it;
    }
    for (auto it = companies_.begin(); it != companies_.end();) {
        const auto first = securities_.lower_bound(MakeSecurityKey(it->first, 0));
        if (first != securities_.end() && first->second.company == &it->second) {
            ++it;
            continue;
        }
        // Freeing the company frees its texts; keepTexts matters only to callers that
        // moved them elsewhere first.
        it = companies_.erase(it);
    }
}

void CMarketMatrix::PostProgress(std::uint16_t percent) {
    if (progress_.sink)
        progress_.sink->Post(progress_.message, progress_.percentCode, percent);
}

void CMarketMatrix::PostProgressText(const char* text) {
    if (progress_.sink)
        progress_.sink->Post(progress_.message, progress_.textCode,
                             reinterpret_cast<std::intptr_t>(text));
}

void CMarketMatrix::PostFailure(std::uint16_t code) {
    if (progress_.sink)
        progress_.sink->Post(progress_.message, progress_.failureCode, code);
}

bool CMarketMatrix::IsLatestDay(PackedDate day) const {
    if (dailyCalendar_.Empty())
        return false;
    if (projectedDays_ == 0)
        return day == *dailyCalendar_.Last();
    const int position = dailyCalendar_.PositionOf(day);
    return position >= 0 && position + projectedDays_ == dailyCalendar_.Count() - 1;
}

CompanyRecord* CMarketMatrix::FindOrAddCompany(std::uint16_t code, std::uint8_t industry) {
    try {
        auto [it, added] = companies_.try_emplace(code);
        if (added)
            it->second.code = code;
        it->second.industry = industry;
        return &it->second;
    } catch (const std::bad_alloc&) {
        return nullptr; // try_emplace leaves the map as it was
    }
}

SecurityRecord* CMarketMatrix::FindOrAddSecurity(std::uint16_t code, std::uint8_t market) {
    // The key has four bits for the market; a larger code would alias the next stock code.
    if (market > kMaxMarketCode)
        return nullptr;
    const SecurityKey key = MakeSecurityKey(code, market);
    if (auto it = securities_.find(key); it != securities_.end())
        return &it->second;
    CompanyRecord* company = FindCompany(code);
    if (company == nullptr)
        return nullptr;
    try {
        SecurityRecord& security = securities_[key];
        security.company = company;
        security.market = market;
        if (market >= 1)
            company->markets |= static_cast<std::uint16_t>(1u << (market - 1));
        return &security;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

CompanyRecord* CMarketMatrix::FindCompany(std::uint16_t code) {
    auto it = companies_.find(code);
    return it == companies_.end() ? nullptr : &it->second;
}

const CompanyRecord* CMarketMatrix::FindCompany(std::uint16_t code) const {
    auto it = companies_.find(code);
    return it == companies_.end() ? nullptr : &it->second;
}

SecurityRecord* CMarketMatrix::FindSecurity(SecurityKey key) {
    auto it = securities_.find(key);
    return it == securities_.end() ? nullptr : &it->second;
}

const SecurityRecord* CMarketMatrix::FindSecurity(SecurityKey key) const {
    auto it = securities_.find(key);
    return it == securities_.end() ? nullptr : &it->second;
}

std::size_t
CMarketMatrix::FindCompaniesByCode(std::map<std::uint16_t, const CompanyRecord*>& result,
                                   std::string_view text) const {
    result.clear();
    // Four characters, all half-width or all full-width (cp932 0x82 0x4F.. digits, 0x82 0x60..
    // capitals, 0x82 0x81.. small letters), read as the code they write.
    std::u16string typed;
    if (text.size() == 4) {
        for (char c : text)
            typed += static_cast<char16_t>(static_cast<unsigned char>(c));
    } else if (text.size() == 8) {
        for (std::size_t i = 0; i < 8; i += 2) {
            const auto lead = static_cast<unsigned char>(text[i]);
            const auto trail = static_cast<unsigned char>(text[i + 1]);
            if (lead != 0x82)
                return 0;
            if (trail >= 0x4F && trail <= 0x58)
                typed += static_cast<char16_t>(u'\uFF10' + (trail - 0x4F));
            else if (trail >= 0x60 && trail <= 0x79)
                typed += static_cast<char16_t>(u'\uFF21' + (trail - 0x60));
            else if (trail >= 0x81 && trail <= 0x9A)
                typed += static_cast<char16_t>(u'\uFF41' + (trail - 0x81));
            else
                return 0;
        }
    } else {
        return 0;
    }
    const std::optional<std::uint16_t> code = ParseTypedStockCode(typed);
    if (!code)
        return 0;
    if (const CompanyRecord* company = FindCompany(*code))
        result.emplace(company->code, company);
    return result.size();
}

void CMarketMatrix::Clear() {
    securities_.clear();
    companies_.clear();
    preferredMarkets_.clear();
    dailyCalendar_.Clear();
    weeklyCalendar_.Clear();
    monthlyCalendar_.Clear();
    projectedDays_ = 0;
}

const CCalendar& CMarketMatrix::PeriodCalendar(PeriodKind period) const {
    return period == PeriodKind::Weekly    ? weeklyCalendar_
           : period == PeriodKind::Monthly ? monthlyCalendar_
                                           : dailyCalendar_;
}

void CMarketMatrix::RebuildPeriodCalendars() {
    weeklyCalendar_.Clear();
    monthlyCalendar_.Clear();
    if (dailyCalendar_.Empty())
        return;
    PackedDate weekStart = dailyCalendar_[0];
    unsigned weekday = WeekdayOfPackedDate(weekStart);
    PackedDate monthStart = weekStart;
    weeklyCalendar_.Insert(weekStart);
    monthlyCalendar_.Insert(monthStart);
    for (std::uint16_t i = 1; i < dailyCalendar_.Count(); ++i) {
        const PackedDate day = dailyCalendar_[i];
        bool sameWeek = day - weekStart <= 1;
        if (!sameWeek && weekday <= 7) {
            const int span = 7 - static_cast<int>(weekday);
            for (int step = 1; step <= span && !sameWeek; ++step)
                sameWeek = AddDaysToPackedDate(weekStart, step) == day;
        }
        if (!sameWeek) {
            weekday = WeekdayOfPackedDate(day);
            weeklyCalendar_.Insert(day);
            weekStart = day;
        }
        if (DateMonth(day) != DateMonth(monthStart) || DateYear(day) != DateYear(monthStart)) {
            monthlyCalendar_.Insert(day);
            monthStart = day;
        }
    }
}

void CMarketMatrix::ProjectForecastDays(std::uint8_t count) {
    if (dailyCalendar_.Empty())
        return;
    PackedDate day = *dailyCalendar_.Last();
    unsigned added = 0;
    // ProjectedDays is one byte: projecting past 255 days would lose count of which days
    // are real, and RemoveForecastDays would then cut trading days.
    while (added < count && projectedDays_ < 0xFF && dailyCalendar_.Count() < CCalendar::kMaxKeys) {
        const PackedDate next = AddDaysToPackedDate(day, 1);
        if (next <= day)
            break; // past the last packable year; forecast days must stay at the end
        day = next;
        const unsigned weekday = WeekdayOfPackedDate(day);
        if (weekday == 0 || weekday == 6)
            continue;
        const std::uint16_t before = dailyCalendar_.Count();
        dailyCalendar_.Insert(day);
        if (dailyCalendar_.Count() == before)
            break; // no memory for the day: count only the days that were added
        ++added;
        ++projectedDays_;
    }
    RebuildPeriodCalendars();
}

void CMarketMatrix::RemoveForecastDays() {
    if (projectedDays_ == 0)
        return;
    const std::uint16_t count = dailyCalendar_.Count();
    dailyCalendar_.Truncate(count > projectedDays_ ? count - projectedDays_ : 0);
    projectedDays_ = 0;
    RebuildPeriodCalendars();
}

} // namespace vorn
