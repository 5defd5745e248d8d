// What a user sees when vornctl cannot do its work: one line on standard error naming what
// failed and why, and the exit status (1 the work failed, 2 the command line was wrong).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "command.h"
#include "support/http_test_server.h"
#include "support/run_command.h"

namespace fs = std::filesystem;
using vorn::test::RunCommandLine;

namespace {

const std::string kCtl = VORN_CTL_PATH;

class VornctlErrorsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = fs::temp_directory_path() / ("vornctl-errors-" + std::to_string(::getpid()));
        fs::create_directories(directory_);
        market_ = (directory_ / "Market.kbx").string();
        const auto [status, output] = RunCommandLine(
            kCtl + " sample --out " + market_ + " --years 1 --securities 30 2>&1");
        ASSERT_EQ(status, 0) << output;
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    // Status and standard error only.
    static std::pair<int, std::string> Errors(const std::string& arguments) {
        return RunCommandLine(kCtl + " " + arguments + " 2>&1 >/dev/null");
    }
    static std::string Path(const std::string& name) { return (directory_ / name).string(); }
    static std::string WriteBytes(const std::string& name, const std::string& bytes) {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    static std::string ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static fs::path directory_;
    static std::string market_;
};

fs::path VornctlErrorsTest::directory_;
std::string VornctlErrorsTest::market_;

TEST_F(VornctlErrorsTest, FileFailuresNamePathAndReason) {
    EXPECT_EQ(Errors("info " + Path("missing.kbx")),
              std::make_pair(1, "vornctl: " + Path("missing.kbx") +
                                    ": no such file or directory\n"));
    EXPECT_EQ(Errors("series " + directory_.string() + " 7203 1"),
              std::make_pair(1, "vornctl: " + directory_.string() + ": is a directory\n"));
    const std::string empty = WriteBytes("empty.kbx", "");
    EXPECT_EQ(Errors("series " + empty + " 7203 1"),
              std::make_pair(1, "vornctl: " + empty + ": empty file\n"));
    const std::string garbage = WriteBytes("garbage.kbx", std::string(64, 'x'));
    EXPECT_EQ(Errors("map " + garbage),
              std::make_pair(1, "vornctl: " + garbage +
                                    ": damaged: not a market matrix file (its header is not "
                                    "valid)\n"));
    if (::geteuid() != 0) { // the superuser reads any file
        const std::string locked = WriteBytes("locked.kbx", ReadBytes(market_));
        fs::permissions(locked, fs::perms::none);
        EXPECT_EQ(Errors("analyse " + locked + " --all"),
                  std::make_pair(1, "vornctl: " + locked + ": permission denied\n"));
    }
}

TEST_F(VornctlErrorsTest, TruncatedFileSaysWhichSectionRunsPastTheEnd) {
    const std::string whole = ReadBytes(market_);
    const std::string cut = WriteBytes("cut.kbx", whole.substr(0, whole.size() - 1204));
    // Told from the prices the securities announce: at most the bytes cut off are missing.
    const auto [status, error] = Errors("series " + cut + " 1002 1");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(error.rfind("vornctl: " + cut + ": damaged: price section ends ", 0), 0u) << error;
    EXPECT_NE(error.find(" bytes past the end of the file\n"), std::string::npos) << error;

    const std::string header = WriteBytes("header.kbx", whole.substr(0, 20));
    EXPECT_EQ(Errors("info " + header),
              std::make_pair(1, "vornctl: " + header +
                                    ": damaged: header section ends 8 bytes past the end of the "
                                    "file\n"));
    // --verbose adds the internal code of the same failure.
    EXPECT_EQ(Errors("series " + header + " 1002 1 --verbose").second,
              "vornctl: " + header +
                  ": damaged: header section ends 8 bytes past the end of the file\n"
                  "vornctl: result: matrix 22\n");
}

TEST_F(VornctlErrorsTest, UnknownSecurityIsNamedWithItsMarketAndFile) {
    const std::string expected = "vornctl: no security 9999 on market 1 in " + market_ + "\n";
    EXPECT_EQ(Errors("series " + market_ + " 9999 1"), std::make_pair(1, expected));
    EXPECT_EQ(Errors("analyse " + market_ + " 9999 1"), std::make_pair(1, expected));
    EXPECT_EQ(Errors("indicator " + market_ + " 9999 1 sma --out " + Path("x.csv")),
              std::make_pair(1, expected));
    EXPECT_EQ(Errors("report " + market_ + " --codes 9999"),
              std::make_pair(1, "vornctl: no security 9999 in " + market_ + "\n"));
#ifdef VORN_WITH_GUI
    EXPECT_EQ(Errors("chart " + market_ + " 9999 1 --out " + Path("x.png")),
              std::make_pair(1, expected));
#endif
}

TEST_F(VornctlErrorsTest, TransferFailuresNameTheAddressAndTheCause) {
    const std::string index = "/vorn/MarketMatrix/MarketMatrix.idx";
    const std::uint16_t closed = vorn::test::CHttpTestServer::UnusedPort();
    const std::string refusedHost = "127.0.0.1:" + std::to_string(closed);
    auto [status, errors] = Errors("startup --data-dir " + Path("client-refused") + " --server " +
                                   refusedHost + " --years 1");
    // One line: the start-up's own failure text is not repeated after the cause.
    EXPECT_EQ(status, 1);
    EXPECT_EQ(errors, "vornctl: startup: http://" + refusedHost + index + ": connection refused\n");

    vorn::test::CHttpTestServer server; // serves nothing: every path is a 404 page
    ASSERT_TRUE(server.IsListening());
    std::tie(status, errors) = Errors("startup --data-dir " + Path("client-missing") +
                                      " --server " + server.Host() + " --years 1");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(errors, "vornctl: startup: http://" + server.Host() + index + ": HTTP status 404\n");

    // A damaged market file in local mode: the file and the damage, in one line.
    fs::create_directories(Path("client-damaged"));
    const std::string damaged = WriteBytes("client-damaged/Market.kbx", std::string(64, 'x'));
    std::tie(status, errors) = Errors("startup --data-dir " + Path("client-damaged") + " --local");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(errors, "vornctl: startup: " + damaged +
                          ": damaged: not a market matrix file (its header is not valid)\n");
}

TEST_F(VornctlErrorsTest, BadCommandLinesExitWithTwoAndShowTheUsage) {
    EXPECT_EQ(Errors("series " + market_ + " 1002 1 --foo"),
              std::make_pair(2, std::string("vornctl: series: unknown option --foo\nusage: "
                                            "vornctl series FILE CODE MARKET [--period "
                                            "daily|weekly|monthly] [--from DATE] [--to DATE] "
                                            "[--yen]\n")));
    EXPECT_EQ(Errors("sample --out " + Path("s.kbx") + " --years").first, 2);
    EXPECT_EQ(Errors("nonsense").first, 2);
    // Impossible dates are refused, not rolled over, in every accepted form.
    for (const char* date : {"2018-02-30", "2018/02/29", "20180230", "2018-13-01", "18-02-01"}) {
        const auto [status, error] = Errors("series " + market_ + " 1002 1 --from " + date);
        EXPECT_EQ(status, 2) << date;
        EXPECT_NE(error.find("is not a date"), std::string::npos) << error;
    }
    EXPECT_EQ(Errors("sample --out " + Path("s.kbx") + " --end 2023-02-29").first, 2);
    EXPECT_FALSE(fs::exists(Path("s.kbx")));
    // Indicator parameters are named and checked, not ignored or truncated.
    EXPECT_EQ(Errors("indicator " + market_ + " 1002 1 sma 2=2.5 --out " + Path("i.csv")).first, 2);
    EXPECT_EQ(Errors("indicator " + market_ + " 1002 1 sma colour=3 --out " + Path("i.csv")).first,
              2);
    EXPECT_FALSE(fs::exists(Path("i.csv")));
}

TEST_F(VornctlErrorsTest, AcceptedDateFormsAndOutputAliasesAgree) {
    const auto slash = RunCommandLine(kCtl + " series " + market_ + " 1002 1 --from 2026/06/01");
    const auto dash = RunCommandLine(kCtl + " series " + market_ + " 1002 1 --from 2026-06-01");
    const auto plain = RunCommandLine(kCtl + " series " + market_ + " 1002 1 --from=20260601");
    ASSERT_EQ(slash.first, 0);
    EXPECT_EQ(slash, dash);
    EXPECT_EQ(slash, plain);

    ASSERT_EQ(RunCommandLine(kCtl + " indicator " + market_ + " 1002 1 sma period=5 --out " +
                             Path("new.csv"))
                  .first,
              0);
    ASSERT_EQ(RunCommandLine(kCtl + " indicator " + market_ + " 1002 1 sma 2=5 --csv " +
                             Path("old.csv"))
                  .first,
              0);
    EXPECT_EQ(ReadBytes(Path("new.csv")), ReadBytes(Path("old.csv")));
    EXPECT_FALSE(ReadBytes(Path("new.csv")).empty());
}

TEST_F(VornctlErrorsTest, FailedWritesOfStandardOutputFail) {
    if (!fs::exists("/dev/full"))
        GTEST_FAIL() << "/dev/full is needed";
    for (const std::string& command : std::vector<std::string>{
             "info " + market_, "series " + market_ + " 1002 1", "screen " + market_,
          "analyse " + market_ + " --all", "help", "--version", "series --help"}) {
        const auto [status, error] = RunCommandLine(kCtl + " " + command + " 2>&1 >/dev/full");
        EXPECT_EQ(status, 1) << command;
        EXPECT_EQ(error.rfind("vornctl: standard output: ", 0), 0u) << command << ": " << error;
    }
}

TEST(VornctlHelpTest, EveryOptionOfEveryParserIsExplained) {
    ASSERT_FALSE(vornctl::Commands().empty());
    for (const auto& [name, info] : vornctl::Commands()) {
        const vornctl::CommandSpec& syntax = info.syntax;
        EXPECT_NE(std::string(syntax.purpose), "") << name;
        EXPECT_NE(std::string(syntax.example).find("vornctl " + name), std::string::npos) << name;
        const std::string help = vornctl::HelpText(syntax);
        for (const auto* options : {&syntax.options, &vornctl::CommonOptions()}) {
            for (const vornctl::OptionSpec& option : *options) {
                EXPECT_GT(std::string(option.meaning).size(), 10u) << name << " --" << option.name;
                EXPECT_NE(help.find(std::string("--") + option.name), std::string::npos)
                    << name << " --" << option.name;
                // What the help lists is what the parser takes, and nothing else.
                std::string flag = std::string("--") + option.name;
                std::string value = option.value != nullptr ? "1" : "";
                std::vector<std::string> words = {flag};
                if (!value.empty())
                    words.push_back(value);
                std::vector<char*> argv;
                for (std::string& word : words)
                    argv.push_back(word.data());
                EXPECT_EQ(vornctl::CArgs(static_cast<int>(argv.size()), argv.data(), syntax).Error(),
                          "")
                    << name << " " << flag;
            }
        }
        char unknown[] = "--no-such-option";
        char* argv[] = {unknown};
        EXPECT_EQ(vornctl::CArgs(1, argv, syntax).Error(), "unknown option --no-such-option");
    }
}

TEST(VornctlHelpTest, HelpAndVersionPrintAndSucceed) {
    const auto [status, list] = RunCommandLine(kCtl + " help");
    EXPECT_EQ(status, 0);
    for (const auto& [name, info] : vornctl::Commands())
        EXPECT_NE(list.find("  " + name), std::string::npos) << name;
    for (const char* form : {" series --help", " series -h", " help series"}) {
        const auto [helpStatus, help] = RunCommandLine(kCtl + form);
        EXPECT_EQ(helpStatus, 0) << form;
        EXPECT_NE(help.find("--period daily|weekly|monthly"), std::string::npos) << form;
        EXPECT_NE(help.find("example:\n  vornctl series "), std::string::npos) << form;
    }
    const auto [versionStatus, version] = RunCommandLine(kCtl + " --version");
    EXPECT_EQ(versionStatus, 0);
    EXPECT_EQ(version.rfind("vornctl ", 0), 0u);
    EXPECT_GT(version.size(), 10u);
}

} // namespace
