#include "tagnames/enumerations.h"

#include <gtest/gtest.h>

namespace {

using K = TDirectoryKind;

struct Named {
    K kind;
    std::uint16_t tag;
    std::int64_t value;
    const char* name; ///< nullptr: no name
};

void expectNames(std::initializer_list<Named> rows)
{
    for (const Named& r : rows) {
        const auto got = enumerationName(r.kind, r.tag, r.value);
        if (r.name)
            EXPECT_EQ(got, std::optional<std::string>(r.name)) << r.tag << "=" << r.value;
        else
            EXPECT_EQ(got, std::nullopt) << r.tag << "=" << r.value;
    }
}

} // namespace

TEST(Enumerations, TiffValuesAreNamedInPagesAndSubIfds)
{
    expectNames({
        {K::Page, 259, 5, "LZW"},
        {K::SubIfd, 259, 7, "JPEG"},
        {K::Page, 262, 2, "RGB"},
        {K::Page, 266, 2, "Least significant bit first"},
        {K::Page, 274, 6, "Right-top (rotate 90 degrees clockwise)"},
        {K::Page, 284, 2, "Planar"},
        {K::Page, 296, 2, "Inch"},
        {K::Page, 317, 3, "Floating point"},
        {K::Page, 338, 2, "Unassociated alpha"},
        {K::Page, 339, 3, "IEEE floating point"},
        {K::Page, 255, 2, "Reduced-resolution image"},
    });
}

TEST(Enumerations, ExifValuesAreNamed)
{
    expectNames({
        {K::Exif, 34850, 3, "Aperture priority"},
        {K::Exif, 37383, 255, "Other"},
        {K::Exif, 37384, 21, "D65"},
        {K::Exif, 40961, 65535, "Uncalibrated"},
        {K::Exif, 41488, 3, "Centimeter"},
        {K::Exif, 41495, 2, "One-chip color area sensor"},
        {K::Exif, 37399, 6, "Monochrome linear sensor"},
        {K::Exif, 41986, 2, "Auto bracket"},
        {K::Exif, 41990, 3, "Night scene"},
        {K::Exif, 37121, 2, "Cb"},
        // TIFF/EP writes Exif tags into pages.
        {K::Page, 34850, 1, "Manual"},
    });
}

TEST(Enumerations, UnnamedValuesTagsAndKinds)
{
    expectNames({
        {K::Page, 259, 99, nullptr},   // value without a name
        {K::Page, 259, -5, nullptr},   // negative
        {K::Page, 256, 1, nullptr},    // tag without an enumeration
        {K::Gps, 259, 5, nullptr},     // GPS tag 259 is not Compression
        {K::Page, 5, 1, nullptr},      // nor is page tag 5 GPSAltitudeRef
        {K::Interop, 296, 2, nullptr}, // Interoperability numbers its own tags
        {K::Exif, 41495, 6, nullptr},  // Exif's SensingMethod skips 6
        {K::Page, 254, -1, nullptr},   // a bit field is never negative
    });
}

TEST(Enumerations, GpsReferencesByTheirLetter)
{
    EXPECT_EQ(enumerationName(K::Gps, 1, std::string_view("N")), "North");
    EXPECT_EQ(enumerationName(K::Gps, 19, std::string_view("S")), "South");
    EXPECT_EQ(enumerationName(K::Gps, 16, std::string_view("T")), "True direction");
    EXPECT_EQ(enumerationName(K::Gps, 25, std::string_view("N")), "Nautical miles");
    EXPECT_EQ(enumerationName(K::Gps, 1, std::string_view("X")), std::nullopt);
    EXPECT_EQ(enumerationName(K::Gps, 1, std::string_view("NS")), std::nullopt);
    EXPECT_EQ(enumerationName(K::Gps, 1, std::string_view("")), std::nullopt);
    EXPECT_EQ(enumerationName(K::Page, 1, std::string_view("N")), std::nullopt);
    expectNames({{K::Gps, 5, 1, "Below sea level"}, {K::Gps, 30, 1, "Correction applied"}});
}

TEST(Enumerations, BitFieldsAreDescribedBitByBit)
{
    expectNames({
        {K::Exif, 37385, 0x00, "Flash did not fire"},
        {K::Exif, 37385, 0x05, "Flash fired, strobe return light not detected"},
        {K::Exif, 37385, 0x10, "Flash did not fire, compulsory flash suppression"},
        {K::Exif, 37385, 0x19, "Flash fired, auto mode"},
        {K::Exif, 37385, 0x20, "Flash did not fire, no flash function"},
        {K::Exif, 37385, 0x5F, "Flash fired, strobe return light detected, auto mode, red-eye reduction"},
        {K::Exif, 37385, 0x83, "Flash fired, reserved return value, unknown bits 0x80"},
        {K::Page, 254, 0, "Full-resolution image"},
        {K::Page, 254, 1, "Reduced-resolution image"},
        {K::Page, 254, 6, "Page of a multi-page image, transparency mask"},
        {K::Page, 254, 0x10, "Unknown bits 0x10"},
    });
    // A letter is no set of flags.
    EXPECT_EQ(enumerationName(K::Exif, 37385, std::string_view("A")), std::nullopt);
}
