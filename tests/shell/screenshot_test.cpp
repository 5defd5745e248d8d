// The unattended picture of the main window: the real program on a small sample market.
#include "shell/screenshot.h"
#include "shell/vorn_app.h"

#include <QImage>
#include <QStringList>
#include <gtest/gtest.h>

#include "support/run_command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace vorn {
namespace {

namespace fs = std::filesystem;

std::pair<int, std::string> RunUnattended(const std::string& command) {
    // No display, no platform choice and no terminal: the program must manage by itself.
    const std::string line =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + command + " </dev/null 2>&1";
    return test::RunCommandLine(line);
}

class ScreenshotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = fs::temp_directory_path() / ("vorn_screenshot_" + std::to_string(::getpid()));
        fs::create_directories(directory_);
        RunUnattended(std::string(VORN_CTL_PATH) + " sample --out " +
                      (directory_ / "Market.kbx").string() + " --years 1 --securities 60");
    }
    static void TearDownTestSuite() { fs::remove_all(directory_); }

    static std::pair<int, std::string> Vorn(const std::string& arguments,
                                            const std::string& prefix = {}) {
        return RunUnattended(prefix + std::string(VORN_APP_PATH) + " --local --data-dir " +
                             directory_.string() + " " + arguments);
    }
    static std::string Picture(const char* name) { return (directory_ / name).string(); }

    static inline fs::path directory_;
};

// Distinct colours among a sparse grid of pixels: a blank picture has one or two.
int Colours(const QImage& image) {
    QList<QRgb> seen;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7)
            if (!seen.contains(image.pixel(x, y)) && seen.size() < 64)
                seen.push_back(image.pixel(x, y));
    return static_cast<int>(seen.size());
}

TEST_F(ScreenshotTest, WritesTheMainWindowInEachContentsMode) {
    ASSERT_TRUE(fs::exists(directory_ / "Market.kbx"));
    QImage pictures[3];
    const char* modes[] = {"chart", "screening", "report"};
    for (int i = 0; i < 3; ++i) {
        const std::string path = Picture((std::string(modes[i]) + ".png").c_str());
        const auto [status, output] =
            Vorn("--screenshot " + path + " --mode " + modes[i] + " --code 1002:1");
        ASSERT_EQ(status, 0) << modes[i] << ": " << output;
        ASSERT_TRUE(pictures[i].load(QString::fromStdString(path), "PNG")) << modes[i];
        EXPECT_GE(pictures[i].width(), 640) << modes[i];
        EXPECT_GE(pictures[i].height(), 400) << modes[i];
        EXPECT_LE(pictures[i].width(), 8192) << modes[i];
        EXPECT_GT(Colours(pictures[i]), 4) << modes[i] << ": a blank window";
    }
    EXPECT_NE(pictures[0], pictures[1]);
    EXPECT_NE(pictures[1], pictures[2]);
    EXPECT_NE(pictures[0], pictures[2]);

    // Without --code and --mode: the chart of the first security, the same as asked for it.
    const auto [status, output] = Vorn("--screenshot=" + Picture("default.png"));
    ASSERT_EQ(status, 0) << output;
    QImage fallback;
    ASSERT_TRUE(fallback.load(QString::fromStdString(Picture("default.png")), "PNG"));
    EXPECT_EQ(fallback, pictures[0]);
}

TEST_F(ScreenshotTest, FailsWithAMessageAndNoPicture) {
    struct Case {
        std::string arguments;
        const char* message;
        int status;
    };
    const Case cases[] = {
        {"--screenshot " + Picture("a.png") + " --code 9998", "unknown security 9998", 1},
        {"--screenshot " + Picture("b.png") + " --code 1002:2", "unknown security 1002:2", 1},
        {"--screenshot " + (directory_ / "missing" / "c.png").string(), "cannot write", 1},
        {"--screenshot " + Picture("d.png") + " --mode portfolio", "--mode takes", 2},
        // Without --screenshot the platform is not chosen for the program: it is given here.
        {"--code 1002", "need --screenshot", 2},
    };
    for (const Case& c : cases) {
        const bool picture = c.arguments.rfind("--screenshot", 0) == 0;
        const auto [status, output] =
            Vorn(c.arguments, picture ? "" : "env QT_QPA_PLATFORM=offscreen ");
        EXPECT_EQ(status, c.status) << c.arguments << ": " << output;
        EXPECT_NE(output.find(c.message), std::string::npos) << c.arguments << ": " << output;
    }
    for (const char* name : {"a.png", "b.png", "d.png"})
        EXPECT_FALSE(fs::exists(directory_ / name)) << name;
}

TEST(ScreenshotOptions, ParsesCodesModesAndTheirDependence) {
    const auto parse = [](QStringList arguments, AppOptions& options, QString& error) {
        arguments.prepend(QStringLiteral("vorn"));
        return ParseAppOptions(arguments, options, error);
    };
    AppOptions options;
    QString error;
    ASSERT_TRUE(
        parse({"--screenshot", "x.png", "--code=7203:2", "--mode", "screening"}, options, error))
        << error.toStdString();
    ASSERT_TRUE(options.screenshot.has_value());
    EXPECT_EQ(options.screenshot->path, QStringLiteral("x.png"));
    EXPECT_TRUE(options.screenshot->hasCode);
    EXPECT_EQ(options.screenshot->code, 7203);
    EXPECT_EQ(options.screenshot->market, 2);
    EXPECT_EQ(options.screenshot->mode, kContentsScreening);

    options = {};
    ASSERT_TRUE(parse({"--local"}, options, error));
    EXPECT_FALSE(options.screenshot.has_value());

    for (const QStringList& bad : {QStringList{"--screenshot"}, QStringList{"--screenshot="},
                                   QStringList{"--screenshot", "x.png", "--code", "12345"},
                                   QStringList{"--screenshot", "x.png", "--code", "1301:0"},
                                   QStringList{"--screenshot", "x.png", "--code", "1301:16"},
                                   QStringList{"--screenshot", "x.png", "--code", "13a1"},
                                   QStringList{"--screenshot", "x.png", "--code", "1301:"},
                                   QStringList{"--mode", "chart"}}) {
        options = {};
        EXPECT_FALSE(parse(bad, options, error)) << bad.join(' ').toStdString();
    }
}

} // namespace
} // namespace vorn
