#include "grids/grid.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <vector>

#include "ui_base/posted_message.h"

namespace vorn {

// Holds only the row count and the headings; the cells are drawn from the list's own rows.
class CGridModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : rows_;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(headings_.size());
    }
    QVariant data(const QModelIndex&, int) const override { return {}; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 ||
            section >= static_cast<int>(headings_.size()))
            return {};
        if (role == Qt::DisplayRole)
            return headings_[section].text;
        if (role == Qt::TextAlignmentRole)
            return static_cast<int>(headings_[section].alignment | Qt::AlignVCenter);
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    void SetRowCount(int rows) {
        beginResetModel();
        rows_ = rows < 0 ? 0 : rows;
        endResetModel();
    }
    int AddColumn(const QString& heading, Qt::Alignment alignment) {
        const int column = static_cast<int>(headings_.size());
        beginInsertColumns({}, column, column);
        headings_.push_back({heading, alignment});
        endInsertColumns();
        return column;
    }
    void ClearColumns() {
        if (headings_.empty())
            return;
        beginRemoveColumns({}, 0, static_cast<int>(headings_.size()) - 1);
        headings_.clear();
        endRemoveColumns();
    }

private:
    struct Heading {
        QString text;
        Qt::Alignment alignment;
    };
    std::vector<Heading> headings_;
    int rows_ = 0;
};

class CGridDelegate final : public QStyledItemDelegate {
public:
    explicit CGridDelegate(CGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        grid_->PaintCell(*painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        return {grid_->columnWidth(index.column()), grid_->RowHeight()};
    }

private:
    CGrid* grid_;
};

CGrid::CGrid(QWidget* parent) : QTableView(parent), model_(new CGridModel(this)) {
    setModel(model_);
    setItemDelegate(new CGridDelegate(this));
    setShowGrid(false); // the cells draw their own lines with the grid pen
    // The cells paint selection themselves; the view's own row highlight would show through
    // cells whose class has no background.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Highlight, Qt::transparent);
    setPalette(palette);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSortingEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { OnHeaderClicked(column); });
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { OnClickCell(index.row(), index.column()); });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { OnDoubleClickCell(index.row(), index.column()); });
}

CGrid::~CGrid() = default;

void CGrid::PostNotify(std::uintptr_t wParam, std::intptr_t lParam) {
    if (notifyTarget_)
        CPostedMessage::Post(notifyTarget_.data(), notifyMessage_, wParam, lParam);
}

void CGrid::PaintCellBackground(std::uint16_t styleClass, std::uint8_t state, const QRect& cell,
                                std::uint8_t columnPosition, QPainter& painter) {
    if (styleClass > kStyleClassLimit)
        return;
    if (auto it = styleBrushes_.find(StyleKey(styleClass, kStyleBackground, state));
        it != styleBrushes_.end())
        painter.fillRect(cell, it->second);
    // Edges in exclusive coordinates, as the cell's pixels run from left to right - 1.
    const int left = cell.left();
    const int top = cell.top();
    const int right = cell.left() + cell.width();
    const int bottom = cell.top() + cell.height();
    if (auto it = stylePens_.find(StyleKey(styleClass, kStyleBorder, state));
        it != stylePens_.end()) {
        const int borderLeft = columnPosition == kFirstColumn ? left : left + 1;
        const int borderRight = columnPosition == kFirstColumn ? right - 2 : right;
        const int borderBottom = bottom - 1;
        if (borderRight - borderLeft >= 2 && borderBottom - top >= 2) {
            painter.setPen(it->second);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(borderLeft, top, borderRight - borderLeft - 1, borderBottom - top - 1);
        }
    }
    if (gridPen_) {
        painter.setPen(*gridPen_);
        painter.drawLine(left, bottom - 1, right - 1, bottom - 1);
        if (columnPosition != kFirstColumn)
            painter.drawLine(left, top, left, bottom - 1);
        if (columnPosition == kLastColumn)
            painter.drawLine(right - 1, top, right - 1, bottom - 1);
    }
}

void CGrid::PaintCellText(std::uint16_t styleClass, std::uint8_t state, const QRect& cell,
                          QPainter& painter, const QString& text, Qt::Alignment alignment) {
    if (styleClass > kStyleClassLimit || text.isEmpty())
        return;
    auto colour = styleTextColours_.find(StyleKey(styleClass, kStyleText, state));
    painter.setPen(colour != styleTextColours_.end() ? colour->second : ToQColor(kRowTextColour));
    if (font_)
        painter.setFont(*font_);
    QRect area = cell;
    if (area.height() > textTopOffset_)
        area.setTop(area.top() + textTopOffset_);
    if (area.width() > leftTextMargin_)
        area.setLeft(area.left() + leftTextMargin_);
    if (area.width() > rightTextMargin_)
        area.setRight(area.right() - rightTextMargin_);
    const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, area.width());
    painter.drawText(area,
                     static_cast<int>((alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter |
                                      Qt::TextSingleLine),
                     shown);
}

void CGrid::Rebuild() {
    BuildColumns();
    RelayoutColumns();
    viewport()->update();
}

void CGrid::SetSort(int column, bool ascending) {
    sortColumn_ = column;
    ascending_ = ascending;
    if (Sort())
        viewport()->update();
}

bool CGrid::SetFont(FontFace face, std::uint16_t points, bool bold, bool italic, bool underline,
                    bool strikeOut) {
    const QFont* font = CGraphicManager::Shared().GetFontByIndex(
        nullptr, this, points, static_cast<std::uint16_t>(face), bold, italic, underline, strikeOut,
        0);
    if (font == nullptr)
        return false;
    font_ = *font;
    rowHeightAdjustment_ = 2 + font->pixelSize();
    verticalHeader()->setDefaultSectionSize(rowHeightAdjustment_);
    setFont(*font);
    return true;
}

void CGrid::SetBackground(ColorRef colour, ColorRef penColour, std::uint8_t penWidth,
                          std::uint16_t penStyle) {
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Base, ToQColor(colour));
    palette.setColor(QPalette::Window, ToQColor(colour));
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
    if (const QPen* pen = CGraphicManager::Shared().GetPen(nullptr, penColour, penStyle, penWidth))
        gridPen_ = *pen;
    else
        gridPen_.reset();
}

void CGrid::SetNotifyTarget(QObject* target, std::uint32_t message) {
    notifyTarget_ = target;
    notifyMessage_ = message;
}

void CGrid::SetRowCount(int rows) {
    model_->SetRowCount(rows);
}

int CGrid::RowCount() const {
    return model_->rowCount();
}

int CGrid::ReservedMargin() const {
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void CGrid::RelayoutColumns() {
    if (columnLayout_.Empty())
        return;
    columnLayout_.Calculate(maximumViewportSize().width(), ReservedMargin());
    for (const auto& [column, layout] : columnLayout_.Columns())
        if (column < model_->columnCount())
            setColumnWidth(column, layout.width);
}

void CGrid::BuildBaseStyles() {
    ClearStyles();
    SetBackground(GetRowColour(), kGridLineColour);
    SetFont(FontFace::Mincho, GetFontSize());
    SetRowStyle(0, GetRowColour(), kRowTextColour);
    SetRowStyle(1, GetAlternateRowColour(), kRowTextColour);
}

void CGrid::ClearStyles() {
    styleBrushes_.clear();
    stylePens_.clear();
    styleTextColours_.clear();
}

void CGrid::SetStyleBrush(std::uint16_t styleClass, std::uint8_t state, ColorRef colour) {
    if (styleClass > kStyleClassLimit)
        return;
    if (const QBrush* brush = CGraphicManager::Shared().GetBrush(nullptr, colour, -1))
        styleBrushes_[StyleKey(styleClass, kStyleBackground, state)] = *brush;
}

void CGrid::SetStyleBorder(std::uint16_t styleClass, std::uint8_t state, ColorRef colour,
                           std::uint8_t width) {
    if (styleClass > kStyleClassLimit)
        return;
    if (const QPen* pen = CGraphicManager::Shared().GetPen(nullptr, colour, 0, width))
        stylePens_[StyleKey(styleClass, kStyleBorder, state)] = *pen;
}

void CGrid::SetStyleTextColour(std::uint16_t styleClass, std::uint8_t state, ColorRef colour) {
    if (styleClass > kStyleClassLimit)
        return;
    styleTextColours_[StyleKey(styleClass, kStyleText, state)] = ToQColor(colour);
}

void CGrid::SetRowStyle(std::uint16_t styleClass, ColorRef background, ColorRef text) {
    for (std::uint8_t state = 0; state < 4; ++state) {
        SetStyleBrush(styleClass, state,
                      (state & kCellSelected) != 0 ? kSelectedRowColour : background);
        SetStyleTextColour(styleClass, state, text);
        if ((state & kCellFocused) != 0)
            SetStyleBorder(styleClass, state, kFocusBorderColour);
    }
}

void CGrid::ClearColumns() {
    model_->ClearColumns();
    columnLayout_.Clear();
}

int CGrid::AddColumn(const QString& heading, Qt::Alignment headingAlignment,
                     std::uint16_t minimumWidth, std::uint8_t weight) {
    const int column = model_->AddColumn(heading, headingAlignment);
    columnLayout_.Set(column, minimumWidth, weight);
    setColumnWidth(column, minimumWidth);
    return column;
}

void CGrid::ResetSort(int column, bool ascending) {
    sortColumn_ = column;
    ascending_ = ascending;
}

void CGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    RelayoutColumns();
}

void CGrid::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid())
            OnRightClickCell(index.row(), index.column());
        else
            OnRightClickCell(-1, -1);
    }
}

void CGrid::PaintCell(QPainter& painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index) {
    std::uint8_t state = 0;
    if ((option.state & QStyle::State_Selected) != 0)
        state |= kCellSelected;
    if (currentIndex().isValid() && currentIndex().row() == index.row())
        state |= kCellFocused;
    const int last = model_->columnCount() - 1;
    const std::uint8_t position = index.column() == 0      ? kFirstColumn
                                  : index.column() == last ? kLastColumn
                                                           : kInnerColumn;
    painter.save();
    DrawCell(index.row(), index.column(), option.rect, state, position, painter);
    painter.restore();
}

void CGrid::OnHeaderClicked(int column) {
    if (column == sortColumn_)
        SetSort(column, !ascending_);
    else
        SetSort(column, true);
}

} // namespace vorn
