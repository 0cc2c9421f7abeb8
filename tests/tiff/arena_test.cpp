// The arena that holds a file's entries and value texts.
#include "tiff/arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string_view keep(TArena& arena, const std::string& text, std::size_t extraRoom = 0)
{
    char* room = arena.Room(text.size() + extraRoom);
    std::memcpy(room, text.data(), text.size());
    return arena.Keep(text.size());
}

} // namespace

TEST(Arena, PiecesStayWhereTheyWerePutWhileItGrows)
{
    // Blocks of 64 bytes up to 4 KiB: pieces above 512 bytes get one each.
    TArena arena(64, 4096);
    std::vector<std::string> texts;
    std::vector<std::string_view> kept;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < 5000; ++i) {
        const std::size_t n = i % 500 == 0 ? 400 + i / 4 : i % 17;
        texts.emplace_back(n, static_cast<char>('a' + i % 26));
        kept.push_back(keep(arena, texts.back(), i % 3)); // room asked beyond what is kept
        total += n;
    }
    for (std::size_t i = 0; i < texts.size(); ++i)
        ASSERT_EQ(kept[i], texts[i]) << i;
    // What is held: every byte kept, and unused ends of blocks each under an
    // eighth of the largest block, or the room a piece of its own asked for.
    EXPECT_GE(arena.Held(), total);
    EXPECT_LE(arena.Held(), total + total / 2 + 4096);
    arena.Clear();
    EXPECT_EQ(arena.Held(), 0u);
    EXPECT_EQ(keep(arena, "after"), "after");
}

TEST(Arena, RoomIsAlignedAsAsked)
{
    TArena arena(256, 4096);
    for (std::size_t odd = 1; odd < 40; odd += 3) {
        keep(arena, std::string(odd, 'x'));
        for (const std::size_t align : {std::size_t{2}, std::size_t{8}, alignof(std::max_align_t)}) {
            char* room = arena.Room(24, align);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(room) % align, 0u) << odd << " " << align;
            arena.Keep(24);
        }
    }
}
