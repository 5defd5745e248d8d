#include "chart/ui/law_backtest_chart.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "chart/ui/chart_resources.h"
#include "chart/ui/chart_settings.h"

namespace vorn {
namespace {

// Colour slots of the laws' bars: four colours that differ in both schemes.
constexpr ChartColour kLawColours[] = {kColourWindowBelow, kColourWindowAbove, kColourBuyMark,
                                       kColourSellMark};
constexpr const char* kLawLegends[] = {"[法則１]", "[法則２]", "[法則３]", "[法則４]"};

} // namespace

CLawBacktestChart::CLawBacktestChart(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 160);
}

void CLawBacktestChart::SetYears(std::vector<YearLawAverages> years) {
    years_ = std::move(years);
    update();
}

void CLawBacktestChart::SetWhiteScheme(bool white) {
    white_ = white;
    update();
}

void CLawBacktestChart::paintEvent(QPaintEvent*) {
    const ChartSettings settings = ApplyColourScheme(white_);
    CChartResources resources(CGraphicManager::Shared(), settings);
    QPainter painter(this);
    painter.fillRect(rect(), resources.Brush(kColourBackground));
    painter.setFont(resources.ScaleFont());
    const QFontMetrics metrics(resources.ScaleFont());
    const int line = metrics.height();

    // Legend on the top line, one colour per law.
    int x = 8;
    for (int law = 0; law < 4; ++law) {
        painter.fillRect(QRect(x, 4 + line / 4, line / 2, line / 2),
                         resources.Brush(kLawColours[law]));
        x += line / 2 + 4;
        painter.setPen(resources.Colour(kColourPriceText));
        const QString legend = QString::fromUtf8(kLawLegends[law]);
        painter.drawText(x, 4 + metrics.ascent(), legend);
        x += metrics.horizontalAdvance(legend) + 12;
    }

    const QRect plot(8 + metrics.horizontalAdvance(QStringLiteral("-888%")), 8 + line,
                     width() - 16 - metrics.horizontalAdvance(QStringLiteral("-888%")),
                     height() - 16 - 2 * line);
    if (plot.width() < 20 || plot.height() < 20)
        return;
    painter.setPen(resources.Pen(kColourLineDark));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    if (years_.empty())
        return;

    double top = 0.0;
    double bottom = 0.0;
    for (const YearLawAverages& year : years_)
        for (double value : year.averageReturn) {
            top = std::max(top, value);
            bottom = std::min(bottom, value);
        }
    if (top - bottom < 1e-9)
        top = 1.0;
    const auto yOf = [&](double value) {
        return plot.top() + static_cast<int>((top - value) / (top - bottom) * plot.height());
    };
    // The zero line and the two extremes on the scale.
    painter.setPen(resources.Pen(kColourLineLight));
    painter.drawLine(plot.left(), yOf(0.0), plot.right(), yOf(0.0));
    painter.setPen(resources.Colour(kColourPriceText));
    for (double value : {top, 0.0, bottom}) {
        const QString text = QString::number(value, 'f', 1) + '%';
        painter.drawText(QRect(0, yOf(value) - line / 2, plot.left() - 4, line),
                         Qt::AlignRight | Qt::AlignVCenter, text);
    }

    const double slot = static_cast<double>(plot.width()) / static_cast<double>(years_.size());
    const int barWidth = std::max(1, static_cast<int>(slot / 5.0));
    for (std::size_t i = 0; i < years_.size(); ++i) {
        const int left = plot.left() + static_cast<int>(slot * static_cast<double>(i));
        for (int law = 0; law < 4; ++law) {
            if (years_[i].trades[static_cast<std::size_t>(law)] == 0)
                continue;
            const int y0 = yOf(0.0);
            const int y1 = yOf(years_[i].averageReturn[static_cast<std::size_t>(law)]);
            const QRect bar(left + barWidth / 2 + law * barWidth, std::min(y0, y1), barWidth,
                            std::max(1, std::abs(y1 - y0)));
            painter.fillRect(bar, resources.Brush(kLawColours[law]));
        }
        painter.setPen(resources.Colour(kColourYearText));
        painter.drawText(QRect(left, plot.bottom() + 2, static_cast<int>(slot), line),
                         Qt::AlignHCenter | Qt::AlignTop, QString::number(years_[i].year));
    }
}

} // namespace vorn
