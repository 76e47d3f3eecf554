#pragma once
// The status the library's worker reports to the user-interface thread: the
// preview progress, the end of a search and the last finished picture, all
// under one lock (logged as m_progress_max_mutex, m_progress_value_mutex,
// m_search_complete_mutex or m_picture_complete_mutex after the datum touched).

#include <cstdint>
#include <vector>
#include "library/library_event.h"
#include "platform/thread.h"

class PhotoLibraryStatus {
public:
    // count more pictures queued for a preview.
    void add_to_maximum(const char* operation, std::int32_t count);
    // A search starts: the counters start again, the maximum from the
    // pictures still queued (each of them will be counted as done).
    void reset_progress(const char* operation, std::int32_t still_queued);
    // A queued picture was dealt with: it becomes the picture to report.
    void picture_done(const char* operation, StringView picture);
    // A queued picture's preview could not be written in folder: counted as
    // dealt with, never reported as a complete picture.
    void picture_unwritten(const char* operation, StringView folder);
    // Pictures whose preview could not be written since the library started,
    // and the last folder that refused one.
    void read_unwritten(std::int32_t& count, String& folder);
    // A search ended: report it, and count the built previews from zero.
    void search_done(const char* operation);
    // The events the status calls for now (at most one of each kind), in
    // dispatch order; consumes what they report.
    std::vector<LibraryEvent> take_events();
    // Progress value and maximum as they are now.
    void read_progress(std::int32_t& value, std::int32_t& maximum);

private:
    Mutex m_mutex;
    std::int32_t m_progress_max GUARDED_BY(m_mutex) = 0;
    std::int32_t m_progress_value GUARDED_BY(m_mutex) = 0;
    std::int32_t m_last_reported GUARDED_BY(m_mutex) = 0;
    bool m_search_complete GUARDED_BY(m_mutex) = false;
    String m_picture_complete GUARDED_BY(m_mutex);
    std::int32_t m_unwritten GUARDED_BY(m_mutex) = 0;
    String m_unwritten_folder GUARDED_BY(m_mutex);
};
