// The core headers come before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/analysed_market.h"
#include "gaps/trading_lists.h"
#include "matrix/name_tables.h"

#include "gaps/ui/dialog_law_performance.h"
#include "gaps/ui/dialog_monthly_tradings.h"
#include "gaps/ui/dialog_tradings.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

#include "foundation/text_encoding.h"
#include "support/offscreen_application.h"
#include "support/recording_sink.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;

namespace fs = std::filesystem;
using test::CAnalysedMarket;
using test::CMarketBuilder;
using test::CRecordingSink;

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr std::uint16_t kCode = 1301;

CMarketBuilder TwoWindowMarket() {
    return CMarketBuilder()
        .Company(kCode, 1, Utf8ToCp932("極洋"))
        .Security(kCode, 1, kFirstDay, test::TwoWindowRows());
}

void SendKey(QWidget& widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
}

// Closing by the window's close button or by Escape hides it and tells the owner once.
void ExpectClosingReports(CToolWindow& window, CRecordingSink& owner, std::uintptr_t identifier,
                          bool closesOnEscape) {
    window.show();
    SendKey(window, Qt::Key_Return);
    SendKey(window, Qt::Key_Escape);
    EXPECT_EQ(window.isVisible(), !closesOnEscape);
    window.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
    window.close(); // already hidden: no second report
    const auto messages = owner.Messages();
    ASSERT_EQ(messages.size(), closesOnEscape ? 2u : 1u);
    for (const auto& message : messages) {
        EXPECT_EQ(message.message, 1027u);
        EXPECT_EQ(message.wParam, identifier);
    }
}

class ToolWindowTest : public ::testing::Test {
protected:
    void SetUp() override { test::OffscreenApplication(); }
    CRecordingSink owner_;
};

TEST_F(ToolWindowTest, TradingListFillsFromTheAnalysisWithItsSummary) {
    CAnalysedMarket market(TwoWindowMarket());
    ASSERT_NE(market.Analyse(kCode), nullptr);
    CDialogTradings window(&owner_);
    window.Fill(market.Performer());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("トレーディング情報 [極洋]"));
    ASSERT_EQ(window.Grid().RowCount(), 2);
    EXPECT_EQ(window.Grid().List().Cell(0, 1).text, "窓空け下落も下方窓到達"); // newest first
    // The closed buy lost 16 from 112.
    EXPECT_EQ(window.SummaryField(0)->text(), QStringLiteral("1／0 "));
    EXPECT_EQ(window.SummaryField(1)->text(), QStringLiteral("-16 "));
    EXPECT_EQ(window.SummaryField(2)->text(), QStringLiteral("-14.29 "));
    EXPECT_EQ(window.SummaryField(1)->palette().color(QPalette::WindowText), ToQColor(kLossColour));
    EXPECT_EQ(window.Grid().ColumnLayouts().Columns().size(), 8u);

    // A header click sorts the list's rows: the oldest signal first.
    window.Grid().SetSort(0, true);
    EXPECT_EQ(window.Grid().List().Cell(0, 1).text, "窓空け上昇");
    window.resize(700, 200);
    window.show();
    EXPECT_FALSE(window.grab().isNull()); // every cell paints

    // A stock without positions empties the list and the summary.
    window.Fill(nullptr, {}, market.Calendar(), 0, 1);
    EXPECT_EQ(window.Grid().RowCount(), 0);
    EXPECT_EQ(window.SummaryField(0)->text() + window.SummaryField(1)->text() +
                  window.SummaryField(2)->text(),
              QStringLiteral("0／0 0 0.00 "));
}

TEST_F(ToolWindowTest, TradingListPostsItsIdentifierWhenClosed) {
    CDialogTradings window(&owner_);
    ExpectClosingReports(window, owner_, 1, true);
}

TEST_F(ToolWindowTest, MonthlyListFillsExportsAndStaysOpenOnKeys) {
    CAnalysedMarket market(TwoWindowMarket());
    ASSERT_NE(market.Analyse(kCode), nullptr);
    CDialogMonthlyTradings window(&owner_);
    window.Fill(market.Performer());
    CTradeList expected(TradeListKind::Monthly);
    expected.LoadFrom(market.Performer());
    ASSERT_EQ(window.Grid().RowCount(), static_cast<int>(expected.RowCount()));
    EXPECT_EQ(window.Grid().List().Rows(), expected.Rows());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("月別トレーディング情報 [極洋]"));
    EXPECT_EQ(window.SaveButton()->text(), QStringLiteral("保存..."));

    std::random_device random;
    const fs::path directory =
        fs::temp_directory_path() / ("vorn_monthly_" + std::to_string(random()));
    fs::create_directories(directory);
    ASSERT_TRUE(window.ExportTo(directory / "monthly.csv"));
    EXPECT_EQ(ReadWholeFile(directory / "monthly.csv"), MonthlyTradesCsv(expected.Rows()));
    EXPECT_FALSE(window.ExportTo(directory / "missing" / "monthly.csv"));
    fs::remove_all(directory);

    ExpectClosingReports(window, owner_, 2, false);
}

TEST_F(ToolWindowTest, LawPerformanceFollowsTheSelectedSecurity) {
    CAnalysedMarket market(TwoWindowMarket().Security(1332, 1, kFirstDay, test::TwoWindowRows()));
    AnalysisResults results;
    const SecurityKey key = MakeSecurityKey(kCode, 1);
    const ListingAnalysis* record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr);
    results.records[key] = *record;
    const SecurityRecord* analysed = market.Matrix().FindSecurity(key);
    const SecurityRecord* unanalysed = market.Matrix().FindSecurity(MakeSecurityKey(1332, 1));

    CDialogLawPerformance window(results, &owner_);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("法則別パフォーマンス"));
    ASSERT_TRUE(window.SetListing(analysed));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("法則別パフォーマンス [1301：") +
                                        QString::fromUtf8(MarketName(1)) + QStringLiteral("]"));
    const int drawings = window.Panel().ValueDrawings();
    EXPECT_FALSE(window.SetListing(analysed)); // the same security redraws nothing
    EXPECT_EQ(window.Panel().ValueDrawings(), drawings);

    ASSERT_TRUE(window.SetListing(unanalysed));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("法則別パフォーマンス"));
    for (const LawPerformanceRow& row : window.Panel().Model().Rows()) {
        EXPECT_EQ(row.wins.text, "0");
        EXPECT_EQ(row.wins.colour, kTextGrey);
    }

    ExpectClosingReports(window, owner_, 4, false);
}

// Records the keys and wheel turns that reach it.
class CKeyTarget final : public QWidget {
public:
    std::vector<int> keys;
    int wheels = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
    void wheelEvent(QWheelEvent*) override { ++wheels; }
};

TEST_F(ToolWindowTest, LawPerformancePassesKeysByTheMainWindowsMode) {
    AnalysisResults results;
    CDialogLawPerformance window(results, &owner_);
    CKeyTarget mainWindow, contents;
    int mode = 0;
    window.SetForwarding(
        &mainWindow, [&] { return mode; }, [&] { return &contents; });
    for (int key : {Qt::Key_Space, Qt::Key_Down, Qt::Key_A, Qt::Key_Return})
        SendKey(window, key);
    EXPECT_EQ(mainWindow.keys, (std::vector<int>{Qt::Key_Space, Qt::Key_Down}));
    mode = 1;
    for (int key : {Qt::Key_A, Qt::Key_Escape, Qt::Key_Left})
        SendKey(window, key);
    EXPECT_EQ(contents.keys, (std::vector<int>{Qt::Key_A, Qt::Key_Left}));

    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&window, &wheel);
    EXPECT_EQ(mainWindow.wheels, 1);
    EXPECT_TRUE(owner_.Messages().empty());
}

// --- The radar chart ---

LawStats Stats(std::uint16_t wins, std::uint16_t losses, double sumOfReturns) {
    LawStats stats;
    stats.wins = wins;
    stats.losses = losses;
    stats.sumOfReturns = sumOfReturns;
    return stats;
}

TEST_F(ToolWindowTest, RadarOctagonsMixWhereTheyOverlap) {
    CAnalysedMarket market(CMarketBuilder()
                               .Security(1301, 1, kFirstDay, {{100, 101, 99, 100, 10}})
                               .Security(1332, 1, kFirstDay, {{100, 101, 99, 100, 10}})
                               .Security(1333, 1, kFirstDay, {{100, 101, 99, 100, 10}}));
    const SecurityRecord* winners = market.Matrix().FindSecurity(MakeSecurityKey(1301, 1));
    const SecurityRecord* losers = market.Matrix().FindSecurity(MakeSecurityKey(1332, 1));
    const SecurityRecord* mixed = market.Matrix().FindSecurity(MakeSecurityKey(1333, 1));
    AnalysisResults results;
    // Every law won every trade: one with +10 % on average (past the 5 % edge), one losing
    // 10 % on average (at the centre); the third wins half its trades at +2.5 %.
    results.records[winners->Key()].lawStats.fill(Stats(10, 0, 1.0));
    results.records[losers->Key()].lawStats.fill(Stats(10, 0, -1.0));
    results.records[mixed->Key()].lawStats.fill(Stats(5, 5, 0.25));

    CLawPerformance panel(results);
    const QPoint centre = panel.RadarCentre();
    const int r = panel.RadarRadius();
    ASSERT_GT(r, 40);
    // On the horizontal through the centre no axis or grid line runs.
    const QPoint inner(centre.x() + r / 4, centre.y());     // inside both half octagons
    const QPoint outer(centre.x() + r * 3 / 4, centre.y()); // outside them
    const auto pixel = [&](QPoint at) { return panel.Image().pixelColor(at); };

    ASSERT_TRUE(panel.SetListing(winners));
    EXPECT_EQ(pixel(inner), QColor(0x88, 0x77, 0x00)); // dark red OR dark green
    EXPECT_EQ(pixel(outer), QColor(0x88, 0x77, 0x00));

    ASSERT_TRUE(panel.SetListing(losers));
    EXPECT_EQ(pixel(inner), QColor(0x88, 0x00, 0x00)); // win rates only
    EXPECT_EQ(pixel(outer), QColor(0x88, 0x00, 0x00));

    ASSERT_TRUE(panel.SetListing(mixed));
    EXPECT_EQ(pixel(inner), QColor(0x88, 0x77, 0x00));
    EXPECT_EQ(pixel(outer), QColor(0x00, 0x00, 0x00));

    ASSERT_TRUE(panel.SetListing(nullptr));
    EXPECT_EQ(pixel(inner), QColor(0x00, 0x00, 0x00));
}

} // namespace
} // namespace vorn
