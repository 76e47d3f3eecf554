#include "pixels/pixel_buffer.h"

#include <algorithm>
#include <new>

Rect intersect(const Rect& a, const Rect& b)
{
    Rect result{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
    if (result.right <= result.left || result.bottom <= result.top) {
        result.right = result.left;
        result.bottom = result.top;
    }
    return result;
}

namespace {

bool is_sane_size(std::int32_t width, std::int32_t height)
{
    return width >= 0 && height >= 0 && width <= PixelBuffer::max_side && height <= PixelBuffer::max_side &&
           std::int64_t(width) * height <= PixelBuffer::max_pixels;
}

}  // namespace

PixelBuffer::PixelBuffer(std::int32_t width, std::int32_t height, std::int32_t pitch, std::uint8_t* bits,
                         std::unique_ptr<std::uint32_t[]> owned)
    : m_width(width), m_height(height), m_pitch(pitch), m_bits(bits), m_owned(std::move(owned))
{
}

std::unique_ptr<PixelBuffer> PixelBuffer::create(std::int32_t width, std::int32_t height)
{
    // The size checks keep a damaged file's header from asking for gigabytes.
    if (!is_sane_size(width, height))
        return nullptr;
    std::int32_t pitch = pitch_for(width);
    std::size_t bytes = std::size_t(pitch) * std::size_t(height);
    // Rows are read as 32-bit words, so the memory is allocated in words.
    std::unique_ptr<std::uint32_t[]> memory(new (std::nothrow) std::uint32_t[bytes / 4 + 1]);
    if (!memory)
        return nullptr;
    auto* bits = reinterpret_cast<std::uint8_t*>(memory.get());
    return std::unique_ptr<PixelBuffer>(new PixelBuffer(width, height, pitch, bits, std::move(memory)));
}

std::unique_ptr<PixelBuffer> PixelBuffer::wrap(std::int32_t width, std::int32_t height, std::int32_t pitch,
                                               void* memory)
{
    if (!is_sane_size(width, height) || memory == nullptr || pitch < 2 * width || pitch % 2 != 0)
        return nullptr;
    return std::unique_ptr<PixelBuffer>(
        new PixelBuffer(width, height, pitch, static_cast<std::uint8_t*>(memory), nullptr));
}

void PixelBuffer::clear(Pixel value)
{
    for (std::int32_t y = 0; y < m_height; ++y)
        std::fill_n(row(y), m_pitch / 2, value);
}
