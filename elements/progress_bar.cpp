#include "elements/progress_bar.h"

#include <algorithm>
#include <cmath>
#include "elements/layout_units.h"

ProgressBar::ProgressBar(Element* parent) : Element(parent) {}

void ProgressBar::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_line = find_by_id(u"#line");
    if (m_line) m_line->set_observer(nullptr);
}

void ProgressBar::set_value(double ratio)
{
    if (std::isnan(ratio)) ratio = 0.0;
    ratio = std::clamp(ratio, 0.0, 1.0);
    if (ratio == m_value) return;
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

void ProgressBar::layout_horizontal()
{
    for (Element* child : children()) {
        if (child != m_line) {
            place_child_horizontally(child);
            continue;
        }
        int anchor = child->anchor_x();
        int border_min = child->border_min().x;
        int border_max = child->border_max().x;
        int natural = line_length(anchor, border_min, border_max, width());
        int size = anchored_size(anchor, border_min, natural, border_max, width());
        int offset = anchored_offset(anchor, border_min, size, border_max, width());
        child->set_horizontal(saturated_add(x(), offset), size);
    }
}

void ProgressBar::layout_vertical()
{
    for (Element* child : children()) {
        if (child != m_line) {
            place_child_vertically(child);
            continue;
        }
        int anchor = child->anchor_y();
        int border_min = child->border_min().y;
        int border_max = child->border_max().y;
        int natural = line_length(anchor, border_min, border_max, height());
        int size = anchored_size(anchor, border_min, natural, border_max, height());
        int offset = anchored_offset(anchor, border_min, size, border_max, height());
        child->set_vertical(saturated_add(y(), offset), size);
    }
}
