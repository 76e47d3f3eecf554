#pragma once
// The animation between two whole screens: the visibility animation of the
// screen being shown or closed, played over two snapshots.

#include <memory>
#include "elements/visibility_animation.h"

class Element;

class ScreenTransition {
public:
    // A transition of the screen's animation kind and speed; null when it has none.
    static std::unique_ptr<ScreenTransition> create_for(const Element& screen);
    // Starts from outgoing towards incoming (direction +1), or back (-1); both are copied.
    void start(const RenderSurface& outgoing, int direction, const RenderSurface& incoming);
    // Advances by the elapsed seconds.
    void advance(double seconds);
    // Draws the current picture at origin with the size of the snapshots.
    void draw(DrawTarget& target, Point origin) const;
    // Whether the animation has reached its end.
    bool is_finished() const { return !m_animation.is_running(); }
    // 0 = the incoming picture hidden, 1 = shown.
    double progress() const { return m_animation.progress(); }
    int direction() const { return m_animation.direction(); }

private:
    explicit ScreenTransition(const VisibilityAnimation& model);

    VisibilityAnimation m_animation;
    Size m_size;
};
