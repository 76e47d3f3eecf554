#pragma once
// The program's one top-level window and everything that touches the window
// system: the window procedure, the message loop of window and direct mode,
// the display of direct mode, the paint surface of window mode, the edit
// element hand-over, and the translation of key, character and pen messages
// into the event records the Application hands to the topmost screen. Also
// the receiving end of the single-instance hand-over.

#include <cstdint>
#include <memory>
#include <vector>
#include "display/display_driver.h"
#include "elements/events.h"
#include "platform/text.h"
#include "platform/window_system.h"
#include "shell/display_mode.h"

class CActiveScheduler;
class Display;
class Element;
class PaintSurface;

// Seconds between two frame ticks (the difference taken as unsigned 32-bit),
// clamped to 0.001-0.1 so a stall never makes animations jump.
double frame_elapsed(std::uint32_t last_tick, std::uint32_t now);

// Position of the last pen-up while none has been seen since the pen went down.
constexpr int no_pen_up = -1000000;

// Whether the system calls itself a smartphone (its type logged once, then cached).
bool static_capability_is_smartphone();

class GameBase {
public:
    // Starts the window system and the scheduler and creates the main window (window mode).
    explicit GameBase(StringView application_name);
    // Destroys the display, the paint surface and the scheduler; releases the instance lock.
    ~GameBase();
    GameBase(const GameBase&) = delete;
    GameBase& operator=(const GameBase&) = delete;

    // The live GameBase, or null.
    static GameBase* instance();

    // ---- loop and frames ----
    // Dispatches messages (and runs frames in direct mode) until the quit message.
    void run_message_loop();
    // Exit code the quit message carried.
    int exit_code() const { return m_exit_code; }
    // Direct mode: measures the elapsed time, advances, and draws and presents when something changed.
    void frame_step();
    // Draws the current frame now and returns it (offscreen display or paint surface); null when none.
    const PixelBuffer* draw_current_frame();
    // Frames drawn since construction (direct-mode presents and window-mode paints).
    long long frames_drawn() const { return m_frames_drawn; }

    // ---- modes ----
    // Frames from the 40 ms timer and the paint message; no display.
    void set_window_mode(bool show_task_bar);
    // Frames through a display in orientation 0-3.
    void set_direct_mode(int orientation);
    // Whether the display keeps the hardware keys grabbed.
    void set_key_grab(bool on);
    bool is_window_mode() const { return m_window_mode; }
    bool key_grab() const { return m_key_grab; }
    Display* display() const { return m_display.get(); }
    // Shows the main window minimised.
    void minimise();
    // Restores the main window and brings it to the front.
    void restore();

    // ---- edit element hand-over ----
    // Starts (element) or ends (null) typing into an edit element; text input
    // stands in for the native edit box.
    void set_edit_element(Element* element, bool native_box);
    // Follows the edit element's rectangle while typing.
    void move_edit_box(Element* element);
    Element* edit_element() const { return m_edit_element; }
    // 1 when the input panel was up the last time typing ended.
    std::uint32_t sip_preference() const { return m_sip_preference; }

    // ---- display mode ----
    // The area the program draws into in the current mode.
    DisplayMode client_area() const;
    // Re-reads the display mode; tells orientation observers and the listener of a change.
    void ResolutionChanged();
    const DisplayMode& display_mode() const { return m_display_mode; }

    // ---- window ----
    WindowSystem& windows() { return *m_windows; }
    WindowId main_window() const { return m_main_window; }
    CActiveScheduler& scheduler() { return *m_scheduler; }
    // Command lines from later copies not handed on yet.
    const std::vector<String>& pending_command_lines() const { return m_pending_command_lines; }

private:
    std::intptr_t window_procedure(const Message& message);
    void on_paint();
    void on_timer();
    void on_key_message(const Message& message, bool pressed);
    void on_hot_key(const Message& message);
    void on_char(const Message& message);
    void on_copy_data(const Message& message);
    void hand_on_command_line();
    void on_pen_down(const Message& message);
    void on_pen_up(const Message& message);
    void on_capture_changed(const Message& message);
    // Wheel and pinch messages to the topmost screen.
    void on_gesture(const Message& message);
    void on_activate(bool active);
    void dispatch_key(const KeyEvent& event);
    void create_display();
    void destroy_display();
    void start_frame_timer();
    void stop_frame_timer();
    void place_window();
    void start_instance_hand_over();

    String m_class_name;
    String m_name;
    std::unique_ptr<WindowSystem> m_windows;
    std::unique_ptr<CActiveScheduler> m_scheduler;
    std::uint32_t m_last_message_time = 0;
    WindowId m_main_window = 0;
    bool m_inactive = false;
    int m_pen_up_x = 0;
    int m_pen_up_y = 0;
    Element* m_edit_element = nullptr;
    bool m_native_box = false;
    std::uint32_t m_sip_preference = 0;
    int m_menu_bar_height = 0;
    std::uint32_t m_last_frame_tick = 0;
    std::unique_ptr<Display> m_display;
    bool m_window_mode = true;
    bool m_show_task_bar = true;
    bool m_key_grab = true;
    DisplayParameters m_display_parameters;
    std::unique_ptr<PaintSurface> m_paint_surface;
    std::vector<String> m_pending_command_lines;
    DisplayMode m_display_mode;
    long long m_frames_drawn = 0;
    int m_exit_code = 0;
};
