// Monotonic millisecond clock and sleep.

#include "platform/tick.h"

#include <cerrno>
#include <time.h>

std::uint32_t get_tick_count()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + now.tv_nsec / 1000000;
    return static_cast<std::uint32_t>(ms);
}

void sleep_ms(std::uint32_t milliseconds)
{
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}
