#include "library/oriented_piece_creator.h"

#include <algorithm>
#include "library/exif_reader.h"
#include "pixels/render_surface.h"

namespace {

// Stored tiles kept: two rows of a screenful, so that each stored tile is
// decoded once while the pane asks for the displayed tiles around it.
constexpr std::size_t kept_tiles = 8;

}  // namespace

OrientedPieceCreator::OrientedPieceCreator(std::unique_ptr<PieceCreator> stored, Orientation orientation)
    : m_stored(std::move(stored)), m_orientation(orientation)
{
}

OrientedPieceCreator::~OrientedPieceCreator() = default;

Size OrientedPieceCreator::size() const
{
    return displayed_size(m_stored->size(), m_orientation);
}

// A stored tile from the kept ones, or made and kept in place of the one
// used longest ago; null when the stored source fails.
const RenderSurface* OrientedPieceCreator::stored_tile(int tx, int ty, int z)
{
    ++m_stamp;
    for (StoredTile& tile : m_tiles)
        if (tile.tx == tx && tile.ty == ty && tile.z == z) {
            tile.stamp = m_stamp;
            return tile.surface.get();
        }
    std::unique_ptr<RenderSurface> surface = m_stored->get_piece(tx, ty, z);
    if (!surface || !surface->buffer())
        return nullptr;
    StoredTile made{tx, ty, z, m_stamp, std::move(surface)};
    if (m_tiles.size() < kept_tiles) {
        m_tiles.push_back(std::move(made));
        return m_tiles.back().surface.get();
    }
    auto oldest = std::min_element(m_tiles.begin(), m_tiles.end(),
                                   [](const StoredTile& a, const StoredTile& b) { return a.stamp < b.stamp; });
    *oldest = std::move(made);
    return oldest->surface.get();
}

std::unique_ptr<RenderSurface> OrientedPieceCreator::get_piece(int tx, int ty, int z)
{
    if (!ok() || z < 0 || z > levels())
        return nullptr;
    const Size stored = reduced_size(m_stored->size(), levels() - z);
    const Size shown = displayed_size(stored, m_orientation);
    const Size tiles = tile_count(shown);
    if (tx < 0 || ty < 0 || tx >= tiles.width || ty >= tiles.height)
        return nullptr;
    const Point origin{tx * tile_size, ty * tile_size};
    const Rect area{origin.x, origin.y, std::min(origin.x + tile_size, shown.width),
                    std::min(origin.y + tile_size, shown.height)};
    const Rect source = stored_rect(area, stored, m_orientation);
    auto tile = std::make_unique<RenderSurface>(Size{tile_size, tile_size});
    if (!tile->buffer())
        return nullptr;
    tile->buffer()->clear(0);
    for (int sy = source.top / tile_size; sy <= (source.bottom - 1) / tile_size; ++sy)
        for (int sx = source.left / tile_size; sx <= (source.right - 1) / tile_size; ++sx) {
            const RenderSurface* piece = stored_tile(sx, sy, z);
            if (!piece)
                return nullptr;
            const Point piece_origin{sx * tile_size, sy * tile_size};
            const Rect part{std::max(source.left, piece_origin.x), std::max(source.top, piece_origin.y),
                            std::min(source.right, piece_origin.x + tile_size),
                            std::min(source.bottom, piece_origin.y + tile_size)};
            copy_oriented(*piece->buffer(), piece_origin, part, stored, m_orientation, *tile->buffer(), origin);
        }
    return tile;
}

std::unique_ptr<PieceCreator> with_orientation(std::unique_ptr<PieceCreator> stored, StringView picture)
{
    if (!stored->ok())
        return stored;
    const Orientation orientation = read_orientation(picture);
    if (orientation == Orientation::upright)
        return stored;
    return std::make_unique<OrientedPieceCreator>(std::move(stored), orientation);
}
