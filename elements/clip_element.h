#pragma once
// "clip": a container whose children are cut at its own rectangle.

#include "elements/element.h"

class ClipElement : public Element {
public:
    explicit ClipElement(Element* parent);

    // Draws the children with the target's clip narrowed to the element.
    void draw_content(DrawTarget& target, Point origin) override;
};
