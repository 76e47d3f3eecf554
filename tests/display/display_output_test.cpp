// The display on a real window system (SDL's dummy video driver): driver
// choice, frames, turning, suspend and resume, and no output at all.

#include <cstdlib>
#include <gtest/gtest.h>
#include "display/display.h"
#include "display/paint_surface.h"

namespace {

CommandLineOptions options_for(DisplayChoice display, int width, int height, int orientation = 0)
{
    CommandLineOptions options;
    options.display = display;
    options.width = width;
    options.height = height;
    options.orientation = orientation;
    return options;
}

class DisplayOutputTest : public testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("PICTAVIO_FBDEV", "/nonexistent/fb", 1);
    }
    void TearDown() override
    {
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("PICTAVIO_FBDEV");
    }
};

}  // namespace

TEST_F(DisplayOutputTest, OffscreenDeliversTheOptionsSizeAndShowsOnlyPresentedFrames)
{
    WindowSystem windows(options_for(DisplayChoice::offscreen, 40, 30));
    WindowId window = windows.create_window(u"test", nullptr);
    DisplayParameters parameters{0, 0, 0, 0};
    auto display = Display::create(windows, window, parameters);
    ASSERT_NE(display, nullptr);
    EXPECT_STREQ(display->driver_name(), "offscreen");
    EXPECT_EQ(parameters.width, 40);
    EXPECT_EQ(parameters.height, 30);
    EXPECT_EQ(parameters.orientation, 0);
    EXPECT_EQ(parameters.swap_effect, 1);
    EXPECT_TRUE(all_keys_routed());

    EXPECT_EQ(display->back_buffer(), nullptr);
    ASSERT_TRUE(display->begin());
    PixelBuffer* frame = display->back_buffer();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(display->begin());
    EXPECT_EQ(display->back_buffer(), frame);
    frame->at(5, 7) = 0xBEEF;
    EXPECT_EQ(display->shown_frame()->at(5, 7), 0);
    display->present(0);
    EXPECT_EQ(display->shown_frame()->at(5, 7), 0xBEEF);
    EXPECT_EQ(display->back_buffer(), nullptr);
    EXPECT_EQ(display->presented_frames(), 1);
    display.reset();
    EXPECT_FALSE(all_keys_routed());
}

TEST_F(DisplayOutputTest, AnotherOrientationIsTurnedOntoTheOutput)
{
    WindowSystem windows(options_for(DisplayChoice::offscreen, 40, 30));
    WindowId window = windows.create_window(u"test", nullptr);
    DisplayParameters parameters{0, 0, 1, 1};
    auto display = Display::create(windows, window, parameters);
    ASSERT_NE(display, nullptr);
    EXPECT_STREQ(display->driver_name(), "rotating");
    EXPECT_EQ(parameters.width, 30);
    EXPECT_EQ(parameters.height, 40);
    EXPECT_EQ(parameters.orientation, 1);
    ASSERT_TRUE(display->begin());
    display->back_buffer()->at(0, 0) = 0x1111;
    display->back_buffer()->at(29, 39) = 0x2222;
    display->present(0);
    const PixelBuffer* shown = display->shown_frame();
    ASSERT_EQ(shown->width(), 40);
    EXPECT_EQ(shown->at(0, 29), 0x1111);
    EXPECT_EQ(shown->at(39, 0), 0x2222);
}

TEST_F(DisplayOutputTest, SuspendedDisplayBeginsNoFrameUntilResumed)
{
    WindowSystem windows(options_for(DisplayChoice::offscreen, 8, 8));
    WindowId window = windows.create_window(u"test", nullptr);
    DisplayParameters parameters;
    auto display = Display::create(windows, window, parameters);
    ASSERT_NE(display, nullptr);
    display->suspend();
    EXPECT_TRUE(display->is_suspended());
    EXPECT_FALSE(display->begin());
    EXPECT_EQ(display->back_buffer(), nullptr);
    display->resume();
    EXPECT_TRUE(display->begin());
}

TEST_F(DisplayOutputTest, WindowSystemDriverKeepsTheFrameWhenCopyIsWanted)
{
    WindowSystem windows(options_for(DisplayChoice::sdl, 64, 48));
    WindowId window = windows.create_window(u"test", nullptr);
    ASSERT_NE(windows.sdl_window(window), nullptr);
    DisplayParameters parameters{0, 0, 0, 2};
    auto display = Display::create(windows, window, parameters);
    ASSERT_NE(display, nullptr);
    EXPECT_STREQ(display->driver_name(), "sdl");
    EXPECT_EQ(parameters.width, 64);
    EXPECT_EQ(parameters.swap_effect, 2);
    ASSERT_TRUE(display->begin());
    display->back_buffer()->at(63, 47) = 0x0F0F;
    display->present(0);
    // The streaming texture forgets its pixels; the private back buffer does not.
    ASSERT_TRUE(display->begin());
    EXPECT_EQ(display->back_buffer()->at(63, 47), 0x0F0F);
    display->present(0);
}

TEST_F(DisplayOutputTest, WithoutVideoOrFrameBufferThereIsNoDisplay)
{
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    WindowSystem windows(options_for(DisplayChoice::automatic, 8, 8));
    EXPECT_FALSE(windows.has_video());
    EXPECT_FALSE(windows.video_error().empty());
    WindowId window = windows.create_window(u"test", nullptr);
    ASSERT_NE(window, 0u);
    EXPECT_FALSE(Display::available(windows, window));
    DisplayParameters parameters;
    EXPECT_EQ(Display::create(windows, window, parameters), nullptr);
    EXPECT_EQ(parameters.width, 0);
}

// Without a screen SDL falls back to a driver that shows nothing: unless the
// user chose it, that counts as no video, so the program can say so and end.
TEST_F(DisplayOutputTest, AFallbackToAnInvisibleDriverIsNoVideo)
{
    unsetenv("SDL_VIDEODRIVER");
    const char* display = std::getenv("DISPLAY");
    std::string saved_display = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    {
        WindowSystem windows(options_for(DisplayChoice::automatic, 8, 8));
        if (windows.has_video()) {
            EXPECT_NE(windows.video_driver(), "offscreen");
            EXPECT_NE(windows.video_driver(), "dummy");
        } else {
            EXPECT_FALSE(windows.video_error().empty());
        }
    }
    {
        // Chosen by the user, the same driver carries the offscreen output.
        WindowSystem windows(options_for(DisplayChoice::offscreen, 8, 8));
        EXPECT_TRUE(windows.has_video());
    }
    if (!saved_display.empty())
        setenv("DISPLAY", saved_display.c_str(), 1);
}

TEST_F(DisplayOutputTest, PaintSurfaceRefusesEmptySizesAndCopiesToTheWindow)
{
    EXPECT_EQ(PaintSurface::create(0, 10), nullptr);
    EXPECT_EQ(PaintSurface::create(10, -1), nullptr);
    WindowSystem windows(options_for(DisplayChoice::sdl, 32, 24, 3));
    WindowId window = windows.create_window(u"test", nullptr);
    int width = 0, height = 0;
    windows.client_size(window, width, height);
    EXPECT_EQ(width, 24);
    EXPECT_EQ(height, 32);
    for (auto [w, h] : {std::pair{1, 1}, std::pair{width, height}, std::pair{4000, 4000}}) {
        auto surface = PaintSurface::create(w, h);
        ASSERT_NE(surface, nullptr);
        EXPECT_EQ(surface->pixels().pitch() % 4, 0);
        surface->copy_to_window(windows, window);
    }
}
