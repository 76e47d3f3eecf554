// The nine-part picture: how each axis is split into head, repeated middle
// and tail, how clipping trims the parts, and what lands in the pixels.

#include <gtest/gtest.h>
#include "pixels/render_draw.h"
#include "skin/skin_picture.h"

namespace {

constexpr std::int32_t no_clip_min = -1000;
constexpr std::int32_t no_clip_max = 1000;

PictureAxis split(std::int32_t p, std::int32_t length, std::int32_t s0, std::int32_t s1, std::int32_t s2,
                  std::int32_t s3, std::int32_t cmin = no_clip_min, std::int32_t cmax = no_clip_max)
{
    return split_picture_axis(p, length, s0, s1, s2, s3, cmin, cmax);
}

// A bitmap whose pixel (x, y) holds 1 + x + 16 * y (never 0, never the key).
std::shared_ptr<SkinBitmap> numbered_bitmap(std::int32_t width, std::int32_t height)
{
    std::unique_ptr<PixelBuffer> pixels = PixelBuffer::create(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            pixels->at(x, y) = static_cast<Pixel>(1 + x + 16 * y);
    return std::make_shared<SkinBitmap>(u"numbered", std::move(pixels));
}

SkinPicture framed(std::shared_ptr<SkinBitmap> bitmap, Point inner_top_left, Point inner_bottom_right)
{
    SkinPicture picture = SkinPicture::whole(std::move(bitmap));
    picture.inner_top_left = inner_top_left;
    picture.inner_bottom_right = inner_bottom_right;
    return picture;
}

// The bitmap column each pixel of row y came from (pixel values are 1 + x + 16 * row).
std::vector<int> columns_of_row(const PixelBuffer& buffer, std::int32_t y)
{
    std::vector<int> columns;
    for (std::int32_t x = 0; x < buffer.width(); ++x)
        columns.push_back(buffer.at(x, y) == 0 ? -1 : (buffer.at(x, y) - 1) % 16);
    return columns;
}

std::vector<int> rows_of_column(const PixelBuffer& buffer, std::int32_t x)
{
    std::vector<int> rows;
    for (std::int32_t y = 0; y < buffer.height(); ++y)
        rows.push_back(buffer.at(x, y) == 0 ? -1 : (buffer.at(x, y) - 1) / 16);
    return rows;
}

}  // namespace

TEST(PictureSplit, RoomyDestinationKeepsHeadAndTail)
{
    const PictureAxis axis = split(5, 30, 0, 4, 6, 9);
    EXPECT_TRUE(axis.visible);
    EXPECT_EQ(axis.start, 5);
    EXPECT_EQ(axis.head_length, 4);
    EXPECT_EQ(axis.middle_length, 23);
    EXPECT_EQ(axis.tail_length, 3);
    EXPECT_EQ(axis.tail_source, 6);
    EXPECT_EQ(axis.head_source, 0);
}

TEST(PictureSplit, ShortDestinationShrinksHeadAndTail)
{
    // head 10, tail 10, 15 wide: half 7, m 7, head 7, tail 7, middle 1.
    const PictureAxis axis = split(0, 15, 0, 10, 12, 22);
    EXPECT_EQ(axis.head_length, 7);
    EXPECT_EQ(axis.tail_length, 7);
    EXPECT_EQ(axis.middle_length, 1);
    EXPECT_EQ(axis.tail_source, 22 - 7);
}

TEST(PictureSplit, ShortDestinationGivesTheSmallerPartsRoomToTheOther)
{
    // head 2, tail 10, 10 wide: half 5, m = 4 + 3 = 7, tail 7, head 2, middle 1.
    PictureAxis axis = split(0, 10, 0, 2, 4, 14);
    EXPECT_EQ(axis.head_length, 2);
    EXPECT_EQ(axis.tail_length, 7);
    EXPECT_EQ(axis.middle_length, 1);
    // head 10, tail 2, 10 wide: half 5, m 4; tail 2, head 5 + 2 = 7, middle 1.
    axis = split(0, 10, 0, 10, 12, 14);
    EXPECT_EQ(axis.head_length, 7);
    EXPECT_EQ(axis.tail_length, 2);
    EXPECT_EQ(axis.middle_length, 1);
}

TEST(PictureSplit, NearClipInsideTheHead)
{
    const PictureAxis axis = split(-3, 30, 0, 4, 6, 9, 0, 100);
    EXPECT_EQ(axis.start, 0);
    EXPECT_EQ(axis.head_length, 1);
    EXPECT_EQ(axis.head_source, 3);
    EXPECT_EQ(axis.middle_length, 23);
    EXPECT_EQ(axis.middle_phase, 0);
    EXPECT_EQ(axis.length(), 27);
}

TEST(PictureSplit, NearClipIntoTheMiddleSetsThePhase)
{
    // Head 4 is dropped and 7 middle pixels go: phase 7 mod 2 = 1.
    const PictureAxis axis = split(-11, 30, 0, 4, 6, 9, 0, 100);
    EXPECT_EQ(axis.head_length, 0);
    EXPECT_EQ(axis.middle_length, 16);
    EXPECT_EQ(axis.middle_phase, 1);
    EXPECT_EQ(axis.tail_length, 3);
}

TEST(PictureSplit, NearClipIntoTheTail)
{
    const PictureAxis axis = split(-28, 30, 0, 4, 6, 9, 0, 100);
    EXPECT_EQ(axis.head_length + axis.middle_length, 0);
    EXPECT_EQ(axis.tail_length, 2);
    EXPECT_EQ(axis.tail_source, 7);
}

TEST(PictureSplit, ClippedAwayEntirely)
{
    EXPECT_FALSE(split(-30, 30, 0, 4, 6, 9, 0, 100).visible);
    EXPECT_FALSE(split(100, 30, 0, 4, 6, 9, 0, 100).visible);
    EXPECT_FALSE(split(0, 0, 0, 4, 6, 9, 0, 100).visible);
    EXPECT_FALSE(split(0, 10, 0, 4, 6, 9, 5, 5).visible);
}

TEST(PictureSplit, FarClipTakesFromTheTailThenMiddleThenHead)
{
    PictureAxis axis = split(0, 30, 0, 4, 6, 9, 0, 28);
    EXPECT_EQ(axis.tail_length, 1);
    EXPECT_EQ(axis.middle_length, 23);
    axis = split(0, 30, 0, 4, 6, 9, 0, 10);
    EXPECT_EQ(axis.tail_length, 0);
    EXPECT_EQ(axis.middle_length, 6);
    EXPECT_EQ(axis.head_length, 4);
    axis = split(0, 30, 0, 4, 6, 9, 0, 2);
    EXPECT_EQ(axis.middle_length, 0);
    EXPECT_EQ(axis.head_length, 2);
}

TEST(PictureSplit, BothSidesClipped)
{
    const PictureAxis axis = split(-5, 30, 0, 4, 6, 9, 0, 10);
    EXPECT_EQ(axis.start, 0);
    EXPECT_EQ(axis.head_length, 0);
    EXPECT_EQ(axis.middle_phase, 1);
    EXPECT_EQ(axis.middle_length, 10);
}

TEST(DrawPicture, RepeatsTheMiddleBetweenFixedBorders)
{
    // Columns: head 0, middle 1..2, tail 3; rows: head 0, middle 1, tail 2..3.
    const SkinPicture picture = framed(numbered_bitmap(4, 4), {1, 1}, {3, 2});
    RenderSurface surface({8, 6});
    surface.buffer()->clear(0);
    draw_picture(surface, {0, 0}, {8, 6}, picture, plain_copy_operation());
    EXPECT_EQ(columns_of_row(*surface.buffer(), 0), (std::vector<int>{0, 1, 2, 1, 2, 1, 2, 3}));
    EXPECT_EQ(rows_of_column(*surface.buffer(), 0), (std::vector<int>{0, 1, 1, 1, 2, 3}));
}

TEST(DrawPicture, ClippedStartContinuesTheMiddlePattern)
{
    const SkinPicture picture = framed(numbered_bitmap(4, 4), {1, 1}, {3, 2});
    RenderSurface surface({6, 6});
    surface.buffer()->clear(0);
    // Drawn from x = -2: the head and one middle pixel are cut off.
    draw_picture(surface, {-2, 0}, {8, 6}, picture, plain_copy_operation());
    EXPECT_EQ(columns_of_row(*surface.buffer(), 0), (std::vector<int>{2, 1, 2, 1, 2, 3}));
}

TEST(DrawPicture, StaysInsideTheClipScope)
{
    const SkinPicture picture = framed(numbered_bitmap(4, 4), {1, 1}, {3, 2});
    RenderSurface surface({8, 6});
    surface.buffer()->clear(0);
    {
        ClipScope clip(surface, {2, 1}, {3, 2});
        draw_picture(surface, {0, 0}, {8, 6}, picture, plain_copy_operation());
    }
    EXPECT_EQ(columns_of_row(*surface.buffer(), 0), (std::vector<int>(8, -1)));
    EXPECT_EQ(columns_of_row(*surface.buffer(), 1), (std::vector<int>{-1, -1, 2, 1, 2, -1, -1, -1}));
    EXPECT_EQ(rows_of_column(*surface.buffer(), 3), (std::vector<int>{-1, 1, 1, -1, -1, -1}));
}

TEST(DrawPicture, ScaleShiftDrawsEachBitmapPixelAsABlock)
{
    SkinPicture picture = framed(numbered_bitmap(3, 3), {2, 2}, {4, 4});
    picture.size_corner = {6, 6};
    picture.scale_shift = 1;
    RenderSurface surface({8, 8});
    surface.buffer()->clear(0);
    draw_picture(surface, {0, 0}, {8, 8}, picture, plain_copy_operation());
    EXPECT_EQ(columns_of_row(*surface.buffer(), 0), (std::vector<int>{0, 0, 1, 1, 1, 1, 2, 2}));
    EXPECT_EQ(rows_of_column(*surface.buffer(), 7), (std::vector<int>{0, 0, 1, 1, 1, 1, 2, 2}));
}

TEST(DrawPicture, WholeBitmapTilesALargerRectangle)
{
    const SkinPicture picture = SkinPicture::whole(numbered_bitmap(3, 2));
    RenderSurface surface({7, 5});
    draw_picture(surface, {0, 0}, {7, 5}, picture, plain_copy_operation());
    EXPECT_EQ(columns_of_row(*surface.buffer(), 4), (std::vector<int>{0, 1, 2, 0, 1, 2, 0}));
    EXPECT_EQ(rows_of_column(*surface.buffer(), 6), (std::vector<int>{0, 1, 0, 1, 0}));
}

TEST(DrawPicture, CornersOutsideTheBitmapDrawNothing)
{
    SkinPicture picture = framed(numbered_bitmap(4, 4), {1, 1}, {3, 3});
    picture.size_corner = {5, 4};
    RenderSurface surface({8, 8});
    surface.buffer()->clear(0);
    draw_picture(surface, {0, 0}, {8, 8}, picture, plain_copy_operation());
    picture.size_corner = {4, 4};
    picture.inner_top_left = {3, 1};
    picture.inner_bottom_right = {2, 3};
    draw_picture(surface, {0, 0}, {8, 8}, picture, plain_copy_operation());
    EXPECT_EQ(columns_of_row(*surface.buffer(), 3), (std::vector<int>(8, -1)));
}

TEST(DrawPicture, ZeroWideMiddleLeavesItsColumnsUntouched)
{
    // Head 2 and tail 2 with nothing between them, drawn 6 wide.
    const SkinPicture picture = framed(numbered_bitmap(4, 1), {2, 0}, {2, 1});
    RenderSurface surface({6, 1});
    surface.buffer()->clear(0);
    draw_picture(surface, {0, 0}, {6, 1}, picture, plain_copy_operation());
    EXPECT_EQ(columns_of_row(*surface.buffer(), 0), (std::vector<int>{0, 1, -1, -1, 2, 3}));
}

TEST(DrawPicture, DefaultPictureDrawsNothing)
{
    RenderSurface surface({4, 4});
    surface.buffer()->clear(0);
    draw_picture(surface, {0, 0}, {4, 4}, SkinPicture(), plain_copy_operation());
    EXPECT_EQ(columns_of_row(*surface.buffer(), 0), (std::vector<int>(4, -1)));
}

TEST(SkinPictureEquality, ComparesCornersBitmapAndShiftButNotTheFlag)
{
    const std::shared_ptr<SkinBitmap> bitmap = numbered_bitmap(4, 4);
    const SkinPicture a = framed(bitmap, {1, 1}, {3, 3});
    SkinPicture b = a;
    b.flag = true;
    EXPECT_EQ(a, b);
    b.scale_shift = 1;
    EXPECT_NE(a, b);
    SkinPicture c = a;
    c.bitmap = numbered_bitmap(4, 4);
    EXPECT_NE(a, c) << "same pixels, different bitmap";
    SkinPicture d = a;
    d.inner_bottom_right.y = 2;
    EXPECT_NE(a, d);
    EXPECT_EQ(SkinPicture(), SkinPicture());
    EXPECT_EQ(SkinPicture().size(), (Size{0, 0}));
}

TEST(SkinBitmap, ReduceToRedKeepsRedFlagAndKey)
{
    std::unique_ptr<PixelBuffer> pixels = PixelBuffer::create(3, 1);
    pixels->at(0, 0) = 0xFFFF;
    pixels->at(1, 0) = key_color;
    pixels->at(2, 0) = 0x07DF;
    SkinBitmap bitmap(u"b", std::move(pixels));
    bitmap.reduce_to_red();
    EXPECT_EQ(bitmap.pixels()->at(0, 0), 0xF820);
    EXPECT_EQ(bitmap.pixels()->at(1, 0), key_color);
    EXPECT_EQ(bitmap.pixels()->at(2, 0), 0x0000);
}
