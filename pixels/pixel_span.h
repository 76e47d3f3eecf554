#pragma once
// In-place span operations: change a run of destination pixels with no source.

#include "pixels/pixel_types.h"

class SpanOperation {
public:
    virtual ~SpanOperation() = default;
    // Changes every pixel in [first, last).
    virtual void apply(Pixel* first, Pixel* last) const = 0;
};

// Writes one pixel value (aligned pairs as one 32-bit word).
class FillSpan : public SpanOperation {
public:
    explicit FillSpan(Pixel value) : m_value(value) {}
    void apply(Pixel* first, Pixel* last) const override;

private:
    Pixel m_value;
};

// Dims to k/16, k = 0..16 (two pixels per 32-bit word where aligned).
class DimSpan : public SpanOperation {
public:
    explicit DimSpan(int level);
    void apply(Pixel* first, Pixel* last) const override;
    int level() const { return m_level; }

private:
    int m_level;
};

// Dim level for an alpha value: (alpha + 8) / 16 clamped to 0..16.
int dim_level(int alpha);
// One pixel dimmed to level/16 (the reference rule of the table).
Pixel dim_pixel(Pixel a, int level);
