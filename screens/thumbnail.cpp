#include "screens/thumbnail.h"

#include "library/photo_library.h"
#include "library/preview_file.h"
#include "skin/render_draw.h"

namespace {

// The frame's translucent edges are drawn by the half-translucent copy.
constexpr int frame_alpha = 128;

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
    const Size source = thumbnail->size();
    scaled_blit(framed, *thumbnail->buffer(), Rect{0, 0, source.width, source.height},
                Rect{0, 0, size.width, size.height}, plain_copy_operation());
    draw_picture(framed, Point{0, 0}, size, frame, operation_for_alpha(frame_alpha));
    result = SkinPicture::whole(std::make_shared<SkinBitmap>(String(picture), framed.detach()));
    return ThumbnailState::made;
}
