#include "grids/column_calculator.h"

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(ColumnCalculatorTest, SpareWidthIsSharedByWeightAndNeverTakenAway) {
    CColumnCalculator layout;
    layout.Set(0, 70, 0);
    layout.Set(1, 65, 100);
    layout.Set(2, 75, 50);
    layout.Set(3, 60, 50);
    // spare = 400 - 17 - 270 = 113: 56 and 28 by weight, the last weighted column the rest.
    layout.Calculate(400, 17);
    EXPECT_EQ(layout.Width(0), 70);
    EXPECT_EQ(layout.Width(1), 65 + 56);
    EXPECT_EQ(layout.Width(2), 75 + 28);
    EXPECT_EQ(layout.Width(3), 60 + 29);

    for (int narrow : {287, 100, -50}) {
        layout.Calculate(narrow, 17); // after a wider layout
        EXPECT_EQ(layout.Width(1), 65) << narrow;
        EXPECT_EQ(layout.Width(3), 60) << narrow;
    }

    CColumnCalculator fixed;
    fixed.Set(0, 40, 0);
    fixed.Calculate(1000, 0);
    EXPECT_EQ(fixed.Width(0), 40);
    EXPECT_EQ(fixed.Width(1), 0);
}

} // namespace
} // namespace vorn
