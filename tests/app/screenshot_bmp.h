#pragma once
// The pixels of a screenshot the program wrote as a 16-bit BMP, read by the
// test itself (rows bottom-up, padded to 4 bytes) rather than by the
// program's own reader.

#include <cstdint>
#include <memory>
#include <string>

#include "pixels/pixel_buffer.h"
#include "tests/app/program_run.h"

// The screenshot at path; null when the file is missing or not a whole BMP.
inline std::unique_ptr<PixelBuffer> read_screenshot_bmp(const std::string& path)
{
    const std::string bytes = read_file(path);
    const auto byte = [&](std::size_t at) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])); };
    const auto u32 = [&](std::size_t at) {
        return byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24;
    };
    if (bytes.size() < 54)
        return nullptr;
    const std::size_t offset = u32(10);
    const int width = static_cast<int>(u32(18));
    const int height = static_cast<int>(u32(22));
    const std::size_t pitch = (static_cast<std::size_t>(width) * 2 + 3) & ~std::size_t(3);
    if (width <= 0 || height <= 0 || bytes.size() < offset + pitch * height)
        return nullptr;
    std::unique_ptr<PixelBuffer> pixels = PixelBuffer::create(width, height);
    if (!pixels)
        return nullptr;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t at = offset + pitch * (height - 1 - y) + 2 * static_cast<std::size_t>(x);
            pixels->at(x, y) = static_cast<Pixel>(byte(at) | byte(at + 1) << 8);
        }
    return pixels;
}
