#pragma once
// Procedural landscape pictures that look enough like photographs to show
// off the viewer: sky, sun, layered hills, a lake with reflections, grain.

#include <cstdint>

struct SceneStyle {
    std::uint32_t seed;
    float sun_x, sun_y;  // sun position as fractions of the picture
    float horizon;       // lake line as a fraction of the height
    float warmth;        // 0 = blue midday, 1 = orange evening
};

// Renders one row (y of height) of a width-pixel picture as RGB bytes.
void render_scene_row(const SceneStyle& style, int width, int height, int y, std::uint8_t* rgb);
