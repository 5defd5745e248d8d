#include "matrix/market_matrix.h"

#include <chrono>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/calendar_math.h"
#include "matrix/stock_code.h"
#include "support/market_builder.h"

namespace vorn {
namespace {

namespace chr = std::chrono;

constexpr PackedDate D(unsigned y, unsigned m, unsigned d) {
    return MakePackedDate(y, m, d);
}

std::vector<PackedDate> Days(const CCalendar& calendar) {
    return std::vector<PackedDate>(calendar.First(), calendar.End());
}

void SetCalendar(CMarketMatrix& matrix, const std::vector<PackedDate>& days) {
    for (PackedDate day : days)
        matrix.AddTradingDay(day);
    matrix.RebuildPeriodCalendars();
}

test::Ohlcv Row(std::uint32_t close) {
    return {close, close, close, close, 100};
}

TEST(MarketMatrixRecords, FindOrAddCompanyAndSecurity) {
    CMarketMatrix matrix;
    EXPECT_EQ(matrix.FindOrAddSecurity(1301, 1), nullptr) << "no company yet";
    EXPECT_TRUE(matrix.Securities().empty());

    CompanyRecord* company = matrix.FindOrAddCompany(1301, 1);
    ASSERT_NE(company, nullptr);
    EXPECT_EQ(company->code, 1301);
    EXPECT_EQ(company->markets, 0);
    EXPECT_FALSE(company->name.has_value());
    EXPECT_TRUE(company->history.Empty());
    company->name = "\x8B\xC9\x97\x6D"; // kept across later lookups

    EXPECT_EQ(matrix.FindOrAddCompany(1301, 5), company);
    EXPECT_EQ(company->industry, 5) << "a differing industry is overwritten";
    EXPECT_EQ(company->name, "\x8B\xC9\x97\x6D");

    SecurityRecord* tokyo = matrix.FindOrAddSecurity(1301, 1);
    SecurityRecord* osaka = matrix.FindOrAddSecurity(1301, 4);
    SecurityRecord* jasdaq = matrix.FindOrAddSecurity(1301, 15);
    ASSERT_TRUE(tokyo && osaka && jasdaq);
    EXPECT_EQ(matrix.FindOrAddSecurity(1301, 4), osaka);
    EXPECT_EQ(osaka->company, company);
    EXPECT_EQ(osaka->market, 4);
    EXPECT_TRUE(osaka->prices.Empty());
    EXPECT_EQ(company->markets, 0x4009);
    EXPECT_EQ(osaka->Key(), MakeSecurityKey(1301, 4));

    // A market code beyond four bits would alias the next stock code's keys.
    matrix.FindOrAddCompany(1302, 1);
    EXPECT_EQ(matrix.FindOrAddSecurity(1301, 16), nullptr);
    EXPECT_EQ(matrix.FindSecurity(MakeSecurityKey(1302, 0)), nullptr);

    // Two listings of one company sit next to each other in key order.
    matrix.FindOrAddCompany(1300, 1);
    matrix.FindOrAddSecurity(1300, 2);
    matrix.FindOrAddSecurity(1302, 1);
    std::vector<SecurityKey> keys;
    for (const auto& [key, security] : matrix.Securities())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<SecurityKey>{MakeSecurityKey(1300, 2), MakeSecurityKey(1301, 1),
                                              MakeSecurityKey(1301, 4), MakeSecurityKey(1301, 15),
                                              MakeSecurityKey(1302, 1)}));
}

TEST(MarketMatrixRecords, PurgeDropsEmptySecuritiesThenOrphanCompanies) {
    const PackedDate first = D(2007, 1, 4);
    auto matrix = test::CMarketBuilder()
                      .Security(1301, 1, first, {Row(100), Row(101)})
                      .Security(1301, 4, first, {}) // no prices
                      .Security(1332, 1, first, {}) // the company's only listing, empty
                      .Security(1333, 2, first, {Row(50)})
                      .Company(9999, 3, "name", "text") // never listed
                      .Build();
    // A listing with a count but no array counts as empty too.
    matrix->FindSecurity(MakeSecurityKey(1333, 2))->prices.data.reset();
    matrix->Purge(true);

    std::vector<SecurityKey> keys;
    for (const auto& [key, security] : matrix->Securities())
        keys.push_back(key);
    EXPECT_EQ(keys, std::vector<SecurityKey>{MakeSecurityKey(1301, 1)});
    std::vector<std::uint16_t> codes;
    for (const auto& [code, company] : matrix->Companies())
        codes.push_back(code);
    EXPECT_EQ(codes, std::vector<std::uint16_t>{1301});
    EXPECT_EQ(matrix->FindCompany(1301)->markets, 0x0009) << "the markets mask is never cleared";
    EXPECT_EQ(matrix->FindSecurity(MakeSecurityKey(1301, 1))->company, matrix->FindCompany(1301));
}

TEST(MarketMatrixRecords, FindCompaniesByCode) {
    const std::uint16_t lettered = *ParseStockCode("130A");
    auto matrix = test::CMarketBuilder().Company(1301).Company(7203).Company(lettered).Build();
    std::map<std::uint16_t, const CompanyRecord*> found;
    EXPECT_EQ(matrix->FindCompaniesByCode(found, "1301"), 1u);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.at(1301), matrix->FindCompany(1301));

    // Full-width digits in cp932.
    EXPECT_EQ(matrix->FindCompaniesByCode(found, "\x82\x56\x82\x51\x82\x4F\x82\x52"), 1u);
    EXPECT_EQ(found.begin()->first, 7203);

    // Letter codes in either case, half-width or full-width (１３０Ａ, １３０ａ).
    for (const char* text :
         {"130A", "130a", "\x82\x50\x82\x52\x82\x4F\x82\x60", "\x82\x50\x82\x52\x82\x4F\x82\x81"}) {
        EXPECT_EQ(matrix->FindCompaniesByCode(found, text), 1u) << text;
        EXPECT_EQ(found.begin()->first, lettered) << text;
    }

    for (const char* other :
         {"", "130", "13010", "13a1", " 1301", "\x82\x50\x82\x52\x82\x4F", "13\x82\x4F\x82\x50",
          "\x82\x50\x82\x52\x82\x4F\x82\x59", "9999", "130B", "9A7A", "130\x82\x60"}) {
        found.emplace(1, nullptr);
        EXPECT_EQ(matrix->FindCompaniesByCode(found, other), 0u) << other;
        EXPECT_TRUE(found.empty()) << "the result set is emptied first";
    }
}

// Every stored code has a key of its own: codes past 14 bits (336A on, every 1A00 form)
// must not alias smaller ones.
TEST(MarketMatrixRecords, EveryStoredCodeHasItsOwnSecurity) {
    const std::uint16_t wide = *ParseStockCode("336A");
    const std::uint16_t alias = wide - (1u << 14);
    for (std::uint32_t code : {0u, 9999u, 16383u, 16384u, 47999u, 65535u})
        for (std::uint8_t market : {0, 1, 15}) {
            const SecurityKey key = MakeSecurityKey(static_cast<std::uint16_t>(code), market);
            EXPECT_EQ(CodeOfKey(key), code);
            EXPECT_EQ(MarketOfKey(key), market);
            EXPECT_EQ(DayOfKey(key), 0u);
        }
    auto matrix = test::CMarketBuilder().Company(alias).Build();
    ASSERT_NE(matrix->FindOrAddSecurity(alias, 1), nullptr);
    ASSERT_NE(matrix->FindOrAddCompany(wide, 1), nullptr);
    SecurityRecord* security = matrix->FindOrAddSecurity(wide, 1);
    ASSERT_NE(security, nullptr);
    EXPECT_EQ(security->Code(), wide);
    EXPECT_EQ(matrix->FindSecurity(MakeSecurityKey(wide, 1)), security);
    ASSERT_NE(matrix->FindSecurity(MakeSecurityKey(alias, 1)), nullptr);
    EXPECT_EQ(matrix->FindSecurity(MakeSecurityKey(alias, 1))->Code(), alias);
}

// The 32-bit form of the settings files: older keys read unchanged, every held code and
// market goes there and back, and a value in neither form names no security.
TEST(MarketMatrixRecords, StoredKeysKeepOldFilesAndHoldEveryCode) {
    for (std::uint32_t code = 0; code < 48000; ++code)
        for (std::uint8_t market = 0; market < 16; ++market) {
            const SecurityKey key = MakeSecurityKey(static_cast<std::uint16_t>(code), market);
            const std::uint32_t stored = StoredSecurityKey(key);
            if (code < (1u << 14)) {
                ASSERT_EQ(stored, (code << 18) | (std::uint32_t{market} << 14)) << code;
            }
            ASSERT_EQ(SecurityKeyOfStored(stored), key) << code << "/" << int{market};
        }
    EXPECT_EQ(StoredSecurityKey(MakeSecurityKey(*ParseStockCode("1A00"), 2)),
              (30900u << 16) | (2u << 1) | 1u);
    for (std::uint32_t stray :
         {1u, 0x2000u, (30900u << 16) | 0x21u, (100u << 16) | 1u, (30900u << 16) | (2u << 1)})
        EXPECT_FALSE(SecurityKeyOfStored(stray).has_value()) << stray;
}

TEST(MarketMatrixRecords, CompanyHistoryLookup) {
    auto matrix = test::CMarketBuilder()
                      .Company(1301)
                      .History(1301, {{D(2007, 1, 10), 5000}, {D(2007, 6, 1), 1ull << 40}})
                      .Company(1302)
                      .History(1302, {{D(2007, 1, 10), 7}}, kValueU16)
                      .Company(1303)
                      .Build();
    const CompanyRecord& wide = *matrix->FindCompany(1301);
    ASSERT_EQ(wide.history.elementType, kValueU64);
    PackedDate used = 0;
    EXPECT_EQ(wide.HistoryValueAt(D(2007, 3, 1), &used), 5000u);
    EXPECT_EQ(used, D(2007, 1, 10));
    EXPECT_EQ(wide.HistoryValueAt(D(2006, 12, 1), &used), 5000u) << "before all: the first";
    EXPECT_EQ(used, D(2007, 1, 10));
    EXPECT_EQ(wide.HistoryValueAt(D(2007, 6, 1), &used), 1ull << 40);
    EXPECT_EQ(used, D(2007, 6, 1));
    EXPECT_EQ(wide.HistoryValueAt(kOpenEnd), 1ull << 40);

    EXPECT_EQ(matrix->FindCompany(1302)->HistoryValueAt(D(2008, 1, 1), &used), 7u);
    used = 1;
    EXPECT_EQ(matrix->FindCompany(1303)->HistoryValueAt(D(2007, 3, 1), &used), 0u);
    EXPECT_EQ(used, 0);
}

TEST(MarketMatrixCalendars, TradingDaysAreUniqueAndCopiedFromADate) {
    CMarketMatrix matrix;
    SetCalendar(matrix, {D(2007, 1, 5), D(2007, 1, 4), D(2007, 1, 9)});
    matrix.AddTradingDay(D(2007, 1, 5));
    EXPECT_EQ(Days(matrix.DailyCalendar()),
              (std::vector<PackedDate>{D(2007, 1, 4), D(2007, 1, 5), D(2007, 1, 9)}));

    CMarketMatrix other;
    other.AddTradingDay(D(2006, 12, 29));
    other.CopyCalendarFrom(matrix.DailyCalendar(), D(2007, 1, 5));
    EXPECT_EQ(Days(other.DailyCalendar()), (std::vector<PackedDate>{D(2007, 1, 5), D(2007, 1, 9)}));
    other.AssignCalendar(matrix.DailyCalendar());
    EXPECT_EQ(Days(other.DailyCalendar()), Days(matrix.DailyCalendar()));
    matrix.AssignCalendar(matrix.DailyCalendar());
    EXPECT_EQ(matrix.DailyCalendar().Count(), 3);
}

TEST(MarketMatrixCalendars, WeeksAndMonthsStartOnTheirFirstTradingDay) {
    CMarketMatrix matrix;
    // 2007/01/08 (Monday) and 2007/02/12 (Monday) are holidays, 2007/02/13 too; the
    // calendar starts on a Thursday and crosses the turn of two months.
    std::vector<PackedDate> days = test::Weekdays(D(2007, 1, 4), 40);
    std::erase(days, D(2007, 1, 8));
    std::erase(days, D(2007, 2, 12));
    std::erase(days, D(2007, 2, 13));
    SetCalendar(matrix, days);

    const std::vector<PackedDate> weeks = Days(matrix.WeeklyCalendar());
    ASSERT_GE(weeks.size(), 5u);
    EXPECT_EQ(std::vector<PackedDate>(weeks.begin(), weeks.begin() + 3),
              (std::vector<PackedDate>{D(2007, 1, 4), D(2007, 1, 9), D(2007, 1, 15)}));
    EXPECT_NE(std::find(weeks.begin(), weeks.end(), D(2007, 2, 14)), weeks.end());
    EXPECT_EQ(Days(matrix.MonthlyCalendar()),
              (std::vector<PackedDate>{D(2007, 1, 4), D(2007, 2, 1)}));

    CMarketMatrix empty;
    empty.RebuildPeriodCalendars();
    EXPECT_EQ(empty.WeeklyCalendar().Count(), 0);
}

// Random weekday calendars over years, checked against Monday-based calendar weeks.
TEST(MarketMatrixCalendars, WeeklyAndMonthlyMatchTheCalendar) {
    std::mt19937 random(42);
    for (int round = 0; round < 5; ++round) {
        std::vector<PackedDate> days;
        for (PackedDate day : test::Weekdays(D(2005 + round, 12, 20), 600))
            if (random() % 4 != 0) // about a quarter of the days are holidays
                days.push_back(day);
        CMarketMatrix matrix;
        SetCalendar(matrix, days);

        std::vector<PackedDate> weeks, months;
        long previousWeek = -1;
        unsigned previousMonth = 0;
        for (PackedDate day : days) {
            const chr::sys_days sys = chr::year{static_cast<int>(DateYear(day))} /
                                      static_cast<int>(DateMonth(day)) /
                                      static_cast<int>(DateDay(day));
            // 1970/01/05 was a Monday.
            const long week = (sys - chr::sys_days{chr::year{1970} / 1 / 5}).count() / 7;
            if (week != previousWeek)
                weeks.push_back(day);
            previousWeek = week;
            const unsigned month = DateYear(day) * 12 + DateMonth(day);
            if (month != previousMonth)
                months.push_back(day);
            previousMonth = month;
        }
        EXPECT_EQ(Days(matrix.WeeklyCalendar()), weeks) << "round " << round;
        EXPECT_EQ(Days(matrix.MonthlyCalendar()), months) << "round " << round;
    }
}

TEST(MarketMatrixCalendars, ForecastDaysAndTheLatestDay) {
    auto matrix = test::CMarketBuilder()
                      .Calendar({D(2007, 1, 25), D(2007, 1, 26)}) // Thursday, Friday
                      .Security(1301, 1, D(2007, 1, 25), {Row(10), Row(11)})
                      .Security(1302, 1, D(2007, 1, 25), {Row(10)})
                      .Build();
    const SecurityRecord& current = *matrix->FindSecurity(MakeSecurityKey(1301, 1));
    const SecurityRecord& stale = *matrix->FindSecurity(MakeSecurityKey(1302, 1));
    EXPECT_TRUE(matrix->IsLatestDay(D(2007, 1, 26)));
    EXPECT_FALSE(matrix->IsLatestDay(D(2007, 1, 25)));
    EXPECT_TRUE(matrix->IsLatestDayOf(current));
    EXPECT_FALSE(matrix->IsLatestDayOf(stale));
    EXPECT_EQ(matrix->WeeklyCalendar().Count(), 1);

    matrix->RemoveForecastDays(); // nothing projected: nothing changes
    EXPECT_EQ(matrix->DailyCalendar().Count(), 2);

    matrix->ProjectForecastDays(3);
    EXPECT_EQ(matrix->ProjectedDays(), 3);
    EXPECT_EQ(Days(matrix->DailyCalendar()),
              (std::vector<PackedDate>{D(2007, 1, 25), D(2007, 1, 26), D(2007, 1, 29),
                                       D(2007, 1, 30), D(2007, 1, 31)}));
    EXPECT_TRUE(matrix->IsLatestDay(D(2007, 1, 26)));
    EXPECT_TRUE(matrix->IsLatestDayOf(current));
    EXPECT_FALSE(matrix->IsLatestDay(D(2007, 1, 31)));
    EXPECT_FALSE(matrix->IsLatestDay(D(2007, 1, 27))) << "not a calendar day";
    EXPECT_EQ(Days(matrix->WeeklyCalendar()),
              (std::vector<PackedDate>{D(2007, 1, 25), D(2007, 1, 29)}));

    matrix->RemoveForecastDays();
    EXPECT_EQ(matrix->ProjectedDays(), 0);
    EXPECT_EQ(Days(matrix->DailyCalendar()),
              (std::vector<PackedDate>{D(2007, 1, 25), D(2007, 1, 26)}));
    EXPECT_EQ(matrix->WeeklyCalendar().Count(), 1);
    EXPECT_TRUE(matrix->IsLatestDay(D(2007, 1, 26)));

    // Forecasts projected again and again never outgrow the one-byte count, so removing
    // them gives back exactly the trading days.
    for (int i = 0; i < 12; ++i)
        matrix->ProjectForecastDays(30);
    EXPECT_EQ(matrix->ProjectedDays(), 255);
    EXPECT_EQ(matrix->DailyCalendar().Count(), 2 + 255);
    matrix->RemoveForecastDays();
    EXPECT_EQ(Days(matrix->DailyCalendar()),
              (std::vector<PackedDate>{D(2007, 1, 25), D(2007, 1, 26)}));

    CMarketMatrix empty;
    empty.ProjectForecastDays(10);
    EXPECT_EQ(empty.ProjectedDays(), 0);
    EXPECT_FALSE(empty.IsLatestDay(D(2007, 1, 26)));
}

TEST(MarketMatrixCalendars, ClearEmptiesEverything) {
    auto matrix = test::CMarketBuilder().Security(1301, 1, D(2007, 1, 4), {Row(1)}).Build();
    matrix->ProjectForecastDays(5);
    matrix->Clear();
    EXPECT_TRUE(matrix->Companies().empty());
    EXPECT_TRUE(matrix->Securities().empty());
    EXPECT_EQ(matrix->DailyCalendar().Count(), 0);
    EXPECT_EQ(matrix->WeeklyCalendar().Count(), 0);
    EXPECT_EQ(matrix->MonthlyCalendar().Count(), 0);
    EXPECT_EQ(matrix->ProjectedDays(), 0);
}

} // namespace
} // namespace vorn
