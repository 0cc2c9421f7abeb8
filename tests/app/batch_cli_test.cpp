// velquin --batch: the same run as the Batch tab, its lines as the bytes Save writes.
#include "app/cli.h"
#include "support/clirun.h"
#include "support/nooverride.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

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

/// One page whose ImageDescription is text.
std::vector<std::uint8_t> described(std::string_view text)
{
    TiffBuilder b;
    const std::string z = std::string(text) + '\0';
    b.Page({TestEntry::At(270, tAscii, static_cast<std::uint32_t>(z.size()), b.Data(z))});
    return b.Build();
}

/// The records of a CSV file as Python's csv module reads them, every field
/// as its bytes (names that are not UTF-8 pass through "surrogateescape").
std::vector<std::vector<std::string>> readWithPython(const TempDir& dir, const std::string& csvPath)
{
    const std::string script = dir.Write("read.py", std::string_view(R"(import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8", errors="surrogateescape") as f:
    for record in csv.reader(f):
        print(" ".join("=" + x.encode("utf-8", "surrogateescape").hex() for x in record))
)"));
    FILE* pipe = ::popen(("python3 '" + script + "' '" + csvPath + "'").c_str(), "r");
    std::vector<std::vector<std::string>> records;
    if (!pipe)
        return records;
    std::string out;
    char chunk[4096];
    while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe))
        out.append(chunk, n);
    EXPECT_EQ(::pclose(pipe), 0) << out;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> record;
        std::istringstream fields(line);
        for (std::string hex; fields >> hex;) {
            std::string bytes;
            for (std::size_t i = 1; i + 1 < hex.size(); i += 2)
                bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
            record.push_back(bytes);
        }
        records.push_back(record);
    }
    return records;
}

std::vector<std::string> hiddenEntries(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string()[0] == '.')
            names.push_back(e.path().filename().string());
    return names;
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

TEST(BatchCli, PythonReadsOneRecordPerFileWithItsOwnName)
{
    TempDir dir;
    const std::string ome = R"(<?xml version="1.0"?><OME xmlns="http://www.openmicroscopy.org/Schemas/OME/2016-06">)"
                            R"(<Image ID="Image:0" Name="a, b"/></OME>)";
    const std::string forging = "\"\r\n\"/etc/passwd\",\"passwd\",\"1\",\"666";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"ome.tif", ome},
        {"forge.tif", forging},
        {"quo\"te.tif", "say \"hi\"\nbye"},
        {"x\",\"y.tif", "comma"},
        {"caf\xE9.tif", "acute"},
        {"caf\xE8.tif", "grave"},
        {"para\xE2\x80\xA9graph.tif", "para"},
        {"line\nbreak.tif", "a line feed"},
    };
    for (const auto& [name, description] : files)
        dir.Write("tree/" + name, described(description));
    const std::string root = (dir.Path() / "tree").string();
    // The output lies in the tree under a TIFF name, and is a TIFF file now.
    const std::string output = dir.Write("tree/results.tif", described("the last run"));

    const CliRun r = run({"--batch", root, "--tags", "270=Desc", "--output", output});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto records = readWithPython(dir, output);
    ASSERT_EQ(records.size(), 1 + files.size());
    EXPECT_EQ(records[0], (std::vector<std::string>{"Path", "Filename", "Page", "Desc"}));
    std::vector<std::string> names;
    for (std::size_t i = 1; i < records.size(); ++i) {
        const auto& rec = records[i];
        ASSERT_EQ(rec.size(), 4u) << rec[0];
        names.push_back(rec[1]);
        const auto f = std::find_if(files.begin(), files.end(), [&](const auto& x) { return x.first == rec[1]; });
        ASSERT_NE(f, files.end()) << rec[1];
        EXPECT_EQ(rec[0], root + "/" + f->first);
        EXPECT_EQ(rec[2], "1");
        std::string description; // a value's bare LF comes out as CR LF
        for (std::size_t k = 0; k < f->second.size(); ++k) {
            if (f->second[k] == '\n' && (k == 0 || f->second[k - 1] != '\r'))
                description.push_back('\r');
            description.push_back(f->second[k]);
        }
        EXPECT_EQ(rec[3], description);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
    EXPECT_TRUE(hiddenEntries(dir.Path() / "tree").empty()); // no temporary file is left
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

TEST(BatchCli, OutputIsReplacedOnlyBySuccessfulRun)
{
    TempDir dir;
    dir.Write("tree/a.tif", tiff({1}));
    dir.Write("tree/closed/b.tif", tiff({2}));
    const std::string root = (dir.Path() / "tree").string();
    const std::string output = dir.Write("tree/out.csv", std::string_view("previous"));
    ASSERT_EQ(::chmod((root + "/closed").c_str(), 0), 0);
    CliRun r;
    {
        const TNoPermissionOverride asUser;
        struct stat st {};
        if (::stat((root + "/closed/b.tif").c_str(), &st) == 0)
            GTEST_SKIP() << "permission bits do not hold for this user";
        r = run({"--batch", root, "--verbose", "--output", output});
    }
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "velquin: not read " + root +
                         "/closed: Permission denied\n"
                         "velquin: 1 files, 1 pages, 0 not TIFF, 1 not read, 0 damaged\n");
    const auto bytes = ReadAll(output);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "\"Path\",\"Filename\",\"Page\"\r\n\"" + root + "/a.tif\",\"a.tif\",\"1\"\r\n");

    // A file the user may not write is refused before the run, not renamed over.
    ASSERT_EQ(::chmod(output.c_str(), 0444), 0);
    {
        const TNoPermissionOverride asUser;
        r = run({"--batch", root, "--output", output});
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velquin: Cannot write \"" + output + "\". Permission denied.\n");
    EXPECT_EQ(ReadAll(output), bytes);
    EXPECT_TRUE(hiddenEntries(root).empty());

    // A run that fails half way leaves the file as it was, and no temporary file.
    ASSERT_EQ(::chmod(root.c_str(), 0), 0);
    {
        const TNoPermissionOverride asUser;
        r = run({"--batch", root, "--output", (dir.Path() / "out.csv").string()});
    }
    ::chmod(root.c_str(), 0755);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velquin: Cannot read directory \"" + root + "\". Permission denied.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out.csv"));
    EXPECT_TRUE(hiddenEntries(dir.Path()).empty());
    EXPECT_TRUE(hiddenEntries(root).empty());

    // A device is written in place, never renamed over.
    ASSERT_EQ(run({"--batch", root, "--output", "/dev/null"}).status, 0);
    struct stat null {};
    EXPECT_TRUE(::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode));
}

TEST(BatchCli, DamageIsToldAsTheWindowLogsItWithVerbose)
{
    TempDir dir;
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    b.Page({TestEntry::Short(256, 2)});
    auto bytes = b.Build();
    Put16(bytes, b.DirOffset(1), 9000, false); // page 2 claims entries past the end
    const std::string bad = dir.Write("bad.tif", bytes);
    dir.Write("good.tif", tiff({3}));
    const std::string root = dir.Path().string(), offset = std::to_string(b.DirOffset(1));
    const std::string size = std::to_string(bytes.size());

    // Without --verbose: the reader's classic texts, as scripts have read them.
    CliRun r = run({"--batch", root, "--tags", "256"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.starts_with("velquin: " + bad + ": streamsize\nvelquin: " + bad + ": " + size)) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2);

    // With it: the log's lines, the sentence first, then the counts.
    r = run({"--batch", root, "--tags", "256", "--verbose"});
    EXPECT_EQ(r.status, 0);
    const std::string first = "velquin: " + bad + ": the directory at " + offset +
                              " runs past the end of the file (streamsize)\n"
                              "velquin: " +
                              bad + ": the next-directory field of the directory at " + offset +
                              " lies past the end of the file (" + size + " bytes) (" + size;
    EXPECT_TRUE(r.err.starts_with(first)) << r.err;
    EXPECT_TRUE(r.err.ends_with(")\nvelquin: 2 files, 3 pages, 0 not TIFF, 0 not read, 1 damaged\n")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3);
}
