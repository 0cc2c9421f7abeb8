#include "batch/filebytes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Reads up to n bytes at offset; stops early only at the end of the file.
/// Returns the count, or -1 with errno set.
ssize_t readAt(int fd, std::uint8_t* into, std::size_t n, off_t offset)
{
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, into + got, n - got, offset + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
        // A regular file reads short only at its end: asking again would
        // cost a call that returns nothing.
        if (got < n)
            break;
    }
    return static_cast<ssize_t>(got);
}

} // namespace

std::string SystemErrorText(int error)
{
    char buffer[128];
    // The GNU strerror_r returns its text, which may or may not be buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

TFileBytes::TFileBytes() = default;
TFileBytes::~TFileBytes() = default;
TFileBytes::TFileBytes(TFileBytes&&) noexcept = default;
TFileBytes& TFileBytes::operator=(TFileBytes&&) noexcept = default;

void TFileBytes::reserve(std::size_t bytes)
{
    if (bytes <= m_capacity)
        return;
    m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
    m_capacity = bytes;
}

TFileBytes::TResult TFileBytes::fail(int fd, int error)
{
    // Why a read failed is asked only now, so that a file read without
    // trouble costs no stat.
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode))
        m_reason = "Not a regular file";
    else
        m_reason = SystemErrorText(error);
    if (fd >= 0)
        ::close(fd);
    m_size = 0;
    return TResult::Failed;
}

TFileBytes::TResult TFileBytes::Read(const std::string& path, std::uint64_t limit)
{
    m_size = 0;
    m_reason.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return fail(-1, errno);
    reserve(kFirstRead);
    const ssize_t first = readAt(fd, m_buffer.get(), kFirstRead, 0);
    if (first < 0)
        return fail(fd, errno);
    std::size_t size = static_cast<std::size_t>(first);
    if (size == kFirstRead) {
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return fail(fd, errno);
        if (!S_ISREG(st.st_mode))
            return fail(fd, EINVAL);
        if (static_cast<std::uint64_t>(st.st_size) > limit) {
            ::close(fd);
            return TResult::TooLarge;
        }
        const auto whole = static_cast<std::size_t>(st.st_size);
        if (whole > size) {
            if (whole > m_capacity) {
                // The buffer grows to the largest file read so far, bounded by the limit.
                auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(whole);
                std::memcpy(grown.get(), m_buffer.get(), size);
                m_buffer = std::move(grown);
                m_capacity = whole;
            }
            const ssize_t rest = readAt(fd, m_buffer.get() + size, whole - size, static_cast<off_t>(size));
            if (rest < 0)
                return fail(fd, errno);
            size += static_cast<std::size_t>(rest);
        }
    }
    ::close(fd);
    m_size = size;
    return TResult::Read;
}
