// Reading the bytes of a value after the file was read.
#include "support/tempdir.h"
#include "tiff/errors.h"
#include "tiff/valuesource.h"

#include <gtest/gtest.h>

TEST(ValueSource, ReadsWhatLiesInsideTheFileOnly)
{
    TempDir dir;
    std::vector<std::uint8_t> bytes(70000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    TValueSource source(dir.Write("big.bin", bytes));
    EXPECT_EQ(source.Size(), bytes.size());
    EXPECT_EQ(source.Read(65530, 10), std::vector<std::uint8_t>(bytes.begin() + 65530, bytes.begin() + 65540));
    // A range that runs past the end gives what exists; one beyond it nothing.
    EXPECT_EQ(source.Read(69995, 100).size(), 5u);
    EXPECT_TRUE(source.Read(70000, 4).empty());
    EXPECT_TRUE(source.Read(~0ull - 2, 8).empty());
    EXPECT_NE(source.Stamp().Size, 0u);

    EXPECT_THROW(TValueSource((dir.Path() / "none").string()), EFOpenError);
}
