#pragma once
// The base of every list of the program: a table whose rows are virtual (the list keeps its
// own row array and tells the view only how many rows there are), drawn cell by cell from a
// table of styles, with a column layout that shares spare width, sorting by header click and
// click hooks.
#include <QFont>
#include <QPen>
#include <QPointer>
#include <QTableView>
#include <cstdint>
#include <map>
#include <optional>

#include "ui_base/graphic_manager.h"
#include "foundation/message_sink.h"
#include "grids/column_calculator.h"

namespace vorn {

// Row state passed to DrawCell and the painters.
constexpr std::uint8_t kCellFocused = 1;
constexpr std::uint8_t kCellSelected = 2;

// Column position passed to DrawCell and PaintCellBackground.
constexpr std::uint8_t kFirstColumn = 0;
constexpr std::uint8_t kInnerColumn = 1;
constexpr std::uint8_t kLastColumn = 2;

// A style key is class * 64 + part + state; classes above the limit are not painted.
constexpr std::uint16_t kStyleClassLimit = 1023;
constexpr std::uint16_t kStyleBorder = 0;     // border pen
constexpr std::uint16_t kStyleBackground = 4; // background brush
constexpr std::uint16_t kStyleText = 8;       // text colour and font

constexpr std::uint16_t StyleKey(std::uint16_t styleClass, std::uint16_t part, std::uint8_t state) {
    return static_cast<std::uint16_t>(styleClass * 64 + part + (state & 3));
}

// Colours of the base styles.
constexpr ColorRef kGridLineColour = 0x696969;
constexpr ColorRef kFocusBorderColour = 0x808080;
constexpr ColorRef kRowTextColour = 0xFFFFFF;
constexpr ColorRef kSelectedRowColour = 0x6A3A0A; // dark blue

class CGridModel;

class CGrid : public QTableView {
    Q_OBJECT
public:
    explicit CGrid(QWidget* parent = nullptr);

    // --- Operations in slot order ---
    ~CGrid() override;
    // Sets up the style table (BuildBaseStyles first), adds the columns with their layout and
    // resets the sort state.
    virtual void BuildColumns() = 0;
    // Paints one cell of a virtual row with PaintCellBackground and PaintCellText. `state`
    // holds kCellSelected and kCellFocused.
    virtual void DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                          std::uint8_t columnPosition, QPainter& painter) = 0;
    virtual void OnClickCell(int row, int column) {}
    virtual void OnDoubleClickCell(int row, int column) {}
    // Row and column are -1 below the last row.
    virtual void OnRightClickCell(int row, int column) {}
    // Sorts the list's rows by SortColumn() and SortAscending(); true when the order may
    // have changed and the list needs repainting.
    virtual bool Sort() { return false; }
    // Posts the notify message to the notify target, when there is one.
    virtual void PostNotify(std::uintptr_t wParam, std::intptr_t lParam);
    virtual void PaintCellBackground(std::uint16_t styleClass, std::uint8_t state,
                                     const QRect& cell, std::uint8_t columnPosition,
                                     QPainter& painter);
    // One line, vertically centred, cut with an ellipsis when too long.
    virtual void PaintCellText(std::uint16_t styleClass, std::uint8_t state, const QRect& cell,
                               QPainter& painter, const QString& text, Qt::Alignment alignment);
    virtual std::uint16_t GetFontSize() const { return 9; } // points
    virtual ColorRef GetRowColour() const { return 0x000000; }
    virtual ColorRef GetAlternateRowColour() const { return 0x002000; }
    // Builds the columns again and lays them out.
    virtual void Rebuild();
    virtual void SetSort(int column, bool ascending);
    // The row font from the shared cache; false when the cache has no such font.
    virtual bool SetFont(FontFace face, std::uint16_t points, bool bold = false,
                         bool italic = false, bool underline = false, bool strikeOut = false);
    virtual void SetBackground(ColorRef colour, ColorRef penColour, std::uint8_t penWidth = 1,
                               std::uint16_t penStyle = 0);

    // Where PostNotify goes; the target is only ever reached through posted events.
    void SetNotifyTarget(QObject* target, std::uint32_t message = kMsgProgress);

    // The number of virtual rows; resets selection and scrolling.
    void SetRowCount(int rows);
    int RowCount() const;
    // Recomputes the column widths for the current window width.
    void RelayoutColumns();

    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }
    const CColumnCalculator& ColumnLayouts() const { return columnLayout_; }
    // Kept free at the right of the columns so that a vertical scroll bar does not force a
    // horizontal one.
    int ReservedMargin() const;
    int RowHeight() const { return rowHeightAdjustment_; }
    const std::optional<QFont>& RowFont() const { return font_; }

protected:
    // The styles every list starts from: black background with grey grid lines, the row font
    // "ＭＳ 明朝" at GetFontSize, class 0 on GetRowColour and class 1 on
    // GetAlternateRowColour, both in white text.
    void BuildBaseStyles();
    void ClearStyles();
    void SetStyleBrush(std::uint16_t styleClass, std::uint8_t state, ColorRef colour);
    void SetStyleBorder(std::uint16_t styleClass, std::uint8_t state, ColorRef colour,
                        std::uint8_t width = 1);
    void SetStyleTextColour(std::uint16_t styleClass, std::uint8_t state, ColorRef colour);
    // Background and text colour for all four row states; selected rows take
    // kSelectedRowColour and a focused row gets a grey border.
    void SetRowStyle(std::uint16_t styleClass, ColorRef background, ColorRef text);

    void ClearColumns();
    // Appends a column with its heading and layout and returns its index.
    int AddColumn(const QString& heading, Qt::Alignment headingAlignment,
                  std::uint16_t minimumWidth, std::uint8_t weight);
    // Sets the sort state without sorting.
    void ResetSort(int column, bool ascending);

    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    friend class CGridDelegate;
    void PaintCell(QPainter& painter, const QStyleOptionViewItem& option, const QModelIndex& index);
    void OnHeaderClicked(int column);

    CGridModel* model_; // owned by this widget
    CColumnCalculator columnLayout_;
    std::optional<QFont> font_;
    std::map<std::uint16_t, QBrush> styleBrushes_; // background brushes by style key
    std::map<std::uint16_t, QPen> stylePens_;      // border pens by style key
    std::map<std::uint16_t, QColor> styleTextColours_;
    std::optional<QPen> gridPen_;
    int rowHeightAdjustment_ = 0;
    int textTopOffset_ = 1;
    int leftTextMargin_ = 5;
    int rightTextMargin_ = 3;
    int sortColumn_ = 0;
    bool ascending_ = true;
    QPointer<QObject> notifyTarget_;
    std::uint32_t notifyMessage_ = kMsgProgress;
};

} // namespace vorn
