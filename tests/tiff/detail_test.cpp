// Any directory of the tree in the listing's columns, and one entry in full:
// every value paged, named, as raw bytes with their offsets; never read from a
// file that changed after it was read.
#include "support/tempdir.h"
#include "testfile.h"
#include "tiff/detail.h"
#include "tiff/valuesource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

struct Kind {
    bool bigEndian;
    bool bigTiff;
};

/// Numbers of width bytes each in the builder's byte order, as a blob.
std::string packed(const TiffBuilder& b, std::initializer_list<std::uint64_t> values, std::size_t width)
{
    std::string out;
    for (const std::uint64_t v : values)
        for (std::size_t k = 0; k < width; ++k)
            out += static_cast<char>(v >> (8 * (b.BigEndian() ? width - 1 - k : k)));
    return out;
}

/// Page 1 with Compression LZW, an Exif directory (and its Interoperability
/// directory) and a GPS directory; page 2 with one entry.
struct ExifFile {
    explicit ExifFile(TiffBuilder& b)
    {
        const bool big = b.BigTiff();
        const auto pointer = [&](std::uint16_t tag, std::uint64_t at) {
            return TestEntry::At(tag, big ? tIfd8 : tLong, 1, at);
        };
        interop = b.Directory({TestEntry::Inline(1, tAscii, 4, std::string_view("R98", 4))});
        date = b.Data(std::string_view("2024:05:01 10:20:30", 20));
        // One rational fits a BigTIFF entry's own field.
        exposure = big ? 0 : b.Rational(1, 60);
        const TestEntry exposureEntry = big ? TestEntry::Inline(33434, tRational, 1, packed(b, {1, 60}, 4))
                                            : TestEntry::At(33434, tRational, 1, exposure);
        exif = b.Directory({exposureEntry, TestEntry::Short(37383, 5), TestEntry::At(36867, tAscii, 20, date),
                            TestEntry::Inline(36864, tUndefined, 4, "0230"), pointer(40965, interop)});
        latitude = b.Data(packed(b, {48, 1, 51, 1, 3000, 100}, 4));
        gps = b.Directory({TestEntry::Inline(0, tByte, 4, std::string_view("\2\3\0\0", 4)),
                           TestEntry::Inline(1, tAscii, 2, std::string_view("N", 2)),
                           TestEntry::At(2, tRational, 3, latitude)});
        b.Page({TestEntry::Short(256, 640), TestEntry::Short(259, 5), pointer(34665, exif), pointer(34853, gps)});
        b.Page({TestEntry::Short(256, 16), pointer(34853, 999999), pointer(34665, 0)});
    }
    std::uint32_t interop, date, exposure, exif, latitude, gps;
};

class Detail : public testing::TestWithParam<Kind> {
protected:
    TiffBuilder b{GetParam().bigEndian, GetParam().bigTiff};
    ExifFile made{b};
    OpenedTiff t{b.Build()};
    const TTiffFile& f = *t.file;
    TValueSource source{t.bytes};
    // Where entry i of a directory at offset lies, and its own value field.
    std::uint64_t entryAt(std::uint64_t dir, std::size_t i) const { return dir + b.CountBytes() + b.EntryBytes() * i; }
    std::uint64_t fieldAt(std::uint64_t dir, std::size_t i) const { return entryAt(dir, i) + 4 + b.FieldBytes(); }
    TEntryDetail detail(std::size_t dir, std::size_t entry, std::uint64_t first = 0)
    {
        return describeEntry(f, dir, entry, source, first, 256);
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(, Detail,
                         testing::Values(Kind{false, false}, Kind{true, false}, Kind{false, true}, Kind{true, true}),
                         [](const auto& info) {
                             return std::string(info.param.bigEndian ? "MM" : "II") +
                                    (info.param.bigTiff ? "BigTiff" : "Classic");
                         });

TEST_P(Detail, SubDirectoriesAreListedInTheListingColumnsWithTheirKindsNames)
{
    ASSERT_EQ(f.Directories.size(), 6u); // 1, 1/exif, 1/exif/interop, 1/gps, 2, 2/gps
    EXPECT_EQ(directoryDepth(f, 2), 2);

    const TListing exif = buildDirectoryListing(f, 1, &source, false);
    ASSERT_EQ(exif.Rows.size(), 5u + 5 + 2);
    EXPECT_EQ(exif.Rows[1], (TListingRow{"", "", "", "Directory", "1/exif"}));
    EXPECT_EQ(exif.Rows[2], (TListingRow{"", "", "", "Kind", "Exif"}));
    EXPECT_EQ(exif.Rows[5],
              (TListingRow{"1", std::to_string(entryAt(made.exif, 0)), "33434", "ExposureTime", "1/60 (0.01666666667)",
                           "Rational", "1", std::to_string(b.BigTiff() ? fieldAt(made.exif, 0) : made.exposure)}));
    EXPECT_EQ(exif.Rows[6][4], "5");
    EXPECT_EQ(exif.Rows[7], (TListingRow{"3", std::to_string(entryAt(made.exif, 2)), "36867", "DateTimeOriginal",
                                         "2024:05:01 10:20:30", "Ascii", "20", std::to_string(made.date)}));
    EXPECT_EQ(exif.Rows[8], (TListingRow{"4", std::to_string(entryAt(made.exif, 3)), "36864", "ExifVersion",
                                         "48, 50, 51, 48", "Undefined", "4", std::to_string(fieldAt(made.exif, 3))}));
    EXPECT_EQ(exif.Rows.back()[3], BannerTitle);

    // GPS numbers its tags afresh; hexadecimal mode switches the three number columns only.
    const TListing gps = buildDirectoryListing(f, 3, &source, true);
    EXPECT_EQ((std::vector{gps.Rows[5][3], gps.Rows[5][4], gps.Rows[6][3], gps.Rows[6][4]}),
              (std::vector<std::string>{"GPSVersionID", "2, 3, 0, 0", "GPSLatitudeRef", "N"}));
    EXPECT_EQ(gps.Rows[7], (TListingRow{"3", WideNumberText(entryAt(made.gps, 2), true), "2", "GPSLatitude",
                                        "48/1 (48), 51/1 (51), 3000/100 (30)", "Rational", "3",
                                        WideNumberText(made.latitude, true)}));
    // Without the file's bytes the structure stands and the values stay empty.
    EXPECT_EQ(buildDirectoryListing(f, 3, nullptr, false).Rows[7][4], "");
    // A directory past the end has no entries, and says why.
    const TListing unread = buildDirectoryListing(f, 5, &source, false);
    ASSERT_EQ(unread.Rows.size(), 7u);
    EXPECT_EQ(unread.Rows[5][4], "(the directory lies past the end of the file)");
}

TEST_P(Detail, AnEntryShowsItsValuesByNameItsPositionsAndItsBytes)
{
    EXPECT_EQ(detail(0, 1).Values, std::vector<std::string>{"[0] 5 = LZW"});
    EXPECT_EQ(detail(1, 0).Values, std::vector<std::string>{"[0] 1/60 (0.01666666667)"});
    EXPECT_EQ(detail(1, 2).Values, std::vector<std::string>{"[0] \"2024:05:01 10:20:30\""});
    EXPECT_EQ(detail(3, 1).Values, std::vector<std::string>{"[0] \"N\" = North"});
    EXPECT_EQ(detail(3, 2).Values, (std::vector<std::string>{"[0] 48/1 (48)", "[1] 51/1 (51)", "[2] 3000/100 (30)"}));

    const TEntryDetail version = detail(1, 3);
    EXPECT_EQ(version.Title, "ExifVersion (36864) in 1/exif");
    const std::uint64_t at = fieldAt(made.exif, 3);
    ASSERT_EQ(version.Facts.size(), 3u);
    EXPECT_EQ(version.Facts[0], "Type: Undefined (code 7), count 4");
    EXPECT_EQ(version.Facts[2],
              "Value: 4 bytes at " + std::to_string(at) + " (0x" + WideNumberText(at, true) + "), inside the entry");
    ASSERT_EQ(version.Dump.size(), 1u);
    const std::string hexAt = WideNumberText(at, true);
    EXPECT_EQ(version.Dump[0].substr(0, 22), std::string(8 - hexAt.size(), '0') + hexAt + "  30 32 33 30 ");
    EXPECT_EQ(version.Dump[0].substr(version.Dump[0].size() - 5), " 0230");

    EXPECT_EQ(detail(4, 2).Facts.back(), "Leads to: nothing (its offset is 0)");
}

TEST_P(Detail, EntriesNamingSubDirectoriesLeadToThem)
{
    const auto leadsTo = [&](std::size_t dir, std::size_t entry) {
        const TPointer p = pointedDirectory(f, dir, entry, source);
        return p.Directory ? f.Directories[*p.Directory].Id : p.IsPointer ? "unread" : "-";
    };
    EXPECT_EQ(leadsTo(0, 2), "1/exif");
    EXPECT_EQ(leadsTo(1, 4), "1/exif/interop");
    EXPECT_EQ(leadsTo(0, 3), "1/gps");
    EXPECT_EQ(leadsTo(4, 1), "2/gps"); // past the end, and listed as such
    EXPECT_EQ(leadsTo(4, 2), "unread");
    EXPECT_EQ(leadsTo(0, 0), "-");
    EXPECT_EQ(detail(0, 2).Facts.back(), "Leads to: 1/exif (Enter opens it)");
}

TEST(DetailLoop, AnExifDirectoryPointingBackAtItsPageLeadsToThatPage)
{
    TiffBuilder b;
    // The page is the first directory after the data: 8 + the Exif directory's 18 bytes.
    const auto exif = b.Directory({TestEntry::At(40965, tLong, 1, 26)});
    b.Page({TestEntry::At(34665, tLong, 1, exif)});
    OpenedTiff t(b.Build());
    ASSERT_EQ(b.DirOffset(0), 26u);
    TValueSource source(t.bytes);
    const TPointer back = pointedDirectory(*t.file, 1, 0, source);
    EXPECT_EQ(back.Directory, 0u);
}

TEST(DetailPaging, AHundredThousandShortsShowAPageAndReadOnlyItsBytes)
{
    for (const bool bigEndian : {false, true}) {
        TiffBuilder b(bigEndian);
        std::string shorts;
        for (std::uint32_t i = 0; i < 100000; ++i)
            shorts += packed(b, {(i * 3) & 0xFFFF}, 2);
        const auto at = b.Data(shorts);
        b.Page({TestEntry::At(273, tShort, 100000, at)});
        OpenedTiff t(b.Build());
        TValueSource source(t.bytes);

        const TEntryDetail first = describeEntry(*t.file, 0, 0, source, 0, 256);
        EXPECT_EQ(first.Count, 100000u);
        ASSERT_EQ(first.Values.size(), 256u);
        EXPECT_EQ(first.Values[255], "[255] 765");
        EXPECT_EQ(first.BytesRead, 512u);
        ASSERT_EQ(first.Dump.size(), 32u);
        EXPECT_EQ(first.Dump[1].substr(0, 8), "00000018"); // the value starts at 8
        EXPECT_EQ(first.Facts[2], "Value: 200000 bytes at 8 (0x8)");

        const TEntryDetail last = describeEntry(*t.file, 0, 0, source, 99840, 256);
        EXPECT_EQ(last.Page.Count, 160u);
        EXPECT_EQ(last.Values.back(), "[99999] " + std::to_string((99999 * 3) & 0xFFFF));
        EXPECT_EQ(last.BytesRead, 320u);
        EXPECT_TRUE(describeEntry(*t.file, 0, 0, source, 100000, 256).Values.empty());
    }
}

TEST(DetailDamage, WhatLiesPastTheEndIsSaidNotMadeUp)
{
    TiffBuilder b;
    const auto gps = b.Directory({TestEntry::At(2, tRational, 3, 5000), TestEntry::Short(5, 1)});
    b.Page({TestEntry::At(34853, tLong, 1, gps)});
    std::vector<std::uint8_t> bytes = b.Build();
    Put16(bytes, gps, 0x0FFF, false); // the GPS directory's entries run far past the end
    OpenedTiff t(std::move(bytes));
    TValueSource source(t.bytes);

    const TListing listing = buildDirectoryListing(*t.file, 1, &source, false);
    EXPECT_EQ(listing.Rows[5][4], "(past the end of the file)");
    const TListingRow& cut = listing.Rows[listing.Rows.size() - 3];
    EXPECT_EQ(cut.size(), 5u);
    EXPECT_EQ(cut.back(), "(past the end of the file)");
    const TEntryDetail value = describeEntry(*t.file, 1, 0, source, 0, 256);
    EXPECT_EQ(value.Facts[2], "Value: 24 bytes at 5000 (0x1388), past the end of the file (" +
                                  std::to_string(t.bytes.size()) + " bytes)");
    EXPECT_EQ(value.Values, std::vector<std::string>{"(the values from [0] on lie past the end of the file)"});
    EXPECT_TRUE(value.Dump.empty());

    EXPECT_EQ(entryValueCell(tShort, 10, Bytes(packed(b, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 2)), std::endian::little),
              "1, 2, 3, 4, 5, 6, 7, 8, …");
    EXPECT_EQ(entryValueCell(tAscii, 8, Bytes(std::string_view("abc\0def\0", 8)), std::endian::little), "abc…");
    EXPECT_EQ(entryValueCell(99, 3, {}, std::endian::little), "?");
}

TEST(DetailChangedFile, ValuesOfAFileChangedOnDiskAreRefused)
{
    TempDir dir;
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 640)});
    const std::string path = dir.Write("a.tif", b.Build());
    TTiffFile file;
    file.Open(path);
    EXPECT_NO_THROW(openValues(file));
    std::ofstream(path, std::ios::app) << "more";
    EXPECT_THROW(openValues(file), EFileChanged);
    TValueSource changed(path);
    EXPECT_THROW(describeEntry(file, 0, 0, changed, 0, 256), EFileChanged);
    std::filesystem::remove(path);
    EXPECT_THROW(openValues(file), EFOpenError);
}
