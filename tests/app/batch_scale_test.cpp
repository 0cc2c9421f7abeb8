// velquin --batch at scale: --jobs, --files-from lists, and GNU parallel sharing the work.
#include "support/clirun.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

/// One page of the given width whose Software is "soft" and the width (held outside the entry).
std::vector<std::uint8_t> tiff(std::uint16_t width)
{
    TiffBuilder b;
    const std::string sw = "soft" + std::to_string(width) + std::string(1, '\0');
    b.Page(
        {TestEntry::Short(256, width), TestEntry::At(305, tAscii, static_cast<std::uint32_t>(sw.size()), b.Data(sw))});
    return b.Build();
}

/// A shell command's standard output; the command's status must be 0.
std::string shell(const std::string& command)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char chunk[65536];
    while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe))
        out.append(chunk, n);
    EXPECT_EQ(::pclose(pipe), 0) << command;
    return out;
}

std::string quoted(const std::string& s)
{
    return "'" + s + "'"; // the tests' paths hold no single quote
}

std::string record(const std::string& path, const std::string& name, const std::string& width)
{
    return "\"" + path + "\",\"" + name + "\",\"1\",\"" + width + "\",\"soft" + width + "\"\r\n";
}

/// The lines of a run's output, CR LF ends taken off, sorted.
std::vector<std::string> sortedLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 2;
    }
    std::stable_sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

TEST(BatchScale, FilesFromReadsOddNamesInTheListsOrder)
{
    TempDir dir;
    const std::string root = dir.Path().string();
    const std::string blank = dir.Write("with blank.tif", tiff(1));
    const std::string broken = dir.Write("line\nbreak.tif", tiff(2));
    const std::string latin1 = dir.Write("caf\xE9.tif", tiff(3)); // not UTF-8
    const std::string deep = dir.Write("sub/deep.tif", tiff(4));
    const std::string junk = dir.Write("junk.tif", std::string_view("not TIFF"));
    const std::string fifo = root + "/fifo.tif";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string relative = fs::relative(deep, fs::current_path()).string();
    const std::string folder = root + "/sub", missing = root + "/missing.tif";

    // NUL-separated, with an empty record; a listed file may come twice.
    const std::vector<std::string> listed = {deep, broken,  "",       fifo,  latin1, folder,
                                             junk, missing, relative, blank, deep};
    std::string list;
    for (const std::string& path : listed)
        list += path + '\0';
    const std::string listPath = dir.Write("list0", list);

    const std::string expected = record(deep, "deep.tif", "4") + record(broken, "line\nbreak.tif", "2") +
                                 record(latin1, "caf\xE9.tif", "3") + record(relative, "deep.tif", "4") +
                                 record(blank, "with blank.tif", "1") + record(deep, "deep.tif", "4");
    const std::string told = "velquin: not read " + fifo + ": Not a regular file\n" + "velquin: not read " + folder +
                             ": Not a regular file\n" + "velquin: not TIFF " + junk +
                             ": Not a valid tiff file\n"
                             "velquin: not read " +
                             missing +
                             ": No such file or directory\n"
                             "velquin: 6 files, 6 pages, 1 not TIFF, 3 not read, 0 damaged\n";
    for (const char* jobs : {"1", "4"}) {
        const CliRun r = RunCli({"--batch", "--files-from", listPath, "--null", "--no-header", "--tags", "256,305",
                                 "--verbose", "--jobs", jobs});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, expected) << "--jobs " << jobs;
        EXPECT_EQ(r.err, told) << "--jobs " << jobs;
    }

    // One path per line: empty lines are skipped, and a name with a line
    // break is two paths that do not exist.
    const std::string lines = dir.Write("list", blank + "\n\n" + broken + "\n" + latin1); // no end after the last
    const CliRun r = RunCli({"--batch", "--files-from", lines, "--tags", "256,305", "--verbose"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\"Path\",\"Filename\",\"Page\",\"Imagewidth\",\"Software\"\r\n" +
                         record(blank, "with blank.tif", "1") + record(latin1, "caf\xE9.tif", "3"));
    EXPECT_NE(r.err.find("not read " + root + "/line: No such file or directory\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not read break.tif: No such file or directory\n"), std::string::npos) << r.err;

    // Standard input, and a list longer than one read of it.
    // Paths of many lengths that all lead to one file: "./" repeated.
    std::string many;
    for (int i = 0; i < 3000; ++i) {
        std::string path = root + "/";
        for (int k = 0; k < i % 37; ++k)
            path += "./";
        many += path + "with blank.tif" + '\0';
    }
    dir.Write("many", many);
    const std::string out = shell("cat " + quoted(root + "/many") + " | " + VELQUIN_BINARY +
                                  " --batch --files-from - --null --no-header --tags 256");
    const std::vector<std::string> got = sortedLines(out);
    ASSERT_EQ(got.size(), 3000u);
    EXPECT_EQ(std::count_if(got.begin(), got.end(), [](const std::string& l) { return l.ends_with(",\"1\",\"1\""); }),
              3000);
    EXPECT_EQ(shell(std::string(VELQUIN_BINARY) + " --batch --files-from - --no-header < /dev/null"), "");
}

TEST(BatchScale, CommandLineOfJobsAndLists)
{
    TempDir dir;
    const std::string root = dir.Path().string();
    for (int i = 0; i < 40; ++i)
        dir.Write(std::string("t") + std::to_string(i % 3) + "/" + std::to_string(i) + ".tif",
                  tiff(static_cast<std::uint16_t>(i)));
    const std::string serial = RunCli({"--batch", root, "--tags", "256,305", "--jobs", "1"}).out;
    EXPECT_EQ(std::count(serial.begin(), serial.end(), '\n'), 41);
    for (const char* jobs : {"2", "7", "64"})
        EXPECT_EQ(RunCli({"--batch", root, "--tags", "256,305", "--jobs", jobs}).out, serial) << jobs;

    const CliRun noList = RunCli({"--batch", "--files-from", root + "/no such list"});
    EXPECT_EQ(noList.status, 1);
    EXPECT_EQ(noList.err, "velquin: Cannot read \"" + root + "/no such list\". No such file or directory.\n");
    const std::string list = dir.Write("list", root + "/t0/0.tif\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--batch", root, "--jobs", "0"},
             {"--batch", root, "--null"},
             {"--batch", root, "--files-from", list},
             {"--batch", "--files-from", list, "--no-root"},
         })
        EXPECT_EQ(RunCli(args).status, 2) << args.back();
    EXPECT_NE(RunCli({"--help"}).out.find("--files-from FILE [--null]"), std::string::npos);

    // Output that cannot be written ends a parallel run at once, with the reason.
    TiffBuilder b;
    for (int i = 0; i < 3000; ++i)
        b.Page({TestEntry::Short(256, static_cast<std::uint16_t>(i))});
    dir.Write("t0/pages.tif", b.Build());
    dir.Write("t2/junk.tif", std::string_view("never reached, never told"));
    EXPECT_EQ(shell(std::string(VELQUIN_BINARY) + " --batch " + quoted(root) +
                    " --verbose --jobs 2 2>&1 >/dev/full; echo status $?"),
              "velquin: Cannot write standard output. No space left on device.\nstatus 1\n");
}

TEST(BatchScale, GnuParallelSharesAListAndItsPartsJoinAsOneRun)
{
    if (shell("command -v parallel || true").empty())
        GTEST_SKIP() << "GNU parallel is not installed";
    TempDir dir;
    const std::string root = dir.Path().string();
    const fs::path generator = fs::path(VELQUIN_SOURCE_DIR) / ".." / "shared" / "bench" / "gen_tree.py";
    if (fs::exists(generator)) {
        shell("python3 " + quoted(generator.string()) + " --files 3000 " + quoted(root + "/tree") + " > /dev/null");
    } else {
        for (int i = 0; i < 600; ++i)
            dir.Write("tree/f" + std::to_string(i % 17) + "/scan " + std::to_string(i) + ".tif",
                      tiff(static_cast<std::uint16_t>(i)));
    }
    const std::string find = "cd " + quoted(root) + " && find tree -name '*.tif' -print0 | ";
    const std::string velquin =
        std::string(VELQUIN_BINARY) + " --batch --files-from - --null --no-header --tags " + "256,257,282,283,305,306";
    const std::string one = shell(find + velquin);
    ASSERT_GT(std::count(one.begin(), one.end(), '\n'), 500);

    // Parts of 400 files, run as they come: the same lines, in another order.
    const std::string parts = shell(find + "parallel --pipe --recend '\\0' -N 400 " + velquin);
    EXPECT_EQ(sortedLines(parts), sortedLines(one));
    // Kept in order, the joined parts are the one run's bytes.
    EXPECT_EQ(shell(find + "parallel --pipe --recend '\\0' -N 400 --keep-order " + velquin), one);
}

TEST(BatchScale, StandardOutputInTheTreeIsNotReadAsInput)
{
    // "velquin --batch DIR >> DIR/x.tif": the file the run writes to is a
    // TIFF file in the tree when the run starts; it is not one of its inputs.
    TempDir dir;
    dir.Write("a.tif", tiff(1));
    const std::string output = dir.Write("x.tif", tiff(2));
    const std::string root = dir.Path().string();
    EXPECT_EQ(shell(std::string(VELQUIN_BINARY) + " --batch " + quoted(root) + " --tags 256,305 --verbose 2>&1 >> " +
                    quoted(output)),
              "velquin: 1 files, 1 pages, 0 not TIFF, 0 not read, 0 damaged\n");
    const auto bytes = ReadAll(output);
    const std::string written(bytes.begin() + static_cast<std::ptrdiff_t>(tiff(2).size()), bytes.end());
    EXPECT_EQ(written,
              "\"Path\",\"Filename\",\"Page\",\"Imagewidth\",\"Software\"\r\n" + record(root + "/a.tif", "a.tif", "1"));

    // A pipe or a terminal is no file of the tree: nothing is left out.
    EXPECT_EQ(shell(std::string(VELQUIN_BINARY) + " --batch " + quoted(root) + " --no-header | wc -l"), "2\n");
}
