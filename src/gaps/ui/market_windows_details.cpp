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
constexpr int kNarrowValueColumnWidth = 60;
// The quote area keeps at least this much beside the table; its texts wrap within it.
constexpr int kQuoteMinimumWidth = 330;
constexpr int kItemGap = 8;
constexpr ColorRef kFlashBackground = 0x0066CC;

struct DetailsPalette {
    ColorRef background, text, label, line, heading;
};
constexpr DetailsPalette kBlackPalette{0x000000, 0xFFFFFF, 0xC0C0C0, 0x696969, 0x303030};
constexpr DetailsPalette kWhitePalette{0xFFFFFF, 0x000000, 0x404040, 0xA0A0A0, 0xE6E6E6};

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

void CMarketWindowsDetails::SetWhiteScheme(bool white) {
    white_ = white;
    update();
}

std::vector<QRect> CMarketWindowsDetails::QuoteTextRects() const {
    std::vector<QRect> rects;
    for (const QuoteText& text : quoteTexts_)
        rects.push_back(text.rect);
    if (periodRect_.isValid())
        rects.push_back(periodRect_);
    return rects;
}

QRect CMarketWindowsDetails::TableRect() const {
    return QRect(QPoint(tableEdges_[0], kMargin),
                 QPoint(tableEdges_[6], kMargin + 8 * lineHeight_ + 2));
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
    // The table sits at the right; on a narrow panel its value columns narrow before the
    // quote area gets less than its minimum.
    const int fixedColumns = kLabelColumnWidth + kSideColumnWidth;
    const int roomForValues = width() - 2 * kMargin - kQuoteMinimumWidth - fixedColumns;
    valueColumnWidth_ =
        std::clamp(roomForValues / kDetailsColumnCount, kNarrowValueColumnWidth, kValueColumnWidth);
    const int tableWidth = fixedColumns + kDetailsColumnCount * valueColumnWidth_;
    tableLeft_ = std::max(kMargin + kQuoteMinimumWidth, width() - kMargin - tableWidth);
    tableEdges_[0] = tableLeft_;
    tableEdges_[1] = tableEdges_[0] + kLabelColumnWidth;
    tableEdges_[2] = tableEdges_[1] + kSideColumnWidth;
    for (int i = 0; i < kDetailsColumnCount; ++i)
        tableEdges_[3 + i] = tableEdges_[2 + i] + valueColumnWidth_;

    // The quote texts flow in lines; a label stays with its value, and a pair that does not
    // fit in what is left of a line starts the next one, so nothing is cut.
    quoteTexts_.clear();
    const int right = tableLeft_ - kItemGap;
    int y = kMargin;
    int x = kMargin;
    const auto advance = [&](const QString& text, bool emphasised) {
        return QFontMetrics(emphasised ? emphasised_ : font_).horizontalAdvance(text);
    };
    const auto place = [&](std::initializer_list<QuoteText> items) {
        int needed = 0;
        for (const QuoteText& item : items)
            needed += advance(item.text, item.emphasised) + kItemGap;
        if (x > kMargin && x + needed - kItemGap > right) {
            x = kMargin;
            y += lineHeight_;
        }
        for (QuoteText item : items) {
            const int w = advance(item.text, item.emphasised);
            item.rect = QRect(x, y, w, lineHeight_);
            quoteTexts_.push_back(item);
            x += w + kItemGap;
        }
    };
    const auto newLine = [&] {
        x = kMargin;
        y += lineHeight_;
    };
    if (hasSecurity_) {
        place({{{}, Text(quote_.name), 0, true}});
        place({{{}, Text(quote_.code), 0, false}});
        place({{{}, Text(quote_.sector), 1, false}});
        newLine();
        place({{{}, QString::fromUtf8(kDetailsMarketCapLabel), 1, false},
               {{}, Text(quote_.marketCap), 0, false}});
        place({{{}, QString::fromUtf8(kDetailsSharesLabel), 1, false},
               {{}, Text(quote_.shares), 0, false}});
        place({{{}, QString::fromUtf8(kDetailsUnitLabel), 1, false},
               {{}, Text(quote_.unit), 0, false}});
        place({{{}, QString::fromUtf8(kDetailsStatusLabel), 1, false},
               {{}, Text(quote_.status), 0, false}});
        newLine();
        place({{{}, Text(quote_.price), 0, true}});
        place({{{}, QString::fromUtf8(kDetailsChangeLabel), 1, false},
               {{}, Text(quote_.change), 2, false}});
        place({{{}, QString::fromUtf8(kDetailsVolumeLabel), 1, false},
               {{}, Text(quote_.volume), 0, false}});
        newLine();
    }
    marketBoxes_.clear();
    const int boxTop = y + 2;
    for (std::size_t i = 0; i < quote_.markets.size(); ++i)
        marketBoxes_.emplace_back(kMargin + static_cast<int>(i) * (kMarketBoxWidth + 4), boxTop,
                                  kMarketBoxWidth, lineHeight_);
    if (!marketBoxes_.empty())
        y = marketBoxes_.back().bottom() + 4;
    periodRect_ = QRect();
    if (!period_.empty()) {
        periodRect_ = QRect(kMargin, y, std::max(0, right - kMargin), lineHeight_);
        y += lineHeight_;
    }
    const int height = std::max(y, kMargin + 8 * lineHeight_ + 2) + kMargin;
    if (height != contentHeight_) {
        contentHeight_ = height;
        setMinimumHeight(height);
        updateGeometry();
    }
}

void CMarketWindowsDetails::paintEvent(QPaintEvent*) {
    const DetailsPalette& colours = white_ ? kWhitePalette : kBlackPalette;
    const auto signColour = [&colours](int sign) {
        return sign > 0 ? kGainColour : sign < 0 ? kLossColour : colours.text;
    };
    const ColorRef textColour = colours.text;
    const ColorRef labelColour = colours.label;
    const ColorRef lineColour = colours.line;
    const ColorRef headingColour = colours.heading;
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(colours.background));
    painter.setFont(font_);
    if (!hasSecurity_)
        return;

    // --- Quote ---
    auto draw = [&](QRect& area, const std::string& text, ColorRef colour, const QFont& font) {
        painter.setFont(font);
        painter.setPen(ToQColor(colour));
        const QString shown = Text(text);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
        area.setLeft(area.left() + QFontMetrics(font).horizontalAdvance(shown) + 8);
    };
    for (const QuoteText& item : quoteTexts_) {
        painter.setFont(item.emphasised ? emphasised_ : font_);
        painter.setPen(ToQColor(item.role == 1   ? labelColour
                                : item.role == 2 ? signColour(quote_.changeSign)
                                                 : textColour));
        painter.drawText(item.rect, Qt::AlignLeft | Qt::AlignVCenter, item.text);
    }

    for (std::size_t i = 0; i < marketBoxes_.size(); ++i) {
        const DetailsMarketBox& box = quote_.markets[i];
        painter.setFont(box.preferred ? emphasised_ : font_);
        painter.setPen(ToQColor(box.shown ? textColour : lineColour));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(marketBoxes_[i].adjusted(0, 0, -1, -1));
        if (box.shown)
            painter.drawRect(marketBoxes_[i].adjusted(1, 1, -2, -2));
        painter.setPen(ToQColor(box.shown ? textColour : labelColour));
        painter.drawText(marketBoxes_[i], Qt::AlignCenter, QString::fromUtf8(box.shortName));
    }
    if (periodRect_.isValid()) {
        QRect periodLine = periodRect_;
        draw(periodLine, period_, labelColour, font_);
    }

    // --- Profit and loss table ---
    painter.setFont(font_);
    auto cell = [&](int row, int column) {
        return QRect(tableEdges_[column], kMargin + row * lineHeight_,
                     tableEdges_[column + 1] - tableEdges_[column], lineHeight_);
    };
    painter.fillRect(QRect(tableEdges_[0], kMargin, tableEdges_[6] - tableEdges_[0], lineHeight_),
                     ToQColor(headingColour));
    painter.setPen(ToQColor(labelColour));
    painter.drawText(cell(0, 0), Qt::AlignCenter, QString::fromUtf8(kDetailsStanceLabel));
    for (int column = 0; column < kDetailsColumnCount; ++column) {
        const QRect heading = HeadingRect(column);
        if (column == flashingColumn_) {
            painter.fillRect(heading, ToQColor(kFlashBackground));
            painter.setPen(ToQColor(textColour));
            painter.drawText(heading, Qt::AlignCenter,
                             Text(DetailsHeadingFlashText(flashingDays_)));
        } else {
            painter.setPen(ToQColor(textColour));
            painter.drawText(heading, Qt::AlignCenter, Text(table_.columns[column].heading));
        }
    }
    for (int group = 0; group < 2; ++group) {
        const int firstRow = 1 + group * 3;
        painter.setPen(ToQColor(labelColour));
        painter.drawText(QRect(tableEdges_[0], kMargin + firstRow * lineHeight_, kLabelColumnWidth,
                               3 * lineHeight_),
                         Qt::AlignCenter,
                         Text(group == 0 ? table_.profitLabel : std::string(kDetailsRateLabel)));
        for (int side = 0; side < 3; ++side) {
            painter.setPen(ToQColor(labelColour));
            painter.drawText(cell(firstRow + side, 1), Qt::AlignCenter,
                             QString::fromUtf8(kDetailsSideLabels[side]));
            for (int column = 0; column < kDetailsColumnCount; ++column) {
                const DetailsTableColumn& values = table_.columns[column];
                if (values.blank)
                    continue;
                const std::string& text = group == 0 ? values.profits[side] : values.rates[side];
                const int sign = group == 0 ? values.profitSigns[side] : values.rateSigns[side];
                painter.setPen(ToQColor(signColour(sign)));
                painter.drawText(cell(firstRow + side, column + 2).adjusted(0, 0, -6, 0),
                                 Qt::AlignRight | Qt::AlignVCenter, Text(text));
            }
        }
    }
    painter.setPen(ToQColor(lineColour));
    for (int row = 0; row <= 7; ++row)
        painter.drawLine(tableEdges_[0], kMargin + row * lineHeight_, tableEdges_[6],
                         kMargin + row * lineHeight_);
    for (int column : {0, 2, 3, 4, 5, 6})
        painter.drawLine(tableEdges_[column], kMargin, tableEdges_[column],
                         kMargin + 7 * lineHeight_);

    QRect annual(tableEdges_[0], kMargin + 7 * lineHeight_ + 2, tableEdges_[6] - tableEdges_[0],
                 lineHeight_);
    draw(annual, kDetailsAnnualLabel, labelColour, font_);
    draw(annual, kDetailsAnnualReturnLabel, labelColour, font_);
    if (showAnnual_ && hasAnnual_)
        draw(annual, annual_[0], textColour, font_);
    draw(annual, kDetailsAnnualRiskLabel, labelColour, font_);
    if (showAnnual_ && hasAnnual_)
        draw(annual, annual_[1], textColour, font_);
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
