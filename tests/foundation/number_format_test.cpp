#include "foundation/number_format.h"

#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace vorn {
namespace {

std::string Grouped(std::uint64_t value) {
    char buffer[kGroupedIntegerCapacity];
    char* end = FormatGroupedInteger(buffer, value);
    EXPECT_EQ(end, buffer + std::strlen(buffer));
    return buffer;
}

std::string Grouped(double value, const char* format) {
    char buffer[kGroupedRealCapacity];
    char* end = FormatGroupedReal(value, format, buffer);
    EXPECT_EQ(end, buffer + std::strlen(buffer));
    return buffer;
}

TEST(NumberFormat, GroupsIntegers) {
    EXPECT_EQ(Grouped(0), "0");
    EXPECT_EQ(Grouped(999), "999");
    EXPECT_EQ(Grouped(1000), "1,000");
    EXPECT_EQ(Grouped(1234567), "1,234,567");
    EXPECT_EQ(Grouped(UINT64_MAX), "18,446,744,073,709,551,615");
}

TEST(NumberFormat, GroupsOnlyTheIntegerPartOfReals) {
    EXPECT_EQ(Grouped(-1234.5, "%.1f"), "-1,234.5");
    EXPECT_EQ(Grouped(1234.5678, "%.4f"), "1,234.5678");
    EXPECT_EQ(Grouped(12.5, "%+.02f%%"), "+12.50%");
    EXPECT_EQ(Grouped(1234567.0, "%+.2f%%"), "+1,234,567.00%");
    EXPECT_EQ(Grouped(-123.0, "%.0f"), "-123");
    EXPECT_EQ(Grouped(98765.0, "%.0f 銘柄"), "98,765 銘柄");
    // Twenty integer digits are grouped; more are left as printed.
    EXPECT_EQ(Grouped(1e19, "%.0f"), "10,000,000,000,000,000,000");
    EXPECT_EQ(Grouped(-1e21, "%.0f"), "-1000000000000000000000");
    EXPECT_EQ(Grouped(1.5e10, "%e"), "1.500000e+10");
}

TEST(NumberFormat, StaysInsideSmallBuffers) {
    char buffer[6];
    std::memset(buffer, '#', sizeof buffer);
    char* end = FormatGroupedInteger(buffer, 5, 1234567);
    EXPECT_STREQ(buffer, "1,23");
    EXPECT_EQ(end, buffer + 4);
    EXPECT_EQ(buffer[5], '#');
    end = FormatGroupedReal(-1234567.25, "%.2f", buffer, 1);
    EXPECT_EQ(end, buffer);
    EXPECT_EQ(buffer[0], '\0');
}

} // namespace
} // namespace vorn
