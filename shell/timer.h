#pragma once
// A timer: an active object whose request completes at a due time; its run
// calls the owner's callback on the main thread.

#include <cstdint>
#include <functional>
#include "shell/active.h"

class CActiveScheduler;

class CTimer : public CActive {
public:
    // A timer on scheduler whose completion calls callback.
    CTimer(CActiveScheduler& scheduler, std::function<void()> callback);

    // Completes seconds from now (rounded to ms), replacing a pending completion.
    void after(double seconds);
    // Tick count at which the pending completion is due.
    std::uint32_t due() const { return m_due; }

    void run() override;
    void cancel_request() override;

private:
    CActiveScheduler& m_scheduler;
    std::function<void()> m_callback;
    std::uint32_t m_due = 0;
};
