// The screen stack and the frame of the running program.

#include "shell/application.h"

#include <algorithm>
#include <cstdio>
#include "elements/element.h"
#include "elements/element_types.h"
#include "pixels/pixel_span.h"
#include "pixels/render_draw.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "shell/application_listener.h"
#include "shell/game_base.h"
#include "shell/screen_transition.h"
#include "skin/element_type_registry.h"

namespace {

// The kinds register_element_types adds, removed again in reverse order.
constexpr StringView element_kinds[] = {
    u"node",   u"text",  u"color",    u"image",    u"edit",    u"htable",     u"vtable",
    u"button", u"vlist", u"checkbox", u"progress", u"oldtext", u"label_edit", u"clip",
};

constexpr int full_brightness = 256;
constexpr int overlay_brightness = 128;
constexpr int dim_step = 16;
constexpr std::size_t max_frame_times = 20;
constexpr Rect frame_time_box{0, 0, 150, 20};
constexpr Rect frame_time_text_box{0, 0, 160, 20};

FontSpec overlay_font_spec()
{
    FontSpec spec;
    spec.point_size = 10;
    spec.scale = 1;
    spec.face = u"Tahoma";
    return spec;
}

// Dims the rectangle of target to level / 256 (256 leaves it unchanged).
void dim(DrawTarget& target, const Rect& rect, int level)
{
    if (level >= full_brightness)
        return;
    apply_span(target, rect, DimSpan(dim_level(level)));
}

// Whether the log switch is on now: asking for the log re-reads the switch
// (cheaply, the registry is cached by modification time).
bool logging_switched_on()
{
    log();
    return log_enabled();
}

Rect whole(Size size)
{
    return Rect::of({0, 0}, size);
}

}  // namespace

Color frame_time_colour(double average_ms)
{
    auto channel = [](double value) { return static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0)); };
    if (average_ms >= 60.0)
        return {255, 64, 64, 255};
    if (average_ms >= 40.0)
        return {255, channel(64 + static_cast<int>(191 * (1 - (average_ms - 40) * 0.05))), 64, 255};
    if (average_ms >= 20.0)
        return {channel(64 + static_cast<int>(191 * (average_ms - 20) * 0.05)), 255, 64, 255};
    return {64, 255, 64, 255};
}

String frame_time_text(double average_ms, bool drew_last_frame, std::int64_t live_pixels)
{
    const long long tenths = static_cast<long long>(average_ms * 10.0);
    char text[96];
    std::snprintf(text, sizeof text, "%s%lld.%lld ms%s %lld Kp", drew_last_frame ? "" : "[", tenths / 10, tenths % 10,
                  drew_last_frame ? "" : "]", static_cast<long long>(live_pixels / 1000));
    return from_ascii(text);
}

Application::Application(StringView name) : m_name(name)
{
    register_element_kinds();
    m_game_base = std::make_unique<GameBase>(name);
    Edit::set_focus_listener(this);
    m_overlay_font = Font(overlay_font_spec());
    log() << "Application::Application() this=" << reinterpret_cast<std::uintptr_t>(this) << "\n";
}

Application::~Application()
{
    log() << "Application::~Application()\n";
    m_frame_times.clear();
    m_overlay_font = Font();
    Edit::set_focus_listener(nullptr);
    m_game_base.reset();
    m_transition.reset();
    m_background.recreate({0, 0});
    m_stack.clear();
    unregister_element_kinds();
}

void Application::register_element_kinds()
{
    register_element_types(ElementTypeRegistry::instance());
}

void Application::unregister_element_kinds()
{
    for (auto kind = std::rbegin(element_kinds); kind != std::rend(element_kinds); ++kind)
        ElementTypeRegistry::instance().unregister_type(*kind);
}

Element* Application::top_screen() const
{
    return m_stack.empty() ? nullptr : m_stack.back().screen;
}

Size Application::client_size() const
{
    const DisplayMode area = m_game_base->client_area();
    return {area.client_width, area.client_height};
}

void Application::place(Element& screen, Size size)
{
    screen.set_horizontal(0, size.width);
    screen.set_vertical(0, size.height);
}

void Application::take_snapshot(Element& screen)
{
    const Size size = client_size();
    m_background.recreate(size);
    place(screen, size);
    if (m_background.buffer())
        screen.draw(m_background, {0, 0});
}

// The incoming or outgoing screen's own image is rendered into its cache
// surface and played against the given picture.
void Application::start_transition(const RenderSurface& outgoing, int direction, Element& screen)
{
    screen.render_into_cache();
    m_transition->start(outgoing, direction, screen.cache_surface());
}

void Application::show_screen(Element* screen, bool overlay)
{
    request_redraw();
    place(*screen, client_size());
    if (m_stack.empty()) {
        screen->set_visible(true);
    } else if (overlay) {
        m_transition.reset();
        Element* top = m_stack.back().screen;
        if (!m_stack.back().overlay)
            take_snapshot(*top);
        top->set_visible(false);
        screen->show_animated(true);
    } else {
        show_full_screen(*screen);
    }
    m_stack.push_back({screen, overlay});
    if (m_listener)
        m_listener->on_screen_shown(screen);
}

void Application::show_full_screen(Element& screen)
{
    m_transition = ScreenTransition::create_for(screen);
    Entry& top = m_stack.back();
    if (top.overlay) {
        if (m_transition) {
            // The outgoing picture is the dimmed screen with its overlay.
            dim(m_background, whole(m_background.size()), m_dim_level);
            if (m_background.buffer())
                top.screen->draw(m_background, {0, 0});
        } else {
            m_background.recreate({0, 0});
        }
        top.screen->set_visible(false);
        screen.set_visible(true);
        m_dim_level = full_brightness;
    } else {
        if (m_transition)
            take_snapshot(*top.screen);
        top.screen->set_visible(false);
        screen.set_visible(true);
    }
    if (m_transition)
        start_transition(m_background, 1, screen);
}

bool Application::close_screen(Element* screen)
{
    auto found =
        std::find_if(m_stack.begin(), m_stack.end(), [screen](const Entry& entry) { return entry.screen == screen; });
    if (found == m_stack.end())
        return false;
    request_redraw();
    if (m_listener)
        m_listener->on_screen_closed(screen, true);
    if (found + 1 != m_stack.end()) {
        screen->set_visible(false);
        m_stack.erase(found);
        return true;
    }
    const bool was_overlay = found->overlay;
    m_stack.pop_back();
    if (m_stack.empty())
        return true;
    m_transition.reset();
    Element& top = *m_stack.back().screen;
    if (was_overlay) {
        screen->set_visible(false);
        if (m_stack.back().overlay) {
            top.show_animated(true);
        } else {
            m_background.recreate({0, 0});
            top.set_visible(true);
        }
    } else {
        close_top_full_screen(*screen);
    }
    place(top, client_size());
    return true;
}

void Application::close_top_full_screen(Element& closed)
{
    m_transition = ScreenTransition::create_for(closed);
    Element& top = *m_stack.back().screen;
    if (m_stack.back().overlay) {
        // The snapshot under the overlay is the uppermost full screen below it.
        auto below = std::find_if(m_stack.rbegin(), m_stack.rend(), [](const Entry& entry) { return !entry.overlay; });
        if (below != m_stack.rend())
            take_snapshot(*below->screen);
        top.show_animated(true);
    } else {
        top.set_visible(true);
        if (m_transition)
            take_snapshot(top);
    }
    if (m_transition) {
        place(closed, client_size());
        start_transition(m_background, -1, closed);
    }
    closed.set_visible(false);
}

void Application::on_stylus_move(const StylusMove& move)
{
    if (Element* top = top_screen())
        top->on_stylus_move(move);
}

bool Application::on_stylus(const StylusEvent& event)
{
    Element* top = top_screen();
    return top ? top->on_stylus(event) : true;
}

void Application::on_gesture(const GestureEvent& event)
{
    if (Element* top = top_screen())
        top->on_gesture(event);
}

Edit* Application::typing_edit() const
{
    Edit* edit = Edit::focused();
    Element* top = top_screen();
    return edit && top && edit->root() == top ? edit : nullptr;
}

void Application::on_key(const KeyEvent& event)
{
    if (Edit* edit = typing_edit(); edit && edit->on_key(event))
        return;
    if (Element* top = top_screen())
        top->on_key(event);
}

void Application::on_char(const CharEvent& event)
{
    if (Edit* edit = typing_edit(); edit && edit->on_char(event))
        return;
    if (Element* top = top_screen())
        top->on_char(event);
}

// This platform has no native edit box over the element; the platform text
// input window, when one is installed, stands in for it.
void Application::on_edit_focus_changed(Edit* edit)
{
    m_game_base->set_edit_element(edit, edit && edit->uses_text_input_window());
}

void Application::update(double seconds)
{
    const Size size = client_size();
    if (m_transition) {
        m_transition->advance(seconds);
        if (m_transition->is_finished())
            m_transition.reset();
        request_redraw();
        if (m_transition)
            return;
    }
    Element* top = top_screen();
    if (!top)
        return;
    place(*top, size);
    top->update(seconds);
}

bool Application::needs_frame(bool count_previous) const
{
    const Element* top = top_screen();
    if (top && (top->is_dirty() || top->is_layout_invalid()))
        return true;
    if (m_redraw_requested)
        return true;
    return count_previous && m_drew_last_frame;
}

void Application::render(DrawTarget& target)
{
    m_drew_last_frame = needs_frame(false);
    m_redraw_requested = false;
    const Size size = client_size();
    const Pixel background = m_background_colour.to_pixel();
    Element* top = top_screen();
    if (m_transition) {
        fill_rect(target, whole(size), background);
        m_transition->draw(target, {0, 0});
    } else if (!top) {
        fill_rect(target, whole(size), background);
    } else {
        place(*top, size);
        if (m_stack.back().overlay) {
            if (m_background.buffer())
                draw_surface(target, m_background, {0, 0}, plain_copy_operation());
            else
                fill_rect(target, whole(size), background);
            dim(target, whole(size), m_dim_level);
            if (m_dim_level != overlay_brightness)
                request_redraw();
            m_dim_level = std::max(m_dim_level - dim_step, overlay_brightness);
        }
        top->draw(target, {0, 0});
    }
    if (!top || !m_stack.back().overlay) {
        dim(target, whole(size), m_dim_level);
        if (m_dim_level != full_brightness)
            request_redraw();
        m_dim_level = m_dim_level < full_brightness - dim_step ? m_dim_level + dim_step : full_brightness;
    }
    if (logging_switched_on())
        draw_frame_time(target);
}

// The average spans only consecutive redrawn frames: a frame without a change
// shows the text in brackets and starts the average again.
void Application::draw_frame_time(DrawTarget& target)
{
    m_frame_times.push_back(get_tick_count());
    if (m_frame_times.size() > max_frame_times)
        m_frame_times.pop_front();
    dim(target, frame_time_box, overlay_brightness);
    if (m_frame_times.size() > 1) {
        const double average = static_cast<double>(std::uint32_t(m_frame_times.back() - m_frame_times.front())) /
                               static_cast<double>(m_frame_times.size() - 1);
        m_frame_time_text = ::frame_time_text(average, m_drew_last_frame, RenderSurface::live_pixel_count());
        m_frame_time_colour = ::frame_time_colour(average);
        draw_text(target, m_overlay_font, m_frame_time_colour, m_frame_time_text, frame_time_text_box, align_left,
                  align_top, false);
    }
    if (!m_drew_last_frame)
        m_frame_times.clear();
}
