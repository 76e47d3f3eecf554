#include "elements/color_element.h"

#include "pixels/render_draw.h"
#include "skin/properties.h"

ColorElement::ColorElement(Element* parent) : Element(parent) {}

void ColorElement::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_color = skin.get_color(node, u"color", Color{0, 0, 0, 255});
}

// The fill is opaque whatever the alpha byte says.
void ColorElement::draw_content(DrawTarget& target, Point origin)
{
    fill_rect(target, Rect::of(origin, size()), m_color.to_pixel());
    Element::draw_content(target, origin);
}

void ColorElement::set_color(Color color)
{
    if (color == m_color)
        return;
    m_color = color;
    mark_dirty();
}
