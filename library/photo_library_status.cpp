#include "library/photo_library_status.h"

#include "platform/logged_lock.h"

namespace {

LibraryEvent progress_event(std::int32_t value, std::int32_t maximum)
{
    LibraryEvent event;
    event.progress = true;
    event.progress_ratio = static_cast<double>(value) / static_cast<double>(maximum);
    return event;
}

}  // namespace

void PhotoLibraryStatus::add_to_maximum(const char* operation, std::int32_t count)
{
    LoggedLock lock(m_mutex, operation, "m_progress_max_mutex");
    m_progress_max += count;
}

void PhotoLibraryStatus::reset_progress(const char* operation, std::int32_t still_queued)
{
    LoggedLock lock(m_mutex, operation, "m_progress_max_mutex");
    // The value is cleared too: left over from an earlier queue it could equal
    // the growing maximum in the middle of the search and end the progress early.
    m_progress_max = still_queued;
    m_progress_value = 0;
    m_last_reported = 0;
}

void PhotoLibraryStatus::picture_done(const char* operation, StringView picture)
{
    LoggedLock lock(m_mutex, operation, "m_picture_complete_mutex");
    m_picture_complete = String(picture);
    ++m_progress_value;
}

void PhotoLibraryStatus::picture_unwritten(const char* operation, StringView folder)
{
    LoggedLock lock(m_mutex, operation, "m_progress_value_mutex");
    ++m_progress_value;
    ++m_unwritten;
    m_unwritten_folder = String(folder);
}

void PhotoLibraryStatus::read_unwritten(std::int32_t& count, String& folder)
{
    LoggedLock lock(m_mutex, "read_unwritten", "m_progress_value_mutex");
    count = m_unwritten;
    folder = m_unwritten_folder;
}

void PhotoLibraryStatus::search_done(const char* operation)
{
    LoggedLock lock(m_mutex, operation, "m_search_complete_mutex");
    m_search_complete = true;
    m_progress_value = 0;
}

std::vector<LibraryEvent> PhotoLibraryStatus::take_events()
{
    std::vector<LibraryEvent> events;
    LoggedLock lock(m_mutex, "dispatch_events", "m_search_complete_mutex");
    if (m_search_complete) {
        LibraryEvent event;
        event.search_complete = true;
        events.push_back(event);
        m_search_complete = false;
    }
    if (!m_picture_complete.empty()) {
        LibraryEvent event;
        event.picture_complete = true;
        event.picture_path = std::move(m_picture_complete);
        events.push_back(std::move(event));
        m_picture_complete.clear();
    }
    if (m_progress_max != 0) {
        if (m_progress_value < m_progress_max && m_progress_value != m_last_reported) {
            m_last_reported = m_progress_value;
            events.push_back(progress_event(m_progress_value, m_progress_max));
        }
        if (m_progress_value == m_progress_max) {
            LibraryEvent event;
            event.cache_complete = true;
            events.push_back(event);
            // The last reported value starts again with the counters, so that
            // the next round reports its first steps.
            m_progress_value = 0;
            m_progress_max = 0;
            m_last_reported = 0;
        }
    }
    return events;
}

void PhotoLibraryStatus::read_progress(std::int32_t& value, std::int32_t& maximum)
{
    LoggedLock lock(m_mutex, "read_progress", "m_progress_value_mutex");
    value = m_progress_value;
    maximum = m_progress_max;
}
