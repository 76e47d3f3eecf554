#pragma once
// BaselineSource: random access to the compressed bytes of one JPEG stored
// at [offset, offset + length) of an input stream, read in 4096-byte pieces.
// Positions are relative to the start of the JPEG.

#include <cstdint>

class InputStream;

class BaselineSource {
public:
    static constexpr std::uint32_t piece_size = 4096;

    // Attaches to the stream range; nothing is read yet.
    void attach(InputStream& stream, std::uint64_t offset, std::uint64_t length);
    // Length of the JPEG data in bytes.
    std::uint64_t length() const { return m_length; }
    // Position of the next byte.
    std::uint64_t position() const { return m_position; }
    // Moves to a position (at most length()); reading starts there.
    bool seek(std::uint64_t position);
    // Next byte, or -1 at the end of the data (or when the stream fails).
    int next()
    {
        if (m_position - m_piece_start < m_piece_length)
            return m_piece[m_position++ - m_piece_start];
        return next_from_new_piece();
    }
    // The bytes from the position to the end of the loaded piece (none until next() loads one).
    const std::uint8_t* loaded(std::uint32_t& count) const
    {
        const std::uint64_t offset = m_position - m_piece_start;
        count = offset < m_piece_length ? static_cast<std::uint32_t>(m_piece_length - offset) : 0;
        return m_piece + (count > 0 ? offset : 0);
    }
    // Moves past count bytes that loaded() returned.
    void advance(std::uint32_t count) { m_position += count; }
    // Copies count bytes and moves past them; false when the data ends first.
    bool read(std::uint8_t* out, std::uint32_t count);

private:
    int next_from_new_piece();
    bool load_piece_at(std::uint64_t position);

    InputStream* m_stream = nullptr;
    std::uint64_t m_offset = 0;
    std::uint64_t m_length = 0;
    std::uint64_t m_position = 0;
    std::uint64_t m_piece_start = 0;
    std::uint32_t m_piece_length = 0;
    std::uint8_t m_piece[piece_size];
};
