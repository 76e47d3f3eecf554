#include "elements/virtual_list.h"

#include <algorithm>
#include <cmath>
#include "elements/attributes.h"
#include "elements/layout_units.h"
#include "platform/log.h"
#include "skin/properties.h"

namespace {

// Moves value toward target by at most step, stopping exactly on it.
double move_toward(double value, double target, double step)
{
    if (value < target)
        return std::min(value + step, target);
    return std::max(value - step, target);
}

}  // namespace

// ---- ListRow ---------------------------------------------------------------

ListRow::ListRow(Element* parent) : Element(parent) {}

void ListRow::apply_look(bool pressed, bool selected)
{
    Element* normal = find_by_id(u"#vlist_normal");
    Element* pressed_look = find_by_id(u"#vlist_pressed");
    Element* selected_look = find_by_id(u"#vlist_selected");
    for (Element* look : {normal, pressed_look, selected_look})
        if (look)
            look->set_observer(nullptr);
    if (normal)
        normal->set_visible(!pressed && !selected);
    if (pressed_look)
        pressed_look->set_visible(pressed);
    if (selected_look)
        selected_look->set_visible(selected && !pressed);
}

// ---- VirtualList: set-up ---------------------------------------------------

VirtualList::VirtualList(Element* parent) : Element(parent) {}

VirtualList::~VirtualList()
{
    m_pressed_row = nullptr;
    m_rows.clear();
}

void VirtualList::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_scroll_border_min = skin.get_point(node, u"scroll_border_min", Point{}).y;
    m_scroll_border_max = skin.get_point(node, u"scroll_border_max", Point{}).y;
    m_locked = get_flag(skin, node, u"locked");
    m_grow = get_flag(skin, node, u"grow");
    reset(m_count);
}

void VirtualList::set_scroll_borders(int border_min, int border_max)
{
    m_scroll_border_min = border_min;
    m_scroll_border_max = border_max;
    invalidate_measurements();
}

void VirtualList::set_adapter(ListAdapter* adapter)
{
    m_adapter = adapter;
    reset(m_count);
    m_selected_index = -1;
}

void VirtualList::reset(int count)
{
    release_pressed_row();
    m_count = std::max(count, 0);
    m_rows.clear();
    m_before_first = -1;
    m_end_index = 0;
    m_rows_height = 0.0;
    m_rows_target_height = 0;
    m_animating = 0;
    m_offset = m_scroll_border_min;
    m_velocity = 0.0;
    m_refill = true;
    if (m_grow)
        invalidate_measurements();
    mark_dirty();
}

void VirtualList::set_offset(double offset)
{
    m_offset = offset;
    immediate_clamp();
    mark_dirty();
}

void VirtualList::set_selected_index(int index)
{
    m_selected_index = index < 0 ? -1 : index;
    for (auto& row : m_rows)
        apply_row_look(*row);
    mark_dirty();
}

void VirtualList::refresh(int index)
{
    for (auto& row : m_rows) {
        if (row->index() != index)
            continue;
        row->fill(*this, false);
        apply_row_look(*row);
        mark_dirty();
        return;
    }
}

// Rows below the removed item move up one index; its own row (if any)
// loses its index and shrinks away in update.
void VirtualList::remove(int index)
{
    if (index < 0 || index >= m_count)
        return;
    --m_count;
    if (index >= m_end_index)
        return;
    if (index <= m_before_first)
        --m_before_first;
    for (auto& row : m_rows) {
        if (row->index() == index) {
            if (row.get() == m_pressed_row)
                release_pressed_row();
            row->set_index(-1);
            if (row->is_animating()) {
                row->set_animating(false);
                --m_animating;
            }
        } else if (row->index() > index) {
            row->set_index(row->index() - 1);
        }
    }
    --m_end_index;
    mark_dirty();
}

// The rows from index on move down one index, which leaves a gap among the
// existing rows; update fills it with a row that grows from zero height.
void VirtualList::insert(int index)
{
    if (index < 0 || index > m_count)
        return;
    ++m_count;
    if (index >= m_end_index)
        return;
    if (index <= m_before_first)
        ++m_before_first;
    for (auto& row : m_rows)
        if (row->index() >= index)
            row->set_index(row->index() + 1);
    ++m_end_index;
    mark_dirty();
}

// ---- Rows ------------------------------------------------------------------

int VirtualList::viewport_height() const
{
    return m_grow && root() ? root()->height() : height();
}

// The row is owned from the moment the adapter hands it over, so a fill that
// throws (a skin without the row's nodes) does not leak it.
std::unique_ptr<ListRow> VirtualList::make_row(int index)
{
    if (!m_adapter)
        return nullptr;
    std::unique_ptr<ListRow> row(m_adapter->create_row(*this, index));
    if (!row)
        return nullptr;
    if (row->parent())
        row->parent()->remove_child(row.get());
    row->set_root(root());
    bind_row(*row, index, true);
    return row;
}

void VirtualList::bind_row(ListRow& row, int index, bool is_new)
{
    row.set_index(index);
    row.fill(*this, is_new);
    row.set_visible(true);
    if (row.is_layout_invalid())
        place_row(row);
    apply_row_look(row);
}

// Rows live in their own coordinates: each is placed at (0, 0).
void VirtualList::place_row(ListRow& row)
{
    row.set_horizontal(0, width());
    row.set_vertical(0, row.measured_height().natural);
}

void VirtualList::apply_row_look(ListRow& row)
{
    bool pressed = &row == m_pressed_row && !row.captured();
    bool selected = m_selected_index != -1 && row.index() == m_selected_index;
    row.apply_look(pressed, selected);
}

// A row's own handlers may reset the list and so destroy the row; its look
// is only touched while the list still holds it.
void VirtualList::release_pressed_row()
{
    ListRow* row = m_pressed_row;
    if (!row)
        return;
    m_pressed_row = nullptr;
    m_saved_event.down = false;
    m_saved_event.cancelled = true;
    row->on_stylus(m_saved_event);
    if (holds(row))
        apply_row_look(*row);
}

bool VirtualList::holds(const ListRow* row) const
{
    return std::any_of(m_rows.begin(), m_rows.end(),
                       [row](const std::unique_ptr<ListRow>& each) { return each.get() == row; });
}

void VirtualList::destroy_row(Rows::iterator row)
{
    if (row->get() == m_pressed_row)
        release_pressed_row();
    if ((*row)->is_animating())
        --m_animating;
    m_rows.erase(row);
}

void VirtualList::sum_heights()
{
    m_rows_height = 0.0;
    long long target = 0;
    int animating = 0;
    for (auto& row : m_rows) {
        m_rows_height += row->height_now();
        if (row->index() != -1)
            target += row->height();
        if (row->is_animating())
            ++animating;
    }
    m_rows_target_height = static_cast<int>(std::min<long long>(target, 1LL << 30));
    m_animating = animating;
}

// Zero-height rows would let a fill create every row of a huge list; no
// more rows exist at once than the viewport has pixels (plus a margin).
bool VirtualList::may_add_row() const
{
    return static_cast<long long>(m_rows.size()) < static_cast<long long>(std::max(viewport_height(), 0)) + 16;
}

// ---- Fill ------------------------------------------------------------------

void VirtualList::fill()
{
    add_rows_above();
    drop_rows_above();
    add_rows_below();
    drop_rows_below();
    if (m_refill)
        refill_from_end();
}

// Adds a row above the first; false when there is none to add. An item
// that no longer exists is removed and the next one above is tried.
bool VirtualList::prepend_row()
{
    while (m_before_first != -1) {
        std::unique_ptr<ListRow> row = make_row(m_before_first);
        if (!row) {
            remove(m_before_first);
            continue;
        }
        row->set_height_now(row->height());
        m_rows_height += row->height();
        m_rows_target_height += row->height();
        m_rows.push_front(std::move(row));
        --m_before_first;
        return true;
    }
    return false;
}

void VirtualList::add_rows_above()
{
    while (m_before_first != -1 && m_offset > 0 && may_add_row()) {
        if (!prepend_row())
            break;
        m_offset -= m_rows.front()->height();
    }
}

void VirtualList::drop_rows_above()
{
    while (!m_rows.empty() && m_rows.front()->height_now() < -m_offset) {
        ListRow& row = *m_rows.front();
        m_offset += row.height_now();
        m_rows_height -= row.height_now();
        if (row.index() != -1) {
            m_rows_target_height -= row.height();
            m_before_first = row.index();
        }
        destroy_row(m_rows.begin());
    }
}

void VirtualList::add_rows_below()
{
    int viewport = viewport_height();
    while (m_end_index < m_count && m_rows_height + m_offset < viewport && may_add_row()) {
        std::unique_ptr<ListRow> row = make_row(m_end_index);
        if (!row) {
            --m_count;
            continue;
        }
        row->set_height_now(row->height());
        m_rows_height += row->height();
        m_rows_target_height += row->height();
        m_rows.push_back(std::move(row));
        ++m_end_index;
    }
}

void VirtualList::drop_rows_below()
{
    int viewport = viewport_height();
    while (!m_rows.empty() && m_rows_height + m_offset - m_rows.back()->height_now() > viewport) {
        ListRow& row = *m_rows.back();
        m_rows_height -= row.height_now();
        if (row.index() != -1) {
            m_rows_target_height -= row.height();
            m_end_index = row.index();
        }
        destroy_row(std::prev(m_rows.end()));
    }
}

// After a reset or a change of height the rows are anchored again: a gap
// below the last row is closed by moving the rows down (never past the top
// border) and by adding rows above, so that the end stays at the bottom.
void VirtualList::refill_from_end()
{
    int bottom = viewport_height() - m_scroll_border_max;
    double gap = bottom - (m_rows_height + m_offset);
    if (gap > 0)
        m_offset = std::min(m_offset + gap, static_cast<double>(m_scroll_border_min));
    while (m_before_first != -1 && m_rows_height + m_offset < bottom && may_add_row()) {
        double room = bottom - m_rows_height - m_offset;
        if (!prepend_row())
            break;
        int added = m_rows.front()->height();
        if (added > room)
            m_offset += room - added;
    }
    m_refill = false;
}

// Only a growing list is held inside its ends at once; any other list is
// brought back by friction and the spring.
void VirtualList::immediate_clamp()
{
    if (!m_grow)
        return;
    double lowest = height() - m_scroll_border_max - m_rows_height;
    if (m_end_index == m_count && m_offset < lowest) {
        m_offset = lowest;
        m_velocity = 0.0;
    }
    if (m_before_first == -1 && m_offset > m_scroll_border_min) {
        m_offset = m_scroll_border_min;
        m_velocity = 0.0;
    }
}

// ---- Update ----------------------------------------------------------------

void VirtualList::update(double seconds)
{
    Element::update(seconds);
    m_tracker.update(seconds);
    double old_offset = m_offset;
    double old_rows_height = m_rows_height;
    int anchor = m_pressed_row            ? m_pressed_row->index()
                 : m_selected_index != -1 ? m_selected_index
                                          : m_before_first + 1;
    animate_heights(seconds, anchor);
    fill_gaps(anchor);

    m_offset += m_velocity * seconds;
    immediate_clamp();
    fill();
    if (m_rows.empty()) {
        m_velocity = 0.0;
        m_offset = m_scroll_border_min;
    }
    immediate_clamp();
    apply_friction(seconds);
    spring_back(seconds);

    if (m_tracker.is_down() && m_pressed_row && row_at(m_pen_down_point.y) != m_pressed_row)
        release_pressed_row();

    bool heights_changed = m_rows_height != old_rows_height;
    if (m_grow && heights_changed)
        invalidate_measurements();
    bool rows_changed = std::any_of(m_rows.begin(), m_rows.end(), [](const std::unique_ptr<ListRow>& row) {
        return row->is_dirty() || row->is_layout_invalid();
    });
    if (is_effectively_visible() && (m_offset != old_offset || heights_changed || rows_changed))
        mark_dirty();
}

// Rows above the anchor keep the anchor row still while they grow or
// shrink (the offset takes up the change); the anchor row itself grows
// half up and half down.
void VirtualList::animate_heights(double seconds, int anchor)
{
    double step = row_speed * seconds;
    bool above_anchor = true;
    for (auto row = m_rows.begin(); row != m_rows.end();) {
        ListRow& current = **row;
        current.update(seconds);
        bool is_anchor = current.index() != -1 && current.index() == anchor;
        if (is_anchor)
            above_anchor = false;
        double old_height = current.height_now();
        if (current.index() == -1) {
            double now = std::max(old_height - step, 0.0);
            current.set_height_now(now);
            if (above_anchor) {
                double moved = m_offset + (old_height - now);
                if (m_before_first == -1)
                    moved = std::min(moved, std::max(m_offset, 0.0));
                m_offset = moved;
            }
            if (now <= 0.0) {
                if (&current == m_pressed_row)
                    release_pressed_row();
                row = m_rows.erase(row);
                continue;
            }
        } else {
            if (current.is_layout_invalid())
                place_row(current);
            double target = current.height();
            double now = move_toward(old_height, target, step);
            current.set_height_now(now);
            current.set_animating(now != target);
            double change = now - old_height;
            if (is_anchor)
                m_offset -= change / 2.0;
            else if (above_anchor)
                m_offset -= change;
        }
        ++row;
    }
    sum_heights();
}

// A gap is a run of indices between two neighbouring rows that has no
// rows (an insertion, or rows whose indices a screen moved). Gaps at the
// ends are closed instead of filled when that end is out of view.
void VirtualList::fill_gaps(int anchor)
{
    struct Gap {
        int first;
        int last;
    };
    std::vector<Gap> gaps;
    int previous = m_before_first;
    bool any_row = false;
    for (auto& row : m_rows) {
        int index = row->index();
        if (index == -1)
            continue;
        if (index > previous + 1)
            gaps.push_back({previous + 1, index - 1});
        previous = index;
        any_row = true;
    }
    if (!any_row)
        return;
    if (!gaps.empty() && gaps.front().first == m_before_first + 1 && m_offset <= 0) {
        m_before_first = gaps.front().last;
        gaps.erase(gaps.begin());
    }
    if (previous + 1 < m_end_index) {
        if ((height() - m_rows_height) - m_offset <= 0)
            m_end_index = previous + 1;
        else
            gaps.push_back({previous + 1, m_end_index - 1});
    }
    // Gaps at or after the anchor in order, then the ones before it, nearest first.
    std::vector<Gap> order;
    for (const Gap& gap : gaps)
        if (gap.first >= anchor)
            order.push_back(gap);
    for (auto gap = gaps.rbegin(); gap != gaps.rend(); ++gap)
        if (gap->first < anchor)
            order.push_back(*gap);
    for (const Gap& gap : order) {
        if (m_animating >= max_animating)
            break;
        auto after = std::find_if(m_rows.begin(), m_rows.end(),
                                  [&](const std::unique_ptr<ListRow>& row) { return row->index() > gap.last; });
        if (!fill_gap(after, gap.first, gap.last, gap.first < anchor))
            break;
    }
    sum_heights();
}

// New rows start at zero height and grow; at most four rows grow at once.
bool VirtualList::fill_gap(Rows::iterator before, int first, int last, bool from_end)
{
    int budget = max_animating - m_animating;
    for (int made = 0; made < budget && first <= last; ++made) {
        int index = from_end ? last : first;
        std::unique_ptr<ListRow> row = make_row(index);
        if (!row) {
            remove(index);
            return false;
        }
        row->set_height_now(0.0);
        row->set_animating(true);
        ++m_animating;
        before = m_rows.insert(before, std::move(row));
        if (from_end)
            --last;
        else {
            ++first;
            ++before;
        }
    }
    return true;
}

// Friction takes (2 v + 9) per second off the speed v, so a start speed v0
// coasts v0 / 2 - 2.25 ln(1 + v0 / 4.5) pixels; solved for v0 by halving.
double VirtualList::coasting_speed_for(double distance)
{
    const auto coasted = [](double speed) { return speed / 2.0 - 2.25 * std::log1p(speed / 4.5); };
    if (distance <= 0.0)
        return 0.0;
    if (coasted(max_speed) <= distance)
        return max_speed;
    double low = 0.0, high = max_speed;
    for (int i = 0; i < 50; ++i) {
        const double middle = (low + high) / 2.0;
        (coasted(middle) < distance ? low : high) = middle;
    }
    return (low + high) / 2.0;
}

bool VirtualList::on_gesture(const GestureEvent& event)
{
    if (event.kind != GestureEvent::wheel || event.notches == 0 || m_rows.empty())
        return false;
    const double row_height = double(m_rows_target_height) / double(m_rows.size());
    const double direction = event.notches > 0 ? 1.0 : -1.0;
    // Turning back stops the coasting first; turning on adds to it.
    const double going = m_velocity * direction > 0.0 ? std::abs(m_velocity) : 0.0;
    const double distance = row_height * std::abs(event.notches);
    const double speed = coasting_speed_for(distance + (going > 0.0 ? going / 2.0 : 0.0));
    m_velocity = direction * std::min(speed, max_speed);
    mark_dirty();
    return true;
}

void VirtualList::apply_friction(double seconds)
{
    double bottom_gap = (height() - m_scroll_border_max - m_rows_target_height) - m_offset;
    double top_gap = m_offset - m_scroll_border_min;
    double decel = std::abs(m_velocity) * 2.0 + 9.0;
    if (m_tracker.is_down() && !m_pressed_row)
        decel *= 5.0;
    if (m_velocity < 0) {
        m_velocity = std::min(0.0, m_velocity + decel * seconds);
        if (m_end_index == m_count && bottom_gap > 0)
            m_velocity = std::min(0.0, m_velocity + (bottom_gap + 1.0) * seconds * 50.0);
    } else if (m_velocity > 0) {
        m_velocity = std::max(0.0, m_velocity - decel * seconds);
        if (m_velocity > 0 && m_before_first == -1 && top_gap > 0)
            m_velocity = std::max(0.0, m_velocity - (top_gap + 1.0) * seconds * 50.0);
    }
}

// A list at rest past one of its ends slides back; the top wins, so a list
// shorter than its viewport rests at the top.
void VirtualList::spring_back(double seconds)
{
    if (m_tracker.is_down() || m_velocity != 0.0 || m_rows.empty())
        return;
    double top_gap = m_offset - m_scroll_border_min;
    double resting_bottom = height() - m_scroll_border_max - m_rows_target_height;
    if (m_before_first == -1 && top_gap >= 0) {
        m_offset = move_toward(m_offset, m_scroll_border_min, spring_speed * seconds);
    } else if (m_end_index == m_count && resting_bottom - m_offset >= 0) {
        m_offset = move_toward(m_offset, resting_bottom, spring_speed * seconds);
    }
}

// ---- Drawing and placement -------------------------------------------------

void VirtualList::draw_content(DrawTarget& target, Point origin)
{
    fill();
    ClipScope clip(target, origin, size());
    int above = static_cast<int>(std::floor(m_offset));
    if (above > 0) {
        ClipScope band(target, origin, {width(), above});
        Element::draw_content(target, origin);
    }
    int rows = static_cast<int>(m_rows_height);
    long long below = static_cast<long long>(height()) - rows - above;
    if (below > 0) {
        ClipScope band(target, {origin.x, origin.y + above + rows}, {width(), static_cast<int>(below)});
        Element::draw_content(target, origin);
    }
    long long y = static_cast<long long>(origin.y) + above;
    for (auto& row : m_rows) {
        int row_height = static_cast<int>(row->height_now());
        if (row_height > 0 && y < origin.y + height() && y + row_height > origin.y) {
            ClipScope row_clip(target, {origin.x, static_cast<int>(y)}, {width(), row_height});
            row->draw(target, {origin.x, static_cast<int>(y)});
        }
        y += row_height;
    }
}

void VirtualList::on_visibility_changed(bool visible, bool effective)
{
    Element::on_visibility_changed(visible, effective);
    for (auto& row : m_rows)
        row->set_visible(effective);
}

void VirtualList::layout_horizontal()
{
    Element::layout_horizontal();
    for (auto& row : m_rows) {
        row->invalidate_measurements();
        place_row(*row);
    }
}

void VirtualList::layout_vertical()
{
    Element::layout_vertical();
    m_refill = true;
    if (height() < m_last_height && m_end_index == m_count)
        m_offset -= m_last_height - height();
    m_last_height = height();
}

void VirtualList::measure_height(MeasuredSize& pair)
{
    Element::measure_height(pair);
    if (!m_grow)
        return;
    fill();
    int borders = saturated_add(m_scroll_border_max, m_scroll_border_min);
    pair.natural = std::max(pair.natural, saturated_add(static_cast<long long>(m_rows_height), borders));
    pair.minimum = std::max(pair.minimum, borders);
    log() << "Desired size=" << pair.natural << "\n";
}

// ---- Pen -------------------------------------------------------------------

int VirtualList::row_top(const ListRow& row) const
{
    long long top = static_cast<long long>(y()) + static_cast<long long>(std::floor(m_offset));
    for (auto& each : m_rows) {
        if (each.get() == &row)
            break;
        top += static_cast<int>(each->height_now());
    }
    return saturated_add(top, 0);
}

ListRow* VirtualList::row_at(int screen_y) const
{
    long long top = static_cast<long long>(y()) + static_cast<long long>(std::floor(m_offset));
    for (auto& row : m_rows) {
        int row_height = static_cast<int>(row->height_now());
        if (row->index() != -1 && top <= screen_y && screen_y < top + row_height)
            return row.get();
        top += row_height;
    }
    return nullptr;
}

Point VirtualList::row_local(const ListRow& row, int screen_x, int screen_y) const
{
    return {screen_x - x(), screen_y - row_top(row)};
}

bool VirtualList::beyond_an_end() const
{
    bool above_top = m_before_first == -1 && m_offset > m_scroll_border_min;
    bool below_end = m_end_index == m_count && (height() - m_rows_height - m_scroll_border_max) - m_offset > 0;
    return above_top || below_end;
}

bool VirtualList::on_stylus(const StylusEvent& event)
{
    bool down = event.down && !event.cancelled;
    if (down) {
        m_tracker.pen_down(event.x, event.y, event.time);
        m_pen_down_point = {event.x, event.y};
        release_pressed_row();
        ListRow* row = m_velocity == 0.0 ? row_at(event.y) : nullptr;
        if (row) {
            m_pressed_row = row;
            Point local = row_local(*row, event.x, event.y);
            m_saved_event = event;
            m_saved_event.x = local.x;
            m_saved_event.y = local.y;
            m_saved_event.down = true;
            m_saved_event.cancelled = false;
            row->on_stylus(m_saved_event);
            apply_row_look(*row);
        }
    } else {
        m_tracker.pen_up(event.x, event.y, event.time);
        if (m_pressed_row) {
            m_velocity = 0.0;
            if (event.cancelled || row_at(event.y) != m_pressed_row)
                release_pressed_row();
        } else {
            m_velocity = beyond_an_end() ? 0.0 : std::clamp(-m_tracker.velocity_y(), -max_speed, max_speed);
        }
        if (ListRow* row = m_pressed_row) {
            if (row->captured()) {
                Point local = row_local(*row, event.x, event.y);
                StylusEvent up = event;
                up.x = local.x;
                up.y = local.y;
                up.down = false;
                m_pressed_row = nullptr;
                row->on_stylus(up);
                if (holds(row))
                    apply_row_look(*row);
            } else {
                // The row is let go before the adapter hears of the tap, which
                // may reset the list and destroy the row.
                int index = row->index();
                release_pressed_row();
                if (m_adapter)
                    m_adapter->on_row_activated(*this, index);
            }
        }
    }
    mark_dirty();
    return true;
}

// Past an end the rows follow the pen less and less: at half the list's
// height beyond the end they stop.
void VirtualList::on_stylus_move(const StylusMove& move)
{
    m_tracker.pen_move(move.x, move.y, move.time);
    if (!m_tracker.is_down() || height() == 0)
        return;
    int dy = m_tracker.last_dy();
    double factor = 1.0;
    double top = m_offset - m_scroll_border_min;
    double bottom = (height() - m_rows_height - m_scroll_border_max) - m_offset;
    if (dy > 0 && m_before_first == -1 && top > 0)
        factor = std::max(0.0, 1.0 - 2.0 * top / height());
    else if (dy < 0 && m_end_index == m_count && bottom > 0)
        factor = std::max(0.0, 1.0 - 2.0 * bottom / height());
    m_offset += dy * factor;
    immediate_clamp();
    m_saved_event.time = move.time;
    if (m_pressed_row && m_pressed_row->captured()) {
        Point local = row_local(*m_pressed_row, move.x, move.y);
        m_pressed_row->on_stylus_move({local.x, local.y, move.time});
    }
    if (m_pressed_row && m_tracker.is_dragging())
        release_pressed_row();
    mark_dirty();
}
