#pragma once
// Dequantisation and the accurate integer inverse DCT of one 8x8 block
// (the same arithmetic as libjpeg's default "islow" method).

#include <cstddef>
#include <cstdint>

// Multiplies the coefficients (natural order) by the quantisation table and writes
// the 8x8 samples, level-shifted and clamped to 0..255, rows stride bytes apart.
void idct_islow(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out,
                std::size_t stride);
