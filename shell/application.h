#pragma once
// The centre of the running program: the stack of screens, input routing to
// the focused edit and the topmost screen, the per-frame advance and the drawing of a frame (with
// a dimmed background under overlay screens, animated transitions between
// screens and the frame-time display while logging is on).

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>
#include "elements/edit.h"
#include "elements/events.h"
#include "pixels/render_surface.h"
#include "platform/singleton.h"
#include "platform/text.h"
#include "shell/game_base.h"
#include "skin/font.h"

class Element;
class ApplicationListener;
class ScreenTransition;

class Application final : public Singleton<Application>, private EditFocusListener {
public:
    // Registers the fourteen element kinds and creates the window (through GameBase).
    explicit Application(StringView name);
    // Destroys the window part and removes the element kinds again.
    ~Application();

    // ---- screen stack ----
    // Pushes screen (owned by the caller) as a full screen or as an overlay.
    void show_screen(Element* screen, bool overlay);
    // Takes screen off the stack (it is not destroyed); false when it is not shown.
    bool close_screen(Element* screen);
    // Asks for one more frame.
    void request_redraw() { m_redraw_requested = true; }
    // The topmost screen, or null.
    Element* top_screen() const;
    // Number of screens on the stack.
    int screen_count() const { return static_cast<int>(m_stack.size()); }
    // The screen at index (0 = bottom) and whether it is an overlay.
    Element* screen_at(int index) const { return m_stack[index].screen; }
    bool is_overlay_at(int index) const { return m_stack[index].overlay; }

    // ---- input, each to the topmost screen ----
    void on_stylus_move(const StylusMove& move);
    // true with an empty stack.
    bool on_stylus(const StylusEvent& event);
    // Keys and typed text go to the focused edit of the topmost screen
    // first, and to the screen when the edit does not take them.
    void on_key(const KeyEvent& event);
    void on_char(const CharEvent& event);
    void on_gesture(const GestureEvent& event);

    // ---- frame ----
    // Advances the running transition, or else places and advances the topmost screen.
    void update(double seconds);
    // Whether something changed since the last frame (count_previous: one more frame after a change).
    bool needs_frame(bool count_previous) const;
    // Draws the frame into target (its buffer is the client size or larger).
    void render(DrawTarget& target);

    // ---- parts ----
    GameBase& game_base() { return *m_game_base; }
    ApplicationListener* listener() const { return m_listener; }
    void set_listener(ApplicationListener* listener) { m_listener = listener; }
    const String& name() const { return m_name; }
    // Brightness applied to the frame: 256 unchanged, 128 half.
    int dim_level() const { return m_dim_level; }
    const ScreenTransition* transition() const { return m_transition.get(); }
    // Snapshot of what lies under an overlay screen or a transition.
    RenderSurface& background_surface() { return m_background; }
    Color background_colour() const { return m_background_colour; }
    // The frame-time text of the last frame drawn with logging on (empty otherwise).
    const String& frame_time_text() const { return m_frame_time_text; }
    // The colour that text was drawn in.
    Color frame_time_colour() const { return m_frame_time_colour; }

private:
    struct Entry {
        Element* screen = nullptr;
        bool overlay = false;
    };

    // Typing starts or ends in the window when the focus moves.
    void on_edit_focus_changed(Edit* edit) override;
    // The focused edit when it belongs to the topmost screen, else null.
    Edit* typing_edit() const;
    Size client_size() const;
    void place(Element& screen, Size size);
    void take_snapshot(Element& screen);
    void start_transition(const RenderSurface& outgoing, int direction, Element& screen);
    void show_full_screen(Element& screen);
    void close_top_full_screen(Element& closed);
    void draw_frame_time(DrawTarget& target);
    void register_element_kinds();
    void unregister_element_kinds();

    Color m_background_colour;
    ApplicationListener* m_listener = nullptr;
    String m_name;
    std::vector<Entry> m_stack;
    RenderSurface m_background;
    int m_dim_level = 256;
    std::unique_ptr<ScreenTransition> m_transition;
    std::unique_ptr<GameBase> m_game_base;
    Font m_overlay_font;
    std::deque<std::uint32_t> m_frame_times;
    bool m_redraw_requested = true;
    bool m_drew_last_frame = true;
    String m_frame_time_text;
    Color m_frame_time_colour;
};

// The colour of the frame-time text for an average frame time in milliseconds.
Color frame_time_colour(double average_ms);
// The frame-time text: average ms with one decimal (bracketed when nothing was redrawn) and kilo-pixels.
String frame_time_text(double average_ms, bool drew_last_frame, std::int64_t live_pixels);
