#pragma once
// What the main screen hears about application-level events. The
// Application holds at most one listener (installed when the start screen
// hands over to the album screen).

#include <cstdint>
#include "elements/events.h"
#include "platform/text.h"

class Element;

class ApplicationListener {
public:
    virtual ~ApplicationListener() = default;
    // A later copy of the program was started with this command line: brings the window back.
    virtual void on_command_line(const String& command_line);
    // Whether the window may close now.
    virtual bool can_close() { return true; }
    // A screen was pushed on the screen stack.
    virtual void on_screen_shown(Element* /*screen*/) {}
    // A screen left the screen stack.
    virtual void on_screen_closed(Element* /*screen*/, bool /*closed*/) {}
    // The display mode changed (size, orientation or density).
    virtual void on_layout_changed() {}
    // The help request of the window, with the message's arguments.
    virtual void on_help(std::uintptr_t /*wparam*/, std::intptr_t /*lparam*/) {}
    // The window lost the focus.
    virtual void on_deactivate() {}
    // The window got the focus back.
    virtual void on_activate() {}
    // A key before the topmost screen sees it; true when handled.
    virtual bool on_key(const KeyEvent& /*event*/) { return false; }
};
