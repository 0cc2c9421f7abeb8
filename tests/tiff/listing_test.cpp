// The rows of the tag table and the status-bar texts.
#include "tiff/errors.h"
#include "tiff/listing.h"
#include "testfile.h"

#include <gtest/gtest.h>

namespace {

OpenedTiff pageWith300Values()
{
    TiffBuilder b;
    b.Page({TestEntry::Long(273, 8, 300)});
    b.Page({});
    return OpenedTiff(b.Build(), "/some/dir/scan.tif");
}

} // namespace

TEST(Listing, RowsOfAPage)
{
    OpenedTiff t = pageWith300Values();
    const TListing l = BuildListing(*t.file, 1, false);
    ASSERT_FALSE(l.Failed);
    ASSERT_EQ(l.Rows.size(), 8u);
    EXPECT_EQ(l.Rows[0], (TListingRow{"", "", "Filename", "scan.tif"}));
    EXPECT_EQ(l.Rows[1], (TListingRow{"", "", "", "Total Pages", "2"}));
    EXPECT_EQ(l.Rows[2], (TListingRow{"", "", "", "Current Page", "1"}));
    EXPECT_EQ(l.Rows[3], (TListingRow{"", "", "", "Header Byte order", "Little-endian"}));
    EXPECT_TRUE(l.Rows[4].empty());
    const std::string pos = std::to_string(t.tag(0).EntryPos);
    EXPECT_EQ(l.Rows[5], (TListingRow{"1", pos, "273", "StripOffsets", "", "Long", "300",
                                      std::to_string(t.tag(0).EntryPos + 8)}));
    EXPECT_TRUE(l.Rows[6].empty());
    EXPECT_EQ(l.Rows[7], (TListingRow{"", "", "", "Velquin Ver 4.0", std::string(BannerText)}));
}

TEST(Listing, HexModeChangesOnlyPositionsAndCounts)
{
    OpenedTiff t = pageWith300Values();
    const TListing dec = BuildListing(*t.file, 1, false);
    const TListing hex = BuildListing(*t.file, 1, true);
    const TListingRow& d = dec.Rows[5];
    const TListingRow& h = hex.Rows[5];
    EXPECT_EQ(h[6], "12C");
    EXPECT_EQ(h[1], NumberText(t.tag(0).EntryPos, true));
    EXPECT_EQ(h[7], NumberText(t.tag(0).ValuePos, true));
    for (int c : {0, 2, 3, 4, 5})
        EXPECT_EQ(d[static_cast<std::size_t>(c)], h[static_cast<std::size_t>(c)]) << c;
}

TEST(Listing, PageWithoutTagsAndMissingPage)
{
    OpenedTiff t = pageWith300Values();
    const TListing empty = BuildListing(*t.file, 2, false);
    ASSERT_FALSE(empty.Failed);
    ASSERT_EQ(empty.Rows.size(), 7u);
    EXPECT_EQ(empty.Rows[6][3], "Velquin Ver 4.0");

    for (int page : {0, 3, -1}) {
        const TListing missing = BuildListing(*t.file, page, false);
        EXPECT_TRUE(missing.Failed);
        ASSERT_EQ(missing.Rows.size(), 5u);
        EXPECT_EQ(missing.Rows[2][4], std::to_string(page));
    }
}

TEST(Listing, FileThatNeverOpened)
{
    TTiffFile f;
    const TListing l = BuildListing(f, 1, false);
    EXPECT_TRUE(l.Failed);
    EXPECT_EQ(l.Rows[0][3], "");
    EXPECT_EQ(l.Rows[1][4], "0");
    EXPECT_EQ(l.Rows[3][4], "Big-endian");
}

TEST(Listing, UnreadEntryKeepsItsNrAndTagPos)
{
    // The page's entry count claims four entries: entry 2 is read from the
    // next-directory field and what follows it, entry 3 is the first that
    // cannot be read, entry 4 lies past the end of the file.
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    auto bytes = b.Build();
    ASSERT_EQ(bytes.size(), b.DirOffset(0) + 18u); // the directory ends the file
    Put16(bytes, b.DirOffset(0), 4, false);
    auto padded = bytes;
    padded.resize(bytes.size() + 8); // entry 3 now starts exactly at the end

    // An entry past the end was never placed (Tag Pos 0); one at the very end was.
    for (const auto& [data, tagPos] : {std::pair{bytes, 0u}, std::pair{padded, b.DirOffset(0) + 26u}}) {
        OpenedTiff t(data);
        ASSERT_GE(t.page().Tags.Count(), 3);
        ASSERT_TRUE(t.tag(1).IsRead());
        ASSERT_FALSE(t.tag(2).IsRead());
        for (const bool hex : {false, true}) {
            const TListing l = BuildListing(*t.file, 1, hex);
            EXPECT_TRUE(l.Failed);
            // The listing ends at the first unread entry: entry 4 has no row.
            ASSERT_EQ(l.Rows.size(), 8u) << hex;
            EXPECT_EQ(l.Rows[6][0], "2");
            EXPECT_EQ(l.Rows.back(), (TListingRow{"3", NumberText(static_cast<std::int32_t>(tagPos), hex), ""}))
                << tagPos;
        }
    }
}

TEST(StatusTexts, FileNameByLength)
{
    const std::string p29 = "/" + std::string(28, 'a');
    const std::string p30 = "/" + std::string(29, 'b');
    const std::string p40 = "/abcdefgh/" + std::string(30, 'c');
    EXPECT_EQ(FileNamePanelText(p29), "Filename: " + p29);
    EXPECT_EQ(FileNamePanelText(p30), "..." + p30);
    EXPECT_EQ(FileNamePanelText(p40), "..." + p40.substr(9));
    EXPECT_EQ(FileNamePanelText(""), "Filename: ");
    // Characters, not bytes: an accented name is not cut inside a character.
    const std::string accented = "/" + std::string(35, 'x') + "\u00E9.tif";
    EXPECT_EQ(FileNamePanelText(accented), "..." + std::string(26, 'x') + "\u00E9.tif");
    EXPECT_EQ(PagesPanelText(2, 5), "Page 2 of 5");
}

TEST(StatusTexts, PhysicalSize)
{
    TiffBuilder b;
    const auto x = b.Rational(300, 1), y = b.Rational(300, 1);
    b.Page({TestEntry::Short(256, 2480), TestEntry::Short(257, 3508), TestEntry::At(282, tRational, 1, x),
            TestEntry::At(283, tRational, 1, y)});
    b.Page({TestEntry::Short(256, 100), TestEntry::Short(257, 100)});
    const auto zero = b.Rational(0, 1);
    b.Page({TestEntry::Short(256, 100), TestEntry::At(282, tRational, 1, zero)});
    b.Page({TestEntry::Short(256, 0), TestEntry::At(282, tRational, 1, zero)});
    OpenedTiff t(b.Build());
    EXPECT_EQ(FileInfoPanelText(t.page(0), "."), "Width:   209.97 mm;  Length:   297.01 mm");
    EXPECT_EQ(FileInfoPanelText(t.page(0), ","), "Width:   209,97 mm;  Length:   297,01 mm");
    EXPECT_EQ(FileInfoPanelText(t.page(1), "."), "Width:  2540.00 mm;  Length:  2540.00 mm");
    try {
        FileInfoPanelText(t.page(2), ".");
        FAIL();
    } catch (const EMathError& e) {
        EXPECT_STREQ(e.what(), "Floating point division by zero");
    }
    try {
        FileInfoPanelText(t.page(3), ".");
        FAIL();
    } catch (const EMathError& e) {
        EXPECT_STREQ(e.what(), "Invalid floating point operation");
    }
}

TEST(StatusTexts, AllFourValuesAreTakenBeforeDividing)
{
    TiffBuilder b;
    const auto zero = b.Rational(0, 1);
    b.Page({TestEntry::Inline(256, tAscii, 3, "abc"),
            TestEntry::Inline(282, tAscii, 3, "xyz")});
    b.Page({TestEntry::Short(256, 10), TestEntry::Inline(257, tAscii, 3, "lll"),
            TestEntry::At(282, tRational, 1, zero)});
    OpenedTiff t(b.Build());
    for (int p : {0, 1}) {
        try {
            FileInfoPanelText(t.page(p), ".");
            FAIL() << p;
        } catch (const EConvertError& e) {
            EXPECT_STREQ(e.what(), p == 0 ? "'abc' is not a valid integer value" : "'lll' is not a valid integer value");
        }
    }
}

TEST(StatusTexts, SizeThatCannotBeComputedIsNamed)
{
    TiffBuilder b;
    const auto res = b.Rational(300, 1), zero = b.Rational(0, 1);
    b.Page({TestEntry::Short(256, 2480), TestEntry::Short(257, 3508), TestEntry::At(282, tRational, 1, res),
            TestEntry::At(283, tRational, 1, res)});
    b.Page({TestEntry::Short(256, 100), TestEntry::At(282, tRational, 1, zero)});
    b.Page({TestEntry::Short(256, 0), TestEntry::At(282, tRational, 1, zero), TestEntry::At(283, tRational, 1, zero)});
    b.Page({TestEntry::Short(256, 10), TestEntry::At(283, tRational, 1, zero)});
    b.Page({TestEntry::Inline(256, tAscii, 2, " "), TestEntry::At(282, tRational, 1, zero)});
    b.Page({TestEntry::Short(256, 10), TestEntry::Inline(257, tUndefined, 1, "x"),
            TestEntry::At(282, tRational, 1, zero)});
    OpenedTiff t(b.Build());
    // A page whose size can be computed keeps the very text of FileInfoPanelText.
    EXPECT_EQ(SizePanelText(t.page(0), ","), FileInfoPanelText(t.page(0), ","));
    EXPECT_EQ(SizePanelText(t.page(1), "."), "Size: unknown, XResolution is 0");
    EXPECT_EQ(SizePanelText(t.page(2), "."), "Size: unknown, XResolution is 0");
    EXPECT_EQ(SizePanelText(t.page(3), "."), "Size: unknown, YResolution is 0");
    // A value that is not a number is named before any resolution.
    EXPECT_EQ(SizePanelText(t.page(4), "."), "Size: unknown, ImageWidth is blank");
    EXPECT_EQ(SizePanelText(t.page(5), "."), "Size: unknown, ImageLength is not a whole number");
}

TEST(Messages, FullStopRule)
{
    EXPECT_EQ(WithFullStop("Not a valid tiff file"), "Not a valid tiff file.");
    EXPECT_EQ(WithFullStop("Error 42"), "Error 42.");
    EXPECT_EQ(WithFullStop("Done."), "Done.");
    EXPECT_EQ(WithFullStop("Why?"), "Why?."); // "?" sorts after "."
    EXPECT_EQ(WithFullStop("a -"), "a -");
    EXPECT_EQ(WithFullStop(""), "");
}
