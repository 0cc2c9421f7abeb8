#pragma once

#include "tiff/filestamp.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

/// Read-only random access to a file or a buffer, with the bounds check every
/// read of file bytes goes through.
///
/// A file is read in aligned blocks (a small file is one block, read whole),
/// kept in a few windows while the reads move on through the file. When blocks
/// have to be read again more than a few times, the reads jump about: from then
/// on the file fills memory of its own size block by block, each block read
/// at most once more. The number of reads stays below about twice the file's
/// size divided by the block size, and the memory held below the file's size.
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
    /// all n bytes lie inside the data (a file that shrank since it was opened
    /// ends where it now ends). Check for overflow happens here.
    const std::uint8_t* Slice(std::uint64_t pos, std::size_t n)
    {
        if (pos > m_size || n > m_size - pos)
            return nullptr;
        if (m_memory)
            return m_memory + pos;
        // Most slices lie in one of the two windows used last: a directory's
        // and its values'.
        if (const std::uint8_t* p = inWindow(m_windows[m_last], pos, n))
            return p;
        if (const std::uint8_t* p = inWindow(m_windows[m_previous], pos, n)) {
            std::swap(m_last, m_previous);
            return p;
        }
        return sliceElsewhere(pos, n);
    }

    /// Hands the bytes [pos, pos + n) to piece(const std::uint8_t*, std::size_t)
    /// in order, a block at a time, without copying them together. Returns
    /// false, after the pieces that could be read, when the range leaves the data.
    template <class Piece> bool ForEachPiece(std::uint64_t pos, std::uint64_t n, Piece&& piece)
    {
        if (pos > m_size || n > m_size - pos)
            return false;
        while (n > 0) {
            std::size_t avail = 0;
            const std::uint8_t* p = at(pos, avail);
            if (!p)
                return false;
            const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n, avail));
            piece(p, take);
            pos += take;
            n -= take;
        }
        return true;
    }

    /// Number of system reads so far (for tests and benchmarks).
    std::size_t ReadCalls() const { return m_readCalls; }

private:
    struct Window {
        std::uint64_t start = 0; ///< file position of bytes[0]
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t length = 0; ///< 0 while unused; short when the file shrank
        std::uint64_t lastUse = 0;
    };
    /// The byte at pos and how many follow it in its block (avail); nullptr
    /// when pos lies past what the file now holds.
    const std::uint8_t* at(std::uint64_t pos, std::size_t& avail);
    const std::uint8_t* sliceElsewhere(std::uint64_t pos, std::size_t n);
    static const std::uint8_t* inWindow(const Window& w, std::uint64_t pos, std::size_t n)
    {
        if (pos < w.start || pos - w.start >= w.length || n > w.length - (pos - w.start))
            return nullptr;
        return w.bytes.get() + (pos - w.start);
    }
    /// The window holding pos, reading its block into the least recently used
    /// one; nullptr when the block had been read before (the file is then spread).
    const Window* window(std::uint64_t pos);
    std::uint64_t blockSize() const { return std::uint64_t{1} << m_blockShift; }
    std::size_t blockCount() const;
    /// Reads block index to dst; returns the bytes read.
    std::size_t readBlock(std::uint64_t index, std::uint8_t* dst);
    /// From windows to memory of the file's size.
    void spread();

    int m_fd = -1;
    const std::uint8_t* m_memory = nullptr; ///< a caller's buffer
    std::uint64_t m_size = 0;
    unsigned m_blockShift = 63; ///< a file of one block: every position lies in block 0
    TFileStamp m_stamp;
    std::uint64_t m_pos = 0;

    std::array<Window, 8> m_windows;
    std::size_t m_last = 0;
    std::size_t m_previous = 0;
    std::uint64_t m_clock = 0;
    std::vector<bool> m_wasRead; ///< per block, while in windows
    std::size_t m_rereads = 0;

    std::uint8_t* m_spread = nullptr;    ///< the file at its own positions, once spread
    std::vector<std::uint32_t> m_length; ///< bytes read of each block once spread

    std::vector<std::uint8_t> m_joined; ///< a slice across windows
    std::size_t m_readCalls = 0;
};
