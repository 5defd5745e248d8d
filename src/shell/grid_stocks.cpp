#include "shell/grid_stocks.h"

#include <QFocusEvent>
#include <QPainter>
#include <algorithm>

#include "foundation/text_encoding.h"
#include "matrix/stock_code.h"

namespace vorn {

CGridStocks::CGridStocks(QWidget* parent) : CGrid(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    Rebuild();
}

void CGridStocks::BuildColumns() {
    BuildBaseStyles();
    // Dark text on the white and grey rows.
    SetRowStyle(0, GetRowColour(), 0x000000);
    SetRowStyle(1, GetAlternateRowColour(), 0x000000);
    ClearColumns();
    AddColumn(QStringLiteral("コード"), Qt::AlignCenter, 50, 0);
    AddColumn(QStringLiteral("市場"), Qt::AlignCenter, 50, 0);
    AddColumn(QStringLiteral("名称"), Qt::AlignLeft, 120, 100);
    ResetSort(0, true);
}

void CGridStocks::SetStocks(std::vector<const SecurityRecord*> stocks, MarketNaming naming) {
    // Rows in the order the codes are written (1301, 130A, 1332).
    std::stable_sort(stocks.begin(), stocks.end(), [](const auto* a, const auto* b) {
        return SecurityKeySortKey(a->Key()) < SecurityKeySortKey(b->Key());
    });
    stocks_ = std::move(stocks);
    naming_ = naming;
    SetRowCount(static_cast<int>(stocks_.size()));
}

QString CGridStocks::CellText(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(stocks_.size()))
        return {};
    const SecurityRecord& stock = *stocks_[static_cast<std::size_t>(row)];
    switch (column) {
    case 0:
        return QString::fromStdString(FormatStockCode(stock.Code()));
    case 1:
        return QString::fromUtf8(naming_.ShortName(stock.market));
    case 2:
        return stock.company != nullptr && stock.company->name
                   ? QString::fromStdString(Cp932ToUtf8(*stock.company->name))
                   : QString();
    default:
        return {};
    }
}

void CGridStocks::DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                           std::uint8_t columnPosition, QPainter& painter) {
    const std::uint16_t styleClass = static_cast<std::uint16_t>(row % 2);
    PaintCellBackground(styleClass, state, cell, columnPosition, painter);
    PaintCellText(styleClass, state, cell, painter, CellText(row, column),
                  column == 2 ? Qt::AlignLeft : Qt::AlignCenter);
}

void CGridStocks::OnDoubleClickCell(int row, int) {
    if (row >= 0 && row < static_cast<int>(stocks_.size()))
        emit stockActivated(stocks_[static_cast<std::size_t>(row)]);
}

void CGridStocks::OnRightClickCell(int, int) {
    emit dismissed();
}

void CGridStocks::focusOutEvent(QFocusEvent* event) {
    CGrid::focusOutEvent(event);
    emit dismissed();
}

} // namespace vorn
