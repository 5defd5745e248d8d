#include "foundation/text_encoding.h"

#include <string>

#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(TextEncoding, Cp932RoundTrip) {
    struct Case {
        std::string cp932, utf8;
    } cases[] = {
        {"", ""},
        {"Vorn 1301", "Vorn 1301"},
        {"\x93\x8C\x8F\xD8\x88\xEA\x95\x94", "東証一部"},
        {"\x82\x50\x82\x52\x82\x4F\x82\x50", "１３０１"},
        {"\xB1\xB2\xB3", "ｱｲｳ"},      // half-width katakana, one byte each
        {"\x87\x40\x87\x41", "①②"},   // vendor extension row
        {"\x81\x7C\x81\x60", "－～"}, // the cp932 dash and wave
        {"\x91\xE5\x8F\xD8\x88\xEA\x95\x94 (B)", "大証一部 (B)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8);
        EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932);
        EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8(c.cp932)), c.cp932);
    }
}

TEST(TextEncoding, BadInputIsReplacedNotFatal) {
    // An unrepresentable character becomes one "?" whatever its UTF-8 length.
    EXPECT_EQ(Utf8ToCp932("a\xC3\xA9"
                          "b"),
              "a?b"); // é, 2 bytes
    EXPECT_EQ(Utf8ToCp932("\xE2\x82\xAC"
                          "1"),
              "?1");                                     // €, 3 bytes
    EXPECT_EQ(Utf8ToCp932("x\xF0\x9F\x98\x80y"), "x?y"); // emoji, 4 bytes
    // Broken UTF-8: a stray continuation byte, a lead byte cut short by ASCII, a cut end.
    EXPECT_EQ(Utf8ToCp932("a\x80"
                          "b"),
              "a?b");
    EXPECT_EQ(Utf8ToCp932("a\xE6"
                          "b"),
              "a?b");
    EXPECT_EQ(Utf8ToCp932("a\xE6\x9D"), "a?");
    // cp932: an undefined lead byte, and a lead byte with nothing after it.
    EXPECT_EQ(Cp932ToUtf8("a\xA0"
                          "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Cp932ToUtf8("\x93\x8C\x93"), "東\xEF\xBF\xBD");
}

} // namespace
} // namespace vorn
