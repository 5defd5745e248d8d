// vornctl chart: the gap chart of one security drawn into a PNG with the application's code.
#include <QImage>
#include <gtest/gtest.h>

#include "support/run_command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

std::pair<int, std::string> RunCtl(const std::string& arguments) {
    // No display and no platform choice: the command draws offscreen by itself.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                std::string(VORN_CTL_PATH) + " " + arguments + " 2>&1";
    return vorn::test::RunCommandLine(command);
}

class ChartCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = fs::temp_directory_path() / ("vorn_chart_" + std::to_string(::getpid()));
        fs::create_directories(directory_);
        market_ = (directory_ / "Market.kbx").string();
        RunCtl("sample --out " + market_ + " --years 1 --securities 20");
    }
    static void TearDownTestSuite() { fs::remove_all(directory_); }
    static std::string Path(const char* name) { return (directory_ / name).string(); }

    static inline fs::path directory_;
    static inline std::string market_;
};

TEST_F(ChartCommandTest, DrawsTheChartInBothSchemesAtTheAskedSize) {
    ASSERT_TRUE(fs::exists(market_));
    auto [status, output] = RunCtl("chart " + market_ + " 1002 1 --png " + Path("black.png"));
    ASSERT_EQ(status, 0) << output;
    std::tie(status, output) =
        RunCtl("chart " + market_ + " 1002 1 --white --png " + Path("white.png"));
    ASSERT_EQ(status, 0) << output;
    std::tie(status, output) = RunCtl("chart " + market_ + " 1002 1 --png " + Path("small.png") +
                                      " --size 640x360 --days 60");
    ASSERT_EQ(status, 0) << output;

    QImage black, white, small;
    ASSERT_TRUE(black.load(QString::fromStdString(Path("black.png")), "PNG"));
    ASSERT_TRUE(white.load(QString::fromStdString(Path("white.png")), "PNG"));
    ASSERT_TRUE(small.load(QString::fromStdString(Path("small.png")), "PNG"));
    EXPECT_EQ(black.size(), QSize(1000, 600));
    EXPECT_EQ(white.size(), black.size());
    EXPECT_EQ(small.size(), QSize(640, 360));
    // The background shows in the corner; the schemes differ there and in what is drawn.
    EXPECT_EQ(black.pixelColor(1, 1), QColor(Qt::black));
    EXPECT_EQ(white.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_NE(black.convertToFormat(QImage::Format_RGB32),
              white.convertToFormat(QImage::Format_RGB32));
    int drawn = 0;
    for (int y = 0; y < black.height(); y += 5)
        for (int x = 0; x < black.width(); x += 5)
            drawn += black.pixelColor(x, y) != QColor(Qt::black);
    EXPECT_GT(drawn, 500) << "candles, scales and captions";

    // Weekly and monthly views draw fewer, wider candles than the daily one.
    std::tie(status, output) =
        RunCtl("chart " + market_ + " 1002 1 --period weekly --png " + Path("weekly.png"));
    ASSERT_EQ(status, 0) << output;
    std::tie(status, output) =
        RunCtl("chart " + market_ + " 1002 1 --period monthly --png " + Path("monthly.png"));
    ASSERT_EQ(status, 0) << output;
    QImage weekly, monthly;
    ASSERT_TRUE(weekly.load(QString::fromStdString(Path("weekly.png")), "PNG"));
    ASSERT_TRUE(monthly.load(QString::fromStdString(Path("monthly.png")), "PNG"));
    EXPECT_NE(weekly.convertToFormat(QImage::Format_RGB32),
              black.convertToFormat(QImage::Format_RGB32));
    EXPECT_NE(monthly.convertToFormat(QImage::Format_RGB32),
              weekly.convertToFormat(QImage::Format_RGB32));
}

TEST_F(ChartCommandTest, RefusesBadArgumentsAndUnknownSecurities) {
    struct Case {
        std::string arguments;
        int status;
    };
    const Case cases[] = {
        {"chart " + market_ + " 1002 1", 2},                         // no --png
        {"chart " + market_ + " 1002 --png " + Path("x.png"), 2},    // no market
        {"chart " + market_ + " 1002 16 --png " + Path("x.png"), 2}, // market range
        {"chart " + market_ + " 1002 1 --png " + Path("x.png") + " --days 0", 2},
        {"chart " + market_ + " 1002 1 --png " + Path("x.png") + " --size 10x10", 2},
        {"chart " + market_ + " 1002 1 --png " + Path("x.png") + " --size 800", 2},
        {"chart " + market_ + " 1002 1 --png " + Path("x.png") + " --colour red", 2},
        {"chart " + market_ + " 1002 1 --png " + Path("x.png") + " --period yearly", 2},
        {"chart " + market_ + " 1002 1 --png " + Path("x.png") + " --period", 2},
        {"chart " + market_ + " 9998 1 --png " + Path("x.png"), 1},          // unknown
        {"chart " + Path("none.kbx") + " 1002 1 --png " + Path("x.png"), 1}, // no file
        {"chart " + market_ + " 1002 1 --png " + Path("missing/x.png"), 1},  // cannot write
    };
    for (const Case& c : cases) {
        const auto [status, output] = RunCtl(c.arguments);
        EXPECT_EQ(status, c.status) << c.arguments << ": " << output;
        EXPECT_NE(output.find("vornctl"), std::string::npos) << c.arguments;
    }
    EXPECT_FALSE(fs::exists(Path("x.png")));
}

} // namespace
