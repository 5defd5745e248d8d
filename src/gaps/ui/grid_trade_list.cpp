#include "gaps/ui/grid_trade_list.h"

#include <QPainter>

namespace vorn {
namespace {

Qt::Alignment ToQtAlignment(CellAlignment alignment) {
    switch (alignment) {
    case CellAlignment::Centre:
        return Qt::AlignHCenter;
    case CellAlignment::Right:
        return Qt::AlignRight;
    default:
        return Qt::AlignLeft;
    }
}

} // namespace

CGridTradeList::CGridTradeList(TradeListKind kind, QWidget* parent) : CGrid(parent), list_(kind) {
    BuildColumns();
}

void CGridTradeList::BuildColumns() {
    BuildBaseStyles();
    // Each class on even rows, then the same class one higher on odd rows.
    const ColorRef backgrounds[] = {GetRowColour(), GetAlternateRowColour()};
    for (std::uint16_t odd = 0; odd < 2; ++odd) {
        SetRowStyle(kTradeClassPrice + odd, backgrounds[odd], kTextWhite);
        SetRowStyle(kTradeClassMissing + odd, backgrounds[odd], kTextGrey);
        SetRowStyle(kTradeClassLoss + odd, backgrounds[odd], kLossColour);
        SetRowStyle(kTradeClassDate + odd, backgrounds[odd], kTextWhite);
        SetRowStyle(kTradeClassGain + odd, backgrounds[odd], kGainColour);
    }
    ClearColumns();
    for (const TradeColumn& column : list_.Columns())
        AddColumn(QString::fromUtf8(column.heading), ToQtAlignment(column.alignment),
                  column.minimumWidth, column.weight);
    list_.ResetSort();
    ResetSort(list_.SortColumn(), list_.SortAscending());
}

void CGridTradeList::DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                              std::uint8_t columnPosition, QPainter& painter) {
    if (row < 0 || static_cast<std::size_t>(row) >= list_.RowCount())
        return;
    const TradeCell content = list_.Cell(static_cast<std::size_t>(row), column);
    PaintCellBackground(content.styleClass, state, cell, columnPosition, painter);
    PaintCellText(content.styleClass, state, cell, painter, QString::fromStdString(content.text),
                  ToQtAlignment(content.alignment));
}

bool CGridTradeList::Sort() {
    return list_.SetSort(SortColumn(), SortAscending());
}

void CGridTradeList::LoadFrom(const CWindowsPerformer& performer) {
    list_.LoadFrom(performer);
    ShowRows();
}

void CGridTradeList::Clear() {
    list_.Clear();
    ShowRows();
}

void CGridTradeList::ShowRows() {
    SetRowCount(static_cast<int>(list_.RowCount()));
    RelayoutColumns();
    viewport()->update();
}

} // namespace vorn
