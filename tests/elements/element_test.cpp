// Pen dispatch with capture, visibility and enabled propagation, lookup by
// id, cached drawing, clipping, colours and the visibility animations.

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>
#include "element_test_support.h"
#include "elements/clip_element.h"
#include "elements/color_element.h"
#include "elements/layout_units.h"
#include "elements/visibility_animation.h"
#include "pixels/render_draw.h"

namespace {

ColorElement* add_color(Element& parent, Color color, Point at, Size size)
{
    auto* element = new ColorElement(&parent);
    element->set_color(color);
    element->set_anchors(MIN_SIDE_NO_SIZE, MIN_SIDE_NO_SIZE);
    element->set_borders(at, {});
    element->set_design_size({size.width, size.height});
    return element;
}

Pixel pixel_at(const RenderSurface& surface, int x, int y)
{
    return surface.buffer()->at(x, y);
}

}  // namespace

TEST(PenDispatch, TopmostChildTakesThePenAndKeepsIt)
{
    Element root(nullptr);
    Box* under = add_box(root, {50, 50}, MIN_SIDE, MIN_SIDE);
    Box* over = add_box(root, {50, 50}, MIN_SIDE, MIN_SIDE, {10, 10});
    lay_out(root, {100, 100});
    EXPECT_TRUE(root.on_stylus(pen_down(20, 20)));
    EXPECT_EQ(root.captured(), over);
    root.on_stylus_move({90, 90, 5});
    EXPECT_TRUE(root.on_stylus(pen_up(95, 95)));
    EXPECT_EQ(root.captured(), nullptr);
    EXPECT_TRUE(under->events.empty());
    ASSERT_EQ(over->events.size(), 2u);
    EXPECT_EQ(over->events[1].x, 95);
    ASSERT_EQ(over->moves.size(), 1u);
}

TEST(PenDispatch, SkipsHiddenDisabledAndRefusingChildren)
{
    Element root(nullptr);
    Box* bottom = add_box(root, {50, 50}, MIN_SIDE, MIN_SIDE);
    Box* refusing = add_box(root, {50, 50}, MIN_SIDE, MIN_SIDE);
    Box* disabled = add_box(root, {50, 50}, MIN_SIDE, MIN_SIDE);
    Box* hidden = add_box(root, {50, 50}, MIN_SIDE, MIN_SIDE);
    refusing->takes_pen = false;
    disabled->set_enabled(false);
    hidden->set_visible(false);
    lay_out(root, {100, 100});
    EXPECT_TRUE(root.on_stylus(pen_down(5, 5)));
    EXPECT_EQ(root.captured(), bottom);
    EXPECT_EQ(refusing->events.size(), 1u);
    EXPECT_TRUE(disabled->events.empty());
    EXPECT_TRUE(hidden->events.empty());
    root.on_stylus(pen_up(5, 5));
    EXPECT_FALSE(root.on_stylus(pen_down(70, 70)));
    EXPECT_EQ(root.captured(), nullptr);
}

TEST(PenDispatch, HidingSendsCancelledPenUpToTheCapture)
{
    Element root(nullptr);
    Box* panel = add_box(root, {100, 100});
    panel->takes_children_first = true;
    Box* button = add_box(*panel, {20, 20}, MIN_SIDE, MIN_SIDE);
    lay_out(root, {100, 100});
    root.on_stylus(pen_down(5, 5));
    ASSERT_EQ(panel->captured(), button);
    panel->set_visible(false);
    ASSERT_EQ(button->events.size(), 2u);
    EXPECT_FALSE(button->events[1].down);
    EXPECT_TRUE(button->events[1].cancelled);
    EXPECT_EQ(panel->captured(), nullptr);
}

TEST(ElementState, EnabledAndVisibleFollowTheParent)
{
    Element root(nullptr);
    Element* panel = new Element(&root);
    Element* child = new Element(panel);
    panel->set_enabled(false);
    EXPECT_TRUE(child->is_enabled());
    EXPECT_FALSE(child->is_effectively_enabled());
    Element* late = new Element(panel);
    EXPECT_FALSE(late->is_effectively_enabled());
    child->set_enabled(false);
    panel->set_enabled(true);
    EXPECT_FALSE(child->is_effectively_enabled());
    EXPECT_TRUE(late->is_effectively_enabled());
    root.set_visible(false);
    EXPECT_FALSE(child->is_effectively_visible());
    EXPECT_TRUE(child->is_visible());
    root.set_visible(true);
    EXPECT_TRUE(child->is_effectively_visible());
}

TEST(ElementTree, FindsChildrenBeforeGrandchildren)
{
    Element root(nullptr);
    Element* first = new Element(&root);
    Element* deep = new Element(first);
    deep->set_id(u"x");
    Element* second = new Element(&root);
    second->set_id(u"x");
    EXPECT_EQ(root.find_by_id(u"x"), second);
    EXPECT_EQ(first->find_by_id(u"x"), deep);
    EXPECT_EQ(root.find_by_id(u"y"), nullptr);
    EXPECT_EQ(root.find_by_id(u""), nullptr);
}

TEST(ElementTree, DestroyingAChildLeavesTheParentConsistent)
{
    long before = Element::live_count();
    Element root(nullptr);
    Box* child = add_box(root, {10, 10});
    lay_out(root, {10, 10});
    root.on_stylus(pen_down(1, 1));
    ASSERT_EQ(root.captured(), child);
    delete child;
    EXPECT_TRUE(root.children().empty());
    EXPECT_EQ(root.captured(), nullptr);
    EXPECT_TRUE(root.is_layout_invalid());
    EXPECT_FALSE(root.on_stylus(pen_up(1, 1)));
    EXPECT_EQ(Element::live_count(), before + 1);
}

// The loader thread builds a screen while the main thread builds others.
TEST(ElementTree, ElementsBuiltOnTwoThreadsAreAllCounted)
{
    const long before = Element::live_count();
    constexpr int per_thread = 20000;
    std::vector<std::unique_ptr<Element>> first, second;
    auto build = [](std::vector<std::unique_ptr<Element>>& elements) {
        for (int i = 0; i < per_thread; ++i)
            elements.push_back(std::make_unique<Element>(nullptr));
    };
    std::thread other(build, std::ref(first));
    build(second);
    other.join();
    EXPECT_EQ(Element::live_count(), before + 2 * per_thread);
    std::thread clearing([&first] { first.clear(); });
    second.clear();
    clearing.join();
    EXPECT_EQ(Element::live_count(), before);
}

TEST(ElementDrawing, ColourFillAndClipping)
{
    Element root(nullptr);
    auto* clip = new ClipElement(&root);
    clip->set_anchors(MIN_SIDE_NO_SIZE, MIN_SIDE_NO_SIZE);
    clip->set_borders({4, 4}, {});
    clip->set_design_size({8, 8});
    add_color(*clip, {255, 0, 0, 0}, {0, 0}, {20, 20});
    lay_out(root, {32, 32});
    RenderSurface surface({32, 32});
    fill_rect(surface, Rect::of({0, 0}, {32, 32}), 0x1234);
    root.draw(surface, {0, 0});
    EXPECT_EQ(pixel_at(surface, 4, 4), 0xF800);
    EXPECT_EQ(pixel_at(surface, 11, 11), 0xF800);
    EXPECT_EQ(pixel_at(surface, 12, 11), 0x1234);
    EXPECT_EQ(pixel_at(surface, 11, 12), 0x1234);
    EXPECT_EQ(pixel_at(surface, 3, 3), 0x1234);
    EXPECT_EQ(surface.clip_depth(), 0);
}

TEST(ElementDrawing, CachedImageKeepsTransparencyAndRedrawsWhenDirty)
{
    Element root(nullptr);
    Element* cached = add_box(root, {0, 0});
    cached->set_cache(true, 0);
    ColorElement* spot = add_color(*cached, {0, 0, 255, 255}, {2, 2}, {2, 2});
    lay_out(root, {8, 8});
    RenderSurface surface({8, 8});
    fill_rect(surface, Rect::of({0, 0}, {8, 8}), 0x07E0);
    root.draw(surface, {0, 0});
    EXPECT_EQ(cached->cache_surface().size(), (Size{8, 8}));
    EXPECT_EQ(pixel_at(surface, 0, 0), 0x07E0);
    EXPECT_EQ(pixel_at(surface, 2, 2), 0x001F);
    EXPECT_FALSE(cached->is_dirty());
    spot->set_color({255, 255, 255, 255});
    EXPECT_TRUE(cached->is_dirty());
    root.draw(surface, {0, 0});
    EXPECT_EQ(pixel_at(surface, 3, 3), 0xFFFF);
    cached->set_visible(false);
    EXPECT_EQ(cached->cache_surface().size(), (Size{0, 0}));
}

TEST(VisibilityAnimations, KindsAndSpeeds)
{
    EXPECT_EQ(VisibilityAnimation::create(u"scale")->speed(), 0.125);
    EXPECT_EQ(VisibilityAnimation::create(u"pop")->speed(), 0.5);
    EXPECT_EQ(VisibilityAnimation::create(u"flip")->speed(), 0.5);
    EXPECT_EQ(VisibilityAnimation::create(u"top")->kind(), VisibilityAnimation::top);
    EXPECT_EQ(VisibilityAnimation::create(u"Scale"), nullptr);
    EXPECT_EQ(VisibilityAnimation::create(u"fade"), nullptr);
}

TEST(VisibilityAnimations, ShowRunsOnTheFrameClockAndReversesInPlace)
{
    Element root(nullptr);
    Element* panel = add_box(root, {0, 0});
    add_color(*panel, {255, 255, 255, 255}, {0, 0}, {16, 16});
    panel->set_visibility_animation(u"scale");
    panel->set_visible(false);
    lay_out(root, {16, 16});
    panel->show_animated(true);
    VisibilityAnimation* animation = panel->visibility_animation();
    ASSERT_TRUE(animation->is_running());
    EXPECT_EQ(animation->progress(), 0.0);
    EXPECT_EQ(panel->cache_surface().size(), (Size{0, 0}));  // the image went to the animation
    RenderSurface surface({16, 16});
    for (int frame = 0; frame < 40; ++frame)
        root.update(0.02);  // 0.8 s of 1.6 s
    EXPECT_NEAR(animation->progress(), 0.5, 1e-9);
    root.draw(surface, {0, 0});
    EXPECT_EQ(surface.buffer()->at(8, 8), 0xFFFF);
    EXPECT_NE(surface.buffer()->at(0, 0), 0xFFFF);
    panel->show_animated(false);
    EXPECT_EQ(animation->direction(), -1);
    EXPECT_NEAR(animation->progress(), 0.5, 1e-9);
    EXPECT_FALSE(panel->is_visible());
    for (int frame = 0; frame < 40; ++frame)
        root.update(0.02);
    EXPECT_FALSE(animation->is_running());
    EXPECT_EQ(animation->progress(), 0.0);
}

TEST(VisibilityAnimations, SlidesAndFoldsStayInsideTheElement)
{
    for (const char16_t* kind : {u"right", u"left", u"top", u"bottom", u"flip", u"pop"}) {
        Element root(nullptr);
        Element* panel = add_box(root, {0, 0}, BOTH_SIDE, BOTH_SIDE, {4, 4}, {4, 4});
        add_color(*panel, {255, 255, 255, 255}, {0, 0}, {8, 8});
        panel->set_visibility_animation(kind);
        panel->set_visible(false);
        lay_out(root, {16, 16});
        panel->show_animated(true);
        root.update(0.2);
        RenderSurface surface({16, 16});
        fill_rect(surface, Rect::of({0, 0}, {16, 16}), 0);
        root.draw(surface, {0, 0});
        bool pop = String(kind) == u"pop";
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                if (!pop && (x < 4 || y < 4 || x >= 12 || y >= 12)) {
                    EXPECT_EQ(surface.buffer()->at(x, y), 0);
                }
            }
        }
        root.update(10.0);
        EXPECT_FALSE(panel->visibility_animation()->is_running());
        EXPECT_EQ(panel->visibility_animation()->progress(), 1.0);
    }
}
