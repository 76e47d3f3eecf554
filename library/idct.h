#pragma once
// Dequantisation and the integer inverse DCTs of one 8x8 block: the accurate
// full-size one (the same arithmetic as libjpeg's default "islow" method) and
// the reduced one that yields the block at half size (libjpeg's 4x4 method
// for scaled decoding). A flat block (only its DC coefficient set) is filled
// at once; the others go to the SSE2 kernels on x86-64, else to the portable ones.

#include <cstddef>
#include <cstdint>

// Multiplies the coefficients (natural order) by the quantisation table and writes
// the 8x8 samples, level-shifted and clamped to 0..255, rows stride bytes apart.
void idct_islow(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                std::size_t stride);

// As idct_islow, but writes the block reduced to 4x4 samples (rows stride bytes
// apart), transforming only the coefficients a 4x4 output needs.
void idct_4x4(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
              std::size_t stride);
