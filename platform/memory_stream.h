#pragma once
// Streams over bytes in memory: MemoryStream owns a growing buffer that is
// both written (the JPEG encoder) and read back (a decoder); MemoryReader
// reads bytes that something else owns.

#include <cstddef>
#include <cstdint>
#include <vector>
#include "platform/file.h"

class MemoryStream : public InputStream, public OutputStream {
public:
    MemoryStream() = default;
    // A stream over a copy of the given bytes, positioned at the start.
    MemoryStream(const std::uint8_t* data, std::size_t length);

    // Appends count bytes; returns count.
    std::uint32_t write(const void* buffer, std::uint32_t count) override;
    // Nothing to flush: the bytes are in memory.
    void flush() override {}
    // Reads from the read position onwards.
    std::uint32_t read(void* buffer, std::uint32_t count) override;
    std::uint64_t size() override { return m_bytes.size(); }
    std::uint64_t position() override { return m_position; }
    // Moves the read position; false past the end.
    bool seek(std::uint64_t offset) override;
    std::uint64_t skip(std::uint64_t count) override;

    // The bytes written so far.
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    // Forgets every byte and rewinds, ready for the next image.
    void reset();

private:
    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_position = 0;
};

// An input stream over bytes owned elsewhere, which must outlive it; several
// readers can go through the same bytes at once.
class MemoryReader : public InputStream {
public:
    explicit MemoryReader(const std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}

    // Reads from the read position onwards.
    std::uint32_t read(void* buffer, std::uint32_t count) override;
    std::uint64_t size() override { return m_bytes.size(); }
    std::uint64_t position() override { return m_position; }
    // Moves the read position; false past the end.
    bool seek(std::uint64_t offset) override;
    std::uint64_t skip(std::uint64_t count) override;

private:
    const std::vector<std::uint8_t>& m_bytes;
    std::uint64_t m_position = 0;
};
