// velquin --dump under a limit of address space: opening a file takes less
// than four times its size and 64 MiB, and memory that runs out is reported,
// never an abort. The sanitizers reserve far more address space than any
// limit here allows, so these run in the plain build only.
#include "support/tempdir.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VELQUIN_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELQUIN_UNDER_SANITIZER 1
#endif
#endif

namespace {

/// A directory every 12 bytes, 3 entries each, each one's next field naming
/// the directory 12 bytes on: every 12-byte slot is an entry of three
/// directories, and the chain runs through the whole file.
std::vector<std::uint8_t> overlappingDirectories(std::size_t size)
{
    const std::uint32_t base = 16;
    const std::uint32_t count = static_cast<std::uint32_t>((size - 64) / 12);
    std::vector<std::uint8_t> b(base + 12 * std::size_t{count} + 64, 0);
    b[0] = b[1] = 'I';
    Put16(b, 2, 42, false);
    Put32(b, 4, base, false);
    const auto dir = [&](std::uint32_t i) { return base + 12 * i; };
    for (std::uint32_t i = 0; i < count; ++i) {
        Put16(b, dir(i), 3, false);
        if (i >= 3) // the next field of directory i - 3
            Put32(b, dir(i) + 2, dir(i - 2), false);
    }
    for (std::uint32_t i = count - 3; i < count; ++i)
        Put32(b, dir(i) + 38, 0, false);
    return b;
}

struct LimitedRun {
    int status = -1; ///< exit status, or 128 + the signal
    std::string out; ///< a hash of standard output: its size and a checksum
    std::string err;
};

/// velquin with args, its address space limited to limitBytes (0: no limit).
LimitedRun runVelquin(const std::vector<std::string>& args, std::uint64_t limitBytes, const TempDir& dir)
{
    const std::string outPath = (dir.Path() / "out.txt").string();
    const std::string errPath = (dir.Path() / "err.txt").string();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (limitBytes) {
            const rlimit lim{limitBytes, limitBytes};
            ::setrlimit(RLIMIT_AS, &lim);
        }
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(VELQUIN_BINARY)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VELQUIN_BINARY, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    LimitedRun r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const std::vector<std::uint8_t> out = ReadAll(outPath);
    std::uint64_t sum = 1469598103934665603ull; // FNV-1a
    for (std::uint8_t c : out)
        sum = (sum ^ c) * 1099511628211ull;
    r.out = std::to_string(out.size()) + ":" + std::to_string(sum);
    const std::vector<std::uint8_t> err = ReadAll(errPath);
    r.err.assign(err.begin(), err.end());
    return r;
}

/// A 16 MB file of overlapping directories, in the plain build only.
class MemoryBound : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef VELQUIN_UNDER_SANITIZER
        GTEST_SKIP() << "address-space limits do not apply under the sanitizers";
#endif
        bytes = overlappingDirectories(16'000'000);
        path = dir.Write("overlap.tif", bytes);
    }
    TempDir dir;
    std::vector<std::uint8_t> bytes;
    std::string path;
};

} // namespace

TEST_F(MemoryBound, OverlappingDirectoriesListWithinFourTimesTheirSize)
{
    const std::vector<std::string> args{"--dump", path, "--all-pages"};
    const LimitedRun unlimited = runVelquin(args, 0, dir);
    ASSERT_EQ(unlimited.status, 0) << unlimited.err;
    const LimitedRun bounded = runVelquin(args, 4 * bytes.size() + (64u << 20), dir);
    EXPECT_EQ(bounded.status, 0) << bounded.err;
    EXPECT_EQ(bounded.out, unlimited.out); // the limit changes nothing of the listing
    EXPECT_EQ(bounded.err, unlimited.err);
}

TEST_F(MemoryBound, MemoryThatRunsOutIsReportedNotAborted)
{
    // Room for the program and the file, not for all its pages.
    const LimitedRun r = runVelquin({"--dump", path, "--all-pages"}, bytes.size() + (8u << 20), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "not enough memory to read " + path + ".\n");
}
