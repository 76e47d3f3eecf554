// Clicks from pen and key, the press reports, disabled buttons and the
// multi-state element's cycle.

#include <gtest/gtest.h>
#include "element_test_support.h"
#include "elements/button.h"
#include "elements/layout_units.h"
#include "elements/multi_state.h"
#include "platform/key_codes.h"
#include "skin/plexor.h"

namespace {

class Recorder : public ButtonListener {
public:
    bool on_click(Button*, const ButtonEvent& event) override
    {
        clicks.push_back(event.point);
        return true;
    }
    void on_press_changed(Button*, const ButtonEvent& event) override { press_flags.push_back(event.flag); }
    void on_drag(Button*, ButtonDrag& drag) override
    {
        drags.push_back(drag.delta);
        drag.delta = used;
    }
    std::vector<Point> clicks;
    std::vector<bool> press_flags;
    std::vector<Point> drags;
    Point used;
};

struct ButtonScreen {
    ButtonScreen()
    {
        button = new Button(&root);
        button->set_anchors(MIN_SIDE, MIN_SIDE);
        button->set_borders({10, 10}, {});
        button->set_design_size({40, 20});
        button->set_listener(&recorder);
        button->set_bound_key(key_enter);
        lay_out(root, {100, 100});
    }
    Element root{nullptr};
    Button* button;
    Recorder recorder;
};

}  // namespace

TEST(ButtonClicks, TapInsideClicks)
{
    ButtonScreen screen;
    screen.root.on_stylus(pen_down(20, 20));
    EXPECT_TRUE(screen.button->is_pressed());
    screen.root.on_stylus(pen_up(21, 21));
    ASSERT_EQ(screen.recorder.clicks.size(), 1u);
    EXPECT_EQ(screen.recorder.clicks[0], (Point{21, 21}));
    EXPECT_EQ(screen.recorder.press_flags, (std::vector<bool>{false, false}));
}

TEST(ButtonClicks, ReleaseOutsideOrCancelledMakesNoClick)
{
    ButtonScreen screen;
    screen.root.on_stylus(pen_down(20, 20));
    screen.root.on_stylus_move({90, 90, 10});
    screen.root.on_stylus(pen_up(90, 90));
    EXPECT_TRUE(screen.recorder.clicks.empty());
    EXPECT_EQ(screen.recorder.press_flags.size(), 2u);

    screen.root.on_stylus(pen_down(20, 20));
    screen.root.set_visible(false);
    EXPECT_TRUE(screen.recorder.clicks.empty());
    EXPECT_FALSE(screen.button->is_pressed());
    EXPECT_EQ(screen.recorder.press_flags.back(), true);
}

TEST(ButtonClicks, DragReportsMovementAndKeepsTheUnusedPart)
{
    ButtonScreen screen;
    screen.root.on_stylus(pen_down(20, 20));
    screen.recorder.used = {0, 0};
    screen.root.on_stylus_move({25, 22, 1});
    screen.recorder.used = {3, 0};
    screen.root.on_stylus_move({30, 22, 2});
    screen.root.on_stylus_move({31, 22, 3});
    ASSERT_EQ(screen.recorder.drags.size(), 4u);
    EXPECT_EQ(screen.recorder.drags[0], (Point{0, 0}));
    EXPECT_EQ(screen.recorder.drags[1], (Point{5, 2}));
    EXPECT_EQ(screen.recorder.drags[2], (Point{5, 0}));
    EXPECT_EQ(screen.recorder.drags[3], (Point{4, 0}));
}

TEST(ButtonClicks, BoundKeyClicksAtItsRelease)
{
    ButtonScreen screen;
    EXPECT_FALSE(screen.button->on_key({key_space, true, true}));
    EXPECT_TRUE(screen.button->on_key({key_enter, true, true}));
    EXPECT_TRUE(screen.button->on_key({key_enter, true, false}));
    EXPECT_TRUE(screen.recorder.clicks.empty());
    EXPECT_TRUE(screen.button->on_key({key_enter, false, true}));
    ASSERT_EQ(screen.recorder.clicks.size(), 1u);
    EXPECT_EQ(screen.recorder.clicks[0], (Point{30, 20}));
}

TEST(ButtonClicks, PenAndKeyHeldTogetherClickOnceAtTheLastRelease)
{
    ButtonScreen screen;
    screen.button->on_key({key_enter, true, true});
    screen.root.on_stylus(pen_down(20, 20));
    screen.root.on_stylus(pen_up(20, 20));
    EXPECT_TRUE(screen.recorder.clicks.empty());
    EXPECT_TRUE(screen.button->is_pressed());
    screen.button->on_key({key_enter, false, true});
    EXPECT_EQ(screen.recorder.clicks.size(), 1u);
    EXPECT_EQ(screen.recorder.press_flags.size(), 2u);
}

TEST(ButtonClicks, DisabledButtonNeverClicks)
{
    ButtonScreen screen;
    screen.button->set_enabled(false);
    screen.root.on_stylus(pen_down(20, 20));
    EXPECT_TRUE(screen.recorder.press_flags.empty()) << "the parent does not pass the pen to it";
    screen.button->on_key({key_enter, true, true});
    screen.button->on_key({key_enter, false, true});
    EXPECT_TRUE(screen.recorder.clicks.empty());
    EXPECT_EQ(screen.recorder.press_flags, (std::vector<bool>{true, true}));
}

class ButtonSkin : public SkinTest {};

TEST_F(ButtonSkin, LooksFollowTheState)
{
    load(R"(
node Screen {
    string type = "node"
    node {
        string type = "button"
        string id = "ok"
        string bind_key = "SOFT_LEFT"
        string text = "Okay"
        node {
            string type = "node"
            string id = "#normal"
        }
        node {
            string type = "node"
            string id = "#pressed"
        }
        node {
            string type = "node"
            string id = "#disabled"
        }
        node {
            string type = "oldtext"
            string id = "#text"
        }
    }
    node {
        string type = "button"
        string id = "lower"
        string bind_key = "enter"
        node {
            string type = "node"
            string id = "#normal"
        }
    }
}
)");
    auto screen = build(u"Screen");
    auto* ok = dynamic_cast<Button*>(screen->find_by_id(u"ok"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->bound_key(), key_soft_left);
    EXPECT_EQ(ok->caption(), u"Okay");
    Element* normal = ok->find_by_id(u"#normal");
    Element* pressed = ok->find_by_id(u"#pressed");
    Element* disabled = ok->find_by_id(u"#disabled");
    EXPECT_TRUE(normal->is_visible());
    EXPECT_FALSE(pressed->is_visible());
    ok->on_key({key_soft_left, true, true});
    EXPECT_TRUE(pressed->is_visible());
    EXPECT_FALSE(normal->is_visible());
    ok->on_key({key_soft_left, false, true});
    ok->set_enabled(false);
    EXPECT_TRUE(disabled->is_visible());
    EXPECT_FALSE(normal->is_visible());
    auto* lower = dynamic_cast<Button*>(screen->find_by_id(u"lower"));
    EXPECT_EQ(lower->bound_key(), 0);
    lower->set_enabled(false);
    EXPECT_TRUE(lower->find_by_id(u"#normal")->is_visible());
}

TEST_F(ButtonSkin, ThreeStatesCycleWithoutListener)
{
    load(R"(
node Screen {
    string type = "node"
    node {
        string type = "checkbox"
        string id = "mode"
        int states = 3
        node {
            string type = "button"
            string id = "#state_0"
        }
        node {
            string type = "button"
            string id = "#state_1"
        }
        node {
            string type = "button"
            string id = "#state_2"
        }
    }
}
node Broken {
    string type = "node"
    node {
        string type = "checkbox"
        string id = "two"
        node {
            string type = "button"
            string id = "#state_0"
        }
    }
}
)");
    auto screen = build(u"Screen");
    auto* mode = dynamic_cast<MultiState*>(screen->find_by_id(u"mode"));
    ASSERT_NE(mode, nullptr);
    lay_out(*screen, {50, 50});
    std::vector<int> states{mode->state()};
    for (int click = 0; click < 3; ++click) {
        screen->on_stylus(pen_down(10, 10));
        screen->on_stylus(pen_up(10, 10));
        states.push_back(mode->state());
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(mode->find_by_id(u"#state_" + to_string16(i))->is_visible(), i == mode->state());
    }
    EXPECT_EQ(states, (std::vector<int>{0, 1, 2, 0}));

    Element other(nullptr);
    try {
        other.load_from_node(skin, u"Broken");
        FAIL() << "a missing state button must raise NodeNotFound";
    } catch (const plexor::NodeNotFound& error) {
        EXPECT_EQ(error.searched_id(), u"two");
        EXPECT_EQ(error.wanted_id(), u"#state_1");
    }
}
