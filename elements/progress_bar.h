#pragma once
// "progress": stretches its "#line" child in proportion to a value 0..1.

#include "elements/element.h"

class ProgressBar : public Element {
public:
    explicit ProgressBar(Element* parent);

    // Base attributes and children, then finds "#line".
    void bind(Properties& skin, const SkinNode* node) override;
    // Places the children; the line gets its share of the width.
    void layout_horizontal() override;
    // Places the children; the line gets its share of the height.
    void layout_vertical() override;

    // Sets the value, clamped to [0, 1]; a change lays the bar out again.
    void set_value(double ratio);
    double value() const { return m_value; }
    Element* line() const { return m_line; }

private:
    int line_length(int anchor, int border_min, int border_max, int length) const;
    void place_line(bool horizontal);

    double m_value = 0.0;
    Element* m_line = nullptr;
};
