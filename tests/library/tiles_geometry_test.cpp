// Zoom levels, tile grids and edge tiles of the tile sources.

#include <gtest/gtest.h>

#include <algorithm>

#include "library/jpeg_piece_creator.h"
#include "library/piece_creator.h"
#include "library/preview_file.h"
#include "pixels/render_surface.h"
#include "tests/library/preview_test_support.h"

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
    ASSERT_EQ(preview_levels(full.width, full.height), 3);
    // Zoom level z is the picture reduced by 2^(3 - z).
    EXPECT_EQ(reduced_size(full, 3), (Size{200, 150}));
    EXPECT_EQ(reduced_size(full, 2), (Size{400, 300}));
    EXPECT_EQ(reduced_size(full, 1), (Size{800, 600}));
    EXPECT_EQ(reduced_size(full, 0), (Size{1600, 1200}));
    EXPECT_EQ(tile_count({200, 150}), (Size{1, 1}));
    EXPECT_EQ(tile_count({400, 300}), (Size{2, 2}));
    EXPECT_EQ(tile_count({800, 600}), (Size{4, 3}));
    EXPECT_EQ(tile_count({1600, 1200}), (Size{7, 5}));
}

// Columns and rows of a tile up to its last pixel that is not black.
Size written_part(const RenderSurface& tile)
{
    Size part{0, 0};
    for (int y = 0; y < tile.size().height; ++y)
        for (int x = 0; x < tile.size().width; ++x)
            if (tile.buffer()->at(x, y) != 0)
                part = {std::max(part.width, x + 1), std::max(part.height, y + 1)};
    return part;
}

// At full resolution the last tile column of a 1600 x 1200 picture is 64
// pixels wide and the last tile row 176 high; the rest of those tiles stays black.
TEST(TilesGeometry, EdgeTilesHoldOnlyThePartInsideThePicture)
{
    const std::string picture = make_root() + "picture.jpg";
    ASSERT_TRUE(write_picture(picture, {.width = 1600, .height = 1200}));
    JpegPieceCreator direct(from_utf8(picture));
    ASSERT_TRUE(direct.ok());
    const struct {
        int tx, ty;
        Size part;
    } tiles[] = {{0, 0, {256, 256}}, {6, 0, {64, 256}}, {0, 4, {256, 176}}, {6, 4, {64, 176}}, {5, 3, {256, 256}}};
    for (const auto& expected : tiles) {
        const std::unique_ptr<RenderSurface> tile = direct.get_piece(expected.tx, expected.ty, 3);
        ASSERT_TRUE(tile) << expected.tx << "," << expected.ty;
        ASSERT_EQ(tile->size(), (Size{256, 256}));
        EXPECT_EQ(written_part(*tile), expected.part) << expected.tx << "," << expected.ty;
    }
}

TEST(TilesGeometry, ReductionsRoundUp)
{
    EXPECT_EQ(reduced_size({1601, 1199}, 1), (Size{801, 600}));
    EXPECT_EQ(reduced_size({4097, 3073}, 4), (Size{257, 193}));
    EXPECT_EQ(tile_count({257, 256}), (Size{2, 1}));
    EXPECT_EQ(tile_count({1, 1}), (Size{1, 1}));
}

}  // namespace
