// vornctl screen and vornctl report on a small sample market file.
#include <gtest/gtest.h>

#include "support/run_command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "contents/settings_files.h"
#include "foundation/text_encoding.h"

namespace vorn {
namespace {

std::pair<int, std::string> RunCtl(const std::string& arguments) {
    const std::string command = std::string(VORN_CTL_PATH) + " " + arguments + " 2>/dev/null";
    return test::RunCommandLine(command);
}

class ScreenCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ =
            std::filesystem::temp_directory_path() / ("vorn_screen_" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory_);
        market_ = (directory_ / "Market.kbx").string();
        RunCtl("sample --out " + market_ + " --years 2 --securities 80");
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(directory_); }

    static std::string Settings(const char* name, const ScreeningSettings& current,
                                const CSavedScreenings& saved = {}) {
        const std::string path = (directory_ / name).string();
        EXPECT_EQ(SaveScreeningFile(path, current, saved), SettingsFileResult::Ok);
        return path;
    }

    static inline std::filesystem::path directory_;
    static inline std::string market_;
};

TEST_F(ScreenCommandTest, PrintsPassingSecuritiesAndTheSummary) {
    ASSERT_TRUE(std::filesystem::exists(market_));
    const auto [status, output] = RunCtl("screen " + market_);
    ASSERT_EQ(status, 0);
    const auto lines = test::SplitLines(output);
    ASSERT_GT(lines.size(), 10u);
    EXPECT_EQ(
        lines.back().rfind("銘柄数：" + std::to_string(lines.size() - 1) + " 平均リターン：", 0),
        0u)
        << lines.back();
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), 12) << lines[i];
        if (i > 0) {
            EXPECT_LT(lines[i - 1].substr(0, 4), lines[i].substr(0, 4)) << "one line per company";
        }
    }

    // The same conditions from a settings file give the same list.
    const std::string defaults = Settings("defaults.ssd", MakeDefaultScreeningSettings());
    EXPECT_EQ(RunCtl("screen " + market_ + " --settings " + defaults).second, output);
}

TEST_F(ScreenCommandTest, ReadsCurrentOrSavedSettings) {
    ScreeningSettings none = MakeDefaultScreeningSettings();
    none.markets = 0;
    CSavedScreenings saved;
    ASSERT_EQ(saved.SaveScreeningAs(Utf8ToCp932("全部"), MakeDefaultScreeningSettings()),
              ScreeningSaveResult::Ok);
    ScreeningSettings current = none;
    current.preferred = {MakeSecurityKey(1002, 1)};
    const std::string path = Settings("saved.ssd", current, saved);

    auto [status, output] = RunCtl("screen " + market_ + " --settings " + path);
    ASSERT_EQ(status, 0);
    auto lines = test::SplitLines(output);
    ASSERT_EQ(lines.size(), 2u) << output;
    EXPECT_EQ(lines[0].substr(0, 5), "1002,");
    EXPECT_EQ(lines[1].rfind("銘柄数：1 ", 0), 0u);

    std::tie(status, output) =
        RunCtl("screen " + market_ + " --settings " + path + " --saved 全部");
    ASSERT_EQ(status, 0);
    EXPECT_EQ(output, RunCtl("screen " + market_).second);

    EXPECT_EQ(RunCtl("screen " + market_ + " --settings " + path + " --saved nothing").first, 1);
    const std::string damaged = (directory_ / "damaged.ssd").string();
    std::ofstream(damaged, std::ios::binary) << "not a settings file";
    std::tie(status, output) = RunCtl("screen " + market_ + " --settings " + damaged);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(output, "");
}

TEST_F(ScreenCommandTest, ReportInUtf8OrAsClipboardBytes) {
    const auto [status, utf8] = RunCtl("report " + market_ + " --top 5");
    ASSERT_EQ(status, 0);
    EXPECT_EQ(utf8.rfind("　【 「窓理論」による売買シグナル一覧（時価総額上位5位） 】\n", 0), 0u)
        << utf8;
    EXPECT_EQ(RunCtl("report " + market_ + " --top 5 --cp932").second, Utf8ToCp932(utf8));

    const auto [codesStatus, codes] = RunCtl("report " + market_ + " --codes 9999");
    ASSERT_EQ(codesStatus, 0);
    EXPECT_EQ(codes.rfind("　【 「窓理論」による売買シグナル一覧（時価総額上位0位） 】\n", 0), 0u);
    EXPECT_EQ(RunCtl("report " + market_ + " --codes 12,x").first, 2);
    EXPECT_EQ(RunCtl("report " + market_ + " --codes 9A7A").first, 2);
    EXPECT_EQ(RunCtl("report " + market_).first, 2);
}

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Whether a line of the screen's CSV starts with a code that holds a letter ("452A,").
bool HasLetterCode(const std::vector<std::string>& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.size() > 4 && line[4] == ',' &&
               std::any_of(line.begin(), line.begin() + 4, [](char c) { return c >= 'A'; });
    });
}

TEST_F(ScreenCommandTest, MarketNamesFollowTheFilesLastDay) {
    struct Case {
        const char* end;
        bool presentDay;
    };
    for (const Case& c :
         {Case{"2022/04/01", false}, Case{"2022/04/04", true}, Case{"2022/04/05", true}}) {
        const std::string file = (directory_ / "Dated.kbx").string();
        ASSERT_EQ(
            RunCtl("sample --out " + file + " --years 1 --securities 60 --end " + c.end).first, 0);
        const auto [screenStatus, screen] = RunCtl("screen " + file);
        ASSERT_EQ(screenStatus, 0);
        EXPECT_EQ(Holds(screen, ",東証Ｐ,"), c.presentDay) << c.end;
        EXPECT_EQ(Holds(screen, ",東証一,"), !c.presentDay) << c.end;
        EXPECT_FALSE(HasLetterCode(test::SplitLines(screen))) << "no letter codes before 2024";

        const auto [reportStatus, report] = RunCtl("report " + file + " --top 60");
        ASSERT_EQ(reportStatus, 0);
        EXPECT_EQ(Holds(report, "（東証プライム："), c.presentDay) << c.end;
        EXPECT_EQ(Holds(report, "（東証一部："), !c.presentDay) << c.end;
    }
}

TEST_F(ScreenCommandTest, LetterCodesAreListedAndReportedAsWritten) {
    const auto [status, output] = RunCtl("screen " + market_);
    ASSERT_EQ(status, 0);
    const auto lines = test::SplitLines(output);
    ASSERT_TRUE(HasLetterCode(lines)) << "the sample holds companies listed since 2024";
    std::string lettered;
    for (const std::string& line : lines)
        if (line.size() > 4 && line[3] >= 'A' && line[4] == ',')
            lettered = line.substr(0, 4);
    ASSERT_FALSE(lettered.empty());
    // Lower case reads as the same code.
    std::string lower = lettered;
    lower[3] = static_cast<char>(lower[3] - 'A' + 'a');
    const auto [reportStatus, report] = RunCtl("report " + market_ + " --codes " + lower);
    ASSERT_EQ(reportStatus, 0);
    const auto [upperStatus, upper] = RunCtl("report " + market_ + " --codes " + lettered);
    EXPECT_EQ(report, upper);
}

} // namespace
} // namespace vorn
