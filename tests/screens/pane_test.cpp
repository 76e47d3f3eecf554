// The tiled picture pane: level arithmetic, the tiles a view covers, the
// cache with its reuse by oldest stamp, delivery and the tiles still needed,
// drawing of sharper tiles over coarser ones, and landscape.

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>
#include "pixels/render_surface.h"
#include "screens/picture_pane.h"

namespace {

struct Ask {
    int tx, ty, level;
    friend bool operator==(const Ask&, const Ask&) = default;
};

class RecordingRequester : public TileRequester {
public:
    void add_tile(PicturePane*, int tx, int ty, int level) override { asks.push_back({tx, ty, level}); }
    std::vector<Ask> asks;
};

std::unique_ptr<RenderSurface> solid_tile(Pixel value, Size size = {256, 256})
{
    auto tile = std::make_unique<RenderSurface>(size);
    tile->buffer()->clear(value);
    return tile;
}

class PaneTest : public testing::Test {
protected:
    PaneTest() : pane(nullptr), frame(Size{240, 320})
    {
        pane.set_horizontal(0, 240);
        pane.set_vertical(0, 320);
        pane.set_requester(&requester);
    }
    void draw() { pane.draw_content(frame, {0, 0}); }
    Pixel at(int x, int y) const { return frame.buffer()->at(x, y); }

    PicturePane pane;
    RenderSurface frame;
    RecordingRequester requester;
};

constexpr Pixel red = 0xF800 | 0x20;
constexpr Pixel blue = 0x001F | 0x20;

}  // namespace

TEST(PaneLevels, TopLevelCoversThePictureWithPowerOfTwoTiles)
{
    EXPECT_EQ(PicturePane::top_level_for({1600, 1200}, {256, 256}), 3);  // 7 x 5 tiles
    EXPECT_EQ(PicturePane::top_level_for({256, 256}, {256, 256}), 0);
    EXPECT_EQ(PicturePane::top_level_for({257, 10}, {256, 256}), 1);
    EXPECT_EQ(PicturePane::top_level_for({8660, 5773}, {256, 256}), 6);
    EXPECT_EQ(PicturePane::top_level_for({45, 45}, {64, 64}), 0);
    EXPECT_EQ(PicturePane::top_level_for({0, 0}, {256, 256}), 0);
    EXPECT_EQ(PicturePane::top_level_for({100, 100}, {0, 0}), 0);
}

TEST(PaneLevels, LowestLevelIsTheLargestThatTheScreenHolds)
{
    EXPECT_EQ(PicturePane::lowest_level_for({240, 320}, {256, 256}, 5), 0);
    EXPECT_EQ(PicturePane::lowest_level_for({1024, 1024}, {256, 256}, 5), 2);
    EXPECT_EQ(PicturePane::lowest_level_for({1024, 600}, {256, 256}, 5), 1);
    // Never above the picture's top level.
    EXPECT_EQ(PicturePane::lowest_level_for({4096, 4096}, {256, 256}, 1), 1);
}

TEST(PaneLevels, ZoomClampFallsBackToTheLowestLevel)
{
    EXPECT_EQ(PicturePane::clamp_zoom(-0.3, 1, 4), 1.0);
    EXPECT_EQ(PicturePane::clamp_zoom(4.5, 1, 4), 1.0);
    EXPECT_EQ(PicturePane::clamp_zoom(2.25, 1, 4), 2.25);
    EXPECT_EQ(PicturePane::clamp_zoom(4.0, 1, 4), 4.0);
    EXPECT_EQ(PicturePane::clamp_zoom(std::nan(""), 1, 4), 1.0);
}

TEST_F(PaneTest, ConfigureComputesLevelsAndKeepsTheZoomInRange)
{
    pane.configure({256, 256}, {1600, 1200}, false);
    EXPECT_EQ(pane.top_level(), 3);
    EXPECT_EQ(pane.lowest_level(), 0);
    pane.set_zoom(7.0);
    EXPECT_EQ(pane.zoom(), 0.0);
    pane.set_zoom(2.5);
    EXPECT_EQ(pane.zoom(), 2.5);
    // The finer of the two levels around the zoom is the one drawn and asked for.
    EXPECT_EQ(pane.current_level(), 3);
    pane.set_zoom(2.0);
    EXPECT_EQ(pane.current_level(), 2);
    // A smaller picture keeps a zoom that still lies in its levels, else falls to the lowest.
    pane.configure({256, 256}, {300, 300}, false);
    EXPECT_EQ(pane.zoom(), 0.0);
    EXPECT_GE(pane.cache_capacity(), 16);
}

TEST_F(PaneTest, CoveredTilesFollowTheViewAndStopAtTheGrid)
{
    pane.configure({256, 256}, {1600, 1200}, false);
    pane.set_zoom(3.0);
    pane.set_scroll(800, 600);
    TileRange range = pane.covered_tiles(3);
    EXPECT_EQ(range.first_x, 2);  // (800 - 120) / 256
    EXPECT_EQ(range.last_x, 3);   // (800 + 120) / 256
    EXPECT_EQ(range.first_y, 1);  // (600 - 160) / 256
    EXPECT_EQ(range.last_y, 2);   // (600 + 160) / 256
    // At the right and bottom edges the grid of 7 x 5 tiles ends the range.
    pane.set_scroll(1590, 1190);
    range = pane.covered_tiles(3);
    EXPECT_EQ(range.last_x, 6);
    EXPECT_EQ(range.last_y, 4);
    // A coarser level's tiles are displayed larger: fewer of them cover the view.
    range = pane.covered_tiles(2);
    EXPECT_EQ(range.first_x, 2);  // (1590 - 120) / 512
    EXPECT_EQ(range.last_x, 3);   // the level is 800 wide: 4 columns
    EXPECT_EQ(range.last_y, 2);   // and 600 high: 3 rows
    // The view before the picture's start covers nothing left of column 0.
    pane.set_scroll(-500, 0);
    range = pane.covered_tiles(3);
    EXPECT_EQ(range.first_x, 0);
    EXPECT_TRUE(range.is_empty());
}

TEST_F(PaneTest, LandscapeExchangesTheViewSides)
{
    pane.configure({256, 256}, {1600, 1200}, true);
    EXPECT_EQ(pane.view_size(), (Size{320, 240}));
    pane.set_zoom(3.0);
    pane.set_scroll(800, 600);
    TileRange range = pane.covered_tiles(3);
    EXPECT_EQ(range.first_x, 2);  // (800 - 160) / 256
    EXPECT_EQ(range.last_x, 3);   // (800 + 160) / 256
    EXPECT_EQ(range.first_y, 1);  // (600 - 120) / 256
    EXPECT_EQ(range.last_y, 2);
}

TEST_F(PaneTest, DrawingAsksEachVisibleTileOnce)
{
    pane.configure({256, 256}, {1600, 1200}, false);
    pane.set_zoom(3.0);
    pane.set_scroll(800, 600);
    draw();
    std::vector<Ask> expected{{2, 1, 3}, {3, 1, 3}, {2, 2, 3}, {3, 2, 3}};
    EXPECT_EQ(requester.asks, expected);
    draw();
    EXPECT_EQ(requester.asks.size(), 4u);
    EXPECT_EQ(pane.cache_size(), 4);
    // Nothing arrived: the pane shows its empty colour.
    EXPECT_EQ(at(120, 160), Pixel(0 | 0x20));
}

TEST_F(PaneTest, NoTilesAreAskedWhileTheZoomMoves)
{
    pane.configure({256, 256}, {1600, 1200}, false);
    pane.set_zoom(1.0);
    pane.zoom_towards_center(2.0);
    ASSERT_TRUE(pane.is_zooming());
    draw();
    EXPECT_TRUE(requester.asks.empty());
    EXPECT_EQ(pane.cache_size(), 0);
    // The animation reaches its target exactly and the tiles of level 2 are asked.
    for (int frame = 0; frame < 100 && pane.is_zooming(); ++frame)
        pane.update(0.02);
    EXPECT_EQ(pane.zoom(), 2.0);
    draw();
    ASSERT_FALSE(requester.asks.empty());
    for (const Ask& ask : requester.asks)
        EXPECT_EQ(ask.level, 2);
}

TEST_F(PaneTest, ZoomKeepsTheAnchorPointInPlace)
{
    pane.configure({256, 256}, {1600, 1200}, false);
    pane.set_zoom(2.0);
    pane.set_scroll(400, 300);
    const Point anchor{60, 100};
    const PanePoint before = pane.picture_point(anchor);
    pane.zoom_towards(3.0, anchor);
    for (int frame = 0; frame < 100 && pane.is_zooming(); ++frame)
        pane.update(0.02);
    const PanePoint after = pane.picture_point(anchor);
    EXPECT_NEAR(after.x, before.x, 0.5);
    EXPECT_NEAR(after.y, before.y, 0.5);
}

TEST_F(PaneTest, DeliveredTileIsDrawnAndADroppedOneIsNot)
{
    pane.configure({256, 256}, {200, 150}, false);  // one tile, level 0
    draw();
    ASSERT_EQ(requester.asks, (std::vector<Ask>{{0, 0, 0}}));
    pane.deliver_tile(0, 0, 0, solid_tile(red));
    EXPECT_TRUE(pane.has_real_tile(0, 0, 0));
    EXPECT_TRUE(pane.is_dirty());
    draw();
    EXPECT_EQ(at(120, 160), red);
    // Outside the picture the empty colour stays, even where the tile reaches.
    EXPECT_NE(at(5, 5), red);
    // A tile without an entry (reused or never made) is dropped.
    pane.deliver_tile(3, 3, 0, solid_tile(blue));
    EXPECT_FALSE(pane.has_real_tile(3, 3, 0));
    EXPECT_EQ(pane.cache_size(), 1);
}

TEST_F(PaneTest, FullCacheReusesTheEntryUsedLongestAgo)
{
    pane.configure({256, 256}, {20000, 300}, false);  // one row of 79 tiles at full size
    pane.set_zoom(pane.top_level());
    const int capacity = pane.cache_capacity();
    // Walk along the row: each frame shows one or two new tiles.
    for (int step = 0; step < capacity + 10; ++step) {
        pane.set_scroll(128 + 256.0 * step, 150);
        draw();
    }
    EXPECT_EQ(pane.cache_size(), capacity);
    // The first tiles were used longest ago and went; the last ones are still there.
    EXPECT_FALSE(pane.tile_needed(0, 0, pane.top_level(), nullptr));
    EXPECT_TRUE(pane.tile_needed(capacity + 9, 0, pane.top_level(), nullptr));
    // A tile for a reused entry is dropped.
    pane.deliver_tile(0, 0, pane.top_level(), solid_tile(red));
    EXPECT_FALSE(pane.has_real_tile(0, 0, pane.top_level()));
}

TEST_F(PaneTest, EntriesUsedInTheFrameAreNeverTakenFromEachOther)
{
    // A view that shows more tiles than the cache holds takes what fits and keeps it.
    pane.set_horizontal(0, 4000);
    pane.set_vertical(0, 4000);
    RenderSurface big(Size{4000, 4000});
    pane.configure({64, 64}, {4000, 4000}, false);
    pane.set_zoom(pane.top_level());
    pane.set_scroll(2000, 2000);
    pane.draw_content(big, {0, 0});
    const std::size_t first = requester.asks.size();
    EXPECT_EQ(first, std::size_t(pane.cache_capacity()));
    pane.draw_content(big, {0, 0});
    EXPECT_EQ(requester.asks.size(), first);
}

TEST_F(PaneTest, TileNeededReportsTheDistanceFromTheViewCentre)
{
    pane.configure({256, 256}, {1600, 1200}, false);
    pane.set_zoom(3.0);
    pane.set_scroll(640, 384);  // the centre of tile (2, 1)
    draw();
    double distance = -1;
    EXPECT_TRUE(pane.tile_needed(2, 1, 3, &distance));
    EXPECT_DOUBLE_EQ(distance, 0.0);
    EXPECT_TRUE(pane.tile_needed(2, 2, 3, &distance));
    EXPECT_DOUBLE_EQ(distance, 256.0 * 256.0);
    EXPECT_FALSE(pane.tile_needed(6, 4, 3, &distance));
    // A new picture empties the cache.
    pane.configure({256, 256}, {1600, 1200}, false);
    EXPECT_FALSE(pane.tile_needed(2, 1, 3, nullptr));
}

TEST_F(PaneTest, SharperTilesCoverCoarserOnesWhileZooming)
{
    pane.configure({256, 256}, {400, 400}, false);  // levels 0 and 1
    pane.set_zoom(1.0);
    pane.set_scroll(200, 200);
    draw();
    pane.deliver_tile(0, 0, 1, solid_tile(blue));
    pane.set_zoom(0.0);
    pane.set_scroll(100, 100);
    draw();
    pane.deliver_tile(0, 0, 0, solid_tile(red));
    // Zoom back in: until level 1's tiles are complete the coarse tile shows,
    // with the sharp tile that is already there over it.
    pane.zoom_towards_center(1.0);
    pane.update(0.25);
    ASSERT_TRUE(pane.is_zooming());
    draw();
    // The picture (283 pixels at zoom 0.5) overhangs the 240-pixel view on both sides.
    const int top = static_cast<int>(160 - pane.content_size().y / 2);
    EXPECT_EQ(at(10, top + 2), blue);  // tile (0, 0) of level 1
    EXPECT_EQ(at(230, top + 2), red);  // level 1's (1, 0) is missing: level 0 shows
}

TEST_F(PaneTest, LandscapeDrawsThePictureTurnedClockwise)
{
    pane.configure({256, 256}, {200, 100}, true);  // 200 across the picture runs down the screen
    draw();
    pane.deliver_tile(0, 0, 0, solid_tile(red));
    draw();
    // The picture stands 100 wide and 200 high in the middle of the pane.
    EXPECT_EQ(at(120, 160), red);
    EXPECT_EQ(at(72, 160), red);
    EXPECT_NE(at(60, 160), red);
    EXPECT_EQ(at(120, 62), red);
    EXPECT_NE(at(120, 50), red);
}

TEST_F(PaneTest, DragPastTheEdgeOverscrollsAndSettlesBack)
{
    pane.configure({256, 256}, {200, 150}, false);
    pane.set_interactive(true);
    ASSERT_TRUE(pane.on_stylus({120, 160, 0, 0, true, false}));
    pane.on_stylus_move({150, 160, 100});
    pane.on_stylus_move({200, 160, 200});
    EXPECT_NEAR(pane.overscroll(), -80.0, 0.01);  // dragged right: towards the previous picture
    pane.on_stylus({200, 160, 300, 0, false, false});
    for (int frame = 0; frame < 200 && pane.overscroll() != 0.0; ++frame)
        pane.update(0.02);
    EXPECT_EQ(pane.overscroll(), 0.0);
    EXPECT_FALSE(pane.hit_test({-5, -5}));
    pane.set_interactive(false);
    EXPECT_FALSE(pane.hit_test({120, 160}));
}

TEST_F(PaneTest, FlingIsLimitedAndStops)
{
    pane.configure({256, 256}, {20000, 300}, false);
    pane.set_zoom(pane.top_level());
    pane.set_scroll(10000, 150);
    pane.set_interactive(true);
    pane.on_stylus({200, 160, 0, 0, true, false});
    for (int i = 1; i <= 5; ++i)
        pane.on_stylus_move({200 - 40 * i, 160, 10 * i});
    pane.on_stylus({0, 160, 60, 0, false, false});
    ASSERT_TRUE(pane.is_flinging());
    double previous = pane.scroll_position().x;
    pane.update(0.01);
    EXPECT_LE(pane.scroll_position().x - previous, PicturePane::max_fling_speed * 0.01 + 1e-6);
    for (int frame = 0; frame < 2000 && pane.is_flinging(); ++frame)
        pane.update(0.02);
    EXPECT_FALSE(pane.is_flinging());
    EXPECT_GT(pane.scroll_position().x, previous);
}

TEST_F(PaneTest, ZoomWhileFlingingStopsTheFlingAndKeepsThePictureInRange)
{
    pane.configure({256, 256}, {20000, 3000}, false);
    pane.set_zoom(pane.top_level());
    pane.set_scroll(10000, 1500);
    pane.set_interactive(true);
    pane.on_stylus({200, 160, 0, 0, true, false});
    for (int i = 1; i <= 5; ++i)
        pane.on_stylus_move({200 - 40 * i, 160 + 10 * i, 10 * i});
    pane.on_stylus({0, 210, 60, 0, false, false});
    ASSERT_TRUE(pane.is_flinging());
    pane.zoom_towards_center(pane.lowest_level());
    EXPECT_FALSE(pane.is_flinging());
    requester.asks.clear();
    for (int frame = 0; frame < 500 && pane.is_zooming(); ++frame) {
        pane.update(0.02);
        draw();
        EXPECT_EQ(pane.overscroll(), 0.0);
    }
    EXPECT_EQ(pane.zoom(), pane.lowest_level());
    // Only once the zoom stands still are tiles asked for, all of the new level.
    draw();
    ASSERT_FALSE(requester.asks.empty());
    for (const Ask& ask : requester.asks)
        EXPECT_EQ(ask.level, pane.lowest_level());
}
