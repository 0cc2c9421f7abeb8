// velquin --edit: the window's editor by page and tag number, for scripts.
#include "support/clirun.h"
#include "support/tempdir.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace {

const std::string kSample = std::string(VELQUIN_SOURCE_DIR) + "/samples/sample.tif";

} // namespace

TEST(EditCli, WritesTheFirstEntryOfTheTagOnThePage)
{
    TempDir dir;
    TiffBuilder b;
    const auto first = b.Data(std::string_view("One\0", 5));
    const auto second = b.Data(std::string_view("Two\0", 5));
    b.Page({TestEntry::Short(256, 1)});
    b.Page({TestEntry::At(270, tAscii, 5, first), TestEntry::At(270, tAscii, 5, second)});
    auto bytes = b.Build();
    const std::string path = dir.Write("two pages.tif", bytes);

    const CliRun r = RunCli({"--edit", path, "--page", "2", "--tag", "270", "--text", "\u00c9t\u00e9"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    std::copy_n("\xC9t\xE9 ", 4, bytes.begin() + first); // Windows-1252, filled to the room
    EXPECT_EQ(ReadAll(path), bytes);
}

TEST(EditCli, RefusalsSayWhyAndWriteNothing)
{
    TempDir dir;
    const std::string path = dir.Write("sample.tif", ReadAll(kSample));
    TiffBuilder b;
    b.Page({TestEntry::At(270, tAscii, 6, 0)}); // a text over the header
    const std::string header = dir.Write("header.tif", b.Build());
    const auto sample = ReadAll(path), headerBytes = ReadAll(header);

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::string at = "velquin: " + path + ": ";
    const Case cases[] = {
        {{path, "--page", "4", "--tag", "270", "--text", "A"}, 1, at + "the file has no page 4\n"},
        {{path, "--page", "1", "--tag", "999", "--text", "A"}, 1, at + "page 1 has no tag 999\n"},
        {{path, "--page", "1", "--tag", "256", "--text", "A"}, 1, at + "Only ASCII values could be edited.\n"},
        {{path, "--page", "1", "--tag", "271", "--text", "ABCDEFGH"},
         1,
         at + "the text is longer than the field: it holds 7 characters\n"},
        {{header, "--page", "1", "--tag", "270", "--text", "A"},
         1,
         "velquin: " + header + ": the field overlaps the file's header or a directory\n"},
        {{dir.Path().string() + "/none.tif", "--page", "1", "--tag", "270", "--text", "A"},
         1,
         "Cannot open file \"" + dir.Path().string() + "/none.tif\". No such file or directory.\n"},
        {{path, "--page", "0", "--tag", "270", "--text", "A"},
         2,
         "velquin: --page takes a page number from 1, not '0'\n"},
        {{path, "--page", "1", "--tag", "65536", "--text", "A"},
         2,
         "velquin: --tag takes a tag number from 0 to 65535, not '65536'\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--edit"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun r = RunCli(args);
        EXPECT_EQ(r.status, c.status) << c.err;
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(RunCli({"--edit", path, "--page", "1", "--tag", "271"}).status, 2); // no --text

    // A lock held by another program.
    const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(other, LOCK_SH), 0);
    const CliRun locked = RunCli({"--edit", path, "--page", "1", "--tag", "271", "--text", "A"});
    ::close(other);
    EXPECT_EQ(locked.status, 1);
    EXPECT_EQ(locked.err, at + "another program holds a lock on the file\n");

    EXPECT_EQ(ReadAll(path), sample);
    EXPECT_EQ(ReadAll(header), headerBytes);
    // Exactly the room is taken.
    EXPECT_EQ(RunCli({"--edit", path, "--page", "1", "--tag", "271", "--text", "ABCDEFG"}).status, 0);
}
