#pragma once
// Writing RGB565 pixels as a PNG (8-bit RGB), or 8-bit RGBA pixels, without a compression library:
// the image data travels in stored deflate blocks.

#include <cstdint>
#include <vector>
#include "pixels/pixel_buffer.h"

// The bytes of a PNG of pixels, each 5- or 6-bit channel widened to 8 bits.
std::vector<std::uint8_t> encode_png_565(const PixelBuffer& pixels);
// The bytes of a PNG of width x height 8-bit RGBA pixels (straight alpha), row by row.
std::vector<std::uint8_t> encode_png_rgba(int width, int height, const std::uint8_t* rgba);
// CRC-32 as PNG chunks use it (polynomial 0xEDB88320).
std::uint32_t png_crc32(const std::uint8_t* bytes, std::size_t count);
// Adler-32 as zlib streams end with it.
std::uint32_t adler32(const std::uint8_t* bytes, std::size_t count);
