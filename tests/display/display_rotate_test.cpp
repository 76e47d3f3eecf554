// Turning frames for the four orientations, and the matching point mapping.

#include <gtest/gtest.h>
#include "display/frame_copy.h"
#include "platform/window_system.h"

namespace {

// A 3 x 2 logical frame whose pixels are numbered 1..6 row by row:
//   1 2 3
//   4 5 6
std::unique_ptr<PixelBuffer> numbered_logical()
{
    auto logical = PixelBuffer::create(3, 2);
    Pixel value = 1;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            logical->at(x, y) = value++;
    return logical;
}

std::vector<std::vector<Pixel>> rows_of(const PixelBuffer& buffer)
{
    std::vector<std::vector<Pixel>> rows;
    for (int y = 0; y < buffer.height(); ++y)
        rows.emplace_back(buffer.row(y), buffer.row(y) + buffer.width());
    return rows;
}

using Rows = std::vector<std::vector<Pixel>>;

}  // namespace

TEST(DisplayRotateTest, EachOrientationPlacesTheLogicalTopLeftWhereExpected)
{
    auto logical = numbered_logical();
    struct Case {
        int turns;
        Rows expected;
    };
    // Orientation 1 turns the picture a quarter counter-clockwise on the panel,
    // 3 a quarter clockwise, 2 half way round.
    const Case cases[] = {
        {0, {{1, 2, 3}, {4, 5, 6}}},
        {1, {{3, 6}, {2, 5}, {1, 4}}},
        {2, {{6, 5, 4}, {3, 2, 1}}},
        {3, {{4, 1}, {5, 2}, {6, 3}}},
    };
    for (const Case& c : cases) {
        bool odd = c.turns & 1;
        auto physical = PixelBuffer::create(odd ? 2 : 3, odd ? 3 : 2);
        ASSERT_TRUE(rotate_copy(*logical, *physical, c.turns));
        EXPECT_EQ(rows_of(*physical), c.expected) << "orientation " << c.turns;
    }
}

TEST(DisplayRotateTest, PointMappingAgreesWithThePixelsAndInvertsExactly)
{
    auto logical = numbered_logical();
    for (int turns = 0; turns < 4; ++turns) {
        bool odd = turns & 1;
        auto physical = PixelBuffer::create(odd ? 2 : 3, odd ? 3 : 2);
        ASSERT_TRUE(rotate_copy(*logical, *physical, turns));
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                int px = x, py = y;
                logical_to_physical(turns, physical->width(), physical->height(), px, py);
                EXPECT_EQ(physical->at(px, py), logical->at(x, y)) << turns;
                int bx = px, by = py;
                physical_to_logical(turns, physical->width(), physical->height(), bx, by);
                EXPECT_EQ(bx, x);
                EXPECT_EQ(by, y);
            }
        }
    }
}

TEST(DisplayRotateTest, PaddedRowsAndLargeFramesTurnWithoutTouchingPadding)
{
    // Odd widths have padded rows: the step along a column must use the pitch.
    auto logical = PixelBuffer::create(481, 641);
    for (int y = 0; y < 641; ++y)
        for (int x = 0; x < 481; ++x)
            logical->at(x, y) = static_cast<Pixel>(x * 7 + y * 13);
    auto physical = PixelBuffer::create(641, 481);
    physical->clear(0xFFFF);
    ASSERT_TRUE(rotate_copy(*logical, *physical, 3));
    EXPECT_EQ(physical->at(640, 0), logical->at(0, 0));
    EXPECT_EQ(physical->at(0, 480), logical->at(480, 640));
    EXPECT_EQ(physical->row(0)[641], 0xFFFF);  // padding of the physical row untouched
}

TEST(DisplayRotateTest, MismatchedSizesAreRefused)
{
    auto logical = PixelBuffer::create(3, 2);
    auto same = PixelBuffer::create(3, 2);
    auto turned = PixelBuffer::create(2, 3);
    EXPECT_FALSE(rotate_copy(*logical, *same, 1));
    EXPECT_FALSE(rotate_copy(*logical, *turned, 2));
    EXPECT_TRUE(rotate_copy(*logical, *turned, 3));
}
