#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

/// Reads a file whole into a buffer kept from one file to the next, with as
/// few system calls as its size allows: open, one read and close when the
/// file is smaller than the first read (a short read is its end, so no stat
/// is needed); a file stat and a second read for a larger one. On network
/// storage every call is a round trip, so the count matters more than bytes.
class TFileBytes {
public:
    /// The first read; most files of a tagged archive's tree fit in it.
    static constexpr std::size_t kFirstRead = 64 * 1024;

    enum class TResult {
        Read,     ///< Bytes() holds the whole file
        TooLarge, ///< the file is larger than the limit; nothing is kept
        Failed,   ///< Reason() says why
    };

    TFileBytes();
    ~TFileBytes();
    TFileBytes(TFileBytes&&) noexcept;
    TFileBytes& operator=(TFileBytes&&) noexcept;

    /// Reads the file at path when it holds at most limit bytes. The path
    /// should name a regular file (a walk learnt so from its folder): it is
    /// opened without blocking, so a FIFO in its place fails with "Not a
    /// regular file" rather than hanging. Throws only std::bad_alloc.
    TResult Read(const std::string& path, std::uint64_t limit);

    /// The bytes of the last file read; valid until the next Read.
    std::span<const std::uint8_t> Bytes() const { return {m_buffer.get(), m_size}; }
    /// The system's reason for the last failure ("No such file or directory").
    const std::string& Reason() const { return m_reason; }

private:
    TResult fail(int fd, int error);
    void reserve(std::size_t bytes);

    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_capacity = 0;
    std::size_t m_size = 0;
    std::string m_reason;
};

/// The system's text for an error number; safe on any thread.
std::string SystemErrorText(int error);
