// Thread on std::thread, priorities as nice values, Event on a condition variable.

#include "platform/thread.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>

Thread::~Thread()
{
    // A derived class joins in its own destructor (its run() must not outlive
    // it); this only keeps a forgotten join from ending the process.
    join();
    if (m_thread.joinable())  // destroyed by its own worker: nothing to wait for
        m_thread.detach();
}

bool Thread::start()
{
    if (m_thread.joinable())
        return false;
    m_stop_requested = false;
    m_system_id = 0;
    // The worker's kernel id is known before start returns, so that any
    // thread may set the worker's priority at once. The promise's state is
    // shared, so the worker may still be inside set_value when start returns.
    std::promise<void> id_known;
    std::future<void> known = id_known.get_future();
    try {
        m_thread = std::thread([this, id_known = std::move(id_known)]() mutable {
            m_system_id = static_cast<int>(syscall(SYS_gettid));
            id_known.set_value();
            run();
        });
    } catch (const std::system_error&) {
        return false;
    }
    known.wait();
    return true;
}

void Thread::request_stop()
{
    m_stop_requested = true;
}

void Thread::join()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
        m_system_id = 0;  // the id may now belong to another thread
    }
}

bool Thread::set_priority(int level)
{
    static constexpr int nice_values[] = {10, 5, 0, -5, -10};
    const int index = std::clamp(level, -2, 2) + 2;
    const int system_id = m_system_id.load();
    if (system_id == 0)
        return false;
    return setpriority(PRIO_PROCESS, static_cast<id_t>(system_id), nice_values[index]) == 0;
}

Event::Event(bool manual_reset) : m_manual_reset(manual_reset) {}

void Event::wait()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_condition.wait(lock, [this] { return m_signalled; });
    if (!m_manual_reset)
        m_signalled = false;
}

bool Event::wait_for(unsigned milliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_condition.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_signalled; }))
        return false;
    if (!m_manual_reset)
        m_signalled = false;
    return true;
}

void Event::set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_signalled = true;
    }
    if (m_manual_reset)
        m_condition.notify_all();
    else
        m_condition.notify_one();
}

void Event::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = false;
}
