// Reading the display mode from the window system.

#include "shell/display_mode.h"

#include "platform/window_system.h"

DisplayMode read_display_mode(const WindowSystem& windows)
{
    const ScreenSettings screen = windows.screen_settings();
    DisplayMode mode;
    mode.width = screen.width;
    mode.height = screen.height;
    mode.client_width = screen.width;
    mode.client_height = screen.height;
    mode.orientation = screen.orientation & 3;
    mode.dpi = screen.dpi;
    return mode;
}
