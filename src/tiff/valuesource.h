#pragma once

#include "tiff/filestamp.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class TStream;
class TTag;
class TTiffFile;

/// The bytes of values, read from the file when a view asks for them (a
/// detail pane, JSON, the checker), after Open has closed it. A caller asks
/// for a page of bytes of its own choosing, never for a count read from the
/// file, so a value of a million numbers costs only the part on view.
class TValueSource {
public:
    /// Opens path read-only. Throws EFOpenError with the system's reason.
    explicit TValueSource(const std::string& path);
    /// Over a caller-owned buffer that must outlive the source (tests, the fuzzer).
    explicit TValueSource(std::span<const std::uint8_t> bytes);
    ~TValueSource();
    TValueSource(const TValueSource&) = delete;
    TValueSource& operator=(const TValueSource&) = delete;

    std::uint64_t Size() const;
    /// The file as opened now. Positions taken from an earlier read hold only
    /// while this equals that read's TTiffFile::Stamp.
    const TFileStamp& Stamp() const;
    /// The bytes of [pos, pos + n) that lie inside the file: fewer, or none,
    /// where the range runs past its end.
    std::vector<std::uint8_t> Read(std::uint64_t pos, std::size_t n);
    /// The entry at pos of a directory of file, read as the entries of a page
    /// are (TTag::ReadEntry): its one value text, by the same rules, for the
    /// directories below the pages, whose entries Open keeps only as stored.
    /// Texts draw on what the file's reading left of its memory budget.
    TTag ReadTag(const TTiffFile& file, std::uint64_t pos);
    /// The same into out (as many bytes as it holds), for callers that read
    /// many small values; returns how many bytes lie inside the file.
    std::size_t ReadInto(std::uint64_t pos, std::span<std::uint8_t> out);

private:
    friend class TTiffFile; // reads a file through the source that the checker then reads
    std::unique_ptr<TStream> m_stream;
};
