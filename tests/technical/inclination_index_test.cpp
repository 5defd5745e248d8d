// The band profile and the inclination index: a hand-computed profile, the score's bounds and
// special cases, and agreement with a plain re-computation over an ordered map of bands.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "technical/inclination_index.h"
#include "technical/indicator_market.h"

namespace vorn {
namespace {

using test::CIndicatorMarket;
using test::CMarketBuilder;
using test::kIndicatorFirstDay;
using test::Ohlcv;
using test::RandomRows;
using test::Weekdays;

constexpr std::uint16_t kCode = 4502;

bool BuildProfile(CBandProfile& profile, const std::vector<Ohlcv>& rows, std::uint16_t day,
                  std::uint16_t days, std::uint16_t bands) {
    std::vector<Candle<std::uint32_t>> candles;
    std::vector<std::uint64_t> volumes;
    for (const Ohlcv& r : rows) {
        candles.push_back({r.open, r.high, r.low, r.close});
        volumes.push_back(r.volume);
    }
    return profile.Build(candles.data(), volumes.data(), day, days, bands);
}

CMarketBuilder OneSecurity(const std::vector<Ohlcv>& rows, int priceType = -1) {
    CMarketBuilder builder;
    builder.Calendar(Weekdays(kIndicatorFirstDay, static_cast<int>(rows.size())))
        .Security(kCode, 1, kIndicatorFirstDay, rows, priceType);
    return builder;
}

TechnicalParameters Parameters(double days, double bands, double analysedBands,
                               double period = kAllValues, double selector = 16) {
    return {{kParamAnalysisDate, kNewestDate},
            {kParamPeriod, period},
            {kParamDays, days},
            {kParamPriceSelector, selector},
            {kParamBands, bands},
            {kParamAnalysedBands, analysedBands}};
}

// Day 0 only precedes the window; days 1..3 make bands with upper bounds 105, 110, 115 and 120
// (lowest low 100, highest high 120, four bands) holding 30, 30, 20 and 20.
const std::vector<Ohlcv> kHandMade = {
    {100, 130, 90, 100, 1000}, // outside the window: never counted
    {105, 110, 100, 108, 10},  // reaches 105 and 110
    {110, 120, 105, 118, 20},  // reaches 105 .. 120, both ends included
    {103, 104, 100, 102, 5},   // reaches no bound
};

TEST(InclinationIndex, ScoresTheHandMadeProfile) {
    CBandProfile profile;
    ASSERT_TRUE(BuildProfile(profile, kHandMade, 3, 3, 4));
    ASSERT_EQ(profile.Count(), 4u);
    const double bounds[] = {105, 110, 115, 120};
    const std::uint64_t expected[] = {30, 30, 20, 20};
    for (std::size_t band = 0; band < 4; ++band) {
        EXPECT_DOUBLE_EQ(profile.UpperBound(band), bounds[band]);
        EXPECT_EQ(profile.Volume(band), expected[band]) << "band " << band;
    }
    // Price 102 in band 0 (30): G = 0 x 30 + 1 x 20 + 2 x 20 = 60, W = 10, r = 0.2.
    EXPECT_DOUBLE_EQ(InclinationScore(profile, 102, 4), -20.0);
    // Price 112 in band 2 (20): G = 0 x (20 - 30) + 1 x (0 - 30) = -30, r = -0.15.
    EXPECT_DOUBLE_EQ(InclinationScore(profile, 112, 4), 15.0);
    EXPECT_EQ(InclinationScore(profile, 121, 4), 0.0); // above every band

    // The same through the indicator, on the close of day 3.
    CIndicatorMarket market(OneSecurity(kHandMade));
    CTechnicalInclinationIndex result;
    ASSERT_EQ(market.Analyze(Parameters(3, 4, 4), result, kCode), kTechnicalOk);
    ASSERT_EQ(result.Values().Size(), 1u); // day 2 has no day before a 3-day window
    EXPECT_EQ(result.Values()[0].date, Weekdays(kIndicatorFirstDay, 4)[3]);
    EXPECT_DOUBLE_EQ(result.Values()[0].value, -20.0);
}

TEST(InclinationIndex, ScoresStayWithinPlusAndMinusHundred) {
    // Day 1 alone reaches band 0 (upper bound 105) with volume 1; day 2 fills bands 1..3.
    CBandProfile profile;
    ASSERT_TRUE(BuildProfile(
        profile, {{100, 100, 100, 100, 1}, {101, 105, 100, 101, 1}, {115, 120, 110, 119, 1000}}, 2,
        2, 4));
    EXPECT_EQ(InclinationScore(profile, 101, 4), -100.0); // r = 300
    // Band 3 (1000) against 1000 at distance 2 and 1 at distance 3: r = -1002 / 10 / 1000.
    EXPECT_NEAR(InclinationScore(profile, 120, 4), 10.02, 1e-12);

    // The mirror image: a thin top band over heavy bands below.
    ASSERT_TRUE(BuildProfile(
        profile, {{100, 100, 100, 100, 1}, {101, 110, 100, 101, 1000}, {115, 120, 115, 119, 1}}, 2,
        2, 4));
    EXPECT_EQ(InclinationScore(profile, 119, 4), 100.0); // r = -300
}

TEST(InclinationIndex, SpecialCasesScoreZeroNeverNegativeZero) {
    // A flat window: one band holding the price.
    const std::vector<Ohlcv> flat(70, Ohlcv{500, 500, 500, 500, 100});
    CIndicatorMarket flatMarket(OneSecurity(flat));
    CTechnicalInclinationIndex result;
    ASSERT_EQ(flatMarket.Analyze(Parameters(60, 80, 10), result, kCode), kTechnicalOk);
    ASSERT_EQ(result.Values().Size(), 10u);
    for (const DatedValue& v : result.Values().NewestFirst()) {
        EXPECT_EQ(v.value, 0.0);
        EXPECT_FALSE(std::signbit(v.value));
    }

    // Two analysed bands visit only distance 1, whose weight is 0.
    const std::vector<Ohlcv> rows = RandomRows(80, 11, 100, 60);
    CIndicatorMarket market(OneSecurity(rows));
    ASSERT_EQ(market.Analyze(Parameters(20, 30, 2), result, kCode), kTechnicalOk);
    ASSERT_EQ(result.Values().Size(), 60u);
    for (const DatedValue& v : result.Values().NewestFirst())
        EXPECT_FALSE(v.value != 0.0 || std::signbit(v.value)) << v.value;
}

TEST(InclinationIndex, RefusesFewAnalysedBandsAndNonTradingAnalysisDates) {
    const std::vector<Ohlcv> rows = RandomRows(30, 12, 100, 60);
    const std::vector<PackedDate> dates = Weekdays(kIndicatorFirstDay, 30);
    CIndicatorMarket market(OneSecurity(rows));
    CTechnicalInclinationIndex result;
    const auto statusWith = [&](const TechnicalParameters& parameters) {
        result.Values().Set(kIndicatorFirstDay, 3.0);
        const TechnicalStatus status = market.Analyze(parameters, result, kCode);
        if (status != kTechnicalOk) {
            EXPECT_TRUE(result.Values().Empty());
        }
        return status;
    };
    EXPECT_EQ(statusWith(Parameters(5, 10, 1)), kTechnicalBadAnalysedBands);
    EXPECT_EQ(statusWith(Parameters(5, 10, 0)), kTechnicalBadAnalysedBands);
    TechnicalParameters parameters;
    parameters = Parameters(3, 10, 4, 3);
    parameters[kParamAnalysisDate] = MakePackedDate(2007, 1, 13); // a Saturday
    EXPECT_EQ(statusWith(parameters), kTechnicalBadAnalysisDate);
    parameters[kParamAnalysisDate] = MakePackedDate(2006, 12, 1); // before the first day
    EXPECT_EQ(statusWith(parameters), kTechnicalBadAnalysisDate);
    parameters[kParamAnalysisDate] = MakePackedDate(2007, 1, 12); // a Friday
    EXPECT_EQ(statusWith(parameters), kTechnicalOk);
    ASSERT_EQ(result.Values().Size(), 3u);
    EXPECT_EQ(result.Values()[0].date, MakePackedDate(2007, 1, 12));
    EXPECT_EQ(result.Values()[2].date, MakePackedDate(2007, 1, 10));
    parameters[kParamAnalysisDate] = dates[2]; // the window has no day before it
    EXPECT_EQ(statusWith(parameters), kTechnicalOk);
    EXPECT_TRUE(result.Values().Empty());
}

// The profile as an ordered map from upper bound to volume, and the score, computed the plain
// way: every band's bound tested against every day.
double PlainScore(const std::vector<Ohlcv>& rows, int day, int days, int bands, int analysed,
                  unsigned selector) {
    if (day < days)
        return std::nan("");
    double lowest = rows[day].low, highest = rows[day].high;
    for (int d = day - days + 1; d <= day; ++d) {
        lowest = std::min<double>(lowest, rows[d].low);
        highest = std::max<double>(highest, rows[d].high);
    }
    const double width = (highest - lowest) / bands;
    std::map<double, std::uint64_t> profile;
    for (int j = 1; j <= bands; ++j)
        profile[lowest + j * width] = 0;
    for (int d = day - days + 1; d <= day; ++d)
        for (auto& [bound, volume] : profile)
            if (rows[d].volume != 0 && bound >= rows[d].low && bound <= rows[d].high)
                volume += rows[d].volume;
    const double price = test::SelectedValue(rows[day], selector);
    const auto at = profile.lower_bound(price);
    if (at == profile.end() || at->second == 0)
        return 0.0;
    std::vector<std::uint64_t> volumes;
    for (const auto& [bound, volume] : profile)
        volumes.push_back(volume);
    const int band = static_cast<int>(std::distance(profile.begin(), at));
    double weighed = 0;
    for (int s = 1; s < analysed; ++s) {
        const double above = band + s < static_cast<int>(volumes.size()) ? volumes[band + s] : 0;
        const double below = band - s >= 0 ? volumes[band - s] : 0;
        weighed += (s - 1) * (above - below);
    }
    const double r = weighed / (analysed * (analysed + 1) / 2.0) / at->second;
    return r >= 1 ? -100 : r <= -1 ? 100 : -100 * r;
}

TEST(InclinationIndex, AgreesWithPlainComputationForEveryWidth) {
    const std::vector<Ohlcv> rows = RandomRows(150, 13, 20, 140);
    const std::vector<PackedDate> dates = Weekdays(kIndicatorFirstDay, 150);
    struct Case {
        int days, bands, analysed;
        unsigned selector;
    };
    for (const Case c : {Case{60, 80, 10, 16}, Case{10, 7, 3, 1}, Case{25, 40, 40, 4},
                         Case{5, 200, 12, 8}, Case{149, 13, 5, 2}}) {
        for (int priceType : {0, 1, 2}) {
            CIndicatorMarket market(OneSecurity(rows, priceType));
            CTechnicalInclinationIndex result;
            ASSERT_EQ(
                market.Analyze(Parameters(c.days, c.bands, c.analysed, kAllValues, c.selector),
                               result, kCode),
                kTechnicalOk);
            SCOPED_TRACE(testing::Message()
                         << "days " << c.days << " bands " << c.bands << " type " << priceType);
            ASSERT_EQ(result.Values().Size(), static_cast<std::size_t>(150 - c.days));
            for (std::size_t i = 0; i < result.Values().Size(); ++i) {
                const int day = 149 - static_cast<int>(i);
                EXPECT_EQ(result.Values()[i].date, dates[day]);
                EXPECT_NEAR(result.Values()[i].value,
                            PlainScore(rows, day, c.days, c.bands, c.analysed, c.selector), 1e-9)
                    << "day " << day;
            }
        }
    }
}

} // namespace
} // namespace vorn
