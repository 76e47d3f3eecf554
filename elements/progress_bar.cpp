#include "elements/progress_bar.h"

#include <algorithm>
#include <cmath>
#include "elements/layout_units.h"

ProgressBar::ProgressBar(Element* parent) : Element(parent) {}

void ProgressBar::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_line = find_by_id(u"#line");
    if (m_line)
        m_line->set_observer(nullptr);
}

void ProgressBar::set_value(double ratio)
{
    if (std::isnan(ratio))
        ratio = 0.0;
    ratio = std::clamp(ratio, 0.0, 1.0);
    if (ratio == m_value)
        return;
    m_value = ratio;
    invalidate_measurements();
}

// A share below one pixel shows no line at all rather than a sliver.
int ProgressBar::line_length(int anchor, int border_min, int border_max, int length) const
{
    long long room = static_cast<long long>(length) - anchored_need(anchor, border_min, 0, border_max);
    int share = static_cast<int>(std::max(room, 0LL) * m_value);
    return share < 1 ? 0 : share;
}

// Placement of the line along one axis: its share of the bar's length
// stands in for its natural size.
void ProgressBar::place_line(bool horizontal)
{
    Element* line = m_line;
    int anchor = horizontal ? line->anchor_x() : line->anchor_y();
    int border_min = horizontal ? line->border_min().x : line->border_min().y;
    int border_max = horizontal ? line->border_max().x : line->border_max().y;
    int length = horizontal ? width() : height();
    int natural = line_length(anchor, border_min, border_max, length);
    int size = anchored_size(anchor, border_min, natural, border_max, length);
    int at = saturated_add(horizontal ? x() : y(), anchored_offset(anchor, border_min, size, border_max, length));
    if (horizontal)
        line->set_horizontal(at, size);
    else
        line->set_vertical(at, size);
}

void ProgressBar::layout_horizontal()
{
    for (Element* child : children()) {
        if (child == m_line)
            place_line(true);
        else
            place_child_horizontally(child);
    }
}

void ProgressBar::layout_vertical()
{
    for (Element* child : children()) {
        if (child == m_line)
            place_line(false);
        else
            place_child_vertically(child);
    }
}
