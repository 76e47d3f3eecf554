#pragma once
// RGB rows of the JPEG layer into RGB565 surfaces.

#include <cstdint>
#include "pixels/pixel_types.h"

// Converts count RGB888 pixels (3 bytes each) to RGB565.
inline void rgb_to_pixels(const std::uint8_t* rgb, Pixel* out, int count)
{
    for (int x = 0; x < count; ++x, rgb += 3)
        out[x] = rgb_to_pixel(rgb[0], rgb[1], rgb[2]);
}
