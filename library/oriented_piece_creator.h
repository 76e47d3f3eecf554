#pragma once
// OrientedPieceCreator: the tiles of a picture as its orientation tag shows
// it. It wraps the tile source of the stored picture, reports the displayed
// size, and makes each displayed tile from the stored tiles it covers, turned
// and mirrored. Where a flipped axis does not end on a tile border, a
// displayed tile covers parts of up to four stored tiles, so the last stored
// tiles are kept for the neighbouring displayed tiles that need them too.

#include <memory>
#include <vector>
#include "library/orientation.h"
#include "library/piece_creator.h"

class OrientedPieceCreator : public PieceCreator {
public:
    // Shows the tiles of stored (which it owns) as orientation says.
    OrientedPieceCreator(std::unique_ptr<PieceCreator> stored, Orientation orientation);
    ~OrientedPieceCreator() override;

    std::unique_ptr<RenderSurface> get_piece(int tx, int ty, int z) override;
    // The displayed size: width and height exchanged for a 90-degree tag.
    Size size() const override;
    int levels() const override { return m_stored->levels(); }
    bool ok() const override { return m_stored->ok(); }
    Orientation orientation() const { return m_orientation; }

private:
    struct StoredTile {
        int tx;
        int ty;
        int z;
        long stamp;
        std::unique_ptr<RenderSurface> surface;
    };
    const RenderSurface* stored_tile(int tx, int ty, int z);

    std::unique_ptr<PieceCreator> m_stored;
    Orientation m_orientation;
    std::vector<StoredTile> m_tiles;
    long m_stamp = 0;
};

// The tile source of picture shown as its orientation tag says: stored itself
// when the picture is upright, else stored wrapped. The tag is read once, here.
std::unique_ptr<PieceCreator> with_orientation(std::unique_ptr<PieceCreator> stored, StringView picture);
