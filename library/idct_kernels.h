#pragma once
// The transforms behind idct_islow and idct_4x4 for blocks that are not flat
// (same arguments): portable code in 32-bit vector lanes, and on x86-64 the
// SSE2 code that the two use there.

#include <cstddef>
#include <cstdint>

void idct_islow_lanes(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                      std::size_t stride);
void idct_4x4_lanes(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                    std::size_t stride);

#if defined(__SSE2__)
void idct_islow_sse2(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                     std::size_t stride);
void idct_4x4_sse2(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                   std::size_t stride);
#endif
