#pragma once
// Loading skin bitmaps from 16-bit BMP files.

#include <memory>
#include "platform/text.h"
#include "skin/skin_bitmap.h"
#include "skin/skin_picture.h"

// Loads path + ".bmp" as a 16-bit bitmap into bitmap_out and returns the
// whole-bitmap picture; on failure logs "load_565 <path> is not 16bit bitmap"
// and returns the default 0 x 0 picture.
SkinPicture load_565(StringView path, std::shared_ptr<SkinBitmap>& bitmap_out);
