#include "gaps/ui/market_windows_details.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdio>

#include "ui_base/graphic_manager.h"
#include "matrix/name_tables.h"

namespace vorn {
namespace {

constexpr int kMargin = 6;
constexpr int kMarketBoxWidth = 64;
constexpr int kLabelColumnWidth = 92;
constexpr int kSideColumnWidth = 44;
constexpr int kValueColumnWidth = 84;
constexpr ColorRef kBackground = 0x000000;
constexpr ColorRef kText = 0xFFFFFF;
constexpr ColorRef kLabel = 0xC0C0C0;
constexpr ColorRef kTableLine = 0x696969;
constexpr ColorRef kHeadingBackground = 0x303030;
constexpr ColorRef kFlashBackground = 0x0066CC;

ColorRef SignColour(int sign) {
    return sign > 0 ? kGainColour : sign < 0 ? kLossColour : kText;
}

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

} // namespace

CMarketWindowsDetails::CMarketWindowsDetails(const CMarketMatrix& matrix,
                                             const CWindowsPerformer& performer,
                                             IMessageSink* parentSink, QWidget* parent)
    : QWidget(parent), matrix_(matrix), performer_(performer), parentSink_(parentSink) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto& cache = CGraphicManager::Shared();
    if (const QFont* font =
            cache.GetFontByIndex(nullptr, this, 9, static_cast<std::uint16_t>(FontFace::Gothic),
                                 false, false, false, false, 0))
        font_ = *font;
    if (const QFont* font =
            cache.GetFontByIndex(nullptr, this, 9, static_cast<std::uint16_t>(FontFace::Gothic),
                                 true, false, false, false, 0))
        emphasised_ = *font;
    flash_.setSingleShot(true);
    connect(&flash_, &QTimer::timeout, this, [this] { EndFlash(); });
    Layout();
}

void CMarketWindowsDetails::SetPeriodUnit(unsigned days) {
    periodUnit_ = std::max(1u, days);
}

void CMarketWindowsDetails::SetShowAnnual(bool show) {
    showAnnual_ = show;
    update();
}

void CMarketWindowsDetails::Refresh() {
    const SecurityRecord* security = performer_.Security();
    hasSecurity_ = security != nullptr;
    quote_ = DetailsQuote{};
    if (security != nullptr)
        BuildDetailsQuote(matrix_, *security, quote_);
    table_ = BuildDetailsTable(performer_, periodUnit_);

    hasAnnual_ = false;
    if (security != nullptr)
        if (const ListingAnalysis* record = performer_.FindResult(security->Key())) {
            annual_ = DetailsAnnualTexts(*record);
            hasAnnual_ = true;
        }

    period_.clear();
    const CCalendar* calendar = performer_.Calendar();
    const int first = performer_.FirstPosition();
    const int last = performer_.LastPosition();
    if (calendar != nullptr && first >= 0 && last >= first && last < calendar->Count()) {
        const PackedDate from = (*calendar)[static_cast<std::size_t>(first)];
        const PackedDate to = (*calendar)[static_cast<std::size_t>(last)];
        period_ = "分析期間" + DetailsAnalysisPeriodText(DateText(from) + "～" + DateText(to),
                                                         static_cast<unsigned>(last - first + 1));
    }
    Layout();
    update();
}

QRect CMarketWindowsDetails::MarketBoxRect(std::size_t index) const {
    return index < marketBoxes_.size() ? marketBoxes_[index] : QRect();
}

QRect CMarketWindowsDetails::HeadingRect(int column) const {
    if (column < 0 || column >= kDetailsColumnCount)
        return {};
    return QRect(tableEdges_[column + 2], kMargin,
                 tableEdges_[column + 3] - tableEdges_[column + 2], lineHeight_);
}

void CMarketWindowsDetails::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
}

void CMarketWindowsDetails::Layout() {
    lineHeight_ = QFontMetrics(font_).height() + 4;
    marketBoxes_.clear();
    const int boxTop = kMargin + 3 * lineHeight_ + 2;
    for (std::size_t i = 0; i < quote_.markets.size(); ++i)
        marketBoxes_.emplace_back(kMargin + static_cast<int>(i) * (kMarketBoxWidth + 4), boxTop,
                                  kMarketBoxWidth, lineHeight_);
    // The table sits at the right, but never over the quote area.
    const int tableWidth = kLabelColumnWidth + kSideColumnWidth + 4 * kValueColumnWidth;
    tableLeft_ = std::max(420, width() - kMargin - tableWidth);
    tableEdges_[0] = tableLeft_;
    tableEdges_[1] = tableEdges_[0] + kLabelColumnWidth;
    tableEdges_[2] = tableEdges_[1] + kSideColumnWidth;
    for (int i = 0; i < kDetailsColumnCount; ++i)
        tableEdges_[3 + i] = tableEdges_[2 + i] + kValueColumnWidth;
}

void CMarketWindowsDetails::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(kBackground));
    painter.setFont(font_);
    if (!hasSecurity_)
        return;

    // --- Quote ---
    auto line = [&](int index) {
        return QRect(kMargin, kMargin + index * lineHeight_, 400, lineHeight_);
    };
    auto draw = [&](QRect& area, const std::string& text, ColorRef colour, const QFont& font) {
        painter.setFont(font);
        painter.setPen(ToQColor(colour));
        const QString shown = Text(text);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
        area.setLeft(area.left() + QFontMetrics(font).horizontalAdvance(shown) + 8);
    };
    QRect area = line(0);
    draw(area, quote_.name, kText, emphasised_);
    draw(area, quote_.code, kText, font_);
    draw(area, quote_.sector, kLabel, font_);
    area = line(1);
    draw(area, kDetailsMarketCapLabel, kLabel, font_);
    draw(area, quote_.marketCap, kText, font_);
    draw(area, kDetailsSharesLabel, kLabel, font_);
    draw(area, quote_.shares, kText, font_);
    draw(area, kDetailsUnitLabel, kLabel, font_);
    draw(area, quote_.unit, kText, font_);
    draw(area, kDetailsStatusLabel, kLabel, font_);
    draw(area, quote_.status, kText, font_);
    area = line(2);
    draw(area, quote_.price, kText, emphasised_);
    draw(area, kDetailsChangeLabel, kLabel, font_);
    draw(area, quote_.change, SignColour(quote_.changeSign), font_);
    draw(area, kDetailsVolumeLabel, kLabel, font_);
    draw(area, quote_.volume, kText, font_);

    for (std::size_t i = 0; i < marketBoxes_.size(); ++i) {
        const DetailsMarketBox& box = quote_.markets[i];
        painter.setFont(box.preferred ? emphasised_ : font_);
        painter.setPen(ToQColor(box.shown ? kText : kTableLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(marketBoxes_[i].adjusted(0, 0, -1, -1));
        if (box.shown)
            painter.drawRect(marketBoxes_[i].adjusted(1, 1, -2, -2));
        painter.setPen(ToQColor(box.shown ? kText : kLabel));
        painter.drawText(marketBoxes_[i], Qt::AlignCenter, QString::fromUtf8(box.shortName));
    }
    if (!period_.empty()) {
        QRect periodLine(kMargin,
                         marketBoxes_.empty() ? kMargin + 3 * lineHeight_
                                              : marketBoxes_.front().bottom() + 4,
                         400, lineHeight_);
        draw(periodLine, period_, kLabel, font_);
    }

    // --- Profit and loss table ---
    painter.setFont(font_);
    auto cell = [&](int row, int column) {
        return QRect(tableEdges_[column], kMargin + row * lineHeight_,
                     tableEdges_[column + 1] - tableEdges_[column], lineHeight_);
    };
    painter.fillRect(QRect(tableEdges_[0], kMargin, tableEdges_[6] - tableEdges_[0], lineHeight_),
                     ToQColor(kHeadingBackground));
    painter.setPen(ToQColor(kLabel));
    painter.drawText(cell(0, 0), Qt::AlignCenter, QString::fromUtf8(kDetailsStanceLabel));
    for (int column = 0; column < kDetailsColumnCount; ++column) {
        const QRect heading = HeadingRect(column);
        if (column == flashingColumn_) {
            painter.fillRect(heading, ToQColor(kFlashBackground));
            painter.setPen(ToQColor(kText));
            painter.drawText(heading, Qt::AlignCenter,
                             Text(DetailsHeadingFlashText(flashingDays_)));
        } else {
            painter.setPen(ToQColor(kText));
            painter.drawText(heading, Qt::AlignCenter, Text(table_.columns[column].heading));
        }
    }
    for (int group = 0; group < 2; ++group) {
        const int firstRow = 1 + group * 3;
        painter.setPen(ToQColor(kLabel));
        painter.drawText(QRect(tableEdges_[0], kMargin + firstRow * lineHeight_, kLabelColumnWidth,
                               3 * lineHeight_),
                         Qt::AlignCenter,
                         Text(group == 0 ? table_.profitLabel : std::string(kDetailsRateLabel)));
        for (int side = 0; side < 3; ++side) {
            painter.setPen(ToQColor(kLabel));
            painter.drawText(cell(firstRow + side, 1), Qt::AlignCenter,
                             QString::fromUtf8(kDetailsSideLabels[side]));
            for (int column = 0; column < kDetailsColumnCount; ++column) {
                const DetailsTableColumn& values = table_.columns[column];
                if (values.blank)
                    continue;
                const std::string& text = group == 0 ? values.profits[side] : values.rates[side];
                const int sign = group == 0 ? values.profitSigns[side] : values.rateSigns[side];
                painter.setPen(ToQColor(SignColour(sign)));
                painter.drawText(cell(firstRow + side, column + 2).adjusted(0, 0, -6, 0),
                                 Qt::AlignRight | Qt::AlignVCenter, Text(text));
            }
        }
    }
    painter.setPen(ToQColor(kTableLine));
    for (int row = 0; row <= 7; ++row)
        painter.drawLine(tableEdges_[0], kMargin + row * lineHeight_, tableEdges_[6],
                         kMargin + row * lineHeight_);
    for (int column : {0, 2, 3, 4, 5, 6})
        painter.drawLine(tableEdges_[column], kMargin, tableEdges_[column],
                         kMargin + 7 * lineHeight_);

    QRect annual(tableEdges_[0], kMargin + 7 * lineHeight_ + 2, tableEdges_[6] - tableEdges_[0],
                 lineHeight_);
    draw(annual, kDetailsAnnualLabel, kLabel, font_);
    draw(annual, kDetailsAnnualReturnLabel, kLabel, font_);
    if (showAnnual_ && hasAnnual_)
        draw(annual, annual_[0], kText, font_);
    draw(annual, kDetailsAnnualRiskLabel, kLabel, font_);
    if (showAnnual_ && hasAnnual_)
        draw(annual, annual_[1], kText, font_);
}

void CMarketWindowsDetails::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    for (std::size_t i = 0; i < marketBoxes_.size(); ++i) {
        const DetailsMarketBox& box = quote_.markets[i];
        if (!marketBoxes_[i].contains(at) || box.shown)
            continue;
        const SecurityRecord* security = performer_.Security();
        if (security != nullptr && parentSink_ != nullptr)
            parentSink_->Post(kMsgDetailsSelectListing, security->Code(), box.market);
        return;
    }
    for (int column = 0; column < kDetailsColumnCount; ++column) {
        if (!HeadingRect(column).contains(at) || !hasSecurity_)
            continue;
        flashingColumn_ = column;
        flashingDays_ = table_.columns[column].days;
        repaint(HeadingRect(column));
        flash_.start(kDetailsHeadingFlashMs);
        return;
    }
    QWidget::mousePressEvent(event);
}

void CMarketWindowsDetails::EndFlash() {
    const int column = flashingColumn_;
    flashingColumn_ = -1;
    update(HeadingRect(column));
    if (parentSink_ != nullptr && flashingDays_ > 0)
        parentSink_->Post(kMsgDetailsSelectDays, flashingDays_, 0);
}

} // namespace vorn
