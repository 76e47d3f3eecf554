#pragma once
// A small floating-point drawing canvas for the skin artwork: shapes are
// signed-distance functions, sampled 4 x 4 per pixel for anti-aliased edges,
// composited over each other, and written as RGB565 with the skin's
// transparency conventions.

#include <functional>
#include <string>
#include <vector>

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

// A colour from 0xRRGGBB and an opacity 0..1.
Rgba rgb(unsigned hex, float alpha = 1.0f);
// Linear mix of two colours, t = 0 gives a.
Rgba mix(const Rgba& a, const Rgba& b, float t);

// Signed distance (negative inside) of a point to a shape.
using Shape = std::function<float(float x, float y)>;
// Colour of a shape at a point (gradients); constant colours use solid().
using Paint = std::function<Rgba(float x, float y)>;

Paint solid(const Rgba& colour);
Paint vertical_gradient(const Rgba& top, const Rgba& bottom, float y0, float y1);

Shape rounded_rect(float x0, float y0, float x1, float y1, float radius);
Shape circle(float cx, float cy, float radius);
Shape ring(float cx, float cy, float radius, float width);
// A line segment with round caps.
Shape segment(float x0, float y0, float x1, float y1, float width);
Shape triangle(float x0, float y0, float x1, float y1, float x2, float y2);
Shape unite(const Shape& a, const Shape& b);
Shape subtract(const Shape& a, const Shape& b);
Shape intersect(const Shape& a, const Shape& b);

class Canvas {
public:
    Canvas(int width, int height);

    int width() const { return m_width; }
    int height() const { return m_height; }

    // Paints shape with paint over what is there (source-over), anti-aliased.
    void draw(const Shape& shape, const Paint& paint);
    // A soft shadow of shape: opacity falls off over blur pixels.
    void shadow(const Shape& shape, float blur, float opacity);
    // Fills every pixel with a colour (backgrounds).
    void fill(const Paint& paint);

    // Writes a 16-bit BMP. Fully covered pixels become opaque (lowest green
    // bit set); empty pixels the key colour 0xF81F when keyed is true;
    // partly covered pixels become translucent (lowest green bit clear,
    // colour pre-multiplied by its opacity) for the half-translucent copy.
    bool save_565(const std::string& path, bool keyed) const;

    // Writes an 8-bit RGBA PNG with straight (not pre-multiplied) alpha.
    bool save_png(const std::string& path) const;

private:
    Rgba& at(int x, int y) { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
    const Rgba& at(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
    void blend(int x, int y, const Rgba& colour, float coverage);

    int m_width;
    int m_height;
    std::vector<Rgba> m_pixels;
};
