#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// What TIFF 6.0 fixes for the well-known tags of a page (and of a SubIFD,
// which holds an image too): the field types it allows and how many values.

/// How many values a tag takes.
enum class TCountRule {
    Any,
    Fixed,     ///< exactly TTagRule::N
    PerSample, ///< one per sample: SamplesPerPixel
    Strips,    ///< one per strip, from ImageLength and RowsPerStrip
    Tiles,     ///< one per tile, from the image's and the tile's size
    ColorMap,  ///< 3 * 2 ** BitsPerSample
};

/// A set of field type codes, bit 1 << code each.
using TTypeSet = std::uint32_t;
constexpr TTypeSet typeBit(std::uint16_t code)
{
    return code < 32 ? TTypeSet{1} << code : 0;
}

struct TTagRule {
    std::uint16_t Tag;
    std::string_view Name;
    TTypeSet Types;
    TCountRule Count;
    std::uint32_t N = 0;
};

/// The rule of a page's tag, or nullptr for a tag without one.
const TTagRule* findTagRule(std::uint16_t tag);
/// Every rule, sorted by tag.
std::span<const TTagRule> tagRuleTable();

/// The types a BigTIFF file may use as well: Long8 where Long is allowed,
/// IFD8 where IFD is.
TTypeSet allowedTypes(const TTagRule& rule, bool bigTiff);

/// Types with a known size in this kind of file: 1 to 13, and 16 to 18 in BigTIFF.
bool isKnownType(std::uint16_t code, bool bigTiff);
/// Whole numbers, fractions and floating point: what readers convert into each other.
bool isNumericType(std::uint16_t code);
/// Types of 8-bit items that readers take as text as readily as Ascii.
bool isByteType(std::uint16_t code);

/// "Short or Long", "Ascii": the names of a set, in code order.
std::string typeSetText(TTypeSet types);
