#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

/// Memory for what a file keeps in great numbers (the entries of its pages,
/// their value texts), handed out side by side from blocks that go with the
/// file: one allocation for thousands of small pieces instead of one each,
/// and nothing to free piece by piece, so it suits only objects that need no
/// destructor. A piece is written into room that Room hands out and kept with
/// Keep; it stays valid, and in place, until Clear or the arena's end.
class TArena {
public:
    /// Blocks grow from firstBlock to largestBlock bytes; a piece larger than
    /// an eighth of that gets a block of its own.
    TArena(std::size_t firstBlock, std::size_t largestBlock) : m_firstBlock(firstBlock), m_largestBlock(largestBlock) {}
    ~TArena();
    TArena(const TArena&) = delete;
    TArena& operator=(const TArena&) = delete;

    /// Room for n bytes at a multiple of align (at most that of std::max_align_t),
    /// valid until the next Room or Keep. Throws std::bad_alloc.
    char* Room(std::size_t n, std::size_t align = 1)
    {
        const std::size_t skip = (align - reinterpret_cast<std::uintptr_t>(m_free) % align) % align;
        if (skip + n > static_cast<std::size_t>(m_end - m_free))
            return roomElsewhere(n);
        m_room = m_free + skip;
        m_roomAlone = false;
        return m_room;
    }
    /// Keeps the first used bytes (at most the n asked for) of the last room.
    std::string_view Keep(std::size_t used)
    {
        if (!m_roomAlone)
            m_free = m_room + used;
        return {m_room, used};
    }
    /// Memory taken so far: the blocks, less what the current one has left.
    std::uint64_t Held() const { return m_held - static_cast<std::uint64_t>(m_end - m_free); }
    /// Frees every block.
    void Clear();

private:
    struct TBlock {
        char* bytes;
        std::size_t size;
    };
    /// Room in a new block.
    char* roomElsewhere(std::size_t n);
    char* allocate(std::size_t size);

    std::size_t m_firstBlock;
    std::size_t m_largestBlock;
    std::vector<TBlock> m_blocks;
    char* m_free = nullptr; ///< the current block's unused part
    char* m_end = nullptr;
    char* m_room = nullptr;   ///< the last room handed out
    bool m_roomAlone = false; ///< that room is a block of its own
    std::size_t m_nextBlock = 0;
    std::uint64_t m_held = 0; ///< bytes of all blocks
};
