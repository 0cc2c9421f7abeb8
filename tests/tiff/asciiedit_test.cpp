// Rewriting the text of an ASCII tag in place: exactly count - 1 bytes change
// at the value position, or not one byte of the file does.
#include "support/readonly.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"
#include "tiff/asciiedit.h"
#include "tiff/codepage.h"
#include "tiff/listing.h"
#include "tiff/tiff.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using TReason = ESaveFailed::TReason;

namespace {

const std::string kSample = std::string(VELQUIN_SOURCE_DIR) + "/samples/sample.tif";
const std::string kFax = std::string(VELQUIN_CORPUS_DIR) + "/libsdl-org__libtiff/test__images__testfax4.tiff";

std::string copyInto(const TempDir& dir, const std::string& source, const std::string& name)
{
    const fs::path target = dir.Path() / name;
    fs::copy_file(source, target);
    return target.string();
}

/// A file as the window lists it: read, and one page built into rows.
struct Listed {
    TTiffFile file;
    TListing listing;
    bool hex;

    Listed(const std::string& path, int page, bool hexMode) : hex(hexMode)
    {
        file.Open(path);
        listing = BuildListing(file, page, hex);
    }
    /// The row of the first tag with this number.
    const TListingRow& row(std::string_view tagNr) const
    {
        for (std::size_t i = FirstTagRow; i < listing.Rows.size(); ++i)
            if (listing.Rows[i].size() > 2 && listing.Rows[i][2] == tagNr)
                return listing.Rows[i];
        throw std::runtime_error("no tag " + std::string(tagNr));
    }
    /// What the editor does after OK: the field from the row's cells, then the write.
    void write(std::string_view tagNr, std::string_view text) const
    {
        const TListingRow& r = row(tagNr);
        if (!IsEditableRow(r))
            throw std::runtime_error("not an ASCII row");
        WriteAsciiField(file.FileName, file.Stamp, FieldOfRow(r, hex), text);
    }
};

/// The reason of a refused write, or nothing when it went through.
std::optional<TReason> refusal(const std::function<void()>& write)
{
    try {
        write();
    } catch (const ESaveFailed& e) {
        EXPECT_EQ(std::string(e.what()), "Saving failed. Make sure this file is not read-only");
        return e.Reason;
    }
    return std::nullopt;
}

/// The file is as before except for the bytes at pos, which now hold expected.
::testing::AssertionResult onlyChanged(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after,
                                       std::size_t pos, std::string_view expected)
{
    if (before.size() != after.size())
        return ::testing::AssertionFailure() << "size " << before.size() << " became " << after.size();
    for (std::size_t i = 0; i < before.size(); ++i) {
        const bool inside = i >= pos && i < pos + expected.size();
        const std::uint8_t want = inside ? static_cast<std::uint8_t>(expected[i - pos]) : before[i];
        if (after[i] != want)
            return ::testing::AssertionFailure() << "byte " << i << " is " << int(after[i]) << ", expected "
                                                 << int(want) << (inside ? " (in the field)" : " (outside the field)");
    }
    return ::testing::AssertionSuccess();
}

/// The whole file in one read (ReadAll goes byte by byte, too slow for the sweep).
std::vector<std::uint8_t> contentsOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fs::file_size(path)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::string withNul(std::string_view text)
{
    return std::string(text) + '\0';
}

void setModified(const std::string& path, const struct timespec& when)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct timespec modifiedOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mtim;
}

/// "Hello" and its NUL, count 6, at offset 8, as tag 270 of a one-page file.
std::vector<std::uint8_t> helloFile()
{
    TiffBuilder b;
    const auto at = b.Data(std::string_view("Hello\0", 6));
    b.Page({TestEntry::Short(256, 64), TestEntry::At(270, tAscii, 6, at), TestEntry::Short(257, 48)});
    return b.Build();
}

} // namespace

// ---------------------------------------------------------------- writes

TEST(AsciiEditWrite, HelloEditedToABKeepsItsNul)
{
    TempDir dir;
    const std::string path = dir.Write("hello.tif", helloFile());
    const auto before = ReadAll(path);
    Listed l(path, 1, false);
    ASSERT_EQ(l.row("270")[4], withNul("Hello"));
    ASSERT_EQ(l.row("270")[7], "8");

    l.write("270", "AB");
    EXPECT_TRUE(onlyChanged(before, ReadAll(path), 8, "AB   "));
    EXPECT_EQ(Listed(path, 1, false).row("270")[4], withNul("AB   "));
}

TEST(AsciiEditWrite, HexadecimalCellsGiveTheSameWriteAsDecimal)
{
    // A 20-byte text at offset 416: "1A0" and "14" in hexadecimal mode.
    TiffBuilder b;
    b.Data(std::string(408, 'x'));
    const auto at = b.Data(std::string_view("2026:12:07 08:00:00\0", 20));
    ASSERT_EQ(at, 416u);
    b.Page({TestEntry::At(306, tAscii, 20, at)});
    const auto original = b.Build();

    for (const bool hex : {true, false}) {
        SCOPED_TRACE(hex ? "hexadecimal" : "decimal");
        TempDir dir;
        const std::string path = dir.Write("dated.tif", original);
        Listed l(path, 1, hex);
        EXPECT_EQ(l.row("306")[7], hex ? "1A0" : "416");
        EXPECT_EQ(l.row("306")[6], hex ? "14" : "20");
        l.write("306", "1999:01:02 03:04:05 and more");
        EXPECT_TRUE(onlyChanged(original, ReadAll(path), 416, "1999:01:02 03:04:05"));
    }
}

TEST(AsciiEditWrite, FieldOfCountFourLiesInsideTheEntry)
{
    TiffBuilder b;
    b.Page({TestEntry::Short(256, 64), TestEntry::Inline(305, tAscii, 4, std::string_view("Hi!\0", 4))});
    TempDir dir;
    const auto original = b.Build();
    const std::string path = dir.Write("inline.tif", original);
    const std::size_t field = b.EntryOffset(0, 1) + 8;

    Listed l(path, 1, false);
    ASSERT_EQ(l.row("305")[7], std::to_string(field));
    l.write("305", "XYZW");
    EXPECT_TRUE(onlyChanged(original, ReadAll(path), field, "XYZ"));
}

TEST(AsciiEditWrite, LongTextsAreCutAndShortOnesFilled)
{
    struct Case {
        const char* name;
        std::string text;
        std::string written;
    };
    const Case cases[] = {
        {"longer than the room", "ABCDEFGH", "ABCDE"},
        {"as long as the edit box allows", "ABCDEF", "ABCDE"},
        {"empty", "", "     "},
        {"Windows-1252 letters", "\u00e9\u20ac\u00df", "\xE9\x80\xDF  "},
        {"unmappable past the room", "ABCDE\u65E5", "ABCDE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto original = helloFile();
        const std::string path = dir.Write("hello.tif", original);
        Listed(path, 1, false).write("270", c.text);
        EXPECT_TRUE(onlyChanged(original, ReadAll(path), 8, c.written));
    }
}

TEST(AsciiEditWrite, RealFilesOnEveryPage)
{
    TempDir dir;
    const std::string path = copyInto(dir, kSample, "sample copy.tif");

    struct Edit {
        int page;
        const char* tag;
        bool hex;
        std::string text;
        std::string shown; // the Value cell after the file is read again
    };
    const Edit edits[] = {
        {1, "271", false, "AB", withNul("AB     ")},
        {2, "270", true, "Gr\u00fc\u00dfe \u20ac", withNul("Gr\u00fc\u00dfe \u20ac          ")},
        {3, "285", true, "Page three", withNul("Page")},
    };
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.text);
        const auto before = ReadAll(path);
        Listed l(path, e.page, e.hex);
        const std::size_t pos = static_cast<std::size_t>(ParseListedNumber(l.row(e.tag)[7], e.hex));
        const std::size_t count = static_cast<std::size_t>(ParseListedNumber(l.row(e.tag)[6], e.hex));
        l.write(e.tag, e.text);
        EXPECT_TRUE(onlyChanged(before, ReadAll(path), pos, FieldBytes(e.text, count - 1)));
        EXPECT_EQ(Listed(path, e.page, e.hex).row(e.tag)[4], e.shown);
    }
}

TEST(AsciiEditWrite, CorpusFileInHexadecimalMode)
{
    if (!fs::exists(kFax))
        GTEST_SKIP() << "no corpus file " << kFax;
    TempDir dir;
    const std::string path = copyInto(dir, kFax, "fax.tif");
    const auto before = ReadAll(path);
    Listed l(path, 1, true);
    ASSERT_EQ(l.row("306")[7], "120");
    ASSERT_EQ(l.row("306")[6], "14");
    l.write("306", "2027:01:02 03:04:05");
    EXPECT_TRUE(onlyChanged(before, ReadAll(path), 0x120, "2027:01:02 03:04:05"));
}

// ---------------------------------------------------------------- refusals

TEST(AsciiEditRefusal, ReadOnlyFile)
{
    TempDir dir;
    const std::string path = copyInto(dir, kSample, "locked.tif");
    const auto before = ReadAll(path);
    Listed l(path, 1, false);
    TReadOnlyFile readOnly(path);
    ASSERT_TRUE(readOnly.Holds()) << "cannot make the file read-only here";
    EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), TReason::CannotOpen);
    EXPECT_EQ(ReadAll(path), before);
}

TEST(AsciiEditRefusal, FileLockedByAnotherOpener)
{
    TempDir dir;
    const std::string path = copyInto(dir, kSample, "busy.tif");
    const auto before = ReadAll(path);
    Listed l(path, 1, false);
    const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_SH), 0);
    EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), TReason::Locked);
    ::close(other);
    EXPECT_EQ(ReadAll(path), before);
    // Once the other opener is gone the same edit goes through.
    EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), std::nullopt);
}

TEST(AsciiEditRefusal, FileChangedBetweenListingAndWriting)
{
    struct Change {
        const char* name;
        std::function<void(const std::string& path, const Listed& l)> apply;
        TReason reason;
    };
    const Change changes[] = {
        {"grew by one byte",
         [](const std::string& path, const Listed&) {
             auto bytes = ReadAll(path);
             bytes.push_back(0);
             std::ofstream(path, std::ios::binary)
                 .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
         },
         TReason::Changed},
        {"touched, same bytes",
         [](const std::string& path, const Listed&) {
             struct timespec t = modifiedOf(path);
             t.tv_sec -= 10;
             setModified(path, t);
         },
         TReason::Changed},
        {"field rewritten, size and time put back",
         [](const std::string& path, const Listed& l) {
             const struct timespec t = modifiedOf(path);
             auto bytes = ReadAll(path);
             bytes[static_cast<std::size_t>(StrToInt(l.row("271")[7]))] = 'W';
             std::ofstream(path, std::ios::binary)
                 .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
             setModified(path, t);
         },
         TReason::TextDiffers},
        {"replaced by a copy of itself",
         [](const std::string& path, const Listed&) {
             const std::string other = path + ".new";
             fs::copy_file(path, other);
             setModified(other, modifiedOf(path));
             fs::rename(other, path);
         },
         TReason::Changed},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = copyInto(dir, kSample, "changing.tif");
        Listed l(path, 1, false);
        c.apply(path, l);
        const auto changed = ReadAll(path);
        EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), c.reason);
        EXPECT_EQ(ReadAll(path), changed);
    }
}

TEST(AsciiEditRefusal, FileGoneSinceListing)
{
    TempDir dir;
    const std::string path = copyInto(dir, kSample, "gone.tif");
    Listed l(path, 1, false);
    fs::remove(path);
    EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), TReason::CannotOpen);
    EXPECT_FALSE(fs::exists(path));
}

TEST(AsciiEditRefusal, FieldsWithoutRoomOrPastTheEnd)
{
    TiffBuilder b;
    const auto at = b.Data("Text");
    b.Page({TestEntry::Inline(270, tAscii, 0, ""),         // count 0: no room at all
            TestEntry::At(271, tAscii, 5000, at),          // runs past the end of the file
            TestEntry::At(272, tAscii, 10, 0x7FFFFFF0u),   // starts past it
            TestEntry::At(273, tAscii, 0xFFFFFFFFu, at)}); // a count of 2^32 - 1
    TempDir dir;
    const auto original = b.Build();
    const std::string path = dir.Write("odd.tif", original);
    for (const bool hex : {false, true}) {
        Listed l(path, 1, hex);
        EXPECT_EQ(refusal([&] { l.write("270", "AB"); }), TReason::NoRoom);
        EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), TReason::PastEnd);
        EXPECT_EQ(refusal([&] { l.write("272", "AB"); }), TReason::PastEnd);
        EXPECT_EQ(refusal([&] { l.write("273", "AB"); }), TReason::PastEnd);
    }
    EXPECT_EQ(ReadAll(path), original);
}

TEST(AsciiEditRefusal, CellsReadInTheWrongModeNeverWrite)
{
    // Cells read back in the other mode name other bytes (or none): every ASCII
    // field of every page, both ways round, is refused and the file stays whole.
    TempDir dir;
    const std::string path = copyInto(dir, kSample, "modes.tif");
    const auto before = ReadAll(path);
    int tried = 0;
    for (int page = 1; page <= 3; ++page)
        for (const bool hex : {false, true}) {
            const Listed l(path, page, hex);
            for (std::size_t i = FirstTagRow; i < l.listing.Rows.size(); ++i) {
                const TListingRow& row = l.listing.Rows[i];
                if (!IsEditableRow(row))
                    continue;
                SCOPED_TRACE("page " + std::to_string(page) + " row " + std::to_string(i));
                try {
                    const TAsciiField misread = FieldOfRow(row, !hex);
                    ++tried;
                    const auto reason = refusal([&] { WriteAsciiField(path, l.file.Stamp, misread, "AB"); });
                    EXPECT_TRUE(reason == TReason::TextDiffers || reason == TReason::PastEnd);
                } catch (const EConvertError&) {
                    // hexadecimal digits are not a decimal number: nothing to write
                }
            }
        }
    EXPECT_GT(tried, 0);
    EXPECT_EQ(ReadAll(path), before);
}

TEST(AsciiEditRefusal, CharacterWindows1252CannotHoldIsNamed)
{
    TempDir dir;
    const auto original = helloFile();
    const std::string path = dir.Write("hello.tif", original);
    try {
        Listed(path, 1, false).write("270", "A\u65E5B");
        FAIL() << "written";
    } catch (const EUnmappableChar& e) {
        EXPECT_EQ(e.Char, U'\u65E5');
        const std::string message = e.what();
        EXPECT_NE(message.find("\"\u65E5\" (U+65E5)"), std::string::npos) << message;
        EXPECT_NE(message.find("Windows-1252"), std::string::npos) << message;
    }
    EXPECT_EQ(ReadAll(path), original);
    // Outside the Basic Multilingual Plane too.
    EXPECT_THROW(FieldBytes("\U0001F600", 3), EUnmappableChar);
}

// ---------------------------------------------------------------- the rows

TEST(AsciiEditRows, OnlyAsciiTagRowsAreEditable)
{
    TTiffFile f;
    f.Open(kSample);
    const TListing l = BuildListing(f, 1, false);
    ASSERT_FALSE(l.Failed);
    int editable = 0;
    for (std::size_t i = 0; i < l.Rows.size(); ++i) {
        const TListingRow& row = l.Rows[i];
        const bool tagRow = i >= FirstTagRow && i + 2 < l.Rows.size();
        EXPECT_EQ(IsEditableRow(row), tagRow && row[5] == "Ascii") << "row " << i;
        editable += IsEditableRow(row);
    }
    EXPECT_EQ(editable, 6);
    // Rows 1 to 3 have a Value cell, but the editor's text comes from tag rows only.
    EXPECT_EQ(CurrentTextOf(l.Rows[2], 2), "");
    EXPECT_EQ(CurrentTextOf(l.Rows[4], 4), "");
    EXPECT_EQ(CurrentTextOf(l.Rows[FirstTagRow + 7], FirstTagRow + 7), withNul("Velquin"));

    EXPECT_TRUE(IsAsciiTypeCell(" ascii\t\r\n"));
    EXPECT_TRUE(IsAsciiTypeCell("ASCII"));
    for (const char* other : {"Short", "Asci", "Asciii", "A SCII", "", "Undefined", "\u00c1scii"})
        EXPECT_FALSE(IsAsciiTypeCell(other)) << other;
}

TEST(AsciiEditRows, NumbersReadBackInTheModeTheyWereWritten)
{
    for (const std::int32_t v : {0, 8, 255, 416, 300, 2147483647, -1, -2147483647 - 1})
        for (const bool hex : {false, true})
            EXPECT_EQ(ParseListedNumber(NumberText(v, hex), hex), v) << v << (hex ? " hex" : " dec");
    EXPECT_EQ(ParseListedNumber("1A0", true), 416);
    EXPECT_EQ(ParseListedNumber("14", true), 20);
    EXPECT_EQ(ParseListedNumber("14", false), 14);
    for (const char* bad : {"", "1A0", "12C", "4294967296", "1 0"})
        EXPECT_THROW(ParseListedNumber(bad, false), EConvertError) << bad;
    for (const char* bad : {"", "G", "1A0 ", "-1", "100000000", "$1A0", "0x1A0"})
        EXPECT_THROW(ParseListedNumber(bad, true), EConvertError) << bad;
    EXPECT_THROW(FieldOfRow({"", "", "", "Total Pages", "2"}, false), EConvertError);
}

// ---------------------------------------------------------------- all real files

TEST(AsciiEditCorpus, EveryAsciiFieldIsWrittenExactlyOrNotAtAll)
{
    std::vector<std::string> files{kSample};
    const fs::path root(VELQUIN_CORPUS_DIR);
    if (fs::is_directory(root))
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (entry.is_regular_file() && entry.path().extension() != ".md")
                files.push_back(entry.path().string());

    TempDir dir;
    const std::string path = (dir.Path() / "copy.tif").string();
    std::size_t written = 0, refused = 0;
    for (const std::string& source : files) {
        // The ASCII rows, found on the file in place; each is then edited on a fresh copy.
        std::vector<std::pair<int, std::size_t>> rows;
        try {
            TTiffFile f;
            f.Open(source);
            for (int page = 1; page <= f.PageCount(); ++page) {
                const TListing l = BuildListing(f, page, false);
                for (std::size_t i = FirstTagRow; i < l.Rows.size(); ++i)
                    if (IsEditableRow(l.Rows[i]))
                        rows.emplace_back(page, i);
            }
        } catch (const EVelquinError&) {
            continue;
        }
        // Fuzzed files repeat one odd entry hundreds of times; a spread of ten is enough.
        const std::size_t stride = rows.size() > 20 ? rows.size() / 10 : 1;
        for (std::size_t k = 0; k < rows.size(); k += stride) {
            const auto [page, i] = rows[k];
            SCOPED_TRACE(source + " page " + std::to_string(page) + " row " + std::to_string(i));
            fs::remove(path);
            fs::copy_file(source, path);
            const bool hex = i % 2 == 1;
            Listed l(path, page, hex);
            const TListingRow& row = l.listing.Rows.at(i);
            const auto before = contentsOf(path);
            const TAsciiField field = FieldOfRow(row, hex);
            const std::uint64_t pos = static_cast<std::uint32_t>(field.ValuePos);
            const std::uint64_t count = static_cast<std::uint32_t>(field.Count);
            // Writable exactly when the field has room, lies inside the file and
            // holds what the listing shows.
            const bool fits = count > 0 && pos + count <= before.size();
            const bool writable =
                fits && Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(before.data()) + pos,
                                                      static_cast<std::size_t>(count))) == field.ListedText;
            const std::string text = "Edited by Velquin " + std::to_string(i);
            const auto reason = refusal([&] { WriteAsciiField(path, l.file.Stamp, field, text); });
            const auto after = contentsOf(path);
            if (writable) {
                ASSERT_EQ(reason, std::nullopt);
                ASSERT_TRUE(onlyChanged(before, after, static_cast<std::size_t>(pos),
                                        FieldBytes(text, static_cast<std::size_t>(count - 1))));
                ++written;
            } else {
                ASSERT_NE(reason, std::nullopt);
                ASSERT_EQ(after, before);
                ++refused;
            }
        }
    }
    EXPECT_GE(written, 15u); // sample.tif alone has 15 ASCII fields
    if (fs::is_directory(root)) {
        EXPECT_GT(refused, 0u);
    }
    RecordProperty("written", static_cast<int>(written));
    RecordProperty("refused", static_cast<int>(refused));
}

// ---------------------------------------------------------------- libtiff's view

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
};

/// Runs a program with an argument list (no shell) and collects its standard output.
ProgramRun runProgram(const std::vector<std::string>& args)
{
    ProgramRun run;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc == 0) {
        char buf[4096];
        for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
            run.out.append(buf, static_cast<std::size_t>(n));
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::close(pipeFds[0]);
    return run;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(AsciiEditLibtiff, TiffdumpReadsTheEditedFile)
{
    TempDir dir;
    const std::string path = copyInto(dir, kSample, "dumped.tif");
    const ProgramRun before = runProgram({"tiffdump", path});
    ASSERT_EQ(before.status, 0) << "tiffdump (Debian libtiff-tools) must be installed: scripts/deps.sh";

    Listed(path, 1, false).write("271", "Edited");
    Listed(path, 3, true).write("306", "2027:01:02 03:04:05");

    const ProgramRun after = runProgram({"tiffdump", path});
    ASSERT_EQ(after.status, 0) << after.out;
    const auto was = linesOf(before.out);
    const auto now = linesOf(after.out);
    ASSERT_EQ(now.size(), was.size());
    std::vector<std::string> changed;
    for (std::size_t i = 0; i < now.size(); ++i)
        if (now[i] != was[i])
            changed.push_back(now[i]);
    EXPECT_EQ(changed, (std::vector<std::string>{"Make (271) ASCII (2) 8<Edited \\0>",
                                                 "DateTime (306) ASCII (2) 20<2027:01:02 03:04:05\\0>"}));
}
