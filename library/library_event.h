#pragma once
// What the photo library tells the screens, and the interface they listen on.

#include "platform/text.h"

// One notification; exactly one of the flags is set.
struct LibraryEvent {
    bool folders_changed = false;
    bool search_complete = false;
    bool cache_complete = false;
    bool progress = false;
    bool picture_complete = false;
    // The picture a picture_complete event names; empty otherwise.
    String picture_path;
    // Previews built / previews queued; meaningful only with progress.
    double progress_ratio = 0.0;
};

// A screen that wants the library's events registers itself with add_observer.
class LibraryObserver {
public:
    // Removes the observer from the library's list.
    virtual ~LibraryObserver();
    // Called on the user-interface thread for each event; does nothing by default.
    virtual void on_library_event(const LibraryEvent& event);
};
