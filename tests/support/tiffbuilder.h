#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writes small TIFF files for tests: a header, data blobs in the order they
// are added, then one directory per page, chained in order.

enum TiffType : std::uint16_t {
    tByte = 1, tAscii = 2, tShort = 3, tLong = 4, tRational = 5, tSByte = 6, tUndefined = 7,
    tSShort = 8, tSLong = 9, tSRational = 10, tFloat = 11, tDouble = 12
};

struct TestEntry {
    std::uint16_t Tag = 0;
    std::uint16_t Type = 0;
    std::uint32_t Count = 0;
    enum class Field { Word, Long, Raw } Kind = Field::Long;
    std::uint32_t Value = 0;              ///< for Word and Long, in the file's byte order
    std::array<std::uint8_t, 4> Raw{};    ///< for Raw, as stored

    static TestEntry Short(std::uint16_t tag, std::uint16_t v, std::uint32_t count = 1, std::uint16_t type = tShort);
    static TestEntry Long(std::uint16_t tag, std::uint32_t v, std::uint32_t count = 1, std::uint16_t type = tLong);
    /// The value field holds an offset (or any 32-bit number).
    static TestEntry At(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t offset);
    static TestEntry Inline(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::string_view bytes);
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false) : m_big(bigEndian) {}

    /// Appends a blob and returns its offset.
    std::uint32_t Data(std::string_view bytes);
    /// Appends numerator and denominator as a rational (or two 32-bit numbers).
    std::uint32_t Rational(std::int32_t numerator, std::int32_t denominator);
    /// Adds a page; directories come after all data.
    void Page(std::vector<TestEntry> entries) { m_pages.push_back(std::move(entries)); }

    std::vector<std::uint8_t> Build();
    /// After Build: offset of page i's directory and of its entry j.
    std::uint32_t DirOffset(std::size_t page) const { return m_dirOffsets.at(page); }
    std::uint32_t EntryOffset(std::size_t page, std::size_t entry) const
    {
        return DirOffset(page) + 2 + 12 * static_cast<std::uint32_t>(entry);
    }
    /// After Build: where page i's next-directory field lies.
    std::uint32_t NextFieldOffset(std::size_t page) const
    {
        return DirOffset(page) + 2 + 12 * static_cast<std::uint32_t>(m_pages.at(page).size());
    }

    bool BigEndian() const { return m_big; }

private:
    bool m_big;
    std::string m_data;
    std::vector<std::vector<TestEntry>> m_pages;
    std::vector<std::uint32_t> m_dirOffsets;
};

/// Writes v at pos in the given byte order.
void Put16(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint16_t v, bool big);
void Put32(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint32_t v, bool big);

std::vector<std::uint8_t> Bytes(std::string_view s);
