#pragma once
// Starting the desktop application in a test: a data directory of the test's own, the options
// of a start without questions or reading pauses, the small market the application tests
// share, and the start with the main window shown and active, as a user finds it.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "foundation/text_encoding.h"
#include "matrix/matrix_file.h"
#include "support/market_builder.h"

#include "shell/main_frame.h"
#include "shell/vorn_app.h"
#include "support/offscreen_application.h"

#include <QCoreApplication>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <system_error>
#include <vector>

namespace vorn::test {

// Trading days of the shared market.
constexpr int kApplicationDays = 300;

// The shared market: 1301, 7203 on two markets (the second listed 100 days later) and 9984,
// with stepped prices over `days` weekdays from 2006/01/04.
inline std::unique_ptr<CMarketMatrix> ApplicationMarket(int days = kApplicationDays) {
    const std::vector<PackedDate> calendar = Weekdays(MakePackedDate(2006, 1, 4), days);
    CMarketBuilder builder;
    builder.Calendar(calendar)
        .Company(1301, 1, Utf8ToCp932("極洋"))
        .Company(7203, 16, Utf8ToCp932("トヨタ自動車"))
        .Company(9984, 10, Utf8ToCp932("ソフトバンクグループ"))
        .Security(1301, 1, calendar[0], SteppedRows(days, 200))
        .Security(7203, 1, calendar[0], SteppedRows(days, 3000))
        .Security(7203, 2, calendar[100], SteppedRows(days - 100, 3010))
        .Security(9984, 1, calendar[0], SteppedRows(days, 500));
    return builder.Build();
}

// The base of the application tests. SetUp leaves an empty data directory and local-mode
// options; a test writes the market it needs and starts the application.
class CApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        OffscreenApplication();
        char pattern[] = "/tmp/vorn_application_test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory_ = pattern;
        options_.dataDirectory = directory_;
        options_.localMode = true;
        options_.interactive = false;
        options_.pauses = StartupPauses::None();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

    std::filesystem::path MatrixPath() const { return directory_ / "Market.kbx"; }
    // The data directory's content file: the shared market, or `market`.
    void WriteMarket() { WriteMarket(*ApplicationMarket()); }
    void WriteMarket(CMarketMatrix& market) {
        ASSERT_EQ(GenerateMatrix(market, MatrixPath(), nullptr, nullptr), kMatrixOk);
    }

    // Starts the application with its window shown and active.
    CMainFrame& StartShown(CVornApp& app) {
        EXPECT_TRUE(app.InitInstance(options_));
        CMainFrame& frame = *app.MainFrame();
        frame.resize(1280, 800);
        frame.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
        QCoreApplication::processEvents();
        return frame;
    }

    std::filesystem::path directory_;
    AppOptions options_;
};

} // namespace vorn::test
