// velquin --batch: the same run as the Batch tab, its lines as the bytes Save writes.
#include "app/cli.h"
#include "support/clirun.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

CliRun run(const std::vector<std::string>& args)
{
    return RunCli(args);
}

/// One page per width, with Software "sw" and the width, and Make "Acme".
std::vector<std::uint8_t> tiff(std::vector<std::uint16_t> widths)
{
    TiffBuilder b;
    const std::uint32_t make = b.Data(std::string("Acme") + '\0');
    for (const std::uint16_t w : widths) {
        const std::string sw = " sw" + std::to_string(w) + std::string(1, '\0');
        b.Page({TestEntry::Short(256, w), TestEntry::At(271, tAscii, 5, make),
                TestEntry::At(305, tAscii, static_cast<std::uint32_t>(sw.size()), b.Data(sw))});
    }
    return b.Build();
}

} // namespace

TEST(BatchCli, WritesTheBytesSaveWrites)
{
    TempDir dir;
    dir.Write("b.tif", tiff({2, 3}));
    dir.Write("sub/a.TIFF", tiff({1}));
    const std::string root = dir.Path().string();

    const CliRun r = run({"--batch", root, "--tags", "256,305=Program,271,700,0256"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "\"Path\",\"Filename\",\"Page\",\"Imagewidth\",\"Program\",\"Make\",\"XMP\",\"ImageWidth\"\r\n"
                     "\"" +
                         root +
                         "/b.tif\",\"b.tif\",\"1\",\"2\",\"sw2\",\"Acme\",\"\",\"\"\r\n"
                         "\"" +
                         root +
                         "/b.tif\",\"b.tif\",\"2\",\"3\",\"sw3\",\"Acme\",\"\",\"\"\r\n"
                         "\"" +
                         root + "/sub/a.TIFF\",\"a.TIFF\",\"1\",\"1\",\"sw1\",\"Acme\",\"\",\"\"\r\n");

    // The same bytes into a file, replacing what it held.
    const std::string saved = dir.Write("out/results.txt", std::string_view("old content that is longer"));
    const CliRun toFile = run({"--batch", root, "--tags", "256,305=Program,271,700,0256", "--output", saved});
    EXPECT_EQ(toFile.status, 0);
    EXPECT_EQ(toFile.out, "");
    const auto bytes = ReadAll(saved);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), r.out);
}

TEST(BatchCli, OptionsSwitchWhatTheRunWrites)
{
    TempDir dir;
    dir.Write("b.tif", tiff({2, 3}));
    dir.Write("sub/a.tif", tiff({1}));
    const std::string root = dir.Path().string() + "/";
    const std::string b = "\"" + root + "b.tif\"";

    // Without --tags: the fixed columns only, as with no entry checked.
    EXPECT_EQ(run({"--batch", root, "--no-subdirectories"}).out,
              "\"Path\",\"Filename\",\"Page\"\r\n" + b + ",\"b.tif\",\"1\"\r\n" + b + ",\"b.tif\",\"2\"\r\n");
    EXPECT_EQ(run({"--batch", root, "--no-header", "--first-page-only", "--separator", ";", "--tags", "305"}).out,
              b + ";\"b.tif\";\"sw2\"\r\n\"" + root + "sub/a.tif\";\"a.tif\";\"sw1\"\r\n");
    EXPECT_EQ(run({"--batch", root, "--no-header", "--first-page-only", "--separator", "", "--tags", "305", "--no-trim",
                   "--no-root"})
                  .out,
              "\"" + root + "sub/a.tif\"\"a.tif\"\" sw1 \"\r\n");
    EXPECT_EQ(run({"--batch", root, "--no-root", "--no-subdirectories"}).out, "\"Path\",\"Filename\",\"Page\"\r\n");
}

TEST(BatchCli, RefusalsErrorsAndVerboseCounts)
{
    TempDir dir;
    dir.Write("a.tif", tiff({1}));
    dir.Write("bad.tif", std::string_view("not a tiff"));
    const std::string root = dir.Path().string();

    const std::string kept = dir.Write("kept.txt", std::string_view("keep me"));
    CliRun r = run({"--batch", root + "/missing", "--output", kept});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velquin: Starting directory does not exist\n");
    EXPECT_EQ(ReadAll(kept).size(), 7u); // a refused run does not touch the file

    r = run({"--batch", root, "--tags", ""});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velquin: At least one tag has to be selected\n");
    EXPECT_EQ(r.out, "");

    r = run({"--batch", root, "--verbose", "--tags", "256"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "velquin: not TIFF " + root +
                         "/bad.tif: Not a valid tiff file\n"
                         "velquin: 1 files, 1 pages, 1 not TIFF, 0 not read, 0 damaged\n");

    const std::string noDir = root + "/no/such/dir/out.txt";
    r = run({"--batch", root, "--output", noDir});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot write \"" + noDir + "\""), std::string::npos) << r.err;

    EXPECT_EQ(run({"--batch"}).status, 2);
    EXPECT_EQ(run({"--batch", root, "--tags", "256,,257"}).status, 2);
    EXPECT_EQ(run({"--batch", root, "--tags", "abc"}).status, 2);
    EXPECT_EQ(run({"--batch", root, "--frobnicate"}).status, 2);
    EXPECT_EQ(run({"--batch", root, root}).status, 2);
    EXPECT_TRUE(IsCommandLineMode({"--batch", root}));
    EXPECT_NE(run({"--help"}).out.find("--batch DIR"), std::string::npos);
}

TEST(BatchCli, RepeatedTagItemsAreRefusedByName)
{
    TempDir dir;
    dir.Write("a.tif", tiff({7}));
    const std::string root = dir.Path().string();
    CliRun r = run({"--batch", root, "--tags", "256,305,256"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "velquin: --tags names \"256\" twice\n");
    EXPECT_EQ(r.out, "");
    r = run({"--batch", root, "--tags", "256=W,256=w"}); // titles are compared as the window compares them
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "velquin: --tags names \"256=w\" twice\n");

    // The same tag under two titles is two columns.
    r = run({"--batch", root, "--tags", "256,256=Again", "--no-header"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\"" + root + "/a.tif\",\"a.tif\",\"1\",\"7\",\"7\"\r\n");
}
