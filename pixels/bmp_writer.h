#pragma once
// Writing RGB565 pixels as a 16-bit BMP (screenshots, test artifacts).

#include <cstdint>
#include <vector>
#include "pixels/pixel_buffer.h"
#include "platform/text.h"

// The bytes of a bottom-up 16-bit BMP with RGB565 bit-field masks.
std::vector<std::uint8_t> encode_bmp_565(const PixelBuffer& pixels);
// Writes encode_bmp_565 to path (macros expanded); false when it cannot be written whole.
bool write_bmp_565(StringView path, const PixelBuffer& pixels);
