#include "chart/ui/chart_layers.h"

#include <QFontMetrics>
#include <QString>
#include <algorithm>
#include <cstdio>

#include "foundation/number_format.h"
#include "foundation/text_encoding.h"
#include "matrix/name_tables.h"
#include "matrix/stock_code.h"

namespace vorn {
namespace {

constexpr int kTextGap = 3;   // between a label and what it labels
constexpr int kMarkGap = 2;   // between a candle's end and its mark
constexpr int kDateTick = 4;  // tick length in the date pane
constexpr int kEdgeInset = 3; // markers keep this far inside the plot
constexpr unsigned kMaxPriceExponent = 9;

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Grouped(std::uint64_t value) {
    char text[kGroupedIntegerCapacity];
    FormatGroupedInteger(text, value);
    return text;
}

// Left edge that keeps a text of `width` centred on `x` inside [left, right].
int CentredLeft(int x, int width, int left, int right) {
    int start = x - width / 2;
    if (start + width > right)
        start = right - width;
    return std::max(start, left);
}

std::uint64_t PowerOfTen(unsigned exponent) {
    std::uint64_t power = 1;
    for (unsigned i = 0; i < std::min(exponent, kMaxPriceExponent); ++i)
        power *= 10;
    return power;
}

template <class Price> std::uint64_t CloseAt(const SeriesView& view, int index) {
    return view.Candles<Price>()[index].close;
}

// The close of series element `index` in scale units; 0 outside the series.
std::uint64_t SeriesClose(const SeriesSet& series, PeriodKind kind, int index) {
    const SeriesView& view = series.View(kind);
    if (index < 0 || index >= view.count || !view.prices)
        return 0;
    if (!IsPriceType(series.priceEncoding))
        return 0;
    const std::uint64_t close =
        VisitPriceWidth(series.priceEncoding, [&]<class Price>(PriceWidth<Price>) {
            return std::uint64_t{CloseAt<Price>(view, index)};
        });
    return close * PowerOfTen(series.priceExponent);
}

// Days without trading leave their slot empty.
bool CandleDrawn(const CChartModel& model, const ChartDay& day) {
    if (!day.Quoted() || day.high == 0)
        return false;
    if (day.volume != 0)
        return true;
    if (day.seriesIndex == 0)
        return day.open != 0 && day.low != 0 && day.close != 0;
    const std::uint64_t previous =
        SeriesClose(model.Series(), model.Layout().seriesKind, day.seriesIndex - 1);
    return !(day.open == previous && day.high == previous && day.low == previous &&
             day.close == previous);
}

bool IsAdjustmentDate(const SeriesSet& series, PackedDate date) {
    if (series.adjustments == nullptr)
        return false;
    const auto& entries = series.adjustments->entries;
    return std::any_of(entries.begin(), entries.end(),
                       [date](const AdjustmentEntry& entry) { return entry.date == date; });
}

const SignalMark* MarkOn(std::span<const SignalMark> marks, int day) {
    for (const SignalMark& mark : marks)
        if (mark.day == day)
            return &mark;
    return nullptr;
}

} // namespace

std::vector<SignalMark> SignalMarksOnShow(std::span<const PositionEntry> positions,
                                          int seriesFirstPosition, const ChartLayout& layout) {
    std::vector<SignalMark> marks;
    if (!layout.shown || layout.seriesKind != PeriodKind::Daily || seriesFirstPosition < 0)
        return marks;
    const int shown = static_cast<int>(layout.days.size());
    for (const PositionEntry& entry : positions) {
        const int day = seriesFirstPosition + entry.day - layout.firstShown;
        if (day >= 0 && day < shown && entry.signal != 0)
            marks.push_back({day, IsBuySignal(entry.signal)});
    }
    return marks;
}

const char* PositionStateText(std::span<const PositionEntry> positions, int seriesDay) {
    const PositionEntry* last = nullptr;
    std::size_t count = 0;
    for (const PositionEntry& entry : positions) {
        if (entry.day > seriesDay)
            break;
        last = &entry;
        ++count;
    }
    if (last == nullptr)
        return "なし";
    const bool buy = IsBuySignal(last->signal);
    if (last->day != seriesDay)
        return buy ? "買い継続" : "売り継続";
    if (count == 1)
        return buy ? "新規買い" : "新規売り";
    return buy ? "買い転換" : "売り転換";
}

std::string StockCaption(const SecurityRecord& security, MarketNaming naming) {
    const CompanyRecord* company = security.company;
    const std::string name = company != nullptr && company->name && !company->name->empty()
                                 ? Cp932ToUtf8(*company->name)
                                 : std::string(kMissingName);
    const unsigned industry = company != nullptr ? company->industry : 0;
    const std::string code = FormatStockCode(security.Code());
    char text[512];
    if (industry == kIndustryPriceIndex)
        std::snprintf(text, sizeof text, "[%s] %s  <%s>", code.c_str(), name.c_str(),
                      IndustryName(industry));
    else
        std::snprintf(text, sizeof text, "[%s] %s ： %s  <%s>", code.c_str(), name.c_str(),
                      naming.Name(security.market), IndustryName(industry));
    return text;
}

std::string ShortDate(PackedDate date) {
    if (date == kNoDate)
        return "00/00/00";
    if (date == 0xFFFF)
        return "99/99/99";
    char text[16];
    std::snprintf(text, sizeof text, "%02u/%02u/%02u", DateYear(date) % 100, DateMonth(date),
                  DateDay(date));
    return text;
}

std::string PriceText(std::uint64_t value, bool hundredths) {
    if (!hundredths)
        return Grouped(value);
    char text[kGroupedRealCapacity];
    FormatGroupedReal(static_cast<double>(value) / 100.0, "%.02f", text);
    return text;
}

std::vector<QPolygon> WindowPolygons(const ChartWindowRegion& region) {
    std::vector<QPolygon> polygons;
    const auto& strips = region.strips;
    std::size_t run = 0;
    while (run < strips.size()) {
        std::size_t end = run + 1;
        while (end < strips.size() && strips[end].left == strips[end - 1].right)
            ++end;
        QPolygon polygon;
        // Along the tops from left to right, then back along the bottoms; a strip's bottom row
        // is inside, so its lower edge lies one row further down.
        for (std::size_t i = run; i < end; ++i) {
            polygon << QPoint(strips[i].left, strips[i].top)
                    << QPoint(strips[i].right, strips[i].top);
        }
        for (std::size_t i = end; i-- > run;) {
            polygon << QPoint(strips[i].right, strips[i].bottom + 1)
                    << QPoint(strips[i].left, strips[i].bottom + 1);
        }
        polygons.push_back(std::move(polygon));
        run = end;
    }
    return polygons;
}

void DrawWindowLayer(QImage& image, const ChartScene& scene, const CChartResources& resources) {
    image.fill(resources.Colour(kColourBackground));
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < scene.windows.size(); ++i) {
        const ChartWindowRegion& region = scene.windows[i];
        const bool below = region.kind == kUpwardWindow;
        const bool selected = static_cast<int>(i) == scene.selectedWindow;
        const ChartColour slot = selected ? (below ? kColourSelectedBelow : kColourSelectedAbove)
                                          : (below ? kColourWindowBelow : kColourWindowAbove);
        painter.setBrush(resources.Brush(slot));
        for (const QPolygon& polygon : WindowPolygons(region))
            painter.drawPolygon(polygon, Qt::WindingFill);
    }
}

void DrawCaptions(QPainter&, const ChartScene&, const CChartResources&) {
    // The caption lines are texts of the plan (PlanChartTexts).
}

void DrawGridAndScales(QPainter& painter, const ChartScene& scene,
                       const CChartResources& resources) {
    const CChartModel& model = *scene.model;
    const CChartCoordinates& map = model.Coordinates();
    const ChartLayout& layout = model.Layout();
    const ChartPanes& panes = map.Panes();
    const int right = panes.pricePane.right - 1;
    for (std::uint64_t value : layout.price.grid) {
        const int y = map.YOfPrice(value);
        painter.setPen(resources.Pen(kColourLineLight));
        painter.drawLine(panes.plot.left, y, right, y);
    }
    if (!panes.volumePane.Empty()) {
        const std::uint64_t unit = layout.volume.unit == kVolumeUnitThousands ? 1000 : 1;
        for (std::uint64_t value : layout.volume.grid) {
            const int y = map.YOfVolume(value * unit);
            painter.setPen(resources.Pen(kColourLineLight));
            painter.drawLine(panes.volumePane.left, y, right, y);
        }
    }
    painter.setPen(resources.Pen(kColourLineDark));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(QPoint(panes.pricePane.left, panes.pricePane.top),
                           QPoint(right, panes.pricePane.bottom)));
    if (!panes.volumePane.Empty())
        painter.drawRect(QRect(QPoint(panes.volumePane.left, panes.volumePane.top),
                               QPoint(right, panes.volumePane.bottom)));
}

void DrawDateMarks(QPainter& painter, const ChartScene& scene, const CChartResources& resources) {
    const CChartModel& model = *scene.model;
    const ChartLayout& layout = model.Layout();
    const ChartPanes& panes = model.Coordinates().Panes();
    const int lineBottom = panes.plot.bottom;
    for (const DateMark& mark : layout.dateMarks) {
        painter.setPen(
            resources.Pen(mark.pen == DateLinePen::Year ? kColourGrid : kColourLineLight));
        painter.drawLine(mark.x, panes.plot.top, mark.x, lineBottom);
        if (panes.datePane.Empty())
            continue;
        painter.drawLine(mark.x, panes.datePane.top, mark.x, panes.datePane.top + kDateTick);
    }
}

void DrawCandlesAndVolumes(QPainter& painter, const ChartScene& scene,
                           const CChartResources& resources) {
    const CChartModel& model = *scene.model;
    const CChartCoordinates& map = model.Coordinates();
    const ChartLayout& layout = model.Layout();
    const ChartPanes& panes = map.Panes();
    const int width = map.CandleWidth();
    painter.setClipRect(QRect(QPoint(panes.plot.left, panes.plot.top),
                              QPoint(panes.plot.right - 1, panes.plot.bottom)));
    for (std::size_t j = 0; j < layout.days.size(); ++j) {
        const ChartDay& day = layout.days[j];
        if (!CandleDrawn(model, day))
            continue;
        const int d = static_cast<int>(j);
        const int x = day.x;
        const int left = map.BodyLeft(d);
        const int right = map.BodyRight(d);
        const int yHigh = map.YOfPrice(day.high);
        const int yLow = map.YOfPrice(day.low);
        const bool rising = day.close >= day.open;
        const QPen& outline = resources.Pen(rising ? kColourRisingOutline : kColourFallingOutline);

        if (IsAdjustmentDate(model.Series(), day.date)) {
            painter.setPen(resources.Pen(kColourMarkerDate));
            if (yHigh - kMarkGap >= panes.plot.top)
                painter.drawLine(x, panes.plot.top, x, yHigh - kMarkGap);
            painter.drawLine(x, yLow + kMarkGap, x, panes.plot.bottom);
        }

        painter.setPen(outline);
        painter.drawLine(x, yHigh, x, yLow);
        const int yOpen = map.YOfPrice(day.open);
        const int yClose = map.YOfPrice(day.close);
        if (yOpen == yClose) {
            painter.drawLine(left, yOpen, right, yOpen);
        } else {
            painter.setBrush(resources.Brush(rising ? kColourRisingFill : kColourFallingFill));
            // A stroked rectangle covers its size plus the pen width.
            painter.drawRect(
                QRect(left, std::min(yOpen, yClose), width - 1, std::abs(yClose - yOpen)));
        }

        if (panes.volumePane.Empty())
            continue;
        const int barBottom = panes.volumePane.bottom - 1;
        const int y = std::max(map.YOfVolume(day.volume), panes.volumePane.top);
        if (y < barBottom) {
            painter.fillRect(QRect(QPoint(left, y), QPoint(right, barBottom)),
                             resources.Brush(kColourVolumeEdge));
            if (barBottom > y && width > 2)
                painter.fillRect(QRect(QPoint(left + 1, y + 1), QPoint(right - 1, barBottom)),
                                 resources.Brush(kColourVolumeFill));
        }
    }
    painter.setClipping(false);
}

void DrawMarksAndMarkers(QPainter&, const ChartScene&, const CChartResources&) {
    // The marks and markers are texts of the plan (PlanChartTexts).
}

void DrawPriceBands(QPainter& painter, const ChartScene& scene, const CChartResources& resources) {
    const CChartModel& model = *scene.model;
    const ChartLayout& layout = model.Layout();
    const CChartCoordinates& map = model.Coordinates();
    const ChartRect& panel = map.Panes().bandPanel;
    if (!layout.bandPanelShown || panel.Empty())
        return;
    const PriceBandPanel& bands = layout.bands;
    const int length = panel.Width() - 2;
    const std::uint64_t span =
        bands.scaleHigh > bands.scaleLow ? bands.scaleHigh - bands.scaleLow : 0;
    if (length > 0 && span > 0) {
        std::uint64_t lower = layout.price.low;
        for (std::size_t i = 0; i < kPriceBandCount; ++i) {
            const std::uint64_t upper = bands.upperBounds[i];
            const std::uint64_t volume = bands.volumes[i];
            const int top = map.YOfPrice(upper);
            const int bottom = std::max(map.YOfPrice(lower) - 1, top);
            lower = upper;
            if (volume <= bands.scaleLow)
                continue;
            const double share = std::min(1.0, static_cast<double>(volume - bands.scaleLow) /
                                                   static_cast<double>(span));
            const int bar = std::max(1, static_cast<int>(share * length));
            painter.fillRect(QRect(QPoint(panel.left + 1, top), QPoint(panel.left + bar, bottom)),
                             resources.Brush(kColourBandBar));
        }
    }
}

namespace {

// Places texts one after another: a text goes to the first of its places that lies within
// its bounds and overlaps no text placed before it.
class CTextPlacer {
public:
    explicit CTextPlacer(const CChartResources& resources) : resources_(resources) {}

    const QFont& Font(ChartTextFont font) const {
        switch (font) {
        case ChartTextFont::Caption:
            return resources_.CaptionFont();
        case ChartTextFont::Mark:
            return resources_.MarkFont();
        case ChartTextFont::Marker:
            return resources_.MarkerFont();
        default:
            return resources_.ScaleFont();
        }
    }
    QFontMetrics Metrics(ChartTextFont font) const { return QFontMetrics(Font(font)); }

    // `places` are top-left corners, the preferred one first.
    bool Place(ChartText text, std::initializer_list<QPoint> places, const QRect& bounds) {
        const QFontMetrics metrics = Metrics(text.font);
        const QSize size(metrics.horizontalAdvance(text.text + text.tail), metrics.height());
        for (const QPoint& place : places) {
            const QRect rect(place, size);
            if (!bounds.contains(rect) || Overlaps(rect))
                continue;
            text.rect = rect;
            texts_.push_back(std::move(text));
            return true;
        }
        return false;
    }
    std::vector<ChartText> Take() { return std::move(texts_); }

private:
    bool Overlaps(const QRect& rect) const {
        return std::any_of(texts_.begin(), texts_.end(),
                           [&rect](const ChartText& text) { return text.rect.intersects(rect); });
    }

    const CChartResources& resources_;
    std::vector<ChartText> texts_;
};

// Half-open horizontally, inclusive vertically, as ChartRect.
QRect ToQRect(const ChartRect& rect) {
    return QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom));
}

} // namespace

std::vector<ChartText> PlanChartTexts(const ChartScene& scene, const CChartResources& resources) {
    CTextPlacer placer(resources);
    if (scene.model == nullptr || scene.settings == nullptr || !scene.model->Layout().shown)
        return placer.Take();
    const CChartModel& model = *scene.model;
    const ChartSettings& settings = *scene.settings;
    const ChartLayout& layout = model.Layout();
    const CChartCoordinates& map = model.Coordinates();
    const ChartPanes& panes = map.Panes();
    const QRect chart = ToQRect(panes.window);
    const QRect pricePane = ToQRect(panes.pricePane);

    // 1. The caption line, cut to the chart's width.
    {
        const QFontMetrics metrics = placer.Metrics(ChartTextFont::Caption);
        const QString caption =
            Utf8(scene.stockCaption) + QStringLiteral("  ") + Utf8(layout.periodCaption);
        const int room = chart.width() - 2 * settings.horizontalMargin;
        ChartText text{
            {}, metrics.elidedText(caption, Qt::ElideRight, std::max(0, room)), kColourCaptionText};
        text.font = ChartTextFont::Caption;
        placer.Place(text, {QPoint(settings.horizontalMargin, settings.verticalMargin)}, chart);
        if (!settings.caption.empty()) {
            ChartText bottom{{},
                             metrics.elidedText(Utf8(Cp932ToUtf8(settings.caption)), Qt::ElideRight,
                                                std::max(0, room)),
                             kColourCaptionText};
            bottom.font = ChartTextFont::Caption;
            const int top = panes.window.bottom - settings.verticalMargin - metrics.height();
            placer.Place(bottom,
                         {QPoint(panes.window.right - settings.horizontalMargin -
                                     metrics.horizontalAdvance(bottom.text),
                                 top)},
                         chart);
        }
    }

    // 2. Price labels, right-aligned before the plot, centred on their grid line.
    const QFontMetrics scale = placer.Metrics(ChartTextFont::Scale);
    const int half = scale.ascent() / 2;
    const auto scaleLabel = [&](const QString& label, int y, ChartColour colour) {
        ChartText text{{}, label, colour};
        placer.Place(text,
                     {QPoint(panes.plot.left - kTextGap - scale.horizontalAdvance(label),
                             y + half - scale.ascent())},
                     chart);
    };
    for (std::uint64_t value : layout.price.grid)
        scaleLabel(Utf8(PriceText(value, model.Hundredths())), map.YOfPrice(value),
                   kColourPriceText);

    // 3. The volume unit above the volume pane (else at its bottom), then the volume labels.
    if (!panes.volumePane.Empty()) {
        if (layout.volume.unit == kVolumeUnitThousands) {
            const QString unit = QStringLiteral("千株");
            const int left = panes.plot.left - kTextGap - scale.horizontalAdvance(unit);
            ChartText text{{}, unit, kColourVolumeText};
            placer.Place(text,
                         {QPoint(left, panes.volumePane.top - kTextGap - scale.ascent()),
                          QPoint(left, panes.volumePane.bottom - scale.height())},
                         chart);
        }
        const std::uint64_t unit = layout.volume.unit == kVolumeUnitThousands ? 1000 : 1;
        for (std::uint64_t value : layout.volume.grid)
            scaleLabel(Utf8(Grouped(value)), map.YOfVolume(value * unit), kColourVolumeText);
    }

    // 4. "H:" above the highest high and "L:" below the lowest low, kept in the price pane.
    const int shown = static_cast<int>(layout.days.size());
    const int markHeight = placer.Metrics(ChartTextFont::Mark).height();
    const QFontMetrics markerMetrics = placer.Metrics(ChartTextFont::Marker);
    const auto marker = [&](int dayIndex, bool highest) {
        if (dayIndex < 0 || dayIndex >= shown)
            return;
        const ChartDay& day = layout.days[static_cast<std::size_t>(dayIndex)];
        ChartText text{{}, Utf8(ShortDate(day.date)), kColourMarkerDate};
        text.tail = (highest ? QStringLiteral(" H:") : QStringLiteral(" L:")) +
                    Utf8(PriceText(highest ? day.high : day.low, model.Hundredths()));
        text.tailColour = kColourMarkerPrice;
        text.font = ChartTextFont::Marker;
        text.opaque = true;
        const int width = markerMetrics.horizontalAdvance(text.text + text.tail);
        const int height = markerMetrics.height();
        const int left = CentredLeft(day.x, width, panes.plot.left + kEdgeInset,
                                     panes.pricePane.right - kEdgeInset);
        const SignalMark* mark = MarkOn(scene.marks, dayIndex);
        // Clear of the day's own "B" or "S".
        const int markRoom = mark != nullptr && mark->buy != highest ? markHeight : 0;
        const int top = highest ? map.YOfPrice(day.high) - kMarkGap - markRoom - height
                                : map.YOfPrice(day.low) + kMarkGap + markRoom;
        const int inside = highest ? std::max(top, pricePane.top() + 1)
                                   : std::min(top, pricePane.bottom() - height);
        placer.Place(text, {QPoint(left, top), QPoint(left, inside)}, pricePane);
    };
    marker(layout.highestDay, true);
    marker(layout.lowestDay, false);

    // 5. "B" below the low and "S" above the high of signal days.
    const QFontMetrics markMetrics = placer.Metrics(ChartTextFont::Mark);
    for (const SignalMark& mark : scene.marks) {
        if (mark.day < 0 || mark.day >= shown)
            continue;
        const ChartDay& day = layout.days[static_cast<std::size_t>(mark.day)];
        if (!day.Quoted() || day.high == 0)
            continue;
        ChartText text{{},
                       mark.buy ? QStringLiteral("B") : QStringLiteral("S"),
                       mark.buy ? kColourBuyMark : kColourSellMark};
        text.font = ChartTextFont::Mark;
        text.opaque = true;
        const int left = day.x - markMetrics.horizontalAdvance(text.text) / 2;
        const int top = mark.buy ? map.YOfPrice(day.low) + kMarkGap
                                 : map.YOfPrice(day.high) - kMarkGap - markHeight;
        const int inside = mark.buy ? std::min(top, pricePane.bottom() - markHeight)
                                    : std::max(top, pricePane.top() + 1);
        placer.Place(text, {QPoint(left, top), QPoint(left, inside)}, pricePane);
    }

    // 6. Year labels above and below the plot, 7. month/day labels in the date pane.
    for (const YearLabel& year : layout.yearLabels) {
        const QString label = Utf8(year.text);
        const int left = year.x - scale.horizontalAdvance(label) / 2;
        ChartText text{{}, label, kColourYearText};
        // Above the plot, or just inside its top edge when the caption line is in the way.
        placer.Place(text,
                     {QPoint(left, panes.plot.top - kMarkGap - scale.ascent()),
                      QPoint(left, panes.plot.top + 1)},
                     chart);
        placer.Place(text, {QPoint(left, panes.plot.bottom + kDateTick + 1 + scale.height())},
                     chart);
    }
    if (!panes.datePane.Empty())
        for (const DateMark& mark : layout.dateMarks) {
            if (mark.label.empty())
                continue;
            const QString label = Utf8(mark.label);
            ChartText text{{}, label, kColourDateText};
            placer.Place(text,
                         {QPoint(mark.x - scale.horizontalAdvance(label) / 2,
                                 panes.datePane.top + kDateTick + 1)},
                         chart);
        }

    // 8. The band panel's scale below the panel.
    const ChartRect& panel = panes.bandPanel;
    if (layout.bandPanelShown && !panel.Empty()) {
        const PriceBandPanel& bands = layout.bands;
        const char* unit = bands.DisplayUnit() == kBandUnitMillions    ? "百万株"
                           : bands.DisplayUnit() == kBandUnitThousands ? "千株"
                                                                       : "株";
        std::uint64_t high = bands.scaleHigh;
        if (bands.DisplayUnit() == kBandUnitMillions)
            high /= 1000;
        ChartText text{{}, Utf8(Grouped(high)) + QString::fromUtf8(unit), kColourBandText};
        placer.Place(text, {QPoint(panel.left + 1, panel.bottom + kTextGap)}, chart);
    }
    return placer.Take();
}

void DrawChartTexts(QPainter& painter, std::span<const ChartText> texts,
                    const CChartResources& resources) {
    CTextPlacer fonts(resources);
    painter.setBackground(resources.Brush(kColourBackground));
    for (const ChartText& text : texts) {
        painter.setFont(fonts.Font(text.font));
        painter.setBackgroundMode(text.opaque ? Qt::OpaqueMode : Qt::TransparentMode);
        const QFontMetrics metrics = painter.fontMetrics();
        const int baseline = text.rect.top() + metrics.ascent();
        painter.setPen(resources.Pen(text.colour));
        painter.drawText(QPoint(text.rect.left(), baseline), text.text);
        if (!text.tail.isEmpty()) {
            painter.setPen(resources.Pen(text.tailColour));
            painter.drawText(
                QPoint(text.rect.left() + metrics.horizontalAdvance(text.text), baseline),
                text.tail);
        }
    }
    painter.setBackgroundMode(Qt::TransparentMode);
}

namespace {

// The candle layer with the texts of `texts`.
void DrawCandleLayerWith(QImage& image, const ChartScene& scene, const CChartResources& resources,
                         std::span<const ChartText> texts) {
    image.fill(resources.Colour(kColourBackground));
    QPainter painter(&image);
    DrawCaptions(painter, scene, resources);
    DrawGridAndScales(painter, scene, resources);
    DrawDateMarks(painter, scene, resources);
    DrawCandlesAndVolumes(painter, scene, resources);
    DrawMarksAndMarkers(painter, scene, resources);
    DrawPriceBands(painter, scene, resources);
    DrawChartTexts(painter, texts, resources);
}

} // namespace

void DrawCandleLayer(QImage& image, const ChartScene& scene, const CChartResources& resources) {
    DrawCandleLayerWith(image, scene, resources, PlanChartTexts(scene, resources));
}

void ComposeLayers(QImage& base, const QImage& top, QRgb key) {
    if (base.size() != top.size() || base.format() != QImage::Format_RGB32 ||
        top.format() != QImage::Format_RGB32)
        return;
    const QRgb keyColour = key & 0x00FFFFFF;
    const int width = base.width();
    const int height = base.height();
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(base.scanLine(y));
        const auto* in = reinterpret_cast<const QRgb*>(top.constScanLine(y));
        for (int x = 0; x < width; ++x)
            if ((in[x] & 0x00FFFFFF) != keyColour)
                out[x] = in[x];
    }
}

QImage RenderChart(const ChartScene& scene, const CChartResources& resources, QSize size) {
    ChartCanvas canvas;
    RenderChartInto(canvas, scene, resources, size);
    return canvas.composed;
}

void RenderChartInto(ChartCanvas& canvas, const ChartScene& scene, const CChartResources& resources,
                     QSize size) {
    size = size.expandedTo(QSize(1, 1));
    const auto fit = [size](QImage& image) {
        if (image.size() != size || image.format() != QImage::Format_RGB32)
            image = QImage(size, QImage::Format_RGB32);
    };
    fit(canvas.composed);
    canvas.texts.clear();
    if (scene.model == nullptr || !scene.model->Layout().shown || scene.settings == nullptr) {
        canvas.composed.fill(Qt::black);
        return;
    }
    fit(canvas.candles);
    DrawWindowLayer(canvas.composed, scene, resources);
    canvas.texts = PlanChartTexts(scene, resources);
    DrawCandleLayerWith(canvas.candles, scene, resources, canvas.texts);
    ComposeLayers(canvas.composed, canvas.candles, resources.BackgroundRgb());
}

} // namespace vorn
