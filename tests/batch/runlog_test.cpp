// The lines of a run's log and its status texts.
#include "batch/batchrun.h"
#include "tiff/tiff.h"

#include <gtest/gtest.h>

TEST(RunLog, LinesSayWhichFileAndWhy)
{
    // The reader's sentence, with its classic text when it has one.
    EXPECT_EQ(
        readerMessageLine("/s/a.tif", {"streamsize", "the directory at 1234 runs past the end of the file", 1234, "2"}),
        "/s/a.tif: the directory at 1234 runs past the end of the file (streamsize)");
    EXPECT_EQ(
        readerMessageLine("/s/b.tif", {"", "the Exif directory at 90 lies past the end of the file", 90, "1/exif"}),
        "/s/b.tif: the Exif directory at 90 lies past the end of the file");
    EXPECT_EQ(readerMessageLine("/s/c.tif", {"4412", "", 0, "1"}), "/s/c.tif: 4412");
    EXPECT_EQ(batchtext::StatusStopped(1), "Stopped after 1 file");
}
