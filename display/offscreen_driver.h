#pragma once
// The offscreen driver: a plain RGB565 buffer in memory, for runs without a
// screen; its last frame can be saved as a picture.

#include <memory>
#include "display/display_driver.h"

class OffscreenDriver : public DisplayDriver {
public:
    // A buffer of width x height.
    OffscreenDriver(int width, int height);

    const char* name() const override { return "offscreen"; }
    bool open(DisplayParameters& parameters) override;
    PresentMode present_mode() const override { return PresentMode::copy; }
    PixelBuffer* begin_frame() override { return m_drawing.get(); }
    // Copies the drawn frame to the shown one, so a saved frame is always whole.
    void present() override;
    const PixelBuffer* shown_frame() const override { return m_shown.get(); }

private:
    int m_width;
    int m_height;
    std::unique_ptr<PixelBuffer> m_drawing;
    std::unique_ptr<PixelBuffer> m_shown;
};
