// The 2x2 reducer: sizes, rounding and the unpaired last column and row.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "library/reducer.h"

namespace {

struct Collected {
    std::vector<std::vector<std::uint8_t>> rows;
};

Reducer make_reducer(int width, int height, Collected& out)
{
    const int output_width = (width + 1) / 2;
    return Reducer(width, height, [&out, output_width](const std::uint8_t* rgb) {
        out.rows.emplace_back(rgb, rgb + output_width * 3);
        return true;
    });
}

std::vector<std::uint8_t> grey_row(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> row;
    for (int v : values)
        row.insert(row.end(), 3, static_cast<std::uint8_t>(v));
    return row;
}

TEST(PreviewReducer, EvenBlocksAreRoundedMeans)
{
    Collected out;
    Reducer reducer = make_reducer(4, 2, out);
    EXPECT_EQ(reducer.output_width(), 2);
    EXPECT_EQ(reducer.output_height(), 1);
    const auto top = grey_row({0, 1, 10, 20});
    const auto bottom = grey_row({1, 0, 30, 41});
    ASSERT_TRUE(reducer.push_row(top.data()));
    EXPECT_TRUE(out.rows.empty());
    ASSERT_TRUE(reducer.push_row(bottom.data()));
    ASSERT_TRUE(reducer.finish());
    ASSERT_EQ(out.rows.size(), 1u);
    // (0 + 1 + 1 + 0 + 2) >> 2 = 1; (10 + 20 + 30 + 41 + 2) >> 2 = 25.
    EXPECT_EQ(out.rows[0], grey_row({1, 25}));
}

TEST(PreviewReducer, ChannelsAreKeptApart)
{
    Collected out;
    Reducer reducer = make_reducer(2, 2, out);
    const std::vector<std::uint8_t> top = {255, 0, 9, 255, 0, 9};
    const std::vector<std::uint8_t> bottom = {255, 4, 9, 253, 0, 9};
    reducer.push_row(top.data());
    reducer.push_row(bottom.data());
    ASSERT_EQ(out.rows.size(), 1u);
    EXPECT_EQ(out.rows[0], (std::vector<std::uint8_t>{255, 1, 9}));
}

TEST(PreviewReducer, OddWidthAndHeightRepeatTheEdge)
{
    Collected out;
    Reducer reducer = make_reducer(3, 3, out);
    EXPECT_EQ(reducer.output_width(), 2);
    EXPECT_EQ(reducer.output_height(), 2);
    const auto r0 = grey_row({0, 0, 100});
    const auto r1 = grey_row({0, 0, 201});
    const auto r2 = grey_row({40, 80, 7});
    reducer.push_row(r0.data());
    reducer.push_row(r1.data());
    reducer.push_row(r2.data());
    EXPECT_EQ(out.rows.size(), 1u);
    ASSERT_TRUE(reducer.finish());
    ASSERT_EQ(out.rows.size(), 2u);
    EXPECT_EQ(out.rows[0], grey_row({0, 151}));  // (200 + 402 + 2) >> 2
    EXPECT_EQ(out.rows[1], grey_row({60, 7}));
}

TEST(PreviewReducer, OnePixelPicture)
{
    Collected out;
    Reducer reducer = make_reducer(1, 1, out);
    const auto row = grey_row({77});
    reducer.push_row(row.data());
    ASSERT_TRUE(reducer.finish());
    ASSERT_EQ(out.rows.size(), 1u);
    EXPECT_EQ(out.rows[0], grey_row({77}));
}

TEST(PreviewReducer, MissingOrExtraRowsAndSinkFailuresAreReported)
{
    Collected out;
    Reducer short_reducer = make_reducer(2, 4, out);
    const auto row = grey_row({1, 2});
    short_reducer.push_row(row.data());
    EXPECT_FALSE(short_reducer.finish());

    Reducer full = make_reducer(2, 1, out);
    EXPECT_TRUE(full.push_row(row.data()));
    EXPECT_FALSE(full.push_row(row.data()));

    Reducer failing(2, 2, [](const std::uint8_t*) { return false; });
    EXPECT_TRUE(failing.push_row(row.data()));
    EXPECT_FALSE(failing.push_row(row.data()));
}

// Rows decoded straight into next_row() reduce exactly as rows pushed from
// elsewhere, the unpaired last row of an odd height included.
TEST(PreviewReducer, RowsWrittenInPlaceReduceLikeRowsPushedFromElsewhere)
{
    const int width = 5;
    const int height = 7;
    std::vector<std::vector<std::uint8_t>> rows;
    for (int y = 0; y < height; ++y) {
        std::vector<std::uint8_t> row(width * 3);
        for (int i = 0; i < width * 3; ++i)
            row[i] = static_cast<std::uint8_t>((y * 53 + i * 29) % 256);
        rows.push_back(row);
    }
    Collected pushed;
    Collected in_place;
    Reducer a = make_reducer(width, height, pushed);
    Reducer b = make_reducer(width, height, in_place);
    for (const auto& row : rows) {
        ASSERT_TRUE(a.push_row(row.data()));
        std::uint8_t* target = b.next_row();
        std::copy(row.begin(), row.end(), target);
        ASSERT_TRUE(b.push_row(target));
    }
    ASSERT_TRUE(a.finish());
    ASSERT_TRUE(b.finish());
    ASSERT_EQ(pushed.rows.size(), 4u);
    EXPECT_EQ(in_place.rows, pushed.rows);
}

}  // namespace
