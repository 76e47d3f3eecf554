#include "elements/button.h"

#include "elements/attributes.h"
#include "platform/key_codes.h"
#include "skin/properties.h"

void ButtonListener::on_press_changed(Button*, const ButtonEvent&) {}

void ButtonListener::on_drag(Button*, ButtonDrag&) {}

Button::Button(Element* parent) : Element(parent) {}

void Button::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_normal_look = find_by_id(u"#normal");
    m_pressed_look = find_by_id(u"#pressed");
    m_disabled_look = find_by_id(u"#disabled");
    for (Element* look : {m_normal_look, m_pressed_look, m_disabled_look})
        if (look)
            look->set_observer(nullptr);
    const String& key_name = skin.get_string(node, u"bind_key", no_string());
    if (!key_name.empty()) {
        KeyCode key = key_none;
        m_bound_key = key_from_name(key_name, key) ? key : key_none;
    }
    set_caption(get_translated(skin, node, u"text"));
    apply_look();
}

void Button::on_enabled_changed(bool enabled, bool effective)
{
    Element::on_enabled_changed(enabled, effective);
    apply_look();
}

void Button::set_caption(StringView text)
{
    if (text == m_caption)
        return;
    m_caption = String(text);
    set_text_by_id(u"#text", text);
}

// A look that the skin does not have falls back to the normal look.
void Button::apply_look()
{
    Element* wanted = !is_effectively_enabled() ? m_disabled_look : is_pressed() ? m_pressed_look : m_normal_look;
    if (!wanted)
        wanted = m_normal_look;
    for (Element* look : {m_normal_look, m_pressed_look, m_disabled_look})
        if (look)
            look->set_visible(look == wanted);
}

// A click needs the whole press: it started, it ended over the button, the
// button was enabled and nothing cancelled it. With pen and key held at
// once, only the last release can click.
bool Button::state_changed(bool was_pressed, bool cancelled, Point point)
{
    bool pressed = is_pressed();
    bool enabled = is_effectively_enabled();
    if (pressed != was_pressed) {
        if (m_listener)
            m_listener->on_press_changed(this, {point, !enabled || cancelled});
        apply_look();
    }
    if (was_pressed && !pressed && enabled && !cancelled) {
        if (!hit_test(point))
            return false;
        return m_listener ? m_listener->on_click(this, {point, true}) : true;
    }
    return enabled;
}

bool Button::on_stylus(const StylusEvent& event)
{
    bool was_pressed = is_pressed();
    Point point{event.x, event.y};
    if (event.reserved == 0) {
        m_pen_pressed = event.down && !event.cancelled;
        m_last_pen = point;
    }
    if (m_pen_pressed && m_listener) {
        ButtonDrag drag{point, {0, 0}};
        m_listener->on_drag(this, drag);
    }
    state_changed(was_pressed, event.cancelled, point);
    return true;
}

void Button::on_stylus_move(const StylusMove& move)
{
    if (!m_pen_pressed)
        return;
    Point point{move.x, move.y};
    ButtonDrag drag{point, {point.x - m_last_pen.x, point.y - m_last_pen.y}};
    Point used{0, 0};
    if (m_listener) {
        m_listener->on_drag(this, drag);
        used = drag.delta;
    }
    m_last_pen = {point.x - used.x, point.y - used.y};
}

bool Button::on_key(const KeyEvent& event)
{
    if (m_bound_key == 0 || event.key != m_bound_key)
        return false;
    bool was_pressed = is_pressed();
    m_key_pressed = event.pressed;
    state_changed(was_pressed, false, {x() + width() / 2, y() + height() / 2});
    return true;
}

bool Button::set_other_pressed(bool pressed, Point point)
{
    bool was_pressed = is_pressed();
    m_other_pressed = pressed;
    return state_changed(was_pressed, false, point);
}
