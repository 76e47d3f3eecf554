#include "display/offscreen_driver.h"

#include <cstring>

OffscreenDriver::OffscreenDriver(int width, int height) : m_width(width), m_height(height) {}

bool OffscreenDriver::open(DisplayParameters& parameters)
{
    m_drawing = PixelBuffer::create(m_width, m_height);
    m_shown = PixelBuffer::create(m_width, m_height);
    if (!m_drawing || !m_shown)
        return false;
    m_drawing->clear(0);
    m_shown->clear(0);
    parameters.width = m_width;
    parameters.height = m_height;
    parameters.orientation = native_orientation();
    return true;
}

void OffscreenDriver::present()
{
    // Both buffers have the same layout.
    std::memcpy(m_shown->row(0), m_drawing->row(0), static_cast<std::size_t>(m_drawing->pitch()) * m_drawing->height());
}
