#pragma once
// Reading 16-bit RGB565 BMP files into skin bitmaps.

#include <memory>
#include "platform/file.h"
#include "platform/text.h"
#include "skin/pixel_buffer.h"
#include "skin/skin_picture.h"

// Loads path + ".bmp" as a 16-bit bitmap into bitmap_out and returns the
// whole-bitmap picture; on failure logs "load_565 <path> is not 16bit bitmap"
// and returns the default 0 x 0 picture.
SkinPicture load_565(StringView path, std::shared_ptr<SkinBitmap>& bitmap_out);
// The pixels of a 16-bit BMP stream; null for any other, damaged or absurd file.
std::unique_ptr<PixelBuffer> read_bmp_565(InputStream& stream);
