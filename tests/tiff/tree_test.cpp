// BigTIFF, and the directory tree: the directories that entries point to,
// walked with the page chain's guards, in both byte orders and both kinds of file.
#include "testfile.h"
#include "tiff/errors.h"
#include "tiff/listing.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

struct Kind {
    bool bigEndian;
    bool bigTiff;
};

std::string name(const testing::TestParamInfo<Kind>& info)
{
    return std::string(info.param.bigEndian ? "MM" : "II") + (info.param.bigTiff ? "BigTiff" : "Classic");
}

/// Ids of the tree in its order.
std::vector<std::string> ids(const TTiffFile& f)
{
    std::vector<std::string> out;
    for (const TDirectory& d : f.Directories)
        out.push_back(d.Id);
    return out;
}

const TDirectory& dir(const TTiffFile& f, std::string_view id)
{
    for (const TDirectory& d : f.Directories)
        if (d.Id == id)
            return d;
    throw std::runtime_error("no directory " + std::string(id));
}

/// An entry whose value field holds an offset of the file's width.
TestEntry pointer(std::uint16_t tag, bool bigTiff, std::uint64_t offset, std::uint64_t count = 1)
{
    return TestEntry::At(tag, bigTiff ? tIfd8 : tLong, count, offset);
}

class Tree : public testing::TestWithParam<Kind> {
protected:
    TiffBuilder b{GetParam().bigEndian, GetParam().bigTiff};
    bool big = GetParam().bigTiff;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(, Tree,
                         testing::Values(Kind{false, false}, Kind{true, false}, Kind{false, true}, Kind{true, true}),
                         name);

TEST_P(Tree, SubIfdChainIsWalkedDepthFirstUnderItsPage)
{
    const auto exif = b.Directory({TestEntry::Short(36864, 1)});
    const auto deeper = b.Directory({TestEntry::Short(256, 16)});
    const auto first = b.Directory({TestEntry::Short(256, 32), pointer(330, big, deeper), pointer(34665, big, exif)});
    const auto second = b.Directory({TestEntry::Short(256, 64)});
    // Two SubIFDs as LONG (or LONG8) values at an offset, one as the IFD type.
    b.Page({TestEntry::Short(256, 128), TestEntry::At(330, big ? tLong8 : tLong, 2, b.Offsets({first, second}))});
    b.Page({TestEntry::Short(256, 256)});
    OpenedTiff t(b.Build());
    const TTiffFile& f = *t.file;
    EXPECT_EQ(f.IsBigTiff(), big);
    EXPECT_EQ(ids(f),
              (std::vector<std::string>{"1", "1/subifd1", "1/subifd1/subifd1", "1/subifd1/exif", "1/subifd2", "2"}));
    EXPECT_EQ(dir(f, "1/subifd1").Kind, TDirectoryKind::SubIfd);
    EXPECT_EQ(dir(f, "1/subifd1").Parent, 0);
    EXPECT_EQ(dir(f, "1/subifd1/subifd1").Parent, 1);
    EXPECT_EQ(dir(f, "1/subifd1/exif").Kind, TDirectoryKind::Exif);
    EXPECT_EQ(dir(f, "1/subifd1/exif").Offset, exif);
    EXPECT_EQ(dir(f, "1/subifd2").Offset, second);
    EXPECT_EQ(dir(f, "2").Page, 1);
    EXPECT_EQ(dir(f, "2").Parent, -1);
    // Below a page nothing is followed as a chain, and nothing is missing.
    EXPECT_FALSE(dir(f, "1/subifd2").Next);
    EXPECT_EQ(dir(f, "1").Next, b.DirOffset(1));
    for (const TDirectory& d : f.Directories)
        EXPECT_TRUE(d.Complete) << d.Id;
    EXPECT_EQ(dir(f, "1/subifd1/subifd1").Entries.at(0).Tag, 256);
    EXPECT_TRUE(t.reports.empty());
    // The page chain is what it always was.
    EXPECT_EQ(f.PageCount(), 2);
    EXPECT_EQ(t.page(1).ImageWidth(), 256);
}

TEST_P(Tree, ExifDirectoryWithItsInteroperabilityDirectory)
{
    const auto interop = b.Directory({TestEntry::Inline(1, tAscii, 4, std::string_view("R98\0", 4))});
    const auto exif = b.Directory({TestEntry::Short(41728, 3), pointer(40965, big, interop)});
    const auto gps = b.Directory({TestEntry::Inline(0, tByte, 4, std::string_view("\2\3\0\0", 4))});
    b.Page({TestEntry::Short(256, 9), pointer(34665, big, exif), pointer(34853, big, gps)});
    OpenedTiff t(b.Build());
    const TTiffFile& f = *t.file;
    EXPECT_EQ(ids(f), (std::vector<std::string>{"1", "1/exif", "1/exif/interop", "1/gps"}));
    EXPECT_EQ(dir(f, "1/exif/interop").Kind, TDirectoryKind::Interop);
    EXPECT_EQ(dir(f, "1/gps").Kind, TDirectoryKind::Gps);
    const TEntry& index = dir(f, "1/exif/interop").Entries.at(0);
    EXPECT_EQ(index.Tag, 1);
    EXPECT_TRUE(index.Inline);
    EXPECT_EQ(index.ValueOffset, interop + b.CountBytes() + 4 + b.FieldBytes());
    // 40965 means nothing in a page: only Exif directories point to Interoperability ones.
    TiffBuilder c(GetParam().bigEndian, big);
    c.Page({pointer(40965, big, c.Directory({TestEntry::Short(1, 1)}))});
    EXPECT_EQ(ids(*OpenedTiff(c.Build()).file), std::vector<std::string>{"1"});
}

TEST_P(Tree, LoopBetweenAPageAndItsExifDirectoryEnds)
{
    // The Exif directory's Interoperability entry points back to the page, and
    // a second Exif entry points to the page itself.
    const auto exif = b.Directory({pointer(40965, big, 0)});
    b.Page({pointer(34665, big, exif), TestEntry::Short(256, 5), pointer(34665, big, 0)});
    std::vector<std::uint8_t> bytes = b.Build();
    const auto put = [&](std::uint64_t pos, std::uint64_t v) {
        big ? Put64(bytes, pos, v, GetParam().bigEndian)
            : Put32(bytes, pos, static_cast<std::uint32_t>(v), GetParam().bigEndian);
    };
    const std::uint32_t page = b.DirOffset(0);
    put(exif + b.CountBytes() + 4 + b.FieldBytes(), page);
    put(b.EntryOffset(0, 2) + 4 + b.FieldBytes(), page);
    OpenedTiff t(bytes);
    EXPECT_EQ(ids(*t.file), (std::vector<std::string>{"1", "1/exif"}));
    ASSERT_EQ(t.reports.size(), 2u);
    for (const TReaderMessage& m : t.reports) {
        EXPECT_EQ(m.Text, ""); // the listing shows nothing of it
        EXPECT_EQ(m.DirectoryOffset, page);
        EXPECT_NE(m.Sentence.find("read already"), std::string::npos) << m.Sentence;
    }
    EXPECT_EQ(t.reports[0].DirectoryId, "1/exif/interop");
    EXPECT_EQ(t.reports[1].DirectoryId, "1/exif2");
    EXPECT_TRUE(t.messages.empty());
}

TEST_P(Tree, GpsDirectoryOutsideTheFileIsKeptUnread)
{
    b.Page({TestEntry::Short(256, 5), pointer(34853, big, 0x7FFFFFF0)});
    OpenedTiff t(b.Build());
    const TDirectory& gps = dir(*t.file, "1/gps");
    EXPECT_EQ(gps.Offset, 0x7FFFFFF0u);
    EXPECT_FALSE(gps.StoredCount);
    EXPECT_TRUE(gps.Entries.empty());
    EXPECT_FALSE(gps.Complete);
    ASSERT_EQ(t.reports.size(), 1u);
    EXPECT_EQ(t.reports[0].Text, "");
    EXPECT_EQ(t.reports[0].Sentence, "the GPS directory at 2147483632 lies past the end of the file (" +
                                         std::to_string(t.bytes.size()) + " bytes)");
    EXPECT_EQ(t.file->DirectoryRanges.size(), 1u); // the page's only
    // The listing shows the page as it always has.
    EXPECT_FALSE(BuildListing(*t.file, 1, false).Failed);
}

TEST_P(Tree, DirectoryRangesCoverEveryDirectoryCutAtTheEnd)
{
    const auto exif = b.Directory({TestEntry::Short(1, 1), TestEntry::Short(2, 2)});
    b.Page({pointer(34665, big, exif)});
    std::vector<std::uint8_t> bytes = b.Build();
    bytes.resize(bytes.size() - 2); // into the page's next-directory field
    OpenedTiff t(bytes);
    const std::uint32_t size = b.CountBytes() + b.FieldBytes(); // count and next field
    ASSERT_EQ(t.file->DirectoryRanges.size(), 2u);
    EXPECT_EQ(t.file->DirectoryRanges[0].Start, b.DirOffset(0));
    EXPECT_EQ(t.file->DirectoryRanges[0].End, bytes.size());
    EXPECT_EQ(t.file->DirectoryRanges[1].Start, exif);
    EXPECT_EQ(t.file->DirectoryRanges[1].End, exif + size + 2 * b.EntryBytes());
    EXPECT_FALSE(dir(*t.file, "1").Complete);
    EXPECT_FALSE(dir(*t.file, "1").Next);
    ASSERT_EQ(t.messages.size(), 1u); // the page's next field: the size-and-position text
}

TEST_P(Tree, NestingAndSubIfdArraysStayBounded)
{
    // Twelve SubIFDs each below the last: eight levels are read.
    std::uint64_t below = b.Directory({TestEntry::Short(256, 1)});
    for (int i = 0; i < 11; ++i)
        below = b.Directory({pointer(330, big, below)});
    // A million zero offsets, pointed at by 20,000 entries: all of them read
    // would be twenty billion values.
    const auto zeros = b.Data(std::string(big ? 8'000'000 : 4'000'000, '\0'));
    std::vector<TestEntry> page{pointer(330, big, below)};
    for (int i = 0; i < 20000; ++i)
        page.push_back(TestEntry::At(330, big ? tIfd8 : tIfd, 1'000'000, zeros));
    b.Page(page);
    const auto start = std::chrono::steady_clock::now();
    OpenedTiff t(b.Build());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(t.file->Directories.size(), 9u);
    EXPECT_EQ(t.file->Directories.back().Id, "1/subifd1/subifd1/subifd1/subifd1/subifd1/subifd1/subifd1/subifd1");
    ASSERT_EQ(t.reports.size(), 1u);
    EXPECT_NE(t.reports[0].Sentence.find("more than 8 directories below its page"), std::string::npos);
}

TEST_P(Tree, OffsetsMetBeforeAreToldOnceAndCostLittle)
{
    // A SubIFDs entry of a million values, all the same directory: it is read
    // once, the repeats are told once, and none of them is named on its own.
    const auto sub = b.Directory({TestEntry::Short(256, 1)});
    const auto offsets = b.Offsets(std::vector<std::uint64_t>(1'000'000, sub));
    b.Page({TestEntry::At(330, big ? tIfd8 : tIfd, 1'000'000, offsets)});
    const auto start = std::chrono::steady_clock::now();
    OpenedTiff t(b.Build());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(ids(*t.file), (std::vector<std::string>{"1", "1/subifd1"}));
    ASSERT_EQ(t.reports.size(), 1u);
    EXPECT_EQ(t.reports[0].DirectoryId, "1/subifd2");
    EXPECT_NE(t.reports[0].Sentence.find("read already"), std::string::npos);
}

// ---------------------------------------------------------------- BigTIFF

namespace {

/// The 8 bytes of a BigTIFF value field holding a rational.
std::string rationalField(std::uint32_t numerator, std::uint32_t denominator, bool bigEndian)
{
    std::vector<std::uint8_t> b;
    Put32(b, 0, numerator, bigEndian);
    Put32(b, 4, denominator, bigEndian);
    return std::string(b.begin(), b.end());
}

} // namespace

TEST(BigTiff, EntriesReadListedAndExportedLikeClassicOnes)
{
    for (const bool mm : {false, true}) {
        SCOPED_TRACE(mm);
        TiffBuilder b(mm, true);
        const auto text = b.Data("A text of 20 bytes.");
        b.Page({
            TestEntry::Short(256, 640),                                          // 1
            TestEntry::Long(257, 480),                                           // 2
            TestEntry::Inline(270, tAscii, 8, std::string_view("inline!\0", 8)), // 3: fits in 8
            TestEntry::At(305, tAscii, 20, text),                                // 4
            TestEntry::Inline(282, tRational, 1, rationalField(300, 1, mm)),     // 5: in the field
            TestEntry::At(273, tLong8, 1, (std::uint64_t{1} << 40) + 5),         // 6
            TestEntry::At(700, tByte, (std::uint64_t{1} << 32) + 1, 1ull << 33), // 7: past 4 GiB
            TestEntry::At(315, tAscii, 30, (std::uint64_t{1} << 32) + 16),       // 8
            TestEntry::At(0x1234, 0x0101, 3, 0),                                 // 9: an unknown type
        });
        OpenedTiff t(b.Build());
        ASSERT_TRUE(t.file->IsBigTiff());
        ASSERT_EQ(t.file->PageCount(), 1);
        EXPECT_EQ(t.page().ImageWidth(), 640);
        EXPECT_EQ(t.page().ImageLength(), 480);
        EXPECT_EQ(t.page().XResolution(), 300);
        EXPECT_EQ(t.tag(2).ValueText, std::string("inline!\0", 8));
        EXPECT_EQ(t.tag(2).ValuePos, b.EntryOffset(0, 2) + 12);
        EXPECT_EQ(t.tag(3).ValueText, std::string("A text of 20 bytes.\0", 20));
        EXPECT_EQ(t.tag(3).ValuePos, text);
        EXPECT_EQ(t.tag(5).ValueText, "1099511627781");
        EXPECT_EQ(t.tag(5).TypeName(), "Long8");
        EXPECT_EQ(t.tag(6).ValueText, "");
        EXPECT_EQ(t.tag(8).TypeName(), "Byte"); // 257 wraps to Byte, as in a classic file

        // Counts and positions past 32 bits are shown whole.
        const TListing dec = BuildListing(*t.file, 1, false);
        const TListing hex = BuildListing(*t.file, 1, true);
        const TListingRow& past = dec.Rows.at(FirstTagRow + 6);
        EXPECT_EQ(past[6], "4294967297");
        EXPECT_EQ(hex.Rows.at(FirstTagRow + 6)[6], "100000001");
        EXPECT_EQ(dec.Rows.at(FirstTagRow + 7)[7], "4294967312");
        EXPECT_EQ(hex.Rows.at(FirstTagRow + 7)[7], "100000010");
        EXPECT_EQ(dec.Rows.at(FirstTagRow)[1], std::to_string(b.EntryOffset(0, 0)));

        // As stored: the 16-bit type, the 64-bit count, where the value lies.
        const TDirectory& page = t.file->Directories.at(0);
        EXPECT_EQ(page.StoredCount, 9u);
        const TEntry& e = page.Entries.at(6);
        EXPECT_EQ(e.Count, (std::uint64_t{1} << 32) + 1);
        EXPECT_FALSE(e.Inline);
        EXPECT_EQ(e.ValueOffset, 1ull << 33);
        EXPECT_EQ(e.ValueBytes(), e.Count);
        EXPECT_EQ(page.Entries.at(8).Type, 0x0101);
        EXPECT_EQ(page.Entries.at(8).Tag, 0x1234);
        EXPECT_EQ(page.Entries.at(8).ValueBytes(), 0u);
        EXPECT_EQ(page.Entries.at(4).ValueOffset, b.EntryOffset(0, 4) + 12);
        EXPECT_TRUE(t.reports.empty());
    }
}

TEST(BigTiff, HeaderChecks)
{
    const auto header = [](std::uint8_t width, std::uint8_t zero) {
        return std::vector<std::uint8_t>{'I', 'I', 43, 0, width, 0, zero, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    };
    OpenedTiff empty(header(8, 0));
    EXPECT_TRUE(empty.file->IsBigTiff());
    EXPECT_EQ(empty.file->PageCount(), 0);
    for (const auto& bytes : {header(4, 0), header(8, 1)}) {
        TTiffFile f;
        EXPECT_THROW(f.OpenBuffer("x", bytes), EInvalidTiff);
        EXPECT_EQ(f.ByteOrder, 0);
    }
    std::vector<std::uint8_t> cut = header(8, 0);
    cut.resize(12);
    TTiffFile f;
    EXPECT_THROW(f.OpenBuffer("x", cut), EReadError);
}

TEST(BigTiff, DamageMessagesTakeWholePositions)
{
    // The first directory at 2^33: the next field's position is 2^33 + 8.
    std::vector<std::uint8_t> bytes{'M', 'M', 0, 43, 0, 8, 0, 0};
    Put64(bytes, 8, 1ull << 33, true);
    OpenedTiff far(bytes);
    ASSERT_EQ(far.reports.size(), 1u);
    EXPECT_EQ(far.reports[0].Text, "16" + std::to_string((1ull << 33) + 8));
    EXPECT_EQ(far.reports[0].Sentence, "the directory at 8589934592 lies past the end of the file (16 bytes)");
    EXPECT_EQ(far.reports[0].DirectoryId, "1");

    // A count of 2^40 entries: one message for them, one for the next field.
    TiffBuilder b(false, true);
    b.Page({TestEntry::Short(256, 1)});
    bytes = b.Build();
    Put64(bytes, b.DirOffset(0), 1ull << 40, false);
    OpenedTiff many(bytes);
    EXPECT_LE(many.page().Tags.Count(), 3);
    ASSERT_EQ(many.messages.size(), 2u);
    EXPECT_EQ(many.messages[0], "streamsize");
    EXPECT_EQ(many.reports[0].Sentence,
              "the directory at " + std::to_string(b.DirOffset(0)) + " runs past the end of the file");
    EXPECT_EQ(many.messages[1], std::to_string(bytes.size()) + std::to_string(b.DirOffset(0) + 8 + 20 * (1ull << 40)));
}

TEST(ReaderMessages, ClassicTextsWithSentencesAndTheirDirectory)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    b.Page({TestEntry::Short(256, 2)});
    std::vector<std::uint8_t> bytes = b.Build();
    Put16(bytes, b.DirOffset(1), 9000, false);
    OpenedTiff t(bytes);
    ASSERT_EQ(t.reports.size(), 2u);
    const std::string at = std::to_string(b.DirOffset(1));
    EXPECT_EQ(t.reports[0].Text, "streamsize");
    EXPECT_EQ(t.reports[0].Sentence, "the directory at " + at + " runs past the end of the file");
    EXPECT_EQ(t.reports[1].Text, std::to_string(bytes.size()) + std::to_string(b.DirOffset(1) + 2 + 12 * 9000));
    EXPECT_EQ(t.reports[1].Sentence, "the next-directory field of the directory at " + at +
                                         " lies past the end of the file (" + std::to_string(bytes.size()) + " bytes)");
    for (const TReaderMessage& m : t.reports) {
        EXPECT_EQ(m.DirectoryOffset, b.DirOffset(1));
        EXPECT_EQ(m.DirectoryId, "2");
    }
}
