// The window system on SDL2. All windows, timers and paint requests live on
// the main thread; only the posted-message queue is shared with other threads.
//
// Order in which a waiting get_message hands out work, as programs written
// for a message queue expect: posted messages, then input, then one paint
// per invalidated window, then due timers.

#include "platform/window_system.h"

#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include "platform/dialog_raise.h"
#include "platform/single_instance.h"
#include "platform/tick.h"

namespace {

std::atomic<WindowSystem*> g_instance{nullptr};

// Without an SDL wake-up (dummy drivers) the loop still looks at SDL this often.
constexpr int idle_pump_ms = 100;

struct WindowRecord {
    WindowProcedure procedure;
    SDL_Window* sdl = nullptr;
    SDL_Renderer* renderer = nullptr;
    bool needs_paint = false;
};

struct TimerRecord {
    WindowId window = 0;
    std::uintptr_t id = 0;
    std::uint32_t period = 0;
    std::uint32_t due = 0;
};

// Milliseconds from now until tick (negative when it is past), safe across wrap-around.
std::int32_t ticks_until(std::uint32_t tick, std::uint32_t now)
{
    return static_cast<std::int32_t>(tick - now);
}

// Drivers with no screen: they show no message box and cannot wake a waiting
// SDL_WaitEventTimeout from another thread.
bool is_headless_driver(const char* name)
{
    return name == nullptr || SDL_strcmp(name, "dummy") == 0 || SDL_strcmp(name, "offscreen") == 0;
}

// Shows SDL's modal message box; false when SDL could not show it. While it is
// up, a later copy of the program raises it instead of handing its command
// line to the window: on X it is a dialog window titled with the caption.
bool show_sdl_message_box(const std::string& caption, const std::string& text, SDL_Window* owner)
{
    const InstanceDialog shown([caption] { raise_dialog_window(caption); });
    return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption.c_str(), text.c_str(), owner) == 0;
}

// Moves the oldest message of queue into message; false when it is empty.
bool take_first(std::deque<Message>& queue, Message& message)
{
    if (queue.empty())
        return false;
    message = std::move(queue.front());
    queue.pop_front();
    return true;
}

}  // namespace

struct WindowSystem::State {
    CommandLineOptions options;
    bool video = false;
    std::string video_error;
    // True when SDL_WaitEventTimeout can be woken by a posted SDL event.
    bool sdl_waits = false;
    std::uint32_t wake_event = 0;
    std::thread::id main_thread;

    std::map<WindowId, WindowRecord> windows;
    WindowId next_window = 1;
    WindowId main_window = 0;
    std::vector<TimerRecord> timers;
    std::deque<Message> input;
    WindowId capture = 0;
    bool active = true;
    // Whether a pen-down was queued without its pen-up.
    bool pen_down = false;
    // Fingers on the touch screen (SDL positions, 0-1 across the window); two make a pinch.
    std::map<SDL_FingerID, SDL_FPoint> fingers;
    bool pinching = false;
    // From the start of a pinch until every finger is lifted, the pen SDL
    // makes from the first finger is ignored.
    bool touch_pen_ignored = false;

    std::mutex posted_mutex;
    std::condition_variable posted_signal;
    std::deque<Message> posted;

    WindowRecord* find(WindowId window)
    {
        auto found = windows.find(window);
        return found == windows.end() ? nullptr : &found->second;
    }
    const WindowRecord* find(WindowId window) const
    {
        auto found = windows.find(window);
        return found == windows.end() ? nullptr : &found->second;
    }
    WindowId window_of_sdl(std::uint32_t sdl_id) const
    {
        for (const auto& [id, record] : windows) {
            if (record.sdl != nullptr && SDL_GetWindowID(record.sdl) == sdl_id)
                return id;
        }
        return 0;
    }

    void queue_input(WindowId window, unsigned id, std::uintptr_t wparam, std::intptr_t lparam)
    {
        if (window == 0)
            return;
        Message message;
        message.window = window;
        message.id = id;
        message.wparam = wparam;
        message.lparam = lparam;
        message.time = get_tick_count();
        input.push_back(std::move(message));
    }

    void post(Message message)
    {
        message.time = get_tick_count();
        {
            std::lock_guard<std::mutex> lock(posted_mutex);
            posted.push_back(std::move(message));
        }
        posted_signal.notify_one();
        if (sdl_waits && std::this_thread::get_id() != main_thread) {
            SDL_Event wake{};
            wake.type = wake_event;
            SDL_PushEvent(&wake);
        }
    }

    // Posted activation changes are sent once per change of state.
    void set_active(bool now_active)
    {
        if (now_active == active)
            return;
        active = now_active;
        queue_input(main_window, WM_ACTIVATE, now_active ? 1 : 0, 0);
        if (!now_active)
            cancel_capture();
    }

    // The capture is lost without a button release.
    void cancel_capture()
    {
        if (capture == 0)
            return;
        queue_input(capture, WM_CAPTURECHANGED, 0, 0);
        capture = 0;
        SDL_CaptureMouse(SDL_FALSE);
    }

    void translate_window_event(const SDL_WindowEvent& event)
    {
        WindowId window = window_of_sdl(event.windowID);
        WindowRecord* record = find(window);
        if (record == nullptr)
            return;
        switch (event.event) {
        case SDL_WINDOWEVENT_CLOSE:
            queue_input(window, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            record->needs_paint = true;
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            record->needs_paint = true;
            queue_input(window, WM_SETTINGCHANGE, setting_work_area, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // The pen cannot be lifted in a window without focus.
            cancel_capture();
            break;
        default:
            break;
        }
        const ActivityChange change = activity_change(event.event);
        if (change != ActivityChange::none)
            set_active(change == ActivityChange::activate);
    }

    void translate_key(const SDL_KeyboardEvent& event)
    {
        int virtual_key = virtual_key_from_sdl(event.keysym.sym);
        if (virtual_key != 0)
            queue_key(virtual_key, event.type == SDL_KEYDOWN, event.repeat != 0, event.keysym.scancode & 0xFF);
    }

    void queue_key(int virtual_key, bool down, bool repeat, int scan_code)
    {
        std::intptr_t lparam = 1 | (std::intptr_t(scan_code) << 16);
        if (!down)
            lparam |= key_repeat_flag | key_release_flag;
        else if (repeat)
            lparam |= key_repeat_flag;
        queue_input(main_window, down ? WM_KEYDOWN : WM_KEYUP, virtual_key, lparam);
        // Keys that produce a control character also produce its WM_CHAR, as
        // text input reports printable characters only.
        bool control_character = virtual_key == 8 || virtual_key == 9 || virtual_key == 13 || virtual_key == 27;
        if (down && control_character)
            queue_input(main_window, WM_CHAR, virtual_key, lparam);
    }

    void translate_text(const char* utf8)
    {
        for (char16_t unit : from_utf8(utf8))
            queue_input(main_window, WM_CHAR, unit, 1);
    }

    // Mouse positions are turned into the program's coordinates.
    void queue_mouse(std::uint32_t sdl_id, unsigned id, std::uintptr_t wparam, int x, int y)
    {
        WindowId window = window_of_sdl(sdl_id);
        const WindowRecord* record = find(window);
        if (record == nullptr)
            return;
        int width = 0, height = 0;
        SDL_GetWindowSize(record->sdl, &width, &height);
        physical_to_logical(options.orientation, width, height, x, y);
        if (id == WM_LBUTTONDOWN || id == WM_LBUTTONUP)
            pen_down = id == WM_LBUTTONDOWN;
        queue_input(window, id, wparam, make_position_lparam(x, y));
    }

    void translate_wheel(const SDL_MouseWheelEvent& wheel)
    {
        int notches = wheel.y;
        if (wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
            notches = -notches;
        if (notches != 0)
            queue_mouse(wheel.windowID, WM_MOUSEWHEEL, wheel_wparam(notches), wheel.mouseX, wheel.mouseY);
    }

    // One finger stays the pen (SDL makes mouse events of it); a second one
    // takes the pen away and starts a pinch, which ends when either lifts.
    void translate_finger(const SDL_TouchFingerEvent& finger, std::uint32_t type)
    {
        fingers[finger.fingerId] = SDL_FPoint{finger.x, finger.y};
        if (type == SDL_FINGERUP) {
            // The pinch ends where the fingers were when the first one left.
            if (pinching) {
                pinching = false;
                queue_pinch(pinch_end_phase);
            }
            fingers.erase(finger.fingerId);
        } else if (fingers.size() >= 2 && !pinching) {
            pinching = true;
            touch_pen_ignored = true;
            if (pen_down) {
                pen_down = false;
                queue_input(main_window, WM_CAPTURECHANGED, 0, 0);
            }
            queue_pinch(pinch_begin_phase);
        } else if (pinching && type == SDL_FINGERMOTION) {
            queue_pinch(pinch_move_phase);
        }
        if (fingers.empty())
            touch_pen_ignored = false;
    }

    // The pinch of the first two fingers, in window pixels.
    void queue_pinch(PinchPhase phase)
    {
        const WindowRecord* record = find(main_window);
        if (record == nullptr || record->sdl == nullptr || fingers.size() < 2)
            return;
        int width = 0, height = 0;
        SDL_GetWindowSize(record->sdl, &width, &height);
        auto second = std::next(fingers.begin());
        const SDL_FPoint a{fingers.begin()->second.x * width, fingers.begin()->second.y * height};
        const SDL_FPoint b{second->second.x * width, second->second.y * height};
        const double span = std::hypot(double(a.x - b.x), double(a.y - b.y));
        int x = static_cast<int>(std::lround((a.x + b.x) / 2.0));
        int y = static_cast<int>(std::lround((a.y + b.y) / 2.0));
        physical_to_logical(options.orientation, width, height, x, y);
        queue_input(main_window, WM_GESTURE, pinch_wparam(phase, span), make_position_lparam(x, y));
    }

    void translate(const SDL_Event& event)
    {
        switch (event.type) {
        case SDL_QUIT:
            queue_input(main_window, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT:
            translate_window_event(event.window);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            translate_key(event.key);
            break;
        case SDL_TEXTINPUT:
            translate_text(event.text.text);
            break;
        case SDL_MOUSEWHEEL:
            translate_wheel(event.wheel);
            break;
        case SDL_FINGERDOWN:
        case SDL_FINGERMOTION:
        case SDL_FINGERUP:
            translate_finger(event.tfinger, event.type);
            break;
        case SDL_MOUSEMOTION:
            if (touch_pen_ignored && event.motion.which == SDL_TOUCH_MOUSEID)
                break;
            // A pen cannot hover: moves count only while it is down or captured.
            if ((event.motion.state & SDL_BUTTON_LMASK) != 0 || capture != 0)
                queue_mouse(event.motion.windowID, WM_MOUSEMOVE, (event.motion.state & SDL_BUTTON_LMASK) ? 1 : 0,
                            event.motion.x, event.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (touch_pen_ignored && event.button.which == SDL_TOUCH_MOUSEID)
                break;
            if (event.button.button == SDL_BUTTON_LEFT)
                queue_mouse(event.button.windowID, event.type == SDL_MOUSEBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0,
                            event.button.x, event.button.y);
            break;
        default:
            break;
        }
    }

    void pump()
    {
        if (!video)
            return;
        SDL_Event event;
        while (SDL_PollEvent(&event))
            translate(event);
    }

    bool take_posted(Message& message)
    {
        std::lock_guard<std::mutex> lock(posted_mutex);
        return take_first(posted, message);
    }

    bool take_input(Message& message) { return take_first(input, message); }

    bool take_paint(Message& message)
    {
        for (auto& [id, record] : windows) {
            if (record.needs_paint) {
                record.needs_paint = false;
                message = Message{id, WM_PAINT, 0, 0, get_tick_count(), {}};
                return true;
            }
        }
        return false;
    }

    bool take_timer(Message& message)
    {
        std::uint32_t now = get_tick_count();
        for (TimerRecord& timer : timers) {
            if (ticks_until(timer.due, now) <= 0) {
                // Missed periods collapse into one message, as an idle queue would give.
                timer.due = now + timer.period;
                message = Message{timer.window, WM_TIMER, timer.id, 0, now, {}};
                return true;
            }
        }
        return false;
    }

    bool take_next(Message& message)
    {
        pump();
        return take_posted(message) || take_input(message) || take_paint(message) || take_timer(message);
    }

    // Milliseconds until the next timer is due; -1 when none runs.
    int next_timer_wait() const
    {
        if (timers.empty())
            return -1;
        std::uint32_t now = get_tick_count();
        std::int32_t wait = INT32_MAX;
        for (const TimerRecord& timer : timers)
            wait = std::min(wait, ticks_until(timer.due, now));
        return std::max(wait, 0);
    }

    // Blocks until something may have arrived or timeout_ms (-1: none) has passed.
    void wait_for_activity(int timeout_ms)
    {
        if (sdl_waits) {
            SDL_Event event;
            if (SDL_WaitEventTimeout(&event, timeout_ms) != 0)
                translate(event);
            return;
        }
        if (video && (timeout_ms < 0 || timeout_ms > idle_pump_ms))
            timeout_ms = idle_pump_ms;
        std::unique_lock<std::mutex> lock(posted_mutex);
        auto has_posted = [this] { return !posted.empty(); };
        if (timeout_ms < 0)
            posted_signal.wait(lock, has_posted);
        else
            posted_signal.wait_for(lock, std::chrono::milliseconds(timeout_ms), has_posted);
    }

    void forget_messages_of(WindowId window)
    {
        auto of_window = [window](const Message& message) { return message.window == window; };
        std::erase_if(input, of_window);
        std::lock_guard<std::mutex> lock(posted_mutex);
        std::erase_if(posted, of_window);
    }
};

std::uintptr_t pinch_wparam(PinchPhase phase, double span)
{
    const double sixteenths = std::clamp(span * 16.0, 0.0, double(UINT32_MAX >> 2));
    return (static_cast<std::uintptr_t>(std::lround(sixteenths)) << 2) | phase;
}

PinchPhase pinch_phase(std::uintptr_t wparam)
{
    return static_cast<PinchPhase>(wparam & 3);
}

double pinch_span(std::uintptr_t wparam)
{
    return static_cast<double>((wparam >> 2) & (UINT32_MAX >> 2)) / 16.0;
}

std::intptr_t make_position_lparam(int x, int y)
{
    return static_cast<std::intptr_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(x)) |
                                      (static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16));
}

int lparam_x(std::intptr_t lparam)
{
    return static_cast<std::int16_t>(lparam & 0xFFFF);
}

int lparam_y(std::intptr_t lparam)
{
    return static_cast<std::int16_t>((lparam >> 16) & 0xFFFF);
}

void logical_to_physical(int orientation, int physical_width, int physical_height, int& x, int& y)
{
    int lx = x, ly = y;
    switch (orientation & 3) {
    case 1:
        x = ly;
        y = physical_height - 1 - lx;
        break;
    case 2:
        x = physical_width - 1 - lx;
        y = physical_height - 1 - ly;
        break;
    case 3:
        x = physical_width - 1 - ly;
        y = lx;
        break;
    default:
        break;
    }
}

void physical_to_logical(int orientation, int physical_width, int physical_height, int& x, int& y)
{
    // Turning back by orientation is turning forward by the remaining quarter turns,
    // on the panel as it is seen turned.
    bool odd = (orientation & 1) != 0;
    logical_to_physical(4 - (orientation & 3), odd ? physical_height : physical_width,
                        odd ? physical_width : physical_height, x, y);
}

WindowSystem::WindowSystem(const CommandLineOptions& options) : m_state(std::make_unique<State>())
{
    m_state->options = options;
    m_state->main_thread = std::this_thread::get_id();
    // The off-screen and frame-buffer outputs want no desktop window: SDL's
    // dummy driver still gives the event queue, unless the user chose a driver.
    bool windowless = options.display == DisplayChoice::offscreen || options.display == DisplayChoice::frame_buffer;
    if (windowless && std::getenv("SDL_VIDEODRIVER") == nullptr)
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    // Closing the window is the window's own close message, never a second quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    bool driver_chosen = windowless || std::getenv("SDL_VIDEODRIVER") != nullptr;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        m_state->video_error = SDL_GetError();
        if (m_state->video_error.empty())
            m_state->video_error = "no video device";
    } else if (!driver_chosen && is_headless_driver(SDL_GetCurrentVideoDriver())) {
        // With no screen at all SDL falls back to a driver that shows nothing;
        // a program on it would run unseen instead of saying there is no display.
        m_state->video_error =
            std::string("no screen (SDL found only its \"") + SDL_GetCurrentVideoDriver() + "\" driver)";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    } else {
        m_state->video = true;
        m_state->wake_event = SDL_RegisterEvents(1);
        m_state->sdl_waits = !is_headless_driver(SDL_GetCurrentVideoDriver());
    }
    g_instance = this;
}

WindowSystem::~WindowSystem()
{
    g_instance = nullptr;
    while (!m_state->windows.empty())
        destroy_window(m_state->windows.begin()->first);
    if (m_state->video)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

WindowSystem* WindowSystem::instance()
{
    return g_instance;
}

bool WindowSystem::has_video() const
{
    return m_state->video;
}

const std::string& WindowSystem::video_error() const
{
    return m_state->video_error;
}

const CommandLineOptions& WindowSystem::options() const
{
    return m_state->options;
}

std::string WindowSystem::video_driver() const
{
    const char* name = m_state->video ? SDL_GetCurrentVideoDriver() : nullptr;
    return name != nullptr ? name : "";
}

WindowId WindowSystem::create_window(const String& title, WindowProcedure procedure)
{
    WindowRecord record;
    record.procedure = std::move(procedure);
    if (m_state->video) {
        record.sdl = SDL_CreateWindow(to_utf8(title).c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                      m_state->options.width, m_state->options.height, SDL_WINDOW_RESIZABLE);
        if (record.sdl == nullptr)
            return 0;
    }
    WindowId window = m_state->next_window++;
    m_state->windows.emplace(window, std::move(record));
    if (m_state->main_window == 0)
        m_state->main_window = window;
    send_message(window, WM_CREATE, 0, 0);
    return window;
}

WindowId WindowSystem::create_message_window(WindowProcedure procedure)
{
    WindowId window = m_state->next_window++;
    m_state->windows.emplace(window, WindowRecord{std::move(procedure)});
    send_message(window, WM_CREATE, 0, 0);
    return window;
}

void WindowSystem::destroy_window(WindowId window)
{
    if (m_state->find(window) == nullptr)
        return;
    send_message(window, WM_DESTROY, 0, 0);
    // The procedure may have destroyed the window itself meanwhile.
    WindowRecord* record = m_state->find(window);
    if (record == nullptr)
        return;
    if (m_state->capture == window) {
        m_state->capture = 0;
        SDL_CaptureMouse(SDL_FALSE);
    }
    if (record->renderer != nullptr)
        SDL_DestroyRenderer(record->renderer);
    if (record->sdl != nullptr)
        SDL_DestroyWindow(record->sdl);
    m_state->windows.erase(window);
    std::erase_if(m_state->timers, [window](const TimerRecord& t) { return t.window == window; });
    m_state->forget_messages_of(window);
    if (m_state->main_window == window)
        m_state->main_window = 0;
}

bool WindowSystem::is_window(WindowId window) const
{
    return m_state->find(window) != nullptr;
}

void WindowSystem::set_window_procedure(WindowId window, WindowProcedure procedure)
{
    if (WindowRecord* record = m_state->find(window))
        record->procedure = std::move(procedure);
}

std::intptr_t WindowSystem::default_procedure(const Message& message)
{
    if (message.id == WM_CLOSE)
        destroy_window(message.window);
    return 0;
}

void WindowSystem::client_size(WindowId window, int& width, int& height) const
{
    physical_client_size(window, width, height);
    if (m_state->options.orientation & 1)
        std::swap(width, height);
}

void WindowSystem::physical_client_size(WindowId window, int& width, int& height) const
{
    const WindowRecord* record = m_state->find(window);
    if (record != nullptr && record->sdl != nullptr) {
        SDL_GetWindowSize(record->sdl, &width, &height);
        return;
    }
    width = m_state->options.width;
    height = m_state->options.height;
}

void WindowSystem::set_fullscreen(WindowId window, bool fullscreen)
{
    const WindowRecord* record = m_state->find(window);
    if (record == nullptr || record->sdl == nullptr || !m_state->options.fullscreen)
        return;
    SDL_SetWindowFullscreen(record->sdl, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void WindowSystem::toggle_fullscreen(WindowId window)
{
    const WindowRecord* record = m_state->find(window);
    if (record == nullptr || record->sdl == nullptr)
        return;
    m_state->options.fullscreen = !m_state->options.fullscreen;
    SDL_SetWindowFullscreen(record->sdl, m_state->options.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

bool WindowSystem::fullscreen_chosen() const
{
    return m_state->options.fullscreen;
}

void WindowSystem::minimise_window(WindowId window)
{
    const WindowRecord* record = m_state->find(window);
    if (record != nullptr && record->sdl != nullptr)
        SDL_MinimizeWindow(record->sdl);
}

void WindowSystem::restore_window(WindowId window)
{
    const WindowRecord* record = m_state->find(window);
    if (record == nullptr || record->sdl == nullptr)
        return;
    SDL_RestoreWindow(record->sdl);
    SDL_RaiseWindow(record->sdl);
}

SDL_Window* WindowSystem::sdl_window(WindowId window) const
{
    const WindowRecord* record = m_state->find(window);
    return record != nullptr ? record->sdl : nullptr;
}

SDL_Renderer* WindowSystem::renderer(WindowId window)
{
    WindowRecord* record = m_state->find(window);
    if (record == nullptr || record->sdl == nullptr)
        return nullptr;
    if (record->renderer == nullptr) {
        record->renderer = SDL_CreateRenderer(record->sdl, -1, 0);
        if (record->renderer == nullptr)
            record->renderer = SDL_CreateRenderer(record->sdl, -1, SDL_RENDERER_SOFTWARE);
    }
    return record->renderer;
}

ScreenSettings WindowSystem::screen_settings() const
{
    ScreenSettings settings;
    client_size(m_state->main_window, settings.width, settings.height);
    settings.dpi = m_state->options.dpi;
    settings.orientation = m_state->options.orientation;
    return settings;
}

bool WindowSystem::post_message(WindowId window, unsigned id, std::uintptr_t wparam, std::intptr_t lparam)
{
    m_state->post(Message{window, id, wparam, lparam, 0, {}});
    return true;
}

bool WindowSystem::post_copy_data(WindowId window, std::uintptr_t tag, std::vector<std::uint8_t> bytes)
{
    m_state->post(Message{window, WM_COPYDATA, tag, 0, 0, std::move(bytes)});
    return true;
}

void WindowSystem::post_quit_message(int exit_code)
{
    post_message(0, WM_QUIT, static_cast<std::uintptr_t>(exit_code), 0);
}

std::intptr_t WindowSystem::send_message(WindowId window, unsigned id, std::uintptr_t wparam, std::intptr_t lparam)
{
    const Message message{window, id, wparam, lparam, get_tick_count(), {}};
    return dispatch_message(message);
}

bool WindowSystem::get_message(Message& message)
{
    while (!m_state->take_next(message))
        m_state->wait_for_activity(m_state->next_timer_wait());
    return message.id != WM_QUIT;
}

bool WindowSystem::peek_message(Message& message)
{
    return m_state->take_next(message);
}

void WindowSystem::wait_for_message(WindowId window, unsigned id, Message& message)
{
    for (;;) {
        m_state->pump();
        {
            std::lock_guard<std::mutex> lock(m_state->posted_mutex);
            auto& posted = m_state->posted;
            auto found = std::find_if(posted.begin(), posted.end(),
                                      [&](const Message& m) { return m.window == window && m.id == id; });
            if (found != posted.end()) {
                message = std::move(*found);
                posted.erase(found);
                return;
            }
        }
        m_state->wait_for_activity(-1);
    }
}

std::intptr_t WindowSystem::dispatch_message(const Message& message)
{
    WindowRecord* record = m_state->find(message.window);
    if (record == nullptr)
        return 0;
    // A window told that it lost the capture no longer holds it.
    if (message.id == WM_CAPTURECHANGED && m_state->capture == message.window) {
        m_state->capture = 0;
        SDL_CaptureMouse(SDL_FALSE);
    }
    if (!record->procedure)
        return default_procedure(message);
    // A copy: the procedure may replace itself or destroy its window.
    WindowProcedure procedure = record->procedure;
    return procedure(message);
}

void WindowSystem::inject_key(int virtual_key, bool down)
{
    m_state->queue_key(virtual_key, down, false, 0);
}

void WindowSystem::inject_pen(unsigned id, int x, int y)
{
    m_state->queue_input(m_state->main_window, id, id == WM_LBUTTONUP ? 0 : 1, make_position_lparam(x, y));
}

void WindowSystem::inject_wheel(int x, int y, int notches)
{
    m_state->queue_input(m_state->main_window, WM_MOUSEWHEEL, wheel_wparam(notches), make_position_lparam(x, y));
}

void WindowSystem::inject_pinch(PinchPhase phase, int x, int y, double span)
{
    m_state->queue_input(m_state->main_window, WM_GESTURE, pinch_wparam(phase, span), make_position_lparam(x, y));
}

void WindowSystem::inject_close()
{
    m_state->queue_input(m_state->main_window, WM_CLOSE, 0, 0);
}

void WindowSystem::set_timer(WindowId window, std::uintptr_t timer_id, std::uint32_t period_ms)
{
    if (m_state->find(window) == nullptr)
        return;
    kill_timer(window, timer_id);
    m_state->timers.push_back({window, timer_id, period_ms, get_tick_count() + period_ms});
}

bool WindowSystem::kill_timer(WindowId window, std::uintptr_t timer_id)
{
    return std::erase_if(m_state->timers,
                         [&](const TimerRecord& timer) { return timer.window == window && timer.id == timer_id; }) > 0;
}

void WindowSystem::invalidate_window(WindowId window)
{
    if (WindowRecord* record = m_state->find(window))
        record->needs_paint = true;
}

void WindowSystem::set_capture(WindowId window)
{
    if (m_state->find(window) == nullptr)
        return;
    m_state->capture = window;
    if (m_state->video)
        SDL_CaptureMouse(SDL_TRUE);
}

void WindowSystem::release_capture()
{
    WindowId previous = m_state->capture;
    if (previous == 0)
        return;
    m_state->capture = 0;
    if (m_state->video)
        SDL_CaptureMouse(SDL_FALSE);
    send_message(previous, WM_CAPTURECHANGED, 0, 0);
}

WindowId WindowSystem::capture() const
{
    return m_state->capture;
}

void WindowSystem::message_box(WindowId owner, const String& caption, const String& text)
{
    std::string caption_utf8 = to_utf8(caption);
    std::string text_utf8 = to_utf8(text);
    bool can_show = m_state->video && !is_headless_driver(SDL_GetCurrentVideoDriver());
    if (can_show && show_sdl_message_box(caption_utf8, text_utf8, sdl_window(owner)))
        return;
    std::fprintf(stderr, "%s: %s\n", caption_utf8.c_str(), text_utf8.c_str());
    std::fflush(stderr);
}

ActivityChange activity_change(std::uint8_t sdl_window_event)
{
    switch (sdl_window_event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
        return ActivityChange::activate;
    case SDL_WINDOWEVENT_HIDDEN:
    case SDL_WINDOWEVENT_MINIMIZED:
        return ActivityChange::deactivate;
    default:
        return ActivityChange::none;
    }
}
