// Screen transitions over snapshot copies.

#include "shell/screen_transition.h"

#include <algorithm>
#include "elements/element.h"
#include "pixels/render_draw.h"

namespace {

// Makes copy a copy of surface (the animation takes its pictures by exchange,
// and the caller keeps its own).
void copy_into(RenderSurface& copy, const RenderSurface& surface)
{
    copy.recreate(surface.size());
    if (copy.buffer() && surface.buffer())
        draw_surface(copy, surface, {0, 0}, plain_copy_operation());
}

}  // namespace

std::unique_ptr<ScreenTransition> ScreenTransition::create_for(const Element& screen)
{
    const VisibilityAnimation* animation = screen.visibility_animation();
    if (!animation)
        return nullptr;
    return std::unique_ptr<ScreenTransition>(new ScreenTransition(*animation));
}

ScreenTransition::ScreenTransition(const VisibilityAnimation& model) : m_animation(model.kind(), model.speed()) {}

void ScreenTransition::start(const RenderSurface& outgoing, int direction, const RenderSurface& incoming)
{
    RenderSurface previous;
    RenderSurface image;
    copy_into(previous, outgoing);
    copy_into(image, incoming);
    const Size a = outgoing.size();
    const Size b = incoming.size();
    m_size = {std::max(a.width, b.width), std::max(a.height, b.height)};
    m_animation.start(previous, image, direction);
}

void ScreenTransition::advance(double seconds)
{
    m_animation.update(seconds);
}

void ScreenTransition::draw(DrawTarget& target, Point origin) const
{
    m_animation.draw(target, origin, m_size);
}
