#pragma once
// Helpers for tests that run the real message loop on SDL's dummy video driver.

#include <cstdlib>
#include "platform/window_system.h"

// Options for a small window on the dummy driver.
inline CommandLineOptions dummy_window_options(int orientation = 0)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    CommandLineOptions options;
    options.width = 120;
    options.height = 160;
    options.orientation = orientation;
    return options;
}

// Runs get/dispatch until the quit message; false when a 10 s guard had to end it
// (the guard only keeps a broken test from hanging).
inline bool run_message_loop(WindowSystem& windows)
{
    bool guard_fired = false;
    WindowId guard = windows.create_message_window([&](const Message& message) {
        if (message.id == WM_TIMER) {
            guard_fired = true;
            windows.post_quit_message(1);
        }
        return std::intptr_t(0);
    });
    windows.set_timer(guard, 1, 10000);
    Message message;
    while (windows.get_message(message))
        windows.dispatch_message(message);
    windows.destroy_window(guard);
    return !guard_fired;
}
