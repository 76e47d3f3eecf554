#pragma once
// A loaded skin bitmap: its name and its pixels, shared by reference counting.

#include <memory>
#include "pixels/pixel_buffer.h"
#include "platform/text.h"

class SkinBitmap {
public:
    // name is the path it was loaded from, without ".bmp"; pixels may be null (0 x 0).
    SkinBitmap(String name, std::unique_ptr<PixelBuffer> pixels);
    SkinBitmap(const SkinBitmap&) = delete;
    SkinBitmap& operator=(const SkinBitmap&) = delete;

    // (width, height); (0, 0) without pixels.
    Size size() const;
    // Keeps only red and the opacity flag (AND 0xF820) of every non-key pixel.
    void reduce_to_red();
    const String& name() const { return m_name; }
    // The pixels; null for the empty bitmap.
    const PixelBuffer* pixels() const { return m_pixels.get(); }

    // The one shared 0 x 0 bitmap that stands in when there is none.
    static const std::shared_ptr<SkinBitmap>& empty();

private:
    String m_name;
    std::unique_ptr<PixelBuffer> m_pixels;
};
