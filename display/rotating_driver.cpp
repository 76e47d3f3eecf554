#include "display/rotating_driver.h"

#include <utility>
#include "display/frame_copy.h"

RotatingDriver::RotatingDriver(std::unique_ptr<DisplayDriver> inner, int wanted_orientation)
    : m_inner(std::move(inner)), m_orientation(wanted_orientation & 3),
      m_turns((m_orientation - m_inner->native_orientation()) & 3)
{
}

bool RotatingDriver::open(DisplayParameters& parameters)
{
    if (!m_inner->open(parameters))
        return false;
    if (m_turns & 1)
        std::swap(parameters.width, parameters.height);
    m_logical = PixelBuffer::create(parameters.width, parameters.height);
    if (!m_logical)
        return false;
    m_logical->clear(0);
    parameters.orientation = m_orientation;
    return true;
}

void RotatingDriver::present()
{
    PixelBuffer* physical = m_inner->begin_frame();
    if (physical == nullptr)
        return;
    rotate_copy(*m_logical, *physical, m_turns);
    m_inner->present();
}
