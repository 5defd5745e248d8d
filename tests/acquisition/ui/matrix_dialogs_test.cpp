// First: the core headers they pull in must come before any Qt header.
#include "acquisition/ui/dialog_matrix_property.h"
#include "acquisition/ui/dialog_matrix_recovery.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

#include "acquisition/cabinet_writer.h"
#include "foundation/profile_file.h"
#include "support/http_test_server.h"
#include "support/market_builder.h"
#include "support/offscreen_application.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;
using vorn::test::WriteWholeFile;

namespace fs = std::filesystem;
using test::CHttpTestServer;

constexpr PackedDate kFiveYearsFirst = MakePackedDate(2004, 1, 5);

template <class Condition> bool PumpUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class MatrixRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::OffscreenApplication();
        ASSERT_TRUE(server_.IsListening());
        std::random_device random;
        root_ = fs::temp_directory_path() / ("vorn_recovery_" + std::to_string(random()));
        fs::create_directories(root_ / "tmp");
        loader_.SetTemporaryDirectory(root_ / "tmp");
        loader_.SetTimeouts(2000, 500);
        MatrixIndex index;
        index.version = 0x01000002;
        index.directory = "v1";
        index.packages = {{5, kFiveYearsFirst}};
        ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(index)));
        matrix_ = root_ / "Market.kbx";
        WriteWholeFile(matrix_, "old matrix");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    void PublishPackage(const std::string& content) {
        WriteWholeFile(root_ / "05.kbx", content);
        ASSERT_TRUE(WriteCabinet(root_ / "_05.kbx", "05.kbx", root_ / "05.kbx"));
        server_.Serve("/vorn/MarketMatrix/v1/_05.kbx", ReadWholeFile(root_ / "_05.kbx"));
    }

    CHttpTestServer server_;
    CMarketMatrixLoader loader_;
    fs::path root_, matrix_;
};

TEST_F(MatrixRecoveryTest, IsOfferedOnlyWithAPackageToDownload) {
    EXPECT_TRUE(CDialogMatrixRecovery::IsAvailable(loader_, nullptr));
    CMatrixWriter idle;
    EXPECT_TRUE(CDialogMatrixRecovery::IsAvailable(loader_, &idle));
    MatrixIndex empty;
    empty.directory = "v1";
    ASSERT_TRUE(loader_.ParseIndex(EncodeMatrixIndex(empty)));
    EXPECT_FALSE(CDialogMatrixRecovery::IsAvailable(loader_, nullptr));
}

TEST_F(MatrixRecoveryTest, ReplacesTheMatrixRecordsTheFirstDayAndAsksForARestart) {
    PublishPackage("new matrix");
    CProfileFile profile(root_ / "profile.ini");
    CDialogMatrixRecovery dialog(loader_, server_.Host(), matrix_, 4, &profile);
    dialog.SetClosingDelay(50);
    dialog.show(); // starts the worker
    EXPECT_EQ(dialog.StatusText(), QStringLiteral("処理中"));

    // Neither Escape nor closing the window ends a download in progress.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &escape);
    dialog.close();
    EXPECT_TRUE(dialog.isVisible() || dialog.RestartRequested());

    ASSERT_TRUE(PumpUntil([&] { return dialog.RestartRequested(); }));
    EXPECT_EQ(dialog.StatusText(), QStringLiteral("完了"));
    EXPECT_EQ(dialog.DetailText(), QStringLiteral("アプリケーションを再起動して下さい"));
    EXPECT_EQ(ReadWholeFile(matrix_), "new matrix");
    EXPECT_EQ(profile.GetInteger(kProfileSection, kProfileFirst, 0), kFiveYearsFirst);
    ASSERT_TRUE(PumpUntil([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(MatrixRecoveryTest, AFailedDownloadShowsItsCodeAndKeepsTheMatrix) {
    // No package on the server: its 404 page is no cabinet.
    CProfileFile profile(root_ / "profile.ini");
    CDialogMatrixRecovery dialog(loader_, server_.Host(), matrix_, 5, &profile);
    dialog.SetClosingDelay(50);
    dialog.show();
    ASSERT_TRUE(PumpUntil([&] { return dialog.StatusText() == QStringLiteral("失敗"); }));
    EXPECT_EQ(dialog.DetailText(), QStringLiteral("エラー：012"));
    ASSERT_TRUE(PumpUntil([&] { return !dialog.isVisible(); }));
    EXPECT_FALSE(dialog.RestartRequested());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ReadWholeFile(matrix_), "old matrix");
    EXPECT_EQ(profile.GetInteger(kProfileSection, kProfileFirst, 0), 0u);
}

TEST(MatrixPropertyTest, CountsTradingDaysCompaniesAndListedSecurities) {
    test::OffscreenApplication();
    const std::vector<PackedDate> days = test::Weekdays(MakePackedDate(2007, 1, 4), 1002);
    std::vector<test::Ohlcv> all(days.size(), {100, 101, 99, 100, 10});
    auto matrix = test::CMarketBuilder()
                      .Calendar(days)
                      .Security(1301, 1, days.front(), all)
                      .Security(1301, 2, days.front(), {{100, 101, 99, 100, 10}}) // delisted
                      .Security(1332, 1, days[2], {all.begin() + 2, all.end()})
                      .Build();
    matrix->ProjectForecastDays(10); // not trading days
    const MatrixProperties properties = BuildMatrixProperties(*matrix, 0x0102030A);
    EXPECT_EQ(properties.version, "  1.  2.  3. 10");
    char expected[128];
    std::snprintf(expected, sizeof expected, "至:2007/01/04  迄:%04u/%02u/%02u  [1,002日間]",
                  DateYear(days.back()), DateMonth(days.back()), DateDay(days.back()));
    EXPECT_EQ(properties.period, expected);
    EXPECT_EQ(properties.companies, "2");
    EXPECT_EQ(properties.listed, "2");
    EXPECT_EQ(properties.delisted, "1");

    CMarketMatrix empty;
    const MatrixProperties none = BuildMatrixProperties(empty, 0);
    EXPECT_EQ(none.period, "至:#NA/#NA/#NA  迄:#NA/#NA/#NA  [#NA日間]");
    EXPECT_EQ(none.listed + none.delisted + none.companies, "000");

    CDialogMatrixProperty dialog(*matrix, 0x0102030A);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("マーケットマトリクスのプロパティ"));
}

} // namespace
} // namespace vorn
