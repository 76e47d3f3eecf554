#pragma once
// Objects told when the screen's orientation changes (fonts, text elements).
// They enter a process-wide list on construction and leave it on destruction.
// Used on the user-interface thread only.

class OrientationObserver {
public:
    OrientationObserver();
    virtual ~OrientationObserver();
    OrientationObserver(const OrientationObserver&) = delete;
    OrientationObserver& operator=(const OrientationObserver&) = delete;

    // Called on every live observer when the orientation changed.
    virtual void on_orientation_changed() = 0;

    // Tells every live observer, in registration order.
    static void notify_all();
};
