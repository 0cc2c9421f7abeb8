#pragma once

#include "tiff/tiff.h"

#include <cstdint>
#include <span>
#include <vector>

// The parts of a file laid out over its bytes: what a map of the file draws,
// and what the checker looks for overlaps in.

enum class TPartKind { Header, Directory, Value, StripData, TileData, Gap };

struct TPart {
    TPartKind Kind = TPartKind::Gap;
    TByteRange Range;       ///< inside the file, never empty
    int Directory = -1;     ///< index in TTiffFile::Directories; -1 for the header and gaps
    int Entry = -1;         ///< the entry whose value or data this is; -1 for none
    std::uint64_t Item = 0; ///< the strip's or tile's number, from 0
};

/// By position, then end, then kind (the header and directories before the
/// values that share their range), then directory, entry and item.
void sortParts(std::vector<TPart>& parts);

/// Adds a Gap part for every run of [0, size) that no part covers; the parts,
/// sorted by sortParts, stay so.
void addGaps(std::vector<TPart>& parts, std::uint64_t size);

struct TOverlapPair {
    std::size_t First = 0; ///< index of the part that starts first
    std::size_t Second = 0;
    TByteRange Common;
};

/// Values or data (never the header or a directory) that lie on exactly the
/// same bytes: a writer that stores a value once for several entries.
struct TSharedGroup {
    std::size_t First = 0; ///< index of the group's first part; the others follow it
    std::size_t Size = 0;  ///< parts in the group, at least 2
};

struct TOverlaps {
    std::vector<TOverlapPair> Pairs; ///< the first of them, up to the limit
    std::uint64_t PairCount = 0;     ///< every pair of ranges that overlap, each once
    std::vector<TSharedGroup> Groups;
    std::uint64_t GroupCount = 0;
};

/// The overlaps among parts sorted by sortParts, in O(n log n) however many
/// pairs there are: a group of shared bytes counts as one range, and pairs
/// past listLimit are counted, not listed.
TOverlaps findOverlaps(std::span<const TPart> parts, std::size_t listLimit);
