#include "screening/ui/grid_screening_filters.h"

#include <QItemSelectionModel>
#include <cstdio>

#include "foundation/text_encoding.h"
#include "grids/sort_rows.h"

namespace vorn {

std::string SavedTimeText(const SavedScreening& record) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04u/%02u/%02u %02u:%02u:%02u",
                  DateYear(record.savedDate), DateMonth(record.savedDate),
                  DateDay(record.savedDate), TimeHour(record.savedTime),
                  TimeMinute(record.savedTime), TimeSecond(record.savedTime));
    return buffer;
}

CGridScreeningFilters::CGridScreeningFilters(const CSavedScreenings& saved, QWidget* parent)
    : CGrid(parent), saved_(saved) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) { emit rowChosen(index.row()); });
}

void CGridScreeningFilters::BuildColumns() {
    BuildBaseStyles();
    ClearColumns();
    AddColumn(QStringLiteral("タイトル"), Qt::AlignLeft, 100, 100);
    AddColumn(QStringLiteral("更新日付"), Qt::AlignLeft, 125, 0);
    ResetSort(0, true);
}

void CGridScreeningFilters::Reload() {
    names_.clear();
    for (const auto& [name, record] : saved_.All())
        names_.push_back(name);
    Sort();
    SetRowCount(static_cast<int>(names_.size()));
    RelayoutColumns();
}

bool CGridScreeningFilters::Sort() {
    if (names_.empty())
        return false;
    if (SortColumn() == 1) {
        SortRowsByKey(
            names_,
            [this](const std::string& name) {
                const SavedScreening* record = saved_.Find(name);
                return record ? (std::uint64_t{record->savedDate} << 32 | record->savedTime) : 0;
            },
            SortAscending());
    } else {
        SortRowsByKey(
            names_, [](const std::string& name) { return name; }, SortAscending());
    }
    return true;
}

std::string CGridScreeningFilters::NameAt(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < names_.size()
               ? names_[static_cast<std::size_t>(row)]
               : std::string();
}

int CGridScreeningFilters::SelectedRow() const {
    if (selectionModel() == nullptr)
        return -1;
    for (int row = 0; row < static_cast<int>(names_.size()); ++row)
        if (selectionModel()->isRowSelected(row, {}))
            return row;
    return -1;
}

void CGridScreeningFilters::DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                                     std::uint8_t columnPosition, QPainter& painter) {
    const std::string name = NameAt(row);
    const SavedScreening* record = saved_.Find(name);
    const std::uint16_t styleClass = static_cast<std::uint16_t>(row % 2);
    PaintCellBackground(styleClass, state, cell, columnPosition, painter);
    if (record == nullptr)
        return;
    const std::string text = column == 0 ? Cp932ToUtf8(name) : SavedTimeText(*record);
    PaintCellText(styleClass, state, cell, painter, QString::fromStdString(text), Qt::AlignLeft);
}

void CGridScreeningFilters::OnClickCell(int row, int column) {
    emit rowChosen(row);
}

void CGridScreeningFilters::OnDoubleClickCell(int row, int column) {
    emit rowActivated(row);
}

} // namespace vorn
