// The batch run on temporary trees: order, lines, refusals, Stop and odd files.
#include "batch/batchrun.h"
#include "batch/dirlisting.h"
#include "batch/results.h"
#include "batch/searchlist.h"
#include "support/nooverride.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "tiff/errors.h"
#include "tiff/tiff.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

/// Records what the run shows, also as one transcript in the order it was
/// shown; hooks let a test act between steps, as a user clicking in the
/// window would.
struct RecordingHost : TBatchHost {
    std::string separator = ",";
    std::vector<std::string> lines, statuses, shownFiles, refusals, readerMessages, notTiff, notRead, log;
    std::int64_t files = -1, pages = -1, done = -1, found = -1;
    bool walkComplete = false;
    int clears = 0;
    int yields = 0;
    std::function<void()> onYield;
    std::function<void(const std::string&)> onShowFile;
    std::function<void(const std::string&)> onLine;

    std::string Separator() override { return separator; }
    void ClearResults() override
    {
        ++clears;
        lines.clear();
    }
    void AppendResultLine(const std::string& line) override
    {
        lines.push_back(line);
        log.push_back("line " + line);
        if (onLine)
            onLine(line);
    }
    void ShowCounters(std::int64_t f, std::int64_t p) override
    {
        files = f;
        pages = p;
        log.push_back("counters " + std::to_string(f) + " " + std::to_string(p));
    }
    void ShowStatus(const std::string& text) override
    {
        statuses.push_back(text);
        log.push_back("status " + text);
    }
    void ShowFile(const std::string& path) override
    {
        shownFiles.push_back(path);
        log.push_back("file " + path);
        if (onShowFile)
            onShowFile(path);
    }
    void ShowRefusal(const std::string& text) override { refusals.push_back(text); }
    void ShowReaderMessage(const std::string& path, const TReaderMessage& message) override
    {
        readerMessages.push_back(path + ": " + message.Text);
        log.push_back("damage " + readerMessages.back());
    }
    void ProcessMessages() override
    {
        ++yields;
        if (onYield)
            onYield();
    }
    void NotTiff(const std::string& path, const std::string& reason) override
    {
        notTiff.push_back(path);
        log.push_back("not TIFF " + path + ": " + reason);
    }
    void NotRead(const std::string& path, const std::string& reason) override
    {
        notRead.push_back(path + ": " + reason);
        log.push_back("not read " + notRead.back());
    }
    void ShowProgress(std::int64_t d, std::int64_t f, bool complete) override
    {
        EXPECT_LE(d, f);
        done = d;
        found = f;
        walkComplete = complete;
    }
};

TestEntry ascii(TiffBuilder& b, std::uint16_t tag, std::string_view text)
{
    if (text.size() <= 4)
        return TestEntry::Inline(tag, tAscii, static_cast<std::uint32_t>(text.size()), text);
    return TestEntry::At(tag, tAscii, static_cast<std::uint32_t>(text.size()), b.Data(text));
}

/// Pages of the given widths; each page names its software "sw<width>".
std::vector<std::uint8_t> tiff(std::vector<std::uint16_t> widths, bool bigEndian = false)
{
    TiffBuilder b(bigEndian);
    for (const std::uint16_t w : widths) {
        const std::string sw = "sw" + std::to_string(w) + std::string(1, '\0');
        b.Page({TestEntry::Short(256, w), ascii(b, 305, sw)});
    }
    return b.Build();
}

/// Two pages of widths 1 and 2; page 2 claims entries past the end of the file.
std::vector<std::uint8_t> damagedTiff()
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 1)});
    b.Page({TestEntry::Short(256, 2)});
    auto bytes = b.Build();
    Put16(bytes, b.DirOffset(1), 9000, false);
    return bytes;
}

/// A list with the given entries checked (by number text), the others unchecked.
TTagSearchList listChecking(std::initializer_list<std::string_view> numbers)
{
    TTagSearchList list;
    for (const std::string_view n : numbers)
        for (int i = 0; i < list.Count(); ++i)
            if (EntryTagNumber(list.Entry(i).Text) == n)
                list.SetChecked(i, true);
    return list;
}

TBatchOptions optionsFor(const TempDir& dir)
{
    TBatchOptions o;
    o.StartDir = dir.Path().string();
    return o;
}

/// The second field of each data line (the file name), header left out.
std::vector<std::string> fileNames(const std::vector<std::string>& lines, bool header = true)
{
    std::vector<std::string> names;
    for (std::size_t i = header ? 1 : 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        const std::size_t a = l.find("\",\"") + 3;
        names.push_back(l.substr(a, l.find('"', a) - a));
    }
    return names;
}

std::string q(const std::string& s)
{
    return '"' + s + '"';
}

} // namespace

TEST(BatchRun, VisitsFilesByNameThenSubdirectoriesDepthFirst)
{
    TempDir dir;
    for (const char* name :
         {"b.tif", "A.tif", "c.TIF", "d.tiff", "E.Tiff", "notes.txt", "x.tif.bak", ".hidden.tif", "zeta/z1.tif",
          "Alpha/a2.tif", "Alpha/A1.tif", "Alpha/inner/i1.tif", "Alpha/inner/.x/no.tif", "beta/deep/er/b.tif",
          "beta/b0.tif", ".git/objects/no.tif", ".cache/no.tif"})
        dir.Write(name, tiff({10}));
    fs::create_directory(dir.Path() / "empty");

    TTagSearchList list;
    RecordingHost host;
    TBatchRun run(list, host);
    EXPECT_EQ(run.Run(optionsFor(dir)), TBatchOutcome::Finished);
    EXPECT_EQ(fileNames(host.lines), (std::vector<std::string>{"A.tif", "b.tif", "c.TIF", "d.tiff", "E.Tiff", "A1.tif",
                                                               "a2.tif", "i1.tif", "b0.tif", "b.tif", "z1.tif"}));
    const std::string root = dir.Path().string();
    EXPECT_EQ(host.lines[8], q(root + "/Alpha/inner/i1.tif") + "," + q("i1.tif") + "," + q("1"));
    EXPECT_EQ(host.files, 11);
    EXPECT_EQ(host.pages, 11);
    EXPECT_EQ(host.shownFiles.back(), root + "/zeta/z1.tif");
    EXPECT_EQ(host.statuses.front(), "reading... " + root);
    EXPECT_EQ(host.statuses.back(), "Finished...");
    // Directories without TIFF files are walked but never announced.
    for (const std::string& s : host.statuses)
        EXPECT_EQ(s.find("empty"), std::string::npos) << s;

    host.lines.clear();
    TBatchOptions noRoot = optionsFor(dir);
    noRoot.IncludeRoot = false;
    run.Run(noRoot);
    EXPECT_EQ(fileNames(host.lines),
              (std::vector<std::string>{"A1.tif", "a2.tif", "i1.tif", "b0.tif", "b.tif", "z1.tif"}));

    TBatchOptions rootOnly = optionsFor(dir);
    rootOnly.IncludeSubDirectories = false;
    rootOnly.StartDir += "/"; // the delimiter is not doubled
    run.Run(rootOnly);
    EXPECT_EQ(fileNames(host.lines), (std::vector<std::string>{"A.tif", "b.tif", "c.TIF", "d.tiff", "E.Tiff"}));
    EXPECT_EQ(host.lines[1].substr(0, root.size() + 8), q(root + "/A.tif").substr(0, root.size() + 8));
}

TEST(BatchRun, HeaderAndDataLinesFollowTheOptions)
{
    TempDir dir;
    dir.Write("three.tif", tiff({100, 200, 300}, true));

    // None of the defaults checked: the fixed columns only.
    TTagSearchList list;
    RecordingHost host;
    TBatchRun run(list, host);
    run.Run(optionsFor(dir));
    const std::string path = q(dir.Path().string() + "/three.tif");
    ASSERT_EQ(host.lines.size(), 4u);
    EXPECT_EQ(host.lines[0], R"("Path","Filename","Page")");
    EXPECT_EQ(host.lines[1], path + R"(,"three.tif","1")");
    EXPECT_EQ(host.lines[3], path + R"(,"three.tif","3")");
    EXPECT_EQ(host.pages, 3);

    list = listChecking({"256", "315", "305"});
    run.Run(optionsFor(dir));
    EXPECT_EQ(host.lines[0], R"("Path","Filename","Page","Imagewidth","Software","Artist")");
    EXPECT_EQ(host.lines[2], path + R"(,"three.tif","2","200","sw200","")");

    TBatchOptions firstPage = optionsFor(dir);
    firstPage.AllPages = false;
    run.Run(firstPage);
    ASSERT_EQ(host.lines.size(), 2u);
    EXPECT_EQ(host.lines[0], R"("Path","Filename","Imagewidth","Software","Artist")");
    EXPECT_EQ(host.lines[1], path + R"(,"three.tif","100","sw100","")");
    EXPECT_EQ(host.files, 1);
    EXPECT_EQ(host.pages, 1); // the file counter, without the Page column

    TBatchOptions noHeader = firstPage;
    noHeader.AddDescription = false;
    run.Run(noHeader);
    ASSERT_EQ(host.lines.size(), 1u);
    EXPECT_EQ(host.lines[0], path + R"(,"three.tif","100","sw100","")");
}

TEST(BatchRun, SeparatorIsTakenAsTypedForEveryLine)
{
    TempDir dir;
    dir.Write("a.tif", tiff({1, 2}));
    TTagSearchList list = listChecking({"256"});
    RecordingHost host;
    TBatchRun run(list, host);

    host.separator = ";";
    run.Run(optionsFor(dir));
    EXPECT_EQ(host.lines[0], R"("Path";"Filename";"Page";"Imagewidth")");
    EXPECT_EQ(host.lines[1].substr(host.lines[1].size() - 15), R"("a.tif";"1";"1")");

    host.separator = "";
    run.Run(optionsFor(dir));
    EXPECT_EQ(host.lines[0], R"("Path""Filename""Page""Imagewidth")");
    EXPECT_EQ(host.lines[2].substr(host.lines[2].size() - 13), R"("a.tif""2""2")");

    // Changed during the run: later lines use the new text; the header stays.
    host.separator = ",";
    host.onLine = [&](const std::string&) { host.separator = " | "; };
    run.Run(optionsFor(dir));
    EXPECT_EQ(host.lines[0], R"("Path","Filename","Page","Imagewidth")");
    EXPECT_EQ(host.lines[2].substr(host.lines[2].size() - 19), R"("a.tif" | "2" | "2")");
}

TEST(BatchRun, CheckMarksAreReadAfreshForEveryLine)
{
    TempDir dir;
    dir.Write("a.tif", tiff({1}));
    dir.Write("b.tif", tiff({2}));
    TTagSearchList list = listChecking({"256"});
    RecordingHost host;
    TBatchRun run(list, host);
    host.onShowFile = [&](const std::string& path) {
        if (path.ends_with("b.tif"))
            list.SetChecked(6, true); // "305  Software", checked while the run goes on
    };
    run.Run(optionsFor(dir));
    ASSERT_EQ(host.lines.size(), 3u);
    EXPECT_TRUE(host.lines[1].ends_with(R"("1","1")"));
    EXPECT_TRUE(host.lines[2].ends_with(R"("1","2","sw2")"));
}

TEST(BatchRun, ValueCellsMatchEntriesExactly)
{
    TempDir dir;
    TiffBuilder b;
    const std::string quoted = std::string("say \"cheese\", \"; ok") + '\0';
    const std::string padded = std::string("  padded\t ") + '\0';
    const std::string multi = std::string("one") + '\0' + "two" + '\0';
    b.Page({TestEntry::Short(256, 640), TestEntry::Short(256, 641), ascii(b, 270, quoted), ascii(b, 305, padded),
            ascii(b, 315, multi), TestEntry::Short(700, 5)});
    dir.Write("v.tif", b.Build());

    TTagSearchList list;
    list.Clear();
    list.Add("256", "W");
    list.Add("0256", "Zero"); // leading zero: never found
    list.Add("270", "Desc");
    list.Add("305", "Soft");
    list.Add("315", "Multi");
    list.Add("x", "None");        // no digits: matches nothing
    list.Add("256", "Again");     // the same tag under a second title
    list.Add("65792", "Wrapped"); // 256 + 65536 is not tag 256
    RecordingHost host;
    TBatchRun run(list, host);
    TBatchOptions options = optionsFor(dir);
    options.AllPages = false;
    options.AddDescription = false;
    run.Run(options);
    ASSERT_EQ(host.lines.size(), 1u);
    const std::string cells = host.lines[0].substr(host.lines[0].find(R"("v.tif")") + 7);
    EXPECT_EQ(cells, R"(,"640","641","","say ""cheese"", ""; ok","padded","one two","","640","641","")");

    options.TrimValue = false;
    run.Run(options);
    const std::string raw = host.lines[0].substr(host.lines[0].find(R"("v.tif")") + 7);
    // Untrimmed, the ending NUL (and any NUL inside) is written as one blank.
    EXPECT_EQ(raw, R"(,"640","641","","say ""cheese"", ""; ok ","  padded	  ","one two ","","640","641","")");
}

TEST(BatchRun, RefusalsEmptyThePaneAndResetTheCounters)
{
    TempDir dir;
    dir.Write("a.tif", tiff({1}));
    TTagSearchList list;
    RecordingHost host;
    TBatchRun run(list, host);
    run.Run(optionsFor(dir));
    ASSERT_EQ(host.files, 1);

    TBatchOptions missing = optionsFor(dir);
    missing.StartDir += "/nowhere";
    EXPECT_EQ(run.Run(missing), TBatchOutcome::Refused);
    EXPECT_EQ(host.refusals, (std::vector<std::string>{"Starting directory does not exist"}));
    EXPECT_TRUE(host.lines.empty());
    EXPECT_EQ(host.files, 0);
    EXPECT_EQ(host.pages, 0);
    EXPECT_EQ(host.statuses.back(), "Finished...");

    TBatchOptions aFile = optionsFor(dir);
    aFile.StartDir += "/a.tif";
    EXPECT_EQ(run.Run(aFile), TBatchOutcome::Refused);
    TBatchOptions empty;
    EXPECT_EQ(run.Run(empty), TBatchOutcome::Refused);
    EXPECT_EQ(host.refusals.size(), 3u);

    list.Clear();
    host.refusals.clear();
    EXPECT_EQ(run.Run(optionsFor(dir)), TBatchOutcome::Refused);
    EXPECT_EQ(host.refusals, (std::vector<std::string>{"At least one tag has to be selected"}));
    EXPECT_TRUE(host.lines.empty());
    EXPECT_EQ(host.statuses.back(), "Finished...");
    EXPECT_EQ(host.clears, 5);
}

TEST(BatchRun, StopIsHeardBetweenFilesAndEndsTheWalk)
{
    TempDir dir;
    for (const char* name : {"r1.tif", "r2.tif", "a/a1.tif", "a/a2.tif", "a/b/b1.tif", "c/c1.tif"})
        dir.Write(name, tiff({1, 2}));
    TTagSearchList list;
    RecordingHost host;
    TBatchRun run(list, host);
    // Stop is pressed while a/a1.tif is read: that file is finished with all its lines.
    host.onShowFile = [&](const std::string& path) {
        if (path.ends_with("a1.tif"))
            host.onYield = [&] { run.RequestStop(); };
    };
    EXPECT_EQ(run.Run(optionsFor(dir)), TBatchOutcome::Stopped);
    EXPECT_EQ(fileNames(host.lines),
              (std::vector<std::string>{"r1.tif", "r1.tif", "r2.tif", "r2.tif", "a1.tif", "a1.tif"}));
    EXPECT_EQ(host.files, 3);
    EXPECT_EQ(host.statuses.back(), "Stopped after 3 files"); // not the end of a whole run

    // A new run starts with the flag down again.
    host.onShowFile = nullptr;
    host.onYield = nullptr;
    EXPECT_EQ(run.Run(optionsFor(dir)), TBatchOutcome::Finished);
    EXPECT_EQ(host.files, 6);

    // Stop pressed before the first file of the starting directory.
    host.onYield = [&] { run.RequestStop(); };
    host.onLine = [&](const std::string&) { run.RequestStop(); };
    EXPECT_EQ(run.Run(optionsFor(dir)), TBatchOutcome::Stopped);
    EXPECT_EQ(host.lines.size(), 1u); // the header
    EXPECT_EQ(host.files, 0);
    EXPECT_EQ(host.statuses.back(), "Stopped after 0 files");
}

TEST(BatchRun, OddFilesAreSkippedWithoutBlocking)
{
    TempDir dir;
    dir.Write("1 not tiff.tif", std::string_view("GIF89a and more"));
    dir.Write("2 empty.tif", std::string_view(""));
    dir.Write("3 short.tif", std::string_view("II*\0", 4));
    const std::string readOnly = dir.Write("4 read-only.tif", tiff({4}));
    ::chmod(readOnly.c_str(), 0444);
    dir.Write("5 gone.tif", tiff({5}));
    dir.Write("6 fifo later.tif", tiff({6}));
    dir.Write("7 ok.TIFF", tiff({7}));
    std::vector<std::uint8_t> headerOnly{'I', 'I', 42, 0, 0, 0, 0, 0}; // first directory offset 0
    dir.Write("8 no pages.tif", headerOnly);
    ASSERT_EQ(::mkfifo((dir.Path() / "0 fifo.tif").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("7 ok.TIFF", (dir.Path() / "9 link.tif").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere.tif", (dir.Path() / "9 dangling.tif").c_str()), 0);
    ASSERT_EQ(::symlink("0 fifo.tif", (dir.Path() / "9 fifo link.tif").c_str()), 0);
    ASSERT_EQ(::symlink(".", (dir.Path() / "loop").c_str()), 0); // a loop of links is never entered

    const std::string root = dir.Path().string();
    EXPECT_EQ(ListTiffFiles(root),
              (std::vector<std::string>{"1 not tiff.tif", "2 empty.tif", "3 short.tif", "4 read-only.tif", "5 gone.tif",
                                        "6 fifo later.tif", "7 ok.TIFF", "8 no pages.tif", "9 link.tif"}));

    TTagSearchList list = listChecking({"256"});
    RecordingHost host;
    TBatchRun run(list, host);
    // After the listing, one file disappears and another becomes a FIFO.
    host.onShowFile = [&](const std::string& path) {
        if (path.ends_with("4 read-only.tif")) {
            fs::remove(dir.Path() / "5 gone.tif");
            fs::remove(dir.Path() / "6 fifo later.tif");
            ASSERT_EQ(::mkfifo((dir.Path() / "6 fifo later.tif").c_str(), 0644), 0);
        }
    };
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run.Run(optionsFor(dir)), TBatchOutcome::Finished);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    EXPECT_EQ(fileNames(host.lines), (std::vector<std::string>{"4 read-only.tif", "7 ok.TIFF", "9 link.tif"}));
    EXPECT_TRUE(host.lines[3].starts_with(q(root + "/9 link.tif") + ",")) << host.lines[3];
    EXPECT_TRUE(host.lines[3].ends_with(R"("1","7")"));
    // Counted as files: those read as TIFF, also the one without pages. The
    // one that vanished and the one that became a FIFO were not read, and
    // say why; the files that are not TIFF are counted apart.
    EXPECT_EQ(host.files, 4);
    EXPECT_EQ(host.pages, 3);
    EXPECT_EQ(host.notTiff,
              (std::vector<std::string>{root + "/1 not tiff.tif", root + "/2 empty.tif", root + "/3 short.tif"}));
    EXPECT_EQ(host.notRead, (std::vector<std::string>{root + "/5 gone.tif: No such file or directory",
                                                      root + "/6 fifo later.tif: Not a regular file"}));
    EXPECT_EQ(host.shownFiles.size(), 4u);
    const TBatchCounts& counts = run.Counts();
    EXPECT_EQ(counts.Files, 4);
    EXPECT_EQ(counts.NotTiff, 3);
    EXPECT_EQ(counts.NotRead, 2);
    EXPECT_EQ(counts.Damaged, 0);
}

TEST(BatchRun, DamagedDirectoryIsReportedAndItsPagesWritten)
{
    TempDir dir;
    const std::string path = dir.Write("bad.tif", damagedTiff());
    TTagSearchList list = listChecking({"256"});
    RecordingHost host;
    TBatchRun run(list, host);
    run.Run(optionsFor(dir));
    ASSERT_FALSE(host.readerMessages.empty());
    for (const std::string& m : host.readerMessages)
        EXPECT_TRUE(m.starts_with(path + ": ")) << m;
    ASSERT_GE(host.lines.size(), 2u);
    EXPECT_TRUE(host.lines[1].ends_with(R"("1","1")"));
    EXPECT_EQ(host.files, 1);
    EXPECT_EQ(run.Counts().Damaged, 1);

    // A sound file beside it is not counted as damaged; the count starts anew.
    dir.Write("good.tif", tiff({3}));
    const std::size_t messages = host.readerMessages.size();
    run.Run(optionsFor(dir));
    EXPECT_EQ(run.Counts().Files, 2);
    EXPECT_EQ(run.Counts().Damaged, 1);
    EXPECT_EQ(host.readerMessages.size(), 2 * messages);
}

TEST(BatchRun, UnreadableDirectories)
{
    TempDir dir;
    for (const char* name : {"a/a.tif", "b/b.tif", "c/c.tif"})
        dir.Write(name, tiff({1}));
    TTagSearchList list;
    RecordingHost host;
    TBatchRun run(list, host);
    // A subdirectory that cannot be listed leaves out its own tree only.
    host.onShowFile = [&](const std::string& path) {
        if (path.ends_with("a.tif"))
            fs::remove_all(dir.Path() / "b");
    };
    EXPECT_EQ(run.Run(optionsFor(dir)), TBatchOutcome::Finished);
    EXPECT_EQ(fileNames(host.lines), (std::vector<std::string>{"a.tif", "c.tif"}));
    EXPECT_EQ(host.notRead, (std::vector<std::string>{dir.Path().string() + "/b: No such file or directory"}));
    EXPECT_EQ(run.Counts().NotRead, 1);

    // The starting directory itself: the run ends and the error reaches the caller.
    TempDir gone;
    const std::string start = (gone.Path() / "start").string();
    fs::create_directory(start);
    host.onShowFile = nullptr;
    host.onLine = [&](const std::string&) { fs::remove(start); };
    TBatchOptions options;
    options.StartDir = start;
    try {
        run.Run(options);
        ADD_FAILURE() << "no error";
    } catch (const EVelquinError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read directory \"" + start + "\". No such file or directory");
    }
    EXPECT_EQ(host.statuses.back(), "Finished...");
    EXPECT_EQ(host.lines.size(), 1u);
}

TEST(BatchRun, FilesAndFoldersNotReadAreToldWithTheirReason)
{
    TempDir dir;
    dir.Write("closed/a.tif", tiff({1}));
    dir.Write("listed only/b.tif", tiff({2}));
    dir.Write("listed only/inner/c.tif", tiff({3}));
    dir.Write("open/d.tif", tiff({4}));
    const std::string root = dir.Path().string();
    ASSERT_EQ(::chmod((root + "/closed").c_str(), 0), 0);
    // Its names can be listed, but nothing inside can be reached.
    ASSERT_EQ(::chmod((root + "/listed only").c_str(), 0444), 0);

    TTagSearchList list;
    RecordingHost host;
    TBatchRun run(list, host);
    {
        const TNoPermissionOverride asUser;
        struct stat st {};
        if (::stat((root + "/listed only/b.tif").c_str(), &st) == 0)
            GTEST_SKIP() << "permission bits do not hold for this user";
        EXPECT_EQ(run.Run(optionsFor(dir)), TBatchOutcome::Finished);
    }
    EXPECT_EQ(host.notRead, (std::vector<std::string>{root + "/closed: Permission denied",
                                                      root + "/listed only/b.tif: Permission denied",
                                                      root + "/listed only/inner: Permission denied"}));
    EXPECT_EQ(fileNames(host.lines), (std::vector<std::string>{"d.tif"}));
    EXPECT_EQ(run.Counts().Files, 1);
    EXPECT_EQ(run.Counts().NotRead, 3);
    EXPECT_EQ(run.Counts().NotTiff, 0);
}

TEST(BatchRun, PathsTooLongAreToldNotLost)
{
    // Two chains of folders, each short enough to make by path, joined by a
    // rename into one that passes PATH_MAX: a file whose folder can still be
    // listed but whose own path is too long, and a folder too deep to open.
    TempDir dir;
    const std::string root = dir.Path().string(), level = "/" + std::string(200, 'd');
    std::string upper = root;
    for (int i = 0; i < 10; ++i)
        upper += level;
    std::string lower = root + "/lower";
    while (upper.size() + lower.size() - root.size() + level.size() < 4096)
        lower += level;
    const std::string name(std::max<std::size_t>(5, 4095 - (upper.size() + lower.size() - root.size())), 'f');
    dir.Write(lower.substr(root.size() + 1) + "/" + name.substr(4) + ".tif", tiff({5}));
    fs::create_directories(lower + level);
    fs::create_directories(upper);
    fs::rename(root + "/lower", upper + "/lower");
    dir.Write("short.tif", tiff({1}));

    TTagSearchList list;
    RecordingHost host;
    TBatchRun run(list, host);
    EXPECT_EQ(run.Run(optionsFor(dir)), TBatchOutcome::Finished);
    fs::rename(upper + "/lower", root + "/lower"); // short enough again to be removed
    ASSERT_EQ(host.notRead.size(), 2u);
    EXPECT_TRUE(host.notRead[0].ends_with(".tif: File name too long")) << host.notRead[0].substr(4000);
    EXPECT_TRUE(host.notRead[1].ends_with(level + ": File name too long")) << host.notRead[1].substr(4000);
    EXPECT_EQ(fileNames(host.lines), (std::vector<std::string>{"short.tif"}));
    EXPECT_EQ(run.Counts().NotRead, 2);
}

TEST(BatchRun, YieldsBetweenFilesAndDirectoryLevels)
{
    TempDir dir;
    for (const char* name : {"1.tif", "2.tif", "s/3.tif", "s/t/4.tif"})
        dir.Write(name, tiff({1}));
    TTagSearchList list;
    RecordingHost host;
    int filesAtYield = 0;
    int yieldsWhileReading = 0;
    host.onYield = [&] {
        if (host.files > filesAtYield)
            ++yieldsWhileReading; // a yield after each newly read file
        filesAtYield = static_cast<int>(host.files);
    };
    TBatchRun run(list, host);
    run.Run(optionsFor(dir));
    EXPECT_EQ(yieldsWhileReading, 4);
    // Two after each file, one per level and two per subdirectory at the least.
    EXPECT_GE(host.yields, 4 * 2 + 3 + 2 * 2);
}

TEST(Results, FieldsAreQuotedForCsv)
{
    // Names keep their bytes and breaks; values have each break as CR LF and a NUL as a blank.
    const std::string_view field("say \"hi\", caf\xE9\xFF\n\r\r\n\0.", 21);
    std::string quoted = "x"; // appended, not replaced
    AppendQuoted(quoted, field);
    EXPECT_EQ(quoted, std::string_view("x\"say \"\"hi\"\", caf\xE9\xFF\n\r\r\n\0.\"", 26));
    std::string value;
    appendValueField(value, field);
    EXPECT_EQ(value, "\"say \"\"hi\"\", caf\xE9\xFF\r\n\r\n\r\n .\"");
    value.clear();
    appendValueField(value, "plain; as it stands");
    EXPECT_EQ(value, "\"plain; as it stands\"");
    AppendSavedLine(value, "");
    EXPECT_EQ(value, "\"plain; as it stands\"\r\n");
}

namespace {

/// A file of n pages, one entry each: slow to read next to a one-page file.
std::vector<std::uint8_t> manyPages(int n, std::uint16_t width)
{
    TiffBuilder b;
    for (int i = 0; i < n; ++i)
        b.Page({TestEntry::Short(256, static_cast<std::uint16_t>(width + i))});
    return b.Build();
}

} // namespace

TEST(BatchRunJobs, EightWorkersTellEverythingInTheSerialOrder)
{
    // Files whose reading takes very different times, mixed with every kind
    // of file the run reports on, spread over folders.
    TempDir dir;
    for (int d = 0; d < 6; ++d) {
        for (int f = 0; f < 12; ++f) {
            const std::string name = std::string("d") + std::to_string(d) + "/f" + std::to_string(f);
            if ((d + f) % 7 == 0)
                dir.Write(name + " big.tif", manyPages(4000 + 500 * d, static_cast<std::uint16_t>(f)));
            else
                dir.Write(name + ".tif", tiff({static_cast<std::uint16_t>(100 * d + f)}));
        }
    }
    dir.Write("d2/junk.tif", std::string_view("not TIFF at all"));
    dir.Write("d3/empty.tif", std::string_view(""));
    dir.Write("d4/damaged.tif", damagedTiff());
    const std::string excluded = dir.Write("d1/output.tif", tiff({9}));
    ASSERT_EQ(::mkfifo((dir.Path() / "d5/fifo.tif").c_str(), 0644), 0);
    dir.Write("d5/sub/deep.TIFF", tiff({7, 8}));

    TTagSearchList list = listChecking({"256", "305"});
    TBatchOptions options = optionsFor(dir);
    TFileIdentity identity;
    ASSERT_TRUE(fileIdentityOf(excluded, identity));
    options.Exclude = {identity};
    RecordingHost serial;
    TBatchRun(list, serial).Run(options);
    ASSERT_GT(serial.lines.size(), 20000u);

    options.Jobs = 8;
    RecordingHost parallel;
    TBatchRun run(list, parallel);
    EXPECT_EQ(run.Run(options), TBatchOutcome::Finished);
    EXPECT_EQ(parallel.log, serial.log); // the lines, and every message in its place
    EXPECT_EQ(run.Counts().Files, 6 * 12 + 2);
    EXPECT_EQ(run.Counts().NotTiff, 2);
    EXPECT_EQ(run.Counts().NotRead, 0); // a FIFO is not listed
    EXPECT_EQ(run.Counts().Damaged, 1);
    EXPECT_EQ(parallel.done, parallel.found);
    EXPECT_EQ(parallel.found, 6 * 12 + 5);
    EXPECT_TRUE(parallel.walkComplete);
    EXPECT_EQ(parallel.statuses.back(), "Finished...");
}

TEST(BatchRunJobs, StopDuringAParallelRunWritesNothingAfterTheFileBeingRead)
{
    TempDir dir;
    for (int i = 0; i < 300; ++i)
        dir.Write(std::string("s") + std::to_string(i / 50) + "/" + std::to_string(1000 + i) + ".tif",
                  i % 40 == 0 ? manyPages(3000, 1) : tiff({1, 2}));
    TTagSearchList list;
    TBatchOptions options = optionsFor(dir);
    RecordingHost serial;
    TBatchRun(list, serial).Run(options);

    options.Jobs = 4;
    RecordingHost host;
    TBatchRun run(list, host);
    host.onShowFile = [&](const std::string& path) {
        if (path.ends_with("/1041.tif")) // the 42nd file, after a slow one
            run.RequestStop();
    };
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run.Run(options), TBatchOutcome::Stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    // The file being read is finished with its lines; what the workers read
    // ahead is dropped, so the lines are the serial run's first ones.
    EXPECT_EQ(host.files, 42);
    ASSERT_LT(host.lines.size(), serial.lines.size());
    EXPECT_TRUE(host.lines.back().starts_with(q(dir.Path().string() + "/s0/1041.tif")));
    EXPECT_EQ(host.lines, std::vector<std::string>(serial.lines.begin(), serial.lines.begin() + host.lines.size()));
    EXPECT_EQ(host.statuses.back(), "Stopped after 42 files");

    // The same run object runs again to its end afterwards.
    host.onShowFile = nullptr;
    EXPECT_EQ(run.Run(options), TBatchOutcome::Finished);
    EXPECT_EQ(host.lines, serial.lines);
}
