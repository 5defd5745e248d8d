#pragma once
// What the trading list and the monthly trading list share: a grid over the rows of a
// CTradeList, drawn with the list's cell texts and style classes.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/trading_lists.h"

#include "grids/grid.h"

namespace vorn {

class CGridTradeList : public CGrid {
public:
    CGridTradeList(TradeListKind kind, QWidget* parent = nullptr);

    void BuildColumns() override;
    void DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                  std::uint8_t columnPosition, QPainter& painter) override;
    bool Sort() override;
    ColorRef GetAlternateRowColour() const override { return kTradeListAlternateRowColour; }

    // Loads the list from a performer that has just analysed a stock.
    void LoadFrom(const CWindowsPerformer& performer);
    void Clear();

    const CTradeList& List() const { return list_; }

protected:
    // Shows the rows the list holds now.
    void ShowRows();
    CTradeList& MutableList() { return list_; }

private:
    CTradeList list_;
};

} // namespace vorn
