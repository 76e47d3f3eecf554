#pragma once
// Pixel format and the small geometry records of the drawing code.

#include <cstdint>

// One RGB565 pixel: red in bits 15-11, green 10-5, blue 4-0.
using Pixel = std::uint16_t;

// Fully transparent wherever a keyed operation draws (magenta).
constexpr Pixel key_color = 0xF81F;
// Bit 5, the lowest green bit: set marks an opaque pixel.
constexpr Pixel opacity_flag = 0x0020;

// An RGB888 colour to a pixel.
constexpr Pixel rgb_to_pixel(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return static_cast<Pixel>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
}

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Left and top inclusive, right and bottom exclusive.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;

    // The rectangle at position with size.
    static Rect of(Point position, Size size)
    {
        return {position.x, position.y, position.x + size.width, position.y + size.height};
    }
    bool is_empty() const { return right <= left || bottom <= top; }
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
};

// The intersection; an empty one has right = left and bottom = top.
Rect intersect(const Rect& a, const Rect& b);

// A colour as the skin stores it: red, green, blue and alpha bytes.
struct Color {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
    friend bool operator==(const Color&, const Color&) = default;

    Pixel to_pixel() const { return rgb_to_pixel(red, green, blue); }
};
