#include "pixels/render_surface.h"

#include <atomic>
#include "platform/log.h"

namespace {

// Pixels of every live surface; surfaces may be made on worker threads.
std::atomic<std::int64_t> live_pixels{0};

std::int64_t pixels_of(const PixelBuffer* buffer)
{
    return buffer ? std::int64_t(buffer->width()) * buffer->height() : 0;
}

const char* const clip_message = "Clip is in effect, cannot resize";

}  // namespace

DrawTarget::DrawTarget(PixelBuffer* buffer)
{
    reset_buffer(buffer);
}

void DrawTarget::reset_buffer(PixelBuffer* buffer)
{
    m_buffer = buffer;
    m_clip = buffer ? buffer->bounds() : Rect{};
}

ClipScope::ClipScope(DrawTarget& target, Point position, Size size) : m_target(target), m_saved(target.m_clip)
{
    target.m_clip = intersect(target.m_clip, Rect::of(position, size));
    ++target.m_clip_depth;
}

ClipScope::~ClipScope()
{
    m_target.m_clip = m_saved;
    --m_target.m_clip_depth;
}

RenderSurface::RenderSurface() = default;

RenderSurface::RenderSurface(Size size)
{
    if (size.width > 0 && size.height > 0)
        take(PixelBuffer::create(size.width, size.height));
}

RenderSurface::~RenderSurface()
{
    live_pixels -= pixels_of(m_owned.get());
}

bool RenderSurface::recreate(Size size)
{
    if (size == this->size())
        return false;
    if (clip_in_effect())
        fatal_error(clip_message, "RenderSurface::recreate");
    // The old buffer goes first so that both never need memory at once.
    take(nullptr);
    if (size.width > 0 && size.height > 0)
        take(PixelBuffer::create(size.width, size.height));
    return true;
}

void RenderSurface::adopt(std::unique_ptr<PixelBuffer> buffer)
{
    if (clip_in_effect())
        fatal_error(clip_message, "RenderSurface::adopt");
    take(std::move(buffer));
}

std::unique_ptr<PixelBuffer> RenderSurface::detach()
{
    if (clip_in_effect())
        fatal_error(clip_message, "RenderSurface::detach");
    live_pixels -= pixels_of(m_owned.get());
    std::unique_ptr<PixelBuffer> buffer = std::move(m_owned);
    reset_buffer(nullptr);
    return buffer;
}

Size RenderSurface::size() const
{
    return m_owned ? m_owned->size() : Size{};
}

std::int64_t RenderSurface::live_pixel_count()
{
    return live_pixels.load();
}

void RenderSurface::take(std::unique_ptr<PixelBuffer> buffer)
{
    live_pixels -= pixels_of(m_owned.get());
    m_owned = std::move(buffer);
    live_pixels += pixels_of(m_owned.get());
    reset_buffer(m_owned.get());
}
