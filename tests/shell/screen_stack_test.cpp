// The screen stack: showing and closing full screens and overlays, dimming
// under overlays, transitions, and when a frame is needed.

#include "app_test_support.h"

#include "pixels/pixel_span.h"
#include "shell/screen_transition.h"

namespace {

constexpr Pixel green = rgb_to_pixel(40, 200, 40);

class ScreenStack : public AppTest {
protected:
    // Renders frames until none is needed (at most limit); the number rendered.
    int settle(int limit = 40)
    {
        int frames = 0;
        while (frames < limit && app().needs_frame(true)) {
            app().update(0.02);
            render_frame();
            ++frames;
        }
        return frames;
    }
};

}  // namespace

TEST_F(ScreenStack, EmptyStackDrawsBlackAndTakesThePen)
{
    auto frame = render_frame(0xFFFF);
    for (int y = 0; y < 160; y += 40)
        for (int x = 0; x < 120; x += 30)
            EXPECT_EQ(frame->at(x, y), 0) << x << "," << y;
    EXPECT_TRUE(app().on_stylus({}));
    app().on_key({key_enter, true, true});
}

TEST_F(ScreenStack, FirstScreenIsShownAtTheClientSizeAndDrawn)
{
    RecordingScreen plain(m_skin, u"PlainScreen");
    RecordingListener listener;
    app().set_listener(&listener);
    app().show_screen(&plain, false);
    EXPECT_EQ(app().top_screen(), &plain);
    EXPECT_TRUE(plain.is_visible());
    EXPECT_EQ(plain.size(), (Size{120, 160}));
    ASSERT_EQ(listener.shown.size(), 1u);
    auto frame = render_frame();
    EXPECT_EQ(frame->at(100, 150), green);
    app().set_listener(nullptr);
}

TEST_F(ScreenStack, InputGoesToTheTopmostScreenOnly)
{
    RecordingScreen lower(m_skin, u"PlainScreen");
    RecordingScreen upper(m_skin, u"PlainScreen");
    app().show_screen(&lower, false);
    app().show_screen(&upper, false);
    app().on_key({key_enter, true, true});
    app().on_char({u"a"});
    StylusEvent pen;
    pen.down = true;
    app().on_stylus(pen);
    app().update(0.02);
    EXPECT_EQ(upper.keys.size(), 1u);
    EXPECT_EQ(upper.chars.size(), 1u);
    EXPECT_EQ(upper.pens.size(), 1u);
    EXPECT_EQ(upper.updates, 1);
    EXPECT_TRUE(lower.keys.empty());
    EXPECT_TRUE(lower.pens.empty());
    EXPECT_EQ(lower.updates, 0);
}

TEST_F(ScreenStack, ClosingALowerScreenOnlyHidesAndRemovesIt)
{
    RecordingScreen lower(m_skin, u"PlainScreen");
    RecordingScreen upper(m_skin, u"PlainScreen");
    RecordingListener listener;
    app().set_listener(&listener);
    app().show_screen(&lower, false);
    app().show_screen(&upper, false);
    settle();
    EXPECT_TRUE(app().close_screen(&lower));
    EXPECT_FALSE(lower.is_visible());
    EXPECT_TRUE(upper.is_visible());
    ASSERT_EQ(app().screen_count(), 1);
    EXPECT_EQ(app().top_screen(), &upper);
    EXPECT_EQ(listener.closed, std::vector<Element*>{&lower});
    EXPECT_EQ(app().transition(), nullptr);
    EXPECT_FALSE(app().close_screen(&lower)) << "a screen that is not shown";
    EXPECT_EQ(listener.closed.size(), 1u);
    app().set_listener(nullptr);
}

TEST_F(ScreenStack, ClosingTheTopmostShowsTheOneBelowAgain)
{
    RecordingScreen lower(m_skin, u"PlainScreen");
    RecordingScreen upper(m_skin, u"PlainScreen");
    app().show_screen(&lower, false);
    app().show_screen(&upper, false);
    EXPECT_FALSE(lower.is_visible());
    EXPECT_TRUE(app().close_screen(&upper));
    EXPECT_TRUE(lower.is_visible());
    EXPECT_FALSE(upper.is_visible());
    EXPECT_EQ(app().top_screen(), &lower);
    EXPECT_TRUE(app().close_screen(&lower));
    EXPECT_EQ(app().screen_count(), 0);
}

TEST_F(ScreenStack, OverlayDimsTheScreenBelowInEightFramesAndBrightensItAfterClosing)
{
    RecordingScreen plain(m_skin, u"PlainScreen");
    RecordingScreen overlay(m_skin, u"Overlay");
    app().show_screen(&plain, false);
    settle();
    app().show_screen(&overlay, true);
    EXPECT_FALSE(plain.is_visible());
    std::vector<int> levels;
    for (int frame = 0; frame < 8; ++frame) {
        EXPECT_TRUE(app().needs_frame(false)) << "frame " << frame;
        render_frame();
        levels.push_back(app().dim_level());
    }
    EXPECT_EQ(levels, (std::vector<int>{240, 224, 208, 192, 176, 160, 144, 128}));
    auto frame = render_frame();
    EXPECT_EQ(app().dim_level(), 128);
    EXPECT_EQ(frame->at(100, 150), dim_pixel(green, 8)) << "the snapshot below is at half brightness";
    EXPECT_EQ(frame->at(5, 5), rgb_to_pixel(250, 250, 0)) << "the overlay itself is not dimmed";
    EXPECT_FALSE(app().needs_frame(false)) << "no redraw asked once the level holds";

    EXPECT_TRUE(app().close_screen(&overlay));
    EXPECT_TRUE(plain.is_visible());
    levels.clear();
    for (int frame = 0; frame < 8; ++frame) {
        EXPECT_TRUE(app().needs_frame(false)) << "frame " << frame;
        render_frame();
        levels.push_back(app().dim_level());
    }
    EXPECT_EQ(levels, (std::vector<int>{144, 160, 176, 192, 208, 224, 240, 256}));
    EXPECT_EQ(render_frame()->at(100, 150), green);
    EXPECT_FALSE(app().needs_frame(false));
}

TEST_F(ScreenStack, FullScreenOverAnOverlayStartsAtFullBrightness)
{
    RecordingScreen plain(m_skin, u"PlainScreen");
    RecordingScreen overlay(m_skin, u"Overlay");
    RecordingScreen next(m_skin, u"PlainScreen");
    app().show_screen(&plain, false);
    app().show_screen(&overlay, true);
    for (int frame = 0; frame < 3; ++frame)
        render_frame();
    ASSERT_LT(app().dim_level(), 256);
    app().show_screen(&next, false);
    EXPECT_EQ(app().dim_level(), 256);
    EXPECT_FALSE(overlay.is_visible());
    EXPECT_EQ(app().background_surface().size(), (Size{0, 0})) << "no transition keeps no snapshot";
    EXPECT_EQ(render_frame()->at(100, 150), green);
}

TEST_F(ScreenStack, OverlayOverOverlayKeepsTheSnapshotOfTheFullScreen)
{
    RecordingScreen plain(m_skin, u"PlainScreen");
    RecordingScreen first(m_skin, u"Overlay");
    RecordingScreen second(m_skin, u"Overlay");
    app().show_screen(&plain, false);
    app().show_screen(&first, true);
    app().show_screen(&second, true);
    EXPECT_FALSE(first.is_visible());
    EXPECT_EQ(app().background_surface().size(), (Size{120, 160}));
    EXPECT_TRUE(app().close_screen(&second));
    EXPECT_TRUE(first.is_visible());
    EXPECT_EQ(app().background_surface().size(), (Size{120, 160})) << "the dimmed picture stays";
}

TEST_F(ScreenStack, TransitionIsCreatedAdvancedAndEnds)
{
    RecordingScreen plain(m_skin, u"PlainScreen");
    RecordingScreen sliding(m_skin, u"SlidingScreen");
    app().show_screen(&plain, false);
    settle();
    app().show_screen(&sliding, false);
    ASSERT_NE(app().transition(), nullptr);
    EXPECT_EQ(app().transition()->direction(), 1);
    EXPECT_EQ(app().transition()->progress(), 0.0);
    app().update(0.05);
    ASSERT_NE(app().transition(), nullptr);
    EXPECT_GT(app().transition()->progress(), 0.0);
    EXPECT_EQ(sliding.updates, 0) << "screens stand still while a transition runs";
    EXPECT_TRUE(app().needs_frame(false));
    render_frame();
    for (int step = 0; step < 100 && app().transition(); ++step) {
        EXPECT_EQ(sliding.updates, 0);
        app().update(0.1);
    }
    EXPECT_EQ(app().transition(), nullptr);
    EXPECT_EQ(sliding.updates, 1) << "the update that ends the transition advances the screen";
}

TEST_F(ScreenStack, ClosingASlidingScreenPlaysItsTransitionBackwards)
{
    RecordingScreen plain(m_skin, u"PlainScreen");
    RecordingScreen sliding(m_skin, u"SlidingScreen");
    app().show_screen(&plain, false);
    app().show_screen(&sliding, false);
    while (app().transition())
        app().update(0.1);
    EXPECT_TRUE(app().close_screen(&sliding));
    ASSERT_NE(app().transition(), nullptr);
    EXPECT_EQ(app().transition()->direction(), -1);
    EXPECT_EQ(app().transition()->progress(), 1.0);
    EXPECT_TRUE(plain.is_visible());
    EXPECT_FALSE(sliding.is_visible());
}

TEST_F(ScreenStack, NextStackChangeDiscardsARunningTransition)
{
    RecordingScreen plain(m_skin, u"PlainScreen");
    RecordingScreen sliding(m_skin, u"SlidingScreen");
    RecordingScreen overlay(m_skin, u"Overlay");
    app().show_screen(&plain, false);
    app().show_screen(&sliding, false);
    ASSERT_NE(app().transition(), nullptr);
    app().show_screen(&overlay, true);
    EXPECT_EQ(app().transition(), nullptr);
    EXPECT_TRUE(app().close_screen(&overlay));
    EXPECT_EQ(app().transition(), nullptr) << "closing an overlay never animates the screen below";
}

TEST_F(ScreenStack, OneMoreFrameIsDrawnAfterTheLastChange)
{
    RecordingScreen plain(m_skin, u"PlainScreen");
    app().show_screen(&plain, false);
    EXPECT_TRUE(app().needs_frame(false));
    render_frame();
    EXPECT_FALSE(app().needs_frame(false)) << "nothing changed since the frame";
    EXPECT_TRUE(app().needs_frame(true)) << "the previous frame drew something";
    render_frame();
    EXPECT_FALSE(app().needs_frame(true)) << "the extra frame had nothing to draw";
    app().request_redraw();
    EXPECT_TRUE(app().needs_frame(false));
    render_frame();
    plain.find_by_id(u"btnPlain")->mark_dirty();
    EXPECT_TRUE(app().needs_frame(false)) << "a dirty element on the topmost screen";
}

TEST(FrameStep, ElapsedTimeIsClampedToOneMillisecondAndATenthOfASecond)
{
    EXPECT_DOUBLE_EQ(frame_elapsed(1000, 1000), 0.001);
    EXPECT_DOUBLE_EQ(frame_elapsed(1000, 6000), 0.1);
    EXPECT_DOUBLE_EQ(frame_elapsed(1000, 1025), 0.025);
    EXPECT_DOUBLE_EQ(frame_elapsed(0xFFFFFFF0u, 0x10u), 0.032) << "the tick count wrapped";
    EXPECT_DOUBLE_EQ(frame_elapsed(2000, 1000), 0.1) << "a clock going back is a long stall, not a negative step";
}

TEST(FrameTimeDisplay, TextAndColourFollowTheAverage)
{
    EXPECT_EQ(frame_time_text(25.0, true, 123456), u"25.0 ms 123 Kp");
    EXPECT_EQ(frame_time_text(25.04, false, 999), u"[25.0 ms] 0 Kp");
    EXPECT_EQ(frame_time_text(7.25, true, 1000), u"7.2 ms 1 Kp");
    EXPECT_EQ(frame_time_colour(25.0), (Color{111, 255, 64, 255}));
    EXPECT_EQ(frame_time_colour(10.0), (Color{64, 255, 64, 255}));
    EXPECT_EQ(frame_time_colour(20.0), (Color{64, 255, 64, 255}));
    EXPECT_EQ(frame_time_colour(50.0), (Color{255, 159, 64, 255}));
    EXPECT_EQ(frame_time_colour(40.0), (Color{255, 255, 64, 255}));
    EXPECT_EQ(frame_time_colour(60.0), (Color{255, 64, 64, 255}));
    EXPECT_EQ(frame_time_colour(500.0), (Color{255, 64, 64, 255}));
}
