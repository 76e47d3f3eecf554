#include "library/orientation.h"

#include <algorithm>
#include "pixels/render_surface.h"

Orientation orientation_from_tag(int value)
{
    return value >= 1 && value <= 8 ? static_cast<Orientation>(value) : Orientation::upright;
}

bool swaps_axes(Orientation orientation)
{
    return static_cast<int>(orientation) >= static_cast<int>(Orientation::transposed);
}

Size displayed_size(Size stored, Orientation orientation)
{
    return swaps_axes(orientation) ? Size{stored.height, stored.width} : stored;
}

namespace {

// Every orientation is an exchange of the axes (for the 90-degree ones)
// followed by mirroring the result across or down: 6, for one, shows the
// stored first row along the right edge and the stored first column along
// the top.
struct Steps {
    bool exchange;
    bool mirror_across;
    bool mirror_down;
};

Steps steps_of(Orientation orientation)
{
    static constexpr Steps steps[9] = {{false, false, false}, {false, false, false}, {false, true, false},
                                       {false, true, true},   {false, false, true},  {true, false, false},
                                       {true, true, false},   {true, true, true},    {true, false, true}};
    return steps[static_cast<int>(orientation)];
}

Point mirrored(Point point, Size shown, const Steps& steps)
{
    return {steps.mirror_across ? shown.width - 1 - point.x : point.x,
            steps.mirror_down ? shown.height - 1 - point.y : point.y};
}

}  // namespace

Point displayed_point(Point point, Size stored, Orientation orientation)
{
    const Steps steps = steps_of(orientation);
    const Point exchanged = steps.exchange ? Point{point.y, point.x} : point;
    return mirrored(exchanged, displayed_size(stored, orientation), steps);
}

Point stored_point(Point point, Size stored, Orientation orientation)
{
    const Steps steps = steps_of(orientation);
    const Point unmirrored = mirrored(point, displayed_size(stored, orientation), steps);
    return steps.exchange ? Point{unmirrored.y, unmirrored.x} : unmirrored;
}

Rect stored_rect(Rect displayed, Size stored, Orientation orientation)
{
    const Point a = stored_point({displayed.left, displayed.top}, stored, orientation);
    const Point b = stored_point({displayed.right - 1, displayed.bottom - 1}, stored, orientation);
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1, std::max(a.y, b.y) + 1};
}

// The map is affine, so the target position walks by a fixed step per stored
// column and per stored row. A turned copy writes each stored row down a
// target column; going block by block keeps the rows and columns it touches
// in the cache.
void copy_oriented(const PixelBuffer& source, Point source_origin, Rect part, Size stored, Orientation orientation,
                   PixelBuffer& target, Point target_origin)
{
    constexpr int block = 32;
    if (part.right <= part.left || part.bottom <= part.top)
        return;
    const Point start = displayed_point({part.left, part.top}, stored, orientation);
    const Point next_column = displayed_point({part.left + 1, part.top}, stored, orientation);
    const Point next_row = displayed_point({part.left, part.top + 1}, stored, orientation);
    const int column_dx = next_column.x - start.x, column_dy = next_column.y - start.y;
    const int row_dx = next_row.x - start.x, row_dy = next_row.y - start.y;
    for (int block_top = part.top; block_top < part.bottom; block_top += block)
        for (int block_left = part.left; block_left < part.right; block_left += block) {
            const int block_bottom = std::min(block_top + block, part.bottom);
            const int block_right = std::min(block_left + block, part.right);
            for (int y = block_top; y < block_bottom; ++y) {
                const Pixel* row = source.row(y - source_origin.y);
                const int down = y - part.top, across = block_left - part.left;
                int tx = start.x + row_dx * down + column_dx * across - target_origin.x;
                int ty = start.y + row_dy * down + column_dy * across - target_origin.y;
                for (int x = block_left; x < block_right; ++x) {
                    target.at(tx, ty) = row[x - source_origin.x];
                    tx += column_dx;
                    ty += column_dy;
                }
            }
        }
}

std::unique_ptr<RenderSurface> oriented_copy(const PixelBuffer& source, Orientation orientation)
{
    auto result = std::make_unique<RenderSurface>(displayed_size(source.size(), orientation));
    if (!result->buffer())
        return nullptr;
    copy_oriented(source, {0, 0}, source.bounds(), source.size(), orientation, *result->buffer(), {0, 0});
    return result;
}
