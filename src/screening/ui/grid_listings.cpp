#include "screening/ui/grid_listings.h"

#include <QItemSelectionModel>
#include <string>

#include "foundation/text_encoding.h"
#include "grids/sort_rows.h"
#include "matrix/market_naming.h"
#include "matrix/name_tables.h"
#include "matrix/stock_code.h"

namespace vorn {

CGridListings::CGridListings(const CMarketMatrix& matrix, int identity, QWidget* parent)
    : CGrid(parent), matrix_(matrix), identity_(identity) {}

void CGridListings::BuildColumns() {
    BuildBaseStyles();
    // Securities off their company's preferred market are greyed.
    SetRowStyle(kOtherClass, GetRowColour(), 0x909090);
    SetRowStyle(kOtherClass + 1, GetAlternateRowColour(), 0x909090);
    SetRowStyle(kPreferredCodeClass, GetRowColour(), 0x80FFFF);
    SetRowStyle(kPreferredCodeClass + 1, GetAlternateRowColour(), 0x80FFFF);
    SetRowStyle(kOtherCodeClass, GetRowColour(), 0x609090);
    SetRowStyle(kOtherCodeClass + 1, GetAlternateRowColour(), 0x609090);
    ClearColumns();
    AddColumn(QStringLiteral("コード"), Qt::AlignCenter, 50, 0);
    AddColumn(QStringLiteral("市場"), Qt::AlignLeft, 50, 0);
    AddColumn(QStringLiteral("銘柄名称"), Qt::AlignLeft, 10, 100);
    ResetSort(0, true);
}

void CGridListings::Load(std::vector<SecurityKey> keys) {
    keys_ = std::move(keys);
    Sort();
    SetRowCount(static_cast<int>(keys_.size()));
    RelayoutColumns();
}

bool CGridListings::OnPreferredMarket(SecurityKey key) const {
    const auto it = matrix_.PreferredMarkets().find(CodeOfKey(key));
    return it != matrix_.PreferredMarkets().end() && it->second == MarketOfKey(key);
}

bool CGridListings::Sort() {
    if (keys_.empty())
        return false;
    switch (SortColumn()) {
    case 1:
        SortRowsByKey(
            keys_,
            [naming = MarketNamingOf(matrix_)](SecurityKey key) {
                return std::string(naming.Name(MarketOfKey(key)));
            },
            SortAscending());
        break;
    case 2:
        SortRowsByKey(
            keys_,
            [this](SecurityKey key) {
                const CompanyRecord* company = matrix_.FindCompany(CodeOfKey(key));
                return company && company->name ? *company->name : std::string();
            },
            SortAscending());
        break;
    default:
        SortRowsByKey(
            keys_, [](SecurityKey key) { return SecurityKeySortKey(key); }, SortAscending());
        break;
    }
    return true;
}

void CGridListings::DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                             std::uint8_t columnPosition, QPainter& painter) {
    if (row < 0 || static_cast<std::size_t>(row) >= keys_.size())
        return;
    const SecurityKey key = keys_[static_cast<std::size_t>(row)];
    const bool preferred = OnPreferredMarket(key);
    const std::uint16_t shade = static_cast<std::uint16_t>(row % 2);
    std::uint16_t styleClass = 0;
    QString text;
    Qt::Alignment alignment = Qt::AlignLeft;
    switch (column) {
    case 0:
        styleClass = preferred ? kPreferredCodeClass : kOtherCodeClass;
        text = QString::fromStdString(FormatStockCode(CodeOfKey(key)));
        alignment = Qt::AlignCenter;
        break;
    case 1:
        styleClass = preferred ? 0 : kOtherClass;
        text = QString::fromUtf8(MarketNamingOf(matrix_).Name(MarketOfKey(key)));
        break;
    default: {
        styleClass = preferred ? 0 : kOtherClass;
        const CompanyRecord* company = matrix_.FindCompany(CodeOfKey(key));
        text = company && company->name ? QString::fromStdString(Cp932ToUtf8(*company->name))
                                        : QString::fromUtf8(kMissingName);
        break;
    }
    }
    styleClass = static_cast<std::uint16_t>(styleClass + shade);
    PaintCellBackground(styleClass, state, cell, columnPosition, painter);
    PaintCellText(styleClass, state, cell, painter, text, alignment);
}

std::vector<SecurityKey> CGridListings::SelectedKeys() const {
    std::vector<SecurityKey> keys;
    if (selectionModel() == nullptr)
        return keys;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        if (static_cast<std::size_t>(index.row()) < keys_.size())
            keys.push_back(keys_[static_cast<std::size_t>(index.row())]);
    return keys;
}

void CGridListings::OnDoubleClickCell(int row, int column) {
    PostNotify(static_cast<std::uintptr_t>(identity_), 0);
}

} // namespace vorn
