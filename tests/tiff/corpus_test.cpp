// Every file of the shared corpus of real and damaged TIFFs is read and listed
// without a crash or a hang (sanitizer builds run this too).
#include "tiff/listing.h"
#include "tiff/tiff.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(Corpus, EveryFileIsReadAndListed)
{
    const std::filesystem::path root(VELQUIN_CORPUS_DIR);
    if (!std::filesystem::is_directory(root))
        GTEST_SKIP() << "no corpus at " << root;
    std::size_t files = 0, opened = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        ++files;
        std::size_t messages = 0;
        TTiffFile f([&](const TReaderMessage&) { ++messages; });
        try {
            f.Open(entry.path().string());
            ++opened;
        } catch (const std::exception&) {
            continue; // not a TIFF: the header check said so
        }
        for (int p = 1; p <= f.PageCount(); ++p)
            for (bool hex : {false, true}) {
                const TListing l = BuildListing(f, p, hex);
                ASSERT_GE(l.Rows.size(), 5u) << entry.path();
            }
        EXPECT_LT(messages, 1000u) << entry.path();
    }
    EXPECT_GT(files, 0u);
    EXPECT_GT(opened, 0u);
}
