#include "matrix/stock_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace vorn {
namespace {

TEST(StockCode, EveryHeldValueRoundTripsThroughItsWrittenForm) {
    std::set<std::string> seen;
    for (std::uint32_t stored = 0; stored < kEndOfCodes; ++stored) {
        std::string written = FormatStockCode(stored);
        ASSERT_EQ(written.size(), 4u) << stored;
        ASSERT_TRUE(seen.insert(written).second) << written;
        auto parsed = ParseStockCode(written);
        ASSERT_TRUE(parsed.has_value()) << written;
        ASSERT_EQ(*parsed, stored) << written;
    }
}

TEST(StockCode, WrittenFormsFollowTheExchangeRule) {
    EXPECT_EQ(FormatStockCode(7203), "7203");
    EXPECT_EQ(FormatStockCode(12), "0012");
    EXPECT_EQ(*ParseStockCode("130A"), 10000 + 130 * 19);
    EXPECT_EQ(*ParseStockCode("135a"), 10000 + 135 * 19);
    EXPECT_EQ(*ParseStockCode("999Y"), 28999);
    EXPECT_EQ(*ParseStockCode("1A00"), 29000 + 1900);
    EXPECT_EQ(*ParseStockCode("9Y99"), 47999);
    EXPECT_EQ(FormatStockCode(48000), "48000");
    EXPECT_EQ(FormatStockCode(65535), "65535");
}

TEST(StockCode, RefusesWhatTheFieldCannotHold) {
    for (const char* text : {"", "12345", "9A7A", "130B", "130E", "130I", "130O", "130Q",
                             "130V", "130Z", "1B00", "A300", "13A0", "130-", " 130", "１３０Ａ"})
        EXPECT_FALSE(ParseStockCode(text).has_value()) << text;
}

TEST(StockCode, DeliveredCodesTakeOnlyTheCommonStockSuffix) {
    EXPECT_EQ(*ParseDeliveredStockCode("72030"), 7203);
    EXPECT_EQ(*ParseDeliveredStockCode("130A0"), *ParseStockCode("130A"));
    EXPECT_EQ(*ParseDeliveredStockCode("7203"), 7203);
    EXPECT_FALSE(ParseDeliveredStockCode("25935").has_value());
    EXPECT_FALSE(ParseDeliveredStockCode("9A7A0").has_value());
}

TEST(StockCode, SortsByTheWrittenCode) {
    std::vector<std::uint32_t> codes = {*ParseStockCode("1332"), *ParseStockCode("130A"),
                                        1301, *ParseStockCode("1A00"), 9999, 48000};
    std::sort(codes.begin(), codes.end(), [](std::uint32_t a, std::uint32_t b) {
        return StockCodeSortKey(a) < StockCodeSortKey(b);
    });
    std::vector<std::string> written;
    for (auto c : codes)
        written.push_back(FormatStockCode(c));
    EXPECT_EQ(written, (std::vector<std::string>{"1301", "130A", "1332", "1A00", "9999", "48000"}));
}

} // namespace
} // namespace vorn
