#include "check/tagrules.h"

#include "tiff/values.h"

#include <algorithm>
#include <array>
#include <bit>

namespace {

constexpr TTypeSet kByte = typeBit(1);
constexpr TTypeSet kAscii = typeBit(2);
constexpr TTypeSet kShort = typeBit(3);
constexpr TTypeSet kLong = typeBit(4);
constexpr TTypeSet kRational = typeBit(5);
constexpr TTypeSet kIfd = typeBit(13);
constexpr TTypeSet kLong8 = typeBit(16);
constexpr TTypeSet kIfd8 = typeBit(18);
constexpr TTypeSet kNumeric = typeBit(1) | typeBit(3) | typeBit(4) | typeBit(5) | typeBit(6) | typeBit(8) | typeBit(9) |
                              typeBit(10) | typeBit(11) | typeBit(12) | typeBit(13) | typeBit(16) | typeBit(17) |
                              typeBit(18);

using enum TCountRule;

// TIFF 6.0's tags with the types and counts it gives them, and the pointers
// to the Exif and GPS directories. Texts take any count.
constexpr std::array<TTagRule, 68> kRules{{
    {254, "NewSubfileType", kLong, Fixed, 1},
    {255, "SubfileType", kShort, Fixed, 1},
    {256, "ImageWidth", kShort | kLong, Fixed, 1},
    {257, "ImageLength", kShort | kLong, Fixed, 1},
    {258, "BitsPerSample", kShort, PerSample},
    {259, "Compression", kShort, Fixed, 1},
    {262, "PhotometricInterpretation", kShort, Fixed, 1},
    {263, "Threshholding", kShort, Fixed, 1},
    {264, "CellWidth", kShort, Fixed, 1},
    {265, "CellLength", kShort, Fixed, 1},
    {266, "FillOrder", kShort, Fixed, 1},
    {269, "DocumentName", kAscii, Any},
    {270, "ImageDescription", kAscii, Any},
    {271, "Make", kAscii, Any},
    {272, "Model", kAscii, Any},
    {273, "StripOffsets", kShort | kLong, Strips},
    {274, "Orientation", kShort, Fixed, 1},
    {277, "SamplesPerPixel", kShort, Fixed, 1},
    {278, "RowsPerStrip", kShort | kLong, Fixed, 1},
    {279, "StripByteCounts", kShort | kLong, Strips},
    {280, "MinSampleValue", kShort, PerSample},
    {281, "MaxSampleValue", kShort, PerSample},
    {282, "XResolution", kRational, Fixed, 1},
    {283, "YResolution", kRational, Fixed, 1},
    {284, "PlanarConfiguration", kShort, Fixed, 1},
    {285, "PageName", kAscii, Any},
    {286, "XPosition", kRational, Fixed, 1},
    {287, "YPosition", kRational, Fixed, 1},
    {288, "FreeOffsets", kLong, Any},
    {289, "FreeByteCounts", kLong, Any},
    {290, "GrayResponseUnit", kShort, Fixed, 1},
    {291, "GrayResponseCurve", kShort, Any},
    {292, "T4Options", kLong, Fixed, 1},
    {293, "T6Options", kLong, Fixed, 1},
    {296, "ResolutionUnit", kShort, Fixed, 1},
    {297, "PageNumber", kShort, Fixed, 2},
    {301, "TransferFunction", kShort, Any},
    {305, "Software", kAscii, Any},
    {306, "DateTime", kAscii, Any},
    {315, "Artist", kAscii, Any},
    {316, "HostComputer", kAscii, Any},
    {317, "Predictor", kShort, Fixed, 1},
    {318, "WhitePoint", kRational, Fixed, 2},
    {319, "PrimaryChromaticities", kRational, Fixed, 6},
    {320, "ColorMap", kShort, ColorMap},
    {321, "HalftoneHints", kShort, Fixed, 2},
    {322, "TileWidth", kShort | kLong, Fixed, 1},
    {323, "TileLength", kShort | kLong, Fixed, 1},
    {324, "TileOffsets", kLong, Tiles},
    {325, "TileByteCounts", kShort | kLong, Tiles},
    {330, "SubIFDs", kLong | kIfd, Any},
    {332, "InkSet", kShort, Fixed, 1},
    {333, "InkNames", kAscii, Any},
    {334, "NumberOfInks", kShort, Fixed, 1},
    {336, "DotRange", kByte | kShort, Any},
    {337, "TargetPrinter", kAscii, Any},
    {338, "ExtraSamples", kShort, Any},
    {339, "SampleFormat", kShort, PerSample},
    {340, "SMinSampleValue", kNumeric, PerSample},
    {341, "SMaxSampleValue", kNumeric, PerSample},
    {342, "TransferRange", kShort, Fixed, 6},
    {529, "YCbCrCoefficients", kRational, Fixed, 3},
    {530, "YCbCrSubSampling", kShort, Fixed, 2},
    {531, "YCbCrPositioning", kShort, Fixed, 1},
    {532, "ReferenceBlackWhite", kRational, Fixed, 6},
    {33432, "Copyright", kAscii, Any},
    {34665, "ExifIFD", kLong | kIfd, Fixed, 1},
    {34853, "GPSInfo", kLong | kIfd, Fixed, 1},
}};

} // namespace

std::span<const TTagRule> tagRuleTable()
{
    return kRules;
}

const TTagRule* findTagRule(std::uint16_t tag)
{
    // Every entry of an image asks: the rules of the low tags by index.
    static_assert(kRules.size() < 128, "indexes fit a signed byte");
    static constexpr auto kLow = [] {
        std::array<std::int8_t, 1024> index{};
        index.fill(-1);
        for (std::size_t i = 0; i < kRules.size(); ++i)
            if (kRules[i].Tag < index.size())
                index[kRules[i].Tag] = static_cast<std::int8_t>(i);
        return index;
    }();
    if (tag < kLow.size())
        return kLow[tag] < 0 ? nullptr : &kRules[static_cast<std::size_t>(kLow[tag])];
    const auto it = std::lower_bound(kRules.begin(), kRules.end(), tag,
                                     [](const TTagRule& r, std::uint16_t t) { return r.Tag < t; });
    return it != kRules.end() && it->Tag == tag ? &*it : nullptr;
}

TTypeSet allowedTypes(const TTagRule& rule, bool bigTiff)
{
    TTypeSet types = rule.Types;
    if (bigTiff && (types & kLong))
        types |= kLong8;
    if (bigTiff && (types & kIfd))
        types |= kIfd8;
    return types;
}

bool isKnownType(std::uint16_t code, bool bigTiff)
{
    return (code >= 1 && code <= 13) || (bigTiff && code >= 16 && code <= 18);
}

bool isNumericType(std::uint16_t code)
{
    return (kNumeric & typeBit(code)) != 0;
}

bool isByteType(std::uint16_t code)
{
    return code == 1 || code == 6 || code == 7;
}

std::string typeSetText(TTypeSet types)
{
    std::string text;
    int left = std::popcount(types);
    for (std::uint16_t code = 0; code < 32; ++code) {
        if (!(types & typeBit(code)))
            continue;
        if (!text.empty())
            text += left == 1 ? " or " : ", ";
        text += fieldTypeName(code);
        --left;
    }
    return text;
}
