#pragma once
// "color": a rectangle filled with one opaque colour.

#include "elements/element.h"

class ColorElement : public Element {
public:
    explicit ColorElement(Element* parent);

    // Base attributes, then "color".
    void bind(Properties& skin, const SkinNode* node) override;
    // Fills the whole rectangle, then draws the children.
    void draw_content(DrawTarget& target, Point origin) override;

    Color color() const { return m_color; }
    // Changes the colour, redrawing when it differs.
    void set_color(Color color);

private:
    Color m_color{255, 0, 255, 255};
};
