#include "chart/ui/chart_layers.h"
#include "chart/ui/chart_tips.h"
#include "chart/window_regions.h"
#include "gaps/analysed_market.h"

#include <gtest/gtest.h>

#include "support/offscreen_application.h"

namespace vorn {
namespace {

constexpr std::uint16_t kCode = 1301;
constexpr std::uint16_t kQuietCode = 1332;
constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr QSize kSize(640, 420);

// Day 1 has no trading (volume 0, all four prices at the previous close); day 2 opens and
// closes at one price.
std::vector<test::Ohlcv> QuietRows() {
    return {{100, 110, 95, 105, 1000}, {105, 105, 105, 105, 0}, {105, 108, 103, 105, 500}};
}

QColor Slot(const ChartSettings& settings, ChartColour slot) {
    return ToQColor(settings.Colour(slot));
}

// The analysed two-window market of the gap tests, drawn at kSize in one scheme.
class ChartDrawing : public ::testing::TestWithParam<bool> {
protected:
    ChartDrawing()
        : market(test::CMarketBuilder()
                     .Security(kCode, 1, kFirstDay, test::TwoWindowRows())
                     .Security(kQuietCode, 1, kFirstDay, QuietRows())),
          settings(ApplyColourScheme(GetParam())), resources(cache, settings),
          measure(resources.ScaleFont()), model(market.Matrix()) {
        EXPECT_NE(market.Analyse(kCode), nullptr);
        model.SetTextMeasure(&measure);
        model.SetLayoutSettings(settings.Layout());
        model.SetViewSize(kSize.width(), kSize.height());
        EXPECT_TRUE(model.LoadStock(market.Performer().Security()));
        EXPECT_TRUE(model.SetDisplay(PeriodKind::Daily, 120, CChartModel::kLastPosition));
        regions = BuildWindowRegions(market.Performer(), model.Layout(), map());
        marks = SignalMarksOnShow(market.Performer().Positions(),
                                  market.Performer().FirstPosition(), model.Layout());
    }

    ChartScene Scene() const {
        ChartScene scene;
        scene.model = &model;
        scene.settings = &settings;
        scene.windows = regions;
        scene.marks = marks;
        scene.stockCaption = StockCaption(*model.Stock());
        return scene;
    }
    const CChartCoordinates& map() const { return model.Coordinates(); }
    QColor At(const QImage& image, int x, int y) const { return image.pixelColor(x, y); }
    QColor Colour(ChartColour slot) const { return Slot(settings, slot); }
    const ChartDay& Day(int j) const { return model.Layout().days[static_cast<std::size_t>(j)]; }

    test::CAnalysedMarket market;
    CGraphicManager cache;
    ChartSettings settings;
    CChartResources resources;
    CFontTextMeasure measure;
    CChartModel model;
    std::vector<ChartWindowRegion> regions;
    std::vector<SignalMark> marks;
};

TEST_P(ChartDrawing, SchemeColoursLandWhereTheLayoutPutsThem) {
    const QImage chart = RenderChart(Scene(), resources, kSize);
    ASSERT_EQ(chart.size(), kSize);
    EXPECT_EQ(At(chart, 1, 1), Colour(kColourBackground));

    // Day 2 rises: its outline column is the rising outline, the inside the rising fill.
    const int y2 = (map().YOfPrice(Day(2).open) + map().YOfPrice(Day(2).close)) / 2;
    EXPECT_EQ(At(chart, map().BodyLeft(2), y2), Colour(kColourRisingOutline));
    EXPECT_EQ(At(chart, map().BodyLeft(2) + 2, y2), Colour(kColourRisingFill));
    // Day 4 falls.
    const int y4 = (map().YOfPrice(Day(4).open) + map().YOfPrice(Day(4).close)) / 2;
    EXPECT_EQ(At(chart, map().BodyRight(4), y4), Colour(kColourFallingOutline));
    EXPECT_EQ(At(chart, map().BodyLeft(4) + 2, y4), Colour(kColourFallingFill));

    // The upward window of day 1 shows between the candles of days 1 and 2.
    ASSERT_FALSE(regions.empty());
    EXPECT_EQ(regions[0].kind, kUpwardWindow);
    const int gapX = map().BodyRight(1) + 2;
    const int gapY = map().YOfPrice(106);
    ASSERT_TRUE(regions[0].Contains(gapX, gapY));
    EXPECT_EQ(At(chart, gapX, gapY), Colour(kColourWindowBelow));
    // The downward window of day 4 in its own colour.
    ASSERT_GE(regions.size(), 2u);
    EXPECT_TRUE(regions[1].Contains(map().BodyRight(4) + 2, map().YOfPrice(103)));
    EXPECT_EQ(At(chart, map().BodyRight(4) + 2, map().YOfPrice(103)), Colour(kColourWindowAbove));

    // Day 9 trades 1,500 shares: an edged volume bar.
    const int barY = map().Panes().volumePane.bottom - 3;
    EXPECT_EQ(At(chart, map().BodyLeft(9), barY), Colour(kColourVolumeEdge));
    EXPECT_EQ(At(chart, map().BodyLeft(9) + 2, barY), Colour(kColourVolumeFill));
    EXPECT_EQ(At(chart, map().BodyRight(9) + 2, barY), Colour(kColourBackground));
}

TEST_P(ChartDrawing, AReusedCanvasDrawsWhatAFreshRenderingDrawsWithoutNewImages) {
    ChartCanvas canvas;
    RenderChartInto(canvas, ChartScene{}, resources, kSize / 2);
    EXPECT_EQ(canvas.composed.size(), kSize / 2);
    EXPECT_EQ(At(canvas.composed, 0, 0), QColor(Qt::black));

    // A new size replaces the images; everything the smaller picture left is overwritten.
    RenderChartInto(canvas, Scene(), resources, kSize);
    EXPECT_EQ(canvas.composed, RenderChart(Scene(), resources, kSize));
    const uchar* composedBits = canvas.composed.constBits();
    const uchar* candleBits = canvas.candles.constBits();

    // The same size again: the same images, no trace of the earlier frame's selection.
    ChartScene selected = Scene();
    selected.selectedWindow = 0;
    RenderChartInto(canvas, selected, resources, kSize);
    RenderChartInto(canvas, Scene(), resources, kSize);
    EXPECT_EQ(canvas.composed.constBits(), composedBits);
    EXPECT_EQ(canvas.candles.constBits(), candleBits);
    EXPECT_EQ(canvas.composed, RenderChart(Scene(), resources, kSize));
}

TEST_P(ChartDrawing, WindowPolygonsCoverExactlyWhatTheHitTestFinds) {
    QImage layer(kSize, QImage::Format_RGB32);
    DrawWindowLayer(layer, Scene(), resources);
    int inside = 0;
    for (int y = 0; y < kSize.height(); ++y)
        for (int x = 0; x < kSize.width(); ++x) {
            const ChartWindowRegion* hit = nullptr;
            for (const ChartWindowRegion& region : regions)
                if (region.Contains(x, y))
                    hit = &region;
            const QColor expected = hit == nullptr               ? Colour(kColourBackground)
                                    : hit->kind == kUpwardWindow ? Colour(kColourWindowBelow)
                                                                 : Colour(kColourWindowAbove);
            ASSERT_EQ(At(layer, x, y), expected) << x << "," << y;
            inside += hit != nullptr;
        }
    EXPECT_GT(inside, 0);
}

TEST_P(ChartDrawing, AClickOnADrawnCandleHitsThatDay) {
    const QImage chart = RenderChart(Scene(), resources, kSize);
    for (int j = 0; j < 10; ++j) {
        const ChartDay& day = Day(j);
        const QColor outline =
            Colour(day.close >= day.open ? kColourRisingOutline : kColourFallingOutline);
        // The top of the wick is drawn at the high and belongs to the day.
        const int x = day.x;
        const int y = map().YOfPrice(day.high);
        EXPECT_EQ(At(chart, x, y), outline) << "day " << j;
        const ChartHitResult hit = model.HitTest(x, y, regions);
        EXPECT_EQ(hit.hit, ChartHit::Candle) << "day " << j;
        EXPECT_EQ(hit.day, j);
        // Just right of the body is no longer the candle.
        EXPECT_NE(model.HitTest(map().BodyRight(j) + 1, y, regions).hit, ChartHit::Candle);
    }
    const int gapX = map().BodyRight(1) + 2;
    EXPECT_EQ(model.HitTest(gapX, map().YOfPrice(106), regions).hit, ChartHit::Window);
}

TEST_P(ChartDrawing, DaysWithoutTradingLeaveAnEmptySlotAndFlatDaysALine) {
    ASSERT_TRUE(model.LoadStock(market.Matrix().FindSecurity(MakeSecurityKey(kQuietCode, 1))));
    ASSERT_TRUE(model.SetDisplay(PeriodKind::Daily, 120, CChartModel::kLastPosition));
    ChartScene scene = Scene();
    scene.windows = {};
    scene.marks = {};
    const QImage chart = RenderChart(scene, resources, kSize);
    const int y105 = map().YOfPrice(105);
    // Nothing of a candle in the slot of day 1, only the lines of the grid cross it.
    const ChartPanes& panes = map().Panes();
    for (int y = panes.pricePane.top + 1; y < panes.pricePane.bottom; ++y)
        for (int x = map().BodyLeft(1); x <= map().BodyRight(1); ++x) {
            const QColor pixel = At(chart, x, y);
            ASSERT_TRUE(pixel == Colour(kColourBackground) || pixel == Colour(kColourLineLight))
                << x << "," << y;
        }
    // Open equal to close: one row across the body.
    EXPECT_EQ(At(chart, map().BodyLeft(2) + 1, y105), Colour(kColourRisingOutline));
    EXPECT_EQ(At(chart, map().BodyLeft(2) + 1, y105 - 1), Colour(kColourBackground));
    EXPECT_EQ(At(chart, map().BodyLeft(2) + 1, y105 + 1), Colour(kColourBackground));
}

INSTANTIATE_TEST_SUITE_P(BothSchemes, ChartDrawing, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "White" : "Black"; });

TEST(ChartSchemes, SwitchingChangesOnlyColoursAndTipOpacity) {
    const ChartSettings white = ApplyColourScheme(true);
    const ChartSettings black = ApplyColourScheme(false);
    EXPECT_EQ(white.Colour(kColourBackground), Rgb(255, 255, 255));
    EXPECT_EQ(black.Colour(kColourBackground), Rgb(0, 0, 0));
    EXPECT_EQ(black.Colour(kColourWindowBelow), 0xB469FFu); // red in the low byte
    EXPECT_EQ(white.Colour(kColourCaptionText), Rgb(255, 0, 255));
    EXPECT_EQ(black.Colour(kColourBandBar), Rgb(255, 215, 0));
    EXPECT_EQ(white.tipOpacity, 0);
    EXPECT_EQ(black.tipOpacity, 21);
    EXPECT_EQ(white.Layout().pricePaneShare, black.Layout().pricePaneShare);
    EXPECT_EQ(white.Layout().chartWidthShare, 90);
    EXPECT_EQ(white.caption, black.caption);
}

TEST(TipBlending, OpacityPicksThePasses) {
    using Passes = std::vector<std::pair<int, bool>>;
    const auto passes = [](int opacity) {
        Passes out;
        for (const TipBlendPass& pass : TipBlendPasses(opacity))
            out.emplace_back(pass.alpha, pass.perPixel);
        return out;
    };
    EXPECT_EQ(passes(0), (Passes{{255, false}}));
    EXPECT_EQ(passes(21), (Passes{{147, false}, {255, true}}));
    EXPECT_EQ(passes(49), (Passes{{5, false}, {255, true}}));
    EXPECT_EQ(passes(50), (Passes{{255, false}}));
    // a x 5.1 is past 255 above 50: the alpha saturates rather than wrapping to 4.
    EXPECT_EQ(passes(51), (Passes{{255, false}}));
    EXPECT_EQ(passes(100), (Passes{{0, false}}));
    EXPECT_EQ(passes(250), (Passes{{0, false}}));
}

TEST(TipBlending, BodyBlendsAndInkStaysSharp) {
    test::OffscreenApplication();
    ChartTip tip;
    tip.body = QImage(20, 10, QImage::Format_RGB32);
    tip.body.fill(QColor(200, 100, 0));
    tip.ink = QImage(20, 10, QImage::Format_ARGB32_Premultiplied);
    tip.ink.fill(Qt::transparent);
    tip.ink.setPixelColor(0, 0, QColor(0, 255, 0));
    tip.body.setPixelColor(0, 0, QColor(0, 255, 0));
    tip.at = QPoint(5, 5);
    const auto blended = [&tip](int opacity) {
        QImage chart(40, 30, QImage::Format_RGB32);
        chart.fill(Qt::black);
        BlendTip(chart, tip, opacity);
        return chart;
    };
    EXPECT_EQ(blended(0).pixelColor(10, 10), QColor(200, 100, 0));
    EXPECT_EQ(blended(60).pixelColor(10, 10), QColor(200, 100, 0));
    EXPECT_EQ(blended(100).pixelColor(10, 10), QColor(Qt::black));
    const QImage half = blended(21);
    EXPECT_NEAR(half.pixelColor(10, 10).red(), 200 * 147 / 255, 3);
    EXPECT_NEAR(half.pixelColor(10, 10).green(), 100 * 147 / 255, 3);
    EXPECT_EQ(half.pixelColor(5, 5), QColor(0, 255, 0)); // ink is drawn at full strength
    EXPECT_EQ(half.pixelColor(4, 4), QColor(Qt::black));
}

TEST(PositionState, FollowsTheSignalsOfTheSeries) {
    const std::vector<PositionEntry> positions = {{3, kLaw1Buy, 1, 0}, {7, kLaw3Sell, 3, 0}};
    EXPECT_STREQ(PositionStateText(positions, 2), "なし");
    EXPECT_STREQ(PositionStateText(positions, 3), "新規買い");
    EXPECT_STREQ(PositionStateText(positions, 5), "買い継続");
    EXPECT_STREQ(PositionStateText(positions, 7), "売り転換");
    EXPECT_STREQ(PositionStateText(positions, 9), "売り継続");
    EXPECT_STREQ(PositionStateText({}, 9), "なし");
}

TEST(ChartTexts, DatesPricesAndCaption) {
    EXPECT_EQ(ShortDate(MakePackedDate(2007, 1, 4)), "07/01/04");
    EXPECT_EQ(ShortDate(0), "00/00/00");
    EXPECT_EQ(ShortDate(0xFFFF), "99/99/99");
    EXPECT_EQ(PriceText(1234567, false), "1,234,567");
    EXPECT_EQ(PriceText(123456, true), "1,234.56");
}

TEST(WindowOutline, SeparateRunsBecomeSeparatePolygons) {
    ChartWindowRegion region;
    region.strips = {{10, 5, 20, 8}, {20, 7, 30, 12}, {40, 1, 45, 1}};
    const std::vector<QPolygon> polygons = WindowPolygons(region);
    ASSERT_EQ(polygons.size(), 2u);
    EXPECT_EQ(polygons[0].boundingRect(), QRect(QPoint(10, 5), QPoint(30, 13)));
    EXPECT_EQ(polygons[1].boundingRect(), QRect(QPoint(40, 1), QPoint(45, 2)));
}

} // namespace
} // namespace vorn
