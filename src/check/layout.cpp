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

// Position, end and kind; then the owner, so that the order is the same on every run.
bool partBefore(const TPart& a, const TPart& b)
{
    if (a.Range.Start != b.Range.Start) // most parts start apart
        return a.Range.Start < b.Range.Start;
    return std::tie(a.Range.Start, a.Range.End, a.Kind, a.Directory, a.Entry, a.Item) <
           std::tie(b.Range.Start, b.Range.End, b.Kind, b.Directory, b.Entry, b.Item);
}

} // namespace

void sortParts(std::vector<TPart>& parts)
{
    // Parts come in a few ascending runs (the header, a directory, its values
    // in tag order, its strips): merging the runs costs little more than
    // reading them. Many runs are sorted outright.
    constexpr std::size_t kMergedRuns = 32;
    std::vector<std::size_t> bounds{0}; // where each run starts, then the end
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (!partBefore(parts[i], parts[i - 1]))
            continue;
        if (bounds.size() == kMergedRuns) {
            std::sort(parts.begin(), parts.end(), partBefore);
            return;
        }
        bounds.push_back(i);
    }
    bounds.push_back(parts.size());
    const auto at = [&](std::size_t i) { return parts.begin() + static_cast<std::ptrdiff_t>(i); };
    while (bounds.size() > 2) {
        std::vector<std::size_t> merged{0};
        for (std::size_t k = 2; k < bounds.size(); k += 2) {
            std::inplace_merge(at(bounds[k - 2]), at(bounds[k - 1]), at(bounds[k]), partBefore);
            merged.push_back(bounds[k]);
        }
        if (bounds.size() % 2 == 0) // an odd number of runs: the last waits for the next round
            merged.push_back(bounds.back());
        bounds = std::move(merged);
    }
}

void addGaps(std::vector<TPart>& parts, std::uint64_t size)
{
    std::vector<TPart> all;
    all.reserve(2 * parts.size() + 1);
    std::uint64_t covered = 0; // every byte below it lies in a part
    for (const TPart& part : parts) {
        if (part.Range.Start > covered)
            all.push_back({TPartKind::Gap, {covered, part.Range.Start}});
        all.push_back(part);
        covered = std::max(covered, part.Range.End);
    }
    if (covered < size)
        all.push_back({TPartKind::Gap, {covered, size}});
    parts = std::move(all);
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
    std::uint64_t openEnd = 0; // the latest end among the open ranges
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
            if (part.Range.Start >= openEnd) // every open range has ended: the common case
                open.clear();
            while (!open.empty() && open.front().first <= part.Range.Start) {
                std::pop_heap(open.begin(), open.end(), later);
                open.pop_back();
            }
            found.PairCount += open.size();
            for (std::size_t k = 0; k < open.size() && found.Pairs.size() < listLimit; ++k)
                found.Pairs.push_back({open[k].second, i, {part.Range.Start, std::min(open[k].first, part.Range.End)}});
            open.push_back({part.Range.End, i});
            std::push_heap(open.begin(), open.end(), later);
            openEnd = std::max(openEnd, part.Range.End);
        }
        i = next;
    }
    return found;
}
