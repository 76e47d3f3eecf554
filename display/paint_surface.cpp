#include "display/paint_surface.h"

#include <utility>
#include "display/frame_copy.h"

std::unique_ptr<PaintSurface> PaintSurface::create(int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    std::unique_ptr<PixelBuffer> pixels = PixelBuffer::create(width, height);
    if (!pixels)
        return nullptr;
    pixels->clear(0);
    return std::unique_ptr<PaintSurface>(new PaintSurface(std::move(pixels)));
}

PaintSurface::PaintSurface(std::unique_ptr<PixelBuffer> pixels) : m_pixels(std::move(pixels)) {}

void PaintSurface::copy_to_window(WindowSystem& windows, WindowId window)
{
    int orientation = windows.options().orientation & 3;
    int width = m_pixels->width();
    int height = m_pixels->height();
    if (orientation & 1)
        std::swap(width, height);
    if (!m_texture || m_texture->width() != width || m_texture->height() != height) {
        m_texture.reset();
        SDL_Renderer* renderer = windows.renderer(window);
        if (renderer == nullptr)
            return;
        m_texture = std::make_unique<SdlTexture>(renderer, width, height);
    }
    PixelBuffer* target = m_texture->lock();
    if (target == nullptr)
        return;
    rotate_copy(*m_pixels, *target, orientation);
    m_texture->show();
}
