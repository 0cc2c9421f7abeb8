// The count of a run's files ahead of the run.
#include "batch/batchrun.h"
#include "batch/treecount.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

/// The count, once known; -1 when it is still unknown after `patience`.
std::int64_t countOf(const TBatchOptions& options, std::chrono::milliseconds patience = std::chrono::seconds(5))
{
    const TTreeCount count(options);
    const auto until = std::chrono::steady_clock::now() + patience;
    while (count.Total() < 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return count.Total();
}

} // namespace

TEST(TreeCount, CountsTheFilesTheWalkMeets)
{
    // What the run lists: *.tif and *.tiff below the start, not-TIFF ones
    // too, a link to a file; no hidden names, no link to a folder.
    TempDir dir;
    for (const char* name : {"a.tif", "B.TIFF", "notes.txt", ".hidden.tif", "sub/c.tif", "sub/deep/d.tif",
                             "sub/deep/e.tif", "sub/junk.tif", ".git/no.tif", "other/x.tif.bak", "other/f.tif"})
        dir.Write(name, std::string_view("any bytes"));
    fs::create_directory_symlink(dir.Path() / "sub", dir.Path() / "link to sub");
    fs::create_symlink(dir.Path() / "a.tif", dir.Path() / "sub/link.tif");

    // The root's files and the tree below, the root's alone, the tree alone, nothing.
    const std::int64_t expected[] = {8, 2, 6, 0};
    for (int i = 0; i < 4; ++i) {
        TBatchOptions options;
        options.StartDir = dir.Path().string();
        options.IncludeRoot = i < 2;
        options.IncludeSubDirectories = i % 2 == 0;
        EXPECT_EQ(countOf(options), expected[i]) << i;
    }

    // No walk, no count: a list of paths, a starting directory that is not there.
    TBatchOptions listed;
    listed.ListedFiles = [](std::string&) { return false; };
    EXPECT_EQ(countOf(listed, std::chrono::milliseconds(50)), -1);
    TBatchOptions gone;
    gone.StartDir = (dir.Path() / "gone").string();
    EXPECT_EQ(countOf(gone, std::chrono::milliseconds(50)), -1);
}
