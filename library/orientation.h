#pragma once
// How a picture is shown: the EXIF orientation tag (1 to 8) says how the
// stored pixels are turned or mirrored to stand upright. Everything stored
// (the picture, its preview levels and thumbnail) keeps the stored
// orientation; the helpers here turn stored pixels into displayed ones.

#include <cstdint>
#include <memory>
#include "pixels/pixel_types.h"

class PixelBuffer;
class RenderSurface;

// The EXIF orientation values; the name says what is done to the stored
// pixels to show them.
enum class Orientation : std::uint8_t {
    upright = 1,       // as stored
    mirrored = 2,      // mirrored left to right
    turned_180 = 3,    // turned by 180 degrees
    flipped = 4,       // mirrored top to bottom
    transposed = 5,    // mirrored along the top-left to bottom-right diagonal
    turned_right = 6,  // turned by 90 degrees clockwise
    transverse = 7,    // mirrored along the top-right to bottom-left diagonal
    turned_left = 8,   // turned by 90 degrees anticlockwise
};

// The orientation of a tag value; anything outside 1 to 8 is upright.
Orientation orientation_from_tag(int value);
// Whether the orientation exchanges width and height.
bool swaps_axes(Orientation orientation);
// Size shown for a stored size.
Size displayed_size(Size stored, Orientation orientation);
// Displayed position of stored pixel point of a picture of size stored.
Point displayed_point(Point point, Size stored, Orientation orientation);
// Stored position of displayed pixel point of a picture of size stored.
Point stored_point(Point point, Size stored, Orientation orientation);
// The stored pixels that the displayed rectangle shows.
Rect stored_rect(Rect displayed, Size stored, Orientation orientation);

// Copies the stored pixels part (stored coordinates) of a picture of size
// stored into target, turned and mirrored. source's pixel (0, 0) is stored
// pixel source_origin, target's pixel (0, 0) is displayed pixel
// target_origin; part must lie inside source, and what it shows inside target.
void copy_oriented(const PixelBuffer& source, Point source_origin, Rect part, Size stored, Orientation orientation,
                   PixelBuffer& target, Point target_origin);
// The whole buffer as it is shown; null when memory is short.
std::unique_ptr<RenderSurface> oriented_copy(const PixelBuffer& source, Orientation orientation);
