#pragma once
// Copying whole frames between 16-bit buffers, straight or turned.

#include "pixels/pixel_buffer.h"

// Copies the part the two buffers have in common, row by row.
void copy_frame(const PixelBuffer& from, PixelBuffer& to);
// Copies logical onto physical turned by quarter_turns (0-3, as orientation
// values, mapped as logical_to_physical does); physical must have logical's
// size, swapped for odd turns (false and nothing copied otherwise).
bool rotate_copy(const PixelBuffer& logical, PixelBuffer& physical, int quarter_turns);
