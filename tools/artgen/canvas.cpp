#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>

#include "display/png_writer.h"

Rgba rgb(unsigned hex, float alpha)
{
    return {((hex >> 16) & 0xFF) / 255.0f, ((hex >> 8) & 0xFF) / 255.0f, (hex & 0xFF) / 255.0f, alpha};
}

Rgba mix(const Rgba& a, const Rgba& b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Paint solid(const Rgba& colour)
{
    return [colour](float, float) { return colour; };
}

Paint vertical_gradient(const Rgba& top, const Rgba& bottom, float y0, float y1)
{
    return [=](float, float y) {
        float t = y1 > y0 ? std::clamp((y - y0) / (y1 - y0), 0.0f, 1.0f) : 0.0f;
        return mix(top, bottom, t);
    };
}

Shape rounded_rect(float x0, float y0, float x1, float y1, float radius)
{
    float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    float hx = (x1 - x0) / 2 - radius, hy = (y1 - y0) / 2 - radius;
    return [=](float x, float y) {
        float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
        float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
        return outside + std::min(std::max(qx, qy), 0.0f) - radius;
    };
}

Shape circle(float cx, float cy, float radius)
{
    return [=](float x, float y) { return std::hypot(x - cx, y - cy) - radius; };
}

Shape ring(float cx, float cy, float radius, float width)
{
    return [=](float x, float y) { return std::fabs(std::hypot(x - cx, y - cy) - radius) - width / 2; };
}

Shape segment(float x0, float y0, float x1, float y1, float width)
{
    return [=](float x, float y) {
        float dx = x1 - x0, dy = y1 - y0;
        float length2 = dx * dx + dy * dy;
        float t = length2 > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / length2, 0.0f, 1.0f) : 0.0f;
        return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy)) - width / 2;
    };
}

Shape triangle(float x0, float y0, float x1, float y1, float x2, float y2)
{
    // The largest of the three signed edge distances: exact inside and near
    // the edges, which is all that anti-aliasing needs. Inside points lie on
    // the same side of every edge as the triangle's winding says.
    float winding = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0) > 0 ? 1.0f : -1.0f;
    auto edge = [winding](float ax, float ay, float bx, float by, float x, float y) {
        float ex = bx - ax, ey = by - ay;
        float length = std::hypot(ex, ey);
        return length > 0 ? -winding * (ex * (y - ay) - ey * (x - ax)) / length : 0.0f;
    };
    return [=](float x, float y) {
        return std::max({edge(x0, y0, x1, y1, x, y), edge(x1, y1, x2, y2, x, y), edge(x2, y2, x0, y0, x, y)});
    };
}

Shape unite(const Shape& a, const Shape& b)
{
    return [=](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Shape subtract(const Shape& a, const Shape& b)
{
    return [=](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

Shape intersect(const Shape& a, const Shape& b)
{
    return [=](float x, float y) { return std::max(a(x, y), b(x, y)); };
}

Canvas::Canvas(int width, int height) : m_width(width), m_height(height), m_pixels(static_cast<size_t>(width) * height)
{
}

void Canvas::blend(int x, int y, const Rgba& colour, float coverage)
{
    float alpha = colour.a * coverage;
    Rgba& pixel = at(x, y);
    pixel.r = colour.r * alpha + pixel.r * (1 - alpha);
    pixel.g = colour.g * alpha + pixel.g * (1 - alpha);
    pixel.b = colour.b * alpha + pixel.b * (1 - alpha);
    pixel.a = alpha + pixel.a * (1 - alpha);
}

void Canvas::draw(const Shape& shape, const Paint& paint)
{
    constexpr int samples = 4;
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            int inside = 0;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx)
                    inside += shape(x + (sx + 0.5f) / samples, y + (sy + 0.5f) / samples) <= 0;
            if (inside)
                blend(x, y, paint(x + 0.5f, y + 0.5f), inside / float(samples * samples));
        }
    }
}

void Canvas::shadow(const Shape& shape, float blur, float opacity)
{
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            float distance = shape(x + 0.5f, y + 0.5f);
            float strength = distance <= 0 ? 1.0f : std::max(0.0f, 1.0f - distance / blur);
            if (strength > 0)
                blend(x, y, Rgba{0, 0, 0, opacity}, strength * strength);
        }
    }
}

void Canvas::fill(const Paint& paint)
{
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x)
            blend(x, y, paint(x + 0.5f, y + 0.5f), 1.0f);
}

namespace {

constexpr std::uint16_t key_colour = 0xF81F;
constexpr std::uint16_t opaque_bit = 0x0020;

// 4 x 4 ordered dither, so that gradients do not band in 16 bits.
float dither_at(int x, int y)
{
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (bayer[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f;
}

unsigned quantise(float value, int levels, float dither)
{
    return static_cast<unsigned>(
        std::clamp(std::lround(std::clamp(value, 0.0f, 1.0f) * levels + dither), 0L, long(levels)));
}

// An opaque word: green keeps only its odd values, the lowest bit being the opacity flag.
std::uint16_t pack_opaque(float r, float g, float b, float dither)
{
    unsigned green = quantise(g, 31, dither) * 2 + 1;
    return static_cast<std::uint16_t>((quantise(r, 31, dither) << 11) | (std::min(green, 63u) << 5) |
                                      quantise(b, 31, dither));
}

// The stored word for one canvas pixel (colours are pre-multiplied).
std::uint16_t convention_565(const Rgba& pixel, bool keyed, float dither)
{
    if (!keyed || pixel.a >= 0.75f) {
        float a = keyed ? pixel.a : 1.0f;
        return pack_opaque(pixel.r / a, pixel.g / a, pixel.b / a, dither);
    }
    if (pixel.a < 0.25f)
        return key_colour;
    // Translucent: the half copy adds half of the destination to this word.
    std::uint16_t word = static_cast<std::uint16_t>((quantise(pixel.r, 31, 0) << 11) | (quantise(pixel.g, 63, 0) << 5) |
                                                    quantise(pixel.b, 31, 0)) &
                         ~opaque_bit;
    return word == key_colour ? word - 1 : word;
}

void put16(std::ofstream& out, unsigned value)
{
    out.put(static_cast<char>(value & 0xFF));
    out.put(static_cast<char>((value >> 8) & 0xFF));
}

void put32(std::ofstream& out, unsigned value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

}  // namespace

bool Canvas::save_565(const std::string& path, bool keyed) const
{
    std::ofstream out(path, std::ios::binary);
    if (!out)
        return false;
    const unsigned row_bytes = (m_width * 2 + 3) / 4 * 4;
    const unsigned pixel_offset = 14 + 40 + 12;
    out.put('B');
    out.put('M');
    put32(out, pixel_offset + row_bytes * m_height);
    put32(out, 0);
    put32(out, pixel_offset);
    put32(out, 40);
    put32(out, m_width);
    put32(out, m_height);  // bottom-up
    put16(out, 1);
    put16(out, 16);
    put32(out, 3);  // bit fields: the masks below
    put32(out, row_bytes * m_height);
    put32(out, 3780);
    put32(out, 3780);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0xF800);
    put32(out, 0x07E0);
    put32(out, 0x001F);
    for (int y = m_height - 1; y >= 0; --y) {
        for (int x = 0; x < m_width; ++x)
            put16(out, convention_565(at(x, y), keyed, dither_at(x, y)));
        for (unsigned pad = m_width * 2; pad < row_bytes; ++pad)
            out.put(0);
    }
    return static_cast<bool>(out);
}

bool Canvas::save_png(const std::string& path) const
{
    std::vector<std::uint8_t> rgba;
    rgba.reserve(m_pixels.size() * 4);
    const auto channel = [](float value) {
        return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255));
    };
    for (const Rgba& pixel : m_pixels) {
        // The canvas keeps colours pre-multiplied by their opacity.
        const float a = pixel.a > 0 ? pixel.a : 1.0f;
        rgba.insert(rgba.end(), {channel(pixel.r / a), channel(pixel.g / a), channel(pixel.b / a), channel(pixel.a)});
    }
    const std::vector<std::uint8_t> png = encode_png_rgba(m_width, m_height, rgba.data());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}
