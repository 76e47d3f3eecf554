#include "platform/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace {

// The reading operations both streams share, over a buffer and a position.
std::uint32_t read_bytes(const std::vector<std::uint8_t>& bytes, std::uint64_t& position, void* buffer,
                         std::uint32_t count)
{
    const std::uint64_t available = bytes.size() - std::min<std::uint64_t>(position, bytes.size());
    const auto taken = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, available));
    if (taken > 0)
        std::memcpy(buffer, bytes.data() + position, taken);
    position += taken;
    return taken;
}

bool seek_bytes(const std::vector<std::uint8_t>& bytes, std::uint64_t& position, std::uint64_t offset)
{
    if (offset > bytes.size())
        return false;
    position = offset;
    return true;
}

std::uint64_t skip_bytes(const std::vector<std::uint8_t>& bytes, std::uint64_t& position, std::uint64_t count)
{
    const std::uint64_t moved =
        std::min<std::uint64_t>(count, bytes.size() - std::min<std::uint64_t>(position, bytes.size()));
    position += moved;
    return moved;
}

}  // namespace

MemoryStream::MemoryStream(const std::uint8_t* data, std::size_t length) : m_bytes(data, data + length) {}

std::uint32_t MemoryStream::write(const void* buffer, std::uint32_t count)
{
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    return count;
}

std::uint32_t MemoryStream::read(void* buffer, std::uint32_t count)
{
    return read_bytes(m_bytes, m_position, buffer, count);
}

bool MemoryStream::seek(std::uint64_t offset)
{
    return seek_bytes(m_bytes, m_position, offset);
}

std::uint64_t MemoryStream::skip(std::uint64_t count)
{
    return skip_bytes(m_bytes, m_position, count);
}

void MemoryStream::reset()
{
    m_bytes.clear();
    m_position = 0;
}

std::uint32_t MemoryReader::read(void* buffer, std::uint32_t count)
{
    return read_bytes(m_bytes, m_position, buffer, count);
}

bool MemoryReader::seek(std::uint64_t offset)
{
    return seek_bytes(m_bytes, m_position, offset);
}

std::uint64_t MemoryReader::skip(std::uint64_t count)
{
    return skip_bytes(m_bytes, m_position, count);
}
