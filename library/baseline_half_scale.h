#pragma once
// The pixel stage of the baseline decoder for a decode at half size, made as
// libjpeg's scaled decoding at 1/2 makes it: each component's blocks are
// inverse-transformed to 4x4 samples, or to 8x8 where that alone undoes the
// component's subsampling, and what stays subsampled is upsampled with the
// same filters as at full size.

#include <cstdint>
#include <functional>
#include <vector>
#include "library/baseline_markers.h"
#include "library/baseline_upsampler.h"
#include "library/huffman_decoder.h"

class HalfScaleOutput {
public:
    // Called once per row of the half-size picture, top to bottom, with width() * 3 bytes of RGB.
    using RowCallback = std::function<bool(const std::uint8_t* rgb, int y)>;

    // Prepares for the picture state describes; holds three MCU rows of half-size samples.
    explicit HalfScaleOutput(const BaselineState& state);
    HalfScaleOutput(const HalfScaleOutput&) = delete;
    HalfScaleOutput& operator=(const HalfScaleOutput&) = delete;

    // Size of the half-size picture: ceil(width / 2) x ceil(height / 2).
    int width() const { return m_reduced.width; }
    int height() const { return m_reduced.height; }

    // Transforms the MCU's blocks (natural order, quantised) into the sample planes.
    void write_mcu(const HuffmanDecoder::Block* blocks, int mcu_x, int mcu_y);
    // Converts the rows of MCU row mcu_row to RGB; the MCU row below it must be
    // written already unless mcu_row is the last. False when on_row stops.
    bool emit_rows(int mcu_row, const RowCallback& on_row);

private:
    const BaselineState& m_state;
    BaselineState m_reduced;   // the geometry of the half-size components, for the upsampler
    int m_block_size[3] = {};  // 4, or 8 where the full transform replaces upsampling
    int m_mcu_height = 0;      // half-size rows per MCU row
    SamplePlane m_planes[3];
    BaselineUpsampler m_upsampler;
    std::vector<std::uint8_t> m_rgb;
};
