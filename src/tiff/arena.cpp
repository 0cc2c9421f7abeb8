#include "tiff/arena.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace {

// Blocks of this size and more start at a multiple of it and are offered
// huge pages: a file of a million entries fills them with a few page faults
// instead of thousands.
constexpr std::size_t kHugePage = 2 << 20;

} // namespace

TArena::~TArena()
{
    Clear();
}

char* TArena::allocate(std::size_t size)
{
    if (m_blocks.size() == m_blocks.capacity()) // before the block, so that it is never lost
        m_blocks.reserve(2 * m_blocks.size() + 8);
    void* bytes = nullptr;
    if (size < kHugePage) {
        bytes = std::malloc(size);
    } else {
        size = (size + kHugePage - 1) / kHugePage * kHugePage;
        bytes = std::aligned_alloc(kHugePage, size);
        if (bytes)
            ::madvise(bytes, size, MADV_HUGEPAGE);
    }
    if (!bytes)
        throw std::bad_alloc();
    m_blocks.push_back({static_cast<char*>(bytes), size});
    m_held += size;
    return m_blocks.back().bytes;
}

char* TArena::roomElsewhere(std::size_t n)
{
    // A large piece gets a block of its own, so that the current block's
    // room is not given up for it; what the current block leaves when a new
    // one starts is thus under an eighth of a block.
    if (n > m_largestBlock / 8) {
        m_room = allocate(n);
        m_roomAlone = true;
        return m_room;
    }
    m_nextBlock = m_nextBlock == 0 ? m_firstBlock : std::min(2 * m_nextBlock, m_largestBlock);
    const std::size_t size = std::max(m_nextBlock, n);
    m_free = allocate(size);
    m_end = m_free + m_blocks.back().size;
    m_room = m_free;
    m_roomAlone = false;
    return m_room;
}

void TArena::Clear()
{
    for (const TBlock& block : m_blocks)
        std::free(block.bytes);
    m_blocks.clear();
    m_free = m_end = m_room = nullptr;
    m_roomAlone = false;
    m_nextBlock = 0;
    m_held = 0;
}
