#include "tiff/codepage.h"

#include <gtest/gtest.h>

TEST(CodePage, DecodesWindows1252)
{
    EXPECT_EQ(Cp1252ToUtf8("Abc"), "Abc");
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\u0178");
    EXPECT_EQ(Cp1252ToUtf8("\xE9t\xE9"), "\u00E9t\u00E9");
    EXPECT_EQ(Cp1252ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
    // Unassigned bytes survive as the C1 control of the same number.
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\u0081");
}

TEST(CodePage, EveryByteRoundTrips)
{
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const auto back = Utf8ToCp1252(Cp1252ToUtf8(one));
        EXPECT_FALSE(back.Unmappable) << b;
        EXPECT_EQ(back.Bytes, one) << b;
    }
}

TEST(CodePage, NamesTheFirstCharacterItCannotHold)
{
    const auto r = Utf8ToCp1252("ab\u4E2Dc");
    ASSERT_TRUE(r.Unmappable);
    EXPECT_EQ(*r.Unmappable, U'\u4E2D');
    EXPECT_EQ(r.Bytes, "ab");
    EXPECT_EQ(Utf8Length("\u00E9t\u4E2D"), 3u);
}
