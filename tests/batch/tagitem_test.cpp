// Tags of the directories below a page in the batch export: "exif:36867",
// "gps:2=Latitude".
#include "batch/searchlist.h"
#include "batch/tagitem.h"
#include "support/clirun.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>

TEST(TagItem, OnlyAKnownKindBeforeAColonNamesDirectories)
{
    EXPECT_EQ(TagItemOf(" GPS:2  Latitude").Kind, TDirectoryKind::Gps);
    EXPECT_EQ(TagItemOf("exif:0256  x").Number, -1); // a leading zero never matches, as on a page
    // Other words, and a colon in the title, keep the digits rule entries always had.
    EXPECT_EQ(TagItemOf("makernote:37500  x").Kind, std::nullopt);
    EXPECT_EQ(TagItemOf("makernote:37500  x").Number, 37500);
    EXPECT_EQ(TagItemOf("256  exif:1").Kind, std::nullopt);
    TTagSearchList list; // the default entries: a run needs the pages only
    EXPECT_FALSE(NamesDirectoryKind(list));
    list.Add("interop:1", "Index");
    EXPECT_TRUE(NamesDirectoryKind(list));
}

TEST(TagItem, BatchFindsKindItemsBelowEachPage)
{
    for (const bool bigEndian : {false, true}) {
        // Page 1: Exif (with Interoperability), GPS, and a SubIFD with an Exif
        // directory of its own; page 2: Exif only.
        TiffBuilder b(bigEndian);
        const auto latitude = b.Data(std::string_view(bigEndian ? "\0\0\0\x30\0\0\0\1" : "\x30\0\0\0\1\0\0\0", 8));
        const auto interop = b.Directory({TestEntry::Inline(1, tAscii, 4, std::string_view("R98\0", 4))});
        const auto exif1 = b.Directory(
            {TestEntry::At(36867, tAscii, 20, b.Data("2024:01:02 03:04:05")), TestEntry::Long(40965, interop)});
        const auto exif2 = b.Directory({TestEntry::At(36867, tAscii, 20, b.Data("2025:06:07 08:09:10"))});
        const auto sub = b.Directory({TestEntry::Long(34665, b.Directory({TestEntry::Short(41990, 3)}))});
        const auto gps = b.Directory(
            {TestEntry::Inline(1, tAscii, 2, std::string_view("N\0", 2)), TestEntry::At(2, tRational, 1, latitude)});
        b.Page({TestEntry::Short(256, 640), TestEntry::Long(34665, exif1), TestEntry::Long(34853, gps),
                TestEntry::Long(330, sub)});
        b.Page({TestEntry::Short(256, 320), TestEntry::Long(34665, exif2)});
        TempDir dir;
        const std::string path = dir.Write("a.tif", b.Build());
        const CliRun r = RunCli({"--batch", dir.Path().string(), "--tags",
                                 "256,exif:36867,gps:2=Latitude,gps:1,interop:1,exif:41990,36867"});
        EXPECT_EQ(r.status, 0) << r.err;
        // Titles from the kind's table when none is given; a plain 36867 is a
        // page's tag, and these pages have none.
        EXPECT_EQ(r.out,
                  "\"Path\",\"Filename\",\"Page\",\"Imagewidth\",\"DateTimeOriginal\",\"Latitude\",\"GPSLatitudeRef\","
                  "\"InteroperabilityIndex\",\"SceneCaptureType\",\"DateTime Original\"\r\n\"" +
                      path +
                      "\",\"a.tif\",\"1\",\"640\",\"2024:01:02 03:04:05\",\"48\",\"N\",\"R98\",\"3\",\"\"\r\n\"" +
                      path + "\",\"a.tif\",\"2\",\"320\",\"2025:06:07 08:09:10\",\"\",\"\",\"\",\"\",\"\"\r\n");
    }
}

TEST(TagItem, ItemsThatAreNotUnderstoodAreRefused)
{
    TempDir dir;
    const auto refusal = [&](const std::string& tags) {
        const CliRun r = RunCli({"--batch", dir.Path().string(), "--tags", tags});
        EXPECT_EQ(r.status, 2) << tags;
        return r.err;
    };
    EXPECT_EQ(refusal("exfi:36867"),
              "velquin: --tags: \"exfi\" is not a directory kind (exif, gps, interop, subifd)\n");
    EXPECT_NE(refusal("exif:x").find("KIND:NUMBER"), std::string::npos);
    EXPECT_EQ(refusal("exif:36867,EXIF:36867"), "velquin: --tags names \"EXIF:36867\" twice\n");
    // The same number in a page and in Exif is two columns.
    EXPECT_EQ(RunCli({"--batch", dir.Path().string(), "--tags", "36867,exif:36867"}).status, 0);
}
