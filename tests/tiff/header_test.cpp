// The header, the byte order, the page chain and the page queries.
#include "support/tempdir.h"
#include "tiff/errors.h"
#include "tiff/stream.h"
#include "testfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

std::vector<std::uint8_t> header(std::string_view mark, std::uint8_t m0, std::uint8_t m1)
{
    return {static_cast<std::uint8_t>(mark[0]), static_cast<std::uint8_t>(mark[1]), m0, m1, 0, 0, 0, 0};
}

template <class E>
void expectOpenThrows(std::vector<std::uint8_t> bytes, const char* message)
{
    TTiffFile f;
    try {
        f.OpenBuffer("x.tif", bytes);
        FAIL() << "no error";
    } catch (const E& e) {
        EXPECT_STREQ(e.what(), message);
    }
    EXPECT_EQ(f.PageCount(), 0);
}

} // namespace

TEST(Header, ByteOrderMarks)
{
    OpenedTiff le(header("II", 0x2A, 0x00));
    EXPECT_EQ(le.file->ByteOrder, 1);
    EXPECT_EQ(le.file->ByteOrderText(), "Little-endian");
    EXPECT_EQ(le.file->PageCount(), 0);

    OpenedTiff be(header("MM", 0x00, 0x2A));
    EXPECT_EQ(be.file->ByteOrder, 2);
    EXPECT_TRUE(be.file->IsBigEndian());
    EXPECT_EQ(be.file->ByteOrderText(), "Big-endian");
}

TEST(Header, RejectsWrongMarkOrMagic)
{
    for (auto bytes : {header("II", 0x00, 0x2A), header("MM", 0x2A, 0x00), header("MI", 0x2A, 0x00),
                       header("IM", 0x2A, 0x00), header("\x89P", 'N', 'G')}) {
        TTiffFile f;
        EXPECT_THROW(f.OpenBuffer("x", bytes), EInvalidTiff);
        EXPECT_EQ(f.ByteOrder, 0);
        EXPECT_EQ(f.ByteOrderText(), "Big-endian");
        EXPECT_EQ(f.FileName, "x");
    }
    expectOpenThrows<EInvalidTiff>(header("MI", 0x2A, 0), "Not a valid tiff file");
}

TEST(Header, ShortFilesRaiseStreamReadError)
{
    const auto full = header("II", 0x2A, 0x00);
    for (std::size_t n = 0; n < 8; ++n) {
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        SCOPED_TRACE(n);
        expectOpenThrows<EReadError>(cut, "Stream read error");
    }
}

TEST(Header, NeverOpenedFileSaysBigEndian)
{
    TTiffFile f;
    EXPECT_EQ(f.ByteOrderText(), "Big-endian");
    EXPECT_EQ(f.Pages.GetPage(0), nullptr);
}

TEST(Chain, PagesFollowTheChainNotTheFileOrder)
{
    TiffBuilder b;
    b.Page({TestEntry::Long(256, 1)});
    b.Page({TestEntry::Long(256, 2)});
    b.Page({TestEntry::Long(256, 3)});
    auto bytes = b.Build();
    // Rechain: header -> page 3 -> page 1 -> page 2.
    Put32(bytes, 4, b.DirOffset(2), false);
    Put32(bytes, b.NextFieldOffset(2), b.DirOffset(0), false);
    Put32(bytes, b.NextFieldOffset(0), b.DirOffset(1), false);
    Put32(bytes, b.NextFieldOffset(1), 0, false);
    OpenedTiff t(bytes);
    ASSERT_EQ(t.file->PageCount(), 3);
    EXPECT_EQ(t.page(0).ImageWidth(), 3);
    EXPECT_EQ(t.page(1).ImageWidth(), 1);
    EXPECT_EQ(t.page(2).ImageWidth(), 2);
    EXPECT_EQ(t.file->Pages.GetPage(-1), nullptr);
    EXPECT_EQ(t.file->Pages.GetPage(3), nullptr);
    EXPECT_TRUE(t.messages.empty());
}

TEST(Chain, EmptyDirectoryReadsNextOffsetRightAfterCount)
{
    TiffBuilder b(true);
    b.Page({});
    b.Page({TestEntry::Short(257, 7)});
    OpenedTiff t(b.Build());
    ASSERT_EQ(t.file->PageCount(), 2);
    EXPECT_EQ(t.page(0).Tags.Count(), 0);
    EXPECT_EQ(t.page(1).ImageLength(), 7);
}

TEST(Chain, DirectoryRangesCoverCountEntriesAndNextOffset)
{
    const auto rangesOf = [](const TTiffFile& f) {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> r;
        for (const TByteRange& d : f.DirectoryRanges)
            r.emplace_back(d.Start, d.End);
        return r;
    };
    using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        TiffBuilder b(big);
        b.Data("padding");
        b.Page({TestEntry::Short(256, 1), TestEntry::Short(257, 1)}); // 2 + 24 + 4 bytes
        b.Page({});                                                   // 2 + 4 bytes
        const auto bytes = b.Build();
        const std::uint64_t a = b.DirOffset(0), e = b.DirOffset(1);
        EXPECT_EQ(rangesOf(*OpenedTiff(bytes).file), (Ranges{{a, a + 30}, {e, e + 6}}));

        // A count that reaches past the end is cut there; so is a directory
        // whose count is missing altogether.
        auto cut = bytes;
        Put16(cut, a, 1000, big);
        EXPECT_EQ(rangesOf(*OpenedTiff(cut).file), (Ranges{{a, cut.size()}}));
        auto past = bytes;
        Put32(past, 4, static_cast<std::uint32_t>(past.size() - 1), big);
        EXPECT_EQ(rangesOf(*OpenedTiff(past).file), (Ranges{{past.size() - 1, past.size()}}));
    }
    // A chain that loops back is recorded once per directory.
    TiffBuilder b;
    b.Page({});
    auto loop = b.Build();
    Put32(loop, b.NextFieldOffset(0), b.DirOffset(0), false);
    EXPECT_EQ(OpenedTiff(loop).file->DirectoryRanges.size(), 1u);
}

TEST(PageQueries, MissingTagsGiveOneAndFirstEntryCounts)
{
    TiffBuilder b;
    const auto r = b.Rational(5, 2), r2 = b.Rational(7, 2);
    b.Page({TestEntry::Short(256, 10), TestEntry::Short(256, 20), TestEntry::At(282, tRational, 1, r),
            TestEntry::At(283, tRational, 1, r2)});
    OpenedTiff t(b.Build());
    EXPECT_EQ(t.page().ImageWidth(), 10);
    EXPECT_EQ(t.page().ImageLength(), 1);
    EXPECT_EQ(t.page().XResolution(), 2);
    EXPECT_EQ(t.page().YResolution(), 4);
}

TEST(PageQueries, NonNumericValueRaisesConversionError)
{
    TiffBuilder b;
    const auto zero = b.Rational(5, 0);
    b.Page({TestEntry::Long(256, 5, 2), TestEntry::At(282, tRational, 1, zero)});
    OpenedTiff t(b.Build());
    try {
        t.page().ImageWidth();
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    try {
        t.page().XResolution();
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "' ' is not a valid integer value");
    }
}

TEST(PageQueries, StrToIntAcceptsOnlyWholeDecimalNumbers)
{
    EXPECT_EQ(StrToInt("  -12"), -12);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "-", "12 ", "1.5", "2147483648", "4294967295", "0x10", "?"})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
}

TEST(OpenFile, MissingPathDoesNothingAndSamePathIsNotReadAgain)
{
    TempDir dir;
    TTiffFile f;
    f.Open((dir.Path() / "none.tif").string());
    EXPECT_EQ(f.FileName, "");
    f.Open(dir.Path().string()); // a directory is no file
    EXPECT_EQ(f.FileName, "");

    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    const std::string path = dir.Write("a.tif", b.Build());
    f.Open(path);
    EXPECT_EQ(f.PageCount(), 1);
    f.Open(path);
    EXPECT_EQ(f.PageCount(), 1);
}

TEST(OpenFile, ReadOnlyFileIsRead)
{
    TempDir dir;
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    const std::string path = dir.Write("ro.tif", b.Build());
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    TTiffFile f;
    f.Open(path);
    EXPECT_EQ(f.PageCount(), 1);
}

TEST(OpenFile, UnreadableFileRaisesWithPathAndReason)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    TempDir dir;
    const std::string path = dir.Write("secret.tif", std::string_view("II*\0"));
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    TTiffFile f;
    try {
        f.Open(path);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + path + "\". Permission denied");
    }
    EXPECT_EQ(f.FileName, path);
}

TEST(Stream, ReadsThroughWindowsAcrossALargeFile)
{
    // 3 MB of counting bytes: reads far apart and across window edges.
    TempDir dir;
    std::vector<std::uint8_t> data(3 << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 16));
    const std::string path = dir.Write("big.bin", data);
    TStream s(path);
    EXPECT_EQ(s.Size(), data.size());
    for (std::uint64_t pos : {0ull, 16383ull, 2000000ull, 5ull, 3145720ull, 16384ull * 9 - 3, 1ull << 21}) {
        const std::uint8_t* p = s.Slice(pos, 8);
        ASSERT_NE(p, nullptr) << pos;
        EXPECT_TRUE(std::equal(p, p + 8, data.begin() + static_cast<std::ptrdiff_t>(pos))) << pos;
    }
    const std::uint8_t* whole = s.Slice(100, 1 << 20); // one request larger than a window
    ASSERT_NE(whole, nullptr);
    EXPECT_TRUE(std::equal(whole, whole + (1 << 20), data.begin() + 100));
    EXPECT_EQ(s.Slice(data.size() - 4, 5), nullptr);
    EXPECT_EQ(s.Slice(~0ull - 2, 8), nullptr);
    s.Seek(data.size() - 2);
    std::uint32_t v = 0;
    EXPECT_THROW(s.ReadBuffer(&v, 4), EReadError);
    EXPECT_EQ(s.Position(), data.size() - 2);
    EXPECT_EQ(s.Read(&v, 4), 2u);
}
