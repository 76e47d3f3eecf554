#include "library/reducer.h"

#include <cstring>

Reducer::Reducer(int width, int height, RowSink sink)
    : m_width(width), m_height(height), m_output_width((width + 1) / 2), m_output_height((height + 1) / 2),
      m_sink(std::move(sink)), m_pending(static_cast<std::size_t>(width) * 3),
      m_second(static_cast<std::size_t>(width) * 3), m_sums(static_cast<std::size_t>(width) * 3),
      m_output(static_cast<std::size_t>(m_output_width) * 3)
{
}

bool Reducer::push_row(const std::uint8_t* rgb)
{
    if (m_rows_in >= m_height)
        return false;
    ++m_rows_in;
    if (m_rows_in % 2 == 1) {
        // A row decoded straight into place needs no copy.
        if (rgb != m_pending.data())
            std::memcpy(m_pending.data(), rgb, m_pending.size());
        return true;
    }
    return emit(m_pending.data(), rgb);
}

bool Reducer::finish()
{
    if (m_rows_in != m_height)
        return false;
    // An odd last row has no partner: it is paired with itself, so the mean
    // stays that of the pixels that exist.
    if (m_height % 2 == 1)
        return emit(m_pending.data(), m_pending.data());
    return true;
}

// Each output pixel is the rounded mean of a 2x2 block. The two rows are
// summed first (a loop the compiler vectorises), then neighbouring columns.
// The last column of an odd-width row has no partner pixel: its own pixel
// stands in for it, so nothing is read beyond the row.
bool Reducer::emit(const std::uint8_t* top, const std::uint8_t* bottom)
{
    std::uint16_t* sums = m_sums.data();
    const std::size_t samples = m_sums.size();
    for (std::size_t i = 0; i < samples; ++i)
        sums[i] = static_cast<std::uint16_t>(top[i] + bottom[i]);
    std::uint8_t* out = m_output.data();
    const int pairs = m_width / 2;
    for (int x = 0; x < pairs; ++x, out += 3, sums += 6) {
        out[0] = static_cast<std::uint8_t>((sums[0] + sums[3] + 2) >> 2);
        out[1] = static_cast<std::uint8_t>((sums[1] + sums[4] + 2) >> 2);
        out[2] = static_cast<std::uint8_t>((sums[2] + sums[5] + 2) >> 2);
    }
    if (m_width % 2 == 1)
        for (int c = 0; c < 3; ++c)
            out[c] = static_cast<std::uint8_t>((2 * sums[c] + 2) >> 2);
    return m_sink(m_output.data());
}
