#pragma once
// Framed thumbnails of pictures, made from their preview files for the album
// rows and the folder grid.

#include "platform/text.h"
#include "skin/skin_picture.h"

// What became of a thumbnail request.
enum class ThumbnailState {
    made,     // the picture holds the framed thumbnail
    bad,      // the picture has no usable preview (none can be made, or it does not decode)
    pending,  // the preview does not exist yet; the picture holds the framed embedded
              // EXIF thumbnail when the picture has a usable one, else it is left as it was
};

// Makes the thumbnail of picture (found under root) at size with frame drawn
// over it, turned as the picture's orientation tag says: the preview's 64x64
// thumbnail filtered to size, or, for a larger square, the same part of the
// picture taken sharp from the preview's levels.
ThumbnailState make_framed_thumbnail(StringView picture, StringView root, const SkinPicture& frame, Size size,
                                     SkinPicture& result);
