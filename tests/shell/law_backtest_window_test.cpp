// The "法則の検証" window driven by mouse and key events: a test runs to its table and chart,
// a running test is cancelled, the table is saved and copied, and a trade opens its chart.
// The core headers come before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/law_backtest.h"
#include "matrix/sample_market.h"

#include "shell/dialog_law_backtest.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest/QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>

#include "support/offscreen_application.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

const CMarketMatrix& Sample() {
    static const std::unique_ptr<CMarketMatrix> matrix = [] {
        auto m = std::make_unique<CMarketMatrix>();
        SampleMarketOptions options;
        options.years = 3;
        options.securities = 200;
        EXPECT_TRUE(BuildSampleMarket(*m, options));
        return m;
    }();
    return *matrix;
}

// Waits, handling events, until the window's test has ended.
bool WaitForEnd(CDialogLawBacktest& window) {
    return QTest::qWaitFor([&] { return !window.Running(); }, 60000);
}

void DoubleClickCell(QTableWidget& table, int row, int column) {
    QWidget* viewport = table.viewport();
    const QPoint centre = table.visualRect(table.model()->index(row, column)).center();
    // A double click is a press, a release and a double-click event.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, centre);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, centre);
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class LawBacktestWindow : public ::testing::Test {
protected:
    void SetUp() override {
        test::OffscreenApplication();
        window_ = std::make_unique<CDialogLawBacktest>(Sample(), nullptr);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    void Run() {
        QTest::mouseClick(window_->RunButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitForEnd(*window_));
    }
    std::unique_ptr<CDialogLawBacktest> window_;
};

TEST_F(LawBacktestWindow, RunsToTheTableAndTheYearlyChartForTheChosenPeriod) {
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("法則の検証"));
    EXPECT_FALSE(window_->ScopeChoice()->isEnabled()); // no screening list yet
    // Weekly, chosen with the keyboard.
    window_->PeriodChoice()->setFocus();
    QTest::keyClick(window_->PeriodChoice(), Qt::Key_Down);
    EXPECT_EQ(window_->PeriodChoice()->currentIndex(), 1);
    Run();
    EXPECT_EQ(window_->Backtest().Period(), PeriodKind::Weekly);
    QTableWidget* table = window_->Table();
    ASSERT_EQ(table->rowCount(), 11);
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("[法則１] 窓空け上昇"));
    EXPECT_EQ(table->item(10, 0)->text(), QStringLiteral("全法則"));
    EXPECT_EQ(table->item(10, 2)->text().toUInt(), window_->Backtest().Trades().size());
    EXPECT_GT(window_->Backtest().Trades().size(), 20u);
    EXPECT_GE(window_->Chart()->Years().size(), 3u);
    EXPECT_TRUE(window_->SaveButton()->isEnabled());

    // The chart draws in both schemes, each with its own background.
    QImage black = window_->Chart()->grab().toImage();
    window_->SetWhiteScheme(true);
    QImage white = window_->Chart()->grab().toImage();
    EXPECT_NE(black.pixel(2, 2), white.pixel(2, 2));
    EXPECT_NE(black, white);
}

TEST_F(LawBacktestWindow, ScreeningListRestrictsTheTest) {
    std::set<SecurityKey> listed;
    for (const auto& [key, security] : Sample().Securities()) {
        listed.insert(key);
        if (listed.size() == 5)
            break;
    }
    window_->SetScreeningList(listed);
    EXPECT_EQ(window_->ScopeChoice()->currentIndex(), 1);
    Run();
    for (const BacktestTrade& trade : window_->Backtest().Trades())
        EXPECT_EQ(listed.count(trade.key), 1u);
}

// A market large enough that a test is still running when the cancel click arrives.
const CMarketMatrix& LargeSample() {
    static const std::unique_ptr<CMarketMatrix> matrix = [] {
        auto m = std::make_unique<CMarketMatrix>();
        SampleMarketOptions options;
        options.securities = 1500;
        EXPECT_TRUE(BuildSampleMarket(*m, options));
        return m;
    }();
    return *matrix;
}

TEST(LawBacktestWindowCancel, CancelButtonStopsARunningTestAndKeepsNothing) {
    test::OffscreenApplication();
    CDialogLawBacktest window(LargeSample(), nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.RunButton(), Qt::LeftButton);
    ASSERT_TRUE(window.Running());
    EXPECT_TRUE(window.CancelButton()->isEnabled());
    EXPECT_FALSE(window.RunButton()->isEnabled());
    QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitForEnd(window));
    EXPECT_EQ(window.Status()->text(), QStringLiteral("中止しました"));
    EXPECT_TRUE(window.Backtest().Trades().empty());
    EXPECT_EQ(window.Table()->rowCount(), 0);
    EXPECT_FALSE(window.SaveButton()->isEnabled());
    EXPECT_TRUE(window.RunButton()->isEnabled());
}

TEST_F(LawBacktestWindow, RunsAgainAfterACancel) {
    QTest::mouseClick(window_->RunButton(), Qt::LeftButton);
    QTest::mouseClick(window_->CancelButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitForEnd(*window_));
    Run();
    EXPECT_EQ(window_->Table()->rowCount(), 11);
}

TEST_F(LawBacktestWindow, SavesAndCopiesTheCsv) {
    Run();
    const fs::path dir = fs::temp_directory_path() / ("vorn_backtest_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path chosen = dir / "laws"; // no extension: ".csv" is added
    window_->SetSavePathChooser([&] { return QString::fromStdString(chosen.string()); });
    QTest::mouseClick(window_->SaveButton(), Qt::LeftButton);
    const std::string csv = ReadWhole(dir / "laws.csv");
    EXPECT_EQ(csv, BacktestCsv(window_->Rows()));
    EXPECT_EQ(csv.substr(0, csv.find('\n')), kBacktestCsvHeader);

    // A directory in the way: nothing written, the failure shown.
    fs::create_directories(dir / "taken.csv");
    window_->SetSavePathChooser(
        [&] { return QString::fromStdString((dir / "taken.csv").string()); });
    QTest::mouseClick(window_->SaveButton(), Qt::LeftButton);
    EXPECT_TRUE(window_->Status()->text().startsWith(QStringLiteral("保存できませんでした")));

    QTest::mouseClick(window_->CopyButton(), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), csv);
    fs::remove_all(dir);
}

TEST_F(LawBacktestWindow, DoubleClickedLawListsItsTradesAndATradeOpensItsChart) {
    const SecurityRecord* opened = nullptr;
    PackedDate openedDay = 0;
    window_->SetOpenChart([&](const SecurityRecord* security, PackedDate day) {
        opened = security;
        openedDay = day;
    });
    Run();
    DoubleClickCell(*window_->Table(), 0, 0); // law 1, buy side
    CDialogBacktestTrades* trades = window_->TradesWindow();
    ASSERT_NE(trades, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(trades));
    const auto expected = window_->Backtest().TradesOf(1, BacktestSide::Buy);
    ASSERT_EQ(trades->Table()->rowCount(), static_cast<int>(expected.size()));
    ASSERT_GT(expected.size(), 2u);
    for (const BacktestTrade& trade : trades->Trades()) {
        EXPECT_EQ(trade.law, 1);
        EXPECT_TRUE(trade.IsBuy());
    }
    const int middle = trades->Table()->rowCount() / 2;
    trades->Table()->scrollToItem(trades->Table()->item(middle, 0));
    DoubleClickCell(*trades->Table(), middle, 0);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->Key(), expected[static_cast<std::size_t>(middle)].key);
    EXPECT_EQ(openedDay, expected[static_cast<std::size_t>(middle)].entryDate);

    // The chart position puts the entry day in the middle of the days shown.
    const std::uint16_t position = ChartPositionOf(Sample(), *opened, openedDay, 120);
    const CCalendar& calendar = Sample().DailyCalendar();
    const int first = calendar.PositionOf(opened->firstDate);
    EXPECT_EQ(calendar[static_cast<std::size_t>(first + position + 60)], openedDay);
}

} // namespace
} // namespace vorn
