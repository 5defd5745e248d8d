#include "chart/ui/chart_tips.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <string>

#include "foundation/number_format.h"
#include "gaps/window_event_map.h"

namespace vorn {
namespace {

constexpr int kTipOffset = 10; // from the candle or the click point
constexpr int kTipPadding = 6;
constexpr int kStateGap = 6; // before the state line of the candle tip
constexpr int kMaximumOpacity = 100;

struct TipLine {
    QString label;
    QString value;
    ChartColour valueColour;
    int gapBefore = 0;
};

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Draws the lines on both images; `at` is chosen by the caller from the returned size.
ChartTip PaintTip(const std::vector<TipLine>& lines, const CChartResources& resources,
                  ChartColour frame, ChartColour background, ChartColour label) {
    const QFont& font = resources.TipFont();
    const QFontMetrics metrics(font);
    int labelWidth = 0;
    int valueWidth = 0;
    int height = 2 * kTipPadding;
    for (const TipLine& line : lines) {
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(line.label));
        valueWidth = std::max(valueWidth, metrics.horizontalAdvance(line.value));
        height += metrics.height() + line.gapBefore;
    }
    const QSize size(labelWidth + valueWidth + 2 * kTipPadding, height);
    ChartTip tip;
    tip.body = QImage(size, QImage::Format_RGB32);
    tip.body.fill(resources.Colour(background));
    tip.ink = QImage(size, QImage::Format_ARGB32_Premultiplied);
    tip.ink.fill(Qt::transparent);
    for (QImage* image : {&tip.body, &tip.ink}) {
        QPainter painter(image);
        painter.setFont(font);
        painter.setPen(resources.Pen(frame));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
        int top = kTipPadding;
        for (const TipLine& line : lines) {
            top += line.gapBefore;
            const int baseline = top + metrics.ascent();
            painter.setPen(resources.Pen(label));
            painter.drawText(kTipPadding, baseline, line.label);
            painter.setPen(resources.Pen(line.valueColour));
            painter.drawText(kTipPadding + labelWidth, baseline, line.value);
            top += metrics.height();
        }
    }
    return tip;
}

// Right of / below the anchor in the left / upper half of the price pane, else left / above.
QPoint PlaceTip(QSize size, QPoint anchor, const ChartPanes& panes) {
    const int midX = (panes.pricePane.left + panes.pricePane.right) / 2;
    const int midY = (panes.pricePane.top + panes.pricePane.bottom) / 2;
    const int x =
        anchor.x() < midX ? anchor.x() + kTipOffset : anchor.x() - kTipOffset - size.width();
    const int y =
        anchor.y() < midY ? anchor.y() + kTipOffset : anchor.y() - kTipOffset - size.height();
    return {x, y};
}

QString VolumeText(std::uint64_t volume) {
    char text[kGroupedIntegerCapacity];
    FormatGroupedInteger(text, volume);
    return QString::fromLatin1(text);
}

} // namespace

std::vector<TipBlendPass> TipBlendPasses(int opacity) {
    const int a = std::clamp(opacity, 0, kMaximumOpacity);
    if (a == 0)
        return {{255, false}};
    if (a < 50)
        return {{(50 - a) * 51 / 10, false}, {255, true}};
    if (a < kMaximumOpacity)
        // a x 5.1 passes 255 above 50; it saturates instead of wrapping round.
        return {{std::min(255, a * 51 / 10), false}};
    return {{0, false}};
}

void BlendTip(QImage& chart, const ChartTip& tip, int opacity) {
    if (tip.Empty())
        return;
    QPainter painter(&chart);
    for (const TipBlendPass& pass : TipBlendPasses(opacity)) {
        if (pass.alpha <= 0)
            continue;
        painter.setOpacity(pass.alpha / 255.0);
        painter.drawImage(tip.at, pass.perPixel ? tip.ink : tip.body);
    }
}

ChartTip RenderCandleTip(const ChartScene& scene, const CChartResources& resources, int day,
                         const char* stateText) {
    const CChartModel& model = *scene.model;
    const ChartLayout& layout = model.Layout();
    if (!layout.shown || day < 0 || static_cast<std::size_t>(day) >= layout.days.size())
        return {};
    const ChartDay& d = layout.days[static_cast<std::size_t>(day)];
    if (!d.Quoted())
        return {};
    const bool hundredths = model.Hundredths();
    const auto price = [hundredths](std::uint64_t value) {
        return Utf8(PriceText(value, hundredths));
    };
    const std::vector<TipLine> lines = {
        {QStringLiteral("日付："), Utf8(ShortDate(d.date)), kColourCandleTipDate},
        {QStringLiteral("始値："), price(d.open), kColourCandleTipPrice},
        {QStringLiteral("高値："), price(d.high), kColourCandleTipPrice},
        {QStringLiteral("安値："), price(d.low), kColourCandleTipPrice},
        {QStringLiteral("終値："), price(d.close), kColourCandleTipPrice},
        {QStringLiteral("出来高："), VolumeText(d.volume), kColourCandleTipVolume},
        {QStringLiteral("状態："), QString::fromUtf8(stateText != nullptr ? stateText : ""),
         kColourCandleTipVolume, kStateGap},
    };
    ChartTip tip = PaintTip(lines, resources, kColourCandleTipFrame, kColourCandleTipBack,
                            kColourCandleTipLabel);
    const CChartCoordinates& map = model.Coordinates();
    const int centre = (map.YOfPrice(d.high) + map.YOfPrice(d.low)) / 2;
    tip.at = PlaceTip(tip.body.size(), {d.x, centre}, map.Panes());
    return tip;
}

ChartTip RenderWindowTip(const ChartScene& scene, const CChartResources& resources,
                         std::span<const WindowStateRecord> records, int seriesFirstPosition,
                         const CCalendar& calendar, QPoint click) {
    const CChartModel& model = *scene.model;
    const ChartLayout& layout = model.Layout();
    if (!layout.shown || records.size() < 2 || seriesFirstPosition < 0)
        return {};
    const CChartCoordinates& map = model.Coordinates();
    const bool below = records[0].state == kUpwardWindow;
    std::uint64_t upper = below ? records[1].price : records[0].price;
    std::uint64_t lower = below ? records[0].price : records[1].price;
    const PackedDate date = map.DateAtX(click.x());
    const int viewDay = map.DayAtX(click.x());
    // The bounds in force on the clicked day.
    const int seriesDay = layout.firstShown + std::max(viewDay, 0) - seriesFirstPosition;
    for (std::size_t i = 2; i < records.size() && records[i].day <= seriesDay; ++i) {
        if (below && records[i].state == kUpWindowReduced)
            upper = records[i].price;
        else if (!below && records[i].state == kDownWindowReduced)
            lower = records[i].price;
    }
    const int openedAt = seriesFirstPosition + records[0].day;
    const PackedDate opened =
        openedAt < calendar.Count() ? calendar[static_cast<std::size_t>(openedAt)] : kNoDate;
    const bool hundredths = model.Hundredths();
    const std::vector<TipLine> lines = {
        {QStringLiteral("日付："), Utf8(ShortDate(date)), kColourWindowTipDate},
        {QStringLiteral("上限："), Utf8(PriceText(upper, hundredths)), kColourWindowTipPrice},
        {QStringLiteral("下限："), Utf8(PriceText(lower, hundredths)), kColourWindowTipPrice},
        {QStringLiteral("発生日："), Utf8(ShortDate(opened)), kColourWindowTipDate},
    };
    ChartTip tip = PaintTip(lines, resources, kColourWindowTipFrame, kColourWindowTipBack,
                            kColourWindowTipLabel);
    tip.at = PlaceTip(tip.body.size(), click, map.Panes());
    return tip;
}

void DrawCandleTipMarker(QImage& chart, const ChartScene& scene, const CChartResources& resources,
                         int day) {
    const CChartModel& model = *scene.model;
    const ChartLayout& layout = model.Layout();
    if (day < 0 || static_cast<std::size_t>(day) >= layout.days.size())
        return;
    const ChartDay& d = layout.days[static_cast<std::size_t>(day)];
    if (!d.Quoted() || d.high == 0)
        return;
    const CChartCoordinates& map = model.Coordinates();
    QPainter painter(&chart);
    painter.setPen(resources.Pen(kColourTipMarker));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(QPoint(map.BodyLeft(day) - 1, map.YOfPrice(d.high) - 1),
                           QPoint(map.BodyRight(day), map.YOfPrice(d.low))));
}

void DrawDragIndicator(QImage& chart, const ChartScene& scene, const CChartResources& resources) {
    const std::string text = scene.model->DragShiftText();
    if (text.empty())
        return;
    const ChartPanes& panes = scene.model->Coordinates().Panes();
    QPainter painter(&chart);
    painter.setFont(resources.TipFont());
    const QString shown = Utf8(text);
    const QFontMetrics metrics = painter.fontMetrics();
    const QSize size(metrics.horizontalAdvance(shown) + 2 * kTipPadding,
                     metrics.height() + kTipPadding);
    const QRect box(QPoint((panes.pricePane.left + panes.pricePane.right - size.width()) / 2,
                           panes.pricePane.top + kTipPadding),
                    size);
    painter.fillRect(box, resources.Brush(kColourDragBack));
    painter.setPen(resources.Pen(kColourDragFrame));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(resources.Pen(kColourDragText));
    painter.drawText(box, Qt::AlignCenter, shown);
}

} // namespace vorn
