// Decoding of one directory entry, in both byte orders.
#include "testfile.h"
#include "tiff/errors.h"
#include "tiff/stream.h"

#include <gtest/gtest.h>

namespace {

class EntryTest : public ::testing::TestWithParam<bool> {
protected:
    bool big() const { return GetParam(); }
};

// Builds a one-page file from entries whose data the callback adds first.
template <class F> OpenedTiff single(bool big, F makeEntries)
{
    TiffBuilder b(big);
    b.Page(makeEntries(b));
    return OpenedTiff(b.Build());
}

} // namespace

INSTANTIATE_TEST_SUITE_P(ByteOrders, EntryTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "BigEndian" : "LittleEndian"; });

TEST_P(EntryTest, FieldsAndPositions)
{
    TiffBuilder b(big());
    b.Page({TestEntry::Short(256, 300), TestEntry::Long(273, 8, 300)});
    const auto bytes = b.Build();
    OpenedTiff t(bytes);
    const TTag& first = t.tag(0);
    EXPECT_EQ(first.TagNr(), "256");
    EXPECT_EQ(first.TagName(), "ImageWidth");
    EXPECT_EQ(first.FieldType, 2);
    EXPECT_EQ(first.TypeName(), "Short");
    EXPECT_EQ(first.Count, 1);
    EXPECT_EQ(first.ValueText, "300");
    EXPECT_EQ(first.EntryPos, static_cast<std::int32_t>(b.EntryOffset(0, 0)));
    EXPECT_EQ(first.ValuePos, first.EntryPos + 8);
    EXPECT_EQ(t.tag(1).Count, 300);
    EXPECT_EQ(t.tag(1).ValueText, "");
}

TEST_P(EntryTest, AsciiInlineAndAtOffset)
{
    std::uint32_t at = 0;
    OpenedTiff t = single(big(), [&](TiffBuilder& b) {
        at = b.Data(std::string_view("Hello\0", 6));
        return std::vector<TestEntry>{TestEntry::Inline(305, tAscii, 4, std::string_view("abc\0", 4)),
                                      TestEntry::At(270, tAscii, 6, at), TestEntry::Inline(271, tAscii, 0, "xyzw"),
                                      TestEntry::At(272, tAscii, 9, at)};
    });
    EXPECT_EQ(t.tag(0).ValueText, std::string("abc\0", 4));
    EXPECT_EQ(t.tag(0).ValuePos, t.tag(0).EntryPos + 8);
    EXPECT_EQ(t.tag(1).ValueText, std::string("Hello\0", 6));
    EXPECT_EQ(t.tag(1).ValuePos, static_cast<std::int32_t>(at));
    EXPECT_EQ(t.tag(2).ValueText, "");
    // Whatever follows an inner NUL is kept too: here the padding and the directory's count.
    EXPECT_EQ(t.tag(3).ValueText.size(), 9u);
    EXPECT_EQ(t.tag(3).ValueText.substr(0, 6), std::string("Hello\0", 6));
}

TEST_P(EntryTest, LongAsciiKeepsItsWholeText)
{
    const std::string text(1000, 'x');
    OpenedTiff t = single(big(), [&](TiffBuilder& b) {
        return std::vector<TestEntry>{TestEntry::At(270, tAscii, 1001, b.Data(text + '\0'))};
    });
    EXPECT_EQ(t.tag(0).ValueText, text + '\0');
}

TEST_P(EntryTest, AsciiIsDecodedFromWindows1252)
{
    OpenedTiff t = single(big(), [&](TiffBuilder& b) {
        return std::vector<TestEntry>{TestEntry::At(315, tAscii, 7, b.Data(std::string_view("Ren\xE9 \x80\0", 7)))};
    });
    EXPECT_EQ(t.tag(0).ValueText, std::string("Ren\u00E9 \u20AC\0", 10));
}

TEST_P(EntryTest, ByteRule)
{
    OpenedTiff t = single(big(), [&](TiffBuilder& b) {
        const auto data = b.Data(std::string_view("\x41\x42\x01\x43\x44\x00", 6));
        return std::vector<TestEntry>{TestEntry::Inline(1, tByte, 1, "A"),
                                      TestEntry::Inline(2, tByte, 4, "\xFF\x02\x03\x04"),
                                      TestEntry::At(700, tByte, 6, data)};
    });
    EXPECT_EQ(t.tag(0).ValueText, "65");
    EXPECT_EQ(t.tag(1).ValueText, "255");
    EXPECT_EQ(t.tag(2).ValueText, "ABCD");
    EXPECT_EQ(t.tag(2).ValuePos, t.tag(2).EntryPos + 8); // not the data's offset, unlike ASCII
}

TEST_P(EntryTest, ShortRuleReadsTheFirstHalfOfTheField)
{
    OpenedTiff t = single(big(), [&](TiffBuilder&) {
        return std::vector<TestEntry>{TestEntry::Short(258, 65535, 1, tSShort), TestEntry::At(258, tShort, 3, 256)};
    });
    EXPECT_EQ(t.tag(0).ValueText, "65535");
    EXPECT_EQ(t.tag(0).TypeName(), "sShort");
    // Offset 256 as stored: little-endian 00 01 00 00 reads 256, big-endian 00 00 01 00 reads 0.
    EXPECT_EQ(t.tag(1).ValueText, big() ? "0" : "256");
}

TEST_P(EntryTest, LongRule)
{
    OpenedTiff t = single(big(), [&](TiffBuilder&) {
        return std::vector<TestEntry>{TestEntry::Long(1, 0xFFFFFFFF), TestEntry::Long(2, 7, 2),
                                      TestEntry::Long(3, 0xFFFFFFFF, 1, tSLong), TestEntry::Long(4, 96, 1, tDouble),
                                      TestEntry::Long(5, 5, 0)};
    });
    EXPECT_EQ(t.tag(0).ValueText, "4294967295");
    EXPECT_EQ(t.tag(1).ValueText, "");
    EXPECT_EQ(t.tag(2).ValueText, "4294967295");
    EXPECT_EQ(t.tag(3).ValueText, "96");
    EXPECT_EQ(t.tag(3).TypeName(), "Double");
    EXPECT_EQ(t.tag(4).ValueText, "");
}

TEST_P(EntryTest, RationalRoundsHalvesToEven)
{
    struct Case {
        std::int32_t n, d;
        const char* text;
    };
    const Case cases[] = {{300, 1, "300"},
                          {1, 3, "0"},
                          {2, 3, "1"},
                          {5, 2, "2"},
                          {7, 2, "4"},
                          {-5, 2, "-2"},
                          {2540, 10, "254"},
                          {145, 2, "72"},
                          {0, 0, " "},
                          {5, 0, " "},
                          {-2147483647 - 1, -1, "2147483648"}};
    TiffBuilder b(big());
    std::vector<TestEntry> entries;
    for (const Case& c : cases)
        entries.push_back(TestEntry::At(282, tRational, 1, b.Rational(c.n, c.d)));
    entries.push_back(TestEntry::At(282, tFloat, 1, b.Rational(9, 2)));
    b.Page(entries);
    OpenedTiff t(b.Build());
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(t.tag(static_cast<int>(i)).ValueText, cases[i].text) << cases[i].n << "/" << cases[i].d;
    EXPECT_EQ(t.tag(static_cast<int>(std::size(cases))).ValueText, "4");
}

TEST_P(EntryTest, TypeCodesOutsideTheKnownOnes)
{
    OpenedTiff t = single(big(), [&](TiffBuilder&) {
        return std::vector<TestEntry>{TestEntry::Inline(1, 0, 1, "A"),
                                      TestEntry::Inline(2, 13, 1, "A"),
                                      TestEntry::Inline(3, tUndefined, 4, "ABCD"),
                                      TestEntry::Inline(4, 257, 1, "A"),
                                      TestEntry::Inline(5, tSByte, 1, "A"),
                                      TestEntry::Inline(6, tSRational, 1, "A")};
    });
    EXPECT_EQ(t.tag(0).TypeName(), "Unknown");
    EXPECT_EQ(t.tag(0).FieldType, 255);
    EXPECT_EQ(t.tag(0).ValueText, "?");
    EXPECT_EQ(t.tag(1).TypeName(), "Unknown");
    EXPECT_EQ(t.tag(1).ValueText, "?");
    EXPECT_EQ(t.tag(2).TypeName(), "Undefined");
    EXPECT_EQ(t.tag(2).ValueText, "?");
    EXPECT_EQ(t.tag(3).TypeName(), "Byte"); // 257 - 1 kept in 8 bits
    EXPECT_EQ(t.tag(3).ValueText, "65");
    EXPECT_EQ(t.tag(4).ValueText, "?");
    EXPECT_EQ(t.tag(5).ValueText, "?");
}

TEST(NumberText, DecimalAndHex)
{
    EXPECT_EQ(NumberText(255, true), "FF");
    EXPECT_EQ(NumberText(-1, false), "-1");
    EXPECT_EQ(NumberText(-1, true), "FFFFFFFF");
    EXPECT_EQ(NumberText(0, true), "0");
    EXPECT_EQ(NumberText(300, true), "12C");
    EXPECT_EQ(NumberText(300, false), "300");
    EXPECT_EQ(NumberText(-2147483647 - 1, false), "-2147483648");
}

TEST(Tags, GetTagOutOfRangeGivesNothing)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    OpenedTiff t(b.Build());
    EXPECT_EQ(t.page().Tags.GetTag(-1), nullptr);
    EXPECT_EQ(t.page().Tags.GetTag(1), nullptr);
    EXPECT_NE(t.page().Tags.GetTag(0), nullptr);
}

TEST_P(EntryTest, LargeDirectoryKeepsEveryEntryAndWhatACutOneHolds)
{
    // Entries are read in chunks of whole ones; a cut entry and the one past
    // the end are read one by one, as they lie.
    TiffBuilder b(big());
    std::vector<TestEntry> entries;
    std::vector<std::string> texts;
    for (std::uint16_t i = 0; i < 1000; ++i) {
        if (i % 4 == 0) {
            texts.push_back("text " + std::to_string(i) + std::string(i % 7, '.'));
            entries.push_back(TestEntry::At(i, tAscii, texts.back().size(), b.Data(texts.back())));
        } else {
            entries.push_back(TestEntry::Short(i, static_cast<std::uint16_t>(3 * i)));
        }
    }
    b.Page(entries);
    auto bytes = b.Build();
    const auto check = [&](const OpenedTiff& t, int whole) {
        for (int i = 0; i < whole; ++i) {
            const TTag& tag = t.tag(i);
            ASSERT_EQ(tag.Number(), i);
            ASSERT_EQ(tag.EntryPos, b.EntryOffset(0, static_cast<std::size_t>(i)));
            ASSERT_EQ(tag.ValueText, i % 4 ? std::to_string(3 * i) : texts[static_cast<std::size_t>(i / 4)]) << i;
        }
    };
    check(OpenedTiff(bytes), 1000);

    bytes.resize(b.EntryOffset(0, 700) + 5); // entry 700 (Ascii) keeps its tag number and type
    OpenedTiff cut(bytes);
    ASSERT_EQ(cut.page().Tags.Count(), 702);
    check(cut, 700);
    EXPECT_EQ(cut.tag(700).Number(), 700);
    EXPECT_EQ(cut.tag(700).FieldType, 1);
    EXPECT_EQ(cut.tag(700).ValueText, " ");
    EXPECT_FALSE(cut.tag(701).IsRead());
    EXPECT_EQ(cut.messages.front(), "streamsize");
}

TEST_P(EntryTest, EntryReadAgainAfterOpenIsTheSame)
{
    // A view that reads an entry when asked (after Open has closed the file)
    // gets the fields and text the page holds; its text lives with the file.
    const std::string text = "R\xE9sum\xE9 of a text long enough for memory of its own";
    OpenedTiff t = single(big(), [&](TiffBuilder& b) {
        const std::uint32_t at = b.Data(text);
        return std::vector<TestEntry>{TestEntry::Short(256, 640), TestEntry::Long(257, 123456789),
                                      TestEntry::At(270, tAscii, text.size(), at),
                                      TestEntry::At(282, tRational, 1, at)};
    });
    TStream stream(t.bytes);
    for (int i = 0; i < t.page().Tags.Count(); ++i) {
        TTag again(t.file.get());
        again.ReadEntry(stream, static_cast<std::uint64_t>(t.tag(i).EntryPos));
        EXPECT_EQ(again.ValueText, t.tag(i).ValueText) << i;
        EXPECT_EQ(again.Number(), t.tag(i).Number());
        EXPECT_EQ(again.ValuePos, t.tag(i).ValuePos);
        EXPECT_EQ(again.Count, t.tag(i).Count);
    }
    EXPECT_EQ(t.tag(2).ValueText, "R\u00E9sum\u00E9 of a text long enough for memory of its own");
    EXPECT_EQ(t.tag(1).ValueText, "123456789");
}
