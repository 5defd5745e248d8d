#include "chart/ui/graph.h"
#include "chart/ui/quotes_text.h"
#include "foundation/text_encoding.h"
#include "gaps/analysed_market.h"
#include "matrix/name_tables.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "support/offscreen_application.h"
#include "support/recording_sink.h"

namespace vorn {
namespace {

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr std::uint16_t kLongCode = 1301;
constexpr std::uint16_t kShortCode = 1332;
constexpr std::uint16_t kEmptyCode = 1377;

// Sixty days of a wavy market without gaps.
std::vector<test::Ohlcv> LongRows() {
    std::vector<test::Ohlcv> rows;
    for (std::uint32_t i = 0; i < 60; ++i) {
        const std::uint32_t base = 1000 + (i % 7) * 10 + (i / 10) * 20;
        rows.push_back({base, base + 20, base - 15, i % 2 ? base + 10 : base - 5, 1000 + i * 10});
    }
    return rows;
}

class GraphTest : public ::testing::Test {
protected:
    GraphTest()
        : market(test::CMarketBuilder()
                     .Security(kLongCode, 1, kFirstDay, LongRows())
                     .Security(kShortCode, 1, kFirstDay, test::TwoWindowRows())
                     .Security(kEmptyCode, 1, kFirstDay, {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}})) {
        test::OffscreenApplication();
        graph.SetMarket(&market.Matrix(), &market.Windows(), &market.Performer());
        graph.SetMessageSink(&sink);
        graph.resize(800, 500);
        graph.show();
    }

    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, QPointF(at), graph.mapToGlobal(QPointF(at)),
                          type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(&graph, &event);
    }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(&graph, &event);
    }
    const CChartCoordinates& map() const { return graph.Model()->Coordinates(); }

    test::CAnalysedMarket market;
    test::CRecordingSink sink;
    CGraph graph;
};

TEST_F(GraphTest, ShowsASecurityInBothSchemesAndKeepsThePosition) {
    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kLongCode, 1), PeriodKind::Daily, 40));
    EXPECT_EQ(graph.Security(), MakeSecurityKey(kLongCode, 1));
    EXPECT_EQ(graph.Position(), graph.MaximumPosition());
    ASSERT_TRUE(graph.ExecuteCommand(kIdPreviousDay));
    const std::uint16_t position = graph.Position();
    QImage image = graph.RenderToImage(graph.size());
    EXPECT_EQ(image.size(), graph.size());
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::black));

    graph.SetColourScheme(true);
    image = graph.RenderToImage(graph.size());
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(graph.Position(), position);
    EXPECT_EQ(graph.Settings().tipOpacity, 0);

    // Another size for the clipboard leaves the window's own layout alone.
    const int dayX = graph.Model()->Layout().days[3].x;
    EXPECT_EQ(graph.RenderToImage(QSize(300, 200)).size(), QSize(300, 200));
    EXPECT_EQ(graph.Model()->Layout().days[3].x, dayX);
}

TEST_F(GraphTest, TinySizesAndSecuritiesWithoutDataPaintBlack) {
    EXPECT_EQ(graph.CurrentFrame().pixelColor(5, 5), QColor(Qt::black)); // nothing loaded yet
    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kLongCode, 1), PeriodKind::Daily));
    for (const QSize size : {QSize(0, 0), QSize(1, 1), QSize(3, 40), QSize(60, 2), QSize(90, 60)}) {
        graph.resize(size);
        const QImage frame = graph.CurrentFrame();
        EXPECT_FALSE(frame.isNull());
        Mouse(QEvent::MouseButtonPress, QPoint(1, 1));
        Mouse(QEvent::MouseMove, QPoint(2, 2));
        Mouse(QEvent::MouseButtonRelease, QPoint(2, 2));
        EXPECT_FALSE(graph.RenderToImage(QSize(2, 2)).isNull());
    }
    graph.resize(800, 500);
    EXPECT_TRUE(graph.Model()->Layout().shown);

    EXPECT_FALSE(graph.ShowSecurity(MakeSecurityKey(9999, 1), PeriodKind::Daily));
    EXPECT_EQ(graph.Security(), 0u);
    EXPECT_EQ(graph.CurrentFrame().pixelColor(400, 250), QColor(Qt::black));
    graph.ShowSecurity(MakeSecurityKey(kEmptyCode, 1), PeriodKind::Daily);
    EXPECT_FALSE(graph.CurrentFrame().isNull());
    EXPECT_FALSE(graph.ExecuteCommand(kIdChartFirst));
    Key(Qt::Key_End);
    Mouse(QEvent::MouseButtonPress, QPoint(400, 200));
    Mouse(QEvent::MouseButtonRelease, QPoint(400, 200));
}

TEST_F(GraphTest, PaintsTheCurrentFrameWithAndWithoutTips) {
    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kShortCode, 1), PeriodKind::Daily));
    const auto painted = [this] {
        return graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QImage plain = graph.CurrentFrame();
    EXPECT_EQ(painted(), plain);
    const ChartDay& day = graph.Model()->Layout().days[2];
    const QPoint onCandle(day.x, map().YOfPrice(day.high));
    Mouse(QEvent::MouseButtonPress, onCandle);
    Mouse(QEvent::MouseButtonRelease, onCandle);
    ASSERT_EQ(graph.Model()->CandleTipDay(), 2);
    EXPECT_NE(graph.CurrentFrame(), plain);
    EXPECT_EQ(painted(), graph.CurrentFrame());
}

TEST_F(GraphTest, ClickingOpensTipsThatCloseWhenTheMouseLeaves) {
    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kShortCode, 1), PeriodKind::Daily));
    const ChartDay& day = graph.Model()->Layout().days[2];
    const QPoint onCandle(day.x, map().YOfPrice(day.high));
    const QImage before = graph.CurrentFrame();
    Mouse(QEvent::MouseButtonPress, onCandle);
    Mouse(QEvent::MouseButtonRelease, onCandle);
    EXPECT_EQ(graph.Model()->CandleTipDay(), 2);
    EXPECT_NE(graph.CurrentFrame(), before);
    Mouse(QEvent::MouseMove, onCandle);
    EXPECT_EQ(graph.Model()->CandleTipDay(), 2);
    Mouse(QEvent::MouseMove, QPoint(1, 1));
    EXPECT_EQ(graph.Model()->CandleTipDay(), -1);
    EXPECT_EQ(graph.CurrentFrame(), before);

    // Between the candles of days 1 and 2 lies the upward window.
    const QPoint inWindow(map().BodyRight(1) + 2, map().YOfPrice(106));
    Mouse(QEvent::MouseButtonPress, inWindow);
    Mouse(QEvent::MouseButtonRelease, inWindow);
    ASSERT_EQ(graph.Model()->SelectedWindow(), 0);
    // The selected window is highlighted on the chart itself.
    EXPECT_EQ(graph.RenderToImage(graph.size()).pixelColor(inWindow),
              ToQColor(graph.Settings().Colour(kColourSelectedBelow)));
    Mouse(QEvent::MouseMove, QPoint(1, 1));
    EXPECT_EQ(graph.Model()->SelectedWindow(), -1);
}

TEST_F(GraphTest, DraggingAndKeysScroll) {
    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kLongCode, 1), PeriodKind::Daily, 40));
    const int maximum = graph.MaximumPosition();
    ASSERT_GT(maximum, 5);
    const int dayWidth = static_cast<int>(map().DayWidth());
    const QPoint start(map().Panes().pricePane.left + 10 * dayWidth, map().YOfPrice(1000));
    Mouse(QEvent::MouseButtonPress, start);
    const QPoint end = start + QPoint(3 * static_cast<int>(map().DayWidth() + 1), 0);
    QMouseEvent move(QEvent::MouseMove, QPointF(end), graph.mapToGlobal(QPointF(end)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&graph, &move);
    EXPECT_EQ(graph.Model()->Drag(), DragState::Dragging);
    EXPECT_NE(graph.CurrentFrame(), graph.RenderToImage(graph.size())); // the shift indicator
    Mouse(QEvent::MouseButtonRelease, end);
    EXPECT_EQ(graph.Position(), maximum - 3);

    Key(Qt::Key_End);
    EXPECT_EQ(graph.Position(), 0);
    Key(Qt::Key_Right);
    EXPECT_EQ(graph.Position(), 1);
    Key(Qt::Key_Home);
    EXPECT_EQ(graph.Position(), maximum);
    EXPECT_FALSE(graph.CanExecute(kIdChartLast));
    const auto hides = sink.Messages();
    EXPECT_TRUE(std::any_of(hides.begin(), hides.end(), [](const test::PostedMessage& m) {
        return m.message == kMsgHideSearchPopup;
    }));
}

TEST_F(GraphTest, CursorReportsGoToTheSink) {
    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kLongCode, 1), PeriodKind::Daily, 40));
    const ChartDay& day = graph.Model()->Layout().days[5];
    Mouse(QEvent::MouseMove, QPoint(day.x, map().YOfPrice(1000)));
    Mouse(QEvent::MouseMove, QPoint(1, 1));
    const auto messages = sink.Messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2].message, kMsgCursorPrice);
    EXPECT_EQ(messages[messages.size() - 2].wParam, day.date);
    EXPECT_EQ(messages.back().message, kMsgCursorNone);
}

TEST_F(GraphTest, ForecastSpaceReplacesItself) {
    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kLongCode, 1), PeriodKind::Daily, 40));
    const std::uint16_t days = market.Matrix().DailyCalendar().Count();
    const std::uint16_t slotCount = graph.Model()->SlotCount();
    ASSERT_TRUE(graph.ExecuteCommand(kIdTradeForecast20));
    ASSERT_TRUE(graph.ExecuteCommand(kIdTradeForecast20));
    EXPECT_EQ(graph.ForecastSpace(), 20);
    EXPECT_EQ(market.Matrix().DailyCalendar().Count(), days + 20);
    EXPECT_EQ(graph.Model()->SlotCount(), slotCount + 20);
    EXPECT_FALSE(graph.SetForecastSpace(15));
    ASSERT_TRUE(graph.ExecuteCommand(kIdTradeForecastClear));
    EXPECT_EQ(market.Matrix().DailyCalendar().Count(), days);
}

TEST_F(GraphTest, WheelAndSpaceStepThroughSecurities) {
    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kLongCode, 1), PeriodKind::Daily));
    const auto wheel = [this](int delta) {
        QWheelEvent event(QPointF(10, 10), graph.mapToGlobal(QPointF(10, 10)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&graph, &event);
    };
    wheel(-120); // towards the user: the next security
    EXPECT_EQ(graph.Security(), MakeSecurityKey(kShortCode, 1));
    Key(Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_EQ(graph.Security(), MakeSecurityKey(kLongCode, 1));
    wheel(120); // nothing before the first security
    EXPECT_EQ(graph.Security(), MakeSecurityKey(kLongCode, 1));

    std::vector<SecurityKey> requested;
    QObject::connect(&graph, &CGraph::SecurityStepRequested,
                     [&requested](SecurityKey key) { requested.push_back(key); });
    Key(Qt::Key_Space);
    EXPECT_EQ(requested, std::vector<SecurityKey>{MakeSecurityKey(kShortCode, 1)});
    EXPECT_EQ(graph.Security(), MakeSecurityKey(kLongCode, 1)); // the view decides
}

TEST_F(GraphTest, QuotesAsTextNewestFirstWithAdjustmentRatios) {
    test::CMarketBuilder builder;
    builder.Company(7203, 16, Utf8ToCp932("自動車"))
        .Security(7203, 1, kFirstDay, {{100, 110, 90, 105, 1000}, {106, 300, 105, 200, 70000}})
        .Adjustment(7203, 1, MakePackedDate(2007, 1, 5), 0.5)
        .Security(7204, 1, kFirstDay, {{12345, 12400, 12300, 12350, 7}}, -1, -1, 0, 3)
        .Flags(7204, 1, 1, kListingHundredths);
    const auto matrix = builder.Build();
    const std::string adjusted =
        QuotesAsText(*matrix, *matrix->FindSecurity(MakeSecurityKey(7203, 1)));
    EXPECT_EQ(adjusted, std::string("7203,自動車,") + MarketName(1) + "," + IndustryName(16) +
                            "\n"
                            "20070105,106,300,105,200,70000,0.500000\n"
                            "20070104,100,110,90,105,1000,\n");
    const std::string decimals =
        QuotesAsText(*matrix, *matrix->FindSecurity(MakeSecurityKey(7204, 1)));
    EXPECT_NE(decimals.find("\n20070104,123.45,124.00,123.00,123.50,7000,\n"), std::string::npos)
        << decimals;

    ASSERT_TRUE(graph.ShowSecurity(MakeSecurityKey(kShortCode, 1), PeriodKind::Daily));
    QGuiApplication::clipboard()->clear();
    Key(Qt::Key_C, Qt::ControlModifier);
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith(QStringLiteral("1332,"))) << copied.toStdString();
    EXPECT_EQ(copied.count(QLatin1Char('\n')), 11);
}

} // namespace
} // namespace vorn
