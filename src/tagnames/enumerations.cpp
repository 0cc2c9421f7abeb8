#include "tagnames/enumerations.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <span>
#include <utility>

namespace {

// Pages, SubIFDs and Exif directories share TIFF's tag numbers (TIFF/EP puts
// Exif tags such as Flash in pages); GPS and Interoperability number afresh.
enum class TTagSpace : std::uint8_t { Tiff, Gps, Interop };

TTagSpace spaceOf(TDirectoryKind kind)
{
    switch (kind) {
    case TDirectoryKind::Gps:
        return TTagSpace::Gps;
    case TDirectoryKind::Interop:
        return TTagSpace::Interop;
    default:
        return TTagSpace::Tiff;
    }
}

struct TValueName {
    std::int64_t Value;
    std::string_view Name;
};

struct TEnumeration {
    TTagSpace Space;
    std::uint16_t Tag;
    std::span<const TValueName> Values;
};

// ---- TIFF ----

constexpr TValueName kSubfileType[] = {
    {1, "Full-resolution image"}, {2, "Reduced-resolution image"}, {3, "Single page of a multi-page image"}};

constexpr TValueName kCompression[] = {
    {1, "Uncompressed"},
    {2, "CCITT modified Huffman RLE"},
    {3, "CCITT Group 3 fax (T.4)"},
    {4, "CCITT Group 4 fax (T.6)"},
    {5, "LZW"},
    {6, "Old-style JPEG"},
    {7, "JPEG"},
    {8, "Deflate (Adobe)"},
    {9, "JBIG black and white"},
    {10, "JBIG color"},
    {32766, "NeXT 2-bit RLE"},
    {32771, "CCITT RLE, word-aligned"},
    {32773, "PackBits"},
    {32809, "ThunderScan RLE"},
    {32895, "IT8 CT padding"},
    {32896, "IT8 linework RLE"},
    {32897, "IT8 monochrome picture"},
    {32898, "IT8 binary line art"},
    {32908, "Pixar film (10-bit LZW)"},
    {32909, "Pixar log (11-bit ZIP)"},
    {32946, "Deflate (PKZIP)"},
    {32947, "Kodak DCS"},
    {34661, "ISO JBIG"},
    {34676, "SGI Log luminance RLE"},
    {34677, "SGI Log 24-bit packed"},
    {34712, "JPEG 2000"},
    {34887, "LERC"},
    {34892, "Lossy JPEG (DNG)"},
    {34925, "LZMA2"},
    {50000, "Zstandard"},
    {50001, "WebP"},
    {50002, "JPEG XL"},
    {52546, "JPEG XL (DNG)"},
};

constexpr TValueName kPhotometric[] = {
    {0, "WhiteIsZero"},
    {1, "BlackIsZero"},
    {2, "RGB"},
    {3, "Palette color"},
    {4, "Transparency mask"},
    {5, "Separated (CMYK)"},
    {6, "YCbCr"},
    {8, "CIE L*a*b*"},
    {9, "ICC L*a*b*"},
    {10, "ITU L*a*b*"},
    {32803, "Color filter array"},
    {32844, "Pixar LogL"},
    {32845, "Pixar LogLuv"},
    {34892, "Linear raw"},
};

constexpr TValueName kThresholding[] = {
    {1, "No dithering or halftoning"}, {2, "Ordered dither or halftone"}, {3, "Randomized process"}};

constexpr TValueName kFillOrder[] = {{1, "Most significant bit first"}, {2, "Least significant bit first"}};

constexpr TValueName kOrientation[] = {
    {1, "Top-left (normal)"},
    {2, "Top-right (mirror horizontally)"},
    {3, "Bottom-right (rotate 180 degrees)"},
    {4, "Bottom-left (mirror vertically)"},
    {5, "Left-top (mirror and rotate 270 degrees clockwise)"},
    {6, "Right-top (rotate 90 degrees clockwise)"},
    {7, "Right-bottom (mirror and rotate 90 degrees clockwise)"},
    {8, "Left-bottom (rotate 270 degrees clockwise)"},
};

constexpr TValueName kPlanarConfiguration[] = {{1, "Chunky"}, {2, "Planar"}};

constexpr TValueName kResolutionUnit[] = {{1, "None"}, {2, "Inch"}, {3, "Centimeter"}};

constexpr TValueName kPredictor[] = {{1, "None"}, {2, "Horizontal differencing"}, {3, "Floating point"}};

constexpr TValueName kCleanFaxData[] = {{0, "Clean"}, {1, "Regenerated"}, {2, "Unclean"}};

constexpr TValueName kInkSet[] = {{1, "CMYK"}, {2, "Not CMYK"}};

constexpr TValueName kExtraSamples[] = {{0, "Unspecified"}, {1, "Associated alpha"}, {2, "Unassociated alpha"}};

constexpr TValueName kSampleFormat[] = {
    {1, "Unsigned integer"}, {2, "Signed integer"},         {3, "IEEE floating point"},
    {4, "Undefined"},        {5, "Complex signed integer"}, {6, "Complex IEEE floating point"},
};

constexpr TValueName kYCbCrPositioning[] = {{1, "Centered"}, {2, "Co-sited"}};

// ---- Exif (and TIFF/EP) ----

constexpr TValueName kExposureProgram[] = {
    {0, "Not defined"},
    {1, "Manual"},
    {2, "Normal program"},
    {3, "Aperture priority"},
    {4, "Shutter priority"},
    {5, "Creative program (biased toward depth of field)"},
    {6, "Action program (biased toward fast shutter speed)"},
    {7, "Portrait mode"},
    {8, "Landscape mode"},
};

constexpr TValueName kSensitivityType[] = {
    {0, "Unknown"},
    {1, "Standard output sensitivity"},
    {2, "Recommended exposure index"},
    {3, "ISO speed"},
    {4, "Standard output sensitivity and recommended exposure index"},
    {5, "Standard output sensitivity and ISO speed"},
    {6, "Recommended exposure index and ISO speed"},
    {7, "Standard output sensitivity, recommended exposure index and ISO speed"},
};

constexpr TValueName kComponentsConfiguration[] = {
    {0, "Does not exist"}, {1, "Y"}, {2, "Cb"}, {3, "Cr"}, {4, "R"}, {5, "G"}, {6, "B"}};

constexpr TValueName kMeteringMode[] = {
    {0, "Unknown"}, {1, "Average"}, {2, "Center-weighted average"}, {3, "Spot"}, {4, "Multi-spot"}, {5, "Pattern"},
    {6, "Partial"}, {255, "Other"},
};

constexpr TValueName kLightSource[] = {
    {0, "Unknown"},
    {1, "Daylight"},
    {2, "Fluorescent"},
    {3, "Tungsten (incandescent light)"},
    {4, "Flash"},
    {9, "Fine weather"},
    {10, "Cloudy weather"},
    {11, "Shade"},
    {12, "Daylight fluorescent (D 5700 - 7100K)"},
    {13, "Day white fluorescent (N 4600 - 5400K)"},
    {14, "Cool white fluorescent (W 3900 - 4500K)"},
    {15, "White fluorescent (WW 3200 - 3700K)"},
    {16, "Warm white fluorescent (L 2600 - 3250K)"},
    {17, "Standard light A"},
    {18, "Standard light B"},
    {19, "Standard light C"},
    {20, "D55"},
    {21, "D65"},
    {22, "D75"},
    {23, "D50"},
    {24, "ISO studio tungsten"},
    {255, "Other light source"},
};

// TIFF/EP's list; Exif's own tag (41495) drops 0 and 6 and says "Not defined" for 1.
constexpr TValueName kSensingMethodEP[] = {
    {0, "Undefined"},
    {1, "Monochrome area sensor"},
    {2, "One-chip color area sensor"},
    {3, "Two-chip color area sensor"},
    {4, "Three-chip color area sensor"},
    {5, "Color sequential area sensor"},
    {6, "Monochrome linear sensor"},
    {7, "Trilinear sensor"},
    {8, "Color sequential linear sensor"},
};

constexpr TValueName kSensingMethod[] = {
    {1, "Not defined"},
    {2, "One-chip color area sensor"},
    {3, "Two-chip color area sensor"},
    {4, "Three-chip color area sensor"},
    {5, "Color sequential area sensor"},
    {7, "Trilinear sensor"},
    {8, "Color sequential linear sensor"},
};

constexpr TValueName kColorSpace[] = {{1, "sRGB"}, {65535, "Uncalibrated"}};

constexpr TValueName kFileSource[] = {
    {0, "Others"}, {1, "Scanner of transparent type"}, {2, "Scanner of reflex type"}, {3, "DSC"}};

constexpr TValueName kSceneType[] = {{1, "Directly photographed image"}};

constexpr TValueName kCustomRendered[] = {{0, "Normal process"}, {1, "Custom process"}};

constexpr TValueName kExposureMode[] = {{0, "Auto exposure"}, {1, "Manual exposure"}, {2, "Auto bracket"}};

constexpr TValueName kWhiteBalance[] = {{0, "Auto white balance"}, {1, "Manual white balance"}};

constexpr TValueName kSceneCaptureType[] = {{0, "Standard"}, {1, "Landscape"}, {2, "Portrait"}, {3, "Night scene"}};

constexpr TValueName kGainControl[] = {
    {0, "None"}, {1, "Low gain up"}, {2, "High gain up"}, {3, "Low gain down"}, {4, "High gain down"}};

constexpr TValueName kSoftHard[] = {{0, "Normal"}, {1, "Soft"}, {2, "Hard"}};

constexpr TValueName kSaturation[] = {{0, "Normal"}, {1, "Low saturation"}, {2, "High saturation"}};

constexpr TValueName kSubjectDistanceRange[] = {{0, "Unknown"}, {1, "Macro"}, {2, "Close view"}, {3, "Distant view"}};

constexpr TValueName kCompositeImage[] = {{0, "Unknown"},
                                          {1, "Not a composite image"},
                                          {2, "General composite image"},
                                          {3, "Composite image captured while shooting"}};

// ---- GPS: references are one-letter texts, looked up by their character ----

constexpr TValueName kLatitudeRef[] = {{'N', "North"}, {'S', "South"}};
constexpr TValueName kLongitudeRef[] = {{'E', "East"}, {'W', "West"}};
constexpr TValueName kAltitudeRef[] = {{0, "Above sea level"}, {1, "Below sea level"}};
constexpr TValueName kGpsStatus[] = {{'A', "Measurement active"}, {'V', "Measurement void"}};
constexpr TValueName kMeasureMode[] = {{'2', "Two-dimensional measurement"}, {'3', "Three-dimensional measurement"}};
constexpr TValueName kSpeedRef[] = {{'K', "Kilometers per hour"}, {'M', "Miles per hour"}, {'N', "Knots"}};
constexpr TValueName kDirectionRef[] = {{'M', "Magnetic direction"}, {'T', "True direction"}};
constexpr TValueName kDistanceRef[] = {{'K', "Kilometers"}, {'M', "Miles"}, {'N', "Nautical miles"}};
constexpr TValueName kDifferential[] = {{0, "Without correction"}, {1, "Correction applied"}};

constexpr TEnumeration kEnumerations[] = {
    {TTagSpace::Tiff, 255, kSubfileType},
    {TTagSpace::Tiff, 259, kCompression},
    {TTagSpace::Tiff, 262, kPhotometric},
    {TTagSpace::Tiff, 263, kThresholding},
    {TTagSpace::Tiff, 266, kFillOrder},
    {TTagSpace::Tiff, 274, kOrientation},
    {TTagSpace::Tiff, 284, kPlanarConfiguration},
    {TTagSpace::Tiff, 296, kResolutionUnit},
    {TTagSpace::Tiff, 317, kPredictor},
    {TTagSpace::Tiff, 327, kCleanFaxData},
    {TTagSpace::Tiff, 332, kInkSet},
    {TTagSpace::Tiff, 338, kExtraSamples},
    {TTagSpace::Tiff, 339, kSampleFormat},
    {TTagSpace::Tiff, 531, kYCbCrPositioning},
    {TTagSpace::Tiff, 34850, kExposureProgram},
    {TTagSpace::Tiff, 34864, kSensitivityType},
    {TTagSpace::Tiff, 37121, kComponentsConfiguration},
    {TTagSpace::Tiff, 37383, kMeteringMode},
    {TTagSpace::Tiff, 37384, kLightSource},
    {TTagSpace::Tiff, 37399, kSensingMethodEP},
    {TTagSpace::Tiff, 40961, kColorSpace},
    {TTagSpace::Tiff, 41488, kResolutionUnit},
    {TTagSpace::Tiff, 41495, kSensingMethod},
    {TTagSpace::Tiff, 41728, kFileSource},
    {TTagSpace::Tiff, 41729, kSceneType},
    {TTagSpace::Tiff, 41985, kCustomRendered},
    {TTagSpace::Tiff, 41986, kExposureMode},
    {TTagSpace::Tiff, 41987, kWhiteBalance},
    {TTagSpace::Tiff, 41990, kSceneCaptureType},
    {TTagSpace::Tiff, 41991, kGainControl},
    {TTagSpace::Tiff, 41992, kSoftHard},
    {TTagSpace::Tiff, 41993, kSaturation},
    {TTagSpace::Tiff, 41994, kSoftHard},
    {TTagSpace::Tiff, 41996, kSubjectDistanceRange},
    {TTagSpace::Tiff, 42080, kCompositeImage},
    {TTagSpace::Gps, 1, kLatitudeRef},
    {TTagSpace::Gps, 3, kLongitudeRef},
    {TTagSpace::Gps, 5, kAltitudeRef},
    {TTagSpace::Gps, 9, kGpsStatus},
    {TTagSpace::Gps, 10, kMeasureMode},
    {TTagSpace::Gps, 12, kSpeedRef},
    {TTagSpace::Gps, 14, kDirectionRef},
    {TTagSpace::Gps, 16, kDirectionRef},
    {TTagSpace::Gps, 19, kLatitudeRef},
    {TTagSpace::Gps, 21, kLongitudeRef},
    {TTagSpace::Gps, 23, kDirectionRef},
    {TTagSpace::Gps, 25, kDistanceRef},
    {TTagSpace::Gps, 30, kDifferential},
};

// ---- Bit fields: each field's value picks a phrase; empty phrases are left out ----

struct TBitField {
    std::uint32_t Mask;
    std::array<std::string_view, 4> Phrases; ///< by the field's value
};

struct TBitFieldSet {
    TTagSpace Space;
    std::uint16_t Tag;
    std::string_view WhenEmpty; ///< when no field has a phrase
    std::span<const TBitField> Fields;
};

constexpr TBitField kNewSubfileTypeBits[] = {
    {0x1, {"", "reduced-resolution image"}},
    {0x2, {"", "page of a multi-page image"}},
    {0x4, {"", "transparency mask"}},
};

constexpr TBitField kFlashBits[] = {
    {0x01, {"flash did not fire", "flash fired"}},
    {0x06, {"", "reserved return value", "strobe return light not detected", "strobe return light detected"}},
    {0x18, {"", "compulsory flash firing", "compulsory flash suppression", "auto mode"}},
    {0x20, {"", "no flash function"}},
    {0x40, {"", "red-eye reduction"}},
};

constexpr TBitFieldSet kBitFieldSets[] = {
    {TTagSpace::Tiff, 254, "full-resolution image", kNewSubfileTypeBits},
    {TTagSpace::Tiff, 37385, "", kFlashBits},
};

constexpr bool tablesAreSorted()
{
    for (std::size_t i = 0; i < std::size(kEnumerations); ++i) {
        const TEnumeration& e = kEnumerations[i];
        if (i > 0 && (kEnumerations[i - 1].Space > e.Space ||
                      (kEnumerations[i - 1].Space == e.Space && kEnumerations[i - 1].Tag >= e.Tag)))
            return false;
        for (std::size_t k = 1; k < e.Values.size(); ++k)
            if (e.Values[k - 1].Value >= e.Values[k].Value)
                return false;
    }
    return true;
}
static_assert(tablesAreSorted(), "binary search needs enumerations and their values sorted without duplicates");

std::string describeBits(const TBitFieldSet& set, std::uint64_t value)
{
    std::string text;
    const auto add = [&text](std::string_view phrase) {
        if (!text.empty())
            text += ", ";
        text += phrase;
    };
    std::uint64_t unknown = value;
    for (const TBitField& field : set.Fields) {
        unknown &= ~std::uint64_t{field.Mask};
        const std::string_view phrase = field.Phrases[(value & field.Mask) >> std::countr_zero(field.Mask)];
        if (!phrase.empty())
            add(phrase);
    }
    if (unknown != 0) {
        char hex[24];
        std::snprintf(hex, sizeof hex, "0x%llX", static_cast<unsigned long long>(unknown));
        add(std::string("unknown bits ") + hex);
    }
    if (text.empty())
        text = set.WhenEmpty;
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

std::optional<std::string> listedName(TTagSpace space, std::uint16_t tag, std::int64_t value)
{
    const auto byKey = [](const TEnumeration& e, std::pair<TTagSpace, std::uint16_t> key) {
        return std::pair(e.Space, e.Tag) < key;
    };
    const auto* e = std::lower_bound(std::begin(kEnumerations), std::end(kEnumerations), std::pair(space, tag), byKey);
    if (e == std::end(kEnumerations) || e->Space != space || e->Tag != tag)
        return std::nullopt;
    const auto v = std::lower_bound(e->Values.begin(), e->Values.end(), value,
                                    [](const TValueName& row, std::int64_t n) { return row.Value < n; });
    if (v == e->Values.end() || v->Value != value)
        return std::nullopt;
    return std::string(v->Name);
}

} // namespace

std::optional<std::string> enumerationName(TDirectoryKind kind, std::uint16_t tag, std::int64_t value)
{
    const TTagSpace space = spaceOf(kind);
    for (const TBitFieldSet& set : kBitFieldSets)
        if (set.Space == space && set.Tag == tag)
            return value < 0 ? std::nullopt : std::optional(describeBits(set, static_cast<std::uint64_t>(value)));
    return listedName(space, tag, value);
}

std::optional<std::string> enumerationName(TDirectoryKind kind, std::uint16_t tag, std::string_view text)
{
    // A bit field stored as text is damage, not a set of flags: lists only.
    if (text.size() != 1)
        return std::nullopt;
    return listedName(spaceOf(kind), tag, static_cast<unsigned char>(text[0]));
}
