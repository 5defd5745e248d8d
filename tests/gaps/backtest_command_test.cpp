// vornctl backtest on a small sample market file: the table, the CSV and its breakdowns, the
// restrictions by market and by screening settings, and the refusal of bad options.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "contents/settings_files.h"
#include "foundation/text_encoding.h"
#include "support/run_command.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

std::pair<int, std::string> RunCtl(const std::string& arguments) {
    return test::RunCommandLine(std::string(VORN_CTL_PATH) + " " + arguments + " 2>/dev/null");
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Rows of a CSV keyed by "group,law,side", the trade count of each.
std::map<std::string, unsigned long> TradeCounts(const std::string& csv) {
    std::map<std::string, unsigned long> counts;
    const auto lines = test::SplitLines(csv);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::size_t comma = 0;
        for (int field = 0; field < 3; ++field)
            comma = lines[i].find(',', comma + 1);
        const std::size_t next = lines[i].find(',', comma + 1);
        counts[lines[i].substr(0, comma)] =
            std::stoul(lines[i].substr(comma + 1, next - comma - 1));
    }
    return counts;
}

class BacktestCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = fs::temp_directory_path() / ("vorn_backtest_" + std::to_string(::getpid()));
        fs::create_directories(directory_);
        market_ = (directory_ / "Market.kbx").string();
        RunCtl("sample --out " + market_ + " --years 3 --securities 120");
    }
    static void TearDownTestSuite() { fs::remove_all(directory_); }

    // Runs with --csv into a fresh file; the file's text.
    static std::string Csv(const std::string& options) {
        const fs::path path = directory_ / "out.csv";
        fs::remove(path);
        const auto [status, output] =
            RunCtl("backtest " + market_ + " " + options + " --csv " + path.string());
        EXPECT_EQ(status, 0) << options;
        return ReadWhole(path);
    }

    static inline fs::path directory_;
    static inline std::string market_;
};

TEST_F(BacktestCommandTest, TableAndCsvOfEveryLawAndSide) {
    ASSERT_TRUE(fs::exists(market_));
    const auto [status, output] = RunCtl("backtest " + market_);
    ASSERT_EQ(status, 0);
    const auto lines = test::SplitLines(output);
    ASSERT_EQ(lines.size(), 13u); // heading, 8 laws, 3 of all laws, the trade count
    EXPECT_NE(lines[1].find("[法則１] 窓空け上昇"), std::string::npos);
    EXPECT_NE(lines[5].find("[法則１] 窓空け下落"), std::string::npos);
    EXPECT_NE(lines[11].find("全法則"), std::string::npos);
    EXPECT_NE(lines[11].find("両方"), std::string::npos);

    const std::string csv = Csv("");
    const auto rows = test::SplitLines(csv);
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[0], "group,law,side,trades,wins,losses,even,win_rate,avg_return,"
                       "median_return,total_return,avg_days,worst,profit_factor");
    EXPECT_EQ(rows[1].rfind("all,1,buy,", 0), 0u);
    EXPECT_EQ(rows[5].rfind("all,1,sell,", 0), 0u);
    EXPECT_EQ(rows[11].rfind("all,all,both,", 0), 0u);
    const auto counts = TradeCounts(csv);
    EXPECT_EQ(lines.back(), std::to_string(counts.at("all,all,both")) + " trades");
    EXPECT_EQ(counts.at("all,all,buy") + counts.at("all,all,sell"), counts.at("all,all,both"));
    EXPECT_GT(counts.at("all,all,both"), 500u);
}

TEST_F(BacktestCommandTest, BreakdownsAddUpToTheWholeAndRestrictionsNarrowIt) {
    const unsigned long total = TradeCounts(Csv("")).at("all,all,both");
    for (const char* by : {"year", "market", "sector"}) {
        SCOPED_TRACE(by);
        unsigned long sum = 0;
        for (const auto& [key, trades] : TradeCounts(Csv(std::string("--by ") + by)))
            if (key.ends_with(",all,both"))
                sum += trades;
        EXPECT_EQ(sum, total);
    }
    const auto years = TradeCounts(Csv("--by year"));
    EXPECT_TRUE(years.count("2025,all,both") == 1 || years.count("2026,all,both") == 1);

    const auto market1 = TradeCounts(Csv("--markets 1")).at("all,all,both");
    const auto others = TradeCounts(Csv("--markets 2,3,4,5,6,7,8,9,10,11,12,13,14,15"));
    EXPECT_EQ(market1 + others.at("all,all,both"), total);
    EXPECT_LT(TradeCounts(Csv("--from 2026/01/01")).at("all,all,both"), total);
    EXPECT_LT(TradeCounts(Csv("--period weekly")).at("all,all,both"), total);
}

TEST_F(BacktestCommandTest, ScreeningSettingsSelectTheSecurities) {
    const unsigned long total = TradeCounts(Csv("")).at("all,all,both");
    ScreeningSettings none = MakeDefaultScreeningSettings();
    none.markets = 0; // no market: nothing passes
    CSavedScreenings saved;
    ASSERT_EQ(saved.SaveScreeningAs(Utf8ToCp932("全部"), MakeDefaultScreeningSettings()),
              ScreeningSaveResult::Ok);
    const std::string path = (directory_ / "Vorn.ssd").string();
    ASSERT_EQ(SaveScreeningFile(path, none, saved), SettingsFileResult::Ok);
    EXPECT_EQ(TradeCounts(Csv("--settings " + path)).at("all,all,both"), 0u);
    const auto all = TradeCounts(Csv("--settings " + path + " --saved 全部")).at("all,all,both");
    EXPECT_GT(all, 0u);
    EXPECT_LE(all, total);
    EXPECT_EQ(RunCtl("backtest " + market_ + " --settings " + path + " --saved 無い").first, 1);
}

TEST_F(BacktestCommandTest, BadOptionsAndFilesAreRefused) {
    for (const char* options : {"--period yearly", "--by law", "--by all", "--markets 0",
                                "--markets 1,,2", "--sectors 35", "--from 2020/13/01", "--saved X",
                                "--from 2021/01/01 --to 2020/01/01", "--unknown 1"}) {
        SCOPED_TRACE(options);
        EXPECT_EQ(RunCtl("backtest " + market_ + " " + options).first, 2);
    }
    EXPECT_EQ(RunCtl("backtest").first, 2);
    // A market that cannot be read leaves an existing CSV as it was.
    const fs::path kept = directory_ / "kept.csv";
    std::ofstream(kept) << "mine\n";
    EXPECT_EQ(
        RunCtl("backtest " + (directory_ / "missing.kbx").string() + " --csv " + kept.string())
            .first,
        1);
    // A CSV that cannot be written: exit 1.
    fs::create_directories(directory_ / "dir.csv");
    EXPECT_EQ(RunCtl("backtest " + market_ + " --csv " + (directory_ / "dir.csv").string()).first,
              1);
    EXPECT_EQ(ReadWhole(kept), "mine\n");
}

} // namespace
} // namespace vorn
