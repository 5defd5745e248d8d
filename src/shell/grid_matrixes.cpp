#include "shell/grid_matrixes.h"

#include <QPainter>
#include <cstdio>

#include "foundation/number_format.h"

namespace vorn {

CGridMatrixes::CGridMatrixes(QWidget* parent) : CGrid(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    Rebuild();
}

void CGridMatrixes::BuildColumns() {
    BuildBaseStyles();
    ClearColumns();
    AddColumn(QStringLiteral("年数"), Qt::AlignCenter, 45, 0);
    AddColumn(QStringLiteral("期間"), Qt::AlignCenter, 95, 0);
    AddColumn(QStringLiteral("備考"), Qt::AlignLeft, 120, 100);
    ResetSort(0, true);
}

void CGridMatrixes::SetPackages(const std::map<std::uint8_t, PackedDate>& packages) {
    packages_.assign(packages.begin(), packages.end());
    SetRowCount(static_cast<int>(packages_.size()));
}

QString CGridMatrixes::CellText(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(packages_.size()))
        return {};
    const auto [years, first] = packages_[static_cast<std::size_t>(row)];
    char text[160];
    switch (column) {
    case 0:
        std::snprintf(text, sizeof text, "%u年間", unsigned{years});
        break;
    case 1:
        std::snprintf(text, sizeof text, "%04u/%02u/%02u ～", DateYear(first), DateMonth(first),
                      DateDay(first));
        break;
    case 2: {
        char memory[32];
        FormatGroupedInteger(memory, unsigned{years} * 20u + 28u);
        std::snprintf(text, sizeof text,
                      "推奨する空きメモリは%sMB以上です （ダウンロードサイズ：約%uMB）", memory,
                      unsigned{years} * 4u + 7u);
        break;
    }
    default:
        return {};
    }
    return QString::fromUtf8(text);
}

void CGridMatrixes::DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                             std::uint8_t columnPosition, QPainter& painter) {
    const std::uint16_t styleClass = static_cast<std::uint16_t>(row % 2);
    PaintCellBackground(styleClass, state, cell, columnPosition, painter);
    PaintCellText(styleClass, state, cell, painter, CellText(row, column),
                  column == 2 ? Qt::AlignLeft : Qt::AlignCenter);
}

void CGridMatrixes::OnDoubleClickCell(int row, int) {
    if (row >= 0 && row < static_cast<int>(packages_.size())) {
        selectRow(row);
        emit packageActivated();
    }
}

unsigned CGridMatrixes::SelectedYears() const {
    const QModelIndexList rows =
        selectionModel() ? selectionModel()->selectedRows() : QModelIndexList{};
    if (rows.isEmpty())
        return 0;
    const int row = rows.front().row();
    if (row < 0 || row >= static_cast<int>(packages_.size()))
        return 0;
    return packages_[static_cast<std::size_t>(row)].first;
}

} // namespace vorn
