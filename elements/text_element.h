#pragma once
// "text": a label with its own line layout. Lines wrap at the element's
// width and flow around two corner children ("#left", "#right"); a text
// larger than its rectangle scrolls by dragging.

#include <vector>
#include "elements/element.h"
#include "elements/pen_tracker.h"
#include "skin/font.h"
#include "skin/orientation_observer.h"

class TextElement;

// Told when a text element's text changed (used by "label_edit").
class TextChangeListener {
public:
    virtual void on_text_changed(TextElement* element) = 0;

protected:
    ~TextChangeListener() = default;
};

// One laid-out line: a run of the shown text.
struct TextLine {
    int first = 0;  // index of its first character
    int count = 0;  // number of characters
    int width = 0;  // pixels
    int y = 0;      // top, from the top of the text
};

class TextElement : public Element, public OrientationObserver {
public:
    explicit TextElement(Element* parent);

    // Base attributes, then font, text, grow, grow_min, colour, alignments,
    // wrap and the corner children; then lays the lines out.
    void bind(Properties& skin, const SkinNode* node) override;
    // Shows text when id is this element's; then passes the call on.
    void set_text_by_id(StringView id, StringView text) override;
    // Replaces the text and lays the lines out again.
    virtual void set_text(StringView text);
    // Lays the current text out again (after the font or the width changed).
    virtual void relayout_text();
    // With grow, at least the laid-out lines' width (and its minimum with grow_min).
    void measure_width(MeasuredSize& pair) override;
    // With grow, at least the text's height; a wrapping text accepts less.
    void measure_height(MeasuredSize& pair) override;
    // Places the children; lays the lines out again when the width changed.
    void layout_horizontal() override;
    // Places the children; the corners go to the top with their natural height.
    void layout_vertical() override;
    // Draws the lines, then the corners, all moved by the scroll position.
    void draw_content(DrawTarget& target, Point origin) override;
    // Children first; a text that can scroll takes the pen.
    bool on_stylus(const StylusEvent& event) override;
    // Scrolls by the pen's movement.
    void on_stylus_move(const StylusMove& move) override;
    // Base behaviour; a hidden text forgets its gesture.
    void on_visibility_changed(bool visible, bool effective) override;
    // Glyph widths change with the orientation: the lines are laid out again.
    void on_orientation_changed() override;

    const String& text() const { return m_text; }
    // The text as laid out: tabs as four spaces, without wrap line breaks as spaces.
    const String& shown_text() const { return m_shown; }
    // Index in the shown text of a position in the text.
    int shown_position(int stored) const;
    // The position in the text nearest to one in the shown text: a position
    // among a tab's spaces goes to the nearer side of the tab.
    int stored_position(int shown) const;
    const std::vector<TextLine>& lines() const { return m_lines; }
    int text_width() const { return m_text_width; }
    int text_height() const { return m_text_height; }
    int scroll_x() const { return m_scroll_x; }
    double scroll_y() const { return m_scroll_y; }
    void set_text_listener(TextChangeListener* listener) { m_text_listener = listener; }
    const Font& font() const { return m_font; }
    Color color() const { return m_color; }
    void set_font(const Font& font);
    void set_wrap(bool wrap);
    bool is_wrapping() const { return m_wrap; }
    void set_alignment(int horizontal, int vertical);
    // Whether dragging can scroll the text (never inside a list row).
    bool can_scroll() const;
    // Whether the text lies inside a list row: the row takes every tap on it,
    // and a line that does not fit ends in an ellipsis.
    bool in_list_row() const;

protected:
    // Left edge of the line at y, after the left corner (pixels from the element's left).
    int line_left(int y) const;
    // Width left for the line at y between the corners.
    int line_room(int y) const;
    // Top of the text inside the element (vertical alignment), before scrolling.
    int text_top() const;
    // Left of a line inside the element (horizontal alignment), before scrolling.
    int aligned_line_x(const TextLine& line) const;
    int line_height() const;
    // Scrolls so that the rectangle (text coordinates) can be seen.
    void scroll_into_view(int top, int bottom);
    TextChangeListener* text_listener() const { return m_text_listener; }

private:
    void lay_out_lines();
    void lay_out_paragraph(int first, int end, int& y);
    void draw_corner(DrawTarget& target, Element* corner, Point at);

    PenTracker m_tracker;
    Font m_font;
    Color m_color{0, 0, 0, 255};
    String m_text;
    String m_shown;
    bool m_grow = false;
    bool m_grow_min = false;
    bool m_wrap = false;
    int m_halign = align_center;
    int m_valign = align_vcenter;
    Element* m_left_corner = nullptr;
    Element* m_right_corner = nullptr;
    std::vector<TextLine> m_lines;
    int m_text_width = 0;
    int m_text_height = 0;
    int m_scroll_x = 0;
    double m_scroll_y = 0.0;
    std::vector<std::int32_t> m_prefix;
    TextChangeListener* m_text_listener = nullptr;
};
