// The indicator framework's validation and status codes, the simple moving average and the
// trading-value average against straightforward re-computations.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "technical/indicator_market.h"
#include "technical/simple_moving_average.h"
#include "technical/turnover_average.h"

namespace vorn {
namespace {

using test::CIndicatorMarket;
using test::CMarketBuilder;
using test::kIndicatorFirstDay;
using test::Ohlcv;
using test::RandomRows;
using test::Weekdays;
using test::WindowAverages;

constexpr std::uint16_t kCode = 1301;

std::vector<PackedDate> Days(int count) {
    return Weekdays(kIndicatorFirstDay, count);
}

CMarketBuilder OneSecurity(const std::vector<Ohlcv>& rows, int priceType = -1,
                           std::uint8_t priceExponent = 0) {
    CMarketBuilder builder;
    builder.Calendar(Days(static_cast<int>(rows.size()) + 5))
        .Security(kCode, 1, kIndicatorFirstDay, rows, priceType, -1, priceExponent);
    return builder;
}

void ExpectValues(const CTechnicalResult& result, const std::vector<DatedValue>& expected,
                  double tolerance = 1e-9) {
    const auto& actual = result.Values().NewestFirst();
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].date, expected[i].date) << "entry " << i;
        EXPECT_NEAR(actual[i].value, expected[i].value,
                    tolerance * std::max(1.0, std::fabs(expected[i].value)))
            << "entry " << i;
    }
}

// A result type no indicator has.
class CForeignResult final : public CTechnicalResult {
public:
    std::uint16_t GetTypeId() const override { return 999; }

protected:
    std::string_view CsvHeader() const override { return "x\n"; }
};

TEST(TechnicalManager, RefusesWrongRequestsWithTheirStatus) {
    CIndicatorMarket market(OneSecurity(RandomRows(40, 2, 100, 20)));
    const TechnicalParameters defaults = market.Defaults(kTechnicalSimpleMovingAverage);
    const SeriesSet* series = market.Series(kCode);
    ASSERT_NE(series, nullptr);

    // A result of another type is refused and left as it was.
    CTechnicalTurnoverAverage other;
    other.Values().Set(kIndicatorFirstDay, 1.5);
    CTechnical* average = market.Manager().Find(kTechnicalSimpleMovingAverage);
    EXPECT_EQ(average->Analyze(defaults, &other, series, PeriodKind::Daily), kTechnicalWrongResult);
    EXPECT_EQ(other.Values().Size(), 1u);
    EXPECT_EQ(average->Analyze(defaults, nullptr, series, PeriodKind::Daily),
              kTechnicalWrongResult);
    EXPECT_EQ(market.Manager().Analyze(defaults, nullptr, series, PeriodKind::Daily),
              kTechnicalWrongResult);

    CForeignResult foreign;
    EXPECT_EQ(market.Manager().Analyze(defaults, &foreign, series, PeriodKind::Daily),
              kTechnicalNotRegistered);

    // Every other failure clears the result first.
    CTechnicalMovingAverage result;
    const auto statusWith = [&](const SeriesSet* stock, PeriodKind kind) {
        result.Values().Set(kIndicatorFirstDay, 1.0);
        const TechnicalStatus status = market.Manager().Analyze(defaults, &result, stock, kind);
        EXPECT_TRUE(result.Values().Empty()) << Describe(status);
        return status;
    };
    EXPECT_EQ(statusWith(series, static_cast<PeriodKind>(3)), kTechnicalBadSeriesKind);
    EXPECT_EQ(statusWith(series, static_cast<PeriodKind>(255)), kTechnicalBadSeriesKind);
    EXPECT_EQ(statusWith(nullptr, PeriodKind::Daily), kTechnicalFirstDateMissing);

    SeriesSet shifted;
    ASSERT_TRUE(market.Matrix().GetPeriodSeries(
        PeriodKind::Daily, shifted, market.Matrix().FindSecurity(MakeSecurityKey(kCode, 1)), kNoDate, kOpenEnd));
    const PackedDate first = shifted.daily.firstDate;
    const PackedDate last = shifted.daily.lastDate;
    shifted.daily.firstDate = MakePackedDate(2007, 1, 6); // a Saturday
    EXPECT_EQ(statusWith(&shifted, PeriodKind::Daily), kTechnicalFirstDateMissing);
    shifted.daily.firstDate = first;
    shifted.daily.lastDate = MakePackedDate(2030, 1, 1);
    EXPECT_EQ(statusWith(&shifted, PeriodKind::Daily), kTechnicalLastDateMissing);
    shifted.daily.firstDate = last;
    shifted.daily.lastDate = first;
    EXPECT_EQ(statusWith(&shifted, PeriodKind::Daily), kTechnicalDatesReversed);
    shifted.daily.firstDate = first;
    shifted.daily.lastDate = last;
    shifted.priceEncoding = 3;
    EXPECT_EQ(statusWith(&shifted, PeriodKind::Daily), kTechnicalBadEncoding);

    // A view holding fewer elements than its dates span is read only as far as it goes.
    shifted.priceEncoding = series->priceEncoding;
    shifted.daily.count = 10;
    ASSERT_EQ(market.Manager().Analyze(defaults, &result, &shifted, PeriodKind::Daily),
              kTechnicalOk);
    EXPECT_TRUE(result.Values().Empty()); // 10 days are too few for 25
    TechnicalParameters shortWindow = defaults;
    shortWindow[kParamDays] = 3;
    ASSERT_EQ(market.Manager().Analyze(shortWindow, &result, &shifted, PeriodKind::Daily),
              kTechnicalOk);
    EXPECT_EQ(result.Values()[0].date, Days(10)[9]);

    TechnicalParameters noWindow = defaults;
    noWindow[kParamDays] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(market.Manager().Analyze(noWindow, &result, series, PeriodKind::Daily),
              kTechnicalBadDays);
    noWindow.erase(kParamDays);
    EXPECT_EQ(market.Manager().Analyze(noWindow, &result, series, PeriodKind::Daily),
              kTechnicalBadDays);

    // An indicator that was never registered has no calendars.
    ParameterRegistry registry;
    CSimpleMovingAverage unregistered(registry);
    EXPECT_EQ(unregistered.Analyze(defaults, &result, series, PeriodKind::Daily),
              kTechnicalNoStore);
}

TEST(SimpleMovingAverage, MatchesPlainAveragesForEveryWidthAndSelector) {
    const std::vector<Ohlcv> rows = RandomRows(120, 4, 90, 60);
    const std::vector<PackedDate> dates = Days(120);
    for (int priceType : {0, 1, 2}) {
        CIndicatorMarket market(OneSecurity(rows, priceType));
        ASSERT_EQ(market.Series(kCode)->priceEncoding, priceType);
        for (unsigned selector : {1u, 2u, 4u, 8u, 16u, 3u}) {
            TechnicalParameters parameters = market.Defaults(kTechnicalSimpleMovingAverage);
            parameters[kParamDays] = 7;
            parameters[kParamPriceSelector] = selector;
            CTechnicalMovingAverage result;
            ASSERT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
            const auto expected =
                WindowAverages(rows, dates, kNewestDate, 65535, 7, [&](const Ohlcv& row) {
                    return test::SelectedValue(row, selector);
                });
            // Back to the first complete window, the stock's day N-1.
            ASSERT_EQ(expected.back().date, dates[6]);
            SCOPED_TRACE(testing::Message() << "type " << priceType << " selector " << selector);
            ExpectValues(result, expected);
        }
    }
}

TEST(SimpleMovingAverage, PricesAreInYenForEverySelector) {
    const std::vector<Ohlcv> rows = RandomRows(30, 5, 100, 50);
    CIndicatorMarket market(OneSecurity(rows, -1, 2));
    for (unsigned selector : {1u, 2u, 4u, 8u, 16u}) {
        TechnicalParameters parameters = market.Defaults(kTechnicalSimpleMovingAverage);
        parameters[kParamDays] = 5;
        parameters[kParamPeriod] = 1;
        parameters[kParamPriceSelector] = selector;
        CTechnicalMovingAverage result;
        ASSERT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
        double sum = 0;
        for (int d = 25; d < 30; ++d)
            sum += test::SelectedValue(rows[d], selector);
        ASSERT_EQ(result.Values().Size(), 1u);
        EXPECT_DOUBLE_EQ(result.Values()[0].value, sum / 5 * 100) << "selector " << selector;
    }
}

TEST(SimpleMovingAverage, AnalysisDateAndPeriodLimitTheValues) {
    const std::vector<Ohlcv> rows = RandomRows(40, 6, 100, 30);
    const std::vector<PackedDate> dates = Days(40);
    CIndicatorMarket market(OneSecurity(rows));
    const auto close = [](const Ohlcv& row) { return static_cast<double>(row.close); };
    TechnicalParameters parameters = market.Defaults(kTechnicalSimpleMovingAverage);
    parameters[kParamDays] = 5;
    CTechnicalMovingAverage result;

    // Newest value only.
    parameters[kParamPeriod] = 1;
    ASSERT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
    ExpectValues(result, WindowAverages(rows, dates, kNewestDate, 1, 5, close));
    ASSERT_EQ(result.Values()[0].date, dates[39]);

    // A Saturday analysis date starts from the Friday before it.
    parameters[kParamPeriod] = 3;
    const PackedDate saturday = MakePackedDate(2007, 1, 20);
    ASSERT_EQ(dates[11], MakePackedDate(2007, 1, 19));
    parameters[kParamAnalysisDate] = saturday;
    ASSERT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
    ExpectValues(result, WindowAverages(rows, dates, saturday, 3, 5, close));
    EXPECT_EQ(result.Values()[0].date, dates[11]);

    // Exactly N days up to the analysis date give nothing; N + 1 days give the two complete
    // windows.
    parameters[kParamPeriod] = kAllValues;
    parameters[kParamAnalysisDate] = dates[4];
    EXPECT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
    EXPECT_TRUE(result.Values().Empty());
    parameters[kParamAnalysisDate] = dates[5];
    EXPECT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
    ExpectValues(result, WindowAverages(rows, dates, dates[5], 65535, 5, close));
    EXPECT_EQ(result.Values().Size(), 2u);

    // On or before the first day: nothing, and no failure.
    for (PackedDate early : {dates[0], MakePackedDate(2006, 12, 1)}) {
        parameters[kParamAnalysisDate] = early;
        EXPECT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
        EXPECT_TRUE(result.Values().Empty());
    }

    // A window longer than the history, however it is written, gives nothing.
    parameters[kParamAnalysisDate] = kNewestDate;
    for (double days : {40.0, 1e12, std::numeric_limits<double>::infinity()}) {
        parameters[kParamDays] = days;
        EXPECT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
        EXPECT_TRUE(result.Values().Empty()) << days;
    }
}

TEST(TurnoverAverage, MatchesPlainAveragesOfCloseTimesVolume) {
    const std::vector<Ohlcv> rows = RandomRows(90, 8, 300, 200, 1700);
    const std::vector<PackedDate> dates = Days(90);
    const auto turnover = [](const Ohlcv& row) {
        return static_cast<double>(row.close) * static_cast<double>(row.volume) / 1000.0;
    };
    for (int priceType : {1, 2}) {
        // Stored prices: the exponent does not enter the trading value.
        CIndicatorMarket market(OneSecurity(rows, priceType, 1));
        TechnicalParameters parameters = market.Defaults(kTechnicalTurnoverAverage);
        CTechnicalTurnoverAverage result;
        ASSERT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
        ExpectValues(result, WindowAverages(rows, dates, kNewestDate, 65535, 5, turnover));
        EXPECT_EQ(result.Values().NewestFirst().back().date, dates[4]);

        // Not a trading day: the newest trading day before it.
        parameters[kParamAnalysisDate] = MakePackedDate(2007, 2, 4); // a Sunday
        parameters[kParamPeriod] = 2;
        parameters[kParamDays] = 15;
        ASSERT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
        ExpectValues(result,
                     WindowAverages(rows, dates, MakePackedDate(2007, 2, 4), 2, 15, turnover));
        EXPECT_EQ(result.Values()[0].date, MakePackedDate(2007, 2, 2));

        parameters[kParamAnalysisDate] = dates[14];
        ASSERT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
        EXPECT_TRUE(result.Values().Empty());
    }
}

TEST(TurnoverAverage, HugeProductsDoNotWrapAround) {
    const std::uint64_t volume = 1ull << 40;
    std::vector<Ohlcv> rows(3, Ohlcv{4000000000u, 4000000000u, 4000000000u, 4000000000u, volume});
    CIndicatorMarket market(OneSecurity(rows, 2));
    TechnicalParameters parameters = market.Defaults(kTechnicalTurnoverAverage);
    parameters[kParamDays] = 2;
    CTechnicalTurnoverAverage result;
    ASSERT_EQ(market.Analyze(parameters, result, kCode), kTechnicalOk);
    ASSERT_EQ(result.Values().Size(), 2u);
    EXPECT_DOUBLE_EQ(result.Values()[0].value, 4e9 * static_cast<double>(volume) / 1000.0);
    EXPECT_DOUBLE_EQ(DailyTurnover(3, 5000), 15.0);
}

} // namespace
} // namespace vorn
