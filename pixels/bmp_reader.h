#pragma once
// Reading 16-bit RGB565 BMP files.

#include <memory>
#include "pixels/pixel_buffer.h"
#include "platform/file.h"

// The pixels of a 16-bit BMP stream; null for any other, damaged or absurd file.
std::unique_ptr<PixelBuffer> read_bmp_565(InputStream& stream);
