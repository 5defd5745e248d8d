#pragma once
// The list of the stock name popup: code, market and company of each security found.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "matrix/market_matrix.h"
#include "matrix/market_naming.h"

#include <vector>

#include "grids/grid.h"

namespace vorn {

class CGridStocks final : public CGrid {
    Q_OBJECT
public:
    explicit CGridStocks(QWidget* parent = nullptr);

    void BuildColumns() override;
    void DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                  std::uint8_t columnPosition, QPainter& painter) override;
    void OnDoubleClickCell(int row, int column) override;
    void OnRightClickCell(int row, int column) override;
    ColorRef GetRowColour() const override { return 0xFFFFFF; }
    ColorRef GetAlternateRowColour() const override { return 0xDCDCDC; }

    // The securities are owned by the matrix and must outlive the list; they are listed by
    // written code, with the market names of `naming`.
    void SetStocks(std::vector<const SecurityRecord*> stocks, MarketNaming naming = {});
    const std::vector<const SecurityRecord*>& Stocks() const { return stocks_; }
    QString CellText(int row, int column) const;

signals:
    void stockActivated(const vorn::SecurityRecord* security);
    void dismissed();

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    std::vector<const SecurityRecord*> stocks_;
    MarketNaming naming_;
};

} // namespace vorn
