// The main window, its procedure and the message loop.

#include "shell/game_base.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <sys/utsname.h>
#include <thread>
#include "display/display.h"
#include "display/paint_surface.h"
#include "elements/element.h"
#include "platform/command_line.h"
#include "platform/key_codes.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/single_instance.h"
#include "platform/tick.h"
#include "shell/active_scheduler.h"
#include "shell/application.h"
#include "shell/application_listener.h"
#include "skin/orientation_observer.h"

namespace {

GameBase* g_game_base = nullptr;

constexpr StringView kelm_key = u"HKEY_CURRENT_USER\\Software\\Kelm";
constexpr StringView sip_preference_value = u"SIPPreference";
constexpr StringView empty_command_line = u"%CommandLineEmpty%";
constexpr std::uintptr_t frame_timer = 1;
constexpr std::uint32_t frame_timer_period_ms = 40;
constexpr unsigned WM_COMMAND_LINE = WM_USER + 34;
constexpr std::uintptr_t setting_resolution = 0x3002;
constexpr std::uintptr_t setting_input_panel = 224;
constexpr auto direct_mode_pause = std::chrono::milliseconds(10);

// UTF-16 text as the little-endian bytes of a copy-data block.
std::vector<std::uint8_t> to_copy_data(StringView text)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// The characters of a copy-data block (an odd last byte is not a character).
String from_copy_data(const std::vector<std::uint8_t>& bytes)
{
    String text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

void log_tick_line(const char* text)
{
    log() << get_tick_count() << text;
}

Application* application()
{
    return Application::instance();
}

ApplicationListener* listener()
{
    Application* app = application();
    return app ? app->listener() : nullptr;
}

}  // namespace

double frame_elapsed(std::uint32_t last_tick, std::uint32_t now)
{
    const std::uint32_t difference = now - last_tick;
    return std::clamp(difference * 0.001, 0.001, 0.1);
}

GameBase* GameBase::instance()
{
    return g_game_base;
}

GameBase::GameBase(StringView application_name)
    : m_class_name(u"VestrelClass_" + String(application_name)), m_name(application_name)
{
    if (g_game_base != nullptr)
        fatal_error("instance != 0", "Application::Application");
    g_game_base = this;
    m_windows = std::make_unique<WindowSystem>(startup_options());
    m_scheduler = std::make_unique<CActiveScheduler>(*m_windows);
    m_last_frame_tick = get_tick_count();
    read_registry_dword(kelm_key, sip_preference_value, m_sip_preference);
    log_tick_line(" GameBase 0\n");
    log_tick_line(" GameBase 1\n");
    log_tick_line(" GameBase 2\n");
    log_tick_line(" GameBase 3\n");
    log_tick_line(" GameBase 4\n");
    m_main_window =
        m_windows->create_window(m_name, [this](const Message& message) { return window_procedure(message); });
    m_display_mode = read_display_mode(*m_windows);
    log_tick_line(" GameBase 5\n");
    start_instance_hand_over();
    start_frame_timer();
}

// A later copy's command line arrives on the listener thread; it travels to
// the window as a copy-data message like the one the system would send. Once
// later copies can reach the window the instance lock goes. A copy nobody can
// reach keeps it: a later copy then waits until this one ends instead of
// running beside it.
void GameBase::start_instance_hand_over()
{
    WindowSystem* windows = m_windows.get();
    const WindowId window = m_main_window;
    const auto to_window = [windows, window](const String& command_line) {
        windows->post_copy_data(window, 0,
                                to_copy_data(command_line.empty() ? empty_command_line : StringView(command_line)));
    };
    if (window != 0 && start_instance_listener(to_window)) {
        release_instance_mutex();
        return;
    }
    log() << "GameBase::GameBase instance listener not started, instance mutex kept\n";
}

GameBase::~GameBase()
{
    stop_instance_listener();
    stop_frame_timer();
    if (m_main_window != 0 && m_windows->is_window(m_main_window))
        m_windows->set_window_procedure(m_main_window, nullptr);
    m_edit_element = nullptr;
    m_pending_command_lines.clear();
    m_paint_surface.reset();
    m_display.reset();
    m_scheduler.reset();
    release_instance_mutex();
    m_windows.reset();
    g_game_base = nullptr;
}

// ---- loop and frames ----

void GameBase::run_message_loop()
{
    Message message;
    for (;;) {
        if (m_inactive || !m_display) {
            if (!m_windows->get_message(message))
                break;
        } else if (!m_windows->peek_message(message)) {
            frame_step();
            std::this_thread::sleep_for(direct_mode_pause);
            continue;
        } else if (message.id == WM_QUIT) {
            break;
        }
        m_last_message_time = message.time;
        m_windows->dispatch_message(message);
    }
    m_exit_code = static_cast<int>(message.wparam);
}

void GameBase::frame_step()
{
    const std::uint32_t now = get_tick_count();
    const double elapsed = frame_elapsed(m_last_frame_tick, now);
    m_last_frame_tick = now;
    Application* app = application();
    app->update(elapsed);
    if (!app->needs_frame(true))
        return;
    if (m_display && m_display->begin()) {
        DrawTarget target(m_display->back_buffer());
        app->render(target);
        m_display->present(0);
        ++m_frames_drawn;
    }
}

const PixelBuffer* GameBase::draw_current_frame()
{
    if (m_display) {
        if (application()->needs_frame(true) && m_display->begin()) {
            DrawTarget target(m_display->back_buffer());
            application()->render(target);
            m_display->present(0);
            ++m_frames_drawn;
        }
        return m_display->shown_frame();
    }
    on_paint();
    return m_paint_surface ? &m_paint_surface->pixels() : nullptr;
}

// ---- modes ----

void GameBase::set_window_mode(bool show_task_bar)
{
    if (m_window_mode && m_show_task_bar == show_task_bar)
        return;
    m_window_mode = true;
    m_show_task_bar = show_task_bar;
    if (m_edit_element)
        return;
    application()->request_redraw();
    destroy_display();
    start_frame_timer();
    place_window();
}

void GameBase::set_direct_mode(int orientation)
{
    if (!m_window_mode && m_display_parameters.orientation == orientation)
        return;
    m_display_parameters.orientation = orientation;
    m_window_mode = false;
    destroy_display();
    if (m_edit_element)
        return;
    application()->request_redraw();
    create_display();
    if (m_display)
        stop_frame_timer();
    place_window();
}

void GameBase::set_key_grab(bool on)
{
    m_key_grab = on;
}

void GameBase::minimise()
{
    if (m_main_window != 0)
        m_windows->minimise_window(m_main_window);
}

void GameBase::restore()
{
    if (m_main_window != 0)
        m_windows->restore_window(m_main_window);
}

// Without any display driver the program keeps drawing window-mode frames
// from the timer, so it still shows something and still answers.
void GameBase::create_display()
{
    m_display_parameters.width = 0;
    m_display_parameters.height = 0;
    m_display = Display::create(*m_windows, m_main_window, m_display_parameters);
    if (!m_display) {
        log() << "GameBase: no display for direct mode, frames come from the window timer\n";
        start_frame_timer();
        return;
    }
    if (m_display_parameters.swap_effect == 0)
        m_display_parameters.swap_effect = 1;
    if (application()->screen_count() == 0) {
        // The first frames start from what the screen shows now.
        if (const PixelBuffer* shown = m_display->shown_frame()) {
            RenderSurface& background = application()->background_surface();
            background.recreate({shown->width(), shown->height()});
            if (PixelBuffer* pixels = background.buffer())
                for (int y = 0; y < shown->height(); ++y)
                    std::copy_n(shown->row(y), shown->width(), pixels->row(y));
        }
    }
}

void GameBase::destroy_display()
{
    m_display.reset();
}

void GameBase::start_frame_timer()
{
    if (m_main_window != 0)
        m_windows->set_timer(m_main_window, frame_timer, frame_timer_period_ms);
}

void GameBase::stop_frame_timer()
{
    if (m_main_window != 0)
        m_windows->kill_timer(m_main_window, frame_timer);
}

// ---- display mode ----

// This platform has no task bar and no menu bar (its creation fails, height
// 0), so the reserved heights are 0 and the window's client is the whole
// drawing area; in direct mode the display's size counts.
DisplayMode GameBase::client_area() const
{
    DisplayMode area = m_display_mode;
    if (m_display && !m_edit_element) {
        area.width = area.client_width = m_display_parameters.width;
        area.height = area.client_height = m_display_parameters.height;
        area.orientation = m_display_parameters.orientation;
        return area;
    }
    const int top = 0;
    const int bottom = m_menu_bar_height;
    area.client_x = 0;
    area.client_y = m_show_task_bar ? top : 0;
    area.client_height = std::max(area.height - bottom - area.client_y, 0);
    area.client_width = std::max(area.width - area.client_x, 0);
    return area;
}

void GameBase::place_window()
{
    if (m_main_window == 0)
        return;
    m_windows->set_fullscreen(m_main_window, !m_window_mode && !m_edit_element);
    m_windows->invalidate_window(m_main_window);
}

void GameBase::ResolutionChanged()
{
    const DisplayMode mode = read_display_mode(*m_windows);
    const DisplayMode& stored = m_display_mode;
    const bool changed = mode.width != stored.width || mode.height != stored.height ||
                         mode.orientation != stored.orientation || mode.dpi != stored.dpi;
    if (changed) {
        if (mode.orientation != stored.orientation)
            OrientationObserver::notify_all();
        m_display_mode = mode;
        log() << "Application::ResolutionChanged 2\n";
        // A display of the old size would show a cut or stretched frame.
        if (m_display) {
            destroy_display();
            create_display();
        }
        application()->request_redraw();
        if (ApplicationListener* l = listener())
            l->on_layout_changed();
    }
    place_window();
}

// ---- edit element hand-over ----

void GameBase::set_edit_element(Element* element, bool native_box)
{
    const bool entering = element != nullptr && m_edit_element == nullptr;
    const bool leaving = element == nullptr && m_edit_element != nullptr;
    m_edit_element = element;
    application()->request_redraw();
    if (!entering && !leaving)
        return;
    if (entering) {
        destroy_display();
        start_frame_timer();
    } else if (!m_window_mode) {
        create_display();
        if (m_display)
            stop_frame_timer();
    }
    place_window();
    // The input panel never comes up here; the preference is kept as the
    // device would keep it: 0 whenever typing ends with the panel down.
    if (leaving) {
        m_sip_preference = 0;
        write_registry_dword(kelm_key, sip_preference_value, m_sip_preference);
    }
    m_native_box = native_box && entering;
    if (m_native_box)
        move_edit_box(element);
}

void GameBase::move_edit_box(Element* element)
{
    if (element != m_edit_element || !m_native_box)
        return;
    application()->request_redraw();
}

// ---- window procedure ----

std::intptr_t GameBase::window_procedure(const Message& message)
{
    switch (message.id) {
    case WM_CREATE:
        // The soft-key menu bar would be chosen by the platform type; it
        // cannot be created on this platform, so it takes no height.
        static_capability_is_smartphone();
        m_menu_bar_height = 0;
        break;
    case WM_DESTROY:
        m_windows->post_quit_message(0);
        break;
    case WM_ACTIVATE:
        on_activate((message.wparam & 0xFFFF) != 0);
        break;
    case WM_PAINT:
        on_paint();
        return 0;
    case WM_CLOSE:
        if (ApplicationListener* l = listener(); l && !l->can_close())
            return 0;
        m_windows->destroy_window(message.window);
        m_main_window = 0;
        return 0;
    case WM_SETTINGCHANGE:
        if (message.wparam == setting_resolution || message.wparam == setting_work_area ||
            message.wparam == setting_input_panel)
            ResolutionChanged();
        break;
    case WM_COPYDATA:
        on_copy_data(message);
        break;
    case WM_COMMAND_LINE:
        hand_on_command_line();
        break;
    case WM_HELP:
        if (ApplicationListener* l = listener())
            l->on_help(message.wparam, message.lparam);
        break;
    case WM_KEYDOWN:
        on_key_message(message, true);
        break;
    case WM_KEYUP:
        on_key_message(message, false);
        break;
    case WM_CHAR:
        on_char(message);
        break;
    case WM_HOTKEY:
        on_hot_key(message);
        break;
    case WM_TIMER:
        if (message.wparam == frame_timer)
            on_timer();
        break;
    case WM_MOUSEMOVE:
        application()->on_stylus_move(
            {lparam_x(message.lparam), lparam_y(message.lparam), static_cast<int>(m_last_message_time)});
        break;
    case WM_LBUTTONDOWN:
        on_pen_down(message);
        break;
    case WM_LBUTTONUP:
        on_pen_up(message);
        break;
    case WM_CAPTURECHANGED:
        on_capture_changed(message);
        break;
    case WM_MOUSEWHEEL:
    case WM_GESTURE:
        on_gesture(message);
        break;
    default:
        break;
    }
    return m_windows->default_procedure(message);
}

void GameBase::on_activate(bool active)
{
    if (active) {
        place_window();
        m_inactive = false;
        if (ApplicationListener* l = listener())
            l->on_activate();
    } else {
        m_inactive = true;
        if (ApplicationListener* l = listener())
            l->on_deactivate();
    }
}

// A paint always draws the whole frame: the system may have lost the window's
// contents, whatever the screens think.
void GameBase::on_paint()
{
    const DisplayMode area = client_area();
    if (area.client_width <= 0 || area.client_height <= 0)
        return;
    if (!m_paint_surface || m_paint_surface->width() != area.client_width ||
        m_paint_surface->height() != area.client_height) {
        m_paint_surface.reset();
        m_paint_surface = PaintSurface::create(area.client_width, area.client_height);
        if (!m_paint_surface)
            return;
    }
    DrawTarget target(&m_paint_surface->pixels());
    application()->render(target);
    if (m_main_window != 0)
        m_paint_surface->copy_to_window(*m_windows, m_main_window);
    ++m_frames_drawn;
}

// Only frames with something new are painted, so an idle window costs one
// update per tick and no drawing.
void GameBase::on_timer()
{
    if (m_inactive || m_display)
        return;
    const std::uint32_t now = get_tick_count();
    const double elapsed = frame_elapsed(m_last_frame_tick, now);
    m_last_frame_tick = now;
    application()->update(elapsed);
    if (application()->needs_frame(true) && m_main_window != 0)
        m_windows->invalidate_window(m_main_window);
}

namespace {

// The key messages' lParam is a 32-bit value: bit 31 marks a key-up and bit 30
// a repeat, so it is logged as the signed number it is on the original system.
std::int32_t signed_lparam(const Message& message)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(message.lparam));
}

}  // namespace

bool static_capability_is_smartphone()
{
    static const bool is_smartphone = [] {
        utsname system{};
        std::string type = uname(&system) == 0 ? std::string(system.sysname).substr(0, 200) : std::string();
        log() << "static_capability_is_smartphone=" << type.c_str() << "\n";
        std::transform(type.begin(), type.end(), type.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return type == "smartphone";
    }();
    return is_smartphone;
}

void GameBase::on_key_message(const Message& message, bool pressed)
{
    const KeyCode key = key_from_virtual_key(static_cast<int>(message.wparam));
    KeyEvent event;
    event.key = key;
    event.pressed = pressed;
    event.first = !pressed || (message.lparam & key_repeat_flag) == 0;
    log() << (pressed ? "WM_KEYDOWN = " : "WM_KEYUP = ") << static_cast<long>(message.wparam) << "(" << key << ")"
          << " lParam=" << signed_lparam(message) << " ticks=" << get_tick_count() << "\n";
    dispatch_key(event);
}

void GameBase::dispatch_key(const KeyEvent& event)
{
    // The full-screen key works on every screen, before the screens see keys.
    if (event.key == key_f11) {
        if (event.pressed && event.first)
            m_windows->toggle_fullscreen(m_main_window);
        return;
    }
    if (ApplicationListener* l = listener(); l && l->on_key(event))
        return;
    application()->on_key(event);
}

// The soft keys arrive this way; they go to the screens directly.
void GameBase::on_hot_key(const Message& message)
{
    const int virtual_key = static_cast<int>((message.lparam >> 16) & 0xFFFF);
    KeyEvent event;
    event.key = key_from_virtual_key(virtual_key);
    event.pressed = (message.lparam & 0x1000) == 0;
    event.first = true;
    log() << "WM_HOTKEY = " << static_cast<long>(message.wparam) << "(" << KeyCode(event.key) << ")"
          << " lParam=" << signed_lparam(message) << " ticks=" << get_tick_count() << "\n";
    application()->on_key(event);
}

void GameBase::on_char(const Message& message)
{
    CharEvent event;
    event.text = String(1, static_cast<char16_t>(message.wparam & 0xFFFF));
    log() << "WM_CHAR=" << event.text << " lParam=" << signed_lparam(message) << " ticks=" << get_tick_count() << "\n";
    if (message.wparam >= 32)
        application()->on_char(event);
}

void GameBase::on_copy_data(const Message& message)
{
    if (message.wparam != 0)
        return;
    String command_line = from_copy_data(message.data);
    if (command_line == empty_command_line)
        command_line.clear();
    m_pending_command_lines.push_back(std::move(command_line));
    m_windows->post_message(message.window, WM_COMMAND_LINE, 0, 0);
}

// The most recent command line is handed on first.
void GameBase::hand_on_command_line()
{
    if (m_pending_command_lines.empty())
        return;
    String command_line = std::move(m_pending_command_lines.back());
    m_pending_command_lines.pop_back();
    if (ApplicationListener* l = listener())
        l->on_command_line(command_line);
}

void GameBase::on_pen_down(const Message& message)
{
    m_pen_up_x = no_pen_up;
    m_pen_up_y = no_pen_up;
    m_windows->set_capture(message.window);
    StylusEvent event;
    event.x = lparam_x(message.lparam);
    event.y = lparam_y(message.lparam);
    event.time = static_cast<int>(m_last_message_time);
    event.down = true;
    application()->on_stylus(event);
}

// The pen-up event is sent when the capture goes (just below), so that a
// capture lost without a lift gives a cancelled pen-up.
void GameBase::on_pen_up(const Message& message)
{
    m_pen_up_x = lparam_x(message.lparam);
    m_pen_up_y = lparam_y(message.lparam);
    m_windows->release_capture();
}

void GameBase::on_gesture(const Message& message)
{
    GestureEvent event;
    event.x = lparam_x(message.lparam);
    event.y = lparam_y(message.lparam);
    if (message.id == WM_MOUSEWHEEL) {
        event.kind = GestureEvent::wheel;
        event.notches = wheel_notches(message.wparam);
    } else {
        const PinchPhase phase = pinch_phase(message.wparam);
        event.kind = phase == pinch_begin_phase  ? GestureEvent::pinch_begin
                     : phase == pinch_move_phase ? GestureEvent::pinch_move
                                                 : GestureEvent::pinch_end;
        event.span = pinch_span(message.wparam);
    }
    application()->on_gesture(event);
}

void GameBase::on_capture_changed(const Message& /*message*/)
{
    StylusEvent event;
    event.x = m_pen_up_x;
    event.y = m_pen_up_y;
    event.time = static_cast<int>(m_last_message_time);
    event.down = false;
    event.cancelled = m_pen_up_x == no_pen_up && m_pen_up_y == no_pen_up;
    application()->on_stylus(event);
}
