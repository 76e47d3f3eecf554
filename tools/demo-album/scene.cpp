#include "scene.h"

#include <algorithm>
#include <cmath>

namespace {

float hash(std::uint32_t seed, int i)
{
    std::uint32_t h = seed * 0x9E3779B1u ^ static_cast<std::uint32_t>(i) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return (h & 0xFFFFFF) / float(0xFFFFFF);
}

// Smooth one-dimensional value noise at x (period 1 per lattice step).
float noise(std::uint32_t seed, float x)
{
    int i = static_cast<int>(std::floor(x));
    float f = x - i;
    float t = f * f * (3 - 2 * f);
    return hash(seed, i) * (1 - t) + hash(seed, i + 1) * t;
}

// Smooth two-dimensional value noise (texture of slopes and water).
float noise2(std::uint32_t seed, float x, float y)
{
    int i = static_cast<int>(std::floor(x)), j = static_cast<int>(std::floor(y));
    float fx = x - i, fy = y - j;
    float tx = fx * fx * (3 - 2 * fx), ty = fy * fy * (3 - 2 * fy);
    auto corner = [&](int di, int dj) { return hash(seed + (j + dj) * 7877, i + di); };
    float top = corner(0, 0) * (1 - tx) + corner(1, 0) * tx;
    float bottom = corner(0, 1) * (1 - tx) + corner(1, 1) * tx;
    return top * (1 - ty) + bottom * ty;
}

// Fractal ridge line: a few octaves of noise.
float ridge(std::uint32_t seed, float x)
{
    float sum = 0, amplitude = 0.5f, frequency = 3;
    for (int octave = 0; octave < 5; ++octave) {
        sum += amplitude * noise(seed + octave * 101, x * frequency);
        amplitude *= 0.5f;
        frequency *= 2.1f;
    }
    return sum;
}

struct Colour {
    float r, g, b;
};

Colour mix(Colour a, Colour b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour sky(const SceneStyle& style, float u, float v)
{
    Colour zenith = mix({0.16f, 0.36f, 0.72f}, {0.22f, 0.18f, 0.42f}, style.warmth);
    Colour horizon = mix({0.70f, 0.84f, 0.95f}, {0.98f, 0.62f, 0.32f}, style.warmth);
    Colour colour = mix(zenith, horizon, std::pow(std::clamp(v / style.horizon, 0.0f, 1.0f), 1.6f));
    float distance = std::hypot(u - style.sun_x, v - style.sun_y);
    float glow = std::exp(-distance * 9) * 0.6f + (distance < 0.035f ? 1.0f : 0.0f);
    Colour sun = mix({1.0f, 0.97f, 0.85f}, {1.0f, 0.78f, 0.45f}, style.warmth);
    return mix(colour, sun, std::min(glow, 1.0f));
}

// The colour of the land above the lake at (u, v), or the sky when no hill covers it.
Colour land(const SceneStyle& style, float u, float v)
{
    Colour colour = sky(style, u, v);
    for (int layer = 0; layer < 3; ++layer) {
        float base = style.horizon - 0.05f - 0.09f * (2 - layer);
        float top = base - 0.22f * ridge(style.seed + layer * 17, u + layer * 0.37f) + 0.05f * layer;
        if (v < top)
            continue;
        float depth = layer / 2.0f;
        Colour far = mix({0.45f, 0.55f, 0.68f}, {0.55f, 0.42f, 0.50f}, style.warmth);
        Colour near = mix({0.16f, 0.36f, 0.20f}, {0.30f, 0.22f, 0.14f}, style.warmth * 0.6f);
        Colour hill = mix(far, near, depth);
        float texture = 0.6f * noise2(style.seed + 7, u * 60, v * 60) + 0.4f * noise2(style.seed + 9, u * 240, v * 240);
        float shade = (0.8f + 0.35f * texture * depth) * (1.1f - 0.5f * std::clamp((v - top) * 4, 0.0f, 0.5f));
        colour = {hill.r * shade, hill.g * shade, hill.b * shade};
    }
    return colour;
}

}  // namespace

void render_scene_row(const SceneStyle& style, int width, int height, int y, std::uint8_t* rgb)
{
    float v = (y + 0.5f) / height;
    float aspect = float(width) / height;
    SceneStyle scaled = style;
    scaled.sun_x *= aspect;
    for (int x = 0; x < width; ++x) {
        float u = (x + 0.5f) / width * aspect;
        Colour colour;
        if (v < style.horizon) {
            colour = land(scaled, u, v);
        } else {
            // The lake mirrors the land with ripples and a darker tint.
            float mirrored = 2 * style.horizon - v + 0.004f * std::sin(v * 900 + 3 * noise(style.seed, u * 20));
            Colour reflection = land(scaled, u, mirrored);
            colour = mix(reflection, {0.05f, 0.12f, 0.18f}, 0.35f + 0.3f * (v - style.horizon));
        }
        float grain = (hash(style.seed ^ 0xABCDu, y * 7919 + x) - 0.5f) * 0.05f;
        rgb[3 * x + 0] = static_cast<std::uint8_t>(std::clamp(colour.r + grain, 0.0f, 1.0f) * 255);
        rgb[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(colour.g + grain, 0.0f, 1.0f) * 255);
        rgb[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(colour.b + grain, 0.0f, 1.0f) * 255);
    }
}
