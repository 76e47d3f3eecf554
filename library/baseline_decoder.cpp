#include "library/baseline_decoder.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include "library/baseline_half_scale.h"
#include "library/baseline_markers.h"
#include "library/baseline_upsampler.h"
#include "library/huffman_decoder.h"
#include "library/idct.h"
#include "platform/file.h"

namespace {

using Block = HuffmanDecoder::Block;

// The MCU's blocks in scan order: each component's h x v blocks, row by row.
EntropyLayout make_layout(const BaselineState& state)
{
    EntropyLayout layout;
    for (int i = 0; i < state.component_count; ++i) {
        const int c = state.scan_order[i];
        const BaselineComponent& component = state.components[c];
        for (int n = 0; n < component.h * component.v; ++n)
            layout.block_component[layout.block_count++] = c;
        layout.dc_table[c] = &state.dc_tables[component.dc_table];
        layout.ac_table[c] = &state.ac_tables[component.ac_table];
    }
    layout.restart_interval = state.restart_interval;
    layout.scan_start = state.scan_start;
    return layout;
}

// Calls visit(block number, component, index of the block within its component)
// for each block of an MCU in scan order.
template <typename Visit>
void for_each_block(const BaselineState& state, Visit visit)
{
    int n = 0;
    for (int i = 0; i < state.component_count; ++i) {
        const int c = state.scan_order[i];
        for (int index = 0; index < state.components[c].h * state.components[c].v; ++index)
            visit(n++, c, index);
    }
}

// Dequantises and transforms the MCU's blocks into the component planes.
void write_mcu(const BaselineState& state, const Block* blocks, int mcu_x, int mcu_y, SamplePlane* planes)
{
    for_each_block(state, [&](int n, int c, int index) {
        const BaselineComponent& component = state.components[c];
        const int column = (mcu_x * component.h + index % component.h) * 8 - planes[c].col_origin;
        const int row = (mcu_y * component.v + index / component.h) * 8;
        idct_islow(blocks[n], state.quant[component.quant_table], planes[c].row(row) + column,
                   static_cast<std::size_t>(planes[c].width));
    });
}

void report_mcu(const BaselineState& state, const Block* blocks, int mcu_x, int mcu_y,
                const BaselineDecoder::BlockCallback& on_block)
{
    for_each_block(state, [&](int n, int c, int index) { on_block(mcu_x, mcu_y, c, index, blocks[n]); });
}

// Inclusive range of MCUs (along one axis) whose samples the pixels
// [first, last] need, context samples of the filters included.
struct McuSpan {
    int first = INT_MAX;
    int last = -1;

    void add(int first_pixel, int last_pixel, int expand, bool context, int samples, int mcu_samples)
    {
        const int margin = context ? 1 : 0;
        const int first_sample = std::max(first_pixel / expand - margin, 0);
        const int last_sample = std::min(last_pixel / expand + margin, samples - 1);
        first = std::min(first, first_sample / mcu_samples);
        last = std::max(last, last_sample / mcu_samples);
    }
};

}  // namespace

BaselineDecoder::BaselineDecoder() = default;
BaselineDecoder::~BaselineDecoder() = default;

BaselineStatus BaselineDecoder::open(InputStream& stream, std::uint64_t offset, std::uint64_t length)
{
    m_info = BaselineInfo();
    m_state.reset();
    // A record counts the bytes left in 32 bits: larger data cannot have records.
    if (length > UINT32_MAX)
        return BaselineStatus::unsupported;
    m_state = std::make_unique<BaselineState>();
    m_state->source.attach(stream, offset, length);
    const BaselineStatus status = read_baseline_markers(*m_state);
    if (status != BaselineStatus::ok) {
        m_state.reset();
        return status;
    }
    const BaselineState& state = *m_state;
    m_info.width = state.width;
    m_info.height = state.height;
    m_info.components = state.component_count;
    m_info.mcu_width = state.hmax * 8;
    m_info.mcu_height = state.vmax * 8;
    m_info.mcus_per_row = (state.width + m_info.mcu_width - 1) / m_info.mcu_width;
    m_info.mcu_rows = (state.height + m_info.mcu_height - 1) / m_info.mcu_height;
    m_info.tile_columns = ((state.width - 1) >> 8) + 1;
    m_info.mcus_per_tile_column = 256 / m_info.mcu_width;
    m_info.restart_interval = state.restart_interval;
    m_record_lead = 0;
    for (int c = 0; c < state.component_count; ++c)
        if (uses_column_context(state.components[c]))
            m_record_lead = 1;
    return BaselineStatus::ok;
}

// The tile column whose record the sequential decode reports before the MCU
// at mcu_column, or -1.
int BaselineDecoder::record_tile_column(int mcu_column) const
{
    if (mcu_column == 0)
        return 0;
    if ((mcu_column + m_record_lead) % m_info.mcus_per_tile_column != 0)
        return -1;
    const int tile_column = (mcu_column + m_record_lead) / m_info.mcus_per_tile_column;
    return tile_column < m_info.tile_columns ? tile_column : -1;
}

// The MCU column a record of tile_column resumes at; -1 for a record that
// cannot be one of that column's.
int BaselineDecoder::record_column(int tile_column, const ResumeRecord& record) const
{
    const int early = (record.state_a & record_one_mcu_early) != 0 ? 1 : 0;
    if (tile_column == 0 && early)
        return -1;
    return tile_column * m_info.mcus_per_tile_column - early;
}

// The tile column whose record in MCU row row is the last one at or before
// first_column: the one to restore from to reach first_column soonest.
int BaselineDecoder::window_tile_column(const std::vector<ResumeRecord>& records, int row, int first_column) const
{
    const auto record = [&](int tile_column) -> const ResumeRecord& {
        return records[static_cast<std::size_t>(tile_column) + static_cast<std::size_t>(m_info.tile_columns) * row];
    };
    const int tile_column = first_column / m_info.mcus_per_tile_column;
    const int next = tile_column + 1;
    if (next < m_info.tile_columns && record_column(next, record(next)) >= 0 &&
        record_column(next, record(next)) <= first_column)
        return next;
    return tile_column;
}

bool BaselineDecoder::is_first_record(const ResumeRecord& record) const
{
    return m_state && record.remaining == m_state->source.length() - m_state->scan_start && record.dc0 == 0 &&
           record.dc1 == 0 && record.dc2 == 0 && record.bits_left == 0;
}

// The sequential decode shared by the full and half-size decodes: reports
// the records and, when pixels is set, hands each MCU's blocks to write(blocks,
// column, row) and each finished MCU row to emit(row).
template <typename Write, typename Emit>
bool BaselineDecoder::decode_sequential(const RecordCallback& on_record, bool pixels, Write write, Emit emit)
{
    if (!m_state)
        return false;
    HuffmanDecoder entropy;
    entropy.setup(m_state->source, make_layout(*m_state));
    if (!entropy.start())
        return false;
    Block blocks[EntropyLayout::max_blocks];
    for (int row = 0; row < m_info.mcu_rows; ++row) {
        for (int column = 0; column < m_info.mcus_per_row; ++column) {
            if (on_record && record_tile_column(column) >= 0) {
                ResumeRecord record = entropy.save();
                if (column > 0 && m_record_lead > 0)
                    record.state_a |= record_one_mcu_early;
                if (!on_record(record))
                    return false;
            }
            if (!entropy.decode_mcu(pixels ? blocks : nullptr))
                return false;
            if (pixels)
                write(blocks, column, row);
        }
        // A row is written out once the row below it, which its filters read, is decoded.
        if (pixels && row > 0 && !emit(row - 1))
            return false;
    }
    // The last MCU must end within the data: a scan cut short there is truncated too.
    if (entropy.used_padding())
        return false;
    return !pixels || emit(m_info.mcu_rows - 1);
}

bool BaselineDecoder::decode_with_records(const RecordCallback& on_record, const RowCallback& on_row)
{
    if (!m_state)
        return false;
    const BaselineState& state = *m_state;
    // Three MCU rows of samples: the row being written out needs the last
    // sample row of the one above and the first of the one below.
    SamplePlane planes[3];
    BaselineUpsampler upsampler;
    std::vector<std::uint8_t> rgb;
    if (on_row) {
        for (int c = 0; c < state.component_count; ++c) {
            const BaselineComponent& component = state.components[c];
            planes[c].allocate(m_info.mcus_per_row * component.h * 8, 3 * component.v * 8, 0);
        }
        upsampler.setup(state, state.width);
        rgb.resize(static_cast<std::size_t>(state.width) * 3);
    }
    const auto write = [&](const Block* blocks, int column, int row) { write_mcu(state, blocks, column, row, planes); };
    const auto emit = [&](int mcu_row) {
        const int end = std::min((mcu_row + 1) * m_info.mcu_height, state.height);
        for (int y = mcu_row * m_info.mcu_height; y < end; ++y) {
            upsampler.convert_row(planes, y, 0, state.width, rgb.data());
            if (!on_row(rgb.data(), y))
                return false;
        }
        return true;
    };
    return decode_sequential(on_record, static_cast<bool>(on_row), write, emit);
}

bool BaselineDecoder::decode_half_with_records(const RecordCallback& on_record, const RowCallback& on_half_row)
{
    if (!m_state)
        return false;
    HalfScaleOutput output(*m_state);
    const auto write = [&](const Block* blocks, int column, int row) { output.write_mcu(blocks, column, row); };
    const auto emit = [&](int mcu_row) { return output.emit_rows(mcu_row, on_half_row); };
    return decode_sequential(on_record, true, write, emit);
}

bool BaselineDecoder::decode_window(const std::vector<ResumeRecord>& records, const PixelWindow& window,
                                    std::uint8_t* rgb, std::size_t stride)
{
    if (!m_state || records.size() != m_info.record_count() || window.width <= 0 || window.height <= 0 ||
        window.x < 0 || window.y < 0 || window.x > m_info.width - window.width ||
        window.y > m_info.height - window.height)
        return false;
    BaselineState& state = *m_state;
    const int x_end = window.x + window.width;
    const int y_end = window.y + window.height;

    McuSpan columns, rows;
    for (int c = 0; c < state.component_count; ++c) {
        const BaselineComponent& component = state.components[c];
        columns.add(window.x, x_end - 1, component.h_expand, uses_column_context(component), component.width,
                    component.h * 8);
        rows.add(window.y, y_end - 1, component.v_expand, uses_row_context(component), component.height,
                 component.v * 8);
    }
    SamplePlane planes[3];
    for (int c = 0; c < state.component_count; ++c) {
        const BaselineComponent& component = state.components[c];
        planes[c].allocate((columns.last - columns.first + 1) * component.h * 8,
                           (rows.last - rows.first + 1) * component.v * 8, columns.first * component.h * 8);
    }

    // Each MCU row starts at the last record at or before the first MCU
    // wanted; MCUs before that one are entropy-decoded only.
    HuffmanDecoder entropy;
    entropy.setup(state.source, make_layout(state));
    m_window_mcus = 0;
    Block blocks[EntropyLayout::max_blocks];
    for (int row = rows.first; row <= rows.last; ++row) {
        const int tile_column = window_tile_column(records, row, columns.first);
        const ResumeRecord& record =
            records[static_cast<std::size_t>(tile_column) + static_cast<std::size_t>(m_info.tile_columns) * row];
        const int first_decoded = record_column(tile_column, record);
        if (first_decoded < 0 || !entropy.restore(record))
            return false;
        for (int column = first_decoded; column <= columns.last; ++column) {
            const bool wanted = column >= columns.first;
            ++m_window_mcus;
            if (!entropy.decode_mcu(wanted ? blocks : nullptr))
                return false;
            if (wanted)
                write_mcu(state, blocks, column, row, planes);
        }
    }

    BaselineUpsampler upsampler;
    upsampler.setup(state, window.width);
    for (int y = window.y; y < y_end; ++y)
        upsampler.convert_row(planes, y, window.x, x_end, rgb + stride * static_cast<std::size_t>(y - window.y));
    return true;
}

bool BaselineDecoder::decode_coefficients(const BlockCallback& on_block)
{
    if (!m_state)
        return false;
    HuffmanDecoder entropy;
    entropy.setup(m_state->source, make_layout(*m_state));
    if (!entropy.start())
        return false;
    Block blocks[EntropyLayout::max_blocks];
    for (int row = 0; row < m_info.mcu_rows; ++row) {
        for (int column = 0; column < m_info.mcus_per_row; ++column) {
            if (!entropy.decode_mcu(blocks))
                return false;
            report_mcu(*m_state, blocks, column, row, on_block);
        }
    }
    return !entropy.used_padding();
}

bool BaselineDecoder::decode_window_coefficients(const std::vector<ResumeRecord>& records, int tile_column,
                                                 int first_row, int row_count, const BlockCallback& on_block)
{
    if (!m_state || records.size() != m_info.record_count() || tile_column < 0 || tile_column >= m_info.tile_columns ||
        first_row < 0 || row_count < 0 || first_row > m_info.mcu_rows - row_count)
        return false;
    HuffmanDecoder entropy;
    entropy.setup(m_state->source, make_layout(*m_state));
    const int first_column = tile_column * m_info.mcus_per_tile_column;
    const int end_column = std::min(first_column + m_info.mcus_per_tile_column, m_info.mcus_per_row);
    m_window_mcus = 0;
    Block blocks[EntropyLayout::max_blocks];
    for (int row = first_row; row < first_row + row_count; ++row) {
        const ResumeRecord& record =
            records[static_cast<std::size_t>(tile_column) + static_cast<std::size_t>(m_info.tile_columns) * row];
        const int first_decoded = record_column(tile_column, record);
        if (first_decoded < 0 || !entropy.restore(record))
            return false;
        for (int column = first_decoded; column < end_column; ++column) {
            ++m_window_mcus;
            if (!entropy.decode_mcu(blocks))
                return false;
            if (column >= first_column)
                report_mcu(*m_state, blocks, column, row, on_block);
        }
    }
    return true;
}
