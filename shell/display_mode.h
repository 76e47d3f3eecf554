#pragma once
// The screen's mode as the program sees it: size, the area it draws into,
// orientation and density.

class WindowSystem;

struct DisplayMode {
    // The screen's size in pixels.
    int width = 0;
    int height = 0;
    // Top-left and size of the area the program draws into.
    int client_x = 0;
    int client_y = 0;
    int client_width = 0;
    int client_height = 0;
    // 0, 1, 2, 3 for 0, 90, 180, 270 degrees.
    int orientation = 0;
    // Vertical pixels per logical inch.
    int dpi = 0;
    friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

// The current mode: screen size, dpi and orientation from the window system,
// the client area the whole screen.
DisplayMode read_display_mode(const WindowSystem& windows);
