#include "display/display.h"

#include <vector>
#include "display/device_model.h"
#include "display/frame_buffer_driver.h"
#include "display/frame_copy.h"
#include "display/offscreen_driver.h"
#include "display/rotating_driver.h"
#include "display/sdl_driver.h"

namespace {

enum class DriverKind { sdl, frame_buffer, offscreen };

bool g_all_keys = false;

bool frame_buffer_usable()
{
    FrameBufferGeometry geometry;
    return FrameBufferDriver::read_geometry(FrameBufferDriver::device_path(), geometry) &&
           geometry.bits_per_pixel == 16;
}

// The drivers found, in detection order: the window system's, the frame
// buffer's, and the offscreen buffer when the user chose it. The user's
// --display choice keeps only that driver. Unchosen, the frame buffer counts
// only where no window system shows the program: on a desktop /dev/fb0 is the
// console's, and drawing there would leave the program's window empty.
std::vector<DriverKind> detect_drivers(const WindowSystem& windows, WindowId window)
{
    DisplayChoice choice = windows.options().display;
    std::vector<DriverKind> found;
    bool any = choice == DisplayChoice::automatic;
    if ((any || choice == DisplayChoice::sdl) && windows.sdl_window(window) != nullptr)
        found.push_back(DriverKind::sdl);
    bool frame_buffer_wanted = choice == DisplayChoice::frame_buffer || (any && !windows.has_video());
    if (frame_buffer_wanted && frame_buffer_usable())
        found.push_back(DriverKind::frame_buffer);
    if (choice == DisplayChoice::offscreen)
        found.push_back(DriverKind::offscreen);
    return found;
}

std::unique_ptr<DisplayDriver> make_driver(DriverKind kind, WindowSystem& windows, WindowId window)
{
    switch (kind) {
    case DriverKind::sdl:
        return std::make_unique<SdlDriver>(windows, window);
    case DriverKind::frame_buffer:
        return std::make_unique<FrameBufferDriver>(FrameBufferDriver::device_path());
    case DriverKind::offscreen:
        return std::make_unique<OffscreenDriver>(windows.options().width, windows.options().height);
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<Display> Display::create(WindowSystem& windows, WindowId window, DisplayParameters& parameters)
{
    if (!windows.is_window(window))
        return nullptr;
    std::vector<DriverKind> candidates = detect_drivers(windows, window);
    // The last driver found is tried first; the window system's is the last resort.
    for (auto kind = candidates.rbegin(); kind != candidates.rend(); ++kind) {
        auto display = create_on(windows, window, make_driver(*kind, windows, window), parameters);
        if (display)
            return display;
    }
    return nullptr;
}

std::unique_ptr<Display> Display::create_on(WindowSystem& windows, WindowId window,
                                            std::unique_ptr<DisplayDriver> driver, DisplayParameters& parameters)
{
    if (!windows.is_window(window) || !driver)
        return nullptr;
    int wanted_orientation = parameters.orientation & 3;
    if (driver->native_orientation() != wanted_orientation)
        driver = std::make_unique<RotatingDriver>(std::move(driver), wanted_orientation);
    DisplayParameters delivered = parameters;
    if (!driver->open(delivered))
        return nullptr;
    delivered.swap_effect = parameters.swap_effect == 0 ? 1 : parameters.swap_effect;
    parameters = delivered;
    return std::unique_ptr<Display>(new Display(windows, window, std::move(driver), delivered));
}

bool Display::available(WindowSystem& windows, WindowId window)
{
    return !detect_drivers(windows, window).empty();
}

Display::Display(WindowSystem& windows, WindowId window, std::unique_ptr<DisplayDriver> driver,
                 const DisplayParameters& parameters)
    : m_windows(windows), m_window(window), m_driver(std::move(driver)), m_parameters(parameters)
{
    // A driver that is its own screen, or one that forgets its frame when the
    // caller wants it kept, is drawn through a private back buffer.
    PresentMode mode = m_driver->present_mode();
    bool wants_copy = m_parameters.swap_effect == 2;
    if (mode == PresentMode::none || (wants_copy && mode != PresentMode::copy)) {
        m_private_back_buffer = PixelBuffer::create(m_parameters.width, m_parameters.height);
        if (m_private_back_buffer)
            m_private_back_buffer->clear(0);
    }
    m_windows.set_fullscreen(m_window, true);
    g_all_keys = true;
}

Display::~Display()
{
    g_all_keys = false;
    m_windows.set_fullscreen(m_window, false);
}

bool all_keys_routed()
{
    return g_all_keys;
}

bool Display::begin()
{
    if (!m_active)
        return false;
    if (m_frame != nullptr)
        return true;
    m_driver_frame = m_driver->begin_frame();
    if (m_driver_frame == nullptr)
        return false;
    m_frame = m_private_back_buffer ? m_private_back_buffer.get() : m_driver_frame;
    return true;
}

PixelBuffer* Display::back_buffer()
{
    return m_frame;
}

void Display::present(int)
{
    if (m_frame == nullptr)
        return;
    if (m_private_back_buffer)
        copy_frame(*m_private_back_buffer, *m_driver_frame);
    m_driver->present();
    m_frame = nullptr;
    m_driver_frame = nullptr;
    ++m_presented_frames;
}

void Display::suspend()
{
    if (!m_active)
        return;
    m_active = false;
    m_windows.set_fullscreen(m_window, false);
    m_driver->suspend();
}

void Display::resume()
{
    if (m_active)
        return;
    m_active = true;
    m_windows.set_fullscreen(m_window, true);
    m_driver->resume();
}

int current_orientation(const WindowSystem& windows)
{
    return corrected_orientation(device_model(), windows.screen_settings().orientation);
}
