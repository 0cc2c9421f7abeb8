#pragma once

#include "tiff/tiff.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// What the checker can find wrong with a file. Each kind has a stable
// identifier that ingest scripts match on, a fixed severity, and the sentence
// a user reads, with {placeholders} for the facts of one finding. The table
// in problems.cpp holds all three, one row a kind.

/// error: a reader may fail or read wrong data; warning: against TIFF 6.0 or a
/// widely followed rule, but usually read; note: unusual.
enum class TSeverity { Error, Warning, Note };

enum class TProblemKind {
    NoPages,
    DirectoryOffsetOdd,
    DirectoryPastEnd,
    DirectoryCut,
    NextOffsetCut,
    DirectoryLoop,
    DirectoryShared,
    EntryCountZero,
    Overlap,
    SharedBytes,
    ValuePastEnd,
    ValueOffsetOdd,
    DataPastEnd,
    DataShort,
    UnknownType,
    EntryOrder,
    DuplicateTag,
    AsciiNoNul,
    AsciiInnerNul,
    DateTimeFormat,
    CountWrong,
    SamplesCount,
    StripCount,
    TileCount,
    WrongType,
    OtherType,
    RationalZero,
    MissingField,
    MissingResolution,
    ChecksLimited,
};
inline constexpr std::size_t ProblemKindCount = static_cast<std::size_t>(TProblemKind::ChecksLimited) + 1;

struct TProblemKindInfo {
    TProblemKind Kind;
    std::string_view Identifier; ///< "entry-order": stable, documented in the README
    TSeverity Severity;
    std::string_view Sentence; ///< with {dir}, {tag}, {at}, ... (see TSentenceFacts)
};

/// The row of a kind.
const TProblemKindInfo& problemKindInfo(TProblemKind kind);
/// Every row, in the order of TProblemKind.
const std::array<TProblemKindInfo, ProblemKindCount>& problemKindTable();
/// "error", "warning" or "note".
std::string_view severityName(TSeverity severity);

/// The facts a sentence may name. Numbers are written in decimal.
struct TSentenceFacts {
    std::string Dir{};        ///< {dir}: "page 2", "Exif directory 1/exif"
    std::string Tag{};        ///< {tag}: "ImageWidth", "tag 50001"
    std::string Other{};      ///< {other}: a second tag or part
    std::string Detail{};     ///< {detail}: a clause that varies within a kind
    std::uint64_t At = 0;     ///< {at}: a position in the file
    std::uint64_t Length = 0; ///< {length}: a number of bytes
    std::uint64_t Size = 0;   ///< {size}: the file's size
    std::uint64_t N = 0;      ///< {n}
    std::uint64_t M = 0;      ///< {m}
};

/// The kind's sentence with its placeholders filled, its first letter upper-case.
std::string problemSentence(TProblemKind kind, const TSentenceFacts& facts);

/// One finding.
struct TProblem {
    TProblemKind Kind = TProblemKind::NoPages;
    int Directory = -1;      ///< index in TTiffFile::Directories; -1 for the file as a whole
    std::string DirectoryId; ///< that directory's Id ("2/exif"); empty for the file
    int Entry = -1;          ///< index in that directory's Entries; -1 for none
    TByteRange Range;        ///< the bytes concerned; may reach past the end of the file
    std::string Sentence;
};
