#pragma once

#include "check/layout.h"
#include "check/problems.h"

#include <array>
#include <cstdint>
#include <vector>

class TTiffFile;
class TValueSource;

/// Findings listed of each kind; the rest are only counted.
inline constexpr std::size_t ProblemListLimit = 1000;

struct TCheckReport {
    /// At most ProblemListLimit of each kind, the file's own first, then by
    /// directory in the order of TTiffFile::Directories.
    std::vector<TProblem> Problems;
    /// Findings of each kind, listed or not (by TProblemKind).
    std::array<std::uint64_t, ProblemKindCount> Found{};
    /// The file's parts and gaps, by position (see layout.h).
    std::vector<TPart> Layout;

    /// Findings of a severity, listed or not.
    std::uint64_t count(TSeverity severity) const;
    /// Findings of a kind beyond those listed.
    std::uint64_t unlisted(TProblemKind kind) const;
};

/// Checks a file that Open read with its directory tree (TReadScope::Structure
/// or Everything), reading its values and strip arrays from source, which must
/// hold the same bytes (the source Open read through, or one whose Stamp
/// equals the file's). Reads no more than about twice the file's size in all.
/// Throws EVelquinError for a file read without its directory tree.
TCheckReport checkFile(const TTiffFile& file, TValueSource& source);
