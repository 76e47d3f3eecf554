#pragma once
// A drawable piece of a skin bitmap: fixed borders around a repeated middle.

#include <cstdint>
#include <memory>
#include "pixels/render_surface.h"
#include "pixels/row_operation.h"
#include "skin/skin_bitmap.h"

struct SkinPicture {
    Point origin;  // outer top-left
    Point inner_top_left;
    Point inner_bottom_right;
    Point size_corner;  // outer bottom-right, exclusive
    std::shared_ptr<SkinBitmap> bitmap = SkinBitmap::empty();
    int scale_shift = 0;  // the shift the corners were scaled by
    bool flag = false;

    // The picture covering the whole bitmap, shift 0, flag false.
    static SkinPicture whole(std::shared_ptr<SkinBitmap> bitmap);
    // Outer size: size corner minus origin.
    Size size() const { return {size_corner.x - origin.x, size_corner.y - origin.y}; }
    // Same corners, same bitmap object and same shift (the flag is not compared).
    bool operator==(const SkinPicture& other) const;
};

// Draws picture into (position, size): fixed head and tail, repeated middle,
// each source index shifted right by the picture's scale shift.
void draw_picture(DrawTarget& target, Point position, Size size, const SkinPicture& picture,
                  const RowOperation& operation);

// One axis of the split, as computed for drawing (exposed for tests).
struct PictureAxis {
    std::int32_t start = 0;  // first destination pixel drawn
    std::int32_t head_length = 0;
    std::int32_t head_source = 0;
    std::int32_t middle_length = 0;
    std::int32_t middle_phase = 0;
    std::int32_t tail_length = 0;
    std::int32_t tail_source = 0;
    bool visible = false;  // false: nothing to draw on this axis

    std::int32_t length() const { return head_length + middle_length + tail_length; }
};

// Splits destination [p, p + length) over source corners s0..s3 within clip [cmin, cmax).
PictureAxis split_picture_axis(std::int32_t p, std::int32_t length, std::int32_t s0, std::int32_t s1, std::int32_t s2,
                               std::int32_t s3, std::int32_t cmin, std::int32_t cmax);
