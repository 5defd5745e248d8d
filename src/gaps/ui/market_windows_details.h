#pragma once
// The panel above the gap chart: the quote data of the stock shown, the boxes of the markets
// its company is listed on, and the profit and loss of the trading laws' positions over three
// look-back periods and the whole analysis period.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/details_panel_model.h"

#include <QFont>
#include <QTimer>
#include <QWidget>
#include <array>
#include <vector>

#include "foundation/message_sink.h"

namespace vorn {

class CMarketWindowsDetails : public QWidget {
public:
    static constexpr unsigned kDefaultPeriodUnit = 20; // trading days, about a month

    // Reads the chart's performer and the matrix it analysed; stores nothing of its own.
    // `parentSink` (may be null) receives 1025 (another market's security: wParam code,
    // lParam market) and 1026 (wParam the clicked column's number of days).
    CMarketWindowsDetails(const CMarketMatrix& matrix, const CWindowsPerformer& performer,
                          IMessageSink* parentSink, QWidget* parent = nullptr);

    // Recomputes the figures from the performer's current analysis and redraws.
    void Refresh();
    void SetPeriodUnit(unsigned days);
    unsigned PeriodUnit() const { return periodUnit_; }
    // Whether the "年平均" line shows the annual return and risk.
    void SetShowAnnual(bool show);

    const DetailsQuote& Quote() const { return quote_; }
    const DetailsTable& Table() const { return table_; }
    bool HasSecurity() const { return hasSecurity_; }
    // Where the panel draws (and takes clicks on) a market box and a column heading.
    QRect MarketBoxRect(std::size_t index) const;
    QRect HeadingRect(int column) const;
    // The column whose heading is flashing its number of days, -1 for none.
    int FlashingColumn() const { return flashingColumn_; }

    // The chart's colour scheme: dark texts on white, or light texts on black.
    void SetWhiteScheme(bool white);
    // Where each text of the quote area is drawn (for layout checks).
    std::vector<QRect> QuoteTextRects() const;
    QRect TableRect() const;

    QSize sizeHint() const override { return {900, contentHeight_}; }
    QSize minimumSizeHint() const override { return {320, contentHeight_}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Layout();
    void EndFlash();

    // One text of the quote area at its place.
    struct QuoteText {
        QRect rect;
        QString text;
        int role = 0; // 0 value, 1 label, 2 change (signed colour)
        bool emphasised = false;
    };

    const CMarketMatrix& matrix_;
    const CWindowsPerformer& performer_;
    IMessageSink* parentSink_;
    unsigned periodUnit_ = kDefaultPeriodUnit;
    bool showAnnual_ = true;
    bool hasSecurity_ = false;
    DetailsQuote quote_;
    DetailsTable table_;
    std::array<std::string, 2> annual_;
    bool hasAnnual_ = false;
    std::string period_;
    QFont font_;
    QFont emphasised_;
    int lineHeight_ = 0;
    // Geometry shared by painting and hit-testing.
    std::vector<QRect> marketBoxes_;
    int tableLeft_ = 0;
    std::array<int, 7> tableEdges_{}; // label, side, four value columns, right edge
    std::vector<QuoteText> quoteTexts_;
    QRect periodRect_;
    int contentHeight_ = 150;
    bool white_ = false;
    int valueColumnWidth_ = 84;
    int flashingColumn_ = -1;
    unsigned flashingDays_ = 0;
    QTimer flash_;
};

} // namespace vorn
