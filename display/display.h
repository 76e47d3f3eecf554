#pragma once
// The display: the 16-bit frame output of direct mode. Per frame: begin,
// draw into the back buffer, present.

#include <memory>
#include "display/display_driver.h"
#include "platform/window_system.h"

class Display {
public:
    // The display for window, or null when no driver initialises; on success
    // parameters hold what is delivered.
    static std::unique_ptr<Display> create(WindowSystem& windows, WindowId window, DisplayParameters& parameters);
    // The display on a given driver, turned when the wanted orientation is not
    // the driver's own; null when the driver does not open.
    static std::unique_ptr<Display> create_on(WindowSystem& windows, WindowId window,
                                              std::unique_ptr<DisplayDriver> driver, DisplayParameters& parameters);
    // Whether any display output can be found for the window system's options.
    static bool available(WindowSystem& windows, WindowId window);
    // Shuts the driver down, leaves full screen and turns the key switch off.
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // Begins a frame; false while suspended or when the frame buffer cannot be reached.
    bool begin();
    // The surface of the begun frame; null when no frame is begun.
    PixelBuffer* back_buffer();
    // Ends the frame and shows it (flags are reserved, 0).
    void present(int flags);
    // Leaves full screen and pauses the driver; begin fails until resume.
    void suspend();
    // Takes full screen again and restarts the driver.
    void resume();
    bool is_suspended() const { return !m_active; }
    // What was delivered.
    const DisplayParameters& parameters() const { return m_parameters; }
    // The chosen driver's name.
    const char* driver_name() const { return m_driver->name(); }
    // Frames presented since creation (idle checks count them).
    long long presented_frames() const { return m_presented_frames; }
    // The pixels as last shown on the output; null when they cannot be read back.
    const PixelBuffer* shown_frame() const { return m_driver->shown_frame(); }

private:
    Display(WindowSystem& windows, WindowId window, std::unique_ptr<DisplayDriver> driver,
            const DisplayParameters& parameters);

    WindowSystem& m_windows;
    WindowId m_window;
    std::unique_ptr<DisplayDriver> m_driver;
    DisplayParameters m_parameters;
    std::unique_ptr<PixelBuffer> m_private_back_buffer;
    PixelBuffer* m_driver_frame = nullptr;
    PixelBuffer* m_frame = nullptr;
    bool m_active = true;
    long long m_presented_frames = 0;
};

// Whether all hardware keys are routed to the program: on while a display
// exists. A desktop has no such switch, so it is only remembered.
bool all_keys_routed();

// The display's orientation (0-3) as the system reports it, corrected for the device model.
int current_orientation(const WindowSystem& windows);
