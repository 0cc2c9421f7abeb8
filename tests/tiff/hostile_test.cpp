// Damaged and hostile files: every walk ends, nothing is sized by the file's
// counts, and what could be read stays.
#include "tiff/codepage.h"
#include "tiff/errors.h"
#include "tiff/listing.h"
#include "testfile.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

std::vector<std::uint8_t> threePages(TiffBuilder& b)
{
    b.Page({TestEntry::Short(256, 1)});
    b.Page({TestEntry::Short(256, 2)});
    b.Page({TestEntry::Short(256, 3)});
    return b.Build();
}

} // namespace

TEST(Hostile, LoopBackToAnEarlierDirectoryEnds)
{
    TiffBuilder b;
    auto bytes = threePages(b);
    Put32(bytes, b.NextFieldOffset(2), b.DirOffset(0), false);
    OpenedTiff t(bytes);
    EXPECT_EQ(t.file->PageCount(), 3);
}

TEST(Hostile, DirectoryPointingToItselfEnds)
{
    TiffBuilder b(true);
    auto bytes = threePages(b);
    Put32(bytes, b.NextFieldOffset(1), b.DirOffset(1), true);
    OpenedTiff t(bytes);
    EXPECT_EQ(t.file->PageCount(), 2);
}

TEST(Hostile, DirectoryPastTheEndKeepsEarlierPagesAndReportsSizeAndPosition)
{
    TiffBuilder b;
    auto bytes = threePages(b);
    Put32(bytes, b.NextFieldOffset(1), 100000, false);
    OpenedTiff t(bytes);
    // The failed directory stays as a page without entries; the walk ends there.
    ASSERT_EQ(t.file->PageCount(), 3);
    EXPECT_EQ(t.page(2).Tags.Count(), 0);
    ASSERT_EQ(t.messages.size(), 1u);
    EXPECT_EQ(t.messages[0], std::to_string(bytes.size()) + "100002");
}

TEST(Hostile, EntriesRunningPastTheEndReportStreamsizeOnce)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 9), TestEntry::Short(257, 9)});
    auto bytes = b.Build();
    const std::uint32_t dir = b.DirOffset(0);
    Put16(bytes, dir, 65535, false); // count of 65535 near the end of the file
    OpenedTiff t(bytes);
    ASSERT_EQ(t.file->PageCount(), 1);
    const TTags& tags = t.page().Tags;
    // Two real entries, the next-offset field and the end read as a third, then
    // the first entry beyond the end stays unread and ends the directory.
    ASSERT_GE(tags.Count(), 3);
    EXPECT_LE(tags.Count(), 4);
    EXPECT_EQ(tags.GetTag(0)->ValueText, "9");
    EXPECT_FALSE(tags.GetTag(tags.Count() - 1)->IsRead());
    ASSERT_EQ(t.messages.size(), 2u);
    EXPECT_EQ(t.messages[0], "streamsize");
    EXPECT_EQ(t.messages[1], std::to_string(bytes.size()) + std::to_string(dir + 2 + 12 * 65535));
    // The listing shows the rows before the unread entry and then fails.
    const TListing l = BuildListing(*t.file, 1, false);
    EXPECT_TRUE(l.Failed);
    EXPECT_GE(l.Rows.size(), 7u);
}

TEST(Hostile, EntryCutByTheEndKeepsWhatFits)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 9)});
    auto bytes = b.Build();
    bytes.resize(b.EntryOffset(0, 0) + 6); // tag number and type only
    OpenedTiff t(bytes);
    const TTag& tag = t.tag(0);
    EXPECT_EQ(tag.TagNr(), "256");
    EXPECT_EQ(tag.TypeName(), "Short");
    EXPECT_EQ(tag.Count, 0);
    EXPECT_EQ(tag.ValueText, " ");
    EXPECT_EQ(tag.ValuePos, 0);
}

TEST(Hostile, EntryStartingExactlyAtTheEndIsUnreadWithItsPosition)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 9), TestEntry::Short(257, 9)});
    auto bytes = b.Build();
    bytes.resize(b.EntryOffset(0, 1));
    OpenedTiff t(bytes);
    const TTag& tag = t.tag(1);
    EXPECT_FALSE(tag.IsRead());
    EXPECT_EQ(tag.TagNr(), "");
    EXPECT_EQ(tag.EntryPos, static_cast<std::int32_t>(b.EntryOffset(0, 1)));
    EXPECT_EQ(tag.TypeName(), "Byte");
    EXPECT_THROW(tag.TagName(), EConvertError);
}

TEST(Hostile, HugeCountsAndOffsetsPastTheEnd)
{
    TiffBuilder b;
    const auto data = b.Data("ABCDEFGH");
    b.Page({TestEntry::At(1, tByte, 0xFFFFFFFF, data), TestEntry::At(2, tAscii, 0xFFFFFFFF, data),
            TestEntry::At(3, tByte, 0x7FFFFFFF, data), TestEntry::At(4, tAscii, 0x7FFFFFFF, data),
            TestEntry::At(5, tAscii, 20, 0xFFFFFFF0), TestEntry::At(6, tByte, 20, 0xFFFFFFF0),
            TestEntry::At(7, tRational, 1, 0xFFFFFFFC), TestEntry::At(8, tShort, 0xFFFFFFFF, 0)});
    const auto bytes = b.Build();
    OpenedTiff t(bytes);
    EXPECT_EQ(t.tag(0).Count, -1);
    EXPECT_EQ(t.tag(0).ValueText, std::to_string(data & 0xFF)); // a negative count lies in the field
    EXPECT_EQ(t.tag(1).ValueText, "");
    EXPECT_EQ(t.tag(2).ValueText.substr(0, 8), "ABCDEFGH"); // printable bytes up to the end
    EXPECT_LT(Utf8Length(t.tag(2).ValueText), bytes.size() - data);
    EXPECT_EQ(Utf8Length(t.tag(3).ValueText), bytes.size() - data); // every byte to the end
    EXPECT_EQ(t.tag(4).ValueText, "");
    EXPECT_EQ(t.tag(4).ValuePos, static_cast<std::int32_t>(0xFFFFFFF0));
    EXPECT_EQ(t.tag(5).ValueText, "");
    EXPECT_EQ(t.tag(6).ValueText, " ");
    EXPECT_EQ(t.tag(7).ValueText, "0");
    EXPECT_TRUE(t.messages.empty());
}

TEST(Hostile, EntriesSharingOneLargeValueStayWithinMemory)
{
    // 5,000 entries all pointing at one 200 kB text: decoded whole each time,
    // that would be a gigabyte; past the budget the texts are cut.
    TiffBuilder b;
    const auto blob = b.Data(std::string(200000, 'q'));
    std::vector<TestEntry> entries(5000, TestEntry::At(270, tAscii, 200000, blob));
    b.Page(entries);
    OpenedTiff t(b.Build());
    std::size_t total = 0;
    for (const TTag& tag : t.page().Tags)
        total += tag.ValueText.size();
    EXPECT_EQ(t.tag(0).ValueText.size(), 200000u);
    // The budget, then no more text than each entry takes in the file.
    EXPECT_LE(total, 2 * t.bytes.size() + (1u << 20) + 12 * 5000);
}

TEST(Hostile, EntriesSharingALargeValueOfHighBytesEndQuickly)
{
    // Texts of 1 MB of "é" take 2 MB each. Past the memory budget a text keeps
    // 5 bytes, and the bytes are not counted again for every entry (64 GB).
    const auto start = std::chrono::steady_clock::now();
    TiffBuilder b;
    const auto blob = b.Data(std::string(1 << 20, '\xE9'));
    b.Page(std::vector<TestEntry>(65535, TestEntry::At(270, tAscii, 1 << 20, blob)));
    OpenedTiff t(b.Build());
    EXPECT_EQ(t.tag(0).ValueText.size(), 2u << 20);
    EXPECT_EQ(t.tag(65534).ValueText, "\u00E9\u00E9\u00E9\u00E9\u00E9");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(Hostile, LongChainAndLargePageEndQuickly)
{
    const auto start = std::chrono::steady_clock::now();
    TiffBuilder chain;
    for (int i = 0; i < 2000; ++i)
        chain.Page({TestEntry::Short(256, static_cast<std::uint16_t>(i))});
    OpenedTiff many(chain.Build());
    EXPECT_EQ(many.file->PageCount(), 2000);
    EXPECT_EQ(many.page(1999).ImageWidth(), 1999);

    TiffBuilder wide(true);
    std::vector<TestEntry> entries;
    for (int i = 0; i < 5000; ++i)
        entries.push_back(TestEntry::Long(static_cast<std::uint16_t>(i), static_cast<std::uint32_t>(i)));
    wide.Page(entries);
    OpenedTiff big(wide.Build());
    EXPECT_EQ(big.page().Tags.Count(), 5000);
    EXPECT_EQ(big.tag(4999).ValueText, "4999");
    // A generous bound that only a runaway walk would break, even under sanitizers.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(Hostile, OverlappingDirectoriesAreBoundedByTheFileSize)
{
    // 2,000 directories whose count words sit side by side and whose entry
    // blocks overlap almost wholly: each claims thousands of the same entries.
    // Read in full that is millions of entries from a 52 kB file.
    constexpr std::uint32_t K = 2000;
    constexpr std::uint32_t S = 8 + 2 * K; // first byte after the count words
    std::vector<std::uint8_t> bytes(S + 24 * K + 16, 0);
    bytes[0] = bytes[1] = 'I';
    Put16(bytes, 2, 42, false);
    Put32(bytes, 4, 8, false);
    for (std::uint32_t k = 0; k < K; ++k) {
        const std::uint32_t o = 8 + 2 * k;
        const std::uint32_t f = S + 24 * k + (o + 2) % 12; // next field, 12n past the entries' start
        Put16(bytes, o, static_cast<std::uint16_t>((f - o - 2) / 12), false);
        Put32(bytes, f, k + 1 < K ? o + 2 : 0, false);
    }
    OpenedTiff t(bytes);
    std::size_t entries = 0;
    for (const TTiffPage& p : t.file->Pages)
        entries += static_cast<std::size_t>(p.Tags.Count());
    EXPECT_GT(t.file->PageCount(), 1);
    EXPECT_LE(entries, bytes.size() / 4 + 65536);
}

TEST(Hostile, DamagePositionWrapsAsA32BitNumber)
{
    // The next-directory field of a directory at 0xFFFFFFFF lies at 2^32 + 1,
    // which 32-bit positions give as 1.
    std::vector<std::uint8_t> bytes = {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    OpenedTiff t(bytes);
    ASSERT_EQ(t.messages.size(), 1u);
    EXPECT_EQ(t.messages[0], "81");
}
