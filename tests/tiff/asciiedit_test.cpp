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

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <sched.h>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/mount.h>
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
        WriteAsciiField(file, FieldOfRow(r, hex, file.IsBigTiff()), text);
    }
};

/// The reason of a refused write, or nothing when it went through. The
/// reasons a user meets most are checked word for word.
std::optional<TReason> refusal(const std::function<void()>& write)
{
    static const std::map<TReason, std::string> texts{
        {TReason::Changed, "the file has changed since it was listed (open it again)"},
        {TReason::TextDiffers, "the text of this field is not what the listing shows"},
        {TReason::Locked, "another program holds a lock on the file"},
        {TReason::Overlaps, "the field overlaps the file's header or a directory"},
        {TReason::ReadOnly, "the file is read-only"}};
    try {
        write();
    } catch (const ESaveFailed& e) {
        if (texts.count(e.Reason)) {
            EXPECT_EQ(std::string(e.what()), texts.at(e.Reason));
        }
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

/// Every row of every page without its Value cell, and where the directories
/// lie: what an edit of a text must leave as it was. Throws what Open throws.
std::vector<std::string> structureOf(const std::string& path)
{
    TTiffFile f;
    f.Open(path);
    std::vector<std::string> out;
    for (const TByteRange& d : f.DirectoryRanges)
        out.push_back(std::to_string(d.Start) + ".." + std::to_string(d.End));
    for (int page = 1; page <= f.PageCount(); ++page)
        for (TListingRow row : BuildListing(f, page, false).Rows) {
            if (row.size() > 3 && row[2] == "Filename")
                row[3].clear(); // the copy's name
            else if (row.size() > 4 && !row[0].empty())
                row[4].clear(); // a tag's value
            std::string line;
            for (const std::string& cell : row)
                line += cell + '\t';
            out.push_back(line);
        }
    return out;
}

/// Another program: a child process that holds a lock taken by take(fd)
/// until this object goes.
struct TLockHolder {
    pid_t pid = -1;
    bool holds = false;
    TLockHolder(const std::string& path, const std::function<bool(int fd)>& take)
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            const int fd = ::open(path.c_str(), O_RDWR);
            const char held = fd >= 0 && take(fd) ? 'y' : 'n';
            if (::write(ready[1], &held, 1) == 1)
                ::pause();
            ::_exit(0);
        }
        ::close(ready[1]); // a child that dies unheard ends the read
        char held = 'n';
        holds = pid > 0 && ::read(ready[0], &held, 1) == 1 && held == 'y';
        ::close(ready[0]);
    }
    ~TLockHolder()
    {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0)
            ::waitpid(pid, nullptr, 0);
    }
};

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
    // Someone else's file with an odd mode: written in place, both stay.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), 4321, 8765), 0);
    }
    struct stat was {}, now {};
    ::stat(path.c_str(), &was);
    Listed l(path, 1, false);
    ASSERT_EQ(l.row("270")[4], withNul("Hello"));
    ASSERT_EQ(l.row("270")[7], "8");

    l.write("270", "AB");
    EXPECT_TRUE(onlyChanged(before, ReadAll(path), 8, "AB   "));
    EXPECT_EQ(Listed(path, 1, false).row("270")[4], withNul("AB   "));
    ::stat(path.c_str(), &now);
    EXPECT_EQ(std::tie(now.st_mode, now.st_uid, now.st_gid, now.st_ino),
              std::tie(was.st_mode, was.st_uid, was.st_gid, was.st_ino));
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
    EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), TReason::ReadOnly);
    EXPECT_EQ(ReadAll(path), before);
}

TEST(AsciiEditRefusal, FileLockedByAnotherOpener)
{
    // Programs lock with flock or with record locks (fcntl, lockf, OFD).
    const std::pair<const char*, std::function<bool(int fd)>> locks[] = {
        {"flock, shared", [](int fd) { return ::flock(fd, LOCK_SH) == 0; }},
        {"OFD read lock",
         [](int fd) {
             struct flock l {};
             l.l_type = F_RDLCK;
             return ::fcntl(fd, F_OFD_SETLK, &l) == 0;
         }},
        {"fcntl write lock on byte 9",
         [](int fd) {
             struct flock l {};
             l.l_type = F_WRLCK;
             l.l_start = 9;
             l.l_len = 1;
             return ::fcntl(fd, F_SETLK, &l) == 0;
         }},
        {"lockf", [](int fd) { return ::lockf(fd, F_TLOCK, 0) == 0; }},
    };
    for (const auto& [name, take] : locks) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string path = copyInto(dir, kSample, "busy.tif");
        const auto before = ReadAll(path);
        Listed l(path, 1, false);
        {
            const TLockHolder other(path, take);
            ASSERT_TRUE(other.holds);
            EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), TReason::Locked);
        }
        EXPECT_EQ(ReadAll(path), before);
        // Once the other program is gone the same edit goes through.
        EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), std::nullopt);
    }
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
    EXPECT_EQ(refusal([&] { l.write("271", "AB"); }), TReason::Changed);
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
                    const auto reason = refusal([&] { WriteAsciiField(l.file, misread, "AB"); });
                    EXPECT_TRUE(reason == TReason::TextDiffers || reason == TReason::PastEnd ||
                                reason == TReason::Overlaps);
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

// ---------------------------------------------------------------- the file's structure

TEST(AsciiEditRefusal, BytesOverTheHeaderOrADirectory)
{
    // Tag 271 of page 1 is pointed at each part of the structure in turn; its
    // text then reads whatever bytes lie there.
    TiffBuilder b;
    const auto beforeDir = b.Data(std::string_view("0123456789", 10)); // ends where the directory starts
    b.Page({TestEntry::Short(256, 64), TestEntry::At(271, tAscii, 5, 0),
            TestEntry::Inline(305, tAscii, 4, std::string_view("Hi!\0", 4))});
    b.Page({TestEntry::Short(256, 32)});
    const auto plain = b.Build();
    const std::uint32_t dir = b.DirOffset(0), ownField = b.EntryOffset(0, 1) + 8;
    ASSERT_EQ(beforeDir + 10, dir);
    const std::tuple<const char*, std::uint32_t, std::uint32_t, std::optional<TReason>> cases[] = {
        {"the byte-order mark", 6, 0, TReason::Overlaps},
        {"the first directory offset", 5, 6, TReason::Overlaps},
        {"the entry count", 8, dir, TReason::Overlaps},
        {"the entries of the other page", 10, b.EntryOffset(1, 0) + 3, TReason::Overlaps},
        {"the next-directory field", 5, b.NextFieldOffset(0) - 2, TReason::Overlaps},
        {"its own value field, which holds its offset", 5, ownField, TReason::Overlaps},
        {"up to the directory, whose first byte is the unwritten NUL", 11, beforeDir, std::nullopt},
        // A text of up to 4 bytes is written in its own entry, unless another
        // directory reads those bytes: here the second page starts inside them.
        {"inside its entry", 4, 0, std::nullopt},
        {"inside its entry, where another directory starts", 4, b.EntryOffset(0, 2) + 8, TReason::Overlaps},
    };
    for (const auto& [name, count, offset, reason] : cases) {
        SCOPED_TRACE(name);
        auto bytes = plain;
        std::string tag = "305";
        if (count > 4) {
            Put32(bytes, ownField - 4, count, false);
            Put32(bytes, ownField, offset, false);
            tag = "271";
        } else if (offset) {
            Put32(bytes, b.NextFieldOffset(0), offset, false);
        }
        TempDir tmp;
        const std::string path = tmp.Write("structure.tif", bytes);
        EXPECT_EQ(refusal([&] { Listed(path, 1, false).write(tag, "Edited text"); }), reason);
        if (reason)
            EXPECT_EQ(ReadAll(path), bytes);
        else
            EXPECT_TRUE(onlyChanged(bytes, ReadAll(path), count > 4 ? beforeDir : b.EntryOffset(0, 2) + 8,
                                    count > 4 ? "Edited tex" : "Edi"));
    }
}

TEST(AsciiEditRefusal, FieldReachingPast4GiB)
{
    // A classic file may grow past 4 GiB, where its 32-bit positions cannot
    // name the bytes. Sparse, so it costs a few pages.
    TiffBuilder b;
    b.Page({TestEntry::At(270, tAscii, 16, 0xFFFFFFF0u), TestEntry::At(271, tAscii, 16, 0xFFFFFFF8u)});
    TempDir dir;
    const std::string path = dir.Write("huge.tif", b.Build());
    const std::string tail = std::string("Below 4 GiB!!!!\0Above!!\0", 24);
    const auto region = [&] {
        std::string bytes(tail.size(), '\0');
        std::ifstream(path, std::ios::binary).seekg(0xFFFFFFF0u).read(bytes.data(), 24);
        return bytes;
    };
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    const bool sparse = ::ftruncate(fd, (off_t{1} << 32) + 4096) == 0 && ::pwrite(fd, tail.data(), 24, 0xFFFFFFF0u) == 24;
    ::close(fd);
    if (!sparse)
        GTEST_SKIP() << "no file past 4 GiB here";

    Listed l(path, 1, true);
    EXPECT_EQ(refusal([&] { l.write("271", "X"); }), TReason::Beyond4GiB);
    EXPECT_EQ(region(), tail);
    // Its last byte at 2^32 - 1 is still within reach.
    EXPECT_EQ(refusal([&] { l.write("270", "Edited"); }), std::nullopt);
    EXPECT_EQ(region(), std::string("Edited         \0Above!!\0", 24));
}

TEST(AsciiEditRefusal, PageWhoseEntriesWrapPast4GiB)
{
    // A page at 0xFFFFFFFA: its first entry crosses 4 GiB, the next ones and
    // the next-page field wrap to the start of the file, where the reader
    // finds them; a text laid over them would rewrite the page.
    TempDir dir;
    const std::string path = (dir.Path() / "wrap.tif").string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    const auto put = [&](std::uint64_t pos, std::vector<std::uint8_t> bytes) {
        return ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(pos)) == static_cast<ssize_t>(bytes.size());
    };
    const bool sparse =
        ::ftruncate(fd, (off_t{1} << 32) + 4096) == 0 && put(0, {'I', 'I', 42, 0, 0xFA, 0xFF, 0xFF, 0xFF}) &&
        put(0xFFFFFFFAu, {3, 0}) &&                                                  // three entries
        put(0xFFFFFFFCu, {0, 1, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0}) &&                    // 256 Short 7
        put(0x08, {14, 1, 2, 0, 30, 0, 0, 0, 0x14, 0, 0, 0}) &&                      // 270 over the rest
        put(0x14, {1, 1, 3, 0, 1, 0, 0, 0, 9, 0, 0, 0}) && put(0x20, {0, 0, 0, 0}) && // 257, next 0
        put(0x40, {15, 1, 2, 0, 8, 0, 0, 0, 0x60, 0, 0, 0}) &&                       // 271 clear of it
        put(0x60, {'O', 'l', 'd', ' ', 't', 'e', 'x', 0});
    ::close(fd);
    if (!sparse)
        GTEST_SKIP() << "no file past 4 GiB here";
    const auto before = [&] {
        std::string bytes(0x68, '\0');
        std::ifstream(path, std::ios::binary).read(bytes.data(), 0x68);
        return bytes;
    }();
    try {
        EditTagText(path, 1, 270, "ZZZZ");
        FAIL() << "written over the page's entries";
    } catch (const ESaveFailed& e) {
        EXPECT_EQ(e.Reason, TReason::Overlaps);
    }
    std::string after(0x68, '\0');
    std::ifstream(path, std::ios::binary).read(after.data(), 0x68);
    EXPECT_EQ(after, before);
}

// ---------------------------------------------------------------- BigTIFF

TEST(AsciiEditBigTiff, HeaderAndDirectoriesAreWhereTheBigTiffLayoutSays)
{
    // Tag 270 (9 bytes and more lie at an offset) pointed at parts of a
    // BigTIFF file's structure; tag 305 lies in its entry's 8-byte field.
    for (const bool bigEndian : {false, true}) {
        TiffBuilder b(bigEndian, true);
        b.Data("0123456789"); // between the header and the directory
        b.Page({TestEntry::Inline(305, tAscii, 8, std::string_view("Seven!!\0", 8)), TestEntry::At(270, tAscii, 9, 0)});
        const auto plain = b.Build();
        const std::tuple<const char*, std::uint64_t, std::optional<TReason>> cases[] = {
            {"bytes 8 to 15 of the header: the first directory offset", 8, TReason::Overlaps},
            {"the 8-byte entry count", b.DirOffset(0) - 2, TReason::Overlaps},
            {"up to the directory, whose first byte is the unwritten NUL", b.DirOffset(0) - 8, std::nullopt},
        };
        for (const auto& [name, offset, reason] : cases) {
            SCOPED_TRACE(std::string(name) + (bigEndian ? " MM" : " II"));
            auto bytes = plain;
            Put64(bytes, b.EntryOffset(0, 1) + 12, offset, bigEndian);
            TempDir tmp;
            const std::string path = tmp.Write("big.tif", bytes);
            EXPECT_EQ(refusal([&] { Listed(path, 1, true).write("270", "New"); }), reason);
            if (reason)
                EXPECT_EQ(ReadAll(path), bytes);
            else
                EXPECT_TRUE(onlyChanged(bytes, ReadAll(path), offset, "New     "));
        }
        TempDir tmp;
        const std::string path = tmp.Write("inline.tif", plain);
        EXPECT_EQ(refusal([&] { Listed(path, 1, false).write("305", "Edited"); }), std::nullopt);
        EXPECT_TRUE(onlyChanged(plain, ReadAll(path), b.EntryOffset(0, 0) + 12, "Edited "));
    }
}

TEST(AsciiEditBigTiff, CellsPast32BitsAreReadWhole)
{
    // A BigTIFF file's listing names positions past 4 GiB whole, in both
    // modes; the editor reads them back whole and writes there. Sparse, so
    // it costs a few pages.
    TiffBuilder b(false, true);
    const std::uint64_t far = (std::uint64_t{1} << 32) + 0x10;
    b.Page({TestEntry::At(270, tAscii, 16, far)});
    TempDir dir;
    const std::string path = dir.Write("huge.tif", b.Build());
    const std::string old = std::string("Far past 4 GiB!\0", 16);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    const bool sparse = ::ftruncate(fd, static_cast<off_t>(far + 4096)) == 0 &&
                        ::pwrite(fd, old.data(), 16, static_cast<off_t>(far)) == 16;
    ::close(fd);
    if (!sparse)
        GTEST_SKIP() << "no file past 4 GiB here";
    const auto region = [&] {
        std::string bytes(16, '\0');
        std::ifstream(path, std::ios::binary).seekg(static_cast<std::streamoff>(far)).read(bytes.data(), 16);
        return bytes;
    };
    {
        const Listed l(path, 1, false);
        EXPECT_EQ(l.row("270")[7], "4294967312");
        EXPECT_EQ(refusal([&] { l.write("270", "Decimal"); }), std::nullopt);
    }
    EXPECT_EQ(region(), std::string("Decimal        \0", 16));
    {
        const Listed l(path, 1, true);
        EXPECT_EQ(l.row("270")[7], "100000010");
        EXPECT_EQ(refusal([&] { l.write("270", "Hexadecimal"); }), std::nullopt);
    }
    EXPECT_EQ(region(), std::string("Hexadecimal    \0", 16));
    // The classic reading of those cells cannot hold them, and says so.
    EXPECT_THROW(FieldOfRow(Listed(path, 1, false).row("270"), false), EConvertError);
}

// ---------------------------------------------------------------- failed writes

TEST(AsciiEditFailedWrite, OldBytesArePutBack)
{
    // The system's calls, 2 bytes a write, except the one a case makes fail.
    const std::tuple<const char*, int, int, const char*> cases[] = {
        {"the write fails after 2 bytes", 2, 0, "No space left on device"},
        {"the flush fails", 0, 1, "Input/output error"},
        {"putting back fails too", 2, 0,
         "No space left on device; putting the old text back failed too (No space left on device), so the field "
         "may hold part of the new text"},
    };
    for (const auto& [name, failingWrite, failingFlush, reason] : cases) {
        SCOPED_TRACE(name);
        const bool twice = std::string_view(name) == "putting back fails too";
        TempDir dir;
        const auto original = helloFile();
        const std::string path = dir.Write("hello.tif", original);
        int writes = 0, flushes = 0;
        TWriteCalls calls;
        calls.Write = [&](int fd, const void* bytes, std::size_t n, off_t pos) -> ssize_t {
            ++writes;
            if (writes == failingWrite || (twice && writes > failingWrite)) {
                errno = ENOSPC;
                return -1;
            }
            return ::pwrite(fd, bytes, std::min<std::size_t>(n, 2), pos);
        };
        calls.Flush = [&](int fd) {
            if (++flushes == failingFlush) {
                errno = EIO;
                return -1;
            }
            return ::fsync(fd);
        };
        const Listed l(path, 1, false);
        try {
            WriteAsciiField(l.file, FieldOfRow(l.row("270"), false), "AB", calls);
            ADD_FAILURE() << "reported as written";
        } catch (const ESaveFailed& e) {
            EXPECT_EQ(std::string(e.what()), "the file system refused the write: " + std::string(reason));
            EXPECT_TRUE(e.ListingStale());
        }
        EXPECT_TRUE(onlyChanged(original, ReadAll(path), 8, twice ? "AB" : "He"));
    }
}

TEST(AsciiEditFailedWrite, FullFileSystemLeavesTheFileAsItWas)
{
    // In place, a write needs new blocks only where the file has a hole: the
    // text begins 6 bytes before one, so a full file system takes those 6
    // bytes and then refuses the rest. The tmpfs lives in a mount namespace
    // of this process's own.
    TempDir dir;
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    const std::unique_ptr<const char, int (*)(const char*)> unmount(dir.Path().c_str(), ::umount);
    TiffBuilder b;
    b.Data(std::string(4082, 'x'));
    const auto at = b.Data(std::string("ABCDEF") + std::string(10, '\0'));
    b.Data(std::string(8192 - 4106, '\0')); // one page of hole
    b.Page({TestEntry::At(270, tAscii, 16, at)});
    const auto original = b.Build();
    ASSERT_EQ(at, 4090u);
    ASSERT_EQ(b.DirOffset(0), 8192u);

    const std::string path = (dir.Path() / "sparse.tif").string();
    const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    ASSERT_EQ(::pwrite(fd, original.data(), 4096, 0), 4096);
    ASSERT_EQ(::pwrite(fd, &original[8192], original.size() - 8192, 8192), ssize_t(original.size() - 8192));
    ::close(fd);
    std::ofstream filler(dir.Path() / "filler", std::ios::binary);
    while (filler.write(&std::string(4096, 'f')[0], 4096).flush()) {
    }

    const Listed l(path, 1, false);
    EXPECT_EQ(refusal([&] { l.write("270", "Edited by Velq"); }), TReason::WriteFailed);
    EXPECT_EQ(ReadAll(path), original);
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
    // A BigTIFF file's cells: unsigned and whole, up to 64 bits.
    for (const std::uint64_t v : {std::uint64_t{0}, std::uint64_t{416}, std::uint64_t{1} << 32, ~std::uint64_t{0}})
        for (const bool hex : {false, true})
            EXPECT_EQ(ParseWideListedNumber(WideNumberText(v, hex), hex), v) << v << (hex ? " hex" : " dec");
    for (const char* bad : {"", "-1", "18446744073709551616", "1 0", "1A0"})
        EXPECT_THROW(ParseWideListedNumber(bad, false), EConvertError) << bad;
    for (const char* bad : {"", "10000000000000000", "G", "0x1A0"})
        EXPECT_THROW(ParseWideListedNumber(bad, true), EConvertError) << bad;
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
    std::size_t written = 0, refused = 0, overlapping = 0;
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
            // A field with room that lies inside the file and holds what the
            // listing shows is written, unless its bytes would land in the header
            // or a directory.
            const bool fits = count > 1 && pos + count <= before.size();
            const bool holdsListedText =
                fits && Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(before.data()) + pos,
                                                      static_cast<std::size_t>(count))) == field.ListedText;
            const std::string text = "Edited by Velquin " + std::to_string(i);
            const auto reason = refusal([&] { WriteAsciiField(l.file, field, text); });
            const auto after = contentsOf(path);
            if (!reason) {
                ASSERT_TRUE(holdsListedText);
                ASSERT_TRUE(onlyChanged(before, after, static_cast<std::size_t>(pos),
                                        FieldBytes(text, static_cast<std::size_t>(count - 1))));
                // Every directory reads as before: only texts may have changed.
                ASSERT_EQ(structureOf(path), structureOf(source));
                ++written;
            } else {
                ASSERT_EQ(after, before);
                if (holdsListedText) {
                    ASSERT_EQ(reason, TReason::Overlaps);
                }
                overlapping += reason == TReason::Overlaps;
                ++refused;
            }
        }
    }
    EXPECT_GE(written, 15u); // sample.tif alone has 15 ASCII fields
    if (fs::is_directory(root)) {
        EXPECT_GT(refused, 0u);
        EXPECT_GE(overlapping, 4u); // fuzzed files point texts at their header and directories
    }
    RecordProperty("written", static_cast<int>(written));
    RecordProperty("refused", static_cast<int>(refused));
    RecordProperty("overlapping", static_cast<int>(overlapping));
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
