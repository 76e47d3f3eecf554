#pragma once
// Saving a frame for people to look at.

#include "pixels/pixel_buffer.h"
#include "platform/text.h"

// Writes pixels to path as a PNG when the name ends in ".png" (any case),
// else as a 16-bit BMP; false when the file cannot be written whole.
bool save_screenshot(StringView path, const PixelBuffer& pixels);
