// Progress of the long commands: one line on a terminal that updates in place and ends with a
// newline, nothing when standard error is a pipe or a file, nothing with --quiet, and never
// anything on standard output.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "progress_line.h"
#include "support/run_command.h"
#include "support/test_files.h"

namespace fs = std::filesystem;
using vorn::test::ReadWholeFile;
using vorn::test::RunCommandLine;
using vorn::test::WriteWholeFile;

namespace {

const std::string kCtl = VORN_CTL_PATH;
constexpr char kErase[] = "\r\033[K";

// Runs `commandLine` through the shell with a pseudo-terminal as its standard input, output
// and error; the exit status and everything the terminal received.
std::pair<int, std::string> RunInTerminal(const std::string& commandLine) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 200;
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, &size);
    if (child < 0)
        return {-1, {}};
    if (child == 0) {
        ::execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string received;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // EIO once the child's side is closed
    }
    ::close(terminal);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, received};
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class VornctlProgressTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = fs::temp_directory_path() / ("vornctl-progress-" + std::to_string(::getpid()));
        fs::create_directories(directory_ / "q");
        market_ = (directory_ / "Market.kbx").string();
        const auto [status, output] =
            RunCommandLine(kCtl + " sample --out " + market_ + " --years 2 --securities 20 2>&1");
        ASSERT_EQ(status, 0) << output;
        WriteWholeFile(directory_ / "list.csv", "code,market,name,industry,unit,margin\n"
                                                "7203,1,トヨタ自動車,17,100,1\n"
                                                "1301,1,極洋,1,1000,0\n");
        WriteWholeFile(directory_ / "q" / "7203.csv", "date,open,high,low,close,volume\n"
                                                      "2024-01-04,2500,2550,2490,2540,1000\n"
                                                      "2024-01-05,2540,2600,2530,2590,1200\n");
        WriteWholeFile(directory_ / "q" / "1301.csv", "date,open,high,low,close,volume\n"
                                                      "2024-01-05,100,101,99,100,5\n");
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    static std::string Path(const std::string& name) { return (directory_ / name).string(); }
    static std::string Publish(const std::string& tree) {
        return kCtl + " publish --matrix " + market_ + " --out " + Path(tree) +
               " --years 1,2 --updates 3";
    }
    static std::string Import(const std::string& file) {
        return kCtl + " import --out " + Path(file) + " --securities " + Path("list.csv") + " " +
               Path("q");
    }

    static fs::path directory_;
    static std::string market_;
};

fs::path VornctlProgressTest::directory_;
std::string VornctlProgressTest::market_;

TEST_F(VornctlProgressTest, TerminalShowsOneLineUpdatedInPlaceEndedByANewline) {
    struct Case {
        std::string command;
        std::string last; // the start of the final state of the line
    };
    const Case cases[] = {{Publish("tree-tty"), "[100%] published 5 packages and updates in "},
                          {Import("tty.kbx"), "[100%] imported " + Path("tty.kbx")}};
    for (const Case& c : cases) {
        // Standard output goes to a file: what the terminal receives is standard error alone.
        const auto [status, terminal] = RunInTerminal(c.command + " > " + Path("stdout.txt"));
        ASSERT_EQ(status, 0) << terminal;
        EXPECT_GE(Count(terminal, kErase), 3u) << terminal; // several states, each in place
        EXPECT_EQ(terminal.rfind(kErase, 0), 0u) << terminal;
        // One line: no line ends but the last; the terminal turns "\n" into "\r\n".
        EXPECT_EQ(Count(terminal, "\n"), 1u) << terminal;
        const std::size_t last = terminal.rfind(kErase) + std::string(kErase).size();
        EXPECT_EQ(terminal.compare(last, c.last.size(), c.last), 0) << terminal;
        EXPECT_EQ(terminal.substr(terminal.size() - 2), "\r\n") << terminal;
        // Standard output holds the summary alone.
        const std::string summary = ReadWholeFile(Path("stdout.txt"));
        EXPECT_FALSE(summary.empty());
        EXPECT_EQ(summary.find('\r'), std::string::npos) << summary;
        EXPECT_EQ(summary.find('%'), std::string::npos) << summary;
    }
}

TEST_F(VornctlProgressTest, QuietAndAPipeShowNoProgress) {
    for (const std::string& command : {Publish("tree-quiet"), Import("quiet.kbx")}) {
        const auto [status, terminal] = RunInTerminal(command + " --quiet > " + Path("stdout.txt"));
        EXPECT_EQ(status, 0) << terminal;
        EXPECT_EQ(terminal, "") << command;
    }
    for (const std::string& command : {Publish("tree-pipe"), Import("pipe.kbx")}) {
        // Standard error is a pipe here: it receives nothing, standard output the summary.
        const auto [status, errors] = RunCommandLine(command + " 2>&1 >/dev/null");
        EXPECT_EQ(status, 0) << errors;
        EXPECT_EQ(errors, "") << command;
    }
    EXPECT_EQ(ReadWholeFile(Path("pipe.kbx")), ReadWholeFile(Path("quiet.kbx")));
}

TEST_F(VornctlProgressTest, FailureErasesTheLineBeforeItsOneLineMessage) {
    const auto [status, terminal] =
        RunInTerminal(kCtl + " import --out " + Path("bad.kbx") + " --securities " +
                      Path("missing.csv") + " " + Path("q") + " > " + Path("stdout.txt"));
    EXPECT_EQ(status, 1);
    // Whatever progress was shown is erased; the message lines start at the line's start.
    const std::size_t message = terminal.find("vornctl: import: ");
    ASSERT_NE(message, std::string::npos) << terminal;
    const std::string before = terminal.substr(0, message);
    EXPECT_TRUE(before.empty() || before.substr(before.size() - 4) == kErase) << terminal;
    EXPECT_EQ(terminal.find("[100%]"), std::string::npos) << terminal;
    EXPECT_FALSE(fs::exists(Path("bad.kbx")));
}

// The content files a publish packs are written to a scratch folder first; an interrupt at
// that moment removes them and the folder.
TEST_F(VornctlProgressTest, InterruptedPublishLeavesNoScratchFolder) {
    const fs::path scratch = Path("scratch");
    fs::create_directories(scratch);
    const auto busyFolder = [&scratch]() {
        std::error_code error;
        for (const auto& folder : fs::directory_iterator(scratch, error))
            if (!fs::is_empty(folder.path(), error))
                return true;
        return false;
    };
    bool caught = false;
    for (int attempt = 0; attempt < 10 && !caught; ++attempt) {
        const std::string tree = Path("tree-interrupted-" + std::to_string(attempt));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("TMPDIR", scratch.c_str(), 1);
            if (!::freopen("/dev/null", "w", stdout) || !::freopen("/dev/null", "w", stderr))
                ::_exit(126);
            ::execl(kCtl.c_str(), kCtl.c_str(), "publish", "--matrix", market_.c_str(), "--out",
                    tree.c_str(), "--years", "1,2", "--updates", "3",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        for (;;) {
            if (busyFolder()) {
                ::kill(child, SIGINT);
                caught = true;
                break;
            }
            if (::waitpid(child, &status, WNOHANG) == child)
                break;
            ::usleep(50);
        }
        if (caught) {
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
        }
    }
    ASSERT_TRUE(caught) << "the publish was never seen writing its scratch files";
    EXPECT_TRUE(fs::is_empty(scratch));
}

TEST(ProgressText, LabelsSizesDurationsAndTerminalWidth) {
    EXPECT_EQ(vornctl::PercentLabel(7), "[  7%] ");
    EXPECT_EQ(vornctl::PercentLabel(250), "[100%] ");
    EXPECT_EQ(vornctl::ByteCount(512), "512 B");
    EXPECT_EQ(vornctl::ByteCount(850'400), "850 kB");
    EXPECT_EQ(vornctl::ByteCount(12'340'000), "12.3 MB");
    EXPECT_EQ(vornctl::Duration(42.4), "42 s");
    EXPECT_EQ(vornctl::Duration(200), "3 min 20 s");
    EXPECT_EQ(vornctl::Duration(3900), "1 h 05 min");
    EXPECT_EQ(vornctl::Duration(-5), "0 s");

    // A wide character takes two columns and is never cut in half.
    EXPECT_EQ(vornctl::FitColumns("abcdef", 4), "abcd");
    EXPECT_EQ(vornctl::FitColumns("ab窓理論", 5), "ab窓");
    EXPECT_EQ(vornctl::FitColumns("ab窓理論", 6), "ab窓理");
    EXPECT_EQ(vornctl::FitColumns("short", 80), "short");
    // A sequence cut off at the end of the text is left out.
    EXPECT_EQ(vornctl::FitColumns(std::string("a\xe7\xaa"), 10), "a");
}

} // namespace
