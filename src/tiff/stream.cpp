#include "tiff/stream.h"

#include "tiff/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large enough to hold a typical directory and its nearby values in one read,
// small enough that thousands of small files are not copied whole.
constexpr std::size_t kWindowSize = 16 * 1024;

std::string openErrorText(const std::string& path, const std::string& reason)
{
    return "Cannot open file \"" + path + "\". " + reason;
}

} // namespace

TStream::TStream(const std::string& path)
{
    // O_NONBLOCK: opening a FIFO must never hang; it is refused below.
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0)
        throw EFOpenError(openErrorText(path, std::strerror(errno)));
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(m_fd);
        m_fd = -1;
        throw EFOpenError(openErrorText(path, std::strerror(err)));
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_stamp = StampOf(st);
}

TStream::TStream(std::span<const std::uint8_t> buffer) : m_memory(buffer.data()), m_size(buffer.size()) {}

TStream::~TStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

const std::uint8_t* TStream::Slice(std::uint64_t pos, std::size_t n)
{
    if (pos > m_size || n > m_size - pos)
        return nullptr;
    if (m_memory)
        return m_memory + pos;
    const Window& last = m_windows[m_last];
    if (pos >= last.start && pos + n <= last.start + last.bytes.size())
        return last.bytes.data() + (pos - last.start);
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
        Window& w = m_windows[i];
        if (pos >= w.start && pos + n <= w.start + w.bytes.size()) {
            m_last = i;
            w.lastUse = ++m_clock;
            return w.bytes.data() + (pos - w.start);
        }
    }
    return fill(pos, n);
}

const std::uint8_t* TStream::fill(std::uint64_t pos, std::size_t n)
{
    std::size_t victim = 0;
    for (std::size_t i = 1; i < m_windows.size(); ++i)
        if (m_windows[i].lastUse < m_windows[victim].lastUse)
            victim = i;
    Window& w = m_windows[victim];
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(n, kWindowSize), m_size - pos));
    // A window that grew for one large request is not kept at that size.
    if (w.bytes.capacity() > 4 * kWindowSize && want <= kWindowSize)
        std::vector<std::uint8_t>().swap(w.bytes);
    w.bytes.resize(want);
    std::size_t got = 0;
    while (got < want) {
        ++m_readCalls;
        const ssize_t r = ::pread(m_fd, w.bytes.data() + got, want - got, static_cast<off_t>(pos + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    w.bytes.resize(got);
    w.start = pos;
    w.lastUse = ++m_clock;
    m_last = victim;
    if (got < n) // the file shrank under us
        return nullptr;
    return w.bytes.data();
}

std::size_t TStream::Read(void* dst, std::size_t n)
{
    if (m_pos >= m_size)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_size - m_pos));
    const std::uint8_t* p = Slice(m_pos, n);
    if (!p)
        return 0;
    std::memcpy(dst, p, n);
    m_pos += n;
    return n;
}

void TStream::ReadBuffer(void* dst, std::size_t n)
{
    const std::uint8_t* p = Slice(m_pos, n);
    if (!p)
        throw EReadError();
    std::memcpy(dst, p, n);
    m_pos += n;
}
