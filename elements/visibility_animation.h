#pragma once
// Show and hide animations of an element: the element's own image (and the
// picture it replaces) drawn scaled, popped, slid or folded by progress t.

#include <memory>
#include "pixels/render_surface.h"
#include "platform/text.h"

class VisibilityAnimation {
public:
    enum Kind { scale, pop, right, bottom, left, top, flip };

    // The animation named by kind ("scale", "pop", "right", "bottom", "left",
    // "top", "flip"), or null for any other name.
    static std::unique_ptr<VisibilityAnimation> create(StringView kind);
    VisibilityAnimation(Kind kind, double speed);

    // Starts with direction +1 (show) or -1 (hide), taking both snapshots by
    // exchange: the givers are left empty.
    void start(RenderSurface& previous, RenderSurface& image, int direction);
    // Runs the other way from the current progress.
    void reverse();
    // Advances t by direction x speed x seconds x 5; ends at 0 or 1.
    void update(double seconds);
    // Draws the animation frame into (origin, size).
    void draw(DrawTarget& target, Point origin, Size size) const;

    bool is_running() const { return m_direction != 0; }
    Kind kind() const { return m_kind; }
    // 0 = hidden, 1 = shown.
    double progress() const { return m_t; }
    // +1 showing, -1 hiding, 0 idle.
    int direction() const { return m_direction; }
    double speed() const { return m_speed; }

private:
    void draw_scaled(DrawTarget& target, Point origin, Size size, double fx, double fy) const;
    void draw_slide(DrawTarget& target, Point origin, Size size) const;

    Kind m_kind;
    double m_t = 1.0;
    int m_direction = 0;
    double m_speed;
    RenderSurface m_previous;
    RenderSurface m_image;
};
