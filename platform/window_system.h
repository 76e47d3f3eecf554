#pragma once
// The window system: windows with a procedure, one message queue on the main
// thread, posting from any thread, window timers, invalidate-and-paint, mouse
// capture, message boxes, minimise and restore. SDL2 carries the visible
// window and its input; message-only windows (no SDL window) serve hidden
// receivers such as the active-object scheduler.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "platform/command_line.h"
#include "platform/text.h"

struct SDL_Window;
struct SDL_Renderer;

// Message numbers, with the values the rest of the program knows them by.
enum : unsigned {
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_ACTIVATE = 0x0006,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_SETTINGCHANGE = 0x001A,
    WM_COPYDATA = 0x004A,
    WM_HELP = 0x0053,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_CHAR = 0x0102,
    WM_TIMER = 0x0113,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_MOUSEWHEEL = 0x020A,
    WM_CAPTURECHANGED = 0x0215,
    // Two-finger pinch: wparam packs the phase and the span (pinch_wparam).
    WM_GESTURE = 0x0119,
    WM_HOTKEY = 0x0312,
    WM_USER = 0x0400,
};

// The setting-change code sent when the main window's client size changed.
constexpr std::uintptr_t setting_work_area = 47;
// Bit 30 of a key message's lParam: the key was already down (auto-repeat).
constexpr std::intptr_t key_repeat_flag = std::intptr_t(1) << 30;
// Bit 31 of a key message's lParam: the key is being released.
constexpr std::intptr_t key_release_flag = std::intptr_t(1) << 31;

// Identifies a window; 0 is no window.
using WindowId = std::uint32_t;

struct Message {
    WindowId window = 0;
    unsigned id = 0;
    std::uintptr_t wparam = 0;
    std::intptr_t lparam = 0;
    // Tick count (ms) when the message entered the queue.
    std::uint32_t time = 0;
    // Copy-data payload (WM_COPYDATA only): wparam is the data tag.
    std::vector<std::uint8_t> data;
};

// Phases of a pinch message.
enum PinchPhase : unsigned { pinch_begin_phase = 0, pinch_move_phase = 1, pinch_end_phase = 2 };
// A pinch message's wParam: the phase and the fingers' distance in 1/16 pixels.
std::uintptr_t pinch_wparam(PinchPhase phase, double span);
PinchPhase pinch_phase(std::uintptr_t wparam);
double pinch_span(std::uintptr_t wparam);
// A wheel message's wParam: the signed number of notches.
inline std::uintptr_t wheel_wparam(int notches)
{
    return static_cast<std::uintptr_t>(static_cast<std::intptr_t>(notches));
}
inline int wheel_notches(std::uintptr_t wparam)
{
    return static_cast<int>(static_cast<std::intptr_t>(wparam));
}

// Packs a position as a mouse message's lParam (x low word, y high word).
std::intptr_t make_position_lparam(int x, int y);
// Signed low word of lParam.
int lparam_x(std::intptr_t lparam);
// Signed high word of lParam.
int lparam_y(std::intptr_t lparam);

// Where logical pixel (x, y) of a picture turned by orientation (0-3) lands on a
// physical panel of physical_width x physical_height (x, y updated in place).
void logical_to_physical(int orientation, int physical_width, int physical_height, int& x, int& y);
// The inverse: the logical pixel shown at physical (x, y).
void physical_to_logical(int orientation, int physical_width, int physical_height, int& x, int& y);

// Receives the messages of one window; the result is the message's answer.
using WindowProcedure = std::function<std::intptr_t(const Message&)>;

// Size, density and orientation the system reports for the screen.
struct ScreenSettings {
    int width = 0;
    int height = 0;
    int dpi = 0;
    int orientation = 0;
};

class WindowSystem {
public:
    // Starts the message queue; asks SDL for video as options.display allows.
    explicit WindowSystem(const CommandLineOptions& options);
    // Destroys the windows left and shuts SDL down.
    ~WindowSystem();
    WindowSystem(const WindowSystem&) = delete;
    WindowSystem& operator=(const WindowSystem&) = delete;

    // The live window system (null before construction and after destruction).
    static WindowSystem* instance();

    // Whether SDL video is available for visible windows.
    bool has_video() const;
    // Why video is not available (empty when it is).
    const std::string& video_error() const;
    // The options the window system was started with.
    const CommandLineOptions& options() const;
    // Name of the SDL video driver in use ("x11", "dummy", ...), empty without video.
    std::string video_driver() const;

    // ---- windows ----
    // A window with an SDL window of the options' size (a message-only one without
    // video); sends WM_CREATE before returning. 0 when the SDL window cannot be made.
    WindowId create_window(const String& title, WindowProcedure procedure);
    // A window that only receives messages (hidden receivers).
    WindowId create_message_window(WindowProcedure procedure);
    // Sends WM_DESTROY, then forgets the window, its timers and queued messages.
    void destroy_window(WindowId window);
    // Whether the window exists.
    bool is_window(WindowId window) const;
    // The window's procedure is replaced (null: default handling only).
    void set_window_procedure(WindowId window, WindowProcedure procedure);
    // What a window does with a message it does not handle itself.
    std::intptr_t default_procedure(const Message& message);
    // Client size as the program draws it (width and height swap in orientations
    // 1 and 3); the options' size for a message-only window.
    void client_size(WindowId window, int& width, int& height) const;
    // Client size of the panel itself, before the orientation is applied.
    void physical_client_size(WindowId window, int& width, int& height) const;
    // Switches SDL full screen for the window (only when the options ask for it).
    void set_fullscreen(WindowId window, bool fullscreen);
    // Flips the full-screen choice of the options and applies it to the window at once.
    void toggle_fullscreen(WindowId window);
    // Whether full screen is chosen (by the options or toggled since); the
    // SDL window follows the choice while a display is in use.
    bool fullscreen_chosen() const;
    // Shows the window minimised.
    void minimise_window(WindowId window);
    // Restores a minimised window and brings it to the front.
    void restore_window(WindowId window);
    // The SDL window behind a visible window (null for message-only ones).
    SDL_Window* sdl_window(WindowId window) const;
    // The window's renderer, created on first use and kept while the window lives.
    SDL_Renderer* renderer(WindowId window);
    // What the screen reports: the main window's client size, the options' dpi and
    // orientation. Mouse positions reach the procedure in the same turned coordinates.
    ScreenSettings screen_settings() const;

    // ---- messages ----
    // Queues a message for the window; callable from any thread. Always true: the
    // queue takes every message (one for a window that is gone is dropped unseen).
    bool post_message(WindowId window, unsigned id, std::uintptr_t wparam, std::intptr_t lparam);
    // Queues WM_COPYDATA with tag and bytes; callable from any thread.
    bool post_copy_data(WindowId window, std::uintptr_t tag, std::vector<std::uint8_t> bytes);
    // Queues the quit message with an exit code.
    void post_quit_message(int exit_code);
    // Calls the window's procedure at once (main thread).
    std::intptr_t send_message(WindowId window, unsigned id, std::uintptr_t wparam, std::intptr_t lparam);
    // Waits for the next message; false when it is the quit message.
    bool get_message(Message& message);
    // Takes the next message without waiting; false when there is none.
    bool peek_message(Message& message);
    // Waits for the next message with this id for this window, leaving the others queued.
    void wait_for_message(WindowId window, unsigned id, Message& message);
    // Hands the message to its window's procedure.
    std::intptr_t dispatch_message(const Message& message);

    // Queues input for the main window as if the person gave it (scripted runs):
    // a key press or release, with its control character as real keys give it.
    void inject_key(int virtual_key, bool down);
    // Queues a pen message for the main window at a position in the program's coordinates.
    void inject_pen(unsigned id, int x, int y);
    // Queues a wheel turn of notches (positive away from the person) at a point.
    void inject_wheel(int x, int y, int notches);
    // Queues one phase of a two-finger pinch centred on a point, fingers span pixels apart.
    void inject_pinch(PinchPhase phase, int x, int y, double span);
    // Queues the main window's close, after the input before it, as the close button does.
    void inject_close();

    // ---- timers ----
    // Starts or restarts timer_id: WM_TIMER every period_ms while the queue is idle.
    void set_timer(WindowId window, std::uintptr_t timer_id, std::uint32_t period_ms);
    // Stops a timer; false when it was not running.
    bool kill_timer(WindowId window, std::uintptr_t timer_id);

    // ---- paint ----
    // Marks the window for one WM_PAINT when the queue is next idle.
    void invalidate_window(WindowId window);

    // ---- mouse capture ----
    // Keeps the mouse for this window until released or lost.
    void set_capture(WindowId window);
    // Ends the capture; the window that had it receives WM_CAPTURECHANGED at once.
    void release_capture();
    // The window holding the capture, 0 when none.
    WindowId capture() const;

    // ---- message box ----
    // Shows text with caption and an OK button (standard error when nothing can be shown).
    void message_box(WindowId owner, const String& caption, const String& text);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// What an SDL window event does to the program's activity. Only a window the
// person cannot see is inactive: losing the keyboard focus keeps frames,
// timers and library events running.
enum class ActivityChange { none, activate, deactivate };
ActivityChange activity_change(std::uint8_t sdl_window_event);

// The virtual-key number of an SDL key code; 0 when the key has none.
int virtual_key_from_sdl(std::int32_t sdl_key);
