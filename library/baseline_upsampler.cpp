#include "library/baseline_upsampler.h"

#include <algorithm>
#include <cstring>

void SamplePlane::allocate(int columns, int rows, int origin)
{
    width = columns;
    ring_rows = rows;
    col_origin = origin;
    data.assign(static_cast<std::size_t>(columns) * rows, 0);
}

// libjpeg filters a 2:1 component only when it has more than two samples per
// row; narrower ones are replicated. Vertical-only 2:1 is always filtered.
bool uses_column_context(const BaselineComponent& component)
{
    return component.h_expand == 2 && component.width > 2;
}

bool uses_row_context(const BaselineComponent& component)
{
    if (component.v_expand != 2)
        return false;
    return component.h_expand == 1 || uses_column_context(component);
}

namespace {

constexpr int scale_bits = 16;
constexpr int one_half = 1 << (scale_bits - 1);

constexpr int fix(double value)
{
    return static_cast<int>(value * (1 << scale_bits) + 0.5);
}

// libjpeg's fixed-point factors of its YCbCr to RGB conversion.
constexpr int cr_to_red = fix(1.40200);
constexpr int cb_to_blue = fix(1.77200);
constexpr int cr_to_green = fix(0.71414);
constexpr int cb_to_green = fix(0.34414);

std::uint8_t clamp_byte(int value)
{
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// libjpeg's YCbCr to RGB conversion with the values of its tables computed
// (the same products and roundings), so that the two decoders agree to the
// last bit on identical samples. Without lookups, and with the colours first
// written to separate rows, the loop vectorises; the pixels are interleaved after.
void ycbcr_to_rgb(const std::uint8_t* luma, const std::uint8_t* cb, const std::uint8_t* cr, int width,
                  std::uint8_t* rgb)
{
    constexpr int chunk = 64;
    std::uint8_t red[chunk], green[chunk], blue[chunk];
    for (int start = 0; start < width; start += chunk) {
        const int count = std::min(chunk, width - start);
        for (int i = 0; i < count; ++i) {
            const int y = luma[start + i];
            const int blue_difference = cb[start + i] - 128;
            const int red_difference = cr[start + i] - 128;
            red[i] = clamp_byte(y + ((cr_to_red * red_difference + one_half) >> scale_bits));
            green[i] = clamp_byte(
                y + ((one_half - cb_to_green * blue_difference - cr_to_green * red_difference) >> scale_bits));
            blue[i] = clamp_byte(y + ((cb_to_blue * blue_difference + one_half) >> scale_bits));
        }
        for (int i = 0; i < count; ++i, rgb += 3) {
            rgb[0] = red[i];
            rgb[1] = green[i];
            rgb[2] = blue[i];
        }
    }
}

}  // namespace

void BaselineUpsampler::setup(const BaselineState& state, int width)
{
    m_state = &state;
    for (int c = 0; c < state.component_count; ++c)
        m_rows[c].assign(static_cast<std::size_t>(width), 0);
}

const std::uint8_t* BaselineUpsampler::upsample(int c, SamplePlane& plane, int y, int x0, int x1, std::uint8_t* out)
{
    const BaselineComponent& component = m_state->components[c];
    const bool column_context = uses_column_context(component);
    const bool row_context = uses_row_context(component);
    const int near_row = y / component.v_expand;
    // The row that shares the vertical filter: above for the upper output row, below for the lower.
    const int far_row =
        row_context ? std::clamp((y & 1) ? near_row + 1 : near_row - 1, 0, component.height - 1) : near_row;
    const std::uint8_t* near = plane.row(near_row);
    const std::uint8_t* far = plane.row(far_row);
    const int origin = plane.col_origin;
    const int width = x1 - x0;

    if (!column_context) {
        if (component.h_expand == 1 && !row_context)
            return near + (x0 - origin);
        const int bias = (y & 1) ? 2 : 1;
        for (int i = 0; i < width; ++i) {
            const int k = (x0 + i) / component.h_expand - origin;
            out[i] = row_context ? static_cast<std::uint8_t>((near[k] * 3 + far[k] + bias) >> 2) : near[k];
        }
        return out;
    }
    // Horizontal triangle filter over the (vertically filtered) sums of the
    // sample columns [first - 1, last + 1], the picture's edge samples repeated.
    const int first = x0 >> 1;
    const int last = (x1 - 1) >> 1;
    m_sums.resize(static_cast<std::size_t>(last - first + 3));
    for (int k = first - 1; k <= last + 1; ++k) {
        const int at = std::clamp(k, 0, component.width - 1) - origin;
        m_sums[static_cast<std::size_t>(k - first + 1)] = row_context ? near[at] * 3 + far[at] : near[at];
    }
    const int* sums = m_sums.data();
    // Rounding of libjpeg's filters: the sums carry 2 (one direction) or 4 (both) bits of scale.
    const int shift = row_context ? 4 : 2;
    const int even_bias = row_context ? 8 : 1;
    const int odd_bias = row_context ? 7 : 2;
    for (int x = x0; x < x1; ++x) {
        const int k = (x >> 1) - first + 1;
        const int neighbour = (x & 1) ? sums[k + 1] + odd_bias : sums[k - 1] + even_bias;
        out[x - x0] = static_cast<std::uint8_t>((sums[k] * 3 + neighbour) >> shift);
    }
    return out;
}

void BaselineUpsampler::convert_row(SamplePlane* planes, int y, int x0, int x1, std::uint8_t* rgb)
{
    const BaselineState& state = *m_state;
    const int width = x1 - x0;
    const std::uint8_t* samples[3] = {};
    for (int c = 0; c < state.component_count; ++c)
        samples[c] = upsample(c, planes[c], y, x0, x1, m_rows[c].data());
    const std::uint8_t* c0 = samples[0];
    if (state.component_count == 1) {
        for (int i = 0; i < width; ++i, rgb += 3)
            rgb[0] = rgb[1] = rgb[2] = c0[i];
        return;
    }
    const std::uint8_t* c1 = samples[1];
    const std::uint8_t* c2 = samples[2];
    if (state.rgb) {
        for (int i = 0; i < width; ++i, rgb += 3) {
            rgb[0] = c0[i];
            rgb[1] = c1[i];
            rgb[2] = c2[i];
        }
        return;
    }
    ycbcr_to_rgb(c0, c1, c2, width, rgb);
}
