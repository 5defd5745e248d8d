#include "foundation/profile_file.h"
#include "support/test_files.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;

namespace fs = std::filesystem;

void WriteWhole(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("vorn_profile_" + std::to_string(random()));
        fs::create_directories(dir_);
        path_ = dir_ / "Vorn.ini";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path dir_, path_;
};

TEST_F(ProfileFileTest, ValuesSurviveARestartAndOthersAreKept) {
    WriteWhole(path_, "; kept as written\r\n[Other]\r\nSetting=7\r\n[Window]\r\nVersion=0x10\r\n");
    {
        CProfileFile profile(path_);
        EXPECT_EQ(profile.LoadResult(), ProfileLoadResult::Ok);
        EXPECT_EQ(profile.GetInteger("Window", "Version", 0), 16u);
        EXPECT_EQ(profile.GetInteger("Window", "Setting", 99), 99u);
        EXPECT_EQ(profile.GetInteger("Other", "Setting", 0), 7u);
        ASSERT_TRUE(profile.SetInteger("Window", "First", 0xFFFF));
        ASSERT_TRUE(profile.SetString("Window", "Matrix", "/data/マーケット/Market.kbx"));
        ASSERT_TRUE(profile.SetInteger("Window", "Version", 4294967295u));
        ASSERT_TRUE(profile.SetString("New", "Server", "127.0.0.1:8080"));
    }
    CProfileFile reread(path_);
    EXPECT_EQ(reread.GetInteger("Window", "First", 0), 0xFFFFu);
    EXPECT_EQ(reread.GetInteger("Window", "Version", 0), 4294967295u);
    EXPECT_EQ(reread.GetString("Window", "Matrix"), "/data/マーケット/Market.kbx");
    EXPECT_EQ(reread.GetString("New", "Server"), "127.0.0.1:8080");
    EXPECT_EQ(reread.GetInteger("Other", "Setting", 0), 7u);
    const std::string text = ReadWholeFile(path_);
    EXPECT_EQ(text.rfind("; kept as written\n", 0), 0u);
    EXPECT_EQ(text.find("Version=0x10"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "Vorn.ini.tmp"));
}

TEST_F(ProfileFileTest, UntrustedContentYieldsFallbacksNotGuesses) {
    using namespace std::string_literals;
    WriteWhole(path_, "[Window]\nVersion=4294967296\nFirst=12abc\nSetting=-1\nMatrix\n=orphan\n"
                      "[broken\nBinary=\0\x01\n"s);
    CProfileFile profile(path_);
    EXPECT_EQ(profile.GetInteger("Window", "Version", 5), 5u);
    EXPECT_EQ(profile.GetInteger("Window", "First", 5), 5u);
    EXPECT_EQ(profile.GetInteger("Window", "Setting", 5), 5u);
    EXPECT_EQ(profile.GetString("Window", "Matrix"), "");
    EXPECT_EQ(profile.GetString("Window", "Binary"), "");

    // Values that would change the file's shape are refused and change nothing.
    const std::string before = ReadWholeFile(path_);
    EXPECT_FALSE(profile.SetString("Window", "Matrix", "a\nVersion=1"));
    EXPECT_FALSE(profile.SetString("Window", "Ma=trix", "a"));
    EXPECT_FALSE(profile.SetString("Win]dow", "Matrix", "a"));
    EXPECT_FALSE(profile.SetString("Window", "", "a"));
    EXPECT_EQ(ReadWholeFile(path_), before);
}

TEST_F(ProfileFileTest, OversizedFileIsSetAsideNotLost) {
    const std::string huge(kMaxProfileFileBytes + 1, 'x');
    WriteWhole(path_, huge);
    CProfileFile profile(path_);
    EXPECT_EQ(profile.LoadResult(), ProfileLoadResult::TooLarge);
    EXPECT_EQ(profile.GetString("Window", "Matrix"), "");
    ASSERT_TRUE(profile.SetInteger("Window", "Setting", 1));
    EXPECT_EQ(ReadWholeFile(dir_ / "Vorn.ini.damaged"), huge);
    EXPECT_EQ(CProfileFile(path_).GetInteger("Window", "Setting", 0), 1u);
}

TEST_F(ProfileFileTest, FailedWriteKeepsTheOldFile) {
    WriteWhole(path_, "[Window]\nSetting=1\n");
    CProfileFile profile(path_);
    // The sibling it writes first cannot be created.
    fs::create_directory(dir_ / "Vorn.ini.tmp");
    fs::create_directory(dir_ / "Vorn.ini.tmp" / "occupied");
    EXPECT_FALSE(profile.SetInteger("Window", "Setting", 2));
    EXPECT_EQ(profile.GetInteger("Window", "Setting", 0), 1u);
    EXPECT_EQ(ReadWholeFile(path_), "[Window]\nSetting=1\n");
}

} // namespace
} // namespace vorn
