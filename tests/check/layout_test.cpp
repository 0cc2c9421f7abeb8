// The layout's arithmetic: overlaps found once per pair in n log n, shared
// bytes as groups, gaps; and the tables the findings and rules come from.
#include "check/layout.h"
#include "check/problems.h"
#include "check/tagrules.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>

namespace {

TPart part(TPartKind kind, std::uint64_t start, std::uint64_t end, int entry = -1)
{
    return {kind, {start, end}, kind == TPartKind::Header ? -1 : 0, entry};
}

std::set<std::pair<std::uint64_t, std::uint64_t>> pairStarts(const std::vector<TPart>& parts, const TOverlaps& o)
{
    std::set<std::pair<std::uint64_t, std::uint64_t>> starts;
    for (const TOverlapPair& p : o.Pairs)
        starts.insert({parts[p.First].Range.Start, parts[p.Second].Range.Start});
    return starts;
}

} // namespace

TEST(Layout, EachOverlappingPairOnceWithTheBytesInCommon)
{
    std::vector<TPart> parts{part(TPartKind::Value, 20, 30), part(TPartKind::Header, 0, 8),
                             part(TPartKind::Directory, 4, 22), part(TPartKind::StripData, 30, 40),
                             part(TPartKind::Value, 25, 26)};
    sortParts(parts);
    const TOverlaps o = findOverlaps(parts, 100);
    // Touching ranges (20-30 and 30-40) do not overlap.
    EXPECT_EQ(o.PairCount, 3u);
    EXPECT_EQ(pairStarts(parts, o), (std::set<std::pair<std::uint64_t, std::uint64_t>>{{0, 4}, {4, 20}, {20, 25}}));
    for (const TOverlapPair& p : o.Pairs) {
        const TByteRange& a = parts[p.First].Range;
        const TByteRange& b = parts[p.Second].Range;
        EXPECT_EQ(p.Common.Start, std::max(a.Start, b.Start));
        EXPECT_EQ(p.Common.End, std::min(a.End, b.End));
    }
    EXPECT_EQ(o.GroupCount, 0u);
}

TEST(Layout, ValuesOnTheSameBytesAreOneGroupButNeverADirectory)
{
    std::vector<TPart> parts{part(TPartKind::Value, 10, 20, 1), part(TPartKind::Value, 10, 20, 2),
                             part(TPartKind::StripData, 10, 20, 3), part(TPartKind::Directory, 10, 20)};
    sortParts(parts);
    const TOverlaps o = findOverlaps(parts, 100);
    ASSERT_EQ(o.GroupCount, 1u);
    EXPECT_EQ(o.Groups[0].Size, 3u);
    EXPECT_EQ(parts[o.Groups[0].First].Entry, 1);
    // The group overlaps the directory once, as one range.
    EXPECT_EQ(o.PairCount, 1u);
    EXPECT_EQ(parts[o.Pairs.at(0).First].Kind, TPartKind::Directory);
}

TEST(Layout, AMillionNestedRangesAreCountedWithoutListingEveryPair)
{
    // Every range holds all later ones: half a million million pairs.
    const std::uint64_t n = 1'000'000;
    std::vector<TPart> parts;
    parts.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i)
        parts.push_back(part(TPartKind::StripData, i, 2 * n - i));
    sortParts(parts);
    const auto start = std::chrono::steady_clock::now();
    const TOverlaps o = findOverlaps(parts, 1000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(o.PairCount, n * (n - 1) / 2);
    EXPECT_EQ(o.Pairs.size(), 1000u);
}

TEST(Layout, GapsFillWhatNoPartCovers)
{
    std::vector<TPart> parts{part(TPartKind::Header, 0, 8), part(TPartKind::Value, 10, 20),
                             part(TPartKind::Value, 12, 14), part(TPartKind::Directory, 30, 40)};
    sortParts(parts);
    addGaps(parts, 50);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> gaps;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) // still in order
            EXPECT_LE(parts[i - 1].Range.Start, parts[i].Range.Start);
        if (parts[i].Kind == TPartKind::Gap)
            gaps.emplace_back(parts[i].Range.Start, parts[i].Range.End);
    }
    EXPECT_EQ(gaps, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{8, 10}, {20, 30}, {40, 50}}));
}

TEST(ProblemTable, IdentifiersAreUniqueAndEverySentenceIsFilled)
{
    std::set<std::string_view> seen;
    const std::regex identifier("[a-z]+(-[a-z]+)*");
    const TSentenceFacts facts{"page 1", "ImageWidth", "Compression", "a clause", 10, 20, 30, 40, 50};
    for (std::size_t k = 0; k < ProblemKindCount; ++k) {
        const TProblemKindInfo& info = problemKindTable()[k];
        EXPECT_EQ(static_cast<std::size_t>(info.Kind), k);
        EXPECT_TRUE(seen.insert(info.Identifier).second) << info.Identifier;
        EXPECT_TRUE(std::regex_match(std::string(info.Identifier), identifier)) << info.Identifier;
        const std::string sentence = problemSentence(info.Kind, facts);
        EXPECT_EQ(sentence.find_first_of("{}"), std::string::npos) << sentence;
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(sentence[0]))) << sentence;
    }
    EXPECT_EQ(problemSentence(TProblemKind::DuplicateTag, {.Dir = "page 1", .Tag = "ImageWidth", .Detail = "twice"}),
              "ImageWidth appears twice in page 1; readers use the first");
}

TEST(TagRules, SortedAndTypeNamesRead)
{
    const auto rules = tagRuleTable();
    for (std::size_t i = 1; i < rules.size(); ++i)
        EXPECT_LT(rules[i - 1].Tag, rules[i].Tag);
    ASSERT_NE(findTagRule(256), nullptr);
    EXPECT_EQ(findTagRule(256)->Name, "ImageWidth");
    EXPECT_EQ(findTagRule(50000), nullptr);
    // BigTIFF's types are allowed where offsets and counts are, in BigTIFF only.
    EXPECT_NE(allowedTypes(*findTagRule(273), true), allowedTypes(*findTagRule(273), false));
    EXPECT_FALSE(isKnownType(16, false));
    EXPECT_TRUE(isKnownType(16, true));
}
