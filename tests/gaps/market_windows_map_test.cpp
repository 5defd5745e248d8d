#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gaps/market_windows.h"
#include "gaps/window_event_map.h"
#include "matrix/matrix_file.h"
#include "matrix/sample_market.h"
#include "support/market_builder.h"
#include "support/recording_sink.h"

namespace vorn {
namespace {

using test::Ohlcv;

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr SecurityKey kKey = MakeSecurityKey(1301, 1);

CCalendar MakeCalendar(int days) {
    CCalendar calendar;
    for (PackedDate day : test::Weekdays(kFirstDay, days))
        calendar.Insert(day);
    return calendar;
}

template <class Price> void StoreCandles(SeriesView& view, const std::vector<Ohlcv>& rows) {
    auto* candles = view.Candles<Price>();
    for (std::size_t i = 0; i < rows.size(); ++i)
        candles[i] = {static_cast<Price>(rows[i].open), static_cast<Price>(rows[i].high),
                      static_cast<Price>(rows[i].low), static_cast<Price>(rows[i].close)};
}

// A daily series as extraction would return it: rows on consecutive calendar days from
// calendar position `first`, candles in `encoding`.
void FillSeries(SeriesSet& series, const CCalendar& calendar, int first,
                const std::vector<Ohlcv>& rows, std::uint16_t encoding) {
    SeriesView& view = series.daily;
    const auto count = static_cast<std::uint16_t>(rows.size());
    series.priceEncoding = encoding;
    view.firstDate = calendar[first];
    view.lastDate = calendar[first + count - 1];
    view.count = count;
    view.capacity = count;
    view.prices = AllocateZeroed(count * ElementSize(encoding));
    view.volumes = std::make_unique<std::uint64_t[]>(count);
    for (std::size_t i = 0; i < rows.size(); ++i)
        view.volumes[i] = rows[i].volume;
    switch (encoding) {
    case kPricesU8:
        StoreCandles<std::uint8_t>(view, rows);
        break;
    case kPricesU16:
        StoreCandles<std::uint16_t>(view, rows);
        break;
    default:
        StoreCandles<std::uint32_t>(view, rows);
        break;
    }
}

// Events as (day relative to the series' first day, flags).
using DayFlags = std::vector<std::pair<int, int>>;

struct Mapped {
    std::uint16_t days = 0;
    DayFlags events;
    const WindowCounts* counts = nullptr;
};

class GapRules : public ::testing::TestWithParam<std::uint16_t> {
protected:
    Mapped Map(const std::vector<Ohlcv>& rows, int first = 2) {
        SeriesSet series;
        FillSeries(series, calendar_, first, rows, GetParam());
        Mapped result;
        result.days = CMarketWindows::MapListingWindows(series, kKey, calendar_, events_, counts_);
        for (const WindowEvent& e : events_.EventsOf(kKey))
            result.events.push_back({e.day - first, e.flags});
        result.counts = counts_.Find(kKey);
        return result;
    }

    CCalendar calendar_ = MakeCalendar(30);
    CWindowEventMap events_;
    CWindowCountsMap counts_;
};

INSTANTIATE_TEST_SUITE_P(Encodings, GapRules, ::testing::Values(0, 1, 2));

TEST_P(GapRules, EqualityIsNoGapAndAStrictGapOpensAWindow) {
    const Mapped m = Map({{90, 100, 80, 95, 10},      // high 100
                          {100, 110, 100, 108, 10},   // low 100 equals the high: no window
                          {112, 120, 111, 118, 10},   // low 111 above high 110: upward
                          {125, 130, 124, 126, 10},   // low 124 above 120: a second one
                          {124, 126, 122, 125, 10}}); // low 122 inside 124/120: reduced
    EXPECT_EQ(m.days, 5);
    EXPECT_EQ(m.events, (DayFlags{{2, 1}, {3, 1}, {4, kUpWindowReduced}}));
    ASSERT_NE(m.counts, nullptr);
    EXPECT_EQ(m.counts->upOpened, 2);
    EXPECT_EQ(m.counts->downOpened, 0);
}

TEST_P(GapRules, UpwardWindowIsReachedThenFilledAtItsLowerBound) {
    const Mapped m = Map({{95, 99, 95, 98, 10},
                          {100, 104, 100, 103, 10},  // opens 100/99
                          {101, 103, 100, 102, 10},  // low 100: reached, bounds unchanged
                          {100, 102, 99, 101, 10},   // low 99 equals the lower bound: filled
                          {100, 102, 99, 101, 10}}); // nothing left to touch
    EXPECT_EQ(m.events,
              (DayFlags{{1, kUpWindowOpened}, {2, kUpWindowReached}, {3, kUpWindowFilled}}));
    EXPECT_EQ(m.counts->upOpened, 1);
    EXPECT_EQ(m.counts->upFilled, 1);
}

TEST_P(GapRules, ReducingAnUpwardWindowMovesItsUpperBound) {
    const Mapped m = Map({{95, 98, 95, 97, 10},
                          {100, 104, 100, 103, 10}, // opens 100/98
                          {100, 103, 99, 102, 10},  // low 99: reduced, upper becomes 99
                          {100, 103, 99, 102, 10},  // low 99 is now the upper bound: reached
                          {99, 100, 98, 99, 10}});  // low 98: filled
    EXPECT_EQ(m.events, (DayFlags{{1, kUpWindowOpened},
                                  {2, kUpWindowReduced},
                                  {3, kUpWindowReached},
                                  {4, kUpWindowFilled}}));
}

TEST_P(GapRules, DownwardWindowIsReachedReducedAndFilledAtItsUpperBound) {
    const Mapped m = Map({{100, 105, 100, 101, 10},
                          {97, 98, 95, 96, 10},    // high 98 below low 100: opens 100/98
                          {96, 98, 94, 97, 10},    // high 98 equals the lower bound: reached
                          {98, 99, 96, 99, 10},    // high 99: reduced, lower becomes 99
                          {98, 99, 96, 99, 10},    // high 99: reached again
                          {98, 100, 96, 99, 10}}); // high 100 equals the upper bound: filled
    EXPECT_EQ(m.events, (DayFlags{{1, kDownWindowOpened},
                                  {2, kDownWindowReached},
                                  {3, kDownWindowReduced},
                                  {4, kDownWindowReached},
                                  {5, kDownWindowFilled}}));
    EXPECT_EQ(m.counts->downOpened, 1);
    EXPECT_EQ(m.counts->downFilled, 1);
    EXPECT_EQ(m.counts->upOpened, 0);
}

TEST_P(GapRules, ZeroVolumeDayIsSkippedButIsTheNextDaysPreviousCandle) {
    const Mapped m = Map({{99, 99, 99, 99, 10},
                          {100, 105, 100, 104, 10}, // opens 100/99
                          {88, 90, 85, 89, 0},      // no trading: would fill and open, does neither
                          {96, 98, 95, 97, 10}});   // fills 100/99, and gaps up from high 90
    EXPECT_EQ(m.events, (DayFlags{{1, kUpWindowOpened}, {3, kUpWindowFilled | kUpWindowOpened}}));
    EXPECT_EQ(m.counts->upOpened, 2);
    EXPECT_EQ(m.counts->upFilled, 1);
    EXPECT_EQ(m.counts->downOpened, 0);
}

TEST_P(GapRules, OneDayFillsSeveralWindowsAndCountsEach) {
    const Mapped m = Map({{50, 50, 50, 50, 10},
                          {60, 62, 60, 61, 10},   // opens 60/50
                          {70, 72, 70, 71, 10},   // opens 70/62
                          {80, 80, 80, 80, 10},   // opens 80/72
                          {45, 75, 40, 45, 10}}); // low 40: every lower bound is above it
    EXPECT_EQ(m.events.back(),
              (std::pair<int, int>{4, kUpWindowFilled | kDownWindowOpened})); // 75 < 80
    EXPECT_EQ(m.counts->upFilled, 3);
}

TEST_P(GapRules, LeadingDaysWithoutFourPricesAreIgnored) {
    const Mapped m = Map({{0, 0, 0, 0, 10},
                          {0, 30, 20, 25, 10},  // one zero price: still not the base day
                          {50, 55, 45, 50, 10}, // base day; gapping from 30 would open a window
                          {60, 65, 60, 62, 10}});
    EXPECT_EQ(m.days, 4);
    EXPECT_EQ(m.events, (DayFlags{{3, kUpWindowOpened}}));
}

TEST_P(GapRules, SeriesWithoutPricesStoresZeroCountersAndNoEvents) {
    const Mapped m = Map({{0, 0, 0, 0, 10}, {0, 5, 0, 0, 10}, {0, 0, 0, 0, 10}});
    EXPECT_EQ(m.days, 3);
    EXPECT_TRUE(m.events.empty());
    ASSERT_NE(m.counts, nullptr);
    EXPECT_EQ(m.counts->upOpened + m.counts->downOpened, 0);
}

TEST(GapRulesWidth, WideCandlesCompareAllThirtyTwoBits) {
    CCalendar calendar = MakeCalendar(10);
    SeriesSet series;
    // Differences only above bit 16: a narrowing anywhere would see no gap.
    FillSeries(series, calendar, 0,
               {{0x10000, 0x10000, 0x10000, 0x10000, 1}, {0x20000, 0x20000, 0x20000, 0x20000, 1}},
               kPricesU32);
    CWindowEventMap events;
    CWindowCountsMap counts;
    EXPECT_EQ(CMarketWindows::MapListingWindows(series, kKey, calendar, events, counts), 2);
    EXPECT_EQ(events.FlagsAt(kKey | 1), kUpWindowOpened);
}

// Series the pass cannot place store nothing at all: no events and no counters.
TEST(MappingRefusal, SeriesThatDoNotFitTheCalendarOrTheKeys) {
    const std::vector<Ohlcv> rows{{10, 10, 10, 10, 1}, {20, 20, 20, 20, 1}, {5, 5, 5, 5, 1}};
    CCalendar calendar = MakeCalendar(10);
    CWindowEventMap events;
    CWindowCountsMap counts;
    auto map = [&](auto&& spoil) {
        SeriesSet series;
        FillSeries(series, calendar, 0, rows, kPricesU8);
        spoil(series);
        return CMarketWindows::MapListingWindows(series, kKey, calendar, events, counts);
    };
    EXPECT_EQ(map([](SeriesSet& s) { s.daily.firstDate = MakePackedDate(2007, 1, 6); }), 0)
        << "a Saturday";
    EXPECT_EQ(map([&](SeriesSet& s) { s.daily.lastDate = calendar[5]; }), 0)
        << "six days claimed, three held";
    EXPECT_EQ(map([&](SeriesSet& s) { s.daily.firstDate = calendar[3]; }), 0) << "backwards";
    EXPECT_EQ(map([](SeriesSet& s) { s.priceEncoding = 3; }), 0);
    EXPECT_EQ(counts.Size(), 0u);
    EXPECT_TRUE(events.Empty());

    // Calendar positions above 0x3FFF would spill into the market bits of the key.
    CCalendar longCalendar;
    for (PackedDate day : test::Weekdays(MakePackedDate(1951, 1, 1), 16390))
        longCalendar.Insert(day);
    ASSERT_EQ(longCalendar.Count(), 16390);
    SeriesSet series;
    FillSeries(series, longCalendar, 16387, rows, kPricesU8);
    EXPECT_EQ(CMarketWindows::MapListingWindows(series, kKey, longCalendar, events, counts), 0);
    EXPECT_TRUE(events.Empty());
    FillSeries(series, longCalendar, kMaxEventDay - 2, rows, kPricesU8);
    EXPECT_EQ(CMarketWindows::MapListingWindows(series, kKey, longCalendar, events, counts), 3);
    EXPECT_EQ(events.FlagsAt(kKey | kMaxEventDay), kDownWindowOpened | kUpWindowFilled);
}

TEST(WindowEventMap, KeepsKeyOrderWhateverTheOrderOfWriting) {
    CWindowEventMap map;
    const SecurityKey a = MakeSecurityKey(1301, 1), b = MakeSecurityKey(1301, 2),
                      c = MakeSecurityKey(7203, 1);
    map.BeginSecurity(c);
    map.Append(3, 1);
    map.Append(9, 2);
    map.EndSecurity();
    map.BeginSecurity(a); // below c: moved in front of it
    map.Append(5, 4);
    map.Append(8, 4);
    map.EndSecurity();
    map.Set(b | 7, 8);
    map.Set(b | 2, 16);   // before b's existing day
    map.Set(c | 3, 32);   // replaces
    map.BeginSecurity(a); // rewriting drops every earlier event of a
    map.Append(6, 64);
    map.EndSecurity();
    std::vector<std::pair<EventKey, int>> seen;
    map.ForEach([&](EventKey key, std::uint8_t flags) { seen.push_back({key, flags}); });
    EXPECT_EQ(seen, (std::vector<std::pair<EventKey, int>>{
                        {a | 6, 64}, {b | 2, 16}, {b | 7, 8}, {c | 3, 32}, {c | 9, 2}}));
    ASSERT_EQ(map.EventsOf(c).size(), 2u);
    EXPECT_EQ(map.EventsOf(c)[1].day, 9);
    EXPECT_EQ(map.FlagsAt(b | 3), 0);
    EXPECT_TRUE(map.EventsOf(MakeSecurityKey(9999, 1)).empty());
    map.BeginSecurity(b); // nothing appended: b has no events any more
    map.EndSecurity();
    EXPECT_TRUE(map.EventsOf(b).empty());
    EXPECT_EQ(map.Size(), 3u);
}

// --- The whole-market pass ---

std::vector<Ohlcv> Flat(int days, std::uint64_t volume) {
    return std::vector<Ohlcv>(days, Ohlcv{100, 110, 90, 100, volume});
}

// Flat rows whose last `tail` days carry `tailVolume` and the others `headVolume`.
std::vector<Ohlcv> Volumes(int days, std::uint64_t headVolume, int tail, std::uint64_t tailVolume) {
    std::vector<Ohlcv> rows = Flat(days, headVolume);
    for (int i = days - tail; i < days; ++i)
        rows[i].volume = tailVolume;
    return rows;
}

std::uint8_t PreferredOf(const CMarketMatrix& matrix, std::uint16_t code) {
    auto it = matrix.PreferredMarkets().find(code);
    return it == matrix.PreferredMarkets().end() ? 0 : it->second;
}

TEST(PreferredMarket, ChosenByTheLastTwentyDaysOfVolume) {
    const PackedDate start = kFirstDay;
    auto matrix = test::CMarketBuilder()
                      // Larger sum on the second market.
                      .Security(1301, 1, start, Flat(30, 5000))
                      .Security(1301, 2, start, Flat(30, 6000))
                      // Equal sums: the first in key order stays.
                      .Security(1332, 2, start, Flat(30, 7000))
                      .Security(1332, 3, start, Flat(30, 7000))
                      // Only the last 20 days count: huge early volume on market 1 is ignored.
                      .Security(1333, 1, start, Volumes(30, 1000000, 20, 100))
                      .Security(1333, 2, start, Flat(30, 200))
                      // Equal quotients, the larger remainder wins.
                      .Security(1334, 1, start, Flat(30, 1500))
                      .Security(1334, 4, start, Flat(30, 1999))
                      // Fewer than 20 days: all of them are summed (5 x 1000 > 20 x 200).
                      .Security(1352, 1, start, Flat(25, 200))
                      .Security(1352, 2, start, Flat(5, 1000))
                      .Build();
    matrix->PreferredMarkets()[9999] = 1; // stale entries go
    CMarketWindows windows;
    ASSERT_TRUE(windows.MapMarketWindows(*matrix, nullptr, nullptr));
    EXPECT_EQ(PreferredOf(*matrix, 1301), 2);
    EXPECT_EQ(PreferredOf(*matrix, 1332), 2);
    EXPECT_EQ(PreferredOf(*matrix, 1333), 2);
    EXPECT_EQ(PreferredOf(*matrix, 1334), 4);
    EXPECT_EQ(PreferredOf(*matrix, 1352), 2);
    EXPECT_EQ(matrix->PreferredMarkets().size(), 5u);
    EXPECT_EQ(windows.CountsMap().Size(), 10u);
}

TEST(PreferredMarket, SecurityWithoutASeriesTakesNoPart) {
    auto matrix = test::CMarketBuilder()
                      .Security(1301, 1, kFirstDay, {}) // no days held: extraction fails
                      .Security(1301, 2, kFirstDay, Flat(10, 0))
                      .Security(1332, 1, kFirstDay, Flat(10, 10))
                      .Build();
    CMarketWindows windows;
    ASSERT_TRUE(windows.MapMarketWindows(*matrix, nullptr, nullptr));
    // Had market 1 taken part, its zero sum would have tied and been kept.
    EXPECT_EQ(PreferredOf(*matrix, 1301), 2);
    EXPECT_EQ(windows.CountsMap().Find(MakeSecurityKey(1301, 1)), nullptr);
    EXPECT_NE(windows.CountsMap().Find(MakeSecurityKey(1301, 2)), nullptr);
}

TEST(MarketPass, PostsStartTextAndEndAndFillsTheDailyMapsOnly) {
    auto matrix = test::CMarketBuilder()
                      .Security(1301, 1, kFirstDay,
                                {{10, 10, 10, 10, 1}, {20, 20, 20, 20, 1}, {10, 10, 10, 10, 1}})
                      .Build();
    test::CRecordingSink sink;
    CMarketWindows windows;
    ASSERT_TRUE(windows.MapMarketWindows(*matrix, nullptr, &sink));
    const auto messages = sink.Messages();
    ASSERT_EQ(messages.size(), 3u);
    for (const auto& m : messages)
        EXPECT_EQ(m.message, 1025u);
    EXPECT_EQ(messages[0].wParam, 0u);
    EXPECT_EQ(messages[0].lParam, 0);
    EXPECT_EQ(messages[1].wParam, 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(messages[1].lParam),
                 "マーケット全体の窓をマッピングしています");
    EXPECT_EQ(messages[2].wParam, 0u);
    EXPECT_EQ(messages[2].lParam, 100);

    const SecurityKey key = MakeSecurityKey(1301, 1);
    EXPECT_EQ(windows.EventMap().FlagsAt(key | 1), kUpWindowOpened);
    EXPECT_EQ(windows.EventMap().FlagsAt(key | 2), kUpWindowFilled | kDownWindowOpened);
    EXPECT_TRUE(windows.EventMap(PeriodKind::Weekly).Empty());
    EXPECT_TRUE(windows.EventMap(PeriodKind::Monthly).Empty());
    EXPECT_EQ(windows.CountsMap(PeriodKind::Weekly).Size(), 0u);
}

TEST(MarketPass, EmptyCalendarFailsAndClearsEarlierResults) {
    auto matrix = test::CMarketBuilder()
                      .Security(1301, 1, kFirstDay, {{10, 10, 10, 10, 1}, {20, 20, 20, 20, 1}})
                      .Build();
    CMarketWindows windows;
    ASSERT_TRUE(windows.MapMarketWindows(*matrix, nullptr, nullptr));
    ASSERT_FALSE(windows.EventMap().Empty());

    CMarketMatrix empty;
    test::CRecordingSink sink;
    EXPECT_FALSE(windows.MapMarketWindows(empty, nullptr, &sink));
    EXPECT_TRUE(windows.EventMap().Empty());
    EXPECT_EQ(windows.CountsMap().Size(), 0u);
    EXPECT_EQ(sink.Values(2), (std::vector<std::intptr_t>{0}));
    EXPECT_TRUE(sink.Values(0) == (std::vector<std::intptr_t>{0}));
}

class CancelledPass : public ::testing::Test {
protected:
    void SetUp() override {
        test::CMarketBuilder builder;
        for (std::uint16_t code = 1000; code < 1000 + kSecurities; ++code)
            builder.Security(code, 1, kFirstDay, {{10, 10, 10, 10, 5}, {20, 20, 20, 20, 5}});
        matrix_ = builder.Build();
    }
    static constexpr int kSecurities = 45;
    std::unique_ptr<CMarketMatrix> matrix_;
    test::CRecordingSink sink_;
    CMarketWindows windows_;
};

TEST_F(CancelledPass, CancelIsNoticedOnlyAtTheThirtySecondSecurity) {
    CEvent cancel(true, true);
    EXPECT_FALSE(windows_.MapMarketWindows(*matrix_, &cancel, &sink_));
    EXPECT_EQ(windows_.CountsMap().Size(), 31u); // the first 31 were mapped
    EXPECT_TRUE(matrix_->PreferredMarkets().empty());
    EXPECT_EQ(sink_.Values(2), (std::vector<std::intptr_t>{1}));
    EXPECT_EQ(sink_.Values(0), (std::vector<std::intptr_t>{0})); // no progress after the start
}

TEST_F(CancelledPass, UncancelledPassPostsProgressFromTheThirtySecondSecurityOn) {
    CEvent cancel(true, false);
    ASSERT_TRUE(windows_.MapMarketWindows(*matrix_, &cancel, &sink_));
    std::vector<std::intptr_t> expected{0};
    for (int count = 32; count <= kSecurities; ++count)
        expected.push_back(static_cast<std::intptr_t>(99.0 / kSecurities * count));
    expected.push_back(100);
    EXPECT_EQ(sink_.Values(0), expected);
    EXPECT_EQ(windows_.CountsMap().Size(), static_cast<std::size_t>(kSecurities));
    EXPECT_EQ(matrix_->PreferredMarkets().size(), static_cast<std::size_t>(kSecurities));
}

// --- Against an independent reading of the rules on a synthetic market ---

struct ReferenceWindow {
    bool upward;
    std::uint64_t upper;
    std::uint64_t lower;
};

// Day-by-day reading of the gap rules, kept deliberately plain. Returns flags per series day.
std::vector<int> ReferenceFlags(const SeriesSet& series) {
    const SeriesView& view = series.daily;
    // Field `field` (0 open .. 3 close) of day `day`, read byte by byte in little-endian order.
    const unsigned width = 1u << series.priceEncoding;
    auto price = [&](int day, int field) {
        std::uint64_t value = 0;
        for (unsigned b = 0; b < width; ++b)
            value |= std::uint64_t{view.prices[(day * 4 + field) * width + b]} << (8 * b);
        return value;
    };
    std::vector<int> flags(view.count, 0);
    int start = 0;
    while (start < view.count && (price(start, 0) == 0 || price(start, 1) == 0 ||
                                  price(start, 2) == 0 || price(start, 3) == 0))
        ++start;
    std::vector<ReferenceWindow> open;
    for (int day = start + 1; day < view.count; ++day) {
        if (view.volumes[day] == 0)
            continue;
        const std::uint64_t high = price(day, 1), low = price(day, 2);
        std::vector<ReferenceWindow> kept;
        for (ReferenceWindow w : open) {
            if (w.upward) {
                if (low <= w.lower) {
                    flags[day] |= 64;
                    continue;
                }
                if (low < w.upper) {
                    w.upper = low;
                    flags[day] |= 16;
                } else if (low == w.upper) {
                    flags[day] |= 4;
                }
            } else {
                if (high >= w.upper) {
                    flags[day] |= 128;
                    continue;
                }
                if (high > w.lower) {
                    w.lower = high;
                    flags[day] |= 32;
                } else if (high == w.lower) {
                    flags[day] |= 8;
                }
            }
            kept.push_back(w);
        }
        open = kept;
        const std::uint64_t previousHigh = price(day - 1, 1), previousLow = price(day - 1, 2);
        if (previousHigh < low) {
            open.push_back({true, low, previousHigh});
            flags[day] |= 1;
        } else if (high < previousLow) {
            open.push_back({false, previousLow, high});
            flags[day] |= 2;
        }
    }
    return flags;
}

TEST(SampleMarketMapping, EventBytesMatchAnIndependentReadingOfTheRules) {
    CMarketMatrix matrix;
    SampleMarketOptions options;
    options.years = 3;
    options.securities = 40;
    ASSERT_TRUE(BuildSampleMarket(matrix, options));
    CMarketWindows windows;
    ASSERT_TRUE(windows.MapMarketWindows(matrix, nullptr, nullptr));

    const CCalendar& calendar = matrix.DailyCalendar();
    int checked = 0;
    std::size_t eventsSeen = 0;
    for (const auto& [key, security] : matrix.Securities()) {
        SeriesSet series;
        if (!matrix.GetSeries(series, &security, *calendar.First(), *calendar.Last()))
            continue;
        ++checked;
        const std::vector<int> expected = ReferenceFlags(series);
        const int first = calendar.PositionOf(series.daily.firstDate);
        std::vector<int> actual(series.daily.count, 0);
        for (const WindowEvent& e : windows.EventMap().EventsOf(key)) {
            ASSERT_GE(e.day, first);
            ASSERT_LT(e.day - first, series.daily.count);
            actual[e.day - first] = e.flags;
            ++eventsSeen;
        }
        EXPECT_EQ(actual, expected)
            << "security " << CodeOfKey(key) << "/" << int(MarketOfKey(key));
    }
    EXPECT_GT(checked, 0);
    EXPECT_GT(eventsSeen, 0u);
}

// --- vornctl map ---

// Runs vornctl; its exit status and what it printed on stdout.
std::pair<int, std::string> RunVornctl(const std::string& arguments) {
    const std::string command = std::string(VORN_CTL_PATH) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {-1, {}};
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(MapCommand, PrintsTheBlocksInFixedOrderOrASummary) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("vorn_map_cmd_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "Market.kbx").string();
    auto matrix = test::CMarketBuilder()
                      .Security(1301, 1, kFirstDay,
                                {{10, 10, 10, 10, 1}, {20, 20, 20, 20, 1}, {10, 10, 10, 10, 1}})
                      .Security(1301, 2, MakePackedDate(2007, 1, 5),
                                {{50, 55, 50, 52, 900}, {40, 45, 40, 42, 900}})
                      .Build();
    ASSERT_EQ(GenerateMatrix(*matrix, file, nullptr, nullptr), kMatrixOk);

    EXPECT_EQ(RunVornctl("map " + file + " --preferred --counts --events"),
              (std::pair<int, std::string>{0, "1301,1,2007/01/05,1\n"
                                              "1301,1,2007/01/08,66\n"
                                              "1301,2,2007/01/08,2\n"
                                              "1301,1,1,1,1,0\n"
                                              "1301,2,0,1,0,0\n"
                                              "1301,2\n"}));
    const auto [status, summary] = RunVornctl("map " + file);
    EXPECT_EQ(status, 0);
    EXPECT_NE(summary.find("securities mapped: 2\nevents: 3\n"), std::string::npos) << summary;
    EXPECT_EQ(RunVornctl("map " + (dir / "absent.kbx").string()),
              (std::pair<int, std::string>{1, ""}));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace vorn
