#include "library/jpeg_piece_creator.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "library/jpeg_decoder.h"
#include "library/preview_file.h"
#include "library/preview_pixels.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace {

// The decoder reduces by at most 8 (3 halvings).
constexpr int max_shift = 3;

}  // namespace

JpegPieceCreator::JpegPieceCreator(StringView picture) : m_picture_path(expand_path(picture))
{
    File file;
    JpegDecoder decoder;
    if (!file.open_expanded(m_picture_path, File::read_mode) || !decoder.open(file, file.size()))
        return;
    m_size = {decoder.width(), decoder.height()};
    m_levels = preview_levels(m_size.width, m_size.height);
    m_ok = true;
}

// The whole picture at the level's reduction with the fast integer DCT, kept
// as one RGB565 surface until another level is asked for.
bool JpegPieceCreator::decode_level(int z)
{
    m_decoded.reset();
    m_decoded_level = -1;
    const int shift = m_levels - z;
    if (shift > max_shift)
        return false;
    File file;
    JpegDecoder decoder;
    if (!file.open_expanded(m_picture_path, File::read_mode) || !decoder.open(file, file.size()) ||
        !decoder.set_scale(1 << shift))
        return false;
    decoder.set_fast_dct(true);
    if (!decoder.start())
        return false;
    const int width = decoder.output_width();
    const int height = decoder.output_height();
    auto surface = std::make_unique<RenderSurface>(Size{width, height});
    if (!surface->buffer())
        return false;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        if (!decoder.read_scanline(row.data()))
            return false;
        rgb_to_pixels(row.data(), surface->buffer()->row(y), width);
    }
    m_decoded = std::move(surface);
    m_decoded_level = z;
    return true;
}

std::unique_ptr<RenderSurface> JpegPieceCreator::get_piece(int tx, int ty, int z)
{
    if (!m_ok || z < 0 || z > m_levels || (z != m_decoded_level && !decode_level(z)))
        return nullptr;
    const PixelBuffer& picture = *m_decoded->buffer();
    const Size tiles = tile_count(picture.size());
    if (tx < 0 || ty < 0 || tx >= tiles.width || ty >= tiles.height)
        return nullptr;
    auto tile = std::make_unique<RenderSurface>(Size{tile_size, tile_size});
    if (!tile->buffer())
        return nullptr;
    tile->buffer()->clear(0);
    const int left = tx * tile_size;
    const int top = ty * tile_size;
    const int width = std::min(tile_size, picture.width() - left);
    const int height = std::min(tile_size, picture.height() - top);
    for (int y = 0; y < height; ++y)
        std::memcpy(tile->buffer()->row(y), picture.row(top + y) + left,
                    static_cast<std::size_t>(width) * sizeof(Pixel));
    return tile;
}
