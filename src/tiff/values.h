#pragma once

// Every value of an entry, decoded from bytes the caller has already read.
// Nothing here is sized by a count from the file: a value of a million items
// is shown a page at a time, valuePage() saying which bytes that page needs.

#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

/// Bytes of one item of the field type code as stored; 0 for codes without a
/// known size (0, 14, 15, 19 and above).
std::size_t fieldTypeSize(std::uint16_t code);
/// "Byte" ... "Double" for codes 1 to 12, "IFD" (13), "Long8" (16), "sLong8"
/// (17), "IFD8" (18), "Unknown" for every other code.
std::string_view fieldTypeName(std::uint16_t code);

/// Bytes that count items of the type take; saturates rather than wraps, 0
/// for a type without a size.
std::uint64_t valueByteCount(std::uint16_t type, std::uint64_t count);

/// Items [First, First + Count) of a value, and where their bytes lie counted
/// from the value's position. Positions that do not fit 64 bits saturate, so
/// a read bounded by the file's size finds nothing there.
struct TValuePage {
    std::uint64_t First = 0;
    std::uint64_t Count = 0;
    std::uint64_t ByteOffset = 0;
    std::uint64_t ByteCount = 0;
};

/// The page of n items from first, cut to the value's count; empty when first
/// is not below count or the type has no size.
TValuePage valuePage(std::uint16_t type, std::uint64_t count, std::uint64_t first, std::uint64_t n);

template <typename T> struct TRatio {
    T Numerator = 0;
    T Denominator = 0;
    friend bool operator==(const TRatio&, const TRatio&) = default;
};
using TRational = TRatio<std::uint32_t>;
using TSRational = TRatio<std::int32_t>;

/// One item, by type: std::uint8_t for Byte, Ascii and Undefined;
/// std::uint64_t for Short, Long, IFD, Long8 and IFD8; std::int64_t for
/// sByte, sShort, sLong and sLong8; TRational, TSRational, float, double.
using TValueItem = std::variant<std::uint8_t, std::uint64_t, std::int64_t, TRational, TSRational, float, double>;

/// The item as a whole number, for enumeration look-ups; nothing for rationals
/// and floating-point items.
std::optional<std::int64_t> integerValue(const TValueItem& item);

/// How an item is shown: decimal integers; rationals "n/d (decimal)", or
/// "n/0 (division by zero)"; floats as the shortest text that reads back the
/// same, "NaN", "Infinity", "-Infinity", "-0".
std::string itemText(const TValueItem& item);

/// Splits text bytes at their NULs into UTF-8 strings (the bytes are
/// Windows-1252). Each NUL ends a string, so "a\0\0b" holds "a", "" and "b";
/// bytes after the last NUL make a final string, a final NUL makes none.
std::vector<std::string> splitAsciiStrings(std::span<const std::uint8_t> bytes);

/// The items of one field type in bytes the caller holds: a whole value, or a
/// page of it read at valuePage()'s offset. Holds the span, not a copy.
class TValueDecoder {
public:
    /// count is the number of items the bytes stand for (the entry's count,
    /// or the page's); bytes beyond them are ignored, and missing ones make
    /// fewer items.
    TValueDecoder(std::span<const std::uint8_t> bytes, std::uint16_t type, std::uint64_t count, std::endian order);

    /// Whole items the bytes hold, at most count; 0 for a type without a size.
    std::size_t size() const { return m_size; }
    /// Item i; throws std::out_of_range when i is not below size().
    TValueItem item(std::size_t i) const;
    /// itemText() of item i; throws std::out_of_range like item().
    std::string text(std::size_t i) const { return itemText(item(i)); }
    /// The items' bytes split as text (splitAsciiStrings); meant for Ascii.
    std::vector<std::string> asciiStrings() const;

private:
    std::span<const std::uint8_t> m_bytes;
    std::uint16_t m_type;
    std::size_t m_itemSize;
    std::size_t m_size;
    std::endian m_order;
};

/// Digits the offsets of a hex dump take so that every line lines up: 8, or
/// more when lastOffset needs them.
int hexOffsetDigits(std::uint64_t lastOffset);

/// One hex dump line of up to 16 bytes: the file offset in upper-case hex,
/// the bytes in hex (a gap after the eighth), then the bytes as ASCII with a
/// dot for anything not printable; a short line keeps the ASCII column where
/// a full line has it.
std::string hexDumpLine(std::span<const std::uint8_t> bytes, std::uint64_t offset, int offsetDigits);

/// Lines of 16 bytes; offset is the file position of bytes[0].
std::vector<std::string> hexDump(std::span<const std::uint8_t> bytes, std::uint64_t offset);
