#include "chart/chart_coordinates.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

CChartCoordinates MakeCoordinates(double dayWidth, int slots, std::uint8_t candleWidth = 9) {
    CChartCoordinates c;
    ChartPanes panes;
    panes.plot = {100, 10, 100 + static_cast<int>(dayWidth * slots), 300};
    panes.pricePane = {100, 10, panes.plot.right, 210};
    panes.volumePane = {100, 220, panes.plot.right, 300};
    c.SetPanes(panes);
    c.SetSlotCount(slots);
    std::vector<PackedDate> dates;
    for (int i = 0; i < slots - 2; ++i) // the last two slots have no date
        dates.push_back(static_cast<PackedDate>(MakePackedDate(2007, 3, 1) + i));
    c.SetDays(dayWidth, candleWidth, std::move(dates));
    c.SetPriceScale(1000, 2000);
    c.SetVolumeScale(0, 3000, kVolumeUnitShares);
    return c;
}

TEST(ChartCoordinatesAcross, DayCentresUseTruncatedSlotEdges) {
    const CChartCoordinates c = MakeCoordinates(10.7, 20);
    EXPECT_EQ(c.CandleHalfWidth(), 5);
    EXPECT_EQ(c.XOfDay(0), 105);
    EXPECT_EQ(c.XOfDay(3), 100 + 32 + 5); // 3 x 10.7 = 32.1
    EXPECT_EQ(c.BodyRight(3), 141);
}

TEST(ChartCoordinatesAcross, ColumnToDayInvertsDayToColumn) {
    for (double width : {10.7, 1.3, 3.0, 35.5}) {
        SCOPED_TRACE(width);
        const CChartCoordinates c = MakeCoordinates(width, 40);
        for (int day = 0; day < 40; ++day) {
            EXPECT_EQ(c.DayAtX(c.SlotLeft(day)), day);
            if (c.SlotLeft(day + 1) > c.SlotLeft(day)) {
                EXPECT_EQ(c.DayAtX(c.SlotLeft(day + 1) - 1), day);
            }
        }
        EXPECT_EQ(c.DayAtX(99), -1);
        EXPECT_EQ(c.DayAtX(c.SlotLeft(40)), -1);
    }
    // Every body of a wide slot maps back to its own day.
    const CChartCoordinates c = MakeCoordinates(10.7, 20);
    for (int day = 0; day < 20; ++day)
        for (int x = c.BodyLeft(day); x <= c.BodyRight(day); ++x)
            EXPECT_EQ(c.BodyAtX(x), day);
    EXPECT_EQ(c.BodyAtX(c.SlotLeft(4)), -1); // the gap before a body
}

TEST(ChartCoordinatesAcross, OverlappingBodiesPickTheRightmost) {
    const CChartCoordinates c = MakeCoordinates(2.0, 50, 3); // bodies of 3 in slots of 2
    EXPECT_EQ(c.BodyAtX(c.BodyLeft(10)), 10);
    EXPECT_EQ(c.BodyAtX(c.BodyRight(10)), 11);
    EXPECT_EQ(c.BodyAtX(c.BodyRight(49)), 49); // past the last slot, still on its body
    EXPECT_EQ(c.BodyAtX(c.BodyRight(49) + 1), -1);
}

TEST(ChartCoordinatesAcross, DatesMapBothWays) {
    const CChartCoordinates c = MakeCoordinates(10.7, 20);
    const PackedDate fifth = MakePackedDate(2007, 3, 5);
    ASSERT_TRUE(c.XOfDate(fifth).has_value());
    EXPECT_EQ(*c.XOfDate(fifth), c.XOfDay(4));
    EXPECT_EQ(c.DateAtX(c.XOfDay(4)), fifth);
    EXPECT_FALSE(c.XOfDate(MakePackedDate(2007, 2, 28)).has_value());
    EXPECT_EQ(c.DateAtX(c.XOfDay(19)), kNoDate); // a slot without a date
}

TEST(ChartCoordinatesUp, PriceRowsAreTruncatedFromThePaneBottom) {
    CChartCoordinates c = MakeCoordinates(10.7, 20);
    EXPECT_EQ(c.YOfPrice(1000), 210);
    EXPECT_EQ(c.YOfPrice(2000), 10);
    c.SetPriceScale(0, 3);
    EXPECT_EQ(c.YOfPrice(1), 143); // 210 - 66.67
    // Far off the scale stays a finite row.
    c.SetPriceScale(1000, 1000000);
    EXPECT_LT(c.YOfPrice(~0ull), 0);
}

TEST(ChartCoordinatesUp, RowToValueInvertsValueToRow) {
    const CChartCoordinates c = MakeCoordinates(10.7, 20);
    for (std::uint64_t value = 1000; value <= 2000; value += 37) {
        const std::uint64_t back = c.PriceAtY(c.YOfPrice(value));
        EXPECT_LE(back > value ? back - value : value - back, 5u) << value; // one row = 5 yen
    }
    EXPECT_EQ(c.PriceAtY(0), 2000u); // above the pane: the top of the scale
    EXPECT_EQ(c.PriceAtY(500), 1000u);
}

TEST(ChartCoordinatesUp, FlatScaleDrawsAcrossTheMiddle) {
    CChartCoordinates c = MakeCoordinates(10.7, 20);
    c.SetPriceScale(1500, 1500);
    EXPECT_EQ(c.YOfPrice(1500), 110);
    EXPECT_EQ(c.PriceAtY(40), 1500u);
}

TEST(ChartCoordinatesUp, VolumesAreScaledBackByTheUnit) {
    CChartCoordinates c = MakeCoordinates(10.7, 20);
    EXPECT_EQ(c.YOfVolume(0), 300);
    EXPECT_EQ(c.YOfVolume(3000), 220);
    c.SetVolumeScale(0, 3000, kVolumeUnitThousands);
    EXPECT_EQ(c.YOfVolume(3000000), 220);
    EXPECT_EQ(c.YOfVolume(1500000), 260);
    EXPECT_EQ(c.VolumeAtY(260), 1500u);
}

} // namespace
} // namespace vorn
