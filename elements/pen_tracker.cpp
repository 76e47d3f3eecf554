#include "elements/pen_tracker.h"

#include <cstdlib>

void PenTracker::pen_down(int x, int y, int time)
{
    m_down_point = {x, y, time};
    m_history.clear();
    m_held = 0.0;
    m_vx = m_vy = 0.0;
    m_down = true;
}

void PenTracker::pen_move(int x, int y, int time)
{
    record(x, y, time);
}

// The speed is taken over the whole remaining history (at most 250 ms), so a
// flick that stopped before the pen was lifted gives little or no speed.
void PenTracker::pen_up(int x, int y, int time)
{
    record(x, y, time);
    m_down = false;
    m_vx = m_vy = 0.0;
    if (m_history.size() < 2)
        return;
    const Point& oldest = m_history.front();
    const Point& newest = m_history.back();
    long long elapsed = static_cast<long long>(newest.time) - oldest.time;
    if (elapsed < min_flick_time)
        return;
    m_vx = static_cast<double>((static_cast<long long>(oldest.x) - newest.x) * 1000 / elapsed);
    m_vy = static_cast<double>((static_cast<long long>(oldest.y) - newest.y) * 1000 / elapsed);
}

void PenTracker::update(double seconds)
{
    if (m_down && !is_dragging())
        m_held += seconds;
}

int PenTracker::last_dx() const
{
    size_t n = m_history.size();
    return n < 2 ? 0 : m_history[n - 1].x - m_history[n - 2].x;
}

int PenTracker::last_dy() const
{
    size_t n = m_history.size();
    return n < 2 ? 0 : m_history[n - 1].y - m_history[n - 2].y;
}

// Small jitter of the pen must not turn a tap into a drag: nothing is
// recorded until the pen has travelled the drag distance on one axis.
void PenTracker::record(int x, int y, int time)
{
    if (!m_down)
        return;
    if (!is_dragging()) {
        long long dx = std::llabs(static_cast<long long>(x) - m_down_point.x);
        long long dy = std::llabs(static_cast<long long>(y) - m_down_point.y);
        if (dx < drag_distance && dy < drag_distance)
            return;
        m_held = -1.0;
    }
    m_history.push_back({x, y, time});
    while (m_history.size() > history_size)
        m_history.pop_front();
    while (static_cast<long long>(m_history.back().time) - m_history.front().time > history_time)
        m_history.pop_front();
}
