#include "elements/clip_element.h"

ClipElement::ClipElement(Element* parent) : Element(parent) {}

void ClipElement::draw_content(DrawTarget& target, Point origin)
{
    ClipScope clip(target, origin, size());
    Element::draw_content(target, origin);
}
