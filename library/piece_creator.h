#pragma once
// Tile sources of the picture viewer: 256x256 RGB565 tiles at any zoom level.
//
// Zoom level z runs from 0 (the reduction whose longer side is at most 256
// pixels) to L (full resolution); level z shows the picture reduced by
// 2^(L - z), which is level L - z of its preview file. Tile (tx, ty) covers
// pixels [256 tx, 256 tx + 256) x [256 ty, 256 ty + 256) of that reduction;
// along the right and bottom edges only the part inside the picture is written.

#include <memory>
#include "pixels/pixel_types.h"
#include "platform/text.h"

class RenderSurface;

// Side of a square tile in pixels.
constexpr int tile_size = 256;

class PieceCreator {
public:
    virtual ~PieceCreator() = default;
    // The 256x256 tile (tx, ty) of zoom level z, or null on any failure.
    virtual std::unique_ptr<RenderSurface> get_piece(int tx, int ty, int z) = 0;
    // Width and height of the full-size picture.
    virtual Size size() const = 0;
    // L: the number of the full-resolution zoom level.
    virtual int levels() const = 0;
    // Whether construction succeeded (the picture's header was read).
    virtual bool ok() const = 0;
};

// Size of the picture of width x height reduced by 2^shift (rounded up).
Size reduced_size(Size full, int shift);
// Number of tile columns and rows of a picture of the given size.
Size tile_count(Size picture);
// The tile source the viewer uses for picture under root: the ready preview
// when there is one and it fits the picture, else the direct decode; either
// shows the picture as its orientation tag says.
std::unique_ptr<PieceCreator> create_piece_creator(StringView picture, StringView root);
