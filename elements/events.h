#pragma once
// Pen and key event records handed to elements by the application window.

#include "platform/text.h"

// Pen-down or pen-up at screen coordinates.
struct StylusEvent {
    int x = 0;
    int y = 0;
    int time = 0;        // milliseconds
    int reserved = 0;    // 0 for events from the window
    bool down = false;   // true: pen-down, false: pen-up
    bool cancelled = false;
};

// Pen movement while the pen is down.
struct StylusMove {
    int x = 0;
    int y = 0;
    int time = 0;
};

// A key going down (possibly repeated) or up.
struct KeyEvent {
    int key = 0;         // a KeyCode
    bool pressed = false;
    bool first = true;   // false for an automatic repeat
};

// Typed text; never holds a character below 32.
struct CharEvent {
    String text;
};
