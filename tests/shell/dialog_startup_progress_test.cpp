// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "acquisition/startup_sequence.h"
#include "gaps/market_windows.h"

#include "shell/dialog_matrix_downloader.h"
#include "shell/dialog_startup_progress.h"
#include "shell/grid_matrixes.h"
#include "ui_base/posted_message.h"
#include "shell/settings_profile.h"
#include "support/offscreen_application.h"

#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vorn {
namespace {

class StartupDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::OffscreenApplication();
        ASSERT_TRUE(directory_.isValid());
        profile_ = std::make_unique<CSettingsProfile>(directory_.filePath("Vorn.ini"));
        config_.flags = kAppLocalMode;
        config_.matrixPath = (directory_.path() + "/Market.kbx").toStdString();
    }

    QTemporaryDir directory_;
    std::unique_ptr<CSettingsProfile> profile_;
    CMarketMatrixLoader loader_;
    CMarketMatrix matrix_;
    CMarketWindows windows_;
    StartupConfig config_;
};

QString Status(QDialog& dialog) {
    return dialog.findChild<QLabel*>(kStatusTextName)->text();
}

TEST_F(StartupDialogTest, OpensWithTitleAndRestoreText) {
    CDialogStartupProgress dialog(*profile_, loader_, matrix_, windows_, config_);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("ヴォルン [起動]"));
    EXPECT_EQ(Status(dialog), QStringLiteral("マーケットマトリクスをリストアします"));
    for (const char* name : {kStepBarName, kOverallBarName}) {
        const QProgressBar* bar = dialog.findChild<QProgressBar*>(name);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->maximum(), 100);
    }
}

TEST_F(StartupDialogTest, PostedFailureShowsTheStepsTextInFailureColours) {
    CDialogStartupProgress dialog(*profile_, loader_, matrix_, windows_, config_);
    CPostedMessage::Post(&dialog, kMsgProgress, kProgressStepState, kStepMapping);
    CPostedMessage::Post(&dialog, kMsgProgress, kProgressOverall, 75);
    CPostedMessage::Post(&dialog, kMsgProgress, kProgressPercent, 40);
    CPostedMessage::Post(&dialog, kMsgProgress, kProgressFailure, 254);
    QCoreApplication::processEvents();
    EXPECT_EQ(Status(dialog), QStringLiteral("窓分析失敗 [エラー：254]"));
    EXPECT_TRUE(dialog.View().failureColours);
    EXPECT_TRUE(dialog.findChild<QLabel*>(kStatusTextName)->styleSheet().contains("red"));
    EXPECT_EQ(dialog.findChild<QProgressBar*>(kOverallBarName)->value(), 75);
    EXPECT_EQ(dialog.findChild<QProgressBar*>(kStepBarName)->value(), 40);

    static const char text[] = "最新のマーケットマトリクスを確認します…";
    CPostedMessage::Post(&dialog, kMsgProgress, kProgressText,
                         reinterpret_cast<std::intptr_t>(text));
    QCoreApplication::processEvents();
    EXPECT_EQ(Status(dialog), QString::fromUtf8(text));
    EXPECT_FALSE(dialog.View().failureColours);
}

TEST_F(StartupDialogTest, LocalModeWithoutMatrixFailsWithTheRestoreText) {
    CDialogStartupProgress dialog(*profile_, loader_, matrix_, windows_, config_);
    dialog.SetPauses(StartupPauses::None());
    EXPECT_TRUE(dialog.RunModal());
    EXPECT_EQ(Status(dialog), QStringLiteral("マーケットマトリクスのリストアに失敗しました"));
    EXPECT_TRUE(dialog.View().failureColours);
}

TEST(GridMatrixes, ListsPackagesWithTheirTexts) {
    test::OffscreenApplication();
    MatrixIndex index;
    index.packages = {{5, MakePackedDate(2021, 1, 4)}, {50, MakePackedDate(1976, 1, 5)}};
    CDialogMatrixDownloader dialog(index);
    CGridMatrixes& grid = dialog.Grid();
    ASSERT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.CellText(0, 0), QStringLiteral("5年間"));
    EXPECT_EQ(grid.CellText(0, 1), QStringLiteral("2021/01/04 ～"));
    EXPECT_EQ(
        grid.CellText(1, 2),
        QStringLiteral("推奨する空きメモリは1,028MB以上です （ダウンロードサイズ：約207MB）"));
    EXPECT_EQ(grid.SelectedYears(), 0u);
    grid.selectRow(1);
    EXPECT_EQ(grid.SelectedYears(), 50u);
}

} // namespace
} // namespace vorn
