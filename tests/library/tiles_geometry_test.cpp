// Zoom levels and tile grids of the tile sources.

#include <gtest/gtest.h>

#include "library/piece_creator.h"
#include "library/preview_file.h"

namespace {

TEST(TilesGeometry, LevelsHalveUntilTheLongerSideFits)
{
    EXPECT_EQ(preview_levels(1600, 1200), 3);
    EXPECT_EQ(preview_levels(256, 200), 0);
    EXPECT_EQ(preview_levels(257, 10), 1);
    EXPECT_EQ(preview_levels(1024, 1024), 2);  // exact power of two
    EXPECT_EQ(preview_levels(1025, 1024), 3);
    EXPECT_EQ(preview_levels(2048, 1536), 3);
    EXPECT_EQ(preview_levels(4096, 3072), 4);
    EXPECT_EQ(preview_levels(3072, 4096), 4);
    EXPECT_EQ(preview_levels(1, 1), 0);
    EXPECT_EQ(preview_levels(65535, 65535), 8);
}

TEST(TilesGeometry, PictureOf1600x1200)
{
    const Size full{1600, 1200};
    const int levels = preview_levels(full.width, full.height);
    ASSERT_EQ(levels, 3);
    EXPECT_EQ(reduced_size(full, levels - 0), (Size{200, 150}));
    EXPECT_EQ(tile_count(reduced_size(full, levels - 0)), (Size{1, 1}));
    EXPECT_EQ(reduced_size(full, 0), full);
    EXPECT_EQ(tile_count(full), (Size{7, 5}));
    // The last column is 64 pixels wide and the last row 176 high.
    EXPECT_EQ(full.width - 6 * tile_size, 64);
    EXPECT_EQ(full.height - 4 * tile_size, 176);
}

TEST(TilesGeometry, ReductionsRoundUp)
{
    EXPECT_EQ(reduced_size({1601, 1199}, 1), (Size{801, 600}));
    EXPECT_EQ(reduced_size({4097, 3073}, 4), (Size{257, 193}));
    EXPECT_EQ(tile_count({257, 256}), (Size{2, 1}));
    EXPECT_EQ(tile_count({1, 1}), (Size{1, 1}));
}

}  // namespace
