#include "matrix/market_matrix.h"

#include <gtest/gtest.h>

#include "support/market_builder.h"

namespace vorn {
namespace {

TEST(MarketMatrixSmoke, BuilderProducesSecurities) {
    auto matrix = test::CMarketBuilder()
                      .Security(1301, 1, MakePackedDate(2007, 1, 4), {{100, 110, 90, 105, 1000}})
                      .Build();
    EXPECT_EQ(matrix->Securities().size(), 1u);
}

} // namespace
} // namespace vorn
