#include "skin/skin_picture.h"

#include <algorithm>

SkinPicture SkinPicture::whole(std::shared_ptr<SkinBitmap> bitmap)
{
    SkinPicture picture;
    const Size size = bitmap->size();
    picture.inner_bottom_right = {size.width, size.height};
    picture.size_corner = {size.width, size.height};
    picture.bitmap = std::move(bitmap);
    return picture;
}

bool SkinPicture::operator==(const SkinPicture& other) const
{
    return origin == other.origin && inner_top_left == other.inner_top_left &&
           inner_bottom_right == other.inner_bottom_right && size_corner == other.size_corner &&
           bitmap == other.bitmap && scale_shift == other.scale_shift;
}

namespace {

// Shrinks head and tail to fit a destination no longer than both together.
void fit_fixed_parts(PictureAxis& axis, std::int32_t length, std::int32_t head, std::int32_t tail, std::int32_t s3)
{
    const std::int32_t half = length / 2;
    std::int32_t m = (length - 1) / 2;
    if (head < half)
        m += half - head;
    axis.tail_length = std::min(tail, m);
    axis.tail_source = s3 - axis.tail_length;
    axis.head_length = std::min(head, half);
    if (tail < m)
        axis.head_length += m - tail;
}

// Drops g pixels from the start of the axis (the destination begins before the clip).
void clip_near(PictureAxis& axis, std::int32_t g, std::int32_t middle_width)
{
    axis.start += g;
    if (g < axis.head_length) {
        axis.head_length -= g;
        axis.head_source += g;
        return;
    }
    const std::int32_t g2 = g - axis.head_length;
    axis.head_length = 0;
    if (g2 < axis.middle_length) {
        axis.middle_length -= g2;
        axis.middle_phase = middle_width > 0 ? g2 % middle_width : 0;
        return;
    }
    const std::int32_t g3 = g2 - axis.middle_length;
    axis.middle_length = 0;
    if (g3 >= axis.tail_length) {
        axis.tail_length = 0;
        axis.visible = false;
        return;
    }
    axis.tail_length -= g3;
    axis.tail_source += g3;
}

// Drops e pixels from the end: tail first, then middle, then head.
void clip_far(PictureAxis& axis, std::int32_t e)
{
    for (std::int32_t* part : {&axis.tail_length, &axis.middle_length, &axis.head_length}) {
        const std::int32_t taken = std::min(e, *part);
        *part -= taken;
        e -= taken;
    }
}

}  // namespace

PictureAxis split_picture_axis(std::int32_t p, std::int32_t length, std::int32_t s0, std::int32_t s1, std::int32_t s2,
                               std::int32_t s3, std::int32_t cmin, std::int32_t cmax)
{
    PictureAxis axis;
    if (length <= 0 || cmin >= cmax || p >= cmax || std::int64_t(p) + length <= cmin)
        return axis;
    axis.visible = true;
    axis.start = p;
    const std::int32_t head = s1 - s0;
    const std::int32_t tail = s3 - s2;
    if (head + tail < length) {
        axis.head_length = head;
        axis.tail_length = tail;
        axis.tail_source = s2;
    } else {
        fit_fixed_parts(axis, length, head, tail, s3);
    }
    axis.middle_length = length - axis.head_length - axis.tail_length;
    axis.head_source = s0;
    if (p < cmin)
        clip_near(axis, cmin - p, s2 - s1);
    if (axis.visible && axis.start + axis.length() > cmax)
        clip_far(axis, axis.start + axis.length() - cmax);
    axis.visible = axis.visible && axis.length() > 0;
    return axis;
}

namespace {

// Corners in order and inside the bitmap: a damaged skin must not make the
// drawing read outside it.
bool corners_fit(const SkinPicture& picture, const PixelBuffer& pixels)
{
    const int shift = picture.scale_shift;
    if (shift < 0 || shift > 4)
        return false;
    const auto ordered = [](std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
        return 0 <= a && a <= b && b <= c && c <= d;
    };
    return ordered(picture.origin.x, picture.inner_top_left.x, picture.inner_bottom_right.x, picture.size_corner.x) &&
           ordered(picture.origin.y, picture.inner_top_left.y, picture.inner_bottom_right.y, picture.size_corner.y) &&
           std::int64_t(picture.size_corner.x) <= std::int64_t(pixels.width()) << shift &&
           std::int64_t(picture.size_corner.y) <= std::int64_t(pixels.height()) << shift;
}

// Composes one destination row: head, repeated middle, tail. A zero-wide
// middle has nothing to repeat, so its columns are left as they are.
void draw_row(Pixel* dst, const Pixel* src_row, const PictureAxis& x, const SkinPicture& picture,
              const RowOperation& operation)
{
    const int shift = picture.scale_shift;
    const std::int32_t wrap_start = picture.inner_top_left.x;
    const std::int32_t wrap_end = picture.inner_bottom_right.x;
    operation.doubled_copy(dst, src_row, x.head_source, x.head_length, shift);
    dst += x.head_length;
    if (wrap_end > wrap_start)
        operation.repeated_copy(dst, src_row, wrap_start + x.middle_phase, x.middle_length, shift, wrap_start,
                                wrap_end);
    dst += x.middle_length;
    operation.doubled_copy(dst, src_row, x.tail_source, x.tail_length, shift);
}

}  // namespace

void draw_picture(DrawTarget& target, Point position, Size size, const SkinPicture& picture,
                  const RowOperation& operation)
{
    PixelBuffer* buffer = target.buffer();
    const PixelBuffer* pixels = picture.bitmap ? picture.bitmap->pixels() : nullptr;
    if (!buffer || !pixels || !corners_fit(picture, *pixels))
        return;
    const Rect clip = intersect(target.clip(), buffer->bounds());
    const PictureAxis x =
        split_picture_axis(position.x, size.width, picture.origin.x, picture.inner_top_left.x,
                           picture.inner_bottom_right.x, picture.size_corner.x, clip.left, clip.right);
    const PictureAxis y =
        split_picture_axis(position.y, size.height, picture.origin.y, picture.inner_top_left.y,
                           picture.inner_bottom_right.y, picture.size_corner.y, clip.top, clip.bottom);
    if (!x.visible || !y.visible)
        return;
    const int shift = picture.scale_shift;
    const auto draw = [&](std::int32_t dst_y, std::int32_t src_y) {
        draw_row(buffer->row(dst_y) + x.start, pixels->row(src_y >> shift), x, picture, operation);
    };
    std::int32_t dst_y = y.start;
    for (std::int32_t i = 0; i < y.head_length; ++i)
        draw(dst_y++, y.head_source + i);
    const std::int32_t wrap_start = picture.inner_top_left.y;
    const std::int32_t wrap_end = picture.inner_bottom_right.y;
    if (wrap_end > wrap_start) {
        std::int32_t row = wrap_start + y.middle_phase;
        for (std::int32_t i = 0; i < y.middle_length; ++i) {
            draw(dst_y++, row);
            row = row + 1 == wrap_end ? wrap_start : row + 1;
        }
    } else {
        dst_y += y.middle_length;
    }
    for (std::int32_t i = 0; i < y.tail_length; ++i)
        draw(dst_y++, y.tail_source + i);
}
