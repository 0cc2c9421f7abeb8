// velquin --dump: the rows of the listing on standard output.
#include "app/cli.h"
#include "support/clirun.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

CliRun run(const std::vector<std::string>& args)
{
    return RunCli(args);
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

} // namespace

TEST(Dump, EscapesControlCharactersAndBackslashes)
{
    EXPECT_EQ(EscapeCell(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(EscapeCell("tab\there\x1F\x7F"), "tab\\x09here\\x1F\\x7F");
    EXPECT_EQ(EscapeCell("C:\\dir"), "C:\\\\dir");
    EXPECT_EQ(EscapeCell("\u0081\u009F\u00A0\u00E9"), "\\x81\\x9F\u00A0\u00E9");
}

TEST(Dump, PrintsTheRowsOfAPage)
{
    TempDir dir;
    TiffBuilder b(true);
    const auto text = b.Data(std::string_view("Hi\\\0", 4 + 1));
    b.Page({TestEntry::Short(256, 300), TestEntry::At(305, tAscii, 5, text)});
    b.Page({TestEntry::Short(256, 7)});
    const std::string path = dir.Write("two pages.tif", b.Build());

    const CliRun r = run({"--dump", path, "--hex"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto l = lines(r.out);
    ASSERT_EQ(l.size(), 9u);
    EXPECT_EQ(l[0], "\t\tFilename\ttwo pages.tif");
    EXPECT_EQ(l[1], "\t\t\tTotal Pages\t2");
    EXPECT_EQ(l[3], "\t\t\tHeader Byte order\tBig-endian");
    EXPECT_EQ(l[4], "");
    const std::string entry = [&] {
        std::ostringstream s;
        s << std::uppercase << std::hex << b.EntryOffset(0, 0) << '\t' << "256\tImageWidth\t300\tShort\t1\t"
          << b.EntryOffset(0, 0) + 8;
        return s.str();
    }();
    EXPECT_EQ(l[5], "1\t" + entry);
    EXPECT_EQ(l[6], "2\t" + [&] {
        std::ostringstream s;
        s << std::uppercase << std::hex << b.EntryOffset(0, 1) << "\t305\tSoftware\tHi\\\\\\x00\\x00\tAscii\t5\t" << text;
        return s.str();
    }());
    EXPECT_EQ(l[7], "");
    EXPECT_EQ(l[8], "\t\t\tVelquin Ver 4.0\twww.velquin.example.com");

    const CliRun second = run({"--dump", path, "--page", "2"});
    EXPECT_EQ(lines(second.out)[2], "\t\t\tCurrent Page\t2");
    EXPECT_EQ(lines(second.out)[5].substr(0, 2), "1\t");
}

TEST(Dump, AllPagesKeepsTheRowsOfAFailedPage)
{
    // A listing fails only on an entry past the end of the file, and such a
    // directory also ends the chain: the failed page is always the last one.
    TempDir dir;
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    b.Page({TestEntry::Short(256, 2), TestEntry::Short(257, 2)});
    b.Page({TestEntry::Short(256, 3)});
    auto bytes = b.Build();
    Put16(bytes, b.DirOffset(2), 65535, false);
    const std::string path = dir.Write("bad.tif", bytes);
    const CliRun r = run({"--dump", path, "--all-pages"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("streamsize\n"), std::string::npos);
    EXPECT_NE(r.err.find("Input file wrong\n"), std::string::npos);
    const auto l = lines(r.out);
    EXPECT_EQ(std::count(l.begin(), l.end(), "\t\t\tVelquin Ver 4.0\twww.velquin.example.com"), 2);
    EXPECT_EQ(std::count(l.begin(), l.end(), "\t\t\tTotal Pages\t3"), 3);
    // Page 3's rows end the output: its tag, its next field read as an entry,
    // then the Nr and Tag Pos (0: never placed) of the entry past the end.
    ASSERT_GE(l.size(), 2u);
    EXPECT_EQ(l[l.size() - 2].substr(0, 2), "2\t");
    EXPECT_EQ(l.back(), "3\t0\t");
    EXPECT_NE(std::find(l.begin(), l.end(), "\t\t\tCurrent Page\t3"), l.end());
}

TEST(Dump, AllPagesOfAFileWithoutPages)
{
    TempDir dir;
    TiffBuilder b;
    const std::string path = dir.Write("empty.tif", b.Build());
    const CliRun r = run({"--dump", path, "--all-pages"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Input file wrong\n");
    EXPECT_EQ(lines(r.out).size(), 5u);
    EXPECT_EQ(lines(r.out)[1], "\t\t\tTotal Pages\t0");
}

TEST(Dump, HeaderErrorsAndMissingPages)
{
    TempDir dir;
    const std::string notTiff = dir.Write("x.tif", std::string_view("GIF89a.."));
    CliRun r = run({"--dump", notTiff});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Not a valid tiff file.\n");

    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    const std::string ok = dir.Write("ok.tif", b.Build());
    r = run({"--dump", ok, "--page", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Input file wrong\n");
    EXPECT_EQ(lines(r.out).size(), 5u);

    EXPECT_EQ(run({"--dump", (dir.Path() / "none.tif").string()}).status, 1);
    EXPECT_EQ(run({"--dump"}).status, 2);
    EXPECT_EQ(run({"--dump", ok, "--page", "x"}).status, 2);
}

TEST(Dump, HelpAndVersion)
{
    EXPECT_EQ(run({"--help"}).status, 0);
    EXPECT_NE(run({"--help"}).out.find("--dump"), std::string::npos);
    EXPECT_EQ(run({"--version"}).out, "velquin 5.2\n");
    EXPECT_TRUE(IsCommandLineMode({"--dump", "x"}));
    EXPECT_FALSE(IsCommandLineMode({"file.tif"}));
}
