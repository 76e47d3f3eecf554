#pragma once
// Pixel work on tiles that the viewer's tile worker does before handing
// them over: turning for landscape and framing placeholder bitmaps.

#include <memory>
#include "pixels/render_surface.h"

// The buffer turned by 90 degrees clockwise: source pixel (x, y) goes to
// (height - 1 - y, x) of a height x width result; null when memory is short.
std::unique_ptr<RenderSurface> turn_clockwise(const PixelBuffer& source);
// A tile of size filled with black, with bitmap (when there is one) centred on it.
std::unique_ptr<RenderSurface> framed_bitmap(const PixelBuffer* bitmap, Size size);
