#include "library/baseline_half_scale.h"

#include <algorithm>
#include "library/idct.h"

namespace {

int divide_round_up(long long value, long long divisor)
{
    return static_cast<int>((value + divisor - 1) / divisor);
}

// libjpeg's choice for a component at scale 1/2: start from 4x4 and double
// while the larger transform still divides the component's subsampling.
int scaled_block_size(const BaselineState& state, const BaselineComponent& component)
{
    constexpr int reduced = 4;
    int size = reduced;
    while (size < 8 && (state.hmax * reduced) % (component.h * size * 2) == 0 &&
           (state.vmax * reduced) % (component.v * size * 2) == 0)
        size *= 2;
    return size;
}

}  // namespace

HalfScaleOutput::HalfScaleOutput(const BaselineState& state) : m_state(state)
{
    m_reduced.width = divide_round_up(state.width, 2);
    m_reduced.height = divide_round_up(state.height, 2);
    m_reduced.component_count = state.component_count;
    m_reduced.hmax = state.hmax;
    m_reduced.vmax = state.vmax;
    m_reduced.rgb = state.rgb;
    m_mcu_height = state.vmax * 4;
    const int mcus_per_row = divide_round_up(state.width, state.hmax * 8);
    for (int c = 0; c < state.component_count; ++c) {
        const BaselineComponent& full = state.components[c];
        const int size = scaled_block_size(state, full);
        m_block_size[c] = size;
        BaselineComponent& half = m_reduced.components[c];
        half = full;
        half.width = divide_round_up(static_cast<long long>(state.width) * full.h * size, state.hmax * 8LL);
        half.height = divide_round_up(static_cast<long long>(state.height) * full.v * size, state.vmax * 8LL);
        half.h_expand = state.hmax * 4 / (full.h * size);
        half.v_expand = state.vmax * 4 / (full.v * size);
        m_planes[c].allocate(mcus_per_row * full.h * size, 3 * full.v * size, 0);
    }
    m_upsampler.setup(m_reduced, m_reduced.width);
    m_rgb.resize(static_cast<std::size_t>(m_reduced.width) * 3);
}

void HalfScaleOutput::write_mcu(const HuffmanDecoder::Block* blocks, int mcu_x, int mcu_y)
{
    int n = 0;
    for (int i = 0; i < m_state.component_count; ++i) {
        const int c = m_state.scan_order[i];
        const BaselineComponent& component = m_state.components[c];
        const int size = m_block_size[c];
        const std::uint16_t* quantisation = m_state.quant[component.quant_table];
        const auto stride = static_cast<std::size_t>(m_planes[c].width);
        for (int index = 0; index < component.h * component.v; ++index, ++n) {
            const int column = (mcu_x * component.h + index % component.h) * size;
            const int row = (mcu_y * component.v + index / component.h) * size;
            std::uint8_t* out = m_planes[c].row(row) + column;
            if (size == 8)
                idct_islow(blocks[n], quantisation, out, stride);
            else
                idct_4x4(blocks[n], quantisation, out, stride);
        }
    }
}

bool HalfScaleOutput::emit_rows(int mcu_row, const RowCallback& on_row)
{
    const int end = std::min((mcu_row + 1) * m_mcu_height, m_reduced.height);
    for (int y = mcu_row * m_mcu_height; y < end; ++y) {
        m_upsampler.convert_row(m_planes, y, 0, m_reduced.width, m_rgb.data());
        if (!on_row(m_rgb.data(), y))
            return false;
    }
    return true;
}
