#include "display/frame_copy.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include "platform/window_system.h"

void copy_frame(const PixelBuffer& from, PixelBuffer& to)
{
    int width = std::min(from.width(), to.width());
    int height = std::min(from.height(), to.height());
    for (int y = 0; y < height; ++y)
        std::memcpy(to.row(y), from.row(y), static_cast<std::size_t>(width) * sizeof(Pixel));
}

bool rotate_copy(const PixelBuffer& logical, PixelBuffer& physical, int quarter_turns)
{
    const int turns = quarter_turns & 3;
    const int width = physical.width();
    const int height = physical.height();
    const bool odd = (turns & 1) != 0;
    if (logical.width() != (odd ? height : width) || logical.height() != (odd ? width : height))
        return false;
    if (turns == 0) {
        copy_frame(logical, physical);
        return true;
    }
    const Pixel* source = logical.row(0);
    const std::ptrdiff_t stride = logical.pitch() / 2;
    // Walk the physical rows so the writes are sequential. Along a physical row
    // the logical position moves by a constant step, found from its first two pixels.
    for (int y = 0; y < height; ++y) {
        int x0 = 0, y0 = y, x1 = 1, y1 = y;
        physical_to_logical(turns, width, height, x0, y0);
        physical_to_logical(turns, width, height, x1, y1);
        const std::ptrdiff_t step = (x1 - x0) + (y1 - y0) * stride;
        std::ptrdiff_t offset = x0 + y0 * stride;
        Pixel* out = physical.row(y);
        for (int x = 0; x < width; ++x, offset += step)
            out[x] = source[offset];
    }
    return true;
}
