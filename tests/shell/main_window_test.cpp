// The main window in a trader's hands: real key and mouse events through the whole window.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "chart/cursor_status.h"
#include "chart/ui/graph.h"
#include "foundation/profile.h"
#include "foundation/text_encoding.h"
#include "matrix/matrix_file.h"
#include "matrix/market_naming.h"
#include "support/market_builder.h"

#include "ui_base/graphic_manager.h"
#include "gaps/ui/dialog_monthly_tradings.h"
#include "gaps/ui/dialog_tradings.h"
#include "gaps/ui/market_windows_details.h"
#include "screening/ui/dialog_screening_range.h"
#include "shell/command_ids.h"
#include "shell/dialog_securities.h"
#include "shell/grid_stocks.h"
#include "shell/main_frame.h"
#include "shell/settings_profile.h"
#include "shell/vorn_app.h"
#include "shell/vorn_view.h"
#include "support/application_test.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <filesystem>
#include <gtest/gtest.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;

constexpr int kDays = test::kApplicationDays;

class MainWindowTest : public test::CApplicationTest {
protected:
    void SetUp() override {
        CApplicationTest::SetUp();
        if (!HasFatalFailure())
            WriteMarket();
    }

    CMainFrame& Start(CVornApp& app) { return StartShown(app); }

    static void Focus(QWidget* widget) {
        // What the last step posted (the focus back to the code box among it) comes first.
        QCoreApplication::processEvents();
        widget->window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(widget->window()));
        widget->setFocus();
        QCoreApplication::processEvents();
        ASSERT_TRUE(widget->hasFocus())
            << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                            : "none")
            << " "
            << (QApplication::activeWindow()
                    ? QApplication::activeWindow()->metaObject()->className()
                    : "none");
    }

    static void TypeName(QLineEdit* box, const QString& text) {
        // Whatever the last step posted (hiding the popup among it) is handled first.
        QCoreApplication::processEvents();
        box->clear();
        // Composed text arrives as committed input; the box reports it as edited.
        box->insert(text);
        emit box->textEdited(box->text());
        QCoreApplication::processEvents();
    }

};

TEST_F(MainWindowTest, NameSearchRunsByKeyboardAndASingleClick) {
    CVornApp app;
    CMainFrame& frame = Start(app);
    const std::uint16_t position = frame.View().Chart().Position();
    Focus(frame.NameBox());
    TypeName(frame.NameBox(), QStringLiteral("ト")); // トヨタ twice and ソフトバンク
    CDialogSecurities& popup = frame.NamePopup();
    ASSERT_TRUE(popup.isVisible());
    ASSERT_EQ(popup.Grid().RowCount(), 3);
    // The market column names the market in full.
    EXPECT_EQ(popup.Grid().CellText(0, 1).toStdString(),
              MarketNamingOf(app.Matrix()).Name(popup.Grid().Stocks()[0]->market));

    QTest::keyClick(frame.NameBox(), Qt::Key_Down);
    QTest::keyClick(frame.NameBox(), Qt::Key_Down);
    QTest::keyClick(frame.NameBox(), Qt::Key_Down);
    QTest::keyClick(frame.NameBox(), Qt::Key_Up);
    EXPECT_EQ(popup.Grid().CurrentRow(), 1);
    EXPECT_TRUE(popup.isVisible());
    EXPECT_EQ(frame.View().Chart().Position(), position); // the chart did not scroll
    const SecurityRecord* chosen = popup.Grid().Stocks()[1];
    QTest::keyClick(frame.NameBox(), Qt::Key_Return);
    EXPECT_EQ(app.SelectedStock(), chosen);
    EXPECT_FALSE(popup.isVisible());

    // Escape closes the popup and leaves the typing where it was.
    Focus(frame.NameBox());
    TypeName(frame.NameBox(), QStringLiteral("ト"));
    ASSERT_TRUE(popup.isVisible());
    QTest::keyClick(frame.NameBox(), Qt::Key_Escape);
    EXPECT_FALSE(popup.isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame.NameBox()->hasFocus());
    EXPECT_EQ(app.SelectedStock(), chosen);

    // The only match opens with Enter alone.
    TypeName(frame.NameBox(), QStringLiteral("極洋"));
    ASSERT_EQ(popup.Grid().RowCount(), 1);
    QTest::keyClick(frame.NameBox(), Qt::Key_Enter);
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));

    // A single click opens a row.
    TypeName(frame.NameBox(), QStringLiteral("ソフト"));
    ASSERT_EQ(popup.Grid().RowCount(), 1);
    CGridStocks& grid = popup.Grid();
    const QRect row = grid.visualRect(grid.model()->index(0, 2));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(9984, 1));
    EXPECT_FALSE(popup.isVisible());
    app.ExitInstance();
}

// Every menu item's hint is the key that runs it, and the keys do what the menu says.
TEST_F(MainWindowTest, MenuHintsAreTheKeysThatRunTheCommands) {
    CVornApp app;
    CMainFrame& frame = Start(app);
    std::map<QString, std::uint32_t> shortcuts;
    for (const QShortcut* shortcut : frame.findChildren<QShortcut*>())
        if (shortcut->property("command").isValid())
            shortcuts[shortcut->key().toString(QKeySequence::NativeText)] =
                shortcut->property("command").toUInt();
    int hinted = 0;
    std::function<void(QMenu*)> walk = [&](QMenu* menu) {
        for (QAction* action : menu->actions()) {
            if (action->menu() != nullptr) {
                walk(action->menu());
                continue;
            }
            const qsizetype tab = action->text().indexOf(QLatin1Char('\t'));
            if (tab < 0)
                continue;
            ++hinted;
            const QString hint = action->text().mid(tab + 1);
            ASSERT_TRUE(shortcuts.contains(hint)) << hint.toStdString();
            EXPECT_EQ(frame.Action(shortcuts[hint]), action) << hint.toStdString();
        }
    };
    for (QAction* top : frame.menuBar()->actions())
        if (top->menu() != nullptr)
            walk(top->menu());
    EXPECT_GE(hinted, 20);
    // Every key of the window is named by its menu item.
    for (const auto& [hint, id] : shortcuts)
        EXPECT_TRUE(frame.Action(id)->text().endsWith(QLatin1Char('\t') + hint))
            << hint.toStdString();
    EXPECT_TRUE(frame.Action(kIdChartFirst)->text().endsWith(QStringLiteral("\tEnd")));

    // The hinted keys run their commands: 先頭 with End, 拡大 with PageDown.
    Focus(&frame.View().Chart());
    QTest::keyClick(&frame.View().Chart(), Qt::Key_End);
    EXPECT_EQ(frame.View().Chart().Position(), 0);
    const std::uint16_t days = frame.View().Chart().VisibleDays();
    QTest::keyClick(&frame.View().Chart(), Qt::Key_PageDown);
    EXPECT_LT(frame.View().Chart().VisibleDays(), days);
    app.ExitInstance();
}

TEST_F(MainWindowTest, EditKeysWorkInTheSearchBoxes) {
    CVornApp app;
    CMainFrame& frame = Start(app);
    QLineEdit* code = frame.CodeBox();
    Focus(code);
    QTest::keyClicks(code, QStringLiteral("9984"));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(9984, 1));
    QTest::keyClick(code, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(code, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("9984"));
    QTest::keyClick(code, Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(code->text().isEmpty());
    QGuiApplication::clipboard()->setText(QStringLiteral("1301"));
    QTest::keyClick(code, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(code->text(), QStringLiteral("1301"));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    // Letters other than the edit keys still stay out of the code box.
    QTest::keyClick(code, Qt::Key_Q);
    EXPECT_EQ(code->text(), QStringLiteral("1301"));

    QLineEdit* name = frame.NameBox();
    Focus(name);
    name->setText(QStringLiteral("トヨタ"));
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(name, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("トヨタ"));
    app.ExitInstance();
}

TEST_F(MainWindowTest, FitsASmallScreenAndReflows) {
    CVornApp app;
    CMainFrame& frame = Start(app);
    frame.resize(800, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.size(), QSize(800, 600));
    EXPECT_LE(frame.minimumSizeHint().width(), 800);
    EXPECT_LE(frame.minimumSizeHint().height(), 600);
    // The search boxes stay on screen, not in an overflow menu.
    for (QWidget* box :
         {static_cast<QWidget*>(frame.CodeBox()), static_cast<QWidget*>(frame.NameBox())}) {
        EXPECT_TRUE(box->isVisible());
        const QRect inFrame(box->mapTo(&frame, QPoint(0, 0)), box->size());
        EXPECT_TRUE(frame.rect().contains(inFrame)) << inFrame.x() << "," << inFrame.y();
    }
    const QRect status(frame.statusBar()->mapTo(&frame, QPoint(0, 0)), frame.statusBar()->size());
    EXPECT_TRUE(frame.rect().contains(status));
    EXPECT_GT(frame.View().Chart().height(), 100);
    // The details panel wraps its texts within its width, clear of its table.
    const CMarketWindowsDetails& details = frame.View().Details();
    const std::vector<QRect> texts = details.QuoteTextRects();
    ASSERT_FALSE(texts.empty());
    for (const QRect& text : texts) {
        EXPECT_LE(text.right(), details.width());
        EXPECT_FALSE(text.intersects(details.TableRect()));
    }
    EXPECT_LE(details.TableRect().right(), details.width());
    // Wide again, the tool bars share one line.
    frame.resize(1600, 900);
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame.toolBarBreak(frame.ToolBar(kIdBarSearch)));
    app.ExitInstance();
}

TEST_F(MainWindowTest, WeeklyAndMonthlyChartsComeBackFromTheHistory) {
    CVornApp app;
    CMainFrame& frame = Start(app);
    CVornView& view = frame.View();
    ASSERT_NE(view.ChartModel(), nullptr);
    EXPECT_TRUE(frame.IsChecked(kIdSeriesDaily));
    Focus(&view.Chart());
    QTest::keyClick(&view.Chart(), Qt::Key_W);
    EXPECT_EQ(view.ChartModel()->SeriesKind(), PeriodKind::Weekly);
    EXPECT_TRUE(frame.IsChecked(kIdSeriesWeekly));
    // The analysis behind windows, marks and the panels is the weekly one.
    EXPECT_EQ(app.Performer().Period(), PeriodKind::Weekly);
    const std::uint16_t weeks = view.ChartModel()->StockDayCount();
    EXPECT_LT(weeks, kDays / 4);

    // Another stock keeps the weekly view; back returns to the first one, still weekly.
    ASSERT_TRUE(app.SelectCode(9984));
    EXPECT_EQ(view.ChartModel()->SeriesKind(), PeriodKind::Weekly);
    QTest::keyClick(&view.Chart(), Qt::Key_M);
    EXPECT_EQ(view.ChartModel()->SeriesKind(), PeriodKind::Monthly);
    ASSERT_TRUE(frame.RunCommand(kIdHistoryBack));
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    EXPECT_EQ(view.ChartModel()->SeriesKind(), PeriodKind::Weekly);
    EXPECT_EQ(app.Performer().Period(), PeriodKind::Weekly);

    QTest::keyClick(&view.Chart(), Qt::Key_D);
    EXPECT_EQ(view.ChartModel()->SeriesKind(), PeriodKind::Daily);
    // "全期間" shows every day of the stock.
    ASSERT_TRUE(frame.RunCommand(kIdWholeHistory));
    EXPECT_EQ(view.ChartModel()->VisibleDays(), view.ChartModel()->StockDayCount());
    EXPECT_FALSE(frame.IsEnabled(kIdWholeHistory));
    app.ExitInstance();
}

TEST_F(MainWindowTest, CtrlWheelZoomsAroundTheCursorAndThePlainWheelStepsStocks) {
    CVornApp app;
    CMainFrame& frame = Start(app);
    CGraph& chart = frame.View().Chart();
    ASSERT_TRUE(frame.RunCommand(kIdWholeHistory));
    const std::uint16_t all = chart.VisibleDays();
    const QPoint at(chart.width() / 2, chart.height() / 3);
    const auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(at, chart.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&chart, &event);
    };
    wheel(120, Qt::ControlModifier);
    EXPECT_LT(chart.VisibleDays(), all);
    EXPECT_GT(chart.Position(), 0); // zoomed around the middle, not at the oldest day
    for (int i = 0; i < 4; ++i)
        wheel(-120, Qt::ControlModifier);
    EXPECT_EQ(chart.VisibleDays(), all); // back to the whole history in a few steps
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(1301, 1));
    wheel(-120, Qt::NoModifier);
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(7203, 1));
    app.ExitInstance();
}

TEST_F(MainWindowTest, CrosshairReadsTheDayUnderTheMouse) {
    CVornApp app;
    CMainFrame& frame = Start(app);
    CGraph& chart = frame.View().Chart();
    ASSERT_TRUE(frame.RunCommand(kIdWholeHistory));
    EXPECT_FALSE(frame.IsChecked(kIdCrosshair));
    Focus(&chart);
    QTest::keyClick(&chart, Qt::Key_C);
    ASSERT_TRUE(frame.IsChecked(kIdCrosshair));

    const CChartModel& model = *chart.Model();
    const ChartDay& day = model.Layout().days[10];
    ASSERT_TRUE(day.Quoted());
    const ChartPanes& panes = model.Coordinates().Panes();
    const int y = (panes.pricePane.top + panes.pricePane.bottom) / 2;
    QTest::mouseMove(&chart, QPoint(day.x, y));
    QCoreApplication::processEvents();
    const QString first = frame.StatusPane(0);
    EXPECT_TRUE(first.startsWith(QString::asprintf("日付：%04u/%2u/%2u", DateYear(day.date),
                                                   DateMonth(day.date), DateDay(day.date))))
        << first.toStdString();
    EXPECT_TRUE(first.contains(QStringLiteral("終値：%1").arg(day.close))) << first.toStdString();
    EXPECT_TRUE(first.contains(QStringLiteral("出来高：")));
    EXPECT_TRUE(frame.StatusPane(1).startsWith(QStringLiteral("株価：")));
    // Drawn over the chart in the scheme's cursor colour.
    const QImage shown = chart.grab().toImage();
    const QColor cursor = ToQColor(chart.Settings().Colour(kColourCursor));
    int drawn = 0;
    for (int x = panes.plot.left; x < panes.plot.left + 12; ++x)
        drawn += shown.pixelColor(x, y) == cursor ? 1 : 0;
    EXPECT_GT(drawn, 4);

    // Off, the panes read as before.
    QTest::keyClick(&chart, Qt::Key_C);
    QTest::mouseMove(&chart, QPoint(day.x, y + 1));
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame.StatusPane(0).contains(QStringLiteral("終値")));
    app.ExitInstance();
}

TEST_F(MainWindowTest, PlaceStockDaysAndPanelsAreKeptAcrossARestart) {
    QRect placed;
    {
        CVornApp app;
        CMainFrame& frame = Start(app);
        // The offscreen screen is 800 by 600: the window fits it exactly.
        frame.setGeometry(0, 0, 800, 600);
        QCoreApplication::processEvents();
        placed = frame.geometry();
        ASSERT_TRUE(app.SelectCode(9984));
        ASSERT_TRUE(frame.RunCommand(kIdZoomIn));
        ASSERT_TRUE(frame.RunCommand(kIdTradings));
        ASSERT_EQ(app.ExitInstance(), 0);
    }
    CSettingsProfile profile(QString::fromStdString((directory_ / "Vorn.ini").string()));
    EXPECT_EQ(profile.GetInteger(kProfileSection, "LastStock", 0), MakeSecurityKey(9984, 1));
    const std::uint32_t days = profile.GetInteger(kProfileSection, "VisibleDays", 0);
    EXPECT_GT(days, 0u);

    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    CMainFrame& frame = *app.MainFrame();
    EXPECT_EQ(frame.geometry().size(), placed.size());
    EXPECT_EQ(app.SelectedStock()->Key(), MakeSecurityKey(9984, 1));
    EXPECT_EQ(frame.View().ChartModel()->VisibleDays(), days);
    EXPECT_TRUE(frame.IsChecked(kIdTradings));
    EXPECT_TRUE(frame.View().Tradings().isVisible());
    app.ExitInstance();
}

TEST_F(MainWindowTest, PlacementOffTheScreensComesBackOntoTheScreen) {
    {
        CSettingsProfile profile(QString::fromStdString((directory_ / "Vorn.ini").string()));
        CVornApp app;
        CMainFrame& frame = Start(app);
        frame.setGeometry(20000, 15000, 5000, 4000);
        frame.SaveState(profile);
        app.ExitInstance();
    }
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_));
    const QRect area = app.MainFrame()->screen()->availableGeometry();
    const QRect placed = app.MainFrame()->geometry();
    EXPECT_TRUE(area.contains(placed.center())) << placed.x() << "," << placed.y();
    EXPECT_LE(placed.width(), area.width());
    EXPECT_LE(placed.height(), area.height());
    app.ExitInstance();
}

TEST_F(MainWindowTest, FeedbackReportPageAboutAndJapaneseTexts) {
    CVornApp app;
    CMainFrame& frame = Start(app);
    ASSERT_TRUE(frame.RunCommand(kIdAddFavorite));
    EXPECT_FALSE(frame.statusBar()->currentMessage().isEmpty());
    frame.statusBar()->clearMessage();
    ASSERT_TRUE(frame.RunCommand(kIdCopy));
    EXPECT_FALSE(frame.statusBar()->currentMessage().isEmpty());

    // The report page shows a text report as preformatted text and keeps it in the history.
    CVornView& view = frame.View();
    EXPECT_FALSE(frame.IsEnabled(kIdContentsReport));
    ASSERT_TRUE(view.ShowReportText(QStringLiteral("[1301] 極洋 <a>\n 2行目")));
    EXPECT_TRUE(view.ReportVisible());
    const auto* browser = view.findChild<QTextBrowser*>();
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->toHtml().contains(QStringLiteral("<pre")));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("[1301] 極洋 <a>")));
    EXPECT_TRUE(frame.IsEnabled(kIdContentsReport));
    ASSERT_TRUE(frame.RunCommand(kIdContentsChart));
    ASSERT_TRUE(frame.RunCommand(kIdHistoryBack));
    EXPECT_TRUE(view.ReportVisible());

    EXPECT_TRUE(frame.Action(kIdColourBlack)->text() == QStringLiteral("黒"));
    EXPECT_TRUE(frame.Action(kIdColourWhite)->text() == QStringLiteral("白"));
    // The toolkit's own texts (edit menus, dialogs) are Japanese.
    EXPECT_NE(QCoreApplication::translate("QLineEdit", "&Copy"), QStringLiteral("&Copy"));
    app.ExitInstance();
}

TEST_F(MainWindowTest, ToolWindowsCascadeCloseWithEscapeAndKeepTheirPlace) {
    CVornApp app;
    CMainFrame& frame = Start(app);
    ASSERT_TRUE(frame.RunCommand(kIdTradings));
    ASSERT_TRUE(frame.RunCommand(kIdMonthlyTradings));
    QCoreApplication::processEvents();
    CDialogTradings& tradings = frame.View().Tradings();
    CDialogMonthlyTradings& monthly = frame.View().MonthlyTradings();
    ASSERT_TRUE(tradings.isVisible());
    ASSERT_TRUE(monthly.isVisible());
    EXPECT_NE(tradings.pos(), monthly.pos());

    monthly.move(monthly.pos() + QPoint(30, 20));
    const QPoint moved = monthly.pos();
    QTest::keyClick(&monthly, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(monthly.isVisible());
    EXPECT_FALSE(frame.IsChecked(kIdMonthlyTradings));
    ASSERT_TRUE(frame.RunCommand(kIdMonthlyTradings));
    EXPECT_EQ(monthly.pos(), moved);

    EXPECT_EQ(WithCsvExtension(QStringLiteral("/tmp/list")), QStringLiteral("/tmp/list.csv"));
    EXPECT_EQ(WithCsvExtension(QStringLiteral("/tmp/list.txt")), QStringLiteral("/tmp/list.txt"));
    app.ExitInstance();
}

TEST(RangeDialog, OkSwitchesTheConditionOnAndBadTextIsRefusedBesideTheField) {
    test::OffscreenApplication();
    ScreeningRange range;
    CDialogScreeningRange dialog(0, range, nullptr);
    dialog.FromEdit()->setText(QStringLiteral("abc"));
    dialog.accept();
    EXPECT_FALSE(dialog.MessageLabel()->isHidden());
    EXPECT_FALSE(dialog.MessageLabel()->text().isEmpty());
    EXPECT_FALSE(range.IsOn());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    dialog.FromEdit()->setText(QStringLiteral("5"));
    dialog.ToEdit()->setText(QStringLiteral("2"));
    dialog.accept();
    EXPECT_FALSE(range.IsOn()); // a range that passes nothing is refused

    dialog.ToEdit()->setText(QStringLiteral("10"));
    dialog.accept();
    EXPECT_TRUE(range.IsOn());
    EXPECT_TRUE(dialog.MessageLabel()->isHidden());
    EXPECT_EQ(range.lower, 5.0);
    EXPECT_EQ(range.upper, 10.0);
}

TEST(ScreenshotOptions, PeriodAndSizeAreCheckedBeforeUse) {
    AppOptions options;
    QString error;
    ASSERT_TRUE(ParseAppOptions(
        {"vorn", "--screenshot", "a.png", "--period", "weekly", "--size", "1366x768"}, options,
        error));
    ASSERT_TRUE(options.screenshot.has_value());
    EXPECT_EQ(options.screenshot->seriesKind, PeriodKind::Weekly);
    EXPECT_EQ(options.screenshot->width, 1366);
    EXPECT_EQ(options.screenshot->height, 768);
    for (const char* bad :
         {"799x600", "1366", "1366x", "x768", "99999x800", "1366x768x2", "-1366x768", "1366X768"}) {
        AppOptions refused;
        EXPECT_FALSE(
            ParseAppOptions({"vorn", "--screenshot", "a.png", "--size", bad}, refused, error))
            << bad;
    }
    AppOptions refused;
    EXPECT_FALSE(
        ParseAppOptions({"vorn", "--screenshot", "a.png", "--period", "yearly"}, refused, error));
    EXPECT_FALSE(ParseAppOptions({"vorn", "--period", "weekly"}, refused, error));
}

} // namespace
} // namespace vorn
