// The stream's reads: bounded by the file's size whatever their order, the
// bytes always the file's, and a file that shrinks while it is read ends
// where it now ends.
#include "support/tempdir.h"
#include "tiff/stream.h"

#include <gtest/gtest.h>

#include <random>
#include <unistd.h>

namespace {

constexpr std::size_t kBlock = 64 * 1024;

std::vector<std::uint8_t> countingBytes(std::size_t n)
{
    std::vector<std::uint8_t> data(n);
    for (std::size_t i = 0; i < n; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 16));
    return data;
}

bool sliceMatches(TStream& s, const std::vector<std::uint8_t>& data, std::uint64_t pos, std::size_t n)
{
    const std::uint8_t* p = s.Slice(pos, n);
    return p && std::equal(p, p + n, data.begin() + static_cast<std::ptrdiff_t>(pos));
}

} // namespace

TEST(Stream, ReadsFarApartStayBoundedByTheFileSize)
{
    // 4 MB, 64 blocks; 20,000 slices at random places, many across block edges.
    TempDir dir;
    const std::vector<std::uint8_t> data = countingBytes(64 * kBlock);
    TStream s(dir.Write("scattered.bin", data));
    std::mt19937_64 rng(5);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t pos = rng() % (data.size() - 100);
        const std::size_t n = 1 + rng() % 99;
        ASSERT_TRUE(sliceMatches(s, data, pos, n)) << pos << " " << n;
    }
    EXPECT_LE(s.ReadCalls(), 2 * 64 + 20u);
    // Slices across blocks still come whole from spread memory.
    for (std::uint64_t edge = kBlock; edge < data.size(); edge += 7 * kBlock)
        EXPECT_TRUE(sliceMatches(s, data, edge - 5, 3 * kBlock)) << edge;
}

TEST(Stream, ReadsThatMoveOnReadEachBlockOnce)
{
    TempDir dir;
    const std::vector<std::uint8_t> data = countingBytes(40 * kBlock);
    TStream s(dir.Write("chain.bin", data));
    // A directory and its values taking turns, moving through the file.
    for (std::uint64_t pos = 8; pos + 3 * kBlock < data.size(); pos += 1000) {
        ASSERT_TRUE(sliceMatches(s, data, pos, 12));
        ASSERT_TRUE(sliceMatches(s, data, pos + 2 * kBlock + 77, 80));
    }
    ASSERT_TRUE(sliceMatches(s, data, data.size() - 4, 4));
    EXPECT_EQ(s.ReadCalls(), 40u);
}

TEST(Stream, SmallFileIsOneRead)
{
    TempDir dir;
    const std::vector<std::uint8_t> data = countingBytes(200000);
    TStream s(dir.Write("small.bin", data));
    EXPECT_TRUE(sliceMatches(s, data, 199990, 10));
    EXPECT_TRUE(sliceMatches(s, data, 0, 8));
    EXPECT_TRUE(sliceMatches(s, data, 100000, 99000));
    EXPECT_EQ(s.ReadCalls(), 1u);
}

TEST(Stream, PiecesComeInOrderAndStopAtTheEnd)
{
    TempDir dir;
    const std::vector<std::uint8_t> data = countingBytes(10 * kBlock);
    TStream s(dir.Write("pieces.bin", data));
    std::vector<std::uint8_t> got;
    std::size_t pieces = 0;
    const auto collect = [&](const std::uint8_t* p, std::size_t n) {
        got.insert(got.end(), p, p + n);
        ++pieces;
    };
    EXPECT_TRUE(s.ForEachPiece(kBlock - 10, 2 * kBlock + 20, collect));
    EXPECT_EQ(pieces, 4u);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + static_cast<std::ptrdiff_t>(kBlock - 10)));
    EXPECT_FALSE(s.ForEachPiece(data.size() - 4, 5, collect));
    EXPECT_FALSE(s.ForEachPiece(~0ull - 2, 8, collect));
    EXPECT_TRUE(s.ForEachPiece(data.size(), 0, collect));
}

TEST(Stream, FileThatShrinksWhileReadEndsWhereItNowEnds)
{
    for (const bool spread : {false, true}) {
        SCOPED_TRACE(spread);
        TempDir dir;
        const std::vector<std::uint8_t> data = countingBytes(32 * kBlock);
        const std::string path = dir.Write("shrinks.bin", data);
        TStream s(path);
        std::mt19937_64 rng(9);
        if (spread) { // reads far apart before the cut
            for (int i = 0; i < 2000; ++i)
                ASSERT_TRUE(sliceMatches(s, data, rng() % (4 * kBlock), 16));
        }
        ASSERT_TRUE(sliceMatches(s, data, 10, 16));
        ASSERT_EQ(::truncate(path.c_str(), 10 * kBlock + 100), 0);
        EXPECT_EQ(s.Size(), data.size()); // as opened
        EXPECT_TRUE(sliceMatches(s, data, 10 * kBlock, 100));
        EXPECT_EQ(s.Slice(10 * kBlock + 90, 20), nullptr);
        EXPECT_EQ(s.Slice(20 * kBlock, 4), nullptr);
        std::size_t seen = 0;
        EXPECT_FALSE(s.ForEachPiece(9 * kBlock, 2 * kBlock, [&](const std::uint8_t*, std::size_t n) { seen += n; }));
        EXPECT_EQ(seen, kBlock + 100);
    }
}
