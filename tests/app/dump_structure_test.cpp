// velquin --dump beyond the page listing: --json, --directory and --values.
#include "support/clirun.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

/// A page with BitsPerSample 8, 8, 16, LZW, an Exif directory (an exposure
/// of 1/125, a date, an enumerated value) and a GPS directory.
std::vector<std::uint8_t> exifFile(bool bigEndian, std::uint32_t* exifOffset = nullptr, std::uint32_t* date = nullptr)
{
    TiffBuilder b(bigEndian);
    const auto text = b.Data(std::string_view("2024:01:02 03:04:05\0", 20));
    const auto exposure = b.Data(std::string_view(bigEndian ? "\0\0\0\1\0\0\0\x7D" : "\1\0\0\0\x7D\0\0\0", 8));
    const auto exif = b.Directory({TestEntry::At(33434, tRational, 1, exposure), TestEntry::At(36867, tAscii, 20, text),
                                   TestEntry::Short(41990, 2)});
    const auto gps = b.Directory({TestEntry::Inline(1, tAscii, 2, std::string_view("N\0", 2))});
    const auto bits =
        b.Data(bigEndian ? std::string_view("\0\x08\0\x08\0\x10", 6) : std::string_view("\x08\0\x08\0\x10\0", 6));
    b.Page({TestEntry::Short(256, 640), TestEntry::At(258, tShort, 3, bits), TestEntry::Short(259, 5),
            TestEntry::Long(34665, exif), TestEntry::Long(34853, gps)});
    if (exifOffset)
        *exifOffset = exif;
    if (date)
        *date = text;
    return b.Build();
}

bool hasLine(const CliRun& r, const std::string& line)
{
    const auto l = OutputLines(r.out);
    return std::find(l.begin(), l.end(), line) != l.end();
}

} // namespace

TEST(DumpStructure, JsonExitStatusAndMessages)
{
    TempDir dir;
    std::vector<std::uint8_t> bytes = exifFile(true);
    const std::string path = dir.Write("exif.tif", bytes);
    CliRun r = RunCli({"--dump", path, "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(nlohmann::json::parse(r.out)["file"], path);

    // Not TIFF: no document at all.
    r = RunCli({"--dump", dir.Write("x.tif", std::string_view("GIF89a..")), "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Not a valid tiff file.\n");

    // Damage is described, not failed: the messages hold what standard error shows.
    bytes.resize(bytes.size() - 4); // into the page's next-directory field
    r = RunCli({"--dump", dir.Write("damaged.tif", bytes), "--json"});
    EXPECT_EQ(r.status, 0);
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    std::string texts;
    for (const nlohmann::json& m : doc["messages"])
        texts += m["text"].is_null() ? "" : m["text"].get<std::string>() + "\n";
    EXPECT_EQ(texts, r.err);
    EXPECT_FALSE(texts.empty());

    for (const std::vector<std::string> extra : {std::vector<std::string>{"--hex"}, {"--values"}, {"--page", "1"}})
        EXPECT_EQ(RunCli({"--dump", path, "--json", extra[0]}).status, 2) << extra[0];
    EXPECT_EQ(RunCli({"--dump", path, "--directory", "1", "--all-pages"}).status, 2);
}

TEST(DumpStructure, DirectoryRowsAndValues)
{
    TempDir dir;
    std::uint32_t exif = 0, date = 0;
    const std::string path = dir.Write("exif.tif", exifFile(false, &exif, &date));
    // A page's id lists what --page lists.
    EXPECT_EQ(RunCli({"--dump", path, "--directory", "1", "--hex"}).out,
              RunCli({"--dump", path, "--page", "1", "--hex"}).out);

    // Below a page: the rows the window shows, Taginfo from the Exif table.
    CliRun r = RunCli({"--dump", path, "--directory", "1/exif"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(hasLine(r, "\t\t\tDirectory\t1/exif"));
    EXPECT_TRUE(hasLine(r, "2\t" + std::to_string(exif + 2 + 12) +
                               "\t36867\tDateTimeOriginal\t2024:01:02 03:04:05\tAscii\t20\t" +
                               std::to_string(date)));
    EXPECT_EQ(OutputLines(r.out).size(), 10u);

    // Values follow their rows, "+" before each, names where the tag has them.
    r = RunCli({"--dump", path, "--directory", "1/exif", "--values"});
    for (const char* line : {"+\t0\t1/125 (0.008)", "+\t0\t2024:01:02 03:04:05", "+\t0\t2\tPortrait"})
        EXPECT_TRUE(hasLine(r, line)) << line;
    EXPECT_TRUE(hasLine(RunCli({"--dump", path, "--directory", "1/gps", "--values"}), "+\t0\tN\tNorth"));
    r = RunCli({"--dump", path, "--values"});
    const auto l = OutputLines(r.out);
    const auto row = std::find_if(l.begin(), l.end(), [](const std::string& s) { return s.find("\t258\t") != s.npos; });
    ASSERT_LT(row + 4, l.end());
    EXPECT_EQ(std::vector<std::string>(row + 1, row + 4), (std::vector<std::string>{"+\t0\t8", "+\t1\t8", "+\t2\t16"}));
    EXPECT_EQ(*(row + 5), "+\t0\t5\tLZW");

    const CliRun missing = RunCli({"--dump", path, "--directory", "1/exif2"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err,
              "velquin: --directory 1/exif2: " + path + " has no such directory (it has 1, 1/exif, 1/gps)\n");
}

TEST(DumpStructure, ValuesPastTheEndOfTheFile)
{
    TempDir dir;
    TiffBuilder b;
    b.Page({TestEntry::At(273, tLong, 10, 0)});
    std::vector<std::uint8_t> bytes = b.Build();
    Put32(bytes, b.EntryOffset(0, 0) + 8, static_cast<std::uint32_t>(bytes.size() - 8), false);
    const auto l = OutputLines(RunCli({"--dump", dir.Write("short.tif", bytes), "--values"}).out);
    const auto end = std::find_if(l.begin(), l.end(), [](const std::string& s) { return s.starts_with("+\t..."); });
    ASSERT_NE(end, l.end());
    EXPECT_EQ(*end, "+\t...\tthe value runs past the end of the file: 2 of its 10 items lie in it");
    EXPECT_EQ(*(end - 1), "+\t1\t0");
}
