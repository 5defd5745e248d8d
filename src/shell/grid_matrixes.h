#pragma once
// The list of full packages the matrix server offers, one row per package in ascending order
// of years.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "acquisition/matrix_index.h"

#include <map>
#include <vector>

#include "grids/grid.h"

namespace vorn {

class CGridMatrixes final : public CGrid {
    Q_OBJECT
public:
    explicit CGridMatrixes(QWidget* parent = nullptr);

    void BuildColumns() override;
    void DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                  std::uint8_t columnPosition, QPainter& painter) override;
    void OnDoubleClickCell(int row, int column) override;

    void SetPackages(const std::map<std::uint8_t, PackedDate>& packages);
    // Years of the selected row, 0 without a selection.
    unsigned SelectedYears() const;
    // The row's three texts: years, period, remarks.
    QString CellText(int row, int column) const;

signals:
    void packageActivated();

private:
    std::vector<std::pair<std::uint8_t, PackedDate>> packages_;
};

} // namespace vorn
