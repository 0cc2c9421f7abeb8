#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writes small TIFF files for tests: a header, data blobs in the order they
// are added, then one directory per page, chained in order. Classic TIFF, or
// BigTIFF (16-byte header, 8-byte counts and offsets, 20-byte entries).

enum TiffType : std::uint16_t {
    tByte = 1,
    tAscii = 2,
    tShort = 3,
    tLong = 4,
    tRational = 5,
    tSByte = 6,
    tUndefined = 7,
    tSShort = 8,
    tSLong = 9,
    tSRational = 10,
    tFloat = 11,
    tDouble = 12,
    tIfd = 13,
    tLong8 = 16,
    tSLong8 = 17,
    tIfd8 = 18
};

struct TestEntry {
    std::uint16_t Tag = 0;
    std::uint16_t Type = 0;
    std::uint64_t Count = 0; ///< 32 bits of it in a classic file
    /// Word and Long: a 16- or 32-bit value at the start of the value field;
    /// Offset: a number as wide as the field (4 or 8 bytes); Raw: bytes as stored.
    enum class Field { Word, Long, Raw, Offset } Kind = Field::Long;
    std::uint64_t Value = 0;           ///< for Word, Long and Offset, in the file's byte order
    std::array<std::uint8_t, 8> Raw{}; ///< for Raw, as stored (4 bytes of it in a classic file)

    static TestEntry Short(std::uint16_t tag, std::uint16_t v, std::uint32_t count = 1, std::uint16_t type = tShort);
    static TestEntry Long(std::uint16_t tag, std::uint32_t v, std::uint32_t count = 1, std::uint16_t type = tLong);
    /// The value field holds an offset (or any number as wide as the field).
    static TestEntry At(std::uint16_t tag, std::uint16_t type, std::uint64_t count, std::uint64_t offset);
    static TestEntry Inline(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::string_view bytes);
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false, bool bigTiff = false) : m_big(bigEndian), m_bigTiff(bigTiff) {}

    /// Appends a blob and returns its offset.
    std::uint32_t Data(std::string_view bytes);
    /// Appends numerator and denominator as a rational (or two 32-bit numbers).
    std::uint32_t Rational(std::int32_t numerator, std::int32_t denominator);
    /// Appends numbers as wide as an offset (a SubIFDs array) and returns their offset.
    std::uint32_t Offsets(const std::vector<std::uint64_t>& values);
    /// Appends a directory that an entry points to (next offset 0) and returns its offset.
    std::uint32_t Directory(const std::vector<TestEntry>& entries);
    /// Adds a page; directories come after all data.
    void Page(std::vector<TestEntry> entries) { m_pages.push_back(std::move(entries)); }

    std::vector<std::uint8_t> Build();
    /// After Build: offset of page i's directory and of its entry j.
    std::uint32_t DirOffset(std::size_t page) const { return m_dirOffsets.at(page); }
    std::uint32_t EntryOffset(std::size_t page, std::size_t entry) const
    {
        return DirOffset(page) + CountBytes() + EntryBytes() * static_cast<std::uint32_t>(entry);
    }
    /// After Build: where page i's next-directory field lies.
    std::uint32_t NextFieldOffset(std::size_t page) const { return EntryOffset(page, m_pages.at(page).size()); }

    bool BigEndian() const { return m_big; }
    bool BigTiff() const { return m_bigTiff; }
    std::uint32_t CountBytes() const { return m_bigTiff ? 8 : 2; }
    std::uint32_t EntryBytes() const { return m_bigTiff ? 20 : 12; }
    /// Bytes of a value field, an offset and a next-directory field.
    std::uint32_t FieldBytes() const { return m_bigTiff ? 8 : 4; }

private:
    /// Writes count, entries and a next field of 0 at pos.
    void writeDirectory(std::vector<std::uint8_t>& out, std::size_t pos, const std::vector<TestEntry>& entries) const;
    void putNumber(std::vector<std::uint8_t>& out, std::size_t pos, std::uint64_t v) const;

    bool m_big;
    bool m_bigTiff;
    std::string m_data;
    std::vector<std::vector<TestEntry>> m_pages;
    std::vector<std::uint32_t> m_dirOffsets;
};

/// Writes v at pos in the given byte order.
void Put16(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint16_t v, bool big);
void Put32(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint32_t v, bool big);
void Put64(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint64_t v, bool big);

std::vector<std::uint8_t> Bytes(std::string_view s);
