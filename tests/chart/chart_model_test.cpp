#include "chart/chart_model.h"

#include <gtest/gtest.h>

#include "foundation/calendar_math.h"
#include "support/market_builder.h"
#include "support/recording_sink.h"

namespace vorn {
namespace {

using test::CMarketBuilder;
using test::Ohlcv;
using test::Weekdays;

constexpr std::uint16_t kCode = 1301;
constexpr std::uint8_t kMarket = 1;
const PackedDate kFirstDay = MakePackedDate(2007, 1, 4);

std::vector<Ohlcv> Rows(int count, std::uint32_t base = 1000, std::uint64_t volume = 10000) {
    std::vector<Ohlcv> rows;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t open = base + static_cast<std::uint32_t>((i * 37) % 200);
        const std::uint32_t close = base + static_cast<std::uint32_t>((i * 53) % 200);
        rows.push_back({open, std::max(open, close) + 15, std::min(open, close) - 15, close,
                        volume + static_cast<std::uint64_t>(i) * 100});
    }
    return rows;
}

// A market of `calendarDays` weekdays and one stock with `rows` ending `endGap` days before
// the calendar's end.
std::unique_ptr<CMarketMatrix> Market(int calendarDays, std::vector<Ohlcv> rows, int endGap = 0,
                                      std::uint8_t flags = 0, std::uint8_t exponent = 0) {
    const std::vector<PackedDate> days = Weekdays(kFirstDay, calendarDays);
    const int first = calendarDays - endGap - static_cast<int>(rows.size());
    CMarketBuilder builder;
    builder.Calendar(days).Security(kCode, kMarket, days[static_cast<std::size_t>(first)],
                                    std::move(rows), CMarketBuilder::kNarrowest,
                                    CMarketBuilder::kNarrowest, exponent);
    builder.Flags(kCode, kMarket, 1, flags);
    return builder.Build();
}

struct Chart {
    explicit Chart(std::unique_ptr<CMarketMatrix> m) : matrix(std::move(m)), model(*matrix) {
        model.SetViewSize(1000, 600);
        model.SetMessageSink(&sink);
        EXPECT_TRUE(model.LoadStock(matrix->FindSecurity(MakeSecurityKey(kCode, kMarket))));
    }
    std::unique_ptr<CMarketMatrix> matrix;
    CChartModel model;
    test::CRecordingSink sink;
};

const ChartPanes& Panes(const Chart& chart) {
    return chart.model.Coordinates().Panes();
}

TEST(ChartDisplayRange, ShortStockIsShownInAtLeast35Slots) {
    Chart chart(Market(60, Rows(20)));
    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 120, 0));
    const ChartLayout& layout = chart.model.Layout();
    EXPECT_EQ(chart.model.SlotCount(), 35);
    EXPECT_EQ(chart.model.MaximumPosition(), 0);
    ASSERT_EQ(layout.days.size(), 35u);
    EXPECT_FALSE(layout.days[14].Quoted());
    EXPECT_EQ(layout.days[15].seriesIndex, 0);
    EXPECT_EQ(layout.days[34].seriesIndex, 19);

    // The calendar runs out before 35 days: it starts at the calendar's first day.
    Chart shortCalendar(Market(25, Rows(10)));
    ASSERT_TRUE(shortCalendar.model.SetDisplay(PeriodKind::Daily, 120, 0));
    EXPECT_EQ(shortCalendar.model.SlotCount(), 25);
    EXPECT_EQ(shortCalendar.model.Layout().days[0].date, kFirstDay);
}

TEST(ChartDisplayRange, ForecastSpaceLeavesEmptySlotsAfterTheLastCandle) {
    Chart chart(Market(200, Rows(200)));
    chart.matrix->ProjectForecastDays(30);
    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 100, CChartModel::kLastPosition));
    EXPECT_EQ(chart.model.SlotCount(), 130);
    EXPECT_EQ(chart.model.MaximumPosition(), 100);
    EXPECT_EQ(chart.model.Position(), 100);
    const auto& days = chart.model.Layout().days;
    ASSERT_EQ(days.size(), 130u);
    EXPECT_EQ(days[99].seriesIndex, 199);
    const PackedDate lastTrading = Weekdays(kFirstDay, 200).back();
    for (std::size_t j = 100; j < 130; ++j) {
        EXPECT_FALSE(days[j].Quoted());
        EXPECT_GT(days[j].date, lastTrading);
        const unsigned weekday = WeekdayOfPackedDate(days[j].date);
        EXPECT_TRUE(weekday >= 1 && weekday <= 5);
    }

    chart.matrix->RemoveForecastDays();
    ASSERT_TRUE(chart.model.Relayout());
    EXPECT_EQ(chart.model.SlotCount(), 100);
    EXPECT_EQ(chart.model.Layout().days.back().seriesIndex, 199);
}

TEST(ChartDisplayRange, StockNotTradingOnTheNewestDayEndsAtItsLastDayPlusForecast) {
    Chart chart(Market(200, Rows(150), 50));
    chart.matrix->ProjectForecastDays(30);
    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 100, CChartModel::kLastPosition));
    EXPECT_EQ(chart.model.SlotCount(), 130);
    EXPECT_EQ(chart.model.MaximumPosition(), 50); // 180 days in range
    const auto& days = chart.model.Layout().days;
    ASSERT_EQ(days.size(), 130u);
    EXPECT_EQ(days[99].seriesIndex, 149);
    EXPECT_FALSE(days[129].Quoted());
    EXPECT_EQ(days[129].date, Weekdays(kFirstDay, 200)[179]);
}

TEST(ChartDisplayRange, RangeShorterThanSlotsDoesNotWrapThePosition) {
    Chart chart(Market(100, Rows(100)));
    chart.matrix->ProjectForecastDays(30);
    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 110, CChartModel::kLastPosition));
    EXPECT_EQ(chart.model.MaximumPosition(), 0);
    EXPECT_EQ(chart.model.Position(), 0);
    EXPECT_EQ(chart.model.Layout().days.size(), 130u);
}

TEST(ChartDisplayRange, NothingIsShownWithoutAStockOrRoom) {
    auto matrix = Market(60, Rows(60));
    CChartModel model(*matrix);
    test::CRecordingSink sink;
    model.SetMessageSink(&sink);
    model.SetViewSize(1000, 600);
    EXPECT_FALSE(model.SetDisplay(PeriodKind::Daily, 100, 0));
    EXPECT_FALSE(model.LoadStock(nullptr));
    EXPECT_FALSE(model.Layout().shown);
    EXPECT_EQ(model.HitTest(500, 300).hit, ChartHit::None);
    model.MouseMove(10, 20);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].message, kMsgCursorNone);

    ASSERT_TRUE(model.LoadStock(matrix->FindSecurity(MakeSecurityKey(kCode, kMarket))));
    EXPECT_FALSE(model.SetDisplay(static_cast<PeriodKind>(3), 100, 0));
    model.SetViewSize(60, 40);
    EXPECT_FALSE(model.SetDisplay(PeriodKind::Daily, 100, 0));
    model.SetViewSize(1000, 600);
    EXPECT_TRUE(model.SetDisplay(PeriodKind::Daily, 100, 0));
}

TEST(ChartZoom, VisibleDaysKeepTheRightEdge) {
    Chart chart(Market(300, Rows(300)));
    CChartModel& model = chart.model;
    ASSERT_TRUE(model.SetDisplay(PeriodKind::Daily, 100, CChartModel::kLastPosition));
    EXPECT_EQ(model.Position(), 200);
    ASSERT_TRUE(model.SetVisibleDays(80));
    EXPECT_EQ(model.Position(), 220);
    EXPECT_EQ(model.Layout().days.back().seriesIndex, 299);

    ASSERT_TRUE(model.SetDisplay(PeriodKind::Daily, 0, 50));
    EXPECT_EQ(model.VisibleDays(), 80); // 0 keeps the current number
    ASSERT_TRUE(model.SetVisibleDays(60));
    EXPECT_EQ(model.Position(), 70);
    ASSERT_TRUE(model.SetVisibleDays(200)); // wider than the old right edge
    EXPECT_EQ(model.Position(), 0);
}

TEST(ChartZoom, ZoomStopsAtThirtyDaysAndAtTheDayCount) {
    Chart chart(Market(300, Rows(300)));
    CChartModel& model = chart.model;
    ASSERT_TRUE(model.SetDisplay(PeriodKind::Daily, 280, CChartModel::kLastPosition));
    ASSERT_TRUE(model.ZoomOut(45));
    EXPECT_EQ(model.VisibleDays(), 300); // exactly the day count
    EXPECT_EQ(model.Position(), 0);
    EXPECT_FALSE(model.CanZoomOut());

    ASSERT_TRUE(model.SetDisplay(PeriodKind::Daily, 40, CChartModel::kLastPosition));
    ASSERT_TRUE(model.ZoomIn(45)); // a step past the visible days stops at the limit
    EXPECT_EQ(model.VisibleDays(), 30);
    EXPECT_FALSE(model.ZoomIn(1));

    ASSERT_TRUE(model.SetDisplay(PeriodKind::Daily, 35, 0));
    ASSERT_TRUE(model.ZoomIn(15));
    EXPECT_EQ(model.VisibleDays(), 20);
    EXPECT_FALSE(model.SetVisibleDays(0));
}

TEST(ChartScroll, CommandsMoveWithinTheLimits) {
    Chart chart(Market(300, Rows(300)));
    CChartModel& model = chart.model;
    ASSERT_TRUE(model.SetDisplay(PeriodKind::Daily, 100, 0));
    EXPECT_FALSE(model.Scroll(ChartScroll::PreviousDay));
    const std::pair<ChartScroll, int> steps[] = {
        {ChartScroll::Next, 99},         {ChartScroll::Next, 198},     {ChartScroll::Next, 200},
        {ChartScroll::PreviousDay, 199}, {ChartScroll::Previous, 100}, {ChartScroll::Previous, 1},
        {ChartScroll::Previous, 0},      {ChartScroll::Last, 200}};
    for (const auto& [scroll, position] : steps) {
        EXPECT_TRUE(model.Scroll(scroll));
        EXPECT_EQ(model.Position(), position);
    }
    EXPECT_FALSE(model.CanScroll(ChartScroll::NextDay));
    EXPECT_EQ(model.Layout().days.front().seriesIndex, 200);
}

class ChartMouse : public ::testing::Test {
protected:
    ChartMouse() : chart(Market(300, Rows(300))) {
        EXPECT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 100, 100));
        y = Panes(chart).pricePane.top + 2;
        x = chart.model.Coordinates().XOfDay(50);
    }
    Chart chart;
    int x = 0;
    int y = 0;
};

TEST_F(ChartMouse, SmallMovesDoNotDrag) {
    CChartModel& model = chart.model;
    const double dayWidth = model.Coordinates().DayWidth();
    ASSERT_NE(model.LeftButtonDown(x, y).hit, ChartHit::None);
    EXPECT_EQ(model.Drag(), DragState::Pressed);
    EXPECT_FALSE(model.MouseMove(x + static_cast<int>(dayWidth) + 4, y));
    EXPECT_EQ(model.Drag(), DragState::Pressed);
    EXPECT_FALSE(model.LeftButtonUp(x + static_cast<int>(dayWidth) + 4, y));
    EXPECT_EQ(model.Position(), 100);

    // Out and back to less than a day's width: the drag ends without scrolling.
    model.LeftButtonDown(x, y);
    EXPECT_TRUE(model.MouseMove(x + 40, y));
    EXPECT_EQ(model.Drag(), DragState::Dragging);
    model.MouseMove(x + static_cast<int>(dayWidth) - 1, y);
    EXPECT_FALSE(model.LeftButtonUp(x + static_cast<int>(dayWidth) - 1, y));
    EXPECT_EQ(model.Position(), 100);
    EXPECT_EQ(model.Drag(), DragState::None);
}

TEST_F(ChartMouse, DraggingScrollsByWholeDays) {
    CChartModel& model = chart.model;
    const double dayWidth = model.Coordinates().DayWidth();
    const int right = x + static_cast<int>(dayWidth * 3.5);
    model.LeftButtonDown(x, y);
    EXPECT_TRUE(model.MouseMove(right, y));
    EXPECT_EQ(model.DragShiftText(), "→   3日");
    EXPECT_TRUE(model.LeftButtonUp(right, y));
    EXPECT_EQ(model.Position(), 97);
    EXPECT_TRUE(model.DragShiftText().empty());

    model.LeftButtonDown(x, y);
    model.MouseMove(x - static_cast<int>(dayWidth * 2.5), y);
    EXPECT_EQ(model.DragShiftText(), "←   2日");
    EXPECT_TRUE(model.LeftButtonUp(x - static_cast<int>(dayWidth * 2.5), y));
    EXPECT_EQ(model.Position(), 99);

    // Far past the oldest day stops at position 0.
    model.LeftButtonDown(x, y);
    model.MouseMove(x + 2000, y);
    EXPECT_TRUE(model.LeftButtonUp(x + 2000, y));
    EXPECT_EQ(model.Position(), 0);

    // A press outside the plot arms nothing.
    EXPECT_EQ(model.LeftButtonDown(2, y).hit, ChartHit::None);
    EXPECT_EQ(model.Drag(), DragState::None);
}

TEST_F(ChartMouse, HitTestsFollowTheDrawnGeometry) {
    CChartModel& model = chart.model;
    const CChartCoordinates& c = model.Coordinates();
    const ChartPanes& panes = Panes(chart);
    const ChartDay& day = model.Layout().days[50];
    const int middle = (c.YOfPrice(day.high) + c.YOfPrice(day.low)) / 2;
    const ChartHitResult candle = model.LeftButtonDown(c.BodyLeft(50), middle);
    EXPECT_EQ(candle.hit, ChartHit::Candle);
    EXPECT_EQ(candle.day, 50);
    EXPECT_EQ(model.CandleTipDay(), 50);
    model.LeftButtonUp(c.BodyLeft(50), middle);
    EXPECT_EQ(model.HitTest(c.BodyRight(50) + 1, middle).hit, ChartHit::PricePane);
    EXPECT_EQ(model.HitTest(c.XOfDay(50), c.YOfPrice(day.high) - 1).hit, ChartHit::PricePane);

    ChartWindowRegion region;
    region.kind = 1;
    region.strips.push_back({c.SlotLeft(10), c.YOfPrice(1100), c.SlotLeft(20), c.YOfPrice(1050)});
    const ChartWindowRegion regions[] = {region};
    const int insideY = c.YOfPrice(1075);
    const int insideX = c.SlotLeft(10); // left of day 10's body
    const ChartHitResult window = model.LeftButtonDown(insideX, insideY, regions);
    EXPECT_EQ(window.hit, ChartHit::Window);
    EXPECT_EQ(window.window, 0);
    EXPECT_EQ(model.SelectedWindow(), 0);
    EXPECT_EQ(model.CandleTipDay(), -1);
    model.LeftButtonUp(insideX, insideY);

    EXPECT_EQ(model.HitTest(x, panes.volumePane.top + 1).hit, ChartHit::VolumePane);
    EXPECT_EQ(model.HitTest(panes.bandPanel.left + 3, panes.pricePane.top + 10).hit,
              ChartHit::PriceBand);
    EXPECT_EQ(model.HitTest(panes.bandPanel.right, panes.pricePane.top + 10).hit, ChartHit::None);
    EXPECT_EQ(model.HitTest(panes.plot.left - 1, y).hit, ChartHit::None);
    EXPECT_EQ(model.HitTest(x, panes.plot.top - 1).hit, ChartHit::None);
    EXPECT_EQ(model.HitTest(x, panes.plot.bottom + 1).hit, ChartHit::None);
    EXPECT_EQ(model.CursorAreaAt(panes.bandPanel.left, y), ChartCursorArea::PriceBand);
}

TEST_F(ChartMouse, CursorReportsNameTheDayAndValueUnderTheCursor) {
    CChartModel& model = chart.model;
    const CChartCoordinates& c = model.Coordinates();
    const ChartPanes& panes = Panes(chart);
    model.MouseMove(x, y);
    model.MouseMove(x, panes.volumePane.top + 5);
    model.MouseMove(3, 4);
    model.MouseMove(panes.bandPanel.left + 2, c.YOfPrice(model.Layout().price.high - 1));
    const auto messages = chart.sink.Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].message, kMsgCursorPrice);
    EXPECT_EQ(messages[0].wParam, model.Layout().days[50].date);
    EXPECT_EQ(static_cast<std::uint64_t>(messages[0].lParam), c.PriceAtY(y));
    EXPECT_EQ(messages[1].message, kMsgCursorVolume);
    EXPECT_EQ(static_cast<std::uint64_t>(messages[1].lParam),
              c.VolumeAtY(panes.volumePane.top + 5));
    EXPECT_EQ(messages[2].message, kMsgCursorNone);
    EXPECT_EQ(messages[2].wParam, 3u);
    EXPECT_EQ(messages[2].lParam, 4);
    ASSERT_EQ(model.Layout().bands.unit, kBandUnitThousands);
    EXPECT_EQ(messages[3].message, kMsgCursorBandThousands);
    EXPECT_EQ(static_cast<std::uint64_t>(messages[3].lParam), model.Layout().bands.upperBounds[79]);
    EXPECT_EQ(messages[3].wParam, model.Layout().bands.volumes[79]);
}

TEST(ChartCursorReports, UnitsPickTheMessage) {
    Chart chart(Market(120, Rows(120, 1000, 200000000), 0, kListingHundredths));
    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 100, 0));
    const ChartPanes& panes = Panes(chart);
    const int x = chart.model.Coordinates().XOfDay(3);
    chart.model.MouseMove(x, panes.pricePane.top + 3);
    chart.model.MouseMove(x, panes.volumePane.top + 3);
    chart.model.MouseMove(panes.bandPanel.left + 1, panes.pricePane.top + 3);
    const auto messages = chart.sink.Messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, kMsgCursorPriceHundredths);
    EXPECT_EQ(messages[1].message, kMsgCursorVolumeThousands);
    EXPECT_EQ(messages[2].message, kMsgCursorBandMillions);
}

TEST(ChartCursorReports, StatusBarTexts) {
    const PackedDate date = MakePackedDate(2007, 3, 5);
    CursorStatusText text = FormatCursorStatus(kMsgCursorPrice, date, 12345);
    EXPECT_EQ(text.first, "日付：2007/ 3/ 5");
    EXPECT_EQ(text.second, "株価：12,345");
    EXPECT_EQ(FormatCursorStatus(kMsgCursorPriceHundredths, date, 123456).second, "株価：1,234.56");
    EXPECT_EQ(FormatCursorStatus(kMsgCursorVolumeThousands, date, 1234).second, "出来高：1,234千");
    text = FormatCursorStatus(kMsgCursorBandMillions, 12, 1500);
    EXPECT_EQ(text.first, "出来高：12百万");
    EXPECT_EQ(text.second, "価格帯：1,500");
    EXPECT_TRUE(FormatCursorStatus(kMsgCursorNone, 3, 4).first.empty());
}

TEST(ChartScales, ComeFromTheShownDaysWithThePriceExponent) {
    std::vector<Ohlcv> rows(120, Ohlcv{150, 160, 140, 150, 5000});
    rows[110].high = 201; // x 10: 2,010 yen, above the 2,000 tick band
    Chart chart(Market(120, rows, 0, 0, 1));
    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 30, CChartModel::kLastPosition));
    const ChartLayout& layout = chart.model.Layout();
    EXPECT_EQ(layout.price.highest, 2010u);
    EXPECT_EQ(layout.price.tick, 50u);
    ASSERT_GE(layout.highestDay, 0);
    EXPECT_EQ(layout.days[static_cast<std::size_t>(layout.highestDay)].seriesIndex, 110);
    EXPECT_EQ(chart.model.Coordinates().PriceHigh(), 2010u);

    // Scrolled to the start, the high of day 110 is no longer on show.
    ASSERT_TRUE(chart.model.Scroll(ChartScroll::First));
    EXPECT_LT(chart.model.Layout().price.highest, 2010u);
}

TEST(ChartDateAxis, DailyMarksMonthStartsAndLabelsWhatFits) {
    Chart chart(Market(300, Rows(300)));
    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 300, 0));
    const ChartLayout& layout = chart.model.Layout();
    ASSERT_EQ(layout.dateMarks.size(), 14u); // January 2007 to February 2008
    const DateMark& january = layout.dateMarks[0];
    EXPECT_EQ(january.date, kFirstDay);
    EXPECT_EQ(january.pen, DateLinePen::Year);
    EXPECT_EQ(january.label, " 1/4 ");
    EXPECT_EQ(layout.dateMarks[1].pen, DateLinePen::Month);
    EXPECT_TRUE(layout.dateMarks[1].label.empty()); // February needs ten day widths
    EXPECT_EQ(layout.dateMarks[3].label, " 4/2 ");  // April needs 35
    EXPECT_EQ(layout.dateMarks[6].label, " 7/2 ");  // July needs 90
    EXPECT_EQ(layout.dateMarks[12].date, MakePackedDate(2008, 1, 1));
    ASSERT_EQ(layout.yearLabels.size(), 1u);
    EXPECT_EQ(layout.yearLabels[0].text, "'08");
    EXPECT_EQ(layout.yearLabels[0].x, layout.dateMarks[12].x);
    EXPECT_EQ(layout.periodCaption, "07/01/04 ～ 08/02/27 (300日間)");

    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 40, 0));
    for (const DateMark& mark : chart.model.Layout().dateMarks)
        EXPECT_FALSE(mark.label.empty()); // wide days leave room for every label
}

TEST(ChartDateAxis, WeeklyAndMonthlyMarkMonthsWithoutLabels) {
    Chart chart(Market(300, Rows(300)));
    chart.matrix->ProjectForecastDays(20); // only daily charts show forecast days
    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Weekly, 500, 0));
    const ChartLayout& weekly = chart.model.Layout();
    EXPECT_EQ(chart.model.SlotCount(), chart.model.Series().weekly.count);
    EXPECT_TRUE(weekly.days.back().Quoted());
    ASSERT_FALSE(weekly.dateMarks.empty());
    for (const DateMark& mark : weekly.dateMarks) {
        EXPECT_TRUE(mark.label.empty());
        EXPECT_EQ(mark.pen, DateMonth(mark.date) == 1 ? DateLinePen::Year : DateLinePen::Month);
        ASSERT_GT(mark.day, 0);
        EXPECT_NE(DateMonth(weekly.days[static_cast<std::size_t>(mark.day - 1)].date),
                  DateMonth(mark.date));
    }
    EXPECT_EQ(weekly.dateMarks.size(), 13u); // every month change after the first week

    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Monthly, 500, 0));
    const ChartLayout& monthly = chart.model.Layout();
    EXPECT_EQ(chart.model.SlotCount(), 14);  // January 2007 to February 2008, nothing older
    ASSERT_EQ(monthly.dateMarks.size(), 3u); // 2007/01, 2007/07, 2008/01
    EXPECT_EQ(monthly.dateMarks[1].pen, DateLinePen::Month);
    EXPECT_EQ(DateMonth(monthly.dateMarks[1].date), 7u);
}

TEST(ChartLayoutSettings, DamagedSharesAreLimited) {
    Chart chart(Market(120, Rows(120)));
    ChartLayoutSettings settings;
    settings.pricePaneShare = 0;
    settings.chartWidthShare = 250;
    chart.model.SetLayoutSettings(settings);
    EXPECT_EQ(chart.model.LayoutSettings().chartWidthShare, 100);
    ASSERT_TRUE(chart.model.SetDisplay(PeriodKind::Daily, 100, 0));
    EXPECT_FALSE(chart.model.Layout().bandPanelShown);
    EXPECT_TRUE(Panes(chart).bandPanel.Empty());
    EXPECT_GE(Panes(chart).pricePane.Height(), 0);
}

} // namespace
} // namespace vorn
