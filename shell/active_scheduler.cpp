#include "shell/active_scheduler.h"

#include <algorithm>
#include <string>
#include "platform/log.h"
#include "platform/tick.h"
#include "shell/timer.h"

namespace {

CActiveScheduler* g_current = nullptr;

// The hidden window's timer that wakes the scheduler for the next due timer.
constexpr std::uintptr_t reschedule_timer = 1;
// "No timer pending" in the search for the nearest due time.
constexpr std::int32_t no_pending_timer = 10000000;

[[noreturn]] void fail(const std::string& message, const char* where)
{
    fatal_error(message.c_str(), where);
}

}  // namespace

CActiveScheduler::CActiveScheduler(WindowSystem& windows) : m_windows(windows)
{
    m_window = m_windows.create_message_window([this](const Message& message) { return window_procedure(message); });
    g_current = this;
}

CActiveScheduler::~CActiveScheduler()
{
    if (m_active_counter.load() != 0)
        fail("Some active objects still live while scheduler is terminating active_counter=" +
                 std::to_string(m_active_counter.load()),
             "");
    if (g_current == this)
        g_current = nullptr;
    m_windows.destroy_window(m_window);
}

CActiveScheduler& CActiveScheduler::current()
{
    if (g_current == nullptr)
        fatal_error("No active scheduler", "CActiveScheduler::current()");
    return *g_current;
}

std::intptr_t CActiveScheduler::window_procedure(const Message& message)
{
    if (message.id == WM_ACTIVE_READY) {
        process_actives();
        return 0;
    }
    if (message.id == WM_TIMER && message.wparam == reschedule_timer) {
        reschedule();
        return 0;
    }
    return m_windows.default_procedure(message);
}

void CActiveScheduler::set_active(CActive& object)
{
    if (object.m_active.load())
        fail("Object " + std::to_string(object.id()) + " is already active", "CActiveScheduler::set_active()");
    object.m_active = true;
    ++m_active_counter;
}

void CActiveScheduler::notify(CActive& object)
{
    if (!object.m_active.load())
        fail("Active object " + std::to_string(object.id()) + " is not active", "CActiveScheduler::notify()");
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_ready.push_back(&object);
    }
    m_windows.post_message(m_window, WM_ACTIVE_READY, 0, 0);
}

void CActiveScheduler::mark_inactive(CActive& object)
{
    object.m_active = false;
    --m_active_counter;
}

void CActiveScheduler::process_actives()
{
    for (;;) {
        CActive* object = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_ready.empty())
                return;
            object = m_ready.front();
            m_ready.pop_front();
        }
        if (!object->m_active.load())
            fail("Active object " + std::to_string(object->id()) + " is not marked active",
                 "CActiveScheduler::process_actives()");
        mark_inactive(*object);
        object->run();
    }
}

bool CActiveScheduler::remove_ready(CActive& object)
{
    std::lock_guard<std::mutex> lock(m_lock);
    auto found = std::find(m_ready.begin(), m_ready.end(), &object);
    if (found == m_ready.end())
        return false;
    m_ready.erase(found);
    return true;
}

void CActiveScheduler::cancel(CActive& object)
{
    if (!object.m_active.load())
        return;
    object.cancel_request();
    // The completion may come from another thread: wait for each ready
    // message until the object's completion has arrived, then take it out.
    bool took_ready_message = false;
    while (!remove_ready(object)) {
        Message message;
        m_windows.wait_for_message(m_window, WM_ACTIVE_READY, message);
        took_ready_message = true;
    }
    mark_inactive(object);
    // Other completions that arrived meanwhile still need their message.
    if (took_ready_message)
        m_windows.post_message(m_window, WM_ACTIVE_READY, 0, 0);
}

void CActiveScheduler::add_timer(CTimer& timer)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_timers.push_back(&timer);
    }
    reschedule();
}

void CActiveScheduler::reschedule()
{
    m_windows.kill_timer(m_window, reschedule_timer);
    std::uint32_t now = get_tick_count();
    std::int32_t next = no_pending_timer;
    std::vector<CTimer*> due_timers;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::erase_if(m_timers, [&](CTimer* timer) {
            std::int32_t remaining = static_cast<std::int32_t>(timer->due() - now);
            if (remaining < 1) {
                due_timers.push_back(timer);
                return true;
            }
            next = std::min(next, remaining);
            return false;
        });
    }
    // notify takes the lock itself, so the due timers are notified after it is released.
    for (CTimer* timer : due_timers)
        notify(*timer);
    if (next != no_pending_timer)
        m_windows.set_timer(m_window, reschedule_timer, static_cast<std::uint32_t>(next));
}
