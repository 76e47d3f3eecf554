#include "screens/thumbnail.h"

#include <algorithm>

#include "library/exif_reader.h"
#include "library/jpeg_decoder.h"
#include "library/photo_library.h"
#include "library/preview_file.h"
#include "library/preview_pixels.h"
#include "pixels/render_draw.h"
#include "platform/file.h"

namespace {

// The frame's translucent edges are drawn by the half-translucent copy.
constexpr int frame_alpha = 128;
// The opacity flag of a pixel (the lowest green bit).
constexpr Pixel opaque_bit = 0x0020;

// Side of the thumbnail stored in every preview file.
constexpr int stored_side = 64;
// The most the decoder reduces a JPEG while decoding it (1/8 DCT scaling).
constexpr int largest_decode_reduction = 8;

// The JPEG of length bytes at the stream's position, decoded at
// 1/reduction, as RGB565; null when it does not decode.
std::unique_ptr<PixelBuffer> decode_reduced(InputStream& stream, std::uint64_t length, int reduction)
{
    JpegDecoder decoder;
    if (!decoder.open(stream, length) || !decoder.set_scale(reduction) || !decoder.start())
        return nullptr;
    std::unique_ptr<PixelBuffer> pixels = PixelBuffer::create(decoder.output_width(), decoder.output_height());
    if (!pixels)
        return nullptr;
    std::vector<std::uint8_t> row(std::size_t(decoder.output_width()) * 3);
    for (int y = 0; y < decoder.output_height(); ++y) {
        if (!decoder.read_scanline(row.data()))
            return nullptr;
        rgb_to_pixels(row.data(), pixels->row(y), decoder.output_width());
    }
    return pixels;
}

// The stored thumbnail is the centred 64x64 window of the picture reduced
// 2^(L+1) times (not at all when L = 0), halved again when its shorter side
// is 130 pixels or more. The window's corner and the reduction, in picture pixels.
struct StoredWindow {
    int left = 0;
    int top = 0;
    int reduction = 1;
};

StoredWindow stored_window(int width, int height, int levels)
{
    int reduction = levels > 0 ? 2 << levels : 1;
    int source_w = (width + reduction - 1) / reduction, source_h = (height + reduction - 1) / reduction;
    if (std::min(source_w, source_h) >= 130) {
        reduction *= 2;
        source_w = (source_w + 1) / 2;
        source_h = (source_h + 1) / 2;
    }
    return {(source_w / 2 - stored_side / 2) * reduction, (source_h / 2 - stored_side / 2) * reduction, reduction};
}

// The window of the stored thumbnail drawn sharp at side pixels: from the
// smallest level of the preview that still covers it, decoded with the
// decoder's own reduction and area-averaged to side. Null on any failure.
std::unique_ptr<RenderSurface> load_sharp_thumbnail(StringView picture, StringView root, int side)
{
    File picture_file(picture, File::read_mode);
    JpegDecoder header;
    if (!picture_file.is_open() || !header.open(picture_file, picture_file.size()))
        return nullptr;
    const int width = header.width(), height = header.height();
    header.close();
    File preview(preview_path(picture, root), File::read_mode);
    PreviewTable table;
    const int levels = preview_levels(width, height);
    if (!preview.is_open() || !read_preview_table(preview, levels, table))
        return nullptr;
    const StoredWindow window = stored_window(width, height, levels);
    // The largest reduction that leaves the window at least side pixels wide.
    int reduction = 1;
    while (reduction * 2 * side <= stored_side * window.reduction)
        reduction *= 2;
    int level = 0;
    while ((2 << level) <= reduction && level < levels)
        ++level;
    if (levels > 0)
        level = std::max(level, 1);
    reduction = std::clamp(reduction >> level, 1, largest_decode_reduction) << level;
    std::unique_ptr<PixelBuffer> decoded;
    if (level == 0) {
        if (picture_file.seek(0))
            decoded = decode_reduced(picture_file, picture_file.size(), reduction);
    } else if (preview.seek(table.entries[level].jpeg_offset)) {
        decoded = decode_reduced(preview, table.entries[level].jpeg_length, reduction >> level);
    }
    if (!decoded)
        return nullptr;
    // The window at the decoded scale, black where it reaches beyond the picture.
    const int window_side = stored_side * window.reduction / reduction;
    RenderSurface cut(Size{window_side, window_side});
    auto sharp = std::make_unique<RenderSurface>(Size{side, side});
    if (!cut.buffer() || !sharp->buffer())
        return nullptr;
    cut.buffer()->clear(0);
    const Point corner{window.left / reduction, window.top / reduction};
    const Rect inside = intersect(Rect::of(corner, {window_side, window_side}), decoded->bounds());
    if (!inside.is_empty())
        blit(cut, *decoded, {inside.left, inside.top}, {inside.width(), inside.height()},
             {inside.left - corner.x, inside.top - corner.y}, plain_copy_operation());
    filtered_scaled_blit(*sharp, *cut.buffer(), cut.buffer()->bounds(), Rect::of({0, 0}, {side, side}),
                         plain_copy_operation());
    return sharp;
}

// The thumbnail's pixels at size: sharp from the preview's levels where the
// cell is larger than the stored thumbnail, else (and whenever that fails)
// the stored thumbnail filtered to size. Null when neither can be read.
std::unique_ptr<RenderSurface> load_thumbnail_pixels(StringView picture, StringView root, Size size)
{
    if (size.width > stored_side && size.width == size.height)
        if (std::unique_ptr<RenderSurface> sharp = load_sharp_thumbnail(picture, root, size.width))
            return sharp;
    std::unique_ptr<RenderSurface> stored = load_thumbnail(picture, root);
    if (!stored || !stored->buffer())
        return nullptr;
    auto scaled = std::make_unique<RenderSurface>(size);
    if (!scaled->buffer())
        return nullptr;
    filtered_scaled_blit(*scaled, *stored->buffer(), stored->buffer()->bounds(), Rect::of({0, 0}, size),
                         plain_copy_operation());
    return scaled;
}

// The picture stretched over size with frame drawn over it; false for an
// empty size or when memory is short.
bool frame_thumbnail(const PixelBuffer& thumbnail, StringView picture, const SkinPicture& frame, Size size,
                     SkinPicture& result)
{
    RenderSurface framed(size);
    if (!framed.buffer())
        return false;
    filtered_scaled_blit(framed, thumbnail, thumbnail.bounds(), Rect::of({0, 0}, size), plain_copy_operation());
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
    return true;
}

}  // namespace

// While the preview is pending, the thumbnail a camera embedded in the
// picture's EXIF data stands in for it; the caller replaces it once the
// preview is complete.
ThumbnailState make_framed_thumbnail(StringView picture, StringView root, const SkinPicture& frame, Size size,
                                     SkinPicture& result)
{
    const String preview = preview_path(picture, root);
    if (preview.empty() || PhotoLibrary::is_bad_preview(preview))
        return ThumbnailState::bad;
    if (!is_preview_ready(picture, root)) {
        const std::unique_ptr<RenderSurface> embedded =
            decode_embedded_thumbnail(read_exif(picture, true), std::max(size.width, size.height));
        if (embedded)
            frame_thumbnail(*embedded->buffer(), picture, frame, size, result);
        return ThumbnailState::pending;
    }
    if (size.width <= 0 || size.height <= 0)
        return ThumbnailState::bad;
    const std::unique_ptr<RenderSurface> thumbnail =
        show_as_tagged(load_thumbnail_pixels(picture, root, size), picture);
    if (!thumbnail || !thumbnail->buffer() || !frame_thumbnail(*thumbnail->buffer(), picture, frame, size, result))
        return ThumbnailState::bad;
    return ThumbnailState::made;
}
