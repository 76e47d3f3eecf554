#pragma once
// What every display driver offers the Display: open for wanted parameters,
// hand out its frame buffer for a frame, show the frame.

#include <memory>
#include "pixels/pixel_buffer.h"

// Width, height, orientation (0-3 for 0, 90, 180, 270 degrees) and swap effect,
// wanted on the way in, delivered on the way out.
struct DisplayParameters {
    int width = 0;
    int height = 0;
    int orientation = 0;
    // 0 default (becomes 1), 1 discard (back buffer undefined after present), 2 copy.
    int swap_effect = 1;
};

// How a driver presents: not at all (its buffer is the screen), discarding or
// keeping what was drawn.
enum class PresentMode { none, discard, copy };

class DisplayDriver {
public:
    virtual ~DisplayDriver() = default;

    // Short name for diagnostics ("sdl", "fb", "offscreen", "rotating").
    virtual const char* name() const = 0;
    // Orientation of the driver's own pixels.
    virtual int native_orientation() const { return 0; }
    // Prepares the output; sets width, height and orientation to what it delivers.
    virtual bool open(DisplayParameters& parameters) = 0;
    // How present treats the frame buffer.
    virtual PresentMode present_mode() const = 0;
    // The frame buffer to draw this frame into; null when it cannot be reached.
    virtual PixelBuffer* begin_frame() = 0;
    // Shows what was drawn since begin_frame.
    virtual void present() = 0;
    // Stops and restarts output while the program is in the background.
    virtual void suspend() {}
    virtual void resume() {}
    // The pixels as last shown, unturned; null when the driver cannot read them back.
    virtual const PixelBuffer* shown_frame() const { return nullptr; }
};
