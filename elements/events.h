#pragma once
// Pen and key event records handed to elements by the application window.

#include "platform/text.h"

// Pen-down or pen-up at screen coordinates.
struct StylusEvent {
    int x = 0;
    int y = 0;
    int time = 0;       // milliseconds
    int reserved = 0;   // 0 for events from the window
    bool down = false;  // true: pen-down, false: pen-up
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
    int key = 0;  // a KeyCode
    bool pressed = false;
    bool first = true;  // false for an automatic repeat
};

// A turn of the mouse wheel or a two-finger pinch at screen coordinates.
struct GestureEvent {
    enum Kind { wheel, pinch_begin, pinch_move, pinch_end };
    Kind kind = wheel;
    int x = 0;  // the pointer, or the fingers' midpoint
    int y = 0;
    int notches = 0;    // wheel: positive turns away from the person (zoom in, scroll up)
    double span = 0.0;  // pinch: distance between the two fingers in pixels
};

// Typed text; never holds a character below 32.
struct CharEvent {
    String text;
};
