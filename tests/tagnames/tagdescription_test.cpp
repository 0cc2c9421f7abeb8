#include "tagnames/utagdescription.h"

#include <gtest/gtest.h>

#include <set>

TEST(TagDescription, TableHas200SortedUniqueRows)
{
    const auto table = TagDescriptionTable();
    ASSERT_EQ(table.size(), 200u);
    for (std::size_t i = 1; i < table.size(); ++i)
        EXPECT_LT(table[i - 1].Number, table[i].Number);
    EXPECT_EQ(table.front().Number, 254);
    EXPECT_EQ(table.back().Number, 50255);
}

TEST(TagDescription, KnownNamesKeepTheirExactText)
{
    struct Row {
        int number;
        const char* name;
    };
    const Row rows[] = {
        {254, "NewSubfileType"},
        {256, "ImageWidth"},
        {257, "ImageLength"},
        {262, "Photom.Interpr."},
        {263, "Tresholding"},
        {282, "X Resolution"},
        {343, "ClipPath       PMkr"},
        {344, "XClipPathUnits PMkr"},
        {346, "Indexed        PMkr"},
        {347, "JPEGTables     PShp"},
        {351, "OPIProxy       PMkr"},
        {700, "XMP"},
        {32781, "Image ID    PMkr"},
        {32957, "Wicks and &Wilson Punch Data"},
        {32960, "X axis offset   Wicks and &Wilson"},
        {34675, "InterColour Profile "},
        {36867, "DateTime Original   "},
        {36868, "DateTime Digitized  "},
        {41991, "Gain Control        "},
        {50255, "Photoshop Annotations"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(GetTagDescription(r.number), r.name) << r.number;
}

TEST(TagDescription, NumbersWithoutRowGetTheDefault)
{
    EXPECT_EQ(UnknownTagName.size(), 17u);
    for (int n : {260, 261, 267, 268, 275, 276, 0, -1, 65535, 70000, 253, 50256})
        EXPECT_EQ(GetTagDescription(n), "Unknown Tag      ") << n;
}

TEST(TagDescription, SharedAndNearNames)
{
    EXPECT_EQ(GetTagDescription(41484), GetTagDescription(37388));
    EXPECT_EQ(GetTagDescription(41487), GetTagDescription(37391));
    EXPECT_EQ(GetTagDescription(41488), GetTagDescription(37392));
    EXPECT_EQ(GetTagDescription(41495), GetTagDescription(37399));
    EXPECT_NE(GetTagDescription(41486), GetTagDescription(37390));
    EXPECT_EQ(GetTagDescription(37390), "Focal PlaneX-Resolution");
    EXPECT_EQ(GetTagDescription(41483), "Flash Energy");
    EXPECT_EQ(GetTagDescription(37387), "FlashEnergy");

    std::set<std::string_view> names;
    for (const auto& row : TagDescriptionTable())
        names.insert(row.Name);
    EXPECT_EQ(names.size(), 196u); // four names are shared by two numbers
}
