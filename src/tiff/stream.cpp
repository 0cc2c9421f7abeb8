#include "tiff/stream.h"

#include "tiff/errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A directory and the values near it usually share a block.
constexpr unsigned kBlockShift = 16; // 64 KiB
// Files up to this size are read whole in one call: most TIFF files of an
// archive are small, and one read is the cheapest way through them.
constexpr std::uint64_t kWholeFile = 256 * 1024;
constexpr std::uint32_t kUnread = ~std::uint32_t{0};

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
    if (m_size > kWholeFile)
        m_blockShift = kBlockShift;
}

TStream::TStream(std::span<const std::uint8_t> buffer) : m_memory(buffer.data()), m_size(buffer.size()) {}

TStream::~TStream()
{
    if (m_spread)
        ::munmap(m_spread, static_cast<std::size_t>(m_size));
    if (m_fd >= 0)
        ::close(m_fd);
}

std::size_t TStream::readBlock(std::uint64_t index, std::uint8_t* dst)
{
    const std::uint64_t start = index << m_blockShift;
    const auto want = static_cast<std::size_t>(std::min(blockSize(), m_size - start));
    std::size_t got = 0;
    while (got < want) {
        ++m_readCalls;
        const ssize_t r = ::pread(m_fd, dst + got, want - got, static_cast<off_t>(start + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) // the file shrank since it was opened: it ends here now
            break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

std::size_t TStream::blockCount() const
{
    return static_cast<std::size_t>(m_blockShift >= 63 ? 1 : ((m_size - 1) >> m_blockShift) + 1);
}

const TStream::Window* TStream::window(std::uint64_t pos)
{
    const std::uint64_t index = pos >> m_blockShift;
    const std::uint64_t start = index << m_blockShift;
    std::size_t victim = 0;
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
        const Window& w = m_windows[i];
        if (w.start == start && w.length) {
            m_previous = m_last;
            m_last = i;
            m_windows[i].lastUse = ++m_clock;
            return &w;
        }
        if (w.lastUse < m_windows[victim].lastUse)
            victim = i;
    }
    if (m_wasRead.empty())
        m_wasRead.assign(blockCount(), false);
    // A block read before and gone again: a few happen where one region of a
    // file ends and the next begins in the same block; more, and the reads
    // jump about.
    if (m_wasRead[index] && ++m_rereads > std::max<std::size_t>(16, blockCount() / 16)) {
        spread();
        return nullptr;
    }
    Window& w = m_windows[victim];
    if (!w.bytes)
        w.bytes =
            std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(std::min(blockSize(), m_size)));
    w.start = start;
    w.length = readBlock(index, w.bytes.get());
    w.lastUse = ++m_clock;
    m_previous = m_last;
    m_last = victim;
    m_wasRead[index] = true;
    return &w;
}

void TStream::spread()
{
    // Address space for the whole file; only the blocks read take memory.
    // Large pages spare the processor a page walk for each value when the
    // values lie all over a large file.
    void* p = ::mmap(nullptr, static_cast<std::size_t>(m_size), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    ::madvise(p, static_cast<std::size_t>(m_size), MADV_HUGEPAGE);
    try {
        m_length.assign(blockCount(), kUnread);
    } catch (...) {
        ::munmap(p, static_cast<std::size_t>(m_size));
        throw;
    }
    m_spread = static_cast<std::uint8_t*>(p);
    std::vector<std::uint8_t>().swap(m_joined);
    for (Window& w : m_windows) {
        if (w.length) {
            std::memcpy(m_spread + w.start, w.bytes.get(), w.length);
            m_length[static_cast<std::size_t>(w.start >> m_blockShift)] = static_cast<std::uint32_t>(w.length);
        }
        w = Window();
    }
    std::vector<bool>().swap(m_wasRead);
}

const std::uint8_t* TStream::at(std::uint64_t pos, std::size_t& avail)
{
    if (m_memory) {
        avail = static_cast<std::size_t>(m_size - pos);
        return pos < m_size ? m_memory + pos : nullptr;
    }
    if (!m_spread) {
        // A directory and its values often take turns between two windows.
        const Window* w = &m_windows[m_last];
        if (!w->length || pos < w->start || pos - w->start >= blockSize()) {
            w = &m_windows[m_previous];
            if (w->length && pos >= w->start && pos - w->start < blockSize())
                std::swap(m_last, m_previous);
            else
                w = window(pos);
        }
        if (w) {
            const std::uint64_t offset = pos - w->start;
            if (offset >= w->length)
                return nullptr;
            avail = static_cast<std::size_t>(w->length - offset);
            return w->bytes.get() + offset;
        }
    }
    const auto index = static_cast<std::size_t>(pos >> m_blockShift);
    if (m_length[index] == kUnread)
        m_length[index] = static_cast<std::uint32_t>(readBlock(index, m_spread + (index << m_blockShift)));
    const std::uint64_t offset = pos - (static_cast<std::uint64_t>(index) << m_blockShift);
    if (offset >= m_length[index])
        return nullptr;
    avail = static_cast<std::size_t>(m_length[index] - offset);
    return m_spread + pos;
}

const std::uint8_t* TStream::sliceElsewhere(std::uint64_t pos, std::size_t n)
{
    if (n == 0)
        return reinterpret_cast<const std::uint8_t*>("");
    std::size_t avail = 0;
    const std::uint8_t* p = at(pos, avail);
    if (!p)
        return nullptr;
    if (avail >= n)
        return p;
    // Across blocks: in spread memory the bytes already lie in order; from
    // windows they are copied together.
    m_joined.resize(n);
    std::size_t done = 0;
    const bool whole = ForEachPiece(pos, n, [&](const std::uint8_t* piece, std::size_t length) {
        if (!m_spread)
            std::memcpy(m_joined.data() + done, piece, length);
        done += length;
    });
    if (!whole)
        return nullptr;
    return m_spread ? m_spread + pos : m_joined.data();
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
