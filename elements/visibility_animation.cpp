#include "elements/visibility_animation.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include "pixels/render_draw.h"

std::unique_ptr<VisibilityAnimation> VisibilityAnimation::create(StringView kind)
{
    struct Entry {
        const char16_t* name;
        Kind kind;
        double speed;
    };
    static const Entry entries[] = {
        {u"scale", scale, 0.125}, {u"pop", pop, 0.5},   {u"right", right, 0.125}, {u"bottom", bottom, 0.125},
        {u"left", left, 0.125},   {u"top", top, 0.125}, {u"flip", flip, 0.5},
    };
    for (const Entry& entry : entries)
        if (kind == entry.name)
            return std::make_unique<VisibilityAnimation>(entry.kind, entry.speed);
    return nullptr;
}

VisibilityAnimation::VisibilityAnimation(Kind kind, double speed) : m_kind(kind), m_speed(speed) {}

void VisibilityAnimation::start(RenderSurface& previous, RenderSurface& image, int direction)
{
    m_previous.adopt(previous.detach());
    m_image.adopt(image.detach());
    m_direction = direction > 0 ? 1 : -1;
    m_t = m_direction > 0 ? 0.0 : 1.0;
}

void VisibilityAnimation::reverse()
{
    m_direction = -m_direction;
}

// The snapshots are released as soon as the animation ends; they are the
// size of the element and would otherwise stay allocated.
void VisibilityAnimation::update(double seconds)
{
    if (!is_running())
        return;
    m_t += m_direction * m_speed * seconds * 5.0;
    bool ended = (m_direction > 0 && m_t >= 1.0) || (m_direction < 0 && m_t <= 0.0);
    if (!ended)
        return;
    m_t = m_direction > 0 ? 1.0 : 0.0;
    m_direction = 0;
    m_previous.recreate({0, 0});
    m_image.recreate({0, 0});
}

void VisibilityAnimation::draw(DrawTarget& target, Point origin, Size size) const
{
    switch (m_kind) {
    case scale:
        draw_scaled(target, origin, size, m_t, m_t);
        break;
    case pop: {
        double f = 1.0 - std::cos(1.5 * std::numbers::pi * m_t) / (m_t + 1.0);
        draw_scaled(target, origin, size, f, f);
        break;
    }
    case flip:
        // A fold about the vertical centre line: the image opens from a line
        // to its full width as t goes from 0 to 1.
        draw_scaled(target, origin, size, (1.0 - std::cos(std::numbers::pi * m_t)) / 2.0, 1.0);
        break;
    default:
        draw_slide(target, origin, size);
        break;
    }
}

void VisibilityAnimation::draw_scaled(DrawTarget& target, Point origin, Size size, double fx, double fy) const
{
    if (m_previous.buffer())
        draw_surface(target, m_previous, origin, plain_copy_operation());
    const PixelBuffer* image = m_image.buffer();
    if (!image)
        return;
    auto scaled = [](int length, double factor) {
        return static_cast<int>(std::clamp(length * factor, 0.0, 4.0 * length));
    };
    Size scaled_size{scaled(size.width, fx), scaled(size.height, fy)};
    if (scaled_size.width <= 0 || scaled_size.height <= 0)
        return;
    Point at{origin.x + (size.width - scaled_size.width) / 2, origin.y + (size.height - scaled_size.height) / 2};
    scaled_blit(target, *image, image->bounds(), Rect::of(at, scaled_size), alpha_operation(0));
}

// The image pushes the previous picture out of the element's rectangle.
void VisibilityAnimation::draw_slide(DrawTarget& target, Point origin, Size size) const
{
    ClipScope clip(target, origin, size);
    bool horizontal = m_kind == right || m_kind == left;
    int length = horizontal ? size.width : size.height;
    int sign = (m_kind == right || m_kind == bottom) ? 1 : -1;
    int b = static_cast<int>((1.0 - m_t) * sign * length);
    int previous_at = b - sign * length;
    auto moved = [&](int by) { return horizontal ? Point{origin.x + by, origin.y} : Point{origin.x, origin.y + by}; };
    if (m_previous.buffer())
        draw_surface(target, m_previous, moved(previous_at), plain_copy_operation());
    if (m_image.buffer())
        draw_surface(target, m_image, moved(b), alpha_operation(0));
}
