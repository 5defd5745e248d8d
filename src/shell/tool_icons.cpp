#include "shell/tool_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "shell/command_ids.h"

namespace vorn {
namespace {

// A triangle pointing left (direction -1) or right (+1), `width` wide, centred at x.
void Arrow(QPainter& painter, double x, double width, int direction) {
    QPainterPath path;
    const double tip = x + direction * width / 2;
    const double base = x - direction * width / 2;
    path.moveTo(tip, 16);
    path.lineTo(base, 9);
    path.lineTo(base, 23);
    path.closeSubpath();
    painter.fillPath(path, painter.brush());
}

void Bar(QPainter& painter, double x) {
    painter.fillRect(QRectF(x - 1.5, 8, 3, 16), painter.brush());
}

void Magnifier(QPainter& painter, bool plus) {
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPointF(13, 13), 8, 8);
    painter.drawLine(QPointF(19, 19), QPointF(27, 27));
    painter.drawLine(QPointF(9, 13), QPointF(17, 13));
    if (plus)
        painter.drawLine(QPointF(13, 9), QPointF(13, 17));
}

void Candles(QPainter& painter) {
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(9, 5), QPointF(9, 27));
    painter.fillRect(QRectF(6, 10, 6, 11), QColor(0xD0, 0x20, 0x20));
    painter.drawLine(QPointF(22, 3), QPointF(22, 22));
    painter.fillRect(QRectF(19, 6, 6, 9), QColor(0x20, 0x60, 0xD0));
}

void Forecast(QPainter& painter, const QString& label) {
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(3.5, 6.5, 25, 19));
    QFont font = painter.font();
    font.setPixelSize(11);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(3, 6, 26, 20), Qt::AlignCenter, label);
}

} // namespace

QIcon CommandIcon(std::uint32_t command) {
    QPixmap pixmap(kToolButtonSize, kToolButtonSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(0x30, 0x30, 0x30), 2);
    painter.setPen(pen);
    painter.setBrush(QColor(0x20, 0x70, 0x30));
    switch (command) {
    case kIdContentsChart:
        Candles(painter);
        break;
    case kIdContentsScreening:
        painter.setBrush(Qt::NoBrush);
        for (int row = 0; row < 4; ++row)
            painter.drawLine(QPointF(6, 7 + row * 6), QPointF(26, 7 + row * 6));
        painter.drawLine(QPointF(6, 7), QPointF(16, 16));
        painter.drawLine(QPointF(26, 7), QPointF(16, 16));
        painter.drawLine(QPointF(16, 16), QPointF(16, 27));
        break;
    case kIdHistoryBack:
        painter.setBrush(QColor(0x20, 0x50, 0xA0));
        Arrow(painter, 16, 18, -1);
        break;
    case kIdHistoryForward:
        painter.setBrush(QColor(0x20, 0x50, 0xA0));
        Arrow(painter, 16, 18, 1);
        break;
    case kIdChartFirst:
        Bar(painter, 7);
        Arrow(painter, 17, 14, -1);
        break;
    case kIdChartPrevious:
        Arrow(painter, 11, 12, -1);
        Arrow(painter, 21, 12, -1);
        break;
    case kIdPreviousDay:
        Arrow(painter, 16, 12, -1);
        break;
    case kIdNextDay:
        Arrow(painter, 16, 12, 1);
        break;
    case kIdChartNext:
        Arrow(painter, 11, 12, 1);
        Arrow(painter, 21, 12, 1);
        break;
    case kIdChartLast:
        Arrow(painter, 15, 14, 1);
        Bar(painter, 25);
        break;
    case kIdZoomIn:
        Magnifier(painter, true);
        break;
    case kIdZoomOut:
        Magnifier(painter, false);
        break;
    case kIdTradeForecastClear:
        Forecast(painter, QStringLiteral("×"));
        break;
    case kIdTradeForecast10:
        Forecast(painter, QStringLiteral("10"));
        break;
    case kIdTradeForecast20:
        Forecast(painter, QStringLiteral("20"));
        break;
    case kIdTradeForecast30:
        Forecast(painter, QStringLiteral("30"));
        break;
    case kIdScreeningRestore:
    case kIdScreeningSave:
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(6.5, 4.5, 19, 23));
        painter.fillRect(QRectF(10, 6, 12, 7), QColor(0x80, 0x80, 0x80));
        painter.setBrush(QColor(0x20, 0x70, 0x30));
        if (command == kIdScreeningSave)
            Arrow(painter, 16, 8, 1);
        else
            Arrow(painter, 16, 8, -1);
        break;
    case kIdSeriesDaily:
        Forecast(painter, QStringLiteral("日"));
        break;
    case kIdSeriesWeekly:
        Forecast(painter, QStringLiteral("週"));
        break;
    case kIdSeriesMonthly:
        Forecast(painter, QStringLiteral("月"));
        break;
    case kIdWholeHistory:
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(QPointF(5, 16), QPointF(27, 16));
        Arrow(painter, 8, 8, -1);
        Arrow(painter, 24, 8, 1);
        break;
    case kIdCrosshair:
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(QPointF(16, 4), QPointF(16, 28));
        painter.drawLine(QPointF(4, 16), QPointF(28, 16));
        painter.drawEllipse(QPointF(16, 16), 5, 5);
        break;
    case kIdLawBacktest:
        // Bars above and below a base line.
        painter.drawLine(QPointF(4, 18), QPointF(28, 18));
        painter.drawRect(QRectF(7.5, 8.5, 4, 9));
        painter.drawRect(QRectF(14.5, 12.5, 4, 5));
        painter.setBrush(QColor(0xA0, 0x30, 0x20));
        painter.drawRect(QRectF(21.5, 18.5, 4, 7));
        break;
    default:
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(4.5, 4.5, 23, 23));
        break;
    }
    painter.end();
    return QIcon(pixmap);
}

} // namespace vorn
