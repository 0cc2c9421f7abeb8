// A file replaced whole or not at all.
#include "batch/atomicfile.h"
#include "support/tempdir.h"
#include "tiff/errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string text(const std::string& path)
{
    const auto bytes = ReadAll(path);
    return {bytes.begin(), bytes.end()};
}

/// Names in the folder, hidden ones included.
std::vector<std::string> entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(AtomicFile, TargetChangesOnlyOnCommit)
{
    TempDir dir;
    const std::string target = dir.Write("out.csv", std::string_view("old"));
    ::chmod(target.c_str(), 0640);
    {
        TAtomicFile file(target);
        ASSERT_FALSE(file.TemporaryPath().empty());
        EXPECT_EQ(fs::path(file.TemporaryPath()).parent_path(), dir.Path());
        EXPECT_EQ(fs::path(file.TemporaryPath()).filename().string()[0], '.'); // never listed by a run
        EXPECT_TRUE(file.Write("new "));
        EXPECT_TRUE(file.Write("content"));
        EXPECT_EQ(text(target), "old");
        EXPECT_EQ(file.Identities().size(), 2u); // the target and the temporary file
        EXPECT_TRUE(file.Commit());
    }
    EXPECT_EQ(text(target), "new content");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u); // a replaced file keeps its permissions
    EXPECT_EQ(entries(dir.Path()), std::vector<std::string>{"out.csv"});

    // Not committed: the target stays, the temporary file goes.
    {
        TAtomicFile file(target);
        file.Write("abandoned");
    }
    EXPECT_EQ(text(target), "new content");
    EXPECT_EQ(entries(dir.Path()), std::vector<std::string>{"out.csv"});

    // A new file, by a relative name too.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir.Path());
    {
        TAtomicFile file("fresh.csv");
        file.Write("x");
        EXPECT_TRUE(file.Commit());
    }
    fs::current_path(cwd);
    EXPECT_EQ(text((dir.Path() / "fresh.csv").string()), "x");
}

TEST(AtomicFile, FailuresKeepTheTargetAndSayWhy)
{
    TempDir dir;
    const std::string missing = (dir.Path() / "no/such/out.csv").string();
    try {
        TAtomicFile file(missing);
        ADD_FAILURE() << "created";
    } catch (const EVelquinError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write \"" + missing + "\". No such file or directory");
    }

    // A folder in the target's place is refused at once; one that appears
    // there later makes the rename fail, and it stays as it is.
    fs::create_directory(dir.Path() / "taken");
    EXPECT_THROW(TAtomicFile((dir.Path() / "taken").string()), EVelquinError);
    {
        TAtomicFile file((dir.Path() / "later").string());
        fs::create_directory(dir.Path() / "later");
        dir.Write("later/keep", std::string_view("k"));
        file.Write("x");
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.FailureText(), "Cannot write \"" + (dir.Path() / "later").string() + "\". Is a directory.");
    }
    EXPECT_EQ(entries(dir.Path()), (std::vector<std::string>{"later", "taken"}));
    EXPECT_EQ(entries(dir.Path() / "later"), std::vector<std::string>{"keep"});

    // A device is written in place, never replaced.
    {
        TAtomicFile null("/dev/null");
        EXPECT_TRUE(null.TemporaryPath().empty());
        EXPECT_TRUE(null.Write("gone"));
        EXPECT_TRUE(null.Commit());
    }
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    TAtomicFile full("/dev/full");
    EXPECT_FALSE(full.Write("x"));
    EXPECT_FALSE(full.Commit());
    EXPECT_EQ(full.FailureText(), "Cannot write \"/dev/full\". No space left on device.");
}
