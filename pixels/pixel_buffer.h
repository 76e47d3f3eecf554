#pragma once
// A 16-bit RGB565 pixel array, rows top-down, each row padded to 4 bytes.

#include <cstdint>
#include <memory>
#include "pixels/pixel_types.h"

class PixelBuffer {
public:
    // Largest width or height a buffer may have.
    static constexpr std::int32_t max_side = 32768;
    // Largest number of pixels a buffer may hold (refuses absurd sizes).
    static constexpr std::int64_t max_pixels = std::int64_t(1) << 26;

    // A new owned buffer; null for a negative or absurd size or when memory is short.
    static std::unique_ptr<PixelBuffer> create(std::int32_t width, std::int32_t height);
    // A buffer over memory owned by someone else (display back buffers); null for a bad layout.
    static std::unique_ptr<PixelBuffer> wrap(std::int32_t width, std::int32_t height, std::int32_t pitch, void* memory);
    // Bytes per row of a drawing buffer: 2 x width rounded up to a multiple of 4.
    static std::int32_t pitch_for(std::int32_t width) { return (2 * width + 3) & ~3; }

    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    std::int32_t width() const { return m_width; }
    std::int32_t height() const { return m_height; }
    Size size() const { return {m_width, m_height}; }
    // Bytes from one row to the next.
    std::int32_t pitch() const { return m_pitch; }
    // First pixel of row y (0 <= y < height).
    Pixel* row(std::int32_t y) { return reinterpret_cast<Pixel*>(m_bits + std::int64_t(y) * m_pitch); }
    const Pixel* row(std::int32_t y) const
    {
        return reinterpret_cast<const Pixel*>(m_bits + std::int64_t(y) * m_pitch);
    }
    // Pixel (x, y), unchecked.
    Pixel& at(std::int32_t x, std::int32_t y) { return row(y)[x]; }
    Pixel at(std::int32_t x, std::int32_t y) const { return row(y)[x]; }
    // The whole buffer as a rectangle.
    Rect bounds() const { return {0, 0, m_width, m_height}; }
    // Sets every pixel, padding included, to value.
    void clear(Pixel value);

private:
    PixelBuffer(std::int32_t width, std::int32_t height, std::int32_t pitch, std::uint8_t* bits,
                std::unique_ptr<std::uint32_t[]> owned);

    std::int32_t m_width;
    std::int32_t m_height;
    std::int32_t m_pitch;
    std::uint8_t* m_bits;
    std::unique_ptr<std::uint32_t[]> m_owned;
};
