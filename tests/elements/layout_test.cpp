// Anchor names, the placement and measuring formulas with their rounding,
// and trees too deep or too wide for naive recursion.

#include <gtest/gtest.h>
#include "element_test_support.h"
#include "elements/layout_units.h"
#include "pixels/render_draw.h"

TEST(AnchorNames, ExactNamesOnly)
{
    for (const AnchorModeName& name : anchor_mode_names) {
        EXPECT_EQ(anchor_mode_from_text(name.wide_name), name.value);
        EXPECT_EQ(from_ascii(name.name), String(name.wide_name));
    }
    EXPECT_FALSE(anchor_mode_from_text(u"center"));
    EXPECT_FALSE(anchor_mode_from_text(u"MIN_SIDE "));
    EXPECT_FALSE(anchor_mode_from_text(u"MID_SIDE"));
    EXPECT_FALSE(anchor_mode_from_text(u""));
    EXPECT_FALSE(anchor_mode_from_text(u"MIN_SIDE_NO_SIZF"));
}

TEST(AnchorFormulas, SizesAndOffsets)
{
    // MAX_SIDE against a 4-pixel far border in a 100-pixel parent.
    EXPECT_EQ(anchored_size(MAX_SIDE, 0, 30, 4, 100), 30);
    EXPECT_EQ(anchored_offset(MAX_SIDE, 0, 30, 4, 100), 66);
    // CENTER rounds the odd free space toward the near side.
    EXPECT_EQ(anchored_offset(CENTER, 0, 50, 0, 101), 25);
    EXPECT_EQ(anchored_offset(CENTER, 10, 80, 10, 100), 10);
    // Widths never go negative.
    EXPECT_EQ(anchored_size(BOTH_SIDE, 60, 0, 60, 100), 0);
    EXPECT_EQ(anchored_size(MIN_SIDE, 120, 30, 0, 100), 0);
    EXPECT_EQ(anchored_size(CENTER, 0, 50, 0, -5), 0);
    EXPECT_EQ(anchored_offset(MAX_SIDE, 0, 130, 0, 100), 0);
    // The natural size is kept only by the unclamped modes.
    EXPECT_EQ(anchored_size(MIN_SIDE, 5, 200, 0, 100), 95);
    EXPECT_EQ(anchored_size(MIN_SIDE_NO_SIZE, 5, 200, 0, 100), 200);
    EXPECT_EQ(anchored_size(MAX_SIDE_NO_SIZE, 0, 200, 5, 100), 200);
    EXPECT_EQ(anchored_size(RATIO, 10, 200, 20, 100), 70);
    // Huge borders from a skin do not wrap around.
    EXPECT_EQ(anchored_size(BOTH_SIDE, -2147483647, 0, -2147483647, 100), 2147483647);
    EXPECT_EQ(anchored_need(BOTH_SIDE, 2147483647, 2147483647, 2147483647), 2147483647);
}

TEST(AnchorFormulas, NeedsAndBorderSums)
{
    EXPECT_EQ(anchored_need(MIN_SIDE, 3, 10, 7), 13);
    EXPECT_EQ(anchored_need(BOTH_SIDE, 3, 10, 7), 20);
    EXPECT_EQ(anchored_need(MAX_SIDE, 3, 10, 7), 17);
    EXPECT_EQ(anchored_need(CENTER, 3, 10, 7), 20);
    EXPECT_EQ(anchored_need(MIN_SIDE_NO_SIZE, 3, 10, 7), 0);
    EXPECT_EQ(anchored_need(MAX_SIDE_NO_SIZE, 3, 10, 7), 0);
    EXPECT_EQ(anchored_border_sum(MIN_SIDE_NO_SIZE, 3, 7), 3);
    EXPECT_EQ(anchored_border_sum(MAX_SIDE_NO_SIZE, 3, 7), 7);
    EXPECT_EQ(anchored_border_sum(RATIO, 3, 7), 10);
}

TEST(ElementLayout, PlacesChildrenByTheirAnchors)
{
    auto screen = std::make_unique<Element>(nullptr);
    Box* right = add_box(*screen, {30, 10}, MAX_SIDE, MIN_SIDE, {0, 0}, {4, 0});
    Box* centred = add_box(*screen, {50, 20}, CENTER, CENTER);
    Box* filled = add_box(*screen, {5, 5}, BOTH_SIDE, BOTH_SIDE, {60, 2}, {60, 3});
    Box* wide = add_box(*screen, {300, 10}, MIN_SIDE_NO_SIZE, MIN_SIDE);
    screen->set_horizontal(20, 100);
    screen->set_vertical(10, 101);
    EXPECT_EQ(right->x(), 86);
    EXPECT_EQ(right->width(), 30);
    EXPECT_EQ(right->y(), 10);
    EXPECT_EQ(centred->x(), 20 + 25);
    EXPECT_EQ(centred->y(), 10 + 40);
    EXPECT_EQ(filled->width(), 0);
    EXPECT_EQ(filled->height(), 96);
    EXPECT_EQ(wide->width(), 300);
}

TEST(ElementLayout, MeasuresWithDesignSizeAndAnchors)
{
    Element parent(nullptr);
    parent.set_design_size({40, 0});
    add_box(parent, {30, 10}, MIN_SIDE, MIN_SIDE, {5, 0});
    add_box(parent, {20, 10}, BOTH_SIDE, BOTH_SIDE, {5, 0}, {6, 0});
    add_box(parent, {500, 500}, MIN_SIDE_NO_SIZE, MAX_SIDE_NO_SIZE);
    EXPECT_EQ(parent.measured_width().natural, 40);
    add_box(parent, {50, 10}, MAX_SIDE, MIN_SIDE, {0, 0}, {7, 0});
    EXPECT_EQ(parent.measured_width().natural, 57);
    EXPECT_EQ(parent.measured_height().natural, 10);
}

TEST(ElementLayout, MinimumFollowsWhatChildrenCanGiveUp)
{
    Element parent(nullptr);
    Box* shrinking = new Box(&parent, {100, 10}, {40, 10});
    shrinking->set_borders({5, 0}, {5, 0});
    MeasuredSize width = parent.measured_width();
    EXPECT_EQ(width.natural, 110);
    EXPECT_EQ(width.minimum, 50);
}

TEST(ElementLayout, SamePlacementTwiceDoesNothing)
{
    Element parent(nullptr);
    Box* child = add_box(parent, {10, 10});
    lay_out(parent, {100, 100});
    int layouts = child->horizontal_layouts;
    lay_out(parent, {100, 100});
    EXPECT_EQ(child->horizontal_layouts, layouts);
    child->set_natural({20, 20});
    lay_out(parent, {100, 100});
    EXPECT_EQ(child->horizontal_layouts, layouts + 1);
}

TEST(ElementLayout, ChangesPropagateUpTheChain)
{
    Element root(nullptr);
    Element* middle = new Element(&root);
    Box* leaf = add_box(*middle, {10, 10}, MIN_SIDE, MIN_SIDE);
    lay_out(root, {50, 50});
    RenderSurface surface({50, 50});
    root.draw(surface, {0, 0});
    EXPECT_FALSE(root.is_dirty());
    EXPECT_FALSE(root.is_layout_invalid());
    leaf->mark_dirty();
    EXPECT_TRUE(middle->is_dirty());
    EXPECT_TRUE(root.is_dirty());
    EXPECT_FALSE(root.is_layout_invalid());
    leaf->set_natural({30, 30});
    EXPECT_TRUE(root.is_layout_invalid());
    EXPECT_EQ(root.measured_width().natural, 30);
    lay_out(root, {50, 50});
    EXPECT_EQ(leaf->width(), 30);
}

TEST(ElementLayout, ResolutionChangeRelaysOutTheWholeTree)
{
    Element root(nullptr);
    Element* panel = add_box(root, {0, 0}, BOTH_SIDE, BOTH_SIDE, {10, 10}, {10, 10});
    Box* corner = add_box(*panel, {20, 20}, MAX_SIDE, MAX_SIDE);
    lay_out(root, {240, 320});
    EXPECT_EQ(corner->x(), 240 - 10 - 20);
    lay_out(root, {800, 480});
    EXPECT_EQ(corner->x(), 800 - 10 - 20);
    EXPECT_EQ(corner->y(), 480 - 10 - 20);
}

// A chain as deep as a skin can never be, but as deep as code may build.
TEST(ElementLayout, DeepChainLaysOutAndDraws)
{
    Element root(nullptr);
    Element* parent = &root;
    for (int level = 0; level < 1000; ++level) {
        Element* child = new Element(parent);
        child->set_borders({level % 2, 0}, {0, 0});
        parent = child;
    }
    Box* leaf = add_box(*parent, {4, 4}, MIN_SIDE, MIN_SIDE);
    EXPECT_EQ(root.measured_width().natural, 500 + 4);
    lay_out(root, {640, 480});
    EXPECT_EQ(leaf->x(), 500);
    RenderSurface surface({640, 480});
    root.draw(surface, {0, 0});
    EXPECT_EQ(root.find_by_id(u"missing"), nullptr);
    root.dump(0);
}

TEST(ElementLayout, TenThousandChildrenLayOutAndDraw)
{
    long before = Element::live_count();
    {
        Element root(nullptr);
        for (int i = 0; i < 10000; ++i) {
            Box* box = add_box(root, {1, 1}, MIN_SIDE, MIN_SIDE, {i % 640, i / 640});
            if (i == 9999)
                box->set_id(u"last");
        }
        lay_out(root, {640, 480});
        RenderSurface surface({640, 480});
        root.draw(surface, {0, 0});
        Element* last = root.find_by_id(u"last");
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->x(), 9999 % 640);
        EXPECT_EQ(Element::live_count(), before + 10001);
    }
    EXPECT_EQ(Element::live_count(), before);
}

namespace {

// A box that fills its own rectangle, so a test sees where layout and drawing put it.
class Painter : public Box {
public:
    using Box::Box;
    static constexpr Pixel paint = 0x1234;
    void draw_content(DrawTarget& target, Point origin) override
    {
        const auto far_edge = [](std::int32_t start, std::int32_t length) {
            return static_cast<std::int32_t>(std::min<long long>(static_cast<long long>(start) + length, INT32_MAX));
        };
        fill_rect(target, {origin.x, origin.y, far_edge(origin.x, width()), far_edge(origin.y, height())}, paint);
        Box::draw_content(target, origin);
    }
};

// The rectangle covered by painted pixels (empty when none).
Rect painted_box(const PixelBuffer& buffer)
{
    Rect box{buffer.width(), buffer.height(), 0, 0};
    for (int y = 0; y < buffer.height(); ++y)
        for (int x = 0; x < buffer.width(); ++x)
            if (buffer.at(x, y) == Painter::paint)
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                       std::max(box.bottom, y + 1)};
    return box;
}

}  // namespace

TEST(ElementLayout, DegenerateGeometryDrawsNothingOutside)
{
    Element root(nullptr);
    auto* negative = new Painter(&root, {-50, -50});
    negative->set_anchors(MIN_SIDE, MIN_SIDE);
    negative->set_borders({-1000, -1000}, {});
    auto* huge = new Painter(&root, {2147483647, 2147483647});
    huge->set_anchors(MIN_SIDE_NO_SIZE, MIN_SIDE_NO_SIZE);
    huge->set_borders({2147483647, 2147483647}, {});
    auto* plain = new Painter(&root, {8, 8});
    plain->set_anchors(MIN_SIDE, MIN_SIDE);
    plain->set_borders({4, 4}, {});
    lay_out(root, {-10, -10});
    EXPECT_EQ(root.width(), 0);
    EXPECT_GE(negative->width(), 0);
    EXPECT_GE(huge->width(), 0);

    lay_out(root, {16, 16});
    RenderSurface surface({16, 16});
    surface.buffer()->clear(0);
    root.draw(surface, {0, 0});
    EXPECT_EQ(painted_box(*surface.buffer()), (Rect{4, 4, 12, 12}));

    surface.buffer()->clear(0);
    root.draw(surface, {2147483600, -2147483600});
    root.draw(surface, {-2147483600, 2147483600});
    EXPECT_TRUE(painted_box(*surface.buffer()).is_empty());
}
