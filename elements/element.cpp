#include "elements/element.h"

#include <algorithm>
#include <atomic>
#include "elements/attributes.h"
#include "elements/layout_units.h"
#include "elements/visibility_animation.h"
#include "pixels/render_draw.h"
#include "platform/log.h"
#include "skin/element_type_registry.h"
#include "skin/plexor.h"
#include "skin/properties.h"

namespace {

// Counted from every thread that builds elements (the start screen's loader
// builds the album screen while the main thread draws the splash).
std::atomic<long> live_elements{0};

int clamp_to_int(long long value)
{
    return saturated_add(value, 0);
}

}  // namespace

Element::Element(Element* parent) : m_parent(parent), m_root(parent ? parent->m_root : this)
{
    ++live_elements;
    if (parent) {
        m_parent_visible = parent->is_effectively_visible();
        m_parent_enabled = parent->is_effectively_enabled();
        parent->add_child(this);
    }
}

// The parent lets go first, so that it never sees a half-destroyed child;
// the children lose their parent link before they go, so that none of them
// searches this element's child list while it is being emptied.
Element::~Element()
{
    if (m_parent)
        m_parent->remove_child(this);
    destroy_children();
    --live_elements;
}

long Element::live_count()
{
    return live_elements;
}

void Element::dump(int level)
{
    log() << String(static_cast<size_t>(std::max(level, 0)), u'\t') << "{" << m_id << "} position=" << m_x << "," << m_y
          << " size=" << m_width << "," << m_height << " design_size=" << m_design_size.x << "," << m_design_size.y
          << " rs.size=" << m_cache_surface.size().width << "," << m_cache_surface.size().height << "\n";
    for (Element* child : m_children)
        child->dump(level + 1);
}

void Element::set_text_by_id(StringView id, StringView text)
{
    for (size_t i = 0; i < m_children.size(); ++i)
        m_children[i]->set_text_by_id(id, text);
}

void Element::add_child(Element* element)
{
    if (element->m_parent && element->m_parent != this)
        element->m_parent->remove_child(element);
    element->m_parent = this;
    element->set_root(m_root);
    m_children.push_back(element);
    invalidate_measurements();
}

void Element::remove_child(Element* element)
{
    auto found = std::find(m_children.begin(), m_children.end(), element);
    if (found == m_children.end())
        return;
    m_children.erase(found);
    if (m_captured == element)
        m_captured = nullptr;
    element->m_parent = nullptr;
    invalidate_measurements();
}

void Element::destroy_children()
{
    std::vector<Element*> children;
    children.swap(m_children);
    m_captured = nullptr;
    for (Element* child : children) {
        child->m_parent = nullptr;
        delete child;
    }
    invalidate_measurements();
}

// Point and integer attributes are only looked for when the node has such a
// table at all, so a node without them costs no searches.
void Element::bind(Properties& skin, const SkinNode* node)
{
    m_id = skin.get_string(node, u"id", no_string());
    if (auto mode = anchor_mode_from_text(skin.get_string(node, u"anchor_x", no_string())))
        m_anchor_x = *mode;
    if (auto mode = anchor_mode_from_text(skin.get_string(node, u"anchor_y", no_string())))
        m_anchor_y = *mode;
    if (node->point_table != node->string_table) {
        m_border_min = skin.get_point(node, u"border_min", Point{});
        m_design_size = skin.get_point(node, u"design_size", Point{});
        m_border_max = skin.get_point(node, u"border_max", Point{});
    }
    if (node->int_table != node->font_table) {
        m_table_ratio = skin.get_int(node, u"table_ratio", 0);
        bool cache = skin.get_int(node, u"cache", 0) != 0;
        if (cache)
            set_cache(true, skin.get_int(node, u"cache_alpha", -1));
        else
            m_cache = false;
    }
    bind_children(skin, node);
    StringView animation = skin.get_string(node, u"visibility_animation", no_string());
    if (!animation.empty())
        set_visibility_animation(animation);
    invalidate_measurements();
    mark_dirty();
}

// The factory attaches the new element to this one; a type without a factory
// raises NodeNotRegistered from the registry and the skin is unusable.
void Element::bind_children(Properties& skin, const SkinNode* node)
{
    m_children.reserve(m_children.size() + node->child_count);
    for (int i = 0; i < node->child_count; ++i) {
        const SkinNode* child_node = skin.child(node, i);
        Element* child =
            ElementTypeRegistry::instance().create(skin.get_string(child_node, u"type", no_string()), *this);
        child->bind(skin, child_node);
    }
}

void Element::set_enabled(bool value)
{
    if (value == m_enabled)
        return;
    bool before = is_effectively_enabled();
    m_enabled = value;
    bool after = is_effectively_enabled();
    if (before != after)
        on_enabled_changed(after, after);
    mark_dirty();
}

void Element::on_enabled_changed(bool, bool)
{
    for (size_t i = 0; i < m_children.size(); ++i)
        m_children[i]->set_parent_enabled(is_effectively_enabled());
    mark_dirty();
}

void Element::set_parent_enabled(bool value)
{
    bool before = is_effectively_enabled();
    m_parent_enabled = value;
    bool after = is_effectively_enabled();
    if (before != after)
        on_enabled_changed(after, after);
}

void Element::set_visible(bool value)
{
    if (value == m_visible)
        return;
    bool before = is_effectively_visible();
    m_visible = value;
    bool after = is_effectively_visible();
    if (before != after)
        on_visibility_changed(after, after);
    mark_dirty();
    invalidate_measurements();
}

// A child that holds the pen when this element disappears would never see
// its pen-up; it gets a cancelled one instead. The cache is freed because an
// invisible element does not draw.
void Element::on_visibility_changed(bool, bool effective)
{
    for (size_t i = 0; i < m_children.size(); ++i)
        m_children[i]->set_parent_visible(is_effectively_visible());
    invalidate_measurements();
    if (!effective) {
        cancel_capture();
        if (!m_cache_surface.clip_in_effect())
            m_cache_surface.recreate({0, 0});
    }
}

void Element::set_parent_visible(bool value)
{
    bool before = is_effectively_visible();
    m_parent_visible = value;
    bool after = is_effectively_visible();
    if (before != after)
        on_visibility_changed(after, after);
}

void Element::cancel_capture()
{
    if (!m_captured)
        return;
    Element* captured = m_captured;
    m_captured = nullptr;
    StylusEvent cancel;
    cancel.cancelled = true;
    captured->on_stylus(cancel);
}

void Element::update(double seconds)
{
    if (m_visibility_animation && m_visibility_animation->is_running()) {
        m_visibility_animation->update(seconds);
        mark_dirty();
        return;
    }
    for (size_t i = 0; i < m_children.size(); ++i)
        m_children[i]->update(seconds);
}

void Element::draw_content(DrawTarget& target, Point origin)
{
    for (size_t i = 0; i < m_children.size(); ++i) {
        Element* child = m_children[i];
        child->draw(target, {clamp_to_int(static_cast<long long>(origin.x) + child->m_x - m_x),
                             clamp_to_int(static_cast<long long>(origin.y) + child->m_y - m_y)});
    }
}

void Element::layout_horizontal()
{
    for (size_t i = 0; i < m_children.size(); ++i)
        place_child_horizontally(m_children[i]);
}

void Element::layout_vertical()
{
    for (size_t i = 0; i < m_children.size(); ++i)
        place_child_vertically(m_children[i]);
}

void Element::place_child_horizontally(Element* child)
{
    int natural = child->measured_width().natural;
    int width = anchored_size(child->m_anchor_x, child->m_border_min.x, natural, child->m_border_max.x, m_width);
    int offset = anchored_offset(child->m_anchor_x, child->m_border_min.x, width, child->m_border_max.x, m_width);
    child->set_horizontal(saturated_add(m_x, offset), width);
}

void Element::place_child_vertically(Element* child)
{
    int natural = child->measured_height().natural;
    int height = anchored_size(child->m_anchor_y, child->m_border_min.y, natural, child->m_border_max.y, m_height);
    int offset = anchored_offset(child->m_anchor_y, child->m_border_min.y, height, child->m_border_max.y, m_height);
    child->set_vertical(saturated_add(m_y, offset), height);
}

namespace {

// One axis of the base measurement: the design size, then what every child
// needs by its anchor; a child that may shrink lowers the minimum by as
// much as it can give up.
struct AxisChild {
    int anchor;
    int border_min;
    int border_max;
    MeasuredSize measured;
};

void measure_axis(MeasuredSize& pair, const AxisChild& child)
{
    int need = anchored_need(child.anchor, child.border_min, child.measured.natural, child.border_max);
    pair.natural = std::max(pair.natural, need);
    long long minimum = static_cast<long long>(child.measured.minimum) + need - child.measured.natural;
    pair.minimum = std::max(pair.minimum, clamp_to_int(minimum));
}

}  // namespace

void Element::measure_width(MeasuredSize& pair)
{
    pair.natural = std::max(pair.natural, m_design_size.x);
    pair.minimum = std::max(pair.minimum, m_design_size.x);
    for (size_t i = 0; i < m_children.size(); ++i) {
        Element* child = m_children[i];
        measure_axis(pair, {child->m_anchor_x, child->m_border_min.x, child->m_border_max.x, child->measured_width()});
    }
}

int Element::reserved_after_width()
{
    return 0;
}

void Element::measure_height(MeasuredSize& pair)
{
    pair.natural = std::max(pair.natural, m_design_size.y);
    pair.minimum = std::max(pair.minimum, m_design_size.y);
    for (size_t i = 0; i < m_children.size(); ++i) {
        Element* child = m_children[i];
        measure_axis(pair, {child->m_anchor_y, child->m_border_min.y, child->m_border_max.y, child->measured_height()});
    }
}

int Element::reserved_after_height()
{
    return 0;
}

bool Element::hit_test(Point point) const
{
    return m_x <= point.x && static_cast<long long>(point.x) < static_cast<long long>(m_x) + m_width &&
           m_y <= point.y && static_cast<long long>(point.y) < static_cast<long long>(m_y) + m_height;
}

void Element::on_stylus_move(const StylusMove& move)
{
    if (m_captured)
        m_captured->on_stylus_move(move);
}

// The captured child keeps the pen until pen-up even when the pen leaves
// its rectangle; otherwise the topmost (last drawn) child under the pen
// that is visible and enabled gets the first chance.
bool Element::on_stylus(const StylusEvent& event)
{
    if (m_captured) {
        Element* captured = m_captured;
        if (!event.down || event.cancelled)
            m_captured = nullptr;
        captured->on_stylus(event);
        return true;
    }
    Point point{event.x, event.y};
    for (size_t i = m_children.size(); i-- > 0;) {
        if (i >= m_children.size())
            continue;
        Element* child = m_children[i];
        if (!child->hit_test(point) || !child->is_effectively_visible() || !child->is_effectively_enabled())
            continue;
        if (child->on_stylus(event)) {
            if (event.down && !event.cancelled)
                m_captured = child;
            return true;
        }
    }
    return false;
}

bool Element::on_gesture(const GestureEvent& event)
{
    Point point{event.x, event.y};
    for (size_t i = m_children.size(); i-- > 0;) {
        Element* child = m_children[i];
        if (child->hit_test(point) && child->is_effectively_visible() && child->is_effectively_enabled() &&
            child->on_gesture(event))
            return true;
    }
    return false;
}

int Element::reserved_after_stylus()
{
    return 0;
}

bool Element::on_key(const KeyEvent&)
{
    return false;
}

bool Element::on_char(const CharEvent&)
{
    return false;
}

// Children are searched before grandchildren, so the nearest element with
// the id wins. An empty id names nothing (elements without an id have it).
Element* Element::find_by_id(StringView id) const
{
    if (id.empty())
        return nullptr;
    for (Element* child : m_children)
        if (child->m_id == id)
            return child;
    for (Element* child : m_children)
        if (Element* found = child->find_by_id(id))
            return found;
    return nullptr;
}

bool Element::load_from_node(Properties& skin, StringView node_name)
{
    const SkinNode* node = skin.find_node(node_name);
    if (!node)
        return false;
    destroy_children();
    bind(skin, node);
    invalidate_measurements();
    return true;
}

void Element::load_required_node(Properties& skin, StringView node_name)
{
    if (!load_from_node(skin, node_name))
        throw plexor::NodeNotFoundInSkin(String(node_name));
}

void Element::set_root(Element* root)
{
    std::vector<Element*> pending{this};
    while (!pending.empty()) {
        Element* element = pending.back();
        pending.pop_back();
        element->m_root = root;
        pending.insert(pending.end(), element->m_children.begin(), element->m_children.end());
    }
}

// A changed position moves the element on screen, so it is redrawn (and its
// ancestors, whose cached images hold it) even when its size stays.
void Element::set_horizontal(int x, int width)
{
    width = std::max(width, 0);
    if (x == m_x && width == m_width && !m_layout_invalid)
        return;
    m_x = x;
    m_width = width;
    m_layout_invalid = true;
    mark_dirty();
    if (m_observer)
        m_observer->on_width_changed(this, width);
    layout_horizontal();
}

void Element::set_vertical(int y, int height)
{
    height = std::max(height, 0);
    if (y == m_y && height == m_height && !m_layout_invalid)
        return;
    m_y = y;
    m_height = height;
    mark_dirty();
    if (m_observer)
        m_observer->on_height_changed(this, height);
    m_layout_invalid = false;
    layout_vertical();
}

const MeasuredSize& Element::measured_width()
{
    if (!m_width_measure.is_valid()) {
        MeasuredSize pair{0, 0};
        measure_width(pair);
        m_width_measure = {std::max(pair.natural, 0), std::max(pair.minimum, 0)};
    }
    return m_width_measure;
}

const MeasuredSize& Element::measured_height()
{
    if (!m_height_measure.is_valid()) {
        MeasuredSize pair{0, 0};
        measure_height(pair);
        m_height_measure = {std::max(pair.natural, 0), std::max(pair.minimum, 0)};
    }
    return m_height_measure;
}

void Element::invalidate_measurements()
{
    for (Element* element = this; element; element = element->m_parent) {
        element->m_width_measure = MeasuredSize{};
        element->m_height_measure = MeasuredSize{};
        element->m_layout_invalid = true;
    }
}

void Element::mark_dirty()
{
    for (Element* element = this; element; element = element->m_parent)
        element->m_dirty = true;
}

void Element::set_borders(Point border_min, Point border_max)
{
    m_border_min = border_min;
    m_border_max = border_max;
    invalidate_measurements();
}

void Element::set_design_size(Point design_size)
{
    m_design_size = design_size;
    invalidate_measurements();
}

void Element::draw(DrawTarget& target, Point origin)
{
    if (m_visibility_animation && m_visibility_animation->is_running()) {
        m_visibility_animation->draw(target, origin, size());
        return;
    }
    if (!m_visible)
        return;
    if (!m_cache) {
        draw_content(target, origin);
    } else {
        if (m_dirty || m_cache_surface.size() == Size{0, 0})
            render_into_cache();
        if (m_cache_blitter)
            draw_surface(target, m_cache_surface, origin, *m_cache_blitter);
    }
    m_dirty = false;
}

void Element::set_cache(bool on, int alpha)
{
    m_cache = on;
    if (!on)
        return;
    m_cache_blitter = alpha == -1 ? plain_copy_operation().clone() : operation_for_alpha(alpha).clone();
    mark_dirty();
}

// The magenta background is the key colour: whatever the content leaves
// untouched stays transparent when the image is put on a target by a keyed
// operation.
void Element::render_into_cache()
{
    m_cache_surface.recreate(size());
    if (!m_cache_surface.buffer())
        return;
    fill_rect(m_cache_surface, Rect::of({0, 0}, size()), key_color);
    draw_content(m_cache_surface, {0, 0});
}

void Element::show_animated(bool show)
{
    if (show == m_visible)
        return;
    if (show)
        set_visible(true);
    if (m_visibility_animation) {
        if (m_visibility_animation->is_running()) {
            m_visibility_animation->reverse();
        } else {
            m_root->set_horizontal(m_root->m_x, m_root->m_width);
            m_root->set_vertical(m_root->m_y, m_root->m_height);
            render_into_cache();
            RenderSurface previous;
            m_visibility_animation->start(previous, m_cache_surface, show ? 1 : -1);
        }
        mark_dirty();
    }
    if (!show)
        set_visible(false);
}

void Element::set_visibility_animation(StringView kind)
{
    m_visibility_animation = VisibilityAnimation::create(kind);
}
