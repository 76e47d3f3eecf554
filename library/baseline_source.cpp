#include "library/baseline_source.h"

#include <algorithm>
#include <cstring>
#include "platform/file.h"

void BaselineSource::attach(InputStream& stream, std::uint64_t offset, std::uint64_t length)
{
    m_stream = &stream;
    m_offset = offset;
    m_length = length;
    m_position = 0;
    m_piece_start = 0;
    m_piece_length = 0;
}

bool BaselineSource::seek(std::uint64_t position)
{
    if (position > m_length)
        return false;
    m_position = position;
    return true;
}

// Reads the piece that starts at position; a short read of the stream makes
// the data end early, which the decoder then sees as truncation.
bool BaselineSource::load_piece_at(std::uint64_t position)
{
    m_piece_start = position;
    m_piece_length = 0;
    if (position >= m_length || !m_stream->seek(m_offset + position))
        return false;
    const auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(piece_size, m_length - position));
    m_piece_length = m_stream->read(m_piece, wanted);
    return m_piece_length > 0;
}

int BaselineSource::next_from_new_piece()
{
    if (!load_piece_at(m_position))
        return -1;
    return m_piece[m_position++ - m_piece_start];
}

bool BaselineSource::read(std::uint8_t* out, std::uint32_t count)
{
    while (count > 0) {
        if (m_position - m_piece_start >= m_piece_length && !load_piece_at(m_position))
            return false;
        const std::uint64_t in_piece = m_piece_start + m_piece_length - m_position;
        const auto taken = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, in_piece));
        std::memcpy(out, m_piece + (m_position - m_piece_start), taken);
        out += taken;
        count -= taken;
        m_position += taken;
    }
    return true;
}
