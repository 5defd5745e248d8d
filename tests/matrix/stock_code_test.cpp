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

TEST(StockCode, TypedCodesAreFourCharactersOfOneWidth) {
    const std::uint16_t lettered = *ParseStockCode("130A");
    EXPECT_EQ(ParseTypedStockCode(u"7203"), 7203);
    EXPECT_EQ(ParseTypedStockCode(u"130A"), lettered);
    EXPECT_EQ(ParseTypedStockCode(u"130a"), lettered);
    EXPECT_EQ(ParseTypedStockCode(u"１３０１"), 1301);
    EXPECT_EQ(ParseTypedStockCode(u"１３０Ａ"), lettered);
    EXPECT_EQ(ParseTypedStockCode(u"１３０ａ"), lettered);
    EXPECT_EQ(ParseTypedStockCode(u"１Ａ００"), *ParseStockCode("1A00"));
    // Fewer digits, mixed widths, letters that codes never use, or both places lettered.
    for (const char16_t* text : {u"", u"12", u"72030", u"１3０1", u"130Ａ", u"130B", u"１３０Ｂ",
                                 u"9A7A", u"１３０！", u"13\u00B90", u"１３０\uFF5E"})
        EXPECT_FALSE(ParseTypedStockCode(text).has_value()) << std::u16string(text).size();
}

TEST(StockCode, CodeLettersInEitherCaseAndWidth) {
    for (char16_t c : std::u16string(u"ACDFGHJKLMNPRSTUWXYacdyＡＹａｙ"))
        EXPECT_TRUE(IsStockCodeLetter(c)) << unsigned{c};
    for (char16_t c : std::u16string(u"BEIOQVZbzＢｚ0９!\u00C0\u3042"))
        EXPECT_FALSE(IsStockCodeLetter(c)) << unsigned{c};
}

TEST(StockCode, RefusalsSayWhy) {
    EXPECT_NE(DescribeBadStockCode("25935").find("suffix '5'"), std::string::npos);
    EXPECT_NE(DescribeBadStockCode("9A7A").find("both"), std::string::npos);
    EXPECT_NE(DescribeBadStockCode("13B0").find("is not a code"), std::string::npos);
    // Bytes that are not printable ASCII are never echoed.
    const std::string echoed = DescribeBadStockCode("\x82\xA0\n1");
    EXPECT_EQ(echoed.find('\n'), std::string::npos);
    EXPECT_NE(echoed.find("'???1'"), std::string::npos);
    EXPECT_LT(DescribeBadStockCode(std::string(1000, '7')).size(), 200u);
}

TEST(StockCode, SecurityKeysSortByWrittenCodeThenMarket) {
    const auto key = [](const char* code, std::uint32_t market) {
        return (std::uint32_t{*ParseStockCode(code)} << 18) | (market << 14);
    };
    std::vector<std::uint32_t> keys = {key("1332", 1), key("130A", 3), key("130A", 1),
                                       key("1301", 2)};
    std::sort(keys.begin(), keys.end(), [](std::uint32_t a, std::uint32_t b) {
        return SecurityKeySortKey(a) < SecurityKeySortKey(b);
    });
    EXPECT_EQ(keys, (std::vector<std::uint32_t>{key("1301", 2), key("130A", 1), key("130A", 3),
                                                key("1332", 1)}));
}

} // namespace
} // namespace vorn
