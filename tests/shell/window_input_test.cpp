// SDL input to window messages: key codes, auto-repeat, characters, mouse
// positions in the program's orientation, activation and lost capture.

#include <SDL.h>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>
#include "window_test_loop.h"

namespace {

class WindowInputTest : public testing::Test {
protected:
    void create(int orientation = 0)
    {
        m_windows = std::make_unique<WindowSystem>(dummy_window_options(orientation));
        m_window = m_windows->create_window(u"test", nullptr);
        ASSERT_NE(m_windows->sdl_window(m_window), nullptr);
        m_sdl_id = SDL_GetWindowID(m_windows->sdl_window(m_window));
        // Drop what the window's own creation queued (shown, exposed, focus).
        Message ignored;
        while (m_windows->peek_message(ignored)) {
        }
    }

    void push_key(Uint32 type, SDL_Keycode key, bool repeat)
    {
        SDL_Event event{};
        event.type = type;
        event.key.windowID = m_sdl_id;
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.repeat = repeat ? 1 : 0;
        event.key.keysym.sym = key;
        event.key.keysym.scancode = SDL_GetScancodeFromKey(key);
        SDL_PushEvent(&event);
    }
    // which: SDL_TOUCH_MOUSEID for the pen SDL makes of the first finger.
    void push_button(Uint32 type, int x, int y, Uint32 which = 0)
    {
        SDL_Event event{};
        event.type = type;
        event.button.windowID = m_sdl_id;
        event.button.which = which;
        event.button.button = SDL_BUTTON_LEFT;
        event.button.x = x;
        event.button.y = y;
        SDL_PushEvent(&event);
    }
    void push_motion(int x, int y, Uint32 buttons)
    {
        SDL_Event event{};
        event.type = SDL_MOUSEMOTION;
        event.motion.windowID = m_sdl_id;
        event.motion.state = buttons;
        event.motion.x = x;
        event.motion.y = y;
        SDL_PushEvent(&event);
    }
    void push_finger(Uint32 type, SDL_FingerID finger, float x, float y)
    {
        SDL_Event event{};
        event.type = type;
        event.tfinger.fingerId = finger;
        event.tfinger.windowID = m_sdl_id;
        event.tfinger.x = x;
        event.tfinger.y = y;
        SDL_PushEvent(&event);
    }
    void push_window_event(Uint8 what)
    {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = m_sdl_id;
        event.window.event = what;
        SDL_PushEvent(&event);
    }
    void push_text(const char* utf8)
    {
        SDL_Event event{};
        event.type = SDL_TEXTINPUT;
        event.text.windowID = m_sdl_id;
        std::strncpy(event.text.text, utf8, sizeof(event.text.text) - 1);
        SDL_PushEvent(&event);
    }
    std::vector<Message> drain()
    {
        std::vector<Message> messages;
        Message message;
        while (m_windows->peek_message(message))
            messages.push_back(message);
        return messages;
    }

    std::unique_ptr<WindowSystem> m_windows;
    WindowId m_window = 0;
    Uint32 m_sdl_id = 0;
};

class WindowMouseTest : public WindowInputTest, public testing::WithParamInterface<int> {};

}  // namespace

TEST(WindowKeyTableTest, PhoneAndKeyboardKeysGetTheirVirtualKeys)
{
    EXPECT_EQ(virtual_key_from_sdl(SDLK_F1), 112);     // left soft key
    EXPECT_EQ(virtual_key_from_sdl(SDLK_F2), 113);     // right soft key
    EXPECT_EQ(virtual_key_from_sdl(SDLK_ESCAPE), 27);  // the back key
    EXPECT_EQ(virtual_key_from_sdl(SDLK_BACKSPACE), 8);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_RETURN), 13);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_KP_ENTER), 13);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_LEFT), 37);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_UP), 38);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_RIGHT), 39);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_DOWN), 40);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_a), 65);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_z), 90);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_0), 48);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_9), 57);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_KP_0), 96);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_KP_9), 105);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_F9), 120);  // pound
    EXPECT_EQ(virtual_key_from_sdl(SDLK_RSHIFT), 16);
    EXPECT_EQ(virtual_key_from_sdl(SDLK_VOLUMEUP), 0);
}

TEST_F(WindowInputTest, AHeldKeyRepeatsWithTheRepeatBitThenReleasesOnce)
{
    create();
    push_key(SDL_KEYDOWN, SDLK_DOWN, false);
    push_key(SDL_KEYDOWN, SDLK_DOWN, true);
    push_key(SDL_KEYDOWN, SDLK_DOWN, true);
    push_key(SDL_KEYUP, SDLK_DOWN, false);
    std::vector<Message> messages = drain();
    ASSERT_EQ(messages.size(), 4u);
    for (const Message& message : messages) {
        EXPECT_EQ(message.window, m_window);
        EXPECT_EQ(message.wparam, 40u);
    }
    EXPECT_EQ(messages[0].id, static_cast<unsigned>(WM_KEYDOWN));
    EXPECT_EQ(messages[0].lparam & key_repeat_flag, 0);
    EXPECT_EQ(messages[1].id, static_cast<unsigned>(WM_KEYDOWN));
    EXPECT_NE(messages[1].lparam & key_repeat_flag, 0);
    EXPECT_NE(messages[2].lparam & key_repeat_flag, 0);
    EXPECT_EQ(messages[3].id, static_cast<unsigned>(WM_KEYUP));
    EXPECT_NE(messages[3].lparam & key_release_flag, 0);
}

TEST_F(WindowInputTest, BackKeyGivesAControlCharacterAndTextGivesUtf16Units)
{
    create();
    push_key(SDL_KEYDOWN, SDLK_ESCAPE, false);
    push_text("\xC3\xA9\xF0\x9F\x98\x80");  // e acute and an emoji (a surrogate pair)
    push_key(SDL_KEYDOWN, SDLK_VOLUMEUP, false);
    std::vector<Message> messages = drain();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0].id, static_cast<unsigned>(WM_KEYDOWN));
    EXPECT_EQ(messages[0].wparam, 27u);
    EXPECT_EQ(messages[1].id, static_cast<unsigned>(WM_CHAR));
    EXPECT_EQ(messages[1].wparam, 27u);
    EXPECT_EQ(messages[2].wparam, 0xE9u);
    EXPECT_EQ(messages[3].wparam, 0xD83Du);
    EXPECT_EQ(messages[4].wparam, 0xDE00u);
}

TEST_P(WindowMouseTest, MousePositionsArriveInTheProgramsOrientation)
{
    const int orientation = GetParam();
    create(orientation);
    // The panel is 120 x 160; its top-left pixel shows, per orientation, the
    // logical pixel the display turned there.
    push_button(SDL_MOUSEBUTTONDOWN, 0, 0);
    push_button(SDL_MOUSEBUTTONUP, 119, 159);
    std::vector<Message> messages = drain();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].id, static_cast<unsigned>(WM_LBUTTONDOWN));
    EXPECT_EQ(messages[1].id, static_cast<unsigned>(WM_LBUTTONUP));
    const int expected_down[4][2] = {{0, 0}, {159, 0}, {119, 159}, {0, 119}};
    EXPECT_EQ(lparam_x(messages[0].lparam), expected_down[orientation][0]);
    EXPECT_EQ(lparam_y(messages[0].lparam), expected_down[orientation][1]);
    int x = lparam_x(messages[1].lparam), y = lparam_y(messages[1].lparam);
    logical_to_physical(orientation, 120, 160, x, y);
    EXPECT_EQ(x, 119);
    EXPECT_EQ(y, 159);
    int width = 0, height = 0;
    m_windows->client_size(m_window, width, height);
    EXPECT_EQ(width, orientation % 2 ? 160 : 120);
}

INSTANTIATE_TEST_SUITE_P(AllOrientations, WindowMouseTest, testing::Values(0, 1, 2, 3));

TEST_F(WindowInputTest, MovesCountOnlyWhileThePenIsDownOrCaptured)
{
    create();
    push_motion(10, 20, 0);  // hovering: a pen cannot
    push_motion(11, 21, SDL_BUTTON_LMASK);
    std::vector<Message> messages = drain();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, static_cast<unsigned>(WM_MOUSEMOVE));
    EXPECT_EQ(lparam_x(messages[0].lparam), 11);
    EXPECT_EQ(lparam_y(messages[0].lparam), 21);
    m_windows->set_capture(m_window);
    push_motion(-3, 200, 0);  // outside the window, still captured
    messages = drain();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(lparam_x(messages[0].lparam), -3);
    EXPECT_EQ(lparam_y(messages[0].lparam), 200);
}

TEST_F(WindowInputTest, NegativePositionsSurviveThePacking)
{
    std::intptr_t lparam = make_position_lparam(-5, -32768);
    EXPECT_EQ(lparam_x(lparam), -5);
    EXPECT_EQ(lparam_y(lparam), -32768);
    lparam = make_position_lparam(32767, 0);
    EXPECT_EQ(lparam_x(lparam), 32767);
    EXPECT_EQ(lparam_y(lparam), 0);
}

TEST_F(WindowInputTest, LosingFocusWhileCapturedLosesTheCaptureOnceButOnlyMinimisingDeactivates)
{
    create();
    m_windows->set_capture(m_window);
    push_window_event(SDL_WINDOWEVENT_FOCUS_LOST);
    push_window_event(SDL_WINDOWEVENT_MINIMIZED);
    push_window_event(SDL_WINDOWEVENT_RESTORED);
    std::vector<Message> messages = drain();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].id, static_cast<unsigned>(WM_CAPTURECHANGED));
    EXPECT_EQ(messages[1].id, static_cast<unsigned>(WM_ACTIVATE));
    EXPECT_EQ(messages[1].wparam, 0u);
    EXPECT_EQ(messages[2].id, static_cast<unsigned>(WM_ACTIVATE));
    EXPECT_EQ(messages[2].wparam, 1u);
    EXPECT_EQ(m_windows->capture(), 0u);
}

TEST_F(WindowInputTest, AVisibleWindowWithoutFocusStaysActive)
{
    create();
    push_window_event(SDL_WINDOWEVENT_FOCUS_LOST);
    push_window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
    push_window_event(SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_TRUE(drain().empty()) << "no activation change and no capture to lose";
    push_window_event(SDL_WINDOWEVENT_HIDDEN);
    push_window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
    push_window_event(SDL_WINDOWEVENT_SHOWN);
    std::vector<Message> messages = drain();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].wparam, 0u);
    EXPECT_EQ(messages[1].id, static_cast<unsigned>(WM_ACTIVATE));
    EXPECT_EQ(messages[1].wparam, 1u);
}

TEST_F(WindowInputTest, WheelNotchesArriveSignedAtThePointer)
{
    create();
    SDL_Event event{};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.windowID = m_sdl_id;
    event.wheel.y = 2;
    event.wheel.mouseX = 30;
    event.wheel.mouseY = 40;
    SDL_PushEvent(&event);
    event.wheel.y = 1;
    event.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    SDL_PushEvent(&event);
    event.wheel.y = 0;
    event.wheel.x = 3;
    SDL_PushEvent(&event);
    std::vector<Message> messages = drain();
    ASSERT_EQ(messages.size(), 2u) << "a sideways turn is no notch";
    EXPECT_EQ(messages[0].id, static_cast<unsigned>(WM_MOUSEWHEEL));
    EXPECT_EQ(wheel_notches(messages[0].wparam), 2);
    EXPECT_EQ(lparam_x(messages[0].lparam), 30);
    EXPECT_EQ(lparam_y(messages[0].lparam), 40);
    EXPECT_EQ(wheel_notches(messages[1].wparam), -1) << "a flipped wheel turns the other way";
}

TEST_F(WindowInputTest, SecondFingerTakesThePenAndPinchesUntilALiftThenOneFingerIsThePenAgain)
{
    create();
    push_finger(SDL_FINGERDOWN, 1, 0.25f, 0.5f);
    push_button(SDL_MOUSEBUTTONDOWN, 30, 80, SDL_TOUCH_MOUSEID);
    push_finger(SDL_FINGERDOWN, 2, 0.75f, 0.5f);
    push_finger(SDL_FINGERMOTION, 2, 0.85f, 0.5f);
    push_button(SDL_MOUSEBUTTONUP, 30, 80, SDL_TOUCH_MOUSEID);
    push_finger(SDL_FINGERUP, 2, 0.85f, 0.5f);
    push_finger(SDL_FINGERMOTION, 1, 0.3f, 0.5f);
    push_finger(SDL_FINGERUP, 1, 0.3f, 0.5f);
    push_button(SDL_MOUSEBUTTONDOWN, 50, 60, SDL_TOUCH_MOUSEID);
    std::vector<Message> messages = drain();
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[0].id, static_cast<unsigned>(WM_LBUTTONDOWN));
    EXPECT_EQ(messages[1].id, static_cast<unsigned>(WM_CAPTURECHANGED)) << "the pen is lost, not lifted";
    EXPECT_EQ(messages[2].id, static_cast<unsigned>(WM_GESTURE));
    EXPECT_EQ(pinch_phase(messages[2].wparam), pinch_begin_phase);
    EXPECT_DOUBLE_EQ(pinch_span(messages[2].wparam), 60.0);
    EXPECT_EQ(lparam_x(messages[2].lparam), 60);
    EXPECT_EQ(lparam_y(messages[2].lparam), 80);
    EXPECT_EQ(pinch_phase(messages[3].wparam), pinch_move_phase);
    EXPECT_NEAR(pinch_span(messages[3].wparam), 72.0, 1.0 / 16);
    EXPECT_EQ(lparam_x(messages[3].lparam), 66);
    EXPECT_EQ(pinch_phase(messages[4].wparam), pinch_end_phase);
    EXPECT_EQ(messages[5].id, static_cast<unsigned>(WM_LBUTTONDOWN)) << "after every finger left";
    EXPECT_EQ(lparam_x(messages[5].lparam), 50);
}

TEST(WindowPinchTest, PhaseAndSpanTravelInOneWord)
{
    for (double span : {0.0, 1.0 / 16, 12.5, 4000.25})
        for (PinchPhase phase : {pinch_begin_phase, pinch_move_phase, pinch_end_phase}) {
            EXPECT_EQ(pinch_phase(pinch_wparam(phase, span)), phase);
            EXPECT_DOUBLE_EQ(pinch_span(pinch_wparam(phase, span)), span);
        }
    EXPECT_EQ(pinch_span(pinch_wparam(pinch_move_phase, -3.0)), 0.0);
    EXPECT_EQ(wheel_notches(wheel_wparam(-7)), -7);
}

TEST(WindowActivityTest, OnlyHidingAndMinimisingDeactivate)
{
    EXPECT_EQ(activity_change(SDL_WINDOWEVENT_MINIMIZED), ActivityChange::deactivate);
    EXPECT_EQ(activity_change(SDL_WINDOWEVENT_HIDDEN), ActivityChange::deactivate);
    EXPECT_EQ(activity_change(SDL_WINDOWEVENT_RESTORED), ActivityChange::activate);
    EXPECT_EQ(activity_change(SDL_WINDOWEVENT_SHOWN), ActivityChange::activate);
    EXPECT_EQ(activity_change(SDL_WINDOWEVENT_MAXIMIZED), ActivityChange::activate);
    for (Uint8 event :
         {SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_LEAVE, SDL_WINDOWEVENT_ENTER,
          SDL_WINDOWEVENT_EXPOSED, SDL_WINDOWEVENT_MOVED, SDL_WINDOWEVENT_SIZE_CHANGED})
        EXPECT_EQ(activity_change(event), ActivityChange::none) << int(event);
}

TEST_F(WindowInputTest, ClosingAndResizingReachTheWindowAsMessages)
{
    create();
    push_window_event(SDL_WINDOWEVENT_CLOSE);
    push_window_event(SDL_WINDOWEVENT_SIZE_CHANGED);
    std::vector<Message> messages = drain();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].id, static_cast<unsigned>(WM_CLOSE));
    EXPECT_EQ(messages[1].id, static_cast<unsigned>(WM_SETTINGCHANGE));
    EXPECT_EQ(messages[1].wparam, setting_work_area);
    EXPECT_EQ(messages[2].id, static_cast<unsigned>(WM_PAINT));
}
