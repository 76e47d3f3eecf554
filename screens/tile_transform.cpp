#include "screens/tile_transform.h"

#include <algorithm>
#include "pixels/render_draw.h"

std::unique_ptr<RenderSurface> turn_clockwise(const PixelBuffer& source)
{
    const int width = source.width(), height = source.height();
    auto turned = std::make_unique<RenderSurface>(Size{height, width});
    PixelBuffer* target = turned->buffer();
    if (!target)
        return nullptr;
    for (int y = 0; y < height; ++y) {
        const Pixel* row = source.row(y);
        const int column = height - 1 - y;
        for (int x = 0; x < width; ++x)
            target->at(column, x) = row[x];
    }
    return turned;
}

std::unique_ptr<RenderSurface> framed_bitmap(const PixelBuffer* bitmap, Size size)
{
    auto tile = std::make_unique<RenderSurface>(size);
    PixelBuffer* target = tile->buffer();
    if (!target)
        return nullptr;
    target->clear(opacity_flag);
    if (!bitmap)
        return tile;
    Size part{std::min(bitmap->width(), size.width), std::min(bitmap->height(), size.height)};
    Point at{(size.width - part.width) / 2, (size.height - part.height) / 2};
    blit(*tile, *bitmap, {0, 0}, part, at, plain_copy_operation());
    return tile;
}
