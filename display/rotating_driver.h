#pragma once
// The rotating driver: the program draws into a buffer of the wanted
// orientation; presenting turns it onto the wrapped driver's frame buffer.

#include <memory>
#include "display/display_driver.h"

class RotatingDriver : public DisplayDriver {
public:
    // Wraps inner so that the frame is delivered in orientation wanted_orientation.
    RotatingDriver(std::unique_ptr<DisplayDriver> inner, int wanted_orientation);

    const char* name() const override { return "rotating"; }
    int native_orientation() const override { return m_orientation; }
    bool open(DisplayParameters& parameters) override;
    PresentMode present_mode() const override { return PresentMode::copy; }
    PixelBuffer* begin_frame() override { return m_logical.get(); }
    // Turns the frame onto the inner driver's buffer and lets it show it.
    void present() override;
    void suspend() override { m_inner->suspend(); }
    void resume() override { m_inner->resume(); }
    const PixelBuffer* shown_frame() const override { return m_inner->shown_frame(); }

private:
    std::unique_ptr<DisplayDriver> m_inner;
    int m_orientation;
    // Quarter turns from the inner driver's orientation to the wanted one.
    int m_turns;
    std::unique_ptr<PixelBuffer> m_logical;
};
