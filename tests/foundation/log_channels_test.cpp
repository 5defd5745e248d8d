#include "foundation/log_channels.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;

class LogChannels : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vorn_log_" + std::to_string(std::random_device{}()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
    }
    void TearDown() override {
        CloseLogChannels();
        fs::remove_all(dir_);
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    fs::path dir_;
};

const std::string kStamp = R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] )";

TEST_F(LogChannels, CreatesDirectoriesAndAppendsStampedLines) {
    const fs::path path = dir_ / "a" / "b" / "Agent.inf";
    ASSERT_TRUE(OpenLogChannel(1, path));
    EXPECT_FALSE(OpenLogChannel(1, dir_ / "other.log")) << "channel already open";
    WriteLog(1, "<窓： ×%u>\n", 3u);
    WriteLog(1, "\t\t上限：%u、下限：%u\n", 120u, 110u);
    EXPECT_TRUE(std::regex_match(
        Read(path), std::regex(kStamp + "<窓： ×3>\n" + kStamp + "\t\t上限：120、下限：110\n")));

    // Reopening after closing keeps what was there and appends.
    CloseLogChannels();
    WriteLog(1, "dropped\n");
    ASSERT_TRUE(OpenLogChannel(1, path));
    WriteLog(1, "again\n");
    CloseLogChannels();
    const std::string text = Read(path);
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    EXPECT_TRUE(std::regex_search(text, std::regex("下限：110\n" + kStamp + "again\n$")));
}

TEST_F(LogChannels, UnopenedChannelWritesNothing) {
    fs::create_directories(dir_);
    ASSERT_TRUE(OpenLogChannel(7, dir_ / "seven.log"));
    WriteLog(8, "nowhere %d\n", 8);
    WriteLog(255, "nowhere\n");
    EXPECT_EQ(Read(dir_ / "seven.log"), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(LogChannels, OpenFailsWhereNoFileCanBe) {
    fs::create_directories(dir_);
    std::ofstream(dir_ / "plain").put('x');
    // A directory component that is a file.
    EXPECT_FALSE(OpenLogChannel(2, dir_ / "plain" / "x.log"));
    EXPECT_FALSE(OpenLogChannel(2, dir_));
    EXPECT_TRUE(OpenLogChannel(2, dir_ / "x.log")) << "a failed open leaves the channel free";
}

TEST_F(LogChannels, CutsLongMessagesAt1024Characters) {
    ASSERT_TRUE(OpenLogChannel(3, dir_ / "long.log"));
    const std::string message(3000, 'x');
    WriteLog(3, "%s", message.c_str());
    CloseLogChannels();
    const std::string text = Read(dir_ / "long.log");
    ASSERT_GE(text.size(), 26u);
    EXPECT_EQ(text.substr(26), std::string(1024, 'x'));
}

TEST_F(LogChannels, LinesFromManyThreadsStayWhole) {
    ASSERT_TRUE(OpenLogChannel(4, dir_ / "threads.log"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                WriteLog(4, "thread %d line %03d %s\n", t, i, std::string(100, 'a' + t).c_str());
        });
    for (auto& thread : threads)
        thread.join();
    CloseLogChannels();
    std::istringstream lines(Read(dir_ / "threads.log"));
    const std::regex whole(kStamp + R"(thread (\d) line \d{3} ([a-d])\2{99})");
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        ASSERT_TRUE(std::regex_match(line, whole)) << line;
    EXPECT_EQ(count, 800);
}

} // namespace
} // namespace vorn
