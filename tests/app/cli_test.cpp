// velquin --dump: the rows of the listing on standard output.
#include "app/cli.h"
#include "support/clirun.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "tiff/listing.h"
#include "tiff/tiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

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

/// Runs the velquin binary itself with standard output sent to stdoutPath.
CliRun runBinary(const std::vector<std::string>& args, const std::string& stdoutPath, const TempDir& dir)
{
    const std::string errPath = (dir.Path() / "stderr.txt").string();
    std::vector<std::string> argv{VELQUIN_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (std::string& a : argv)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    // No display: the command line must never reach for the window.
    std::string noDisplay = "DISPLAY=", noWayland = "WAYLAND_DISPLAY=", noQpa = "QT_QPA_PLATFORM=";
    char* env[] = {noDisplay.data(), noWayland.data(), noQpa.data(), nullptr};
    const int spawned = posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), env);
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid)
        return {-1, "", ""};
    const auto err = ReadAll(errPath);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), "", std::string(err.begin(), err.end())};
}

} // namespace

TEST(Dump, EscapesControlCharactersAndBackslashes)
{
    EXPECT_EQ(EscapeCell(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(EscapeCell("tab\there\x1F\x7F"), "tab\\x09here\\x1F\\x7F");
    EXPECT_EQ(EscapeCell("C:\\dir"), "C:\\\\dir");
    EXPECT_EQ(EscapeCell("\u0081\u009F\u00A0\u00E9"), "\\x81\\x9F\u00A0\u00E9");
    // C2 starts a C1 control only before 80..9F; before anything else it is
    // a byte of a name that is not UTF-8, and stays as it is.
    EXPECT_EQ(EscapeCell("\xC2" "A\xC2"), "\xC2" "A\xC2");
    EXPECT_EQ(EscapeCell("\xC2\xA0"), "\xC2\xA0");
}

TEST(Dump, EscapesEveryByteWhereverItStandsInALongCell)
{
    // Long cells are scanned eight bytes at a time: each byte value, and each
    // C1 control as its two UTF-8 bytes, at each place against the byte's own escape.
    const std::string x(24, 'x');
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        for (std::size_t at = 0; at < x.size(); ++at) {
            std::string cell = x;
            cell[at] = one[0];
            ASSERT_EQ(EscapeCell(cell), x.substr(0, at) + EscapeCell(one) + x.substr(at + 1)) << b << " at " << at;
        }
    }
    for (std::size_t at = 0; at + 1 < x.size(); ++at) {
        std::string cell = x;
        cell.replace(at, 2, "\u0085");
        ASSERT_EQ(EscapeCell(cell), x.substr(0, at) + "\\x85" + x.substr(at + 2)) << at;
    }
}

TEST(Dump, LongListingsAndHugeCellsPrintWhole)
{
    // Rows are written as they are built, in chunks: thousands of rows and a
    // cell far larger than a chunk come out as the listing's rows.
    TempDir dir;
    TiffBuilder b;
    const auto huge = b.Data(std::string(300000, 'h') + "\t\\");
    const auto small = b.Data("a text\nof two lines");
    std::vector<TestEntry> entries;
    for (std::uint16_t i = 0; i < 3000; ++i)
        entries.push_back(i == 1500 ? TestEntry::At(270, tAscii, 300002, huge)
                          : i % 3   ? TestEntry::Short(i, i)
                                    : TestEntry::At(305, tAscii, 19, small));
    b.Page(entries);
    const std::string path = dir.Write("long.tif", b.Build());

    TTiffFile file;
    file.Open(path);
    std::string expected;
    for (const TListingRow& row : BuildListing(file, 1, true).Rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            expected += (i ? "\t" : "") + EscapeCell(row[i]);
        expected += '\n';
    }
    const CliRun r = run({"--dump", path, "--hex"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), expected.size());
    EXPECT_TRUE(r.out == expected);
    EXPECT_NE(r.out.find(std::string(300000, 'h') + "\\x09\\\\\tAscii"), std::string::npos);
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
    // A page past the last one is refused before anything is listed.
    r = run({"--dump", ok, "--page", "2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "velquin: --page 2 is past the last page: " + ok + " has 1 page\n");
    EXPECT_EQ(r.out, "");

    EXPECT_EQ(run({"--dump", (dir.Path() / "none.tif").string()}).status, 1);
    EXPECT_EQ(run({"--dump"}).status, 2);
    EXPECT_EQ(run({"--dump", ok, "--page", "x"}).status, 2);
}

TEST(Dump, HelpAndVersion)
{
    EXPECT_EQ(run({"--help"}).status, 0);
    EXPECT_NE(run({"--help"}).out.find("--dump"), std::string::npos);
    EXPECT_EQ(run({"--version"}).out, "velquin 5.2\n");
    // Neither takes an argument: one more is a command line not understood.
    for (const char* option : {"--help", "-h", "--version"}) {
        const CliRun extra = run({option, "x"});
        EXPECT_EQ(extra.status, 2) << option;
        EXPECT_EQ(extra.out, "") << option;
        EXPECT_EQ(extra.err.rfind("velquin: unexpected argument 'x'\nUsage: velquin", 0), 0u) << extra.err;
    }
    EXPECT_TRUE(IsCommandLineMode({"--dump", "x"}));
    EXPECT_FALSE(IsCommandLineMode({"file.tif"}));
}

TEST(CommandLine, RefusesWhatItDoesNotUnderstand)
{
    TempDir dir;
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    b.Page({TestEntry::Short(256, 2)});
    const std::string path = dir.Write("two.tif", b.Build());

    // An unknown option never reaches the window: without a display that aborted.
    for (const std::string option : {"--hlep", "-x", "--verify"}) {
        const CliRun r = runBinary({option}, "/dev/null", dir);
        EXPECT_EQ(r.status, 2) << option;
        EXPECT_EQ(r.err.rfind("velquin: unknown option '" + option + "'\nUsage: velquin", 0), 0u) << r.err;
    }
    // A file name starts the window, which needs a display: without one, say so.
    const CliRun window = runBinary({path, "--hlep"}, "/dev/null", dir);
    EXPECT_EQ(window.status, 1);
    EXPECT_EQ(window.err.rfind("velquin: no display to open the window on", 0), 0u) << window.err;
    EXPECT_FALSE(IsCommandLineMode({}));
    EXPECT_FALSE(IsCommandLineMode({path, "--whatever"}));
    EXPECT_TRUE(IsCommandLineMode({"--hlep"}));

    const CliRun misplaced = run({"--dump", path, "--hxe"});
    EXPECT_EQ(misplaced.status, 2);
    EXPECT_EQ(misplaced.err.rfind("velquin: unknown option '--hxe'\n", 0), 0u) << misplaced.err;
    EXPECT_EQ(run({"--dump", path, "--page", "1", "--all-pages"}).status, 2);
    EXPECT_EQ(run({"--dump", path, "--page", "1", "--page", "2"}).status, 2);

    // Pages run from 1 to the page count; anything else is refused at once.
    for (const std::string page : {"0", "-1", "3", "2147483647", "2147483648", "1x", ""}) {
        const CliRun r = run({"--dump", path, "--page", page});
        EXPECT_EQ(r.status, 2) << page;
        EXPECT_EQ(r.out, "") << page;
        EXPECT_NE(r.err.find("--page"), std::string::npos) << page;
    }
    EXPECT_EQ(run({"--dump", path, "--page", "2"}).status, 0);
}

TEST(CommandLine, OutputThatCannotBeWrittenFailsWithItsReason)
{
    TempDir dir;
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    const std::string path = dir.Write("one.tif", b.Build());
    const std::string full = "No space left on device";

    CliRun r = runBinary({"--dump", path}, "/dev/full", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velquin: Cannot write standard output. " + full + ".\n");

    r = runBinary({"--batch", dir.Path().string(), "--tags", "256"}, "/dev/full", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velquin: Cannot write standard output. " + full + ".\n");

    r = runBinary({"--help"}, "/dev/full", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(full), std::string::npos) << r.err;

    r = runBinary({"--dump", path}, (dir.Path() / "rows.txt").string(), dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}
