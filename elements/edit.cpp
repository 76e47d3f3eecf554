#include "elements/edit.h"

#include <algorithm>
#include "pixels/render_draw.h"
#include "platform/key_codes.h"
#include "skin/plexor.h"
#include "skin/properties.h"

Edit::Edit(Element* parent) : TextElement(parent) {}

Edit::~Edit()
{
    unfocus();
}

void Edit::bind(Properties& skin, const SkinNode* node)
{
    TextElement::bind(skin, node);
    m_background = skin.get_color(node, u"background_color", Color{0, 0, 0, 255});
    m_caret = std::min(m_caret, static_cast<int>(text().size()));
}

void Edit::set_text(StringView text)
{
    TextElement::set_text(text);
    m_caret = std::min(m_caret, static_cast<int>(this->text().size()));
    if (text_listener())
        text_listener()->on_text_changed(this);
}

// The focus passes straight from edit to edit: the listener hears of the
// new edit only, never of a moment without one.
void Edit::focus()
{
    if (focused_edit == this)
        return;
    if (focused_edit)
        focused_edit->release_focus();
    focused_edit = this;
    m_uses_text_input = text_input_window != nullptr;
    if (m_uses_text_input)
        text_input_window->open(*this);
    m_blink = 1.0;
    m_caret_on = false;
    mark_dirty();
    if (focus_listener)
        focus_listener->on_edit_focus_changed(this);
}

void Edit::unfocus()
{
    if (focused_edit != this)
        return;
    release_focus();
    if (focus_listener)
        focus_listener->on_edit_focus_changed(nullptr);
}

void Edit::release_focus()
{
    if (m_uses_text_input && text_input_window)
        text_input_window->close(*this);
    focused_edit = nullptr;
    m_uses_text_input = false;
    m_caret_on = false;
    m_blink = 1.0;
    mark_dirty();
}

void Edit::set_selection(int start, int end)
{
    if (m_uses_text_input && text_input_window && is_focused())
        text_input_window->set_selection(*this, start, end);
}

// The caret is on for the second half of each second. An edit without the
// focus keeps its timer at the end of a period, so the caret of a freshly
// focused edit starts hidden.
void Edit::update(double seconds)
{
    TextElement::update(seconds);
    if (m_uses_text_input)
        return;
    bool was_on = m_caret_on;
    if (!is_focused()) {
        m_blink = 1.0;
        m_caret_on = false;
    } else {
        m_blink += seconds;
        if (m_blink >= 1.0) {
            m_blink = 0.0;
            m_caret_on = false;
        } else if (m_blink >= 0.5) {
            m_caret_on = true;
        }
    }
    if (was_on != m_caret_on)
        mark_dirty();
}

void Edit::on_visibility_changed(bool visible, bool effective)
{
    TextElement::on_visibility_changed(visible, effective);
    if (!effective)
        unfocus();
}

void Edit::layout_vertical()
{
    TextElement::layout_vertical();
    if (is_focused())
        place_caret(m_caret);
}

bool Edit::on_stylus(const StylusEvent& event)
{
    if (event.down && !event.cancelled) {
        if (!is_focused())
            focus();
        else
            set_caret(caret_at({event.x - x(), event.y - y()}));
    }
    TextElement::on_stylus(event);
    return true;
}

namespace {

bool is_high_surrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Two units that make one character: a surrogate pair, or the "\r\n" line
// break of a wrapping text.
bool is_one_character(char16_t first, char16_t second, bool wrap)
{
    return (is_high_surrogate(first) && is_low_surrogate(second)) || (wrap && first == u'\r' && second == u'\n');
}

// Units of the character that ends at position at of text (at > 0).
int units_before(StringView text, int at, bool wrap)
{
    const auto end = static_cast<size_t>(at);
    return end >= 2 && is_one_character(text[end - 2], text[end - 1], wrap) ? 2 : 1;
}

// Units of the character that starts at position at of text.
int units_after(StringView text, int at, bool wrap)
{
    const auto start = static_cast<size_t>(at);
    return start + 1 < text.size() && is_one_character(text[start], text[start + 1], wrap) ? 2 : 1;
}

}  // namespace

bool Edit::on_key(const KeyEvent& event)
{
    if (!event.pressed || !is_focused())
        return false;
    switch (event.key) {
    case key_left:
        if (m_caret > 0)
            place_caret(m_caret - units_before(text(), m_caret, is_wrapping()));
        return true;
    case key_right:
        if (m_caret < static_cast<int>(text().size()))
            place_caret(m_caret + units_after(text(), m_caret, is_wrapping()));
        return true;
    case key_up:
        move_caret_by_line(-1);
        return true;
    case key_down:
        move_caret_by_line(1);
        return true;
    case key_backspace:
        erase_before_caret();
        return true;
    case key_enter:
        // A wrapping edit takes Enter as a line break; a single-line one only swallows it.
        if (is_wrapping())
            insert_at_caret(u"\n");
        return true;
    default:
        return false;
    }
}

bool Edit::on_char(const CharEvent& event)
{
    if (!is_focused() || event.text.empty())
        return false;
    insert_at_caret(event.text);
    return true;
}

// Typing edits the text itself, not the shown text: tabs and line breaks
// that the program set stay as they are.
void Edit::insert_at_caret(StringView typed)
{
    String edited = text();
    edited.insert(static_cast<size_t>(m_caret), typed);
    replace_text(std::move(edited), m_caret + static_cast<int>(typed.size()));
}

void Edit::erase_before_caret()
{
    if (m_caret == 0)
        return;
    const int units = units_before(text(), m_caret, is_wrapping());
    String edited = text();
    edited.erase(static_cast<size_t>(m_caret - units), static_cast<size_t>(units));
    replace_text(std::move(edited), m_caret - units);
}

void Edit::replace_text(String edited, int caret)
{
    set_text(edited);
    place_caret(caret);
}

int Edit::caret() const
{
    return shown_position(m_caret);
}

void Edit::set_caret(int caret)
{
    place_caret(stored_position(caret));
}

// Moving the caret shows it at once and scrolls its line into view.
void Edit::place_caret(int position)
{
    m_caret = std::clamp(position, 0, static_cast<int>(text().size()));
    if (is_focused() && !m_uses_text_input) {
        m_blink = 0.5;
        m_caret_on = true;
    }
    Point at = caret_point(caret());
    scroll_into_view(at.y, at.y + line_height());
    mark_dirty();
}

size_t Edit::caret_line() const
{
    const std::vector<TextLine>& all = lines();
    auto after = std::upper_bound(all.begin(), all.end(), caret(),
                                  [](int caret, const TextLine& line) { return caret < line.first; });
    return after == all.begin() ? 0 : static_cast<size_t>(after - all.begin() - 1);
}

Point Edit::caret_point(int caret) const
{
    const std::vector<TextLine>& all = lines();
    if (all.empty())
        return {aligned_line_x(TextLine{}), 0};
    auto after =
        std::upper_bound(all.begin(), all.end(), caret, [](int c, const TextLine& line) { return c < line.first; });
    const TextLine& line = after == all.begin() ? all.front() : *(after - 1);
    int chars = std::clamp(caret - line.first, 0, line.count);
    StringView before = StringView(shown_text()).substr(static_cast<size_t>(line.first), static_cast<size_t>(chars));
    return {aligned_line_x(line) + font()->measure(before).width, line.y};
}

// The nearest character boundary: a pen past the middle of a character
// puts the caret after it.
int Edit::caret_at(Point point) const
{
    const std::vector<TextLine>& all = lines();
    if (all.empty())
        return 0;
    int text_y = point.y - text_top() + static_cast<int>(scroll_y());
    size_t index = 0;
    while (index + 1 < all.size() && all[index + 1].y <= text_y)
        ++index;
    const TextLine& line = all[index];
    int text_x = point.x - scroll_x() - aligned_line_x(line);
    std::vector<std::int32_t> prefix;
    font()->measure(StringView(shown_text()).substr(static_cast<size_t>(line.first), static_cast<size_t>(line.count)),
                    0, nullptr, nullptr, &prefix);
    int chars = 0;
    int previous = 0;
    while (chars < line.count && text_x > (previous + prefix[static_cast<size_t>(chars)]) / 2) {
        previous = prefix[static_cast<size_t>(chars)];
        ++chars;
    }
    return line.first + chars;
}

// Up and Down keep the caret's horizontal place as well as the other line allows.
void Edit::move_caret_by_line(int lines_by)
{
    const std::vector<TextLine>& all = lines();
    if (all.empty())
        return;
    long long wanted = static_cast<long long>(caret_line()) + lines_by;
    if (wanted < 0) {
        set_caret(0);
        return;
    }
    if (wanted >= static_cast<long long>(all.size())) {
        place_caret(static_cast<int>(text().size()));
        return;
    }
    Point at = caret_point(caret());
    const TextLine& line = all[static_cast<size_t>(wanted)];
    set_caret(caret_at({at.x + scroll_x(), line.y + text_top() - static_cast<int>(scroll_y())}));
}

void Edit::draw_content(DrawTarget& target, Point origin)
{
    fill_rect(target, Rect::of(origin, size()), m_background.to_pixel());
    TextElement::draw_content(target, origin);
    if (!is_focused() || !m_caret_on || m_uses_text_input)
        return;
    ClipScope clip(target, origin, size());
    Point at = caret_point(caret());
    Point screen{origin.x + at.x + scroll_x(), origin.y + text_top() + at.y - static_cast<int>(scroll_y())};
    fill_rect(target, Rect::of(screen, {1, line_height()}), color().to_pixel());
}

LabelEdit::LabelEdit(Element* parent) : Element(parent) {}

void LabelEdit::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_edit = dynamic_cast<Edit*>(find_by_id(u"#edit"));
    if (!m_edit)
        throw plexor::NodeNotFound(id(), u"#edit");
    m_label = find_by_id(u"#text");
    if (!m_label)
        throw plexor::NodeNotFound(id(), u"#text");
    m_label->set_observer(nullptr);
    m_edit->set_text_listener(this);
    m_edit->set_observer(this);
    on_text_changed(m_edit);
}

void LabelEdit::layout_horizontal()
{
    for (Element* child : children())
        if (child != m_label)
            place_child_horizontally(child);
}

void LabelEdit::layout_vertical()
{
    for (Element* child : children())
        if (child != m_label)
            place_child_vertically(child);
}

void LabelEdit::on_text_changed(TextElement*)
{
    m_label->set_visible(m_edit->text().empty());
}

void LabelEdit::on_width_changed(Element* element, int width)
{
    m_label->set_horizontal(element->x(), width);
}

void LabelEdit::on_height_changed(Element* element, int height)
{
    m_label->set_vertical(element->y(), height);
}
