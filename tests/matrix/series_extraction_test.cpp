#include "matrix/series_extraction.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "foundation/calendar_math.h"
#include "matrix/market_matrix.h"
#include "matrix/matrix_file.h"
#include "support/market_builder.h"

namespace vorn {
namespace {

using test::CMarketBuilder;
using test::Ohlcv;
using test::Weekdays;

constexpr PackedDate D(unsigned y, unsigned m, unsigned d) {
    return MakePackedDate(y, m, d);
}

const SecurityRecord& OnlySecurity(const CMarketMatrix& matrix) {
    return matrix.Securities().begin()->second;
}

// Element `i` of a view as plain numbers, whatever the encoding.
Ohlcv ElementOf(const SeriesSet& set, const SeriesView& view, std::size_t i) {
    const auto pick = [&](auto tag) {
        using Price = decltype(tag);
        const Candle<Price>& c = view.Candles<Price>()[i];
        return Ohlcv{c.open, c.high, c.low, c.close, view.volumes[i]};
    };
    switch (set.priceEncoding) {
    case kPricesU8:
        return pick(std::uint8_t{});
    case kPricesU16:
        return pick(std::uint16_t{});
    default:
        return pick(std::uint32_t{});
    }
}

void ExpectCandle(const Ohlcv& actual, const Ohlcv& expected, const std::string& where) {
    EXPECT_EQ(actual.open, expected.open) << where;
    EXPECT_EQ(actual.high, expected.high) << where;
    EXPECT_EQ(actual.low, expected.low) << where;
    EXPECT_EQ(actual.close, expected.close) << where;
    EXPECT_EQ(actual.volume, expected.volume) << where;
}

std::vector<Ohlcv> Flat(std::size_t n, std::uint32_t price, std::uint64_t volume) {
    return std::vector<Ohlcv>(n, Ohlcv{price, price, price, price, volume});
}

// --- Daily extraction ---

TEST(DailySeries, CopiesTheRequestedDaysWithTheVolumeExponent) {
    auto matrix =
        CMarketBuilder()
            .Security(1301, 1, D(2007, 1, 4),
                      {{10, 12, 9, 11, 200}, {11, 13, 10, 12, 250}, {12, 14, 11, 13, 255}},
                      kPricesU8, kValueU8, 1, 3)
            .Build();
    SeriesSet set;
    ASSERT_TRUE(matrix->GetSeries(set, &OnlySecurity(*matrix), D(2007, 1, 5), kOpenEnd));
    EXPECT_EQ(set.priceEncoding, kPricesU8);
    EXPECT_EQ(set.priceExponent, 1);
    EXPECT_EQ(set.adjustments, nullptr);
    EXPECT_EQ(set.daily.firstDate, D(2007, 1, 5));
    EXPECT_EQ(set.daily.lastDate, D(2007, 1, 8));
    ASSERT_EQ(set.daily.count, 2);
    ExpectCandle(ElementOf(set, set.daily, 0), {11, 13, 10, 12, 250000}, "day 0");
    ExpectCandle(ElementOf(set, set.daily, 1), {12, 14, 11, 13, 255000}, "day 1");

    // A range ending on a holiday runs on to the next trading day.
    ASSERT_TRUE(matrix->GetSeries(set, &OnlySecurity(*matrix), 0, D(2007, 1, 6)));
    EXPECT_EQ(set.daily.lastDate, D(2007, 1, 8));
}

TEST(DailySeries, RangesOutsideTheSecurityOrBrokenRecordsFail) {
    auto matrix = CMarketBuilder()
                      .Calendar(Weekdays(D(2007, 1, 4), 20))
                      .Security(1301, 1, D(2007, 1, 8), Flat(10, 100, 5))
                      .Build();
    const SecurityRecord& security = OnlySecurity(*matrix);
    SeriesSet set;
    EXPECT_FALSE(matrix->GetSeries(set, nullptr, 0, kOpenEnd));
    EXPECT_FALSE(matrix->GetSeries(set, &security, D(2007, 1, 25), kOpenEnd)); // after last
    EXPECT_FALSE(matrix->GetSeries(set, &security, 0, D(2007, 1, 5)));         // before first
    EXPECT_FALSE(matrix->GetPeriodSeries(static_cast<PeriodKind>(3), set, &security, 0, kOpenEnd));
    EXPECT_FALSE(matrix->GetSeriesByKey(set, MakeSecurityKey(1301, 2), 0, kOpenEnd));
    EXPECT_TRUE(matrix->GetSeriesByKey(set, MakeSecurityKey(1301, 1), 0, kOpenEnd));
    EXPECT_EQ(set.daily.count, 10);

    // Records whose counts, codes or dates do not match what the calendar says.
    const auto extracts = [](auto damage, PackedDate to = kOpenEnd) {
        auto copy = CMarketBuilder()
                        .Calendar(Weekdays(D(2007, 1, 4), 20))
                        .Security(1301, 1, D(2007, 1, 8), Flat(10, 100, 5))
                        .Build();
        SecurityRecord& record = copy->Securities().begin()->second;
        damage(record);
        SeriesSet result;
        bool any = false;
        for (PeriodKind period : kPeriodKinds)
            any = copy->GetPeriodSeries(period, result, &record, 0, to) || any;
        return any;
    };
    EXPECT_FALSE(extracts([](SecurityRecord& r) { r.prices.count = 9; }));
    EXPECT_FALSE(extracts([](SecurityRecord& r) { r.volumes.count = 3; }));
    EXPECT_FALSE(extracts([](SecurityRecord& r) { r.prices.elementType = 3; }));
    EXPECT_FALSE(extracts([](SecurityRecord& r) { r.volumes.elementType = 7; }));
    EXPECT_FALSE(extracts([](SecurityRecord& r) { r.volumes.data.reset(); }));
    EXPECT_FALSE(extracts([](SecurityRecord& r) { r.volumes.attribute = 200; }));
    EXPECT_FALSE(extracts([](SecurityRecord& r) { r.firstDate = D(2007, 1, 7); })); // Sunday
    EXPECT_FALSE(extracts([](SecurityRecord& r) { r.lastDate = D(2007, 2, 28); }));
    // A short count still serves the days it holds.
    EXPECT_TRUE(extracts([](SecurityRecord& r) { r.prices.count = 4; }, D(2007, 1, 11)));
}

TEST(DailyAdjustment, SplitInsideTheRangeHalvesEarlierPricesAndDoublesVolumes) {
    auto matrix = CMarketBuilder()
                      .Security(1301, 1, D(2007, 1, 4),
                                {{101, 103, 99, 101, 1000},
                                 {102, 105, 100, 103, 1200},
                                 {51, 52, 50, 51, 2500},
                                 {52, 53, 51, 52, 2600},
                                 {18, 18, 18, 18, 8000}},
                                kPricesU8, kValueU16, 0, 1)
                      .Adjustment(1301, 1, D(2007, 1, 4), 5.0) // the first day: in force
                      .Adjustment(1301, 1, D(2007, 1, 8), 2.0)
                      .Adjustment(1301, 1, D(2007, 1, 10), 3.0) // after `to`
                      .Build();
    SeriesSet set;
    ASSERT_TRUE(matrix->GetSeries(set, &OnlySecurity(*matrix), 0, D(2007, 1, 9)));
    EXPECT_EQ(set.priceEncoding, kPricesU32);
    EXPECT_EQ(set.adjustments, OnlySecurity(*matrix).adjustments.get());
    ASSERT_EQ(set.daily.count, 4);
    ExpectCandle(ElementOf(set, set.daily, 0), {51, 52, 50, 51, 20000}, "2007/01/04");
    ExpectCandle(ElementOf(set, set.daily, 1), {51, 53, 50, 52, 24000}, "2007/01/05");
    ExpectCandle(ElementOf(set, set.daily, 2), {51, 52, 50, 51, 25000}, "2007/01/08");
    ExpectCandle(ElementOf(set, set.daily, 3), {52, 53, 51, 52, 26000}, "2007/01/09");
}

TEST(DailyAdjustment, ExtremeRatiosSaturateAndUnusableOnesAreIgnored) {
    auto matrix = CMarketBuilder()
                      .Security(1301, 1, D(2007, 1, 4),
                                {{4000000000u, 4000000000u, 4000000000u, 4000000000u, 1u << 30},
                                 {10, 10, 10, 10, 1}},
                                kPricesU32, kValueU64)
                      .Adjustment(1301, 1, D(2007, 1, 5), 1e-12)
                      .Build();
    SecurityRecord& security = matrix->Securities().begin()->second;
    SeriesSet set;
    ASSERT_TRUE(matrix->GetSeries(set, &security, 0, kOpenEnd));
    EXPECT_EQ(ElementOf(set, set.daily, 0).close, 0xFFFFFFFFu);
    EXPECT_EQ(ElementOf(set, set.daily, 0).volume, 0u); // 2^30 * 1e-12, truncated
    security.adjustments->entries[0].ratio = 0.0;
    ASSERT_TRUE(matrix->GetSeries(set, &security, 0, kOpenEnd));
    ExpectCandle(ElementOf(set, set.daily, 0),
                 {4000000000u, 4000000000u, 4000000000u, 4000000000u, 1u << 30}, "zero ratio");
    security.adjustments->entries[0].ratio = std::nan("");
    ASSERT_TRUE(matrix->GetSeries(set, &security, 0, kOpenEnd));
    EXPECT_EQ(ElementOf(set, set.daily, 0).volume, 1u << 30);
}

TEST(DailyAdjustment, AfterTheLastEntryValuesAreExactAgain) {
    // These ratios multiplied and divided out again leave 0.9999999999999998, not 1.
    auto matrix = CMarketBuilder()
                      .Security(1301, 1, D(2007, 1, 4), Flat(8, 100, 1000), kPricesU8, kValueU16)
                      .Adjustment(1301, 1, D(2007, 1, 5), 4.78)
                      .Adjustment(1301, 1, D(2007, 1, 8), 7.9)
                      .Adjustment(1301, 1, D(2007, 1, 9), 4.93)
                      .Build();
    SeriesSet set;
    ASSERT_TRUE(matrix->GetSeries(set, &OnlySecurity(*matrix), 0, kOpenEnd));
    for (std::size_t i = 3; i < set.daily.count; ++i)
        ExpectCandle(ElementOf(set, set.daily, i), {100, 100, 100, 100, 1000}, std::to_string(i));
    ASSERT_TRUE(
        matrix->GetPeriodSeries(PeriodKind::Weekly, set, &OnlySecurity(*matrix), 0, kOpenEnd));
    EXPECT_EQ(ElementOf(set, set.weekly, 2).volume, 1000u);
}

TEST(PeriodSeries, VolumeSumsStopAtTheLargestValueInsteadOfWrapping) {
    constexpr std::uint64_t kLargest = UINT64_MAX;
    // 2007/01/04 is a Thursday: the first week holds two days, the second five.
    std::vector<Ohlcv> rows = Flat(7, 100, 5);
    rows[0].volume = kLargest;
    rows[3].volume = kLargest - 1;
    for (const std::uint8_t volumeExponent : {0, 2}) {
        SCOPED_TRACE(volumeExponent);
        auto matrix =
            CMarketBuilder()
                .Security(1301, 1, D(2007, 1, 4), rows, kPricesU8, kValueU64, 0, volumeExponent)
                .Build();
        SeriesSet set;
        const SecurityRecord& security = OnlySecurity(*matrix);
        ASSERT_TRUE(matrix->GetPeriodSeries(PeriodKind::Weekly, set, &security, 0, kOpenEnd));
        ASSERT_EQ(set.weekly.count, 2);
        EXPECT_EQ(set.weekly.volumes[0], kLargest);
        EXPECT_EQ(set.weekly.volumes[1], kLargest);
        ASSERT_TRUE(matrix->GetPeriodSeries(PeriodKind::Monthly, set, &security, 0, kOpenEnd));
        EXPECT_EQ(set.monthly.volumes[0], kLargest);
        ASSERT_TRUE(matrix->GetSeries(set, &security, 0, kOpenEnd));
        EXPECT_EQ(set.daily.volumes[0], kLargest);
        EXPECT_EQ(set.daily.volumes[1], volumeExponent ? 500u : 5u);
    }
    // A split before the heavy days takes the adjusted path.
    auto adjusted = CMarketBuilder()
                        .Security(1301, 1, D(2007, 1, 4), rows, kPricesU32, kValueU64)
                        .Adjustment(1301, 1, D(2007, 1, 12), 2.0)
                        .Build();
    SeriesSet set;
    ASSERT_TRUE(
        adjusted->GetPeriodSeries(PeriodKind::Weekly, set, &OnlySecurity(*adjusted), 0, kOpenEnd));
    EXPECT_EQ(set.weekly.volumes[0], kLargest);
    EXPECT_EQ(set.weekly.volumes[1], kLargest);
}

// An entry dated on a day the calendar lacks takes effect from the next trading day, in every
// period kind.
TEST(MissingDayAdjustment, TakesEffectFromTheNextTradingDay) {
    std::vector<PackedDate> days = Weekdays(D(2007, 1, 1), 30);
    std::erase(days, D(2007, 1, 15)); // a Monday holiday
    std::erase(days, D(2007, 1, 1));
    auto matrix = CMarketBuilder()
                      .Calendar(days)
                      .Security(1301, 1, D(2007, 1, 2), Flat(days.size(), 100, 10))
                      .Adjustment(1301, 1, D(2007, 1, 15), 4.0)
                      .Build();
    const SecurityRecord& security = OnlySecurity(*matrix);
    SeriesSet set;
    ASSERT_TRUE(matrix->GetSeries(set, &security, 0, kOpenEnd));
    for (std::size_t i = 0; i < set.daily.count; ++i) {
        const bool before = days[i] < D(2007, 1, 16);
        ExpectCandle(ElementOf(set, set.daily, i),
                     before ? Ohlcv{25, 25, 25, 25, 40} : Ohlcv{100, 100, 100, 100, 10},
                     std::to_string(days[i]));
    }

    ASSERT_TRUE(matrix->GetPeriodSeries(PeriodKind::Weekly, set, &security, 0, kOpenEnd));
    EXPECT_EQ(set.weekly.firstDate, D(2007, 1, 2));
    // Week of 2007/01/08: five days on the old basis; week of 2007/01/16: four on the new.
    ExpectCandle(ElementOf(set, set.weekly, 1), {25, 25, 25, 25, 200}, "week 2");
    ExpectCandle(ElementOf(set, set.weekly, 2), {100, 100, 100, 100, 40}, "week 3");

    ASSERT_TRUE(matrix->GetPeriodSeries(PeriodKind::Monthly, set, &security, 0, D(2007, 1, 31)));
    ASSERT_EQ(set.monthly.count, 1);
    ExpectCandle(ElementOf(set, set.monthly, 0), {25, 100, 25, 100, 9 * 40 + 12 * 10}, "month");
}

// --- Weekly and monthly ---

TEST(PeriodSeries, WednesdayListingAskedFromTheThursdayBefore) {
    auto matrix = CMarketBuilder()
                      .Calendar(Weekdays(D(2007, 2, 26), 15))
                      .Security(1301, 1, D(2007, 3, 7),
                                {{100, 110, 95, 105, 10},  // Wed, rising
                                 {104, 108, 90, 92, 20},   // Thu, falling inside
                                 {93, 120, 93, 118, 30},   // Fri, rising above
                                 {118, 119, 117, 118, 5}}, // next Monday
                                kPricesU8, kValueU8)
                      .Build();
    SeriesSet set;
    ASSERT_TRUE(matrix->GetPeriodSeries(PeriodKind::Weekly, set, &OnlySecurity(*matrix),
                                        D(2007, 3, 1), kOpenEnd));
    EXPECT_EQ(set.weekly.firstDate, D(2007, 3, 5));
    EXPECT_EQ(set.weekly.lastDate, D(2007, 3, 12));
    ASSERT_EQ(set.weekly.count, 2);
    // Wed opens the week; Thu (falling, opens at or below the close) leaves the body; Fri
    // (rising) stretches it.
    ExpectCandle(ElementOf(set, set.weekly, 0), {93, 120, 90, 118, 60}, "first week");
    ExpectCandle(ElementOf(set, set.weekly, 1), {118, 119, 117, 118, 5}, "second week");
}

TEST(PeriodSeries, LastPeriodRunsPastToButNotPastTheSecurity) {
    auto matrix = CMarketBuilder()
                      .Calendar(Weekdays(D(2007, 1, 8), 10))
                      .Security(1301, 1, D(2007, 1, 8), Flat(8, 50, 1))
                      .Build();
    SeriesSet set;
    ASSERT_TRUE(
        matrix->GetPeriodSeries(PeriodKind::Weekly, set, &OnlySecurity(*matrix), 0, D(2007, 1, 8)));
    ASSERT_EQ(set.weekly.count, 1);
    EXPECT_EQ(ElementOf(set, set.weekly, 0).volume, 5u); // the whole week, not only Monday
    ASSERT_TRUE(
        matrix->GetPeriodSeries(PeriodKind::Weekly, set, &OnlySecurity(*matrix), 0, kOpenEnd));
    ASSERT_EQ(set.weekly.count, 2);
    EXPECT_EQ(ElementOf(set, set.weekly, 1).volume, 3u); // the security ends on Wednesday
}

// Weekly and monthly copies do not count an entry dated on the last day of the last period,
// nor, when that period ends the calendar, one dated on the day before the last.
TEST(PeriodAdjustment, EntriesAtTheEndOfTheLastPeriodAreNotCounted) {
    const auto weekly = [](PackedDate entry, PackedDate to) {
        auto matrix = CMarketBuilder()
                          .Calendar(Weekdays(D(2007, 1, 8), 15))
                          .Security(1301, 1, D(2007, 1, 8), Flat(15, 100, 1))
                          .Adjustment(1301, 1, entry, 2.0)
                          .Build();
        SeriesSet set;
        EXPECT_TRUE(
            matrix->GetPeriodSeries(PeriodKind::Weekly, set, &OnlySecurity(*matrix), 0, to));
        return ElementOf(set, set.weekly, 0).low;
    };
    // The range ends in the week of 2007/01/08, which is not the calendar's last.
    EXPECT_EQ(weekly(D(2007, 1, 11), D(2007, 1, 9)), 50u);  // Thursday: counted
    EXPECT_EQ(weekly(D(2007, 1, 12), D(2007, 1, 9)), 100u); // Friday, its last day
    // The range ends in the calendar's last week, 2007/01/22 to 2007/01/26.
    EXPECT_EQ(weekly(D(2007, 1, 24), kOpenEnd), 50u);
    EXPECT_EQ(weekly(D(2007, 1, 25), kOpenEnd), 100u);
    EXPECT_EQ(weekly(D(2007, 1, 26), kOpenEnd), 100u);
}

// --- Result buffers ---

TEST(SeriesBuffers, ShorterRangeReusesAndAnotherEncodingReallocates) {
    auto matrix = CMarketBuilder()
                      .Calendar(Weekdays(D(2007, 1, 4), 40))
                      .Security(1301, 1, D(2007, 1, 4), Flat(40, 100, 1), kPricesU8)
                      .Security(1332, 1, D(2007, 1, 4), Flat(40, 1000, 1), kPricesU16)
                      .Build();
    const SecurityRecord* narrow = matrix->FindSecurity(MakeSecurityKey(1301, 1));
    const SecurityRecord* wide = matrix->FindSecurity(MakeSecurityKey(1332, 1));
    SeriesSet set;
    ASSERT_TRUE(matrix->GetSeries(set, narrow, 0, kOpenEnd));
    const std::uint8_t* prices = set.daily.prices.get();
    EXPECT_EQ(set.daily.capacity, 40u);

    ASSERT_TRUE(matrix->GetSeries(set, narrow, D(2007, 1, 10), D(2007, 1, 19)));
    EXPECT_EQ(set.daily.prices.get(), prices);
    EXPECT_EQ(set.daily.count, 8);
    EXPECT_EQ(set.daily.capacity, 40u);

    ASSERT_TRUE(matrix->GetSeries(set, wide, D(2007, 1, 10), D(2007, 1, 17)));
    EXPECT_EQ(set.priceEncoding, kPricesU16);
    EXPECT_EQ(set.daily.count, 6);
    EXPECT_EQ(set.daily.capacity, 6u);
    EXPECT_EQ(ElementOf(set, set.daily, 5).close, 1000u);
}

TEST(SeriesBuffers, AnotherEncodingInOneViewDropsTheOthers) {
    auto matrix = CMarketBuilder()
                      .Calendar(Weekdays(D(2007, 1, 4), 40))
                      .Security(1301, 1, D(2007, 1, 4), Flat(40, 100, 1), kPricesU8)
                      .Security(1332, 1, D(2007, 1, 4), Flat(40, 100, 1), kPricesU8)
                      .Adjustment(1332, 1, D(2007, 1, 20), 2.0)
                      .Build();
    const SecurityRecord* plain = matrix->FindSecurity(MakeSecurityKey(1301, 1));
    const SecurityRecord* adjusted = matrix->FindSecurity(MakeSecurityKey(1332, 1));
    SeriesSet set;
    ASSERT_TRUE(matrix->GetSeries(set, plain, 0, kOpenEnd));
    ASSERT_TRUE(matrix->GetPeriodSeries(PeriodKind::Weekly, set, adjusted, 0, kOpenEnd));
    // The daily arrays hold four-byte candles; the result now says sixteen.
    EXPECT_EQ(set.daily.prices, nullptr);
    EXPECT_EQ(set.daily.count, 0);
    ASSERT_TRUE(matrix->GetSeries(set, adjusted, 0, kOpenEnd));
    EXPECT_EQ(ElementOf(set, set.daily, 39).close, 100u);
    EXPECT_EQ(ElementOf(set, set.daily, 0).close, 50u);
}

TEST(PrepareViewTest, ChoosesCalendarDaysNotAfterTheDates) {
    CCalendar calendar;
    for (PackedDate day : {D(2007, 1, 4), D(2007, 1, 5), D(2007, 1, 9), D(2007, 1, 10)})
        calendar.Insert(day);
    SeriesView view;
    ASSERT_TRUE(PrepareView(calendar, view, kPricesU16, D(2007, 1, 6), D(2007, 1, 31), 0));
    EXPECT_EQ(view.firstDate, D(2007, 1, 5));
    EXPECT_EQ(view.lastDate, D(2007, 1, 10));
    EXPECT_EQ(view.count, 3);
    ASSERT_TRUE(PrepareView(calendar, view, kPricesU16, D(2006, 12, 1), D(2007, 1, 4), 1));
    EXPECT_EQ(view.firstDate, D(2007, 1, 4));
    EXPECT_EQ(view.count, 1);
    EXPECT_EQ(view.capacity, 3u);
    EXPECT_EQ(view.Candles<std::uint16_t>()[0].close, 0);

    EXPECT_FALSE(PrepareView(calendar, view, kPricesU16, D(2007, 1, 10), D(2007, 1, 5), 1));
    EXPECT_EQ(view.prices, nullptr);
    EXPECT_EQ(view.count, 0);
    EXPECT_FALSE(PrepareView(calendar, view, 3, D(2007, 1, 4), D(2007, 1, 5), 3));
    EXPECT_FALSE(PrepareView(CCalendar{}, view, 0, D(2007, 1, 4), D(2007, 1, 5), 0));
}

// --- Against a re-computation from the stored rows ---

struct Case {
    int priceType;
    int volumeType;
    bool adjusted;
};

int DaysSinceEpoch(PackedDate d) {
    using namespace std::chrono;
    const sys_days date =
        year_month_day{year{static_cast<int>(DateYear(d))}, month{DateMonth(d)}, day{DateDay(d)}};
    return static_cast<int>(date.time_since_epoch().count());
}

// Weeks run Monday to Sunday; the key is the Monday's day number.
int PeriodKey(PeriodKind period, PackedDate d) {
    if (period == PeriodKind::Monthly)
        return static_cast<int>(DateYear(d) * 12 + DateMonth(d));
    const int n = DaysSinceEpoch(d);
    const int mondayBased = ((n % 7) + 7 + 3) % 7; // 1970/01/01 was a Thursday
    return n - mondayBased;
}

struct Market {
    std::vector<PackedDate> days;
    std::size_t first; // calendar index of the security's first day
    std::vector<Ohlcv> rows;
    std::vector<AdjustmentEntry> adjustments;
    std::uint8_t volumeExponent;
};

std::size_t LowerIndex(const std::vector<PackedDate>& days, PackedDate d) {
    return static_cast<std::size_t>(std::lower_bound(days.begin(), days.end(), d) - days.begin());
}

double RemainingFactor(const std::vector<AdjustmentEntry>& counted, PackedDate day) {
    double f = 1.0;
    for (const auto& e : counted)
        if (e.date > day)
            f *= e.ratio;
    return f;
}

bool AnyRemaining(const std::vector<AdjustmentEntry>& counted, PackedDate day) {
    for (const auto& e : counted)
        if (e.date > day)
            return true;
    return false;
}

std::vector<Ohlcv> ExpectedDaily(const Market& m, std::size_t from, std::size_t to) {
    std::vector<AdjustmentEntry> counted;
    for (const auto& e : m.adjustments)
        if (e.date > m.days[from] && e.date <= m.days[to])
            counted.push_back(e);
    const double scale = std::pow(10.0, m.volumeExponent);
    std::vector<Ohlcv> out;
    for (std::size_t i = from; i <= to; ++i) {
        const Ohlcv& r = m.rows[i - m.first];
        if (!AnyRemaining(counted, m.days[i])) {
            out.push_back(
                {r.open, r.high, r.low, r.close, r.volume * static_cast<std::uint64_t>(scale)});
            continue;
        }
        const double f = RemainingFactor(counted, m.days[i]);
        const auto price = [f](std::uint32_t p) { return static_cast<std::uint32_t>(p / f + 0.5); };
        out.push_back({price(r.open), price(r.high), price(r.low), price(r.close),
                       static_cast<std::uint64_t>(static_cast<double>(r.volume) * scale * f)});
    }
    return out;
}

// A period's candle built from its days: high and low are extremes, the body follows the
// direction of the period so far and of each new day.
Ohlcv Combine(const Ohlcv& s, const Ohlcv& d) {
    Ohlcv r = s;
    r.high = std::max(s.high, d.high);
    r.low = std::min(s.low, d.low);
    r.volume = s.volume + d.volume;
    const bool up = s.open <= s.close;
    const bool dayUp = d.open <= d.close;
    if (up && dayUp) {
        r.open = std::min(s.open, d.open);
        r.close = std::max(s.close, d.close);
    } else if (!up && !dayUp) {
        r.open = std::max(s.open, d.open);
        r.close = std::min(s.close, d.close);
    } else if (up) { // falling day into a rising period
        if (d.open > s.close) {
            r.open = d.open;
            r.close = std::min(s.open, d.close);
        } else if (d.close > s.open) {
            r.open = d.close;
        }
    } else { // rising day into a falling period
        if (d.close > s.open) {
            r.open = std::min(s.close, d.open);
            r.close = d.close;
        } else {
            r.close = std::min(s.close, d.open);
        }
    }
    return r;
}

std::vector<Ohlcv> ExpectedPeriods(const Market& m, PeriodKind period, std::size_t from,
                                   std::size_t to, PackedDate* viewFirst, PackedDate* viewLast) {
    // Group the whole calendar into periods.
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < m.days.size(); ++i) {
        if (groups.empty() ||
            PeriodKey(period, m.days[i]) != PeriodKey(period, m.days[groups.back().front()]))
            groups.emplace_back();
        groups.back().push_back(i);
    }
    const auto groupOf = [&](std::size_t day) {
        for (std::size_t g = 0; g < groups.size(); ++g)
            if (groups[g].front() <= day && day <= groups[g].back())
                return g;
        return groups.size();
    };
    const std::size_t g1 = groupOf(from), g2 = groupOf(to);
    *viewFirst = m.days[groups[g1].front()];
    *viewLast = m.days[groups[g2].front()];
    const PackedDate limit =
        g2 + 1 == groups.size() ? m.days[m.days.size() - 2] : m.days[groups[g2].back()];
    std::vector<AdjustmentEntry> counted;
    for (const auto& e : m.adjustments)
        if (e.date > *viewFirst && e.date < limit)
            counted.push_back(e);

    const double scale = std::pow(10.0, m.volumeExponent);
    const std::size_t last = m.first + m.rows.size() - 1;
    std::vector<Ohlcv> out;
    for (std::size_t g = g1; g <= g2; ++g) {
        bool started = false;
        Ohlcv element{};
        for (std::size_t i : groups[g]) {
            if (i < m.first || i > last)
                continue;
            const Ohlcv& r = m.rows[i - m.first];
            Ohlcv day = r;
            if (AnyRemaining(counted, m.days[i])) {
                const double f = RemainingFactor(counted, m.days[i]);
                const auto price = [f](std::uint32_t p) {
                    return static_cast<std::uint32_t>(p / f);
                };
                day = {price(r.open), price(r.high), price(r.low), price(r.close),
                       static_cast<std::uint64_t>(static_cast<double>(r.volume) * scale * f)};
            } else {
                day.volume = r.volume * static_cast<std::uint64_t>(scale);
            }
            element = started ? Combine(element, day) : day;
            started = true;
        }
        out.push_back(element);
    }
    return out;
}

// Ratios whose products and quotients are exact in binary, so the expected factors need no
// tolerance.
constexpr double kRatios[] = {2.0, 0.5, 4.0, 1.25, 0.25};

Market RandomMarket(std::mt19937& random, const Case& c) {
    Market m;
    std::vector<PackedDate> weekdays = Weekdays(D(2006, 11, 20), 260);
    std::bernoulli_distribution holiday(0.06);
    for (PackedDate d : weekdays)
        if (!holiday(random))
            m.days.push_back(d);
    std::uniform_int_distribution<std::size_t> start(0, 40);
    m.first = start(random);
    const std::size_t count = m.days.size() - m.first - start(random);
    const std::uint32_t highest = c.priceType == kPricesU8    ? 0xFF
                                  : c.priceType == kPricesU16 ? 0xFFFF
                                                              : 1000000;
    const std::uint64_t largest = c.volumeType == kValueU8    ? 0xFF
                                  : c.volumeType == kValueU16 ? 0xFFFF
                                  : c.volumeType == kValueU32 ? 0xFFFFFFFFull
                                                              : (1ull << 40);
    std::uniform_int_distribution<std::uint32_t> price(1, highest);
    std::uniform_int_distribution<std::uint64_t> volume(0, largest);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t a = price(random), b = price(random), x = price(random), y = price(random);
        const std::uint32_t high = std::max({a, b, x, y}), low = std::min({a, b, x, y});
        m.rows.push_back({a, high, low, b, volume(random)});
    }
    m.volumeExponent = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 3)(random));
    if (c.adjusted) {
        // Dates anywhere from before the listing to after the calendar, weekends included.
        std::uniform_int_distribution<int> offset(-10, 380);
        std::uniform_int_distribution<int> ratio(0, 4);
        const int entries = std::uniform_int_distribution<int>(1, 5)(random);
        for (int i = 0; i < entries; ++i)
            m.adjustments.push_back({ToPackedDate(AddDaysToYmdDate(2006, 12, 1, offset(random))), 2,
                                     kRatios[ratio(random)]});
        std::sort(m.adjustments.begin(), m.adjustments.end(),
                  [](const auto& l, const auto& r) { return l.date < r.date; });
    }
    return m;
}

std::unique_ptr<CMarketMatrix> BuildMarket(const Market& m, const Case& c) {
    CMarketBuilder builder;
    builder.Calendar(m.days).Security(1301, 1, m.days[m.first], m.rows, c.priceType, c.volumeType,
                                      2, m.volumeExponent);
    for (const auto& e : m.adjustments)
        builder.Adjustment(1301, 1, e.date, e.ratio);
    return builder.Build();
}

TEST(SeriesAgainstRecomputation, EveryWidthPeriodAndAdjustment) {
    std::mt19937 random(20070104);
    SeriesSet set; // one result reused across every case, as the engine does
    for (int priceType = kPricesU8; priceType <= kPricesU32; ++priceType)
        for (int volumeType = kValueU8; volumeType <= kValueU64; ++volumeType)
            for (bool adjusted : {false, true}) {
                const Case c{priceType, volumeType, adjusted};
                const Market m = RandomMarket(random, c);
                auto matrix = BuildMarket(m, c);
                const SecurityRecord& security = OnlySecurity(*matrix);
                const std::size_t last = m.first + m.rows.size() - 1;
                for (int round = 0; round < 6; ++round) {
                    // Random bounds, often on weekends or holidays, sometimes past the ends.
                    std::uniform_int_distribution<std::size_t> pick(m.first, last);
                    std::size_t i = pick(random), j = pick(random);
                    if (i > j)
                        std::swap(i, j);
                    const PackedDate from =
                        round == 0 ? 0 : AddDaysToPackedDate(m.days[i], -(round % 3));
                    const PackedDate to =
                        round == 0 ? kOpenEnd : AddDaysToPackedDate(m.days[j], round % 2);
                    const std::size_t pA = LowerIndex(m.days, std::max(m.days[m.first], from));
                    std::size_t pB = LowerIndex(m.days, std::min(m.days[last], to));
                    if (pA > pB)
                        continue;
                    const std::string where = "price " + std::to_string(priceType) + " volume " +
                                              std::to_string(volumeType) +
                                              (adjusted ? " adjusted" : "") + " round " +
                                              std::to_string(round);
                    for (PeriodKind period : kPeriodKinds) {
                        ASSERT_TRUE(matrix->GetPeriodSeries(period, set, &security, from, to))
                            << where << " period " << PeriodIndex(period);
                        EXPECT_EQ(set.priceEncoding, adjusted ? kPricesU32 : priceType) << where;
                        EXPECT_EQ(set.priceExponent, 2) << where;
                        const SeriesView& view = set.View(period);
                        std::vector<Ohlcv> expected;
                        PackedDate first = m.days[pA], lastDay = m.days[pB];
                        if (period == PeriodKind::Daily)
                            expected = ExpectedDaily(m, pA, pB);
                        else
                            expected = ExpectedPeriods(m, period, pA, pB, &first, &lastDay);
                        EXPECT_EQ(view.firstDate, first)
                            << where << " period " << PeriodIndex(period);
                        EXPECT_EQ(view.lastDate, lastDay)
                            << where << " period " << PeriodIndex(period);
                        ASSERT_EQ(view.count, expected.size())
                            << where << " period " << PeriodIndex(period);
                        for (std::size_t k = 0; k < expected.size(); ++k)
                            ExpectCandle(ElementOf(set, view, k), expected[k],
                                         where + " period " + std::to_string(PeriodIndex(period)) +
                                             " element " + std::to_string(k));
                    }
                }
            }
}

// --- vornctl series ---

struct CommandResult {
    int status = -1;
    std::string out;
};

CommandResult RunVornctl(const std::string& arguments) {
    CommandResult result;
    const std::string command = std::string(VORN_CTL_PATH) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        result.out += buffer;
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class VornctlSeries : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("vorn-series-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }
    std::filesystem::path directory_;
};

TEST_F(VornctlSeries, PrintsTheExtractedElements) {
    auto matrix =
        CMarketBuilder()
            .Calendar(Weekdays(D(2007, 1, 4), 10))
            .Security(
                1301, 1, D(2007, 1, 4),
                {{10, 12, 9, 11, 2}, {11, 13, 10, 12, 3}, {12, 14, 11, 13, 4}, {13, 15, 12, 14, 5}},
                kPricesU8, kValueU8, 1, 2)
            .Build();
    const std::filesystem::path file = directory_ / "Market.kbx";
    ASSERT_EQ(GenerateMatrix(*matrix, file, nullptr, nullptr), kMatrixOk);

    const CommandResult daily =
        RunVornctl("series " + file.string() + " 1301 1 --from 2007/01/05 --to 2007/01/08");
    EXPECT_EQ(daily.status, 0);
    EXPECT_EQ(daily.out, "encoding=0 exponent=1 first=2007/01/05 last=2007/01/08 count=2\n"
                         "2007/01/05,11,13,10,12,300\n"
                         "2007/01/08,12,14,11,13,400\n");

    const CommandResult weekly = RunVornctl("series " + file.string() + " 1301 1 --period weekly");
    EXPECT_EQ(weekly.status, 0);
    EXPECT_EQ(weekly.out, "encoding=0 exponent=1 first=2007/01/04 last=2007/01/08 count=2\n"
                          "2007/01/04,10,13,9,12,500\n"
                          "2007/01/08,12,15,11,14,900\n");

    // A code the file does not hold is reported on standard error only.
    EXPECT_EQ(RunVornctl("series " + file.string() + " 1302 1").out, "");
    EXPECT_EQ(RunVornctl("series " + file.string() + " 1302 1").status, 1);
}

TEST_F(VornctlSeries, ReportsUnreadableFilesAndBadArguments) {
    EXPECT_EQ(RunVornctl("series " + (directory_ / "missing.kbx").string() + " 1301 1").status, 1);
    EXPECT_EQ(RunVornctl("series x 1301 1 --period yearly").status, 2);
    EXPECT_EQ(RunVornctl("series x 13010 1").status, 2);
    EXPECT_EQ(RunVornctl("series x 1301").status, 2);
}

} // namespace
} // namespace vorn
