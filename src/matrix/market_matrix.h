#pragma once
// The whole market in memory: companies, securities with their daily prices and volumes,
// and the daily, weekly and monthly trading calendars.
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "foundation/message_sink.h"
#include "matrix/historical_manager.h"
#include "matrix/market_records.h"

namespace vorn {

enum class MatrixResult : std::uint8_t;
struct MatrixFailure;

class CEvent;
struct RestoreContext;
struct SectionBuffer;

// The 28 bytes that open a content file.
struct MatrixHeader {
    std::uint16_t magic1 = 0;
    std::uint16_t formatVersion = 0;
    std::uint16_t magic2 = 0;
    std::uint16_t headerSize = 0;
    std::uint16_t calendarDayCount = 0;
    std::uint16_t companyCount = 0;
    std::uint16_t companyEntrySize = 0;
    std::uint32_t companyTextBytes = 0;
    std::uint32_t companyHistoryBytes = 0;
    std::uint16_t securityCount = 0;
    std::uint16_t securityEntrySize = 0;
    std::uint16_t priceBlockCount = 0;
};

// Where progress of a long operation on the matrix is posted.
struct ProgressTarget {
    IMessageSink* sink = nullptr;
    std::uint32_t message = kMsgProgress;
    std::uintptr_t percentCode = kProgressPercent;
    std::uintptr_t textCode = kProgressText;
    std::uintptr_t failureCode = kProgressFailure;
};

// The period kinds in their stored order, for a pass over all three.
inline constexpr PeriodKind kPeriodKinds[] = {PeriodKind::Daily, PeriodKind::Weekly,
                                              PeriodKind::Monthly};

// The stored number of a period kind: 0 daily, 1 weekly, 2 monthly.
constexpr unsigned PeriodIndex(PeriodKind kind) {
    return static_cast<unsigned>(kind);
}

// False for a number cast to PeriodKind that names none.
constexpr bool IsPeriodKind(PeriodKind kind) {
    return PeriodIndex(kind) <= 2;
}

// A period kind read from a file, a profile or a setting; nullopt for any other number.
constexpr std::optional<PeriodKind> PeriodKindOf(long long stored) {
    if (stored < 0 || stored > 2)
        return std::nullopt;
    return static_cast<PeriodKind>(stored);
}

class CMarketMatrix final {
public:
    using CompanyMap = std::map<std::uint16_t, CompanyRecord>;
    using SecurityMap = std::map<SecurityKey, SecurityRecord>;
    using PreferredMarketMap = std::map<std::uint16_t, std::uint8_t>;

    CMarketMatrix();
    ~CMarketMatrix();
    CMarketMatrix(const CMarketMatrix&) = delete;
    CMarketMatrix& operator=(const CMarketMatrix&) = delete;

    // --- Operations in slot order ---
    virtual std::uint16_t GetFormatVersion() const { return 0x1000; }
    // Empties the daily calendar, then takes every source day from the first not before `from`.
    virtual void CopyCalendarFrom(const CCalendar& source, PackedDate from);
    virtual void AssignCalendar(const CCalendar& source);
    virtual void AddTradingDay(PackedDate day);
    virtual void Purge(bool keepTexts);
    // Content file writer and restore pipeline (matrix_file.cpp).
    virtual MatrixResult Generate(const std::filesystem::path& path, CEvent* calendarWritten);
    virtual MatrixResult RestoreSections();
    virtual void ReadSections();
    virtual void PostProgress(std::uint16_t percent);
    virtual void PostProgressText(const char* text);
    virtual void PostFailure(std::uint16_t code);
    virtual bool OpenFile(const std::filesystem::path& path, bool forWriting);
    virtual bool WriteHeader(MatrixHeader& header);
    virtual bool WriteCalendar(MatrixHeader& header);
    virtual bool WriteCompanies(MatrixHeader& header);
    virtual bool WriteSecurities();
    virtual MatrixResult WritePriceBlocks(std::uint16_t securitiesPerBlock, MatrixHeader& header);
    virtual bool ReadHeader();
    virtual bool RestoreCalendar(const SectionBuffer& buffer);
    virtual bool RestoreCompanies(const SectionBuffer& buffer);
    virtual bool RestoreCompanyTexts(const SectionBuffer& buffer);
    virtual bool RestoreCompanyHistories(const SectionBuffer& buffer);
    virtual bool RestoreSecurities(const SectionBuffer& buffer);
    virtual bool RestorePrices(const SectionBuffer& buffer, SecurityKey& keyCursor);
    // Series extraction (series_extraction.cpp).
    virtual bool GetSeries(SeriesSet& out, const SecurityRecord* security, PackedDate from,
                           PackedDate to) const;
    virtual bool GetSeriesByKey(SeriesSet& out, SecurityKey key, PackedDate from,
                                PackedDate to) const;
    virtual bool GetPeriodSeries(PeriodKind period, SeriesSet& out, const SecurityRecord* security,
                                 PackedDate from, PackedDate to) const;
    virtual bool IsLatestDay(PackedDate day) const;
    virtual bool IsLatestDayOf(const SecurityRecord& security) const {
        return IsLatestDay(security.lastDate);
    }

    // --- Records ---
    CompanyRecord* FindOrAddCompany(std::uint16_t code, std::uint8_t industry);
    SecurityRecord* FindOrAddSecurity(std::uint16_t code, std::uint8_t market);
    CompanyRecord* FindCompany(std::uint16_t code);
    const CompanyRecord* FindCompany(std::uint16_t code) const;
    SecurityRecord* FindSecurity(SecurityKey key);
    const SecurityRecord* FindSecurity(SecurityKey key) const;
    // Reads four ASCII or full-width cp932 digits; the result holds the company when known.
    std::size_t FindCompaniesByCode(std::map<std::uint16_t, const CompanyRecord*>& result,
                                    std::string_view text) const;
    void Clear();

    // --- Calendars ---
    void RebuildPeriodCalendars();
    void ProjectForecastDays(std::uint8_t count);
    void RemoveForecastDays();
    const CCalendar& DailyCalendar() const { return dailyCalendar_; }
    const CCalendar& WeeklyCalendar() const { return weeklyCalendar_; }
    const CCalendar& MonthlyCalendar() const { return monthlyCalendar_; }
    CCalendar& DailyCalendar() { return dailyCalendar_; }
    const CCalendar& PeriodCalendar(PeriodKind period) const;
    std::uint8_t ProjectedDays() const { return projectedDays_; }
    // Calendar position of an exact day, or -1.
    int DayPosition(PackedDate day) const { return dailyCalendar_.PositionOf(day); }

    const CompanyMap& Companies() const { return companies_; }
    const SecurityMap& Securities() const { return securities_; }
    CompanyMap& Companies() { return companies_; }
    SecurityMap& Securities() { return securities_; }
    const PreferredMarketMap& PreferredMarkets() const { return preferredMarkets_; }
    PreferredMarketMap& PreferredMarkets() { return preferredMarkets_; }
    const MatrixHeader& Header() const { return header_; }

    void SetProgressTarget(const ProgressTarget& target) { progress_ = target; }
    void ClearProgressTarget() { progress_ = ProgressTarget{}; }

private:
    friend MatrixResult RestoreMatrix(CMarketMatrix&, const std::filesystem::path&, CEvent*,
                                      IMessageSink*, MatrixFailure*);
    friend MatrixResult GenerateMatrix(CMarketMatrix&, const std::filesystem::path&, CEvent*,
                                       CEvent*);

    CompanyMap companies_;
    SecurityMap securities_;
    PreferredMarketMap preferredMarkets_;
    CCalendar dailyCalendar_;
    CCalendar weeklyCalendar_;
    CCalendar monthlyCalendar_;
    std::uint8_t projectedDays_ = 0;
    ProgressTarget progress_;
    std::unique_ptr<RestoreContext> context_;
    MatrixHeader header_;
};

} // namespace vorn
