#include "screening/ui/grid_securities.h"

#include <QItemSelectionModel>
#include <algorithm>
#include <string>

#include "gaps/listing_analysis.h"
#include "grids/sort_rows.h"
#include "matrix/stock_code.h"
#include "screening/last_quote.h"

namespace vorn {

CGridSecurities::CGridSecurities(const CSecuritiesList& list, QWidget* parent)
    : CGrid(parent), list_(list) {}

void CGridSecurities::BuildColumns() {
    BuildBaseStyles();
    // Red text for rising figures and buy signals, light blue for falling ones and sells.
    SetRowStyle(kRisingClass, GetRowColour(), 0x6060FF);
    SetRowStyle(kRisingClass + 1, GetAlternateRowColour(), 0x6060FF);
    SetRowStyle(kFallingClass, GetRowColour(), 0xFFC060);
    SetRowStyle(kFallingClass + 1, GetAlternateRowColour(), 0xFFC060);
    ClearColumns();
    static constexpr std::uint16_t kWidths[kSecuritiesColumnCount] = {
        50, 120, 50, 100, 70, 110, 140, 70, 60, 60, 60, 70, 70};
    for (int column = 0; column < kSecuritiesColumnCount; ++column)
        AddColumn(QString::fromUtf8(SecuritiesColumnHeading(column)),
                  IsSecuritiesColumnRightAligned(column) ? Qt::AlignRight : Qt::AlignLeft,
                  kWidths[column], column == kColumnName ? 100 : 0);
    ResetSort(kColumnCode, true);
}

void CGridSecurities::Reload() {
    order_.resize(list_.RowCount());
    for (std::size_t row = 0; row < order_.size(); ++row)
        order_[row] = row;
    SortOrder();
    SetRowCount(static_cast<int>(order_.size()));
    FitColumnsToTexts([this](int row, int column) {
        return QString::fromStdString(list_.CellText(static_cast<std::size_t>(row), column));
    });
}

std::uint16_t CGridSecurities::CellClass(std::size_t listRow, int column) const {
    const std::uint16_t shade = static_cast<std::uint16_t>(listRow % 2);
    const ListingAnalysis* record = list_.Sources().FindAnalysis(list_.RowKey(listRow));
    double sign = 0.0;
    switch (column) {
    case kColumnLaw:
        if (record != nullptr && record->daysSinceEvent == 0) {
            const LawCode code = LastDayLawCode(*record);
            sign = IsBuySignal(code) ? 1.0 : IsSellSignal(code) ? -1.0 : 0.0;
        }
        break;
    case kColumnPosition:
        if (record != nullptr && record->position != kPositionNone)
            sign = (record->position % 2) == 1 ? 1.0 : -1.0;
        break;
    case kColumnReturn:
    case kColumnBeta:
    case kColumnPreviousInclination:
    case kColumnCurrentInclination:
        sign = NumericKey(listRow, column);
        break;
    default:
        break;
    }
    if (sign > 0)
        return kRisingClass + shade;
    if (sign < 0)
        return kFallingClass + shade;
    return shade;
}

double CGridSecurities::NumericKey(std::size_t listRow, int column) const {
    const SecurityKey key = list_.RowKey(listRow);
    const ScreeningSources& sources = list_.Sources();
    const SecurityRecord* security = sources.matrix->FindSecurity(key);
    const ListingAnalysis* record = sources.FindAnalysis(key);
    const SecurityInclination* inclination = sources.FindInclination(key);
    switch (column) {
    case kColumnPrice:
    case kColumnMarketCap: {
        if (security == nullptr)
            return 0.0;
        const LastQuote quote = ReadLastQuote(*security);
        const double scale = quote.hundredths ? 100.0 : 1.0;
        if (column == kColumnPrice)
            return static_cast<double>(quote.close) / scale;
        return static_cast<double>(MarketCapitalisation(SharesIssued(*security), quote));
    }
    case kColumnReturn:
        return record ? record->annualReturn : 0.0;
    case kColumnRisk:
        return record ? record->annualRisk : 0.0;
    case kColumnBeta:
        return record ? record->beta : 0.0;
    case kColumnPreviousInclination:
        return inclination ? inclination->previous : 0.0;
    case kColumnCurrentInclination:
        return inclination ? inclination->current : 0.0;
    default:
        return 0.0;
    }
}

bool CGridSecurities::Sort() {
    if (order_.empty())
        return false;
    // The selection belongs to securities, not to row positions.
    const std::optional<SecurityKey> current = CurrentKey();
    std::vector<SecurityKey> selected;
    for (std::size_t listRow : SelectedListRows())
        selected.push_back(list_.RowKey(listRow));
    SortOrder();
    if (selectionModel() == nullptr || (selected.empty() && !current))
        return true;
    std::sort(selected.begin(), selected.end());
    QItemSelection selection;
    for (int row = 0; row < static_cast<int>(order_.size()); ++row)
        if (std::binary_search(selected.begin(), selected.end(), KeyAt(row)))
            selection.select(model()->index(row, 0),
                             model()->index(row, model()->columnCount() - 1));
    for (int row = 0; current && row < static_cast<int>(order_.size()); ++row)
        if (KeyAt(row) == *current)
            selectionModel()->setCurrentIndex(model()->index(row, 0),
                                              QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    return true;
}

void CGridSecurities::SortOrder() {
    const int column = SortColumn();
    const bool numeric = column == kColumnPrice || column == kColumnMarketCap ||
                         (column >= kColumnReturn && column <= kColumnCurrentInclination);
    // Keys by list row, computed once rather than in every comparison.
    const std::size_t rows = list_.RowCount();
    if (column == kColumnCode) {
        // By the code as written (1301, 130A, 1332), then by market.
        std::vector<std::uint64_t> keys(rows);
        for (std::size_t row = 0; row < rows; ++row)
            keys[row] = SecurityKeySortKey(list_.RowKey(row));
        SortRowsByKey(
            order_, [&](std::size_t row) { return keys[row]; }, SortAscending());
    } else if (numeric) {
        std::vector<double> keys(rows);
        for (std::size_t row = 0; row < rows; ++row)
            keys[row] = NumericKey(row, column);
        SortRowsByKey(
            order_, [&](std::size_t row) { return keys[row]; }, SortAscending());
    } else {
        std::vector<std::string> keys(rows);
        for (std::size_t row = 0; row < rows; ++row)
            keys[row] = list_.CellText(row, column);
        SortRowsByKey(
            order_, [&](std::size_t row) { return keys[row]; }, SortAscending());
    }
}

void CGridSecurities::DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                               std::uint8_t columnPosition, QPainter& painter) {
    if (row < 0 || static_cast<std::size_t>(row) >= order_.size())
        return;
    const std::size_t listRow = order_[static_cast<std::size_t>(row)];
    std::uint16_t styleClass = CellClass(listRow, column);
    // Shading follows the grid row, not the list row.
    styleClass = static_cast<std::uint16_t>((styleClass & ~1u) | (row % 2));
    PaintCellBackground(styleClass, state, cell, columnPosition, painter);
    PaintCellText(styleClass, state, cell, painter,
                  QString::fromStdString(list_.CellText(listRow, column)),
                  IsSecuritiesColumnRightAligned(column) ? Qt::AlignRight : Qt::AlignLeft);
}

void CGridSecurities::OnDoubleClickCell(int row, int column) {
    if (row >= 0 && static_cast<std::size_t>(row) < order_.size())
        emit securityActivated(KeyAt(row));
}

std::vector<std::size_t> CGridSecurities::SelectedListRows() const {
    std::vector<std::size_t> rows;
    if (selectionModel() == nullptr)
        return rows;
    for (int row = 0; row < static_cast<int>(order_.size()); ++row)
        if (selectionModel()->isRowSelected(row, {}))
            rows.push_back(ListRow(row));
    return rows;
}

std::optional<SecurityKey> CGridSecurities::CurrentKey() const {
    const QModelIndex index = currentIndex();
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= order_.size())
        return std::nullopt;
    return KeyAt(index.row());
}

bool CGridSecurities::SelectRow(int row) {
    const QModelIndex index = model()->index(row, 0);
    if (!index.isValid())
        return false;
    setCurrentIndex(index);
    selectRow(row);
    scrollTo(index);
    return true;
}

bool CGridSecurities::SelectKey(SecurityKey key) {
    for (int row = 0; row < static_cast<int>(order_.size()); ++row)
        if (KeyAt(row) == key)
            return SelectRow(row);
    return false;
}

bool CGridSecurities::SelectCode(std::uint16_t code) {
    for (int row = 0; row < static_cast<int>(order_.size()); ++row)
        if (CodeOfKey(KeyAt(row)) == code)
            return SelectRow(row);
    return false;
}

} // namespace vorn
