#pragma once
// Pen velocity tracker: tells a tap from a drag and measures the speed of
// a flick from the recent pen points.

#include <deque>

class PenTracker {
public:
    // Starts a new gesture at a pen-down point.
    void pen_down(int x, int y, int time);
    // Records a pen move (recorded only once the pen left the tap zone).
    void pen_move(int x, int y, int time);
    // Ends the gesture and computes the flick velocity.
    void pen_up(int x, int y, int time);
    // Advances the held time while the pen rests.
    void update(double seconds);

    // Whether the pen is down.
    bool is_down() const { return m_down; }
    // Whether the pen has left the tap zone during this gesture.
    bool is_dragging() const { return m_held < 0.0; }
    // Seconds the pen rested without dragging, or -1 once dragging.
    double held() const { return m_held; }
    // Movement between the last two recorded points (0 with fewer than two).
    int last_dx() const;
    int last_dy() const;
    // Velocity of the last flick in pixels per second.
    double velocity_x() const { return m_vx; }
    double velocity_y() const { return m_vy; }

    // Movement needed in x or y before a gesture counts as a drag.
    static constexpr int drag_distance = 10;
    // Points older than this before the newest are dropped (milliseconds).
    static constexpr int history_time = 250;
    // At most this many points are kept.
    static constexpr int history_size = 25;
    // A flick shorter than this gives no velocity (milliseconds).
    static constexpr int min_flick_time = 50;

private:
    struct Point {
        int x, y, time;
    };
    void record(int x, int y, int time);

    Point m_down_point{0, 0, 0};
    double m_held = 0.0;
    std::deque<Point> m_history;
    bool m_down = false;
    double m_vx = 0.0;
    double m_vy = 0.0;
};
