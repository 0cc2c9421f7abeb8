#pragma once

#include "tiff/filestamp.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

/// Read-only random access to a file or a buffer, with the bounds check every
/// read of file bytes goes through.
///
/// A file is read in a few large preads into a small set of windows, so a
/// directory costs one system call, not one per field; memory stays bounded by
/// the windows plus the largest single request (itself bounded by the size).
class TStream {
public:
    /// Opens path read-only. Throws EFOpenError with the system's reason, also
    /// for anything that is not a regular file.
    explicit TStream(const std::string& path);
    /// Reads from a caller-owned buffer that must outlive the stream.
    explicit TStream(std::span<const std::uint8_t> buffer);
    ~TStream();
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    std::uint64_t Size() const { return m_size; }
    /// The file as it was opened; all zeros for a buffer.
    const TFileStamp& Stamp() const { return m_stamp; }
    std::uint64_t Position() const { return m_pos; }
    void Seek(std::uint64_t pos) { m_pos = pos; }

    /// Reads up to n bytes at the position and advances; returns how many.
    std::size_t Read(void* dst, std::size_t n);
    /// Reads exactly n bytes or throws EReadError (the position is then unchanged).
    void ReadBuffer(void* dst, std::size_t n);

    /// Pointer to n bytes at pos, valid until the next read; nullptr unless
    /// all n bytes lie inside the data. Check for overflow happens here.
    const std::uint8_t* Slice(std::uint64_t pos, std::size_t n);

    /// Number of system reads so far (for benchmarks).
    std::size_t ReadCalls() const { return m_readCalls; }

private:
    struct Window {
        std::uint64_t start = 0;
        std::vector<std::uint8_t> bytes;
        std::uint64_t lastUse = 0;
    };
    const std::uint8_t* fill(std::uint64_t pos, std::size_t n);

    int m_fd = -1;
    const std::uint8_t* m_memory = nullptr;
    std::uint64_t m_size = 0;
    TFileStamp m_stamp;
    std::uint64_t m_pos = 0;
    std::array<Window, 6> m_windows;
    std::size_t m_last = 0;
    std::uint64_t m_clock = 0;
    std::size_t m_readCalls = 0;
};
