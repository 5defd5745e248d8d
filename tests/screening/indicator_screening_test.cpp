// The inclination and trading-value passes over a whole market, their per-security results,
// and the indicator command.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "matrix/matrix_file.h"
#include "technical/indicator_market.h"
#include "screening/indicator_screening.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::CIndicatorMarket;
using test::CMarketBuilder;
using test::kIndicatorFirstDay;
using test::Ohlcv;
using test::RandomRows;
using test::Weekdays;

constexpr int kCalendarDays = 90;

// 1301: the whole calendar; 1332 on two markets, the second one shorter; 2001: 41 days,
// enough for one 40-day value only; 2002: 8 days; 2003: never traded.
CMarketBuilder ScreenedMarket() {
    const std::vector<PackedDate> days = Weekdays(kIndicatorFirstDay, kCalendarDays);
    CMarketBuilder builder;
    builder.Calendar(days)
        .Security(1301, 1, days[0], RandomRows(kCalendarDays, 21, 200, 300))
        .Security(1332, 1, days[0], RandomRows(kCalendarDays, 22, 50, 40))
        .Security(1332, 4, days[30], RandomRows(kCalendarDays - 30, 23, 900, 500))
        .Security(2001, 1, days[49], RandomRows(kCalendarDays - 49, 24, 100, 100))
        .Security(2002, 1, days[82], RandomRows(8, 25, 100, 100))
        .Security(2003, 1, days[0],
                  std::vector<Ohlcv>(kCalendarDays, Ohlcv{100, 100, 100, 100, 0}));
    return builder;
}

InclinationParameters InclinationSettings() {
    return {40, 16, 30, 8};
}

TEST(InclinationScreening, KeepsTodayAndThePreviousDayOfEverySecurityThatHasBoth) {
    CIndicatorMarket market(ScreenedMarket());
    CIndicatorScreening screening(market.Manager());
    const InclinationParameters settings = InclinationSettings();
    screening.PrepareInclinationParameters(settings);
    screening.RecomputeInclinationScreening(settings);

    const SecurityKey expectedKeys[] = {MakeSecurityKey(1301, 1), MakeSecurityKey(1332, 1),
                                        MakeSecurityKey(1332, 4), MakeSecurityKey(2003, 1)};
    ASSERT_EQ(screening.Inclinations().size(), std::size(expectedKeys));
    TechnicalParameters parameters = market.Defaults(kTechnicalInclinationIndex);
    parameters[kParamDays] = 40;
    parameters[kParamBands] = 30;
    parameters[kParamAnalysedBands] = 8;
    for (std::size_t i = 0; i < std::size(expectedKeys); ++i) {
        const SecurityInclination& entry = screening.Inclinations()[i];
        ASSERT_EQ(entry.key, expectedKeys[i]);
        CTechnicalInclinationIndex direct;
        ASSERT_EQ(market.Analyze(parameters, direct, CodeOfKey(entry.key), MarketOfKey(entry.key)),
                  kTechnicalOk);
        EXPECT_EQ(entry.current, direct.Values()[0].value);
        EXPECT_EQ(entry.previous, direct.Values()[1].value);
        EXPECT_EQ(screening.CurrentInclination(entry.key), entry.current);
        EXPECT_EQ(screening.PreviousInclination(entry.key), entry.previous);
    }
    // Untraded: the price lies in a band without volume.
    EXPECT_EQ(screening.CurrentInclination(MakeSecurityKey(2003, 1)), 0.0);
    for (SecurityKey missing :
         {MakeSecurityKey(2001, 1), MakeSecurityKey(2002, 1), MakeSecurityKey(1301, 2)}) {
        EXPECT_FALSE(screening.HasInclination(missing));
        EXPECT_FALSE(screening.CurrentInclination(missing).has_value());
        EXPECT_FALSE(screening.PreviousInclination(missing).has_value());
    }

    // A rerun starts from scratch.
    screening.RecomputeInclinationScreening({70, 16, 30, 8});
    ASSERT_EQ(screening.Inclinations().size(), 3u);
    EXPECT_FALSE(screening.HasInclination(MakeSecurityKey(1332, 4)));
}

TEST(InclinationScreening, IsCurrentOnlyAfterAPassWithTheSameParameters) {
    CIndicatorMarket market(ScreenedMarket());
    CIndicatorScreening screening(market.Manager());
    const InclinationParameters settings = InclinationSettings();
    EXPECT_FALSE(screening.IsInclinationScreeningCurrent(settings));
    screening.PrepareInclinationParameters(settings);
    EXPECT_EQ(screening.InclinationParametersMap().at(kParamPeriod), 2.0);
    EXPECT_EQ(screening.InclinationParametersMap().at(kParamAnalysisDate), kNewestDate);
    // Filled, but nothing has been computed yet.
    EXPECT_FALSE(screening.IsInclinationScreeningCurrent(settings));

    screening.RecomputeInclinationScreening(settings);
    EXPECT_TRUE(screening.IsInclinationScreeningCurrent(settings));
    for (const InclinationParameters changed :
         {InclinationParameters{41, 16, 30, 8}, InclinationParameters{40, 8, 30, 8},
          InclinationParameters{40, 16, 31, 8}, InclinationParameters{40, 16, 30, 9}})
        EXPECT_FALSE(screening.IsInclinationScreeningCurrent(changed));

    // Preparing again (new settings at start-up) asks for a pass again.
    screening.PrepareInclinationParameters(settings);
    EXPECT_FALSE(screening.IsInclinationScreeningCurrent(settings));
}

TEST(TurnoverScreening, ComparesTheEvaluationAverageWithTheBaseAverage) {
    CIndicatorMarket market(ScreenedMarket());
    CIndicatorScreening screening(market.Manager());
    screening.RecomputeTurnoverScreening({3, 15});

    const auto newestAverage = [&](SecurityKey key, unsigned days) {
        TechnicalParameters parameters = market.Defaults(kTechnicalTurnoverAverage);
        parameters[kParamDays] = days;
        CTechnicalTurnoverAverage result;
        EXPECT_EQ(market.Analyze(parameters, result, CodeOfKey(key), MarketOfKey(key)),
                  kTechnicalOk);
        return result.Values().Empty() ? 0.0 : result.Values()[0].value;
    };
    const SecurityKey expectedKeys[] = {MakeSecurityKey(1301, 1), MakeSecurityKey(1332, 1),
                                        MakeSecurityKey(1332, 4), MakeSecurityKey(2001, 1)};
    ASSERT_EQ(screening.TurnoverRatios().size(), std::size(expectedKeys));
    for (std::size_t i = 0; i < std::size(expectedKeys); ++i) {
        const SecurityKey key = expectedKeys[i];
        ASSERT_EQ(screening.TurnoverRatios()[i].key, key);
        const double evaluation = newestAverage(key, 3);
        const double base = newestAverage(key, 15);
        ASSERT_GT(base, 0.0);
        EXPECT_DOUBLE_EQ(*screening.TurnoverRatio(key), (evaluation - base) / base * 100.0);
    }
    // Too short for the base window (2002) or never traded (2003).
    EXPECT_FALSE(screening.HasTurnoverRatio(MakeSecurityKey(2002, 1)));
    EXPECT_FALSE(screening.HasTurnoverRatio(MakeSecurityKey(2003, 1)));

    // An evaluation window that cannot be computed counts as no trading value at all.
    screening.RecomputeTurnoverScreening({9, 5});
    EXPECT_EQ(screening.TurnoverRatio(MakeSecurityKey(2002, 1)), -100.0);
    EXPECT_TRUE(screening.HasTurnoverRatio(MakeSecurityKey(1301, 1)));

    screening.RecomputeTurnoverScreening({0, 15});
    EXPECT_TRUE(screening.TurnoverRatios().empty());
    screening.RecomputeTurnoverScreening({3, 0});
    EXPECT_TRUE(screening.TurnoverRatios().empty());
}

// --- vornctl indicator ---

struct CommandResult {
    int exitCode = -1;
    std::string output;
};

CommandResult RunCtl(const std::string& arguments) {
    const std::string command =
        std::string(VORN_CTL_PATH) + " indicator " + arguments + " 2>/dev/null";
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        result.output += buffer;
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class IndicatorCommand : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vorn-indicator-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        CIndicatorMarket market(ScreenedMarket());
        ASSERT_EQ(GenerateMatrix(market.Matrix(), directory_ / "Market.kbx", nullptr, nullptr),
                  kMatrixOk);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    std::string Quoted(const std::string& name) const {
        return "'" + (directory_ / name).string() + "'";
    }
    fs::path directory_;
};

TEST_F(IndicatorCommand, WritesWhatTheIndicatorComputes) {
    CIndicatorMarket market(ScreenedMarket());
    TechnicalParameters parameters = market.Defaults(kTechnicalInclinationIndex);
    parameters[kParamDays] = 20;
    parameters[kParamBands] = 12;
    CTechnicalInclinationIndex inclination;
    ASSERT_EQ(market.Analyze(parameters, inclination, 1332, 4), kTechnicalOk);
    const CommandResult run = RunCtl(Quoted("Market.kbx") + " 1332 4 inclination 2=20 4=12 --csv " +
                                     Quoted("inclination.csv"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "status=0\n");
    EXPECT_EQ(ReadAll(directory_ / "inclination.csv"), inclination.CsvText());

    parameters = market.Defaults(kTechnicalSimpleMovingAverage);
    parameters[kParamAnalysisDate] = MakePackedDate(2007, 3, 1);
    parameters[kParamPriceSelector] = 4;
    CTechnicalMovingAverage average;
    ASSERT_EQ(market.Analyze(parameters, average, 1301), kTechnicalOk);
    ASSERT_FALSE(average.Values().Empty());
    const CommandResult sma =
        RunCtl(Quoted("Market.kbx") + " 1301 1 sma 0=2007/03/01 3=4 --csv " + Quoted("sma.csv"));
    EXPECT_EQ(sma.exitCode, 0);
    // In yen, with the unit in the header.
    const SecurityRecord* priced = market.Matrix().FindSecurity(MakeSecurityKey(1301, 1));
    ASSERT_NE(priced, nullptr);
    const double perYen = (priced->listingFlags & kListingHundredths) != 0 ? 100.0 : 1.0;
    EXPECT_EQ(ReadAll(directory_ / "sma.csv"), average.CsvText({perYen, "円"}));

    // A failing analysis still reports its status and writes the empty series.
    const CommandResult failing =
        RunCtl(Quoted("Market.kbx") + " 1301 1 inclination 5=1 --csv " + Quoted("bad.csv"));
    EXPECT_EQ(failing.exitCode, 1);
    EXPECT_EQ(failing.output, "status=26\n");
    EXPECT_EQ(ReadAll(directory_ / "bad.csv"), CTechnicalInclinationIndex().CsvText());
}

TEST_F(IndicatorCommand, RefusesBadArgumentsWithoutWriting) {
    const std::string file = Quoted("Market.kbx");
    const std::string csv = " --csv " + Quoted("out.csv");
    EXPECT_EQ(RunCtl(file + " 1301 1 macd" + csv).exitCode, 2);
    EXPECT_EQ(RunCtl(file + " 1301 1 sma 6=3" + csv).exitCode, 2);
    EXPECT_EQ(RunCtl(file + " 1301 1 sma 2=nan" + csv).exitCode, 2);
    EXPECT_EQ(RunCtl(file + " 1301 9 turnover" + csv).exitCode, 1);
    EXPECT_FALSE(fs::exists(directory_ / "out.csv"));
}

} // namespace
} // namespace vorn
