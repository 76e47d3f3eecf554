#pragma once
// The window-mode frame surface: a 16-bit buffer of the client size that the
// frame is drawn into and then copied to the window.

#include <memory>
#include "display/sdl_texture.h"
#include "pixels/pixel_buffer.h"
#include "platform/window_system.h"

class PaintSurface {
public:
    // A surface of width x height; null when the size is not positive or memory is short.
    static std::unique_ptr<PaintSurface> create(int width, int height);

    int width() const { return m_pixels->width(); }
    int height() const { return m_pixels->height(); }
    // The pixels to draw into (rows top-down, padded to 4 bytes).
    PixelBuffer& pixels() { return *m_pixels; }
    const PixelBuffer& pixels() const { return *m_pixels; }
    // Copies the whole surface to the window's top-left corner, turned as the window is.
    // The window system must outlive the surface.
    void copy_to_window(WindowSystem& windows, WindowId window);

private:
    explicit PaintSurface(std::unique_ptr<PixelBuffer> pixels);

    std::unique_ptr<PixelBuffer> m_pixels;
    std::unique_ptr<SdlTexture> m_texture;
};
