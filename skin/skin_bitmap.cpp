#include "skin/skin_bitmap.h"

SkinBitmap::SkinBitmap(String name, std::unique_ptr<PixelBuffer> pixels)
    : m_name(std::move(name)), m_pixels(std::move(pixels))
{
}

Size SkinBitmap::size() const
{
    return m_pixels ? m_pixels->size() : Size{};
}

void SkinBitmap::reduce_to_red()
{
    if (!m_pixels)
        return;
    for (std::int32_t y = 0; y < m_pixels->height(); ++y) {
        Pixel* row = m_pixels->row(y);
        for (std::int32_t x = 0; x < m_pixels->width(); ++x) {
            if (row[x] != key_color)
                row[x] &= 0xF820;
        }
    }
}

const std::shared_ptr<SkinBitmap>& SkinBitmap::empty()
{
    static const std::shared_ptr<SkinBitmap> bitmap = std::make_shared<SkinBitmap>(String(), nullptr);
    return bitmap;
}
