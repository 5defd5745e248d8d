// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "acquisition/matrix_publisher.h"
#include "acquisition/static_http_server.h"
#include "chart/cursor_status.h"
#include "chart/ui/graph.h"
#include "contents/favorites.h"
#include "contents/settings_files.h"
#include "foundation/text_encoding.h"
#include "matrix/matrix_file.h"
#include "matrix/stock_code.h"
#include "support/answer_chooser.h"
#include "support/market_builder.h"

#include "gaps/ui/dialog_law_performance.h"
#include "gaps/ui/dialog_tradings.h"
#include "gaps/ui/law_performance.h"
#include "screening/ui/screening_view.h"
#include "shell/command_ids.h"
#include "shell/dialog_favorites.h"
#include "shell/dialog_matrix_downloader.h"
#include "shell/dialog_securities.h"
#include "shell/grid_matrixes.h"
#include "shell/grid_stocks.h"
#include "shell/main_frame.h"
#include "shell/settings_profile.h"
#include "shell/vorn_app.h"
#include "shell/vorn_view.h"
#include "support/application_test.h"
#include "ui_base/posted_message.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::CMarketBuilder;

constexpr int kDays = test::kApplicationDays;

class VornAppTest : public test::CApplicationTest {
protected:
    static std::unique_ptr<CMarketMatrix> Market(int days = kDays) {
        return test::ApplicationMarket(days);
    }
};

void Type(QLineEdit* box, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_A,
                        Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(box, &press);
    }
}

TEST_F(VornAppTest, LocalStartReachesTheChartOfTheFirstSecurity) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame* frame = app.MainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("ヴォルン"));
    EXPECT_EQ(app.ContentsMode(), kContentsChart);
    ASSERT_NE(app.SelectedStock(), nullptr);
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    ASSERT_NE(frame->View().ChartModel(), nullptr);
    EXPECT_EQ(frame->View().ChartModel()->Stock(), app.SelectedStock());
    EXPECT_TRUE(frame->IsChecked(kIdContentsChart));
    EXPECT_EQ(app.Recorder().Count(), 1u);
    EXPECT_EQ(app.Flags() & (kAppScreeningSetUp | kAppFavoritesLoaded),
              kAppScreeningSetUp | kAppFavoritesLoaded);
    EXPECT_EQ(app.Flags() & kAppMatrixChanged, 0u);
    // The first run stored the default matrix path in the profile kept in the data directory.
    CSettingsProfile profile(QString::fromStdString((directory_ / "Vorn.ini").string()));
    EXPECT_EQ(profile.GetString(kProfileSection, kProfileMatrix),
              (directory_ / "Market.kbx").string());
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_TRUE(fs::exists(directory_ / kScreeningFileName));
    EXPECT_TRUE(fs::exists(directory_ / kFavoritesFileName));
}

TEST_F(VornAppTest, MissingMatrixInLocalModeEndsTheApplication) {
    CVornApp app;
    EXPECT_FALSE(app.InitInstance(options_));
    EXPECT_EQ(app.MainFrame(), nullptr);
    EXPECT_EQ(app.LastMessage(), QString::fromUtf8(kTextApplicationExit));
    EXPECT_EQ(app.StartupStatus(), QStringLiteral("マーケットマトリクスのリストアに失敗しました"));
    // Nothing was loaded, so nothing is written over the user's files at exit.
    app.ExitInstance();
    EXPECT_FALSE(fs::exists(directory_ / kFavoritesFileName));
}

using vorn::test::CAnswerChooser;

TEST_F(VornAppTest, FirstRunOnlineAsksForThePackageAndStartsWithIt) {
    const fs::path tree = directory_ / "server";
    PublishOptions publish;
    publish.years = {1, 3};
    ASSERT_EQ(PublishMatrix(*Market(), tree, publish, nullptr), kPublishOk);
    CStaticHttpServer server(tree);
    ASSERT_TRUE(server.Start());
    options_.localMode = false;
    options_.server = server.Host();
    options_.dataDirectory = directory_ / "data";
    {
        CAnswerChooser cancel(0);
        options_.chooser = &cancel;
        CVornApp app;
        EXPECT_FALSE(app.InitInstance(options_));
        EXPECT_EQ(cancel.calls, 1);
        EXPECT_EQ(cancel.offered, 2u);
        EXPECT_EQ(app.LastMessage(), QString::fromUtf8(kTextApplicationExit));
    }
    CAnswerChooser three(3);
    options_.chooser = &three;
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    EXPECT_EQ(three.calls, 1);
    ASSERT_NE(app.SelectedStock(), nullptr);
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    EXPECT_TRUE(fs::exists(directory_ / "data" / "Market.kbx"));
    EXPECT_NE(app.Profile().GetInteger(kProfileSection, kProfileFirst, 0), 0u);
}

TEST_F(VornAppTest, PackageDialogOpensOverTheProgressDialog) {
    const fs::path tree = directory_ / "server";
    PublishOptions publish;
    publish.years = {1, 3};
    ASSERT_EQ(PublishMatrix(*Market(), tree, publish, nullptr), kPublishOk);
    CStaticHttpServer server(tree);
    ASSERT_TRUE(server.Start());
    options_.localMode = false;
    options_.server = server.Host();
    // The user picks the first row and presses "選択" in the dialog the worker asked for.
    QString ownerTitle;
    int rows = -1;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<CDialogMatrixDownloader*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        answer.stop();
        ownerTitle = dialog->parentWidget() ? dialog->parentWidget()->windowTitle() : QString();
        rows = dialog->Grid().RowCount();
        dialog->Grid().selectRow(0);
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("選択"))
                button->click();
    });
    answer.start(10);
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    EXPECT_EQ(ownerTitle, QStringLiteral("ヴォルン [起動]"));
    EXPECT_EQ(rows, 2);
    EXPECT_NE(app.SelectedStock(), nullptr);
}

TEST_F(VornAppTest, UpdatedMatrixIsWrittenBackByTheExitStep) {
    const fs::path tree = directory_ / "server";
    PublishOptions publish;
    publish.years = {1, 3};
    publish.updates = 10;
    ASSERT_EQ(PublishMatrix(*Market(), tree, publish, nullptr), kPublishOk);
    CStaticHttpServer server(tree);
    ASSERT_TRUE(server.Start());
    WriteMarket(*Market(kDays - 3));
    options_.localMode = false;
    options_.server = server.Host();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    EXPECT_NE(app.Flags() & kAppMatrixChanged, 0u);
    EXPECT_EQ(app.Matrix().DailyCalendar().Count(), kDays);
    // Recovery waits for the writer; the properties are always there.
    EXPECT_TRUE(app.MainFrame()->IsEnabled(kIdMatrixProperty));
    app.ExitInstance();
    EXPECT_FALSE(app.Writer().IsRunning());
    CMarketMatrix written;
    ASSERT_EQ(RestoreMatrix(written, directory_ / "Market.kbx", nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(written.DailyCalendar().Count(), kDays);
}

TEST_F(VornAppTest, EscapeDuringStartUpEndsTheApplication) {
    WriteMarket();
    // The local-mode pause keeps the worker busy until the key has arrived.
    StartupPauses pauses = StartupPauses::None();
    pauses.localMode = 300;
    options_.pauses = pauses;
    QString title;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog, &escape);
        EXPECT_TRUE(dialog->isVisible()); // only the worker closes it
    });
    CVornApp app;
    EXPECT_FALSE(app.InitInstance(options_));
    EXPECT_EQ(title, QStringLiteral("ヴォルン [起動]"));
    EXPECT_EQ(app.MainFrame(), nullptr);
    EXPECT_EQ(app.LastMessage(), QString::fromUtf8(kTextApplicationExit));
    EXPECT_EQ(app.StartupStatus(), QStringLiteral("マーケットマトリクスのリストアに失敗しました"));
}

TEST_F(VornAppTest, ContentsCommandsSwitchModesAndHistoryWalksBack) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    EXPECT_FALSE(frame.IsEnabled(kIdHistoryBack));
    EXPECT_FALSE(frame.IsEnabled(kIdContentsReport)); // no report location yet

    ASSERT_TRUE(frame.RunCommand(kIdContentsScreening));
    EXPECT_EQ(app.ContentsMode(), kContentsScreening);
    EXPECT_TRUE(frame.IsChecked(kIdContentsScreening));
    EXPECT_FALSE(frame.IsEnabled(kIdChartFirst));
    EXPECT_TRUE(frame.IsEnabled(kIdScreeningReset));
    ASSERT_EQ(app.Recorder().Count(), 2u);
    EXPECT_EQ(app.Recorder().Entry(0).GetKind(), kContentsScreening);

    ASSERT_TRUE(frame.RunCommand(kIdContentsPortfolio));
    EXPECT_EQ(app.ContentsMode(), kContentsPortfolio);
    EXPECT_EQ(app.Recorder().Count(), 2u); // portfolio views are not recorded

    ASSERT_TRUE(frame.RunCommand(kIdHistoryBack));
    EXPECT_EQ(app.ContentsMode(), kContentsChart);
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    EXPECT_TRUE(frame.IsEnabled(kIdHistoryForward));
    EXPECT_FALSE(frame.IsEnabled(kIdHistoryBack));

    ASSERT_TRUE(frame.RunCommand(kIdHistoryForward));
    EXPECT_EQ(app.ContentsMode(), kContentsScreening);
    EXPECT_FALSE(frame.IsEnabled(kIdHistoryForward));
}

TEST_F(VornAppTest, BackRestoresTheEarlierChartAtItsScrollAndZoom) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    const CChartModel& model = *frame.View().ChartModel();
    ASSERT_TRUE(frame.RunCommand(kIdChartFirst));
    ASSERT_EQ(model.Position(), 0);
    const std::uint16_t days = model.VisibleDays();

    ASSERT_TRUE(app.SelectCode(9984));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(9984, 1));
    EXPECT_NE(model.Position(), 0); // a new stock shows its newest days
    ASSERT_EQ(app.Recorder().Count(), 2u);

    ASSERT_TRUE(frame.RunCommand(kIdHistoryBack));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    EXPECT_EQ(model.Position(), 0);
    EXPECT_EQ(model.VisibleDays(), days);
    // Showing the restored chart updated its entry in place.
    EXPECT_EQ(app.Recorder().Count(), 2u);
}

TEST_F(VornAppTest, ReportAndScreeningComeBackFromTheHistory) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    const fs::path page = directory_ / "report.html";
    std::FILE* file = std::fopen(page.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("<html><body>report</body></html>", file);
    std::fclose(file);

    frame.View().NavigateReport(QString::fromStdString(page.string()), false);
    EXPECT_TRUE(frame.IsEnabled(kIdContentsReport));
    ASSERT_TRUE(frame.RunCommand(kIdContentsReport));
    EXPECT_EQ(app.ContentsMode(), kContentsReport);
    ASSERT_EQ(app.Recorder().Count(), 2u); // one entry for the page, however it was reached

    ASSERT_TRUE(frame.RunCommand(kIdContentsScreening));
    app.Screening().markets = 1; // only the first market
    frame.View().RecordScreening();
    ASSERT_EQ(app.Recorder().Count(), 3u);
    ASSERT_TRUE(frame.RunCommand(kIdScreeningReset));
    EXPECT_NE(app.Screening().markets, 1);
    EXPECT_EQ(app.Recorder().Count(), 3u); // the screening entry is updated in place

    ASSERT_TRUE(frame.RunCommand(kIdHistoryBack));
    EXPECT_EQ(app.ContentsMode(), kContentsReport);
    EXPECT_EQ(frame.View().ReportLocation(), QString::fromStdString(page.string()));
    ASSERT_TRUE(frame.RunCommand(kIdHistoryForward));
    EXPECT_EQ(app.ContentsMode(), kContentsScreening);
    EXPECT_EQ(app.Recorder().Count(), 3u);
}

TEST_F(VornAppTest, ChartNavigationObeysItsEnablingRules) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    const CChartModel& model = *frame.View().ChartModel();
    const std::uint16_t largest = model.MaximumPosition();
    ASSERT_GT(largest, 0);
    EXPECT_EQ(model.Position(), largest);
    EXPECT_FALSE(frame.RunCommand(kIdChartLast));
    EXPECT_FALSE(frame.Action(kIdChartLast)->isEnabled());

    ASSERT_TRUE(frame.RunCommand(kIdChartFirst));
    EXPECT_EQ(model.Position(), 0);
    EXPECT_FALSE(frame.IsEnabled(kIdChartFirst));
    EXPECT_FALSE(frame.RunCommand(kIdPreviousDay));
    ASSERT_TRUE(frame.RunCommand(kIdNextDay));
    EXPECT_EQ(model.Position(), 1);
    while (frame.RunCommand(kIdChartNext)) {
    }
    EXPECT_EQ(model.Position(), largest);

    ASSERT_TRUE(frame.RunCommand(kIdZoomStep1 + 5)); // 45 days a step
    EXPECT_TRUE(frame.IsChecked(kIdZoomStep1 + 5));
    EXPECT_FALSE(frame.IsChecked(kIdZoomStep1 + 3));
    while (frame.RunCommand(kIdZoomIn)) {
    }
    EXPECT_LE(model.VisibleDays(), CChartModel::kZoomInLimit);
    EXPECT_FALSE(frame.IsEnabled(kIdZoomIn));
    while (frame.RunCommand(kIdZoomOut)) {
    }
    EXPECT_EQ(model.VisibleDays(), model.StockDayCount());
}

TEST_F(VornAppTest, ForecastSpaceIsReplacedNotAdded) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    const std::size_t days = app.Matrix().DailyCalendar().Count();
    ASSERT_TRUE(frame.RunCommand(kIdTradeForecast10));
    ASSERT_TRUE(frame.RunCommand(kIdTradeForecast10));
    EXPECT_EQ(app.Matrix().DailyCalendar().Count(), days + 10);
    EXPECT_TRUE(frame.IsChecked(kIdTradeForecast10));
    ASSERT_TRUE(frame.RunCommand(kIdTradeForecast30));
    EXPECT_EQ(app.Matrix().DailyCalendar().Count(), days + 30);
    ASSERT_TRUE(frame.RunCommand(kIdTradeForecastClear));
    EXPECT_EQ(app.Matrix().DailyCalendar().Count(), days);
    EXPECT_TRUE(frame.IsChecked(kIdTradeForecastClear));
}

TEST_F(VornAppTest, CodeBoxSelectsByFourDigitsOnly) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    QLineEdit* code = app.MainFrame()->CodeBox();
    Type(code, QStringLiteral("72b0"));
    EXPECT_EQ(code->text(), QStringLiteral("720")); // letters codes never hold never reach it
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    Type(code, QStringLiteral("3"));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(7203, 1));
    EXPECT_EQ(code->selectedText(), QStringLiteral("7203"));
    QGuiApplication::clipboard()->setText(QStringLiteral("1111"));
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    QCoreApplication::sendEvent(code, &paste);
    // Pasting is an edit like typing: an unknown code selects nothing.
    EXPECT_EQ(code->text(), QStringLiteral("1111"));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(7203, 1));
    code->selectAll();
    Type(code, QStringLiteral("9984"));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(9984, 1));
    EXPECT_FALSE(app.FindAndSelect(QStringLiteral("1234"))); // no such company
    EXPECT_TRUE(app.FindAndSelect(QStringLiteral("１３０１")));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
}

// A present-day market: 130A listed in 2025 beside 1301 and 1332, and 1A00, whose stored
// code (30,900) is past what the older 32-bit key fields held, the file ending in 2026.
class PresentDayAppTest : public VornAppTest {
protected:
    static constexpr const char* kLettered = "130A";
    static std::uint16_t Lettered() { return *ParseStockCode(std::string_view(kLettered)); }
    static std::uint16_t Wide() { return *ParseStockCode(std::string_view("1A00")); }
    void WriteMarket() {
        const std::vector<PackedDate> days = test::Weekdays(MakePackedDate(2025, 6, 2), 120);
        CMarketBuilder builder;
        builder.Calendar(days)
            .Company(1301, 1, Utf8ToCp932("極洋水産"))
            .Company(Lettered(), 33, Utf8ToCp932("ベリフォ水産"))
            .Company(1332, 1, Utf8ToCp932("日水水産"))
            .Security(1301, 1, days[0], test::SteppedRows(120, 200))
            .Security(Lettered(), 3, days[20], test::SteppedRows(100, 900))
            .Security(1332, 1, days[0], test::SteppedRows(120, 500))
            .Company(Wide(), 17, Utf8ToCp932("ワンエー工業"))
            .Security(Wide(), 2, days[40], test::SteppedRows(80, 300));
        CApplicationTest::WriteMarket(*builder.Build());
    }
};

TEST_F(PresentDayAppTest, CodeBoxFindsLetterCodesTypedInEitherCaseOrWidth) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    QLineEdit* code = app.MainFrame()->CodeBox();
    Type(code, QStringLiteral("130a"));
    EXPECT_EQ(code->text(), QStringLiteral("130A")); // upper-cased as typed
    ASSERT_NE(app.SelectedStock(), nullptr);
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(Lettered(), 3));
    EXPECT_EQ(code->selectedText(), QStringLiteral("130A"));

    ASSERT_TRUE(app.SelectCode(1301));
    EXPECT_TRUE(app.FindAndSelect(QStringLiteral("１３０Ａ")));
    EXPECT_EQ(app.SelectedStock()->Code(), Lettered());
    ASSERT_TRUE(app.SelectCode(1301));
    EXPECT_TRUE(app.FindAndSelect(QStringLiteral("１３０ａ")));
    EXPECT_EQ(app.SelectedStock()->Code(), Lettered());
    for (const char16_t* other : {u"130", u"130Ａ", u"130B", u"9A7A", u"130A0"})
        EXPECT_FALSE(app.FindAndSelect(QString::fromUtf16(other)))
            << QString::fromUtf16(other).toStdString();
}

TEST_F(PresentDayAppTest, NamePopupListsByWrittenCodeWithPresentDayNames) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    frame.NameBox()->setText(QStringLiteral("水産"));
    emit frame.NameBox()->textEdited(frame.NameBox()->text());
    CGridStocks& grid = frame.NamePopup().Grid();
    ASSERT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(grid.CellText(0, 0), QStringLiteral("1301"));
    EXPECT_EQ(grid.CellText(1, 0), QStringLiteral("130A"));
    EXPECT_EQ(grid.CellText(2, 0), QStringLiteral("1332"));
    EXPECT_EQ(grid.CellText(0, 1), QStringLiteral("東証プライム"));
    EXPECT_EQ(grid.CellText(1, 1), QStringLiteral("東証グロース"));
    grid.OnDoubleClickCell(1, 0);
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(Lettered(), 3));
}

TEST_F(PresentDayAppTest, FavouriteForALetterCodeSurvivesARestart) {
    WriteMarket();
    {
        CVornApp app;
        ASSERT_TRUE(app.InitInstance(options_));
        ASSERT_TRUE(app.SelectCode(Lettered()));
        ASSERT_TRUE(app.MainFrame()->RunCommand(kIdAddFavorite));
        ASSERT_TRUE(app.SelectCode(Wide()));
        ASSERT_TRUE(app.MainFrame()->RunCommand(kIdAddFavorite));
        app.ExitInstance();
    }
    CVornApp again;
    ASSERT_TRUE(again.InitInstance(options_));
    // The last stock shown comes back too, through the profile's 32-bit field.
    ASSERT_NE(again.SelectedStock(), nullptr);
    EXPECT_EQ(again.SelectedStock()->Key(), MakeSecurityKey(Wide(), 2));
    EXPECT_EQ(again.Favorites().Keys(), (std::vector<SecurityKey>{MakeSecurityKey(Lettered(), 3),
                                                                  MakeSecurityKey(Wide(), 2)}));
    const QList<QAction*> items = again.MainFrame()->FavoritesMenu()->actions();
    ASSERT_EQ(items.size(), 5);
    EXPECT_EQ(items[3]->text(), QStringLiteral("ベリフォ水産：東証グロース"));
    EXPECT_EQ(items[4]->text(), QStringLiteral("ワンエー工業：東証スタンダード"));
    ASSERT_TRUE(again.MainFrame()->RunCommand(kFavoriteCommandFirst));
    EXPECT_EQ(again.SelectedStock()->Key(), MakeSecurityKey(Lettered(), 3));
}

TEST_F(VornAppTest, NameBoxListsMatchingListingsAndSelectsTheChosenOne) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    frame.CodeBox()->setText(QStringLiteral("1301"));
    frame.NameBox()->setText(QStringLiteral("とよた"));
    emit frame.NameBox()->textEdited(frame.NameBox()->text());
    EXPECT_TRUE(frame.CodeBox()->text().isEmpty());
    CGridStocks& grid = frame.NamePopup().Grid();
    ASSERT_EQ(grid.RowCount(), 2); // both listings of the company
    EXPECT_TRUE(frame.NamePopup().isVisible());
    EXPECT_EQ(grid.CellText(1, 0), QStringLiteral("7203"));
    EXPECT_EQ(grid.CellText(1, 2), QStringLiteral("トヨタ自動車"));
    grid.OnDoubleClickCell(1, 0);
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(7203, 2));
    EXPECT_FALSE(frame.NamePopup().isVisible());

    frame.NameBox()->setText(QStringLiteral("存在しない"));
    emit frame.NameBox()->textEdited(frame.NameBox()->text());
    EXPECT_EQ(grid.RowCount(), 0);
    EXPECT_FALSE(frame.NamePopup().isVisible());
}

TEST_F(VornAppTest, ToolWindowsFollowTheirBitsAndTheChartMode) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    CVornView& view = frame.View();
    ASSERT_TRUE(frame.RunCommand(kIdTradings));
    EXPECT_TRUE(frame.IsChecked(kIdTradings));
    EXPECT_TRUE(view.Tradings().isVisible());
    ASSERT_TRUE(frame.RunCommand(kIdContentsPortfolio));
    EXPECT_FALSE(view.Tradings().isVisible());
    EXPECT_FALSE(frame.IsEnabled(kIdTradings));
    ASSERT_TRUE(frame.RunCommand(kIdContentsChart));
    EXPECT_TRUE(view.Tradings().isVisible());
    // Closed by the user: the window reports it and its bit goes.
    view.Tradings().close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame.IsChecked(kIdTradings));
    EXPECT_EQ(view.PanelFlags() & kPanelTradings, 0);
}

TEST_F(VornAppTest, LawPanelFollowsTheScreeningListsCurrentRow) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    CVornView& view = frame.View();
    ASSERT_TRUE(frame.RunCommand(kIdContentsScreening));
    ASSERT_TRUE(view.Screening().EnsurePrepared());
    const CLawPerformanceModel& shown = view.LawPerformance().Panel().Model();
    for (const auto& [key, security] : app.Matrix().Securities()) {
        if (shown.Listing() == &security || !view.Screening().SelectListing(key))
            continue;
        QCoreApplication::processEvents();
        EXPECT_EQ(shown.Listing(), &security);
        return;
    }
    ADD_FAILURE() << "no listed security other than the shown one";
}

TEST(StockCodeText, AcceptsFourDigitsOfOneWidth) {
    EXPECT_EQ(ParseStockCode(QStringLiteral("7203")), 7203);
    EXPECT_EQ(ParseStockCode(QStringLiteral("０００１")), 1);
    EXPECT_FALSE(ParseStockCode(QStringLiteral("720")));
    EXPECT_FALSE(ParseStockCode(QStringLiteral("72030")));
    EXPECT_FALSE(ParseStockCode(QStringLiteral("７203")));
    EXPECT_FALSE(ParseStockCode(QStringLiteral("72 3")));
}

TEST(CompanyNameKeys, MeetInOneForm) {
    EXPECT_EQ(NormaliseCompanyName(QStringLiteral("とよた")),
              NormaliseCompanyName(QStringLiteral("ﾄﾖﾀ")));
    EXPECT_EQ(NormaliseCompanyName(QStringLiteral("Sony")),
              NormaliseCompanyName(QStringLiteral("ＳＯＮＹ")));
    EXPECT_EQ(NormaliseCompanyName(QStringLiteral("ｶﾞ")), QStringLiteral("ガ"));
}

TEST_F(VornAppTest, SpaceStepsThroughSecuritiesAndStopsAtTheEnds) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    EXPECT_FALSE(app.StepStock(false));
    ASSERT_TRUE(app.StepStock(true));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(7203, 1));
    ASSERT_TRUE(app.StepStock(true));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(7203, 2));
    ASSERT_TRUE(app.StepStock(true));
    EXPECT_FALSE(app.StepStock(true));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(9984, 1));
}

TEST_F(VornAppTest, FavouritesAreAddedChosenAndKeptAcrossRuns) {
    WriteMarket();
    {
        CVornApp app;
        ASSERT_TRUE(app.InitInstance(options_));
        CMainFrame& frame = *app.MainFrame();
        EXPECT_FALSE(frame.IsEnabled(kIdOrganiseFavorites));
        ASSERT_TRUE(app.SelectCode(9984));
        ASSERT_TRUE(frame.RunCommand(kIdAddFavorite));
        ASSERT_TRUE(app.SelectCode(7203));
        ASSERT_TRUE(frame.RunCommand(kIdAddFavorite));
        EXPECT_TRUE(frame.IsEnabled(kIdOrganiseFavorites));
        // Two fixed items, a separator and one item per favourite in key order.
        const QList<QAction*> items = frame.FavoritesMenu()->actions();
        ASSERT_EQ(items.size(), 5);
        EXPECT_TRUE(items[2]->isSeparator());
        EXPECT_TRUE(items[3]->text().startsWith(QStringLiteral("トヨタ自動車：")));
        EXPECT_TRUE(items[4]->text().startsWith(QStringLiteral("ソフトバンクグループ：")));
        // In the portfolio nothing is added.
        ASSERT_TRUE(frame.RunCommand(kIdContentsPortfolio));
        EXPECT_FALSE(app.AddFavorite());
        ASSERT_TRUE(frame.RunCommand(kFavoriteCommandFirst + 1));
        EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(9984, 1));
        EXPECT_EQ(app.ContentsMode(), kContentsChart);
        app.ExitInstance();
    }
    CVornApp again;
    ASSERT_TRUE(again.InitInstance(options_));
    EXPECT_EQ(again.Favorites().Keys(),
              (std::vector<SecurityKey>{MakeSecurityKey(7203, 1), MakeSecurityKey(9984, 1)}));
    EXPECT_EQ(again.MainFrame()->FavoritesMenu()->actions().size(), 5);

    CDialogFavorites dialog(again.Favorites(), again.Matrix());
    ASSERT_EQ(dialog.List().count(), 2);
    dialog.List().item(0)->setSelected(true);
    dialog.RemoveSelected();
    EXPECT_EQ(again.Favorites().Keys(), std::vector<SecurityKey>{MakeSecurityKey(9984, 1)});
    EXPECT_EQ(dialog.List().count(), 1);
    dialog.ClearAll();
    EXPECT_TRUE(again.Favorites().Empty());
}

TEST_F(VornAppTest, FavouriteMissingFromTheMatrixIsKeptButNotOffered) {
    WriteMarket();
    const SecurityKeySet stored{MakeSecurityKey(1111, 1), MakeSecurityKey(7203, 1)};
    ASSERT_EQ(SaveFavorites((directory_ / kFavoritesFileName).string(), stored),
              SettingsFileResult::Ok);
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    // Item 35000 stands for the missing one and does nothing.
    EXPECT_EQ(app.MainFrame()->FavoritesMenu()->actions().size(), 4);
    ASSERT_TRUE(app.MainFrame()->RunCommand(kFavoriteCommandFirst));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    ASSERT_TRUE(app.MainFrame()->RunCommand(kFavoriteCommandFirst + 1));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(7203, 1));
    app.ExitInstance();
    SecurityKeySet reloaded;
    ASSERT_EQ(LoadFavorites((directory_ / kFavoritesFileName).string(), reloaded),
              SettingsFileResult::Ok);
    EXPECT_EQ(reloaded.Keys(), stored.Keys());
}

TEST_F(VornAppTest, ColourSchemeIsWrittenBackToTheProfile) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    EXPECT_TRUE(frame.IsChecked(kIdColourBlack));
    ASSERT_TRUE(frame.RunCommand(kIdColourWhite));
    EXPECT_TRUE(frame.IsChecked(kIdColourWhite));
    CSettingsProfile profile(QString::fromStdString((directory_ / "Vorn.ini").string()));
    EXPECT_EQ(profile.GetInteger(kProfileSection, kProfileSetting, 0), kSettingWhiteChart);
    // Colours are a chart matter: in the portfolio the commands are off.
    ASSERT_TRUE(frame.RunCommand(kIdContentsPortfolio));
    EXPECT_FALSE(frame.RunCommand(kIdColourBlack));
}

TEST_F(VornAppTest, StatusPanesFollowTheCursorReports) {
    WriteMarket();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    const CursorStatusText expected =
        FormatCursorStatus(kMsgCursorPrice, MakePackedDate(2007, 1, 5), 1234);
    ASSERT_FALSE(expected.first.empty());
    frame.Poster().Post(kMsgCursorPrice, MakePackedDate(2007, 1, 5), 1234);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.StatusPane(0), QString::fromStdString(expected.first));
    EXPECT_EQ(frame.StatusPane(1), QString::fromStdString(expected.second));
    frame.Poster().Post(kMsgCursorNone, 0, 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame.StatusPane(0).isEmpty());
}

TEST(SettingsProfile, KeepsValuesAndIgnoresUnreadableOnes) {
    test::OffscreenApplication();
    char pattern[] = "/tmp/vorn_profile_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const QString path = QString::fromUtf8(pattern) + "/Vorn.ini";
    {
        CSettingsProfile profile(path);
        EXPECT_EQ(profile.GetInteger(kProfileSection, kProfileVersion, 7), 7u);
        EXPECT_TRUE(profile.SetInteger(kProfileSection, kProfileVersion, 0x01000000));
        EXPECT_TRUE(profile.SetString(kProfileSection, kProfileMatrix, "/data/市場.kbx"));
    }
    {
        QSettings raw(path, QSettings::IniFormat);
        raw.setValue("Window/Setting", "white");
        raw.setValue("Window/First", "4294967296");
    }
    CSettingsProfile profile(path);
    EXPECT_EQ(profile.GetInteger(kProfileSection, kProfileVersion, 0), 0x01000000u);
    EXPECT_EQ(profile.GetString(kProfileSection, kProfileMatrix), "/data/市場.kbx");
    EXPECT_EQ(profile.GetInteger(kProfileSection, kProfileSetting, 3), 3u);
    EXPECT_EQ(profile.GetInteger(kProfileSection, kProfileFirst, 5), 5u);
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
}

TEST(SettingsProfile, DamagedFileIsCopiedBeforeItIsRewritten) {
    test::OffscreenApplication();
    char pattern[] = "/tmp/vorn_profile_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path path = fs::path(pattern) / "Vorn.ini";
    const std::string damaged = "[Window]\nVersion=1\n[Win\ndow\nMatrix=\"/x\n";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(damaged.data(), 1, damaged.size(), file);
    std::fclose(file);
    {
        CSettingsProfile profile(QString::fromStdString(path.string()));
        profile.SetInteger(kProfileSection, kProfileSetting, 16);
    }
    // Whatever was written, the bytes that could not be read survive somewhere.
    const auto whole = [](const std::string& name) {
        std::string bytes;
        if (std::FILE* in = std::fopen(name.c_str(), "rb")) {
            char buffer[256];
            std::size_t read = 0;
            while ((read = std::fread(buffer, 1, sizeof buffer, in)) > 0)
                bytes.append(buffer, read);
            std::fclose(in);
        }
        return bytes;
    };
    EXPECT_TRUE(whole(path.string()) == damaged || whole(path.string() + ".damaged") == damaged);
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
}

TEST(AppOptions, ParsesTheCommandLine) {
    AppOptions options;
    QString error;
    ASSERT_TRUE(ParseAppOptions({"vorn", "--data-dir", "/tmp/x", "--server=host:8080", "--local"},
                                options, error));
    EXPECT_EQ(options.dataDirectory, fs::path("/tmp/x"));
    EXPECT_EQ(options.server, "host:8080");
    EXPECT_TRUE(options.localMode);
    EXPECT_FALSE(ParseAppOptions({"vorn", "--data-dir"}, options, error));
    EXPECT_FALSE(ParseAppOptions({"vorn", "--server", "host:99999"}, options, error));
    EXPECT_FALSE(ParseAppOptions({"vorn", "--bogus"}, options, error));
}

} // namespace
} // namespace vorn
