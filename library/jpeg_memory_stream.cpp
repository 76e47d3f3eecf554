#include "library/jpeg_memory_stream.h"

#include <algorithm>
#include <cstring>

MemoryStream::MemoryStream(const std::uint8_t* data, std::size_t length)
    : m_bytes(data, data + length)
{
}

std::uint32_t MemoryStream::write(const void* buffer, std::uint32_t count)
{
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    return count;
}

std::uint32_t MemoryStream::read(void* buffer, std::uint32_t count)
{
    const std::uint64_t available = m_bytes.size() - std::min<std::uint64_t>(m_position, m_bytes.size());
    const auto taken = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, available));
    if (taken > 0)
        std::memcpy(buffer, m_bytes.data() + m_position, taken);
    m_position += taken;
    return taken;
}

bool MemoryStream::seek(std::uint64_t offset)
{
    if (offset > m_bytes.size())
        return false;
    m_position = offset;
    return true;
}

std::uint64_t MemoryStream::skip(std::uint64_t count)
{
    const std::uint64_t moved = std::min<std::uint64_t>(count, m_bytes.size() - m_position);
    m_position += moved;
    return moved;
}

void MemoryStream::reset()
{
    m_bytes.clear();
    m_position = 0;
}
