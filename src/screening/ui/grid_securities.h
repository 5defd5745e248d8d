#pragma once
// The securities list of the screening contents: one row per security that passes, drawn from
// the rows of a CSecuritiesList, sortable by every column.
#include <cstdint>
#include <optional>
#include <vector>

// The core headers come before Qt's, which defines `slots` and `signals` as macros.
#include "screening/securities_list.h"

#include "grids/grid.h"

namespace vorn {

class CGridSecurities : public CGrid {
    Q_OBJECT
public:
    // The list must outlive the grid.
    explicit CGridSecurities(const CSecuritiesList& list, QWidget* parent = nullptr);

    // Takes the list's rows after a rebuild, in the current sort order.
    void Reload();

    // Row of the list shown in grid row `row`.
    std::size_t ListRow(int row) const { return order_[static_cast<std::size_t>(row)]; }
    SecurityKey KeyAt(int row) const { return list_.RowKey(ListRow(row)); }
    // The list rows of the selected grid rows, top to bottom.
    std::vector<std::size_t> SelectedListRows() const;
    std::optional<SecurityKey> CurrentKey() const;
    // Makes the row the current and only selected one and scrolls to it; false when absent.
    bool SelectKey(SecurityKey key);
    bool SelectCode(std::uint16_t code);

    void BuildColumns() override;
    void DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                  std::uint8_t columnPosition, QPainter& painter) override;
    void OnDoubleClickCell(int row, int column) override;
    bool Sort() override;

signals:
    void securityActivated(SecurityKey key);

private:
    // Style classes; the odd-row variant of each is one above.
    static constexpr std::uint16_t kRisingClass = 2;
    static constexpr std::uint16_t kFallingClass = 4;

    std::uint16_t CellClass(std::size_t listRow, int column) const;
    double NumericKey(std::size_t listRow, int column) const;
    void SortOrder();
    bool SelectRow(int row);

    const CSecuritiesList& list_;
    std::vector<std::size_t> order_; // grid row -> list row
};

} // namespace vorn
