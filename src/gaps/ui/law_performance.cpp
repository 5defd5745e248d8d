#include "gaps/ui/law_performance.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>

#include "ui_base/graphic_manager.h"

namespace vorn {
namespace {

constexpr int kMargin = 4;
constexpr int kCellPadding = 6;
constexpr int kTableColumns = 6;
constexpr ColorRef kBackground = 0x000000;
constexpr ColorRef kHeadingColour = 0xFFFFFF;
constexpr ColorRef kRadarGridColour = 0x303030;
constexpr ColorRef kRadarAxisColour = 0x696969;

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

} // namespace

CLawPerformance::CLawPerformance(const AnalysisResults& results, QWidget* parent)
    : QWidget(parent), results_(results) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (const QFont* font = CGraphicManager::Shared().GetFontByIndex(
            nullptr, this, 9, static_cast<std::uint16_t>(FontFace::Gothic), false, false, false,
            false, 0))
        font_ = *font;
    resize(sizeHint());
    Layout();
}

bool CLawPerformance::SetListing(const SecurityRecord* security, MarketNaming naming) {
    if (!model_.SetListing(security, results_, naming))
        return false;
    DrawValues();
    update();
    return true;
}

QPoint CLawPerformance::RadarCentre() const {
    return {radarSquare_.left() + radarSquare_.width() / 2,
            radarSquare_.top() + radarSquare_.height() / 2};
}

void CLawPerformance::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
}

void CLawPerformance::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, composed_);
}

void CLawPerformance::Layout() {
    const QFontMetrics metrics(font_);
    rowHeight_ = metrics.height() + 3;
    const int width = std::max(this->width(), 1);
    const int height = std::max(this->height(), 1);

    // Columns measured from their sample texts; the last one takes what is left.
    const int widths[kTableColumns - 1] = {
        metrics.horizontalAdvance(QString::fromUtf8(kLawLabelSample)) + 2 * kCellPadding,
        metrics.horizontalAdvance(QString::fromUtf8(kLawCountSample)) + 2 * kCellPadding,
        metrics.horizontalAdvance(QString::fromUtf8(kLawCountSample)) + 2 * kCellPadding,
        metrics.horizontalAdvance(QString::fromUtf8(kLawCountSample)) + 2 * kCellPadding,
        metrics.horizontalAdvance(QString::fromUtf8(kLawRateSample)) + 2 * kCellPadding};
    columnEdges_[0] = kMargin;
    for (int i = 0; i < kTableColumns - 1; ++i)
        columnEdges_[i + 1] = columnEdges_[i] + widths[i];
    const int lastMinimum =
        metrics.horizontalAdvance(QString::fromUtf8(kLawPerformanceHeadings[5])) + 2 * kCellPadding;
    columnEdges_[kTableColumns] =
        std::max(width - kMargin, columnEdges_[kTableColumns - 1] + lastMinimum);
    table_ = QRect(QPoint(kMargin, kMargin),
                   QPoint(columnEdges_[kTableColumns] - 1, kMargin + 9 * rowHeight_ - 1));

    // The radar chart takes the square under the table, the legend the room beside it.
    const int legendWidth =
        metrics.horizontalAdvance(QString::fromUtf8(kAverageReturnLegend)) + 2 * kCellPadding;
    const int top = table_.bottom() + 1 + kMargin;
    const int available = std::max(0, height - top - kMargin);
    const int side = std::max(0, std::min(width - 3 * kMargin - legendWidth, available));
    radarSquare_ = QRect(kMargin, top, side, side);
    // Room around the octagon for the axis labels.
    radarRadius_ = std::max(0, side / 2 - metrics.height() - 4);
    legend_ = QRect(radarSquare_.right() + 1 + kMargin, top, legendWidth, 4 * rowHeight_ + 2);

    DrawFrame();
    DrawValues();
}

QRect CLawPerformance::CellRect(int row, int column) const {
    return QRect(columnEdges_[column], table_.top() + row * rowHeight_,
                 columnEdges_[column + 1] - columnEdges_[column], rowHeight_);
}

void CLawPerformance::DrawFrame() {
    frame_ = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
    frame_.fill(ToQColor(kBackground));
    QPainter painter(&frame_);
    painter.setFont(font_);

    // Table: rows separated by the inner colour, columns likewise, the outer border last.
    painter.setPen(ToQColor(kLawTableInnerBorder));
    for (int row = 1; row < 9; ++row)
        painter.drawLine(table_.left(), table_.top() + row * rowHeight_, table_.right(),
                         table_.top() + row * rowHeight_);
    for (int column = 1; column < kTableColumns; ++column)
        painter.drawLine(columnEdges_[column], table_.top(), columnEdges_[column], table_.bottom());
    painter.setPen(ToQColor(kLawTableOuterBorder));
    painter.drawRect(table_);

    painter.setPen(ToQColor(kHeadingColour));
    for (int column = 0; column < kTableColumns; ++column)
        painter.drawText(CellRect(0, column), Qt::AlignCenter,
                         QString::fromUtf8(kLawPerformanceHeadings[column]));
    for (int row = 0; row < kLawCount; ++row) {
        const LawPerformanceRow& law = model_.Rows()[static_cast<std::size_t>(row)];
        painter.setPen(ToQColor(law.labelColour));
        painter.drawText(CellRect(row + 1, 0).adjusted(kCellPadding, 0, -kCellPadding, 0),
                         Qt::AlignLeft | Qt::AlignVCenter, Text(law.label));
    }

    if (radarRadius_ > 0) {
        const QPoint centre = RadarCentre();
        QPolygon octagon;
        for (int k = 0; k < kLawCount; ++k)
            octagon << QPoint(
                centre.x() + static_cast<int>(radarRadius_ * std::cos(kRadarAxisAngles[k])),
                centre.y() + static_cast<int>(radarRadius_ * std::sin(kRadarAxisAngles[k])));
        painter.setPen(ToQColor(kRadarGridColour));
        painter.setBrush(Qt::NoBrush);
        for (int k = 0; k < kLawCount; ++k)
            painter.drawLine(centre, octagon[k]);
        painter.setPen(ToQColor(kRadarAxisColour));
        painter.drawPolygon(octagon);
        const QFontMetrics metrics(font_);
        for (int k = 0; k < kLawCount; ++k) {
            const LawPerformanceRow* law = model_.RowOf(kRadarAxisLaws[k]);
            const double labelRadius = radarRadius_ + metrics.height() / 2.0 + 3;
            const QPoint at(
                centre.x() + static_cast<int>(labelRadius * std::cos(kRadarAxisAngles[k])),
                centre.y() + static_cast<int>(labelRadius * std::sin(kRadarAxisAngles[k])));
            const QString label = Text(law->axisLabel);
            const QRect box(at.x() - metrics.horizontalAdvance(label) / 2 - 1,
                            at.y() - metrics.height() / 2, metrics.horizontalAdvance(label) + 2,
                            metrics.height());
            painter.setPen(ToQColor(law->labelColour));
            painter.drawText(box, Qt::AlignCenter, label);
        }
    }

    // Legend: the win rate on dark red over the average return on dark green.
    const int half = legend_.height() / 2;
    const struct {
        QRect box;
        ColorRef fill, border;
        const char *title, *range;
    } legends[] = {
        {QRect(legend_.left(), legend_.top(), legend_.width(), half - 1), kWinRateFill,
         kWinRateOutline, kWinRateLegend, kWinRateLegendRange},
        {QRect(legend_.left(), legend_.top() + half, legend_.width(), half - 1), kAverageReturnFill,
         kAverageReturnOutline, kAverageReturnLegend, kAverageReturnLegendRange},
    };
    for (const auto& legend : legends) {
        painter.setPen(ToQColor(legend.border));
        painter.setBrush(ToQColor(legend.fill));
        painter.drawRect(legend.box);
        painter.setPen(ToQColor(kHeadingColour));
        const QRect upper(legend.box.left(), legend.box.top(), legend.box.width(),
                          legend.box.height() / 2);
        const QRect lower(legend.box.left(), upper.bottom(), legend.box.width(),
                          legend.box.height() - upper.height());
        painter.drawText(upper, Qt::AlignCenter, QString::fromUtf8(legend.title));
        painter.drawText(lower, Qt::AlignCenter, QString::fromUtf8(legend.range));
    }
}

QImage CLawPerformance::DrawPolygon(const RadarPolygon& polygon, ColorRef fill,
                                    ColorRef outline) const {
    QImage image(radarSquare_.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QPolygon points;
    for (const RadarPoint& point : polygon)
        points << QPoint(point.x, point.y);
    painter.setPen(ToQColor(outline));
    painter.setBrush(ToQColor(fill));
    painter.drawPolygon(points);
    return image;
}

void CLawPerformance::DrawValues() {
    ++valueDrawings_;
    composed_ = frame_;
    QPainter painter(&composed_);
    painter.setFont(font_);
    for (int row = 0; row < kLawCount; ++row) {
        const LawPerformanceRow& law = model_.Rows()[static_cast<std::size_t>(row)];
        const LawPerformanceCell* cells[] = {&law.wins, &law.losses, &law.evens, &law.winRateCell,
                                             &law.averageReturnCell};
        for (int column = 1; column < kTableColumns; ++column) {
            const LawPerformanceCell& cell = *cells[column - 1];
            painter.setPen(ToQColor(cell.colour));
            painter.drawText(CellRect(row + 1, column).adjusted(kCellPadding, 0, -kCellPadding, 0),
                             Qt::AlignRight | Qt::AlignVCenter, Text(cell.text));
        }
    }
    if (radarRadius_ <= 0)
        return;
    // Polygon coordinates are relative to the chart square.
    const double centre = radarSquare_.width() / 2;
    const QImage winRates = DrawPolygon(model_.WinRatePolygon(centre, centre, radarRadius_),
                                        kWinRateFill, kWinRateOutline);
    const QImage returns = DrawPolygon(model_.AverageReturnPolygon(centre, centre, radarRadius_),
                                       kAverageReturnFill, kAverageReturnOutline);
    painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    painter.drawImage(radarSquare_.topLeft(), winRates);
    painter.drawImage(radarSquare_.topLeft(), returns);
}

} // namespace vorn
