// Replays the fuzzer's kept inputs through its own body: the crafted seeds of
// fuzz/seeds/ and every input that once found a fault, fuzz/regressions/.
// Run under the sanitizer build, this is the fuzzer's check without libFuzzer.
#include "exercise.h"
#include "support/tiffbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace std::literals;

namespace {

std::vector<std::filesystem::path> keptInputs(const char* folder)
{
    std::vector<std::filesystem::path> files;
    const std::filesystem::path dir = std::filesystem::path(VELQUIN_SOURCE_DIR) / "fuzz" / folder;
    if (std::filesystem::is_directory(dir))
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void replay(const std::vector<std::filesystem::path>& files)
{
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        const auto bytes = readAll(path);
        for (const std::string& problem : ExerciseReader(bytes))
            ADD_FAILURE() << problem;
    }
}

} // namespace

TEST(FuzzRegression, CraftedSeedsAndKeptFindings)
{
    auto files = keptInputs("seeds");
    ASSERT_GE(files.size(), 10u) << "fuzz/seeds/ is missing; fuzz/make_seeds.py writes it";
    const auto findings = keptInputs("regressions"); // empty until the fuzzer finds a fault
    files.insert(files.end(), findings.begin(), findings.end());
    replay(files);
}

TEST(FuzzRegression, SharedCorpus)
{
    // The fuzzer's seeds from real files, whole (the fuzzer cuts them at 64 kB).
    const std::filesystem::path root(VELQUIN_CORPUS_DIR);
    if (!std::filesystem::is_directory(root))
        GTEST_SKIP() << "no corpus at " << root;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension() != ".md")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    replay(files);
}

TEST(FuzzRegression, SoundFilesAndRefusedHeadersRaiseNoAlarm)
{
    // A false alarm would stop every fuzz run at its first input.
    for (const bool big : {false, true}) {
        TiffBuilder b(big);
        b.Page({TestEntry::Short(256, 640), TestEntry::Short(257, 480),
                TestEntry::At(270, tAscii, 12, b.Data("A scan\0\0\0\0\0\0")),
                TestEntry::At(282, tRational, 1, b.Rational(300, 1)), TestEntry::At(283, tRational, 1, b.Rational(300, 1))});
        b.Page({TestEntry::Long(256, 100)});
        const auto problems = ExerciseReader(b.Build());
        EXPECT_TRUE(problems.empty()) << problems.front();
    }
    EXPECT_TRUE(ExerciseReader(Bytes("IM*\0\x08\0\0\0"sv)).empty());
    EXPECT_TRUE(ExerciseReader(Bytes("II*"sv)).empty());
    EXPECT_TRUE(ExerciseReader({}).empty());
}
