#pragma once

#include "tiff/tiff.h"
#include "tiff/values.h"

#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TValueSource;

// Every value of every entry, for the writers that print them all (JSON,
// `velquin --dump --values`). Values are read from the file a page of bytes
// at a time and handed on decoded, so that a value of a million numbers never
// lies in memory whole. Only what lies in the file is read, and all entries
// together read at most about twice the file's size: entries that share
// their bytes could otherwise make a small file print without end.

/// Why an entry's values stop short of its count.
enum class TValueEnd {
    Whole,     ///< every value was given
    EndOfFile, ///< the value runs past the end of the file: the values inside it were given
    Budget,    ///< the values read so far, by this and earlier entries, took the file's budget
    Unknown,   ///< the type has no size, or the entry ends before its value position
};

/// Where the values of an entry begin, when the entry says so: the entry must
/// hold its count and, for a value that does not fit in it, its offset.
std::optional<std::uint64_t> valuePosition(const TEntry& entry, bool bigTiff);

/// Reads the values of the entries of one file.
class TValueReader {
public:
    /// file was read from source (checked by the caller against the stamp).
    TValueReader(const TTiffFile& file, TValueSource& source);

    /// Calls page(decoder, first, bytes) for each page of the entry's values,
    /// in order: first is the index of the page's first item, bytes are the
    /// page's bytes as stored (for Ascii, see TAsciiSplitter). Returns why
    /// the values stopped.
    template <class Page> TValueEnd forEachPage(const TEntry& entry, Page&& page)
    {
        TValueEnd end = TValueEnd::Whole;
        std::uint64_t first = 0;
        while (nextPage(entry, first, end)) {
            const std::span<const std::uint8_t> bytes(m_bytes);
            page(TValueDecoder(bytes, entry.Type, m_items, m_order), first, bytes);
            first += m_items;
        }
        return end;
    }

    /// Items of the entry that lie in the file, without the budget's limit.
    std::uint64_t itemsInFile(const TEntry& entry) const;

private:
    /// Reads the page of items from first into m_bytes; false when none is
    /// left, with end saying why.
    bool nextPage(const TEntry& entry, std::uint64_t first, TValueEnd& end);

    TValueSource& m_source;
    std::endian m_order;
    bool m_bigTiff;
    std::uint64_t m_budget;
    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_items = 0;
};

/// Gathers Ascii bytes that come a page at a time into the strings of
/// splitAsciiStrings(), handing each on when its NUL is met.
class TAsciiSplitter {
public:
    /// Calls done(std::string&&) for every string the bytes end.
    template <class Done> void add(std::span<const std::uint8_t> bytes, Done&& done)
    {
        for (const std::uint8_t byte : bytes) {
            if (byte != 0) {
                m_pending.push_back(static_cast<char>(byte));
                m_open = true;
            } else {
                done(take());
            }
        }
    }
    /// The bytes after the last NUL, if any, as the final string.
    template <class Done> void finish(Done&& done)
    {
        if (m_open)
            done(take());
    }

private:
    std::string take();
    std::string m_pending; ///< Windows-1252 bytes of the string being gathered
    bool m_open = false;
};
