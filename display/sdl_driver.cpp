#include "display/sdl_driver.h"

SdlDriver::SdlDriver(WindowSystem& windows, WindowId window) : m_windows(windows), m_window(window) {}

bool SdlDriver::open(DisplayParameters& parameters)
{
    int width = 0, height = 0;
    m_windows.physical_client_size(m_window, width, height);
    m_texture = std::make_unique<SdlTexture>(m_windows.renderer(m_window), width, height);
    if (!m_texture->is_valid()) {
        m_texture.reset();
        return false;
    }
    parameters.width = width;
    parameters.height = height;
    parameters.orientation = native_orientation();
    return true;
}

PixelBuffer* SdlDriver::begin_frame()
{
    return m_texture ? m_texture->lock() : nullptr;
}

void SdlDriver::present()
{
    if (m_texture)
        m_texture->show();
}
