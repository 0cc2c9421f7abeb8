#include "tagnames/directorytags.h"

#include <gtest/gtest.h>

TEST(DirectoryTags, TablesAreSortedWithoutDuplicates)
{
    const std::pair<const char*, std::span<const TTagDescriptionRow>> tables[] = {
        {"exif", exifTagTable()}, {"gps", gpsTagTable()}, {"interop", interopTagTable()}};
    for (const auto& [name, rows] : tables) {
        ASSERT_FALSE(rows.empty()) << name;
        for (std::size_t i = 1; i < rows.size(); ++i)
            EXPECT_LT(rows[i - 1].Number, rows[i].Number) << name << " row " << i;
        for (const auto& row : rows)
            EXPECT_FALSE(row.Name.empty()) << name << " " << row.Number;
    }
    EXPECT_EQ(gpsTagTable().size(), 32u); // GPSVersionID 0 .. GPSHPositioningError 31
}

TEST(DirectoryTags, PagesAndSubIfdsKeepTheDictionary)
{
    for (std::uint32_t n = 0; n <= 0xFFFF; ++n) {
        const auto number = static_cast<std::uint16_t>(n);
        ASSERT_EQ(directoryTagName(TDirectoryKind::Page, number), GetTagDescription(number)) << n;
        ASSERT_EQ(directoryTagName(TDirectoryKind::SubIfd, number), GetTagDescription(number)) << n;
    }
}

TEST(DirectoryTags, EachKindNamesItsOwnNumbers)
{
    struct Row {
        TDirectoryKind kind;
        std::uint16_t number;
        std::string_view name;
    };
    const Row rows[] = {
        {TDirectoryKind::Gps, 0, "GPSVersionID"},
        {TDirectoryKind::Gps, 1, "GPSLatitudeRef"},
        {TDirectoryKind::Gps, 31, "GPSHPositioningError"},
        {TDirectoryKind::Exif, 33434, "ExposureTime"},
        {TDirectoryKind::Exif, 36867, "DateTimeOriginal"},
        {TDirectoryKind::Exif, 40965, "InteroperabilityIFDPointer"},
        {TDirectoryKind::Exif, 42240, "Gamma"},
        {TDirectoryKind::Interop, 1, "InteroperabilityIndex"},
        {TDirectoryKind::Interop, 2, "InteroperabilityVersion"},
        {TDirectoryKind::Interop, 4098, "RelatedImageLength"},
        // The same numbers elsewhere keep the page dictionary's names.
        {TDirectoryKind::Page, 36867, "DateTime Original   "},
        {TDirectoryKind::Page, 1, UnknownTagName},
    };
    for (const Row& r : rows)
        EXPECT_EQ(directoryTagName(r.kind, r.number), r.name) << static_cast<int>(r.kind) << " " << r.number;
}

TEST(DirectoryTags, NumbersOutsideATableFallBack)
{
    // Exif shares TIFF's numbering; GPS and Interoperability do not.
    EXPECT_EQ(directoryTagName(TDirectoryKind::Exif, 256), "ImageWidth");
    EXPECT_EQ(directoryTagName(TDirectoryKind::Exif, 65000), UnknownTagName);
    EXPECT_EQ(directoryTagName(TDirectoryKind::Gps, 32), UnknownTagName);
    EXPECT_EQ(directoryTagName(TDirectoryKind::Gps, 256), UnknownTagName);
    EXPECT_EQ(directoryTagName(TDirectoryKind::Interop, 3), UnknownTagName);
    EXPECT_EQ(directoryTagName(TDirectoryKind::Interop, 256), UnknownTagName);
}
