#include "shell/timer.h"

#include <algorithm>
#include <cmath>
#include "platform/tick.h"
#include "shell/active_scheduler.h"

namespace {

// Longest delay a timer accepts (about 24 days), so due times never wrap past now.
constexpr double max_delay_ms = 2147483647.0;

// Milliseconds rounded half up; negative, NaN and huge delays are clamped.
std::uint32_t delay_ms(double seconds)
{
    double ms = seconds * 1000.0 + 0.5;
    if (!(ms >= 0.0))
        return 0;
    return static_cast<std::uint32_t>(std::min(std::floor(ms), max_delay_ms));
}

}  // namespace

CTimer::CTimer(CActiveScheduler& scheduler, std::function<void()> callback)
    : m_scheduler(scheduler), m_callback(std::move(callback))
{
}

void CTimer::after(double seconds)
{
    std::uint32_t due = get_tick_count() + delay_ms(seconds);
    if (is_active())
        m_scheduler.cancel(*this);
    m_due = due;
    m_scheduler.set_active(*this);
    m_scheduler.add_timer(*this);
}

void CTimer::run()
{
    if (m_callback)
        m_callback();
}

void CTimer::cancel_request()
{
    m_due = get_tick_count();
    m_scheduler.reschedule();
}
