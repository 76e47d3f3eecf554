#pragma once
// The scheduler of active objects: completions are queued from any thread
// and run on the main thread through a message to a hidden window.

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>
#include "platform/window_system.h"
#include "shell/active.h"

class CTimer;

// Message to the hidden window: the ready list has something to run.
constexpr unsigned WM_ACTIVE_READY = WM_USER + 5;

class CActiveScheduler {
public:
    // Creates the hidden window on windows; becomes the process's scheduler.
    explicit CActiveScheduler(WindowSystem& windows);
    // Ends the process while any object is still active; destroys the hidden window.
    ~CActiveScheduler();
    CActiveScheduler(const CActiveScheduler&) = delete;
    CActiveScheduler& operator=(const CActiveScheduler&) = delete;

    // The process's scheduler; ends the process when none exists.
    static CActiveScheduler& current();

    // Marks object active (its request started); fatal when it already is.
    void set_active(CActive& object);
    // Queues a completed request for run (any thread); fatal when object is not active.
    void notify(CActive& object);
    // Runs every queued completion in notification order (main thread).
    void process_actives();
    // Completes object's request early and drops it without run; nothing when inactive.
    void cancel(CActive& object);
    // How many objects are active.
    int active_count() const { return m_active_counter.load(); }

    // Adds an active timer to the timer list and reschedules.
    void add_timer(CTimer& timer);
    // Completes every due timer and sets the hidden window's timer for the next one.
    void reschedule();

private:
    std::intptr_t window_procedure(const Message& message);
    // Takes object off the ready list if it is there; true when it was.
    bool remove_ready(CActive& object);
    void mark_inactive(CActive& object);

    WindowSystem& m_windows;
    WindowId m_window = 0;
    // Guards the ready and timer lists; never held while run or cancel_request is called.
    std::mutex m_lock;
    std::atomic<int> m_active_counter{0};
    std::deque<CActive*> m_ready;
    std::vector<CTimer*> m_timers;
};
