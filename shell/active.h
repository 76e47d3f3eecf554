#pragma once
// Active objects: one outstanding request each, completed on any thread and
// run later on the main thread by the CActiveScheduler.

#include <atomic>

class CActive {
public:
    // Takes the next id of the process-wide counter (0, 1, 2, ...).
    CActive();
    // Ends the process when the object is still active.
    virtual ~CActive();
    CActive(const CActive&) = delete;
    CActive& operator=(const CActive&) = delete;

    // Called on the main thread when the completed request is processed.
    virtual void run() = 0;
    // Asks the request's source to complete early (the scheduler then drops the completion).
    virtual void cancel_request() = 0;

    // Whether a request is outstanding.
    bool is_active() const { return m_active.load(); }
    int id() const { return m_id; }

private:
    friend class CActiveScheduler;
    // Read by notify on any thread; written on the main thread.
    std::atomic<bool> m_active{false};
    const int m_id;
};
