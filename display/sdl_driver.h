#pragma once
// The window-system driver: an RGB565 streaming texture of the window's
// client size on the window's SDL renderer.

#include <memory>
#include "display/display_driver.h"
#include "display/sdl_texture.h"
#include "platform/window_system.h"

class SdlDriver : public DisplayDriver {
public:
    SdlDriver(WindowSystem& windows, WindowId window);

    const char* name() const override { return "sdl"; }
    bool open(DisplayParameters& parameters) override;
    PresentMode present_mode() const override { return PresentMode::discard; }
    PixelBuffer* begin_frame() override;
    void present() override;

private:
    WindowSystem& m_windows;
    WindowId m_window;
    std::unique_ptr<SdlTexture> m_texture;
};
