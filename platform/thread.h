#pragma once
// Worker threads, locks and events.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include "platform/thread_annotations.h"

// Base of every background worker: derive, implement run(), start().
class Thread {
public:
    Thread() = default;
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the worker; false when one is already held or creation failed.
    bool start();
    // Asks the worker to end; does not wake it (signal its Event after this).
    void request_stop();
    // The stop-request flag, read by the worker at the top of each cycle.
    bool stop_requested() const { return m_stop_requested.load(); }
    // Waits until the worker has ended; returns at once when none runs.
    void join();
    // Priority -2..2 (clamped) of this worker's thread, whichever thread asks,
    // as its nice value; false when no worker runs or the system refuses.
    bool set_priority(int level);

protected:
    // The worker body.
    virtual void run() = 0;

private:
    std::thread m_thread;
    std::atomic<int> m_system_id{0};  // the worker's kernel thread id while it runs
    std::atomic<bool> m_stop_requested{false};
};

// A non-recursive lock.
class CAPABILITY("mutex") Mutex {
public:
    void lock() ACQUIRE() { m_mutex.lock(); }
    void unlock() RELEASE() { m_mutex.unlock(); }

private:
    std::mutex m_mutex;
};

// Scope guard: holds a Mutex until the end of the scope.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
    ~MutexLock() RELEASE() { m_mutex.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& m_mutex;
};

// A manual- or auto-reset event, created unsignalled.
class Event {
public:
    explicit Event(bool manual_reset);
    // Waits without time limit until signalled (an auto-reset event is then reset).
    void wait();
    // Waits at most milliseconds; true when signalled.
    bool wait_for(unsigned milliseconds);
    void set();
    void reset();

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_signalled = false;
    const bool m_manual_reset;
};
