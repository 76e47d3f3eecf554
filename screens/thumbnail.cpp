#include "screens/thumbnail.h"

#include <algorithm>

#include "library/photo_library.h"
#include "library/preview_file.h"
#include "pixels/render_draw.h"

namespace {

// The frame's translucent edges are drawn by the half-translucent copy.
constexpr int frame_alpha = 128;
// The opacity flag of a pixel (the lowest green bit).
constexpr Pixel opaque_bit = 0x0020;

// The weighted mean of two RGB565 pixels, weight of b in 1/256.
Pixel mix(Pixel a, Pixel b, unsigned weight)
{
    const unsigned r = ((a >> 11) * (256 - weight) + (b >> 11) * weight) >> 8;
    const unsigned g = (((a >> 5) & 63) * (256 - weight) + ((b >> 5) & 63) * weight) >> 8;
    const unsigned bl = ((a & 31) * (256 - weight) + (b & 31) * weight) >> 8;
    return static_cast<Pixel>((r << 11) | (g << 5) | bl);
}

// The source position (8 fractional bits) of destination pixel i when
// source_length pixels stretch over target_length, pixel centres aligned.
int source_position(int i, int source_length, int target_length)
{
    const long long position = ((2LL * i + 1) * source_length * 256) / (2LL * target_length) - 128;
    return static_cast<int>(std::clamp<long long>(position, 0, (source_length - 1) * 256LL));
}

// Stretches source over target with bilinear filtering (a 64-pixel
// thumbnail grows to twice its size on a 192-dpi screen); every pixel is
// made opaque, so the translucent copy that draws the frame leaves the
// picture's colours as they are.
void stretch_smooth(const PixelBuffer& source, PixelBuffer& target)
{
    const int sw = source.width();
    const int sh = source.height();
    for (int y = 0; y < target.height(); ++y) {
        const int sy = source_position(y, sh, target.height());
        const Pixel* top = source.row(sy >> 8);
        const Pixel* bottom = source.row(std::min((sy >> 8) + 1, sh - 1));
        Pixel* out = target.row(y);
        for (int x = 0; x < target.width(); ++x) {
            const int sx = source_position(x, sw, target.width());
            const int left = sx >> 8;
            const int right = std::min(left + 1, sw - 1);
            const Pixel upper = mix(top[left], top[right], sx & 255);
            const Pixel lower = mix(bottom[left], bottom[right], sx & 255);
            out[x] = mix(upper, lower, sy & 255) | opaque_bit;
        }
    }
}

}  // namespace

ThumbnailState make_framed_thumbnail(StringView picture, StringView root, const SkinPicture& frame, Size size,
                                     SkinPicture& result)
{
    const String preview = preview_path(picture, root);
    if (preview.empty() || PhotoLibrary::is_bad_preview(preview))
        return ThumbnailState::bad;
    if (!is_preview_ready(picture, root))
        return ThumbnailState::pending;
    std::unique_ptr<RenderSurface> thumbnail = load_thumbnail(picture, root);
    if (!thumbnail || !thumbnail->buffer() || size.width <= 0 || size.height <= 0)
        return ThumbnailState::bad;
    RenderSurface framed(size);
    if (!framed.buffer())
        return ThumbnailState::bad;
    stretch_smooth(*thumbnail->buffer(), *framed.buffer());
    draw_picture(framed, Point{0, 0}, size, frame, operation_for_alpha(frame_alpha));
    // The frame's translucent edges leave pixels without the flag: the
    // thumbnail as a whole is opaque wherever it is drawn.
    PixelBuffer& pixels = *framed.buffer();
    for (int y = 0; y < pixels.height(); ++y) {
        Pixel* row = pixels.row(y);
        for (int x = 0; x < pixels.width(); ++x)
            row[x] |= opaque_bit;
    }
    result = SkinPicture::whole(std::make_shared<SkinBitmap>(String(picture), framed.detach()));
    return ThumbnailState::made;
}
