#include "check/layout.h"

#include <algorithm>
#include <functional>
#include <tuple>

namespace {

bool isStructure(TPartKind kind)
{
    return kind == TPartKind::Header || kind == TPartKind::Directory;
}

bool sameBytes(const TPart& a, const TPart& b)
{
    return a.Range.Start == b.Range.Start && a.Range.End == b.Range.End;
}

bool partBefore(const TPart& a, const TPart& b)
{
    return std::tie(a.Range.Start, a.Range.End, a.Kind) < std::tie(b.Range.Start, b.Range.End, b.Kind);
}

} // namespace

void sortParts(std::vector<TPart>& parts)
{
    std::stable_sort(parts.begin(), parts.end(), partBefore);
}

void addGaps(std::vector<TPart>& parts, std::uint64_t size)
{
    std::vector<TPart> gaps;
    std::uint64_t covered = 0; // every byte below it lies in a part
    for (const TPart& part : parts) {
        if (part.Range.Start > covered)
            gaps.push_back({TPartKind::Gap, {covered, part.Range.Start}});
        covered = std::max(covered, part.Range.End);
    }
    if (covered < size)
        gaps.push_back({TPartKind::Gap, {covered, size}});
    const auto middle = static_cast<std::ptrdiff_t>(parts.size());
    parts.insert(parts.end(), gaps.begin(), gaps.end());
    std::inplace_merge(parts.begin(), parts.begin() + middle, parts.end(), partBefore);
}

TOverlaps findOverlaps(std::span<const TPart> parts, std::size_t listLimit)
{
    TOverlaps found;
    // A sweep in order of position: the ranges still open where a range
    // starts are exactly those it overlaps, since every range met before
    // started no later. Ranges that have ended leave the heap for good.
    using TOpen = std::pair<std::uint64_t, std::size_t>; // end, part
    std::vector<TOpen> open;                             // a heap, the earliest end on top
    const std::greater<> later;
    for (std::size_t i = 0; i < parts.size();) {
        const TPart& part = parts[i];
        std::size_t next = i + 1;
        if (!isStructure(part.Kind))
            while (next < parts.size() && !isStructure(parts[next].Kind) && sameBytes(parts[next], part))
                ++next;
        if (next - i > 1) {
            ++found.GroupCount;
            if (found.Groups.size() < listLimit)
                found.Groups.push_back({i, next - i});
        }
        if (part.Range.End > part.Range.Start) {
            while (!open.empty() && open.front().first <= part.Range.Start) {
                std::pop_heap(open.begin(), open.end(), later);
                open.pop_back();
            }
            found.PairCount += open.size();
            for (std::size_t k = 0; k < open.size() && found.Pairs.size() < listLimit; ++k)
                found.Pairs.push_back({open[k].second, i, {part.Range.Start, std::min(open[k].first, part.Range.End)}});
            open.push_back({part.Range.End, i});
            std::push_heap(open.begin(), open.end(), later);
        }
        i = next;
    }
    return found;
}
