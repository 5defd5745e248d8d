#include "grids/grid.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QHeaderView>
#include <QImage>
#include <QMouseEvent>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "grids/sort_rows.h"
#include "support/offscreen_application.h"

namespace vorn {
namespace {

constexpr std::uint16_t kValueClass = 12;
constexpr std::uint16_t kUnpaintedClass = 2000;
const QColor kBlack(0, 0, 0);

struct Row {
    std::string label;
    int value;
};

// Three columns: a label on the row shading, a value on a class of its own (red, dark red on
// odd rows) and a column whose class lies outside the style table.
class CTestGrid : public CGrid {
public:
    std::vector<Row> rows;
    std::vector<std::pair<int, int>> clicks, rightClicks;

    void Load(std::vector<Row> newRows) {
        rows = std::move(newRows);
        SetRowCount(static_cast<int>(rows.size()));
        RelayoutColumns();
    }
    std::string Labels() const {
        std::string labels;
        for (const Row& row : rows)
            labels += row.label;
        return labels;
    }
    void BuildColumns() override {
        BuildBaseStyles();
        SetRowStyle(kValueClass, 0x0000FF, 0xFFFFFF);
        SetRowStyle(kValueClass + 1, 0x000080, 0xFFFFFF);
        ClearColumns();
        AddColumn(QStringLiteral("名称"), Qt::AlignLeft, 60, 0);
        AddColumn(QStringLiteral("値"), Qt::AlignRight, 80, 100);
        AddColumn(QStringLiteral("空"), Qt::AlignCenter, 50, 0);
        ResetSort(0, true);
    }
    void DrawCell(int row, int column, const QRect& cell, std::uint8_t state, std::uint8_t position,
                  QPainter& painter) override {
        const std::uint16_t styleClass = column == 0   ? row % 2
                                         : column == 1 ? kValueClass + row % 2
                                                       : kUnpaintedClass;
        const QString text = column == 0 ? QString::fromStdString(rows[row].label)
                                         : QString::number(rows[row].value);
        PaintCellBackground(styleClass, state, cell, position, painter);
        PaintCellText(styleClass, state, cell, painter, text,
                      column == 0 ? Qt::AlignLeft : Qt::AlignRight);
    }
    bool Sort() override {
        if (rows.empty())
            return false;
        if (SortColumn() == 1)
            SortRowsByKey(
                rows, [](const Row& r) { return r.value; }, SortAscending());
        else
            SortRowsByKey(
                rows, [](const Row& r) { return r.label; }, SortAscending());
        return true;
    }
    void OnClickCell(int row, int column) override { clicks.emplace_back(row, column); }
    void OnRightClickCell(int row, int column) override { rightClicks.emplace_back(row, column); }
};

class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.resize(400, 200);
        grid.Rebuild();
        grid.show();
        QCoreApplication::processEvents();
    }
    QImage Render() { return grid.viewport()->grab().toImage(); }
    // Middle of a cell, `dx` pixels from its left edge (from its right edge when negative).
    QPoint CellPoint(int row, int column, int dx) {
        return {grid.columnViewportPosition(column) +
                    (dx >= 0 ? dx : grid.columnWidth(column) + dx),
                grid.rowViewportPosition(row) + grid.rowHeight(row) / 2};
    }
    void Click(QWidget* target, QPoint at, Qt::MouseButton button) {
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, target->mapToGlobal(at), button,
                              type == QEvent::MouseButtonPress ? button : Qt::NoButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(target, &event);
        }
    }
    void ClickHeader(int column) {
        QHeaderView* header = grid.horizontalHeader();
        Click(header->viewport(),
              {header->sectionViewportPosition(column) + 10, header->height() / 2}, Qt::LeftButton);
    }

    struct ApplicationFirst {
        ApplicationFirst() { test::OffscreenApplication(); }
    } application_; // before any widget
    CTestGrid grid;
};

TEST_F(GridTest, ColumnsShareTheSpareWidthAndKeepTheirMinimumWhenNarrow) {
    EXPECT_EQ(QFontInfo(*grid.RowFont()).family(), QStringLiteral("IPAMincho"));
    EXPECT_EQ(grid.RowHeight(), 2 + grid.RowFont()->pixelSize());

    for (int width : {400, 600}) {
        grid.resize(width, 200);
        QCoreApplication::processEvents();
        EXPECT_EQ(grid.columnWidth(0), 60);
        EXPECT_EQ(grid.columnWidth(1),
                  grid.maximumViewportSize().width() - grid.ReservedMargin() - 110);
        EXPECT_EQ(grid.columnWidth(2), 50);
    }
    grid.resize(120, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(grid.columnWidth(1), 80);
}

TEST_F(GridTest, HeaderClicksSortAscendingThenDescending) {
    grid.Load({{"a", 3}, {"b", 1}, {"c", 2}, {"d", 1}});
    ClickHeader(1);
    EXPECT_EQ(grid.SortColumn(), 1);
    EXPECT_TRUE(grid.SortAscending());
    EXPECT_EQ(grid.Labels(), "bdca"); // equal values keep their order
    ClickHeader(1);
    EXPECT_FALSE(grid.SortAscending());
    EXPECT_EQ(grid.Labels(), "acdb"); // the ascending order read backwards
    ClickHeader(0);
    EXPECT_EQ(grid.SortColumn(), 0);
    EXPECT_TRUE(grid.SortAscending());
    EXPECT_EQ(grid.Labels(), "abcd");
}

TEST_F(GridTest, AnEmptyListPaintsOnlyItsBackground) {
    grid.Load({});
    ClickHeader(1);
    EXPECT_TRUE(grid.rows.empty());
    const QImage image = Render();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixelColor(x, y), kBlack) << x << "," << y;
}

TEST_F(GridTest, CellsArePaintedFromTheirStyleClass) {
    grid.Load({{"a", 1}, {"b", 2}, {"c", 3}});
    grid.setCurrentIndex({});
    QImage image = Render();
    const QColor gridLine(0x69, 0x69, 0x69);
    // Row shading; the label is left aligned, the value right aligned.
    EXPECT_EQ(image.pixelColor(CellPoint(0, 0, -6)), kBlack);
    EXPECT_EQ(image.pixelColor(CellPoint(1, 0, -6)), QColor(0, 0x20, 0));
    EXPECT_EQ(image.pixelColor(CellPoint(0, 1, 3)), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(CellPoint(1, 1, 3)), QColor(128, 0, 0));
    // Grid lines along every cell's bottom and down the left of all but the first cell.
    const int bottom = grid.rowViewportPosition(1) - 1;
    EXPECT_EQ(image.pixelColor(grid.columnViewportPosition(1) + 10, bottom), gridLine);
    EXPECT_EQ(image.pixelColor(grid.columnViewportPosition(1), bottom - 3), gridLine);
    EXPECT_EQ(image.pixelColor(0, bottom - 3), kBlack);
    bool whiteText = false;
    for (int x = 0; x < grid.columnWidth(0); ++x)
        for (int y = 0; y < bottom; ++y)
            whiteText = whiteText || image.pixelColor(x, y).red() > 160;
    EXPECT_TRUE(whiteText);

    // The focused, selected row: selection colour and a grey border inside the first cell;
    // the class outside the table gets nothing, not even the view's own highlight.
    grid.setCurrentIndex(grid.model()->index(1, 0));
    grid.selectRow(1);
    image = Render();
    EXPECT_EQ(image.pixelColor(CellPoint(1, 0, -6)), ToQColor(kSelectedRowColour));
    EXPECT_EQ(image.pixelColor(CellPoint(1, 1, 3)), ToQColor(kSelectedRowColour));
    EXPECT_EQ(image.pixelColor(CellPoint(1, 0, 0)), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(image.pixelColor(CellPoint(0, 0, -6)), kBlack);
    for (int x = grid.columnViewportPosition(2); x < grid.columnViewportPosition(2) + 50; ++x)
        for (int y = 0; y < grid.rowViewportPosition(2) + grid.rowHeight(2); ++y)
            ASSERT_EQ(image.pixelColor(x, y), kBlack) << x << "," << y;
}

TEST_F(GridTest, ClickHooksGetTheCellUnderTheMouse) {
    grid.Load({{"a", 1}, {"b", 2}});
    Click(grid.viewport(), CellPoint(1, 1, 5), Qt::LeftButton);
    Click(grid.viewport(), CellPoint(1, 1, 5), Qt::RightButton);
    Click(grid.viewport(), CellPoint(1, 1, 5) + QPoint(0, 3 * grid.RowHeight()), Qt::RightButton);
    EXPECT_EQ(grid.clicks, (std::vector<std::pair<int, int>>{{1, 1}}));
    EXPECT_EQ(grid.rightClicks, (std::vector<std::pair<int, int>>{{1, 1}, {-1, -1}}));
}

} // namespace
} // namespace vorn
