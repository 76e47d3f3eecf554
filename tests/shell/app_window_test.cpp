// The application window: command lines from later copies, keys, characters
// and the pen on their way to the screens, closing, the frames of window and
// direct mode, the edit hand-over's input-panel preference, the instance lock
// of a window nobody can reach and the logged platform type.

#include "app_test_support.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include "display/display.h"
#include "platform/registry.h"
#include "platform/single_instance.h"
#include "platform/tick.h"
#include "tests/fatal_log.h"
// Last: SDL's headers come after the program's own.
#include <SDL.h>
#include <regex>

namespace {

constexpr unsigned WM_COMMAND_LINE = WM_USER + 34;
constexpr StringView kelm_key = u"HKEY_CURRENT_USER\\Software\\Kelm";

std::vector<std::uint8_t> utf16_bytes(StringView text)
{
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

class AppWindow : public PlainScreenTest {
protected:
    void SetUp() override
    {
        PlainScreenTest::SetUp();
        app().set_listener(&m_listener);
    }
    void TearDown() override
    {
        if (m_application)
            app().set_listener(nullptr);
        PlainScreenTest::TearDown();
    }
    WindowId window() { return game_base().main_window(); }
    // Runs the real message loop for about milliseconds, then quits it.
    void run_for(std::uint32_t milliseconds)
    {
        WindowId stopper = windows().create_message_window([this](const Message& message) {
            if (message.id == WM_TIMER)
                windows().post_quit_message(0);
            return std::intptr_t(0);
        });
        windows().set_timer(stopper, 1, milliseconds);
        game_base().run_message_loop();
        windows().destroy_window(stopper);
    }

    RecordingListener m_listener;
};

class DirectMode : public AppWindow {
protected:
    CommandLineOptions options() const override
    {
        CommandLineOptions result = AppWindow::options();
        result.display = DisplayChoice::offscreen;
        return result;
    }
};

// Direct mode asked for a frame buffer that does not exist.
class DirectModeWithoutDisplay : public AppWindow {
protected:
    CommandLineOptions options() const override
    {
        setenv("PICTAVIO_FBDEV", (m_folder + "/no-frame-buffer").c_str(), 1);
        CommandLineOptions result = AppWindow::options();
        result.display = DisplayChoice::frame_buffer;
        return result;
    }
    void TearDown() override
    {
        unsetenv("PICTAVIO_FBDEV");
        AppWindow::TearDown();
    }
};

// The window is made with the log already on.
class AppWindowLoggedFromTheStart : public AppWindow {
protected:
    CommandLineOptions options() const override
    {
        EXPECT_TRUE(write_registry_dword(kelm_key, u"Log", 1));
        return AppWindow::options();
    }
};

// The application made again by the test itself.
class AppWindowInstance : public AppTest {};

// How often line occurs in text.
int count_lines(const std::string& text, const std::string& line)
{
    int count = 0;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + line.size()))
        ++count;
    return count;
}

// Whether another holder has the instance lock file of folder.
bool instance_lock_held(const std::string& folder)
{
    const int fd = open((folder + "/VestrelClass_Pictavio.lock").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

}  // namespace

// The socket's place is taken by a folder: a copy that cannot listen keeps
// the instance lock, so a later copy waits for it to end instead of starting
// beside it unreachable.
TEST_F(AppWindowInstance, WindowNobodyCanReachKeepsTheInstanceLockUntilItGoes)
{
    m_application.reset();
    ASSERT_TRUE(write_registry_dword(kelm_key, u"Log", 1));
    std::filesystem::create_directory(m_folder + "/VestrelClass_Pictavio");
    ASSERT_FALSE(show_running_instance_open_bracket(u"", u"Pictavio"));
    ASSERT_TRUE(instance_lock_held(m_folder));
    m_application = std::make_unique<Application>(u"Pictavio");
    EXPECT_TRUE(instance_lock_held(m_folder));
    EXPECT_NE(read_log_text().find("GameBase::GameBase instance listener not started, instance mutex kept\n"),
              std::string::npos);
    m_application.reset();
    EXPECT_FALSE(instance_lock_held(m_folder));
}

TEST_F(AppWindow, CommandLinesFromLaterCopiesArriveNewestFirst)
{
    windows().post_copy_data(window(), 0, utf16_bytes(u"first"));
    windows().post_copy_data(window(), 0, utf16_bytes(u"second"));
    windows().post_copy_data(window(), 7, utf16_bytes(u"wrong tag"));
    pump();
    EXPECT_EQ(m_listener.command_lines, (std::vector<String>{u"second", u"first"}));
    EXPECT_TRUE(game_base().pending_command_lines().empty());
}

TEST_F(AppWindow, EmptyCommandLineMarkerBecomesAnEmptyCommandLine)
{
    windows().post_copy_data(window(), 0, utf16_bytes(u"%CommandLineEmpty%"));
    std::vector<std::uint8_t> odd = utf16_bytes(u"ab");
    odd.push_back(0x41);
    windows().post_copy_data(window(), 0, odd);
    pump();
    EXPECT_EQ(m_listener.command_lines, (std::vector<String>{u"ab", u""}));
    windows().post_message(window(), WM_COMMAND_LINE, 0, 0);
    pump();
    EXPECT_EQ(m_listener.command_lines.size(), 2u) << "nothing pending, nothing handed on";
}

TEST_F(AppWindow, KeysGoToTheListenerFirst)
{
    windows().post_message(window(), WM_KEYDOWN, 0x0D, 1);
    pump();
    ASSERT_EQ(m_listener.keys.size(), 1u);
    ASSERT_EQ(m_screen->keys.size(), 1u) << "the listener did not take it";
    EXPECT_EQ(m_screen->keys[0].key, key_enter);
    EXPECT_TRUE(m_screen->keys[0].pressed);
    EXPECT_TRUE(m_screen->keys[0].first);
    m_listener.takes_keys = true;
    windows().post_message(window(), WM_KEYDOWN, 0x0D, 1 | key_repeat_flag);
    windows().post_message(window(), WM_KEYUP, 0x0D, 1 | key_repeat_flag | key_release_flag);
    pump();
    ASSERT_EQ(m_listener.keys.size(), 3u);
    EXPECT_FALSE(m_listener.keys[1].first) << "auto-repeat";
    EXPECT_FALSE(m_listener.keys[2].pressed);
    EXPECT_TRUE(m_listener.keys[2].first);
    EXPECT_EQ(m_screen->keys.size(), 1u);
}

// Each key, hot key and character message leaves a line with lParam as the
// signed 32-bit value it is; a real size change leaves its line too.
TEST_F(AppWindow, InputAndResolutionChangesAreLogged)
{
    ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", 1));
    windows().post_message(window(), WM_KEYDOWN, 0x0D, 1);
    windows().post_message(window(), WM_KEYUP, 0x0D, 1 | key_repeat_flag | key_release_flag);
    windows().post_message(window(), WM_CHAR, u'a', 1);
    windows().post_message(window(), WM_HOTKEY, 0, std::intptr_t(0x70) << 16);
    pump();
    SDL_SetWindowSize(windows().sdl_window(window()), 100, 100);
    pump();
    const std::string text = read_log_text();
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(WM_KEYDOWN = 13\(Enter\) lParam=1 ticks=\d+\n)"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(WM_KEYUP = 13\(Enter\) lParam=-1073741823 ticks=\d+\n)")))
        << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(WM_CHAR=a lParam=1 ticks=\d+\n)"))) << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(WM_HOTKEY = 0\(SOFT_LEFT\) lParam=7340032 ticks=\d+\n)")))
        << text;
    EXPECT_NE(text.find("Application::ResolutionChanged 2\n"), std::string::npos) << text;
    ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", 0));
}

// The platform type is asked for once per process, when the first window is
// made; a process of its own (the death test's, started afresh) with the log
// on from the start shows the line once, however often it is asked.
TEST_F(AppWindowLoggedFromTheStart, PlatformTypeIsLoggedOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static_capability_is_smartphone();
            const std::string text = read_log_text();
            std::fputs(text.c_str(), stderr);
            std::_Exit(count_lines(text, "static_capability_is_smartphone=Linux\n"));
        },
        testing::ExitedWithCode(1), "");
}

TEST_F(AppWindow, FullScreenKeyTogglesTheWindowAndReachesNoScreen)
{
    ASSERT_NE(windows().sdl_window(window()), nullptr);
    ASSERT_FALSE(windows().fullscreen_chosen());
    windows().post_message(window(), WM_KEYDOWN, 122, 1);
    windows().post_message(window(), WM_KEYDOWN, 122, 1 | key_repeat_flag);
    windows().post_message(window(), WM_KEYUP, 122, 1 | key_repeat_flag | key_release_flag);
    pump();
    EXPECT_TRUE(windows().fullscreen_chosen()) << "a repeat does not flip it back";
    windows().post_message(window(), WM_KEYDOWN, 122, 1);
    pump();
    EXPECT_FALSE(windows().fullscreen_chosen());
    EXPECT_TRUE(m_listener.keys.empty());
    EXPECT_TRUE(m_screen->keys.empty());
}

TEST_F(AppWindow, SoftKeysOfTheMenuBarSkipTheListener)
{
    windows().post_message(window(), WM_HOTKEY, 0, std::intptr_t(0x70) << 16);
    pump();
    EXPECT_TRUE(m_listener.keys.empty());
    ASSERT_EQ(m_screen->keys.size(), 1u);
    EXPECT_EQ(m_screen->keys[0].key, key_soft_left);
}

TEST_F(AppWindow, ControlCharactersAreNotTyped)
{
    windows().post_message(window(), WM_CHAR, 8, 1);
    windows().post_message(window(), WM_CHAR, u'\u0436', 1);
    pump();
    EXPECT_EQ(m_screen->chars, std::vector<String>{u"\u0436"});
}

TEST_F(AppWindow, PenUpIsSentWhenTheCaptureGoes)
{
    windows().post_message(window(), WM_LBUTTONDOWN, 1, make_position_lparam(10, 20));
    windows().post_message(window(), WM_LBUTTONUP, 0, make_position_lparam(30, 40));
    pump();
    ASSERT_EQ(m_screen->pens.size(), 2u);
    EXPECT_TRUE(m_screen->pens[0].down);
    EXPECT_EQ(m_screen->pens[0].x, 10);
    EXPECT_EQ(m_screen->pens[0].y, 20);
    EXPECT_FALSE(m_screen->pens[1].down);
    EXPECT_FALSE(m_screen->pens[1].cancelled);
    EXPECT_EQ(m_screen->pens[1].x, 30);
    EXPECT_EQ(m_screen->pens[1].y, 40);
    EXPECT_EQ(windows().capture(), 0u);
}

TEST_F(AppWindow, LostCaptureGivesACancelledPenUpNowhere)
{
    windows().post_message(window(), WM_LBUTTONDOWN, 1, make_position_lparam(10, 20));
    pump();
    windows().release_capture();
    ASSERT_EQ(m_screen->pens.size(), 2u);
    EXPECT_FALSE(m_screen->pens[1].down);
    EXPECT_TRUE(m_screen->pens[1].cancelled);
    EXPECT_EQ(m_screen->pens[1].x, no_pen_up);
    EXPECT_EQ(m_screen->pens[1].y, no_pen_up);
}

TEST_F(AppWindow, CloseAsksTheListenerAndEndsTheLoop)
{
    m_listener.may_close = false;
    windows().post_message(window(), WM_CLOSE, 0, 0);
    pump();
    EXPECT_TRUE(windows().is_window(window()));
    m_listener.may_close = true;
    const WindowId main = window();
    windows().post_message(main, WM_CLOSE, 0, 0);
    const std::uint32_t start = get_tick_count();
    game_base().run_message_loop();
    EXPECT_LT(get_tick_count() - start, 5000u);
    EXPECT_FALSE(windows().is_window(main));
    EXPECT_EQ(game_base().exit_code(), 0);
}

TEST_F(AppWindow, IdleWindowDrawsNoFrames)
{
    run_for(300);
    const long long settled = game_base().frames_drawn();
    EXPECT_GE(settled, 1);
    run_for(400);
    EXPECT_EQ(game_base().frames_drawn(), settled) << "nothing changed, nothing drawn";
    app().request_redraw();
    run_for(200);
    EXPECT_GT(game_base().frames_drawn(), settled);
    EXPECT_GT(m_screen->updates, 10) << "the 40 ms timer still advances the screen";
}

TEST_F(AppWindow, FrameTimeIsShownWhileLoggingIsOn)
{
    ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", 1));
    render_frame();
    app().request_redraw();
    render_frame();
    EXPECT_NE(app().frame_time_text().find(u" ms "), String::npos);
    ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", 0));
}

TEST_F(AppWindow, EndingTypingStoresTheInputPanelPreference)
{
    ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"SIPPreference", 1));
    Element* field = m_screen->find_by_id(u"btnPlain");
    game_base().set_edit_element(field, true);
    EXPECT_EQ(game_base().edit_element(), field);
    game_base().set_edit_element(nullptr, true);
    std::uint32_t stored = 7;
    ASSERT_TRUE(read_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"SIPPreference", stored));
    EXPECT_EQ(stored, 0u) << "the panel was down when typing ended";
    EXPECT_EQ(game_base().sip_preference(), 0u);
}

// The window system reports a new client size as a work-area change; the
// frames follow it down to one pixel and up to a size larger than any screen.
TEST_F(AppWindow, ResizedWindowKeepsWorkingFromOnePixelToFourThousand)
{
    SDL_Window* sdl = windows().sdl_window(window());
    ASSERT_NE(sdl, nullptr);
    for (int side : {1, 4000, 120}) {
        SDL_SetWindowSize(sdl, side, side);
        pump();
        EXPECT_EQ(game_base().client_area().client_width, side);
        EXPECT_EQ(game_base().client_area().client_height, side);
        app().update(0.02);
        EXPECT_EQ(m_screen->size(), (Size{side, side}));
        const long long before = game_base().frames_drawn();
        windows().send_message(window(), WM_PAINT, 0, 0);
        EXPECT_EQ(game_base().frames_drawn(), before + 1) << side;
    }
    EXPECT_EQ(m_listener.layout_changes, 3);
}

TEST_F(DirectMode, ResizedWindowGetsADisplayOfTheNewSize)
{
    game_base().set_direct_mode(0);
    ASSERT_NE(game_base().display(), nullptr);
    SDL_SetWindowSize(windows().sdl_window(window()), 1, 1);
    pump();
    EXPECT_EQ(m_listener.layout_changes, 1);
    ASSERT_NE(game_base().display(), nullptr) << "the display was made again";
    game_base().frame_step();
    EXPECT_GE(game_base().frames_drawn(), 1);
}

TEST_F(AppWindow, UnchangedDisplayModeIsNotALayoutChange)
{
    game_base().ResolutionChanged();
    EXPECT_EQ(m_listener.layout_changes, 0);
    EXPECT_EQ(game_base().client_area().client_width, 120);
    EXPECT_EQ(game_base().client_area().client_height, 160);
}

TEST_F(DirectMode, FramesGoToTheDisplayOnlyWhenSomethingChanged)
{
    game_base().set_window_mode(false);
    game_base().set_direct_mode(0);
    ASSERT_NE(game_base().display(), nullptr);
    EXPECT_STREQ(game_base().display()->driver_name(), "offscreen");
    EXPECT_FALSE(game_base().is_window_mode());
    game_base().frame_step();
    game_base().frame_step();
    const long long settled = game_base().frames_drawn();
    EXPECT_GE(settled, 1);
    for (int i = 0; i < 5; ++i)
        game_base().frame_step();
    EXPECT_EQ(game_base().frames_drawn(), settled);
    const PixelBuffer* shown = game_base().display()->shown_frame();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->at(100, 150), rgb_to_pixel(40, 200, 40));
    game_base().set_window_mode(true);
    EXPECT_EQ(game_base().display(), nullptr);
}

TEST_F(DirectMode, TypingLeavesDirectModeAndComesBack)
{
    game_base().set_direct_mode(0);
    ASSERT_NE(game_base().display(), nullptr);
    game_base().set_edit_element(m_screen.get(), false);
    EXPECT_EQ(game_base().display(), nullptr);
    game_base().set_edit_element(nullptr, false);
    EXPECT_NE(game_base().display(), nullptr);
}

TEST_F(DirectMode, LoopRunsFramesAndStopsOnQuit)
{
    game_base().set_direct_mode(0);
    run_for(200);
    EXPECT_GT(m_screen->updates, 5);
    EXPECT_GE(game_base().frames_drawn(), 1);
}

TEST_F(DirectModeWithoutDisplay, FramesKeepComingFromTheWindowTimer)
{
    game_base().set_direct_mode(0);
    EXPECT_EQ(game_base().display(), nullptr);
    EXPECT_FALSE(game_base().is_window_mode());
    run_for(300);
    EXPECT_GT(m_screen->updates, 3);
    EXPECT_GE(game_base().frames_drawn(), 1);
}
