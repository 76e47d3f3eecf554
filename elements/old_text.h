#pragma once
// "oldtext": a simple label drawn by the text-drawing primitive.

#include "elements/element.h"
#include "skin/font.h"

class OldText : public Element {
public:
    explicit OldText(Element* parent);

    // Base attributes, then font, text, grow, colour, alignments and wrap.
    void bind(Properties& skin, const SkinNode* node) override;
    // Shows text when id is this element's; then passes the call on.
    void set_text_by_id(StringView id, StringView text) override;
    // With grow, at least the text's width.
    void measure_width(MeasuredSize& pair) override;
    // With grow, at least the text's height.
    void measure_height(MeasuredSize& pair) override;
    // Draws the text aligned in the rectangle.
    void draw_content(DrawTarget& target, Point origin) override;

    // Replaces the text; a growing label asks for a layout, others for a redraw.
    void set_text(StringView text);
    const String& text() const { return m_text; }

private:
    Size text_size();

    Font m_font;
    Color m_color{0, 0, 0, 255};
    String m_text;
    bool m_grow = false;
    Size m_text_size{-1, -1};
    int m_halign = align_center;
    int m_valign = align_vcenter;
    bool m_wrap = false;
};
