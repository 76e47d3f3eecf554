#pragma once
#include <cstdint>

// Milliseconds of CLOCK_MONOTONIC as an unsigned 32-bit number (wraps).
std::uint32_t get_tick_count();
// Suspends the calling thread for milliseconds.
void sleep_ms(std::uint32_t milliseconds);
