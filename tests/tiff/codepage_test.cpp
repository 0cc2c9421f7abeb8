#include "tiff/codepage.h"

#include <gtest/gtest.h>

#include <vector>

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

TEST(CodePage, WordAtATimeAgreesWithTheRuleForEveryByteAnywhere)
{
    // A byte of each value at each place of a text long enough for whole
    // words, against the byte's own conversion (checked above).
    for (const bool printableOnly : {false, true}) {
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            const bool plain = byte < 0x80 && (byte > 31 || !printableOnly);
            const std::string one = printableOnly && byte <= 31 ? "" : Cp1252ToUtf8(std::string(1, static_cast<char>(byte)));
            for (std::size_t at = 0; at < 20; ++at) {
                std::vector<std::uint8_t> bytes(20, 'x');
                bytes[at] = byte;
                const std::string expected = std::string(at, 'x') + one + std::string(19 - at, 'x');
                std::string written(3 * bytes.size(), '\0');
                written.resize(static_cast<std::size_t>(
                    WriteCp1252AsUtf8(written.data(), bytes.data(), bytes.size(), printableOnly) - written.data()));
                ASSERT_EQ(written, expected) << b << " at " << at << " " << printableOnly;
                ASSERT_EQ(Cp1252AsUtf8Size(bytes.data(), bytes.size(), printableOnly), expected.size()) << b;
                ASSERT_EQ(Cp1252PlainPrefix(bytes.data(), bytes.size(), printableOnly), plain ? 20u : at) << b;
            }
        }
    }
}
