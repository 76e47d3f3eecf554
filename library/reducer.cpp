#include "library/reducer.h"

#include <cstring>

Reducer::Reducer(int width, int height, RowSink sink)
    : m_width(width),
      m_height(height),
      m_output_width((width + 1) / 2),
      m_output_height((height + 1) / 2),
      m_sink(std::move(sink)),
      m_pending(static_cast<std::size_t>(width) * 3),
      m_output(static_cast<std::size_t>(m_output_width) * 3)
{
}

bool Reducer::push_row(const std::uint8_t* rgb)
{
    if (m_rows_in >= m_height)
        return false;
    ++m_rows_in;
    if (m_rows_in % 2 == 1) {
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

// Each output pixel is the rounded mean of a 2x2 block. The last column of an
// odd-width row has no partner pixel: its own pixel stands in for it, so
// nothing is read beyond the row.
bool Reducer::emit(const std::uint8_t* top, const std::uint8_t* bottom)
{
    std::uint8_t* out = m_output.data();
    const int pairs = m_width / 2;
    for (int x = 0; x < pairs; ++x) {
        const std::uint8_t* a = top + 6 * x;
        const std::uint8_t* b = bottom + 6 * x;
        for (int c = 0; c < 3; ++c)
            out[3 * x + c] = static_cast<std::uint8_t>((a[c] + a[c + 3] + b[c] + b[c + 3] + 2) >> 2);
    }
    if (m_width % 2 == 1) {
        const std::uint8_t* a = top + 6 * pairs;
        const std::uint8_t* b = bottom + 6 * pairs;
        for (int c = 0; c < 3; ++c)
            out[3 * pairs + c] = static_cast<std::uint8_t>((2 * a[c] + 2 * b[c] + 2) >> 2);
    }
    return m_sink(out);
}
