// The whole chain as separate programs: publish a matrix, serve the tree, start up against it.
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "matrix/matrix_file.h"
#include "support/market_builder.h"

extern char** environ;

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::Ohlcv;

const std::vector<PackedDate> kCalendar = test::Weekdays(MakePackedDate(2006, 1, 4), 300);

void WriteMarket(const fs::path& path, int days) {
    std::vector<Ohlcv> rows;
    for (int i = 0; i < days; ++i) {
        const std::uint32_t level = 300u + static_cast<std::uint32_t>((i / 4) % 2) * 25;
        rows.push_back({level, level + 2, level - 2, level + 1, 5000u + static_cast<unsigned>(i)});
    }
    auto market = test::CMarketBuilder()
                      .Calendar({kCalendar.begin(), kCalendar.begin() + days})
                      .Security(1301, 1, kCalendar[0], rows)
                      .Build();
    ASSERT_EQ(GenerateMatrix(*market, path, nullptr, nullptr), kMatrixOk);
}

// Runs vornctl with `arguments` (stdin from /dev/null, downloads into `temporary`, away from
// whatever else runs on the machine); the exit code and everything printed.
int Vornctl(const std::string& arguments, const fs::path& temporary, std::string& output) {
    const std::string command = "TMPDIR='" + temporary.string() + "' " + VORN_CTL_PATH + " " +
                                arguments + " </dev/null 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    output.clear();
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// `vornctl serve` as a child process, stopped with SIGTERM.
class CServeProcess {
public:
    explicit CServeProcess(const fs::path& tree) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string path = tree.string();
        char* argv[] = {const_cast<char*>(VORN_CTL_PATH), const_cast<char*>("serve"),
                        const_cast<char*>(path.c_str()),  const_cast<char*>("--port"),
                        const_cast<char*>("0"),           nullptr};
        if (posix_spawn(&pid_, VORN_CTL_PATH, &actions, nullptr, argv, environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // "serving TREE on 127.0.0.1:PORT"
        std::string line;
        char c;
        while (pid_ > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
            line.push_back(c);
        output_ = out[0];
        if (const auto colon = line.rfind(':'); colon != std::string::npos)
            host_ = "127.0.0.1:" + line.substr(colon + 1);
    }
    ~CServeProcess() { Stop(); }
    const std::string& Host() const { return host_; }
    // The exit status after SIGTERM.
    int Stop() {
        if (pid_ <= 0)
            return -1;
        ::kill(pid_, SIGTERM);
        // It reports how many requests it served on the way out.
        char rest[256];
        while (::read(output_, rest, sizeof rest) > 0) {
        }
        ::close(output_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string host_;
};

TEST(VornctlStartup, PublishServeAndStartUpAsSeparatePrograms) {
    std::random_device random;
    const fs::path root = fs::temp_directory_path() / ("vorn_chain_" + std::to_string(random()));
    fs::create_directories(root / "tmp");
    const fs::path tmp = root / "tmp";
    WriteMarket(root / "old.kbx", 290);
    WriteMarket(root / "new.kbx", 300);
    std::string output;
    ASSERT_EQ(Vornctl("publish --matrix " + (root / "old.kbx").string() + " --out " +
                          (root / "tree").string() + " --years 1,3 --updates 20",
                      tmp, output),
              0)
        << output;

    CServeProcess serve(root / "tree");
    ASSERT_FALSE(serve.Host().empty());
    const std::string data = " --data-dir " + (root / "data").string();

    // No terminal and no --years: the package choice counts as cancelled.
    EXPECT_EQ(Vornctl("startup" + data + " --server " + serve.Host(), tmp, output), 1);
    EXPECT_NE(output.find("startup: failed マーケットマトリクスのリストアに失敗しました"),
              std::string::npos)
        << output;

    EXPECT_EQ(Vornctl("startup" + data + " --years 3", tmp, output), 0) << output;
    EXPECT_NE(output.find("[ 35%]"), std::string::npos) << output;
    EXPECT_NE(output.find("マーケット全体の窓をマッピングしています"), std::string::npos);
    EXPECT_NE(output.find("startup: OK"), std::string::npos);

    ASSERT_EQ(Vornctl("publish --matrix " + (root / "new.kbx").string() + " --out " +
                          (root / "tree").string() + " --years 1,3 --updates 20",
                      tmp, output),
              0)
        << output;
    EXPECT_EQ(Vornctl("startup" + data, tmp, output), 0) << output;
    EXPECT_NE(output.find("更新用のマーケットマトリクスをダウンロードします…"), std::string::npos)
        << output;
    EXPECT_NE(output.find("matrix file: written"), std::string::npos) << output;
    CMarketMatrix written;
    ASSERT_EQ(RestoreMatrix(written, root / "data" / "Market.kbx", nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(written.DailyCalendar().Count(), 300);

    EXPECT_EQ(Vornctl("startup" + data + " --local", tmp, output), 0) << output;
    EXPECT_NE(output.find("ローカルモードで起動します…"), std::string::npos) << output;
    EXPECT_EQ(serve.Stop(), 0);
    fs::remove_all(root);
}

} // namespace
} // namespace vorn
