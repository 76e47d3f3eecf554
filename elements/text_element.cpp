#include "elements/text_element.h"

#include <algorithm>
#include <cmath>
#include "elements/attributes.h"
#include "elements/virtual_list.h"
#include "pixels/render_draw.h"
#include "skin/properties.h"

namespace {

// The text as laid out: a tab shows as four spaces; a single-line text
// shows each carriage return and each line feed as a space; in a wrapping
// text a "\r\n" pair is one line break.
// How one stored character shows: the units it takes in the text and in
// the shown text.
struct ShownCharacter {
    int stored = 1;
    int shown = 1;
};

constexpr int tab_spaces = 4;

ShownCharacter shown_character_at(StringView text, size_t at, bool wrap)
{
    if (text[at] == u'\t')
        return {1, tab_spaces};
    if (wrap && text[at] == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n')
        return {2, 1};
    return {1, 1};
}

String shown_text_of(StringView text, bool wrap)
{
    String shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); i += static_cast<size_t>(shown_character_at(text, i, wrap).stored)) {
        char16_t c = text[i];
        if (c == u'\t')
            shown.append(tab_spaces, u' ');
        else if (c == u'\r' || c == u'\n')
            shown.push_back(wrap ? u'\n' : u' ');
        else
            shown.push_back(c);
    }
    return shown;
}

int corner_height(Element* corner)
{
    return corner && corner->is_visible() ? corner->measured_height().natural : 0;
}

int corner_width(Element* corner)
{
    return corner && corner->is_visible() ? corner->width() : 0;
}

}  // namespace

TextElement::TextElement(Element* parent) : Element(parent) {}

void TextElement::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_font = skin.get_font(node, u"font", Font());
    m_text = get_translated(skin, node, u"text");
    m_grow = get_flag(skin, node, u"grow");
    m_grow_min = get_flag(skin, node, u"grow_min");
    if (m_grow_min)
        m_grow = true;
    m_color = skin.get_color(node, u"color", Color{0, 0, 0, 255});
    parse_horizontal_alignment(skin.get_string(node, u"halign", no_string()), m_halign);
    parse_vertical_alignment(skin.get_string(node, u"valign", no_string()), m_valign);
    m_wrap = get_flag(skin, node, u"wrap");
    m_left_corner = find_by_id(u"#left");
    m_right_corner = find_by_id(u"#right");
    for (Element* corner : {m_left_corner, m_right_corner})
        if (corner)
            corner->set_observer(nullptr);
    relayout_text();
}

void TextElement::set_text_by_id(StringView id, StringView text)
{
    if (!id.empty() && id == this->id())
        set_text(text);
    Element::set_text_by_id(id, text);
}

void TextElement::set_text(StringView text)
{
    if (text == m_text)
        return;
    m_text = String(text);
    relayout_text();
}

// A growing text changes its parent's layout; any other text only needs
// to be drawn again.
void TextElement::relayout_text()
{
    int old_width = m_text_width;
    int old_height = m_text_height;
    lay_out_lines();
    m_scroll_y = std::clamp(m_scroll_y, 0.0, static_cast<double>(std::max(m_text_height - height(), 0)));
    m_scroll_x = std::clamp(m_scroll_x, -m_text_width, 0);
    if (m_grow && (old_width != m_text_width || old_height != m_text_height))
        invalidate_measurements();
    mark_dirty();
}

int TextElement::shown_position(int stored) const
{
    int shown = 0;
    for (size_t at = 0; at < m_text.size() && static_cast<int>(at) < stored;) {
        ShownCharacter character = shown_character_at(m_text, at, m_wrap);
        shown += character.shown;
        at += static_cast<size_t>(character.stored);
    }
    return shown;
}

int TextElement::stored_position(int shown) const
{
    int shown_at = 0;
    size_t at = 0;
    while (at < m_text.size()) {
        ShownCharacter character = shown_character_at(m_text, at, m_wrap);
        if (shown_at + character.shown > shown) {
            bool nearer_after = (shown - shown_at) * 2 >= character.shown;
            return static_cast<int>(at) + (nearer_after ? character.stored : 0);
        }
        shown_at += character.shown;
        at += static_cast<size_t>(character.stored);
    }
    return static_cast<int>(at);
}

void TextElement::set_font(const Font& font)
{
    m_font = font;
    relayout_text();
}

void TextElement::set_wrap(bool wrap)
{
    m_wrap = wrap;
    relayout_text();
}

void TextElement::set_alignment(int horizontal, int vertical)
{
    m_halign = horizontal;
    m_valign = vertical;
    mark_dirty();
}

int TextElement::line_height() const
{
    return std::max(m_font->line_height(), 1);
}

int TextElement::line_left(int y) const
{
    return y < corner_height(m_left_corner) ? corner_width(m_left_corner) : 0;
}

int TextElement::line_room(int y) const
{
    int right = y < corner_height(m_right_corner) ? corner_width(m_right_corner) : 0;
    return width() - line_left(y) - right;
}

void TextElement::lay_out_lines()
{
    m_shown = shown_text_of(m_text, m_wrap);
    m_lines.clear();
    m_text_width = 0;
    int y = 0;
    if (!m_shown.empty()) {
        size_t first = 0;
        while (true) {
            size_t end = std::min(m_shown.find(u'\n', first), m_shown.size());
            lay_out_paragraph(static_cast<int>(first), static_cast<int>(end), y);
            if (end == m_shown.size())
                break;
            first = end + 1;
        }
    }
    m_text_height = y;
}

// Lines are broken at the last space that fits; a word longer than the
// whole room is broken where the room ends, and the spaces at a break
// belong to neither line. Widths come from one measurement of the whole
// paragraph, so laying out a long text stays linear.
void TextElement::lay_out_paragraph(int first, int end, int& y)
{
    StringView paragraph = StringView(m_shown).substr(static_cast<size_t>(first), static_cast<size_t>(end - first));
    m_prefix.clear();
    m_font->measure(paragraph, 0, nullptr, nullptr, &m_prefix);
    auto width_before = [&](int index) {
        return index <= first ? 0 : m_prefix[static_cast<size_t>(index - first - 1)];
    };
    int height = line_height();
    bool limited = m_wrap && width() > 0;
    if (first == end) {
        m_lines.push_back({first, 0, 0, y});
        y += height;
        return;
    }
    int start = first;
    while (start < end) {
        int room = line_room(y);
        if (limited && room <= 0) {
            // The corners leave nothing here: go on below the nearer corner.
            int below = 0;
            for (Element* corner : {m_left_corner, m_right_corner}) {
                int bottom = corner_height(corner);
                if (bottom > y && (below == 0 || bottom < below))
                    below = bottom;
            }
            y = std::max(y + 1, below);
            continue;
        }
        int base = width_before(start);
        int stop = end;
        if (limited) {
            auto from = m_prefix.begin() + (start - first);
            auto to = m_prefix.begin() + (end - first);
            stop = start + static_cast<int>(std::upper_bound(from, to, base + room) - from);
            stop = std::max(stop, start + 1);
        }
        int next = stop;
        if (stop < end) {
            int space = stop;
            while (space > start && m_shown[static_cast<size_t>(space)] != u' ')
                --space;
            if (space > start)
                stop = next = space;
        }
        int last = stop;
        if (stop < end)
            while (last > start && m_shown[static_cast<size_t>(last - 1)] == u' ')
                --last;
        int line_width = width_before(last) - base;
        m_lines.push_back({start, last - start, line_width, y});
        m_text_width = std::max(m_text_width, line_left(y) + line_width);
        y += height;
        if (stop < end)
            while (next < end && m_shown[static_cast<size_t>(next)] == u' ')
                ++next;
        start = next;
    }
}

void TextElement::measure_width(MeasuredSize& pair)
{
    Element::measure_width(pair);
    if (!m_grow)
        return;
    // The width of the lines as laid out: a wrapping text that was given
    // less room than one line asks for no more than its wrapped lines need.
    pair.natural = std::max(pair.natural, m_text_width);
    if (m_grow_min)
        pair.minimum = std::max(pair.minimum, m_text_width);
}

void TextElement::measure_height(MeasuredSize& pair)
{
    Element::measure_height(pair);
    if (!m_grow)
        return;
    pair.natural = std::max(pair.natural, m_text_height);
    int least = m_wrap && !m_grow_min ? std::min(m_text_height, 20) : m_text_height;
    pair.minimum = std::max(pair.minimum, least);
}

void TextElement::layout_horizontal()
{
    Element::layout_horizontal();
    relayout_text();
}

void TextElement::layout_vertical()
{
    Element::layout_vertical();
    for (Element* corner : {m_left_corner, m_right_corner})
        if (corner)
            corner->set_vertical(y(), corner->measured_height().natural);
}

int TextElement::text_top() const
{
    int spare = std::max(height() - m_text_height, 0);
    if (m_valign == align_top)
        return 0;
    if (m_valign == align_bottom)
        return spare;
    return spare / 2;
}

// A line wider than its room starts at the room's left edge whatever the
// alignment, so scrolling can bring all of it into view.
int TextElement::aligned_line_x(const TextLine& line) const
{
    int left = line_left(line.y);
    int spare = line_room(line.y) - line.width;
    if (spare <= 0)
        return left;
    if (m_halign == align_center)
        return left + spare / 2;
    if (m_halign == align_right)
        return left + spare;
    return left;
}

void TextElement::draw_content(DrawTarget& target, Point origin)
{
    ClipScope clip(target, origin, size());
    int scroll_y = static_cast<int>(m_scroll_y);
    int top = origin.y + text_top() - scroll_y;
    int height = line_height();
    const bool cut = in_list_row();
    for (const TextLine& line : m_lines) {
        int line_y = top + line.y;
        if (line.count == 0 || line_y + height <= origin.y)
            continue;
        if (line_y >= origin.y + this->height())
            break;
        int line_x = origin.x + aligned_line_x(line) + m_scroll_x;
        // A little slack keeps the system's own rounding from ending the line with an ellipsis.
        Rect rect{line_x, line_y, line_x + line.width + height, line_y + height};
        // A line that cannot be scrolled into view is cut to its room instead.
        if (cut && line.width > line_room(line.y))
            rect.right = line_x + line_room(line.y);
        draw_text(target, m_font, m_color,
                  StringView(m_shown).substr(static_cast<size_t>(line.first), static_cast<size_t>(line.count)), rect,
                  align_left, align_top, false);
    }
    for (Element* child : children()) {
        if (child == m_left_corner)
            draw_corner(target, child, {origin.x, origin.y - scroll_y});
        else if (child == m_right_corner)
            draw_corner(target, child, {origin.x + width() - child->width(), origin.y - scroll_y});
        else
            child->draw(target, {origin.x + child->x() - x(), origin.y + child->y() - y()});
    }
}

void TextElement::draw_corner(DrawTarget& target, Element* corner, Point at)
{
    if (m_scroll_y < corner->height())
        corner->draw(target, at);
}

bool TextElement::in_list_row() const
{
    for (const Element* up = parent(); up; up = up->parent())
        if (dynamic_cast<const ListRow*>(up))
            return true;
    return false;
}

bool TextElement::can_scroll() const
{
    if (in_list_row())
        return false;
    bool sideways = !m_wrap && (m_halign == align_left || m_halign == align_center) && m_text_width > width();
    return m_text_height > height() || sideways;
}

// A text that fits its rectangle leaves the pen to its parent (a list row
// must still see its taps); one that can scroll keeps it for dragging.
bool TextElement::on_stylus(const StylusEvent& event)
{
    bool handled = Element::on_stylus(event);
    if (event.down && !event.cancelled)
        m_tracker.pen_down(event.x, event.y, event.time);
    else
        m_tracker.pen_up(event.x, event.y, event.time);
    return handled || can_scroll();
}

void TextElement::on_stylus_move(const StylusMove& move)
{
    m_tracker.pen_move(move.x, move.y, move.time);
    if (m_tracker.is_down()) {
        int old_x = m_scroll_x;
        double old_y = m_scroll_y;
        if (!m_wrap && (m_halign == align_left || m_halign == align_center))
            m_scroll_x = std::clamp(m_scroll_x + m_tracker.last_dx(), -m_text_width, 0);
        m_scroll_y = std::clamp(m_scroll_y - m_tracker.last_dy(), 0.0,
                                static_cast<double>(std::max(m_text_height - height(), 0)));
        if (old_x != m_scroll_x || old_y != m_scroll_y)
            mark_dirty();
    }
    Element::on_stylus_move(move);
}

void TextElement::on_visibility_changed(bool visible, bool effective)
{
    Element::on_visibility_changed(visible, effective);
    if (!effective && m_tracker.is_down())
        m_tracker.pen_up(0, 0, 0);
}

void TextElement::on_orientation_changed()
{
    relayout_text();
}

void TextElement::scroll_into_view(int top, int bottom)
{
    double old = m_scroll_y;
    if (top < m_scroll_y)
        m_scroll_y = top;
    else if (bottom > m_scroll_y + height())
        m_scroll_y = bottom - height();
    m_scroll_y = std::clamp(m_scroll_y, 0.0, static_cast<double>(std::max(m_text_height - height(), 0)));
    if (old != m_scroll_y)
        mark_dirty();
}
