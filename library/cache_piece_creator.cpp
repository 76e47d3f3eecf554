#include "library/cache_piece_creator.h"

#include <algorithm>

#include "library/jpeg_decoder.h"
#include "library/preview_pixels.h"
#include "pixels/render_surface.h"
#include "platform/paths.h"

CachePieceCreator::CachePieceCreator(StringView picture, StringView root) : m_picture_path(expand_path(picture))
{
    if (!m_picture.open_expanded(m_picture_path, File::read_mode))
        return;
    m_picture_size = m_picture.size();
    {
        JpegDecoder header;
        if (!header.open(m_picture, m_picture_size))
            return;
        m_size = {header.width(), header.height()};
    }
    m_levels = preview_levels(m_size.width, m_size.height);
    // The table is read with the L of the picture: a preview made for another
    // picture, or damaged, is refused here rather than when a tile is asked for.
    const String preview = preview_path(picture, root);
    if (preview.empty() || !m_preview.open(preview, File::read_mode) ||
        !read_preview_table(m_preview, m_levels, m_table))
        return;
    m_ok = check_levels(preview);
}

// Level 0's records are those of the picture when our decoder handles it, or
// of the transcode beside the preview when it does not; there are none for a
// picture without a transcode or with a damaged scan. A transcode that has
// gone missing leaves full resolution to libjpeg, like a picture without one.
bool CachePieceCreator::check_levels(const String& preview)
{
    std::uint64_t records = m_table.entries[0].records_length / resume_record_size;
    BaselineDecoder decoder;
    BaselineStatus status = decoder.open(m_picture, 0, m_picture_size);
    if (status == BaselineStatus::bad)
        return false;
    if (status == BaselineStatus::unsupported && records > 0 &&
        !m_transcode.open(transcode_path(preview), File::read_mode))
        records = 0;
    if (status == BaselineStatus::unsupported && records > 0) {
        m_level0 = &m_transcode;
        status = decoder.open(m_transcode, 0, m_transcode.size());
        if (status != BaselineStatus::ok || decoder.info().width != m_size.width ||
            decoder.info().height != m_size.height)
            return false;
    }
    m_level0_records = records > 0;
    return records == 0 || records == decoder.info().record_count();
}

// Opens the decoder over a level's compressed data (the picture file for
// level 0, the level's JPEG inside the preview otherwise) and reads its
// records. The JPEG must have the level's size and the records must be as many
// as its geometry makes before any of them is read, so a wild table can
// neither steer a decode nor ask for a large allocation.
bool CachePieceCreator::load_level(int stored)
{
    m_loaded_level = -1;
    m_records.clear();
    const PreviewLevel& entry = m_table.entries[static_cast<std::size_t>(stored)];
    if (stored == 0 && !m_level0_records) {
        m_loaded_level = 0;
        return true;  // check_levels made sure there are no records
    }
    const BaselineStatus status = stored == 0 ? m_decoder.open(*m_level0, 0, m_level0->size())
                                              : m_decoder.open(m_preview, entry.jpeg_offset, entry.jpeg_length);
    const Size expected = reduced_size(m_size, stored);
    const BaselineInfo& info = m_decoder.info();
    if (status != BaselineStatus::ok || info.width != expected.width || info.height != expected.height ||
        entry.records_length != info.record_count() * resume_record_size)
        return false;
    std::vector<std::uint8_t> bytes(entry.records_length);
    if (!m_preview.seek(entry.records_offset) ||
        m_preview.read(bytes.data(), entry.records_length) != entry.records_length ||
        !parse_resume_records(bytes.data(), bytes.size(), m_records) || m_records.empty() ||
        !m_decoder.is_first_record(m_records.front()))
        return false;
    m_loaded_level = stored;
    return true;
}

// The tile's window is decoded from the records alone, segment by segment.
// A tile spans 256 / MCU height MCU rows of its tile column: 16 rows of
// 16-pixel-high MCUs, or 32 rows of 8-pixel-high ones. Every one of those rows
// is a segment that begins at its own record, index tile column + tile
// columns * MCU row, so no segment depends on the decoding of the one above
// it and an 8-pixel-high picture simply has 32 segments instead of 16. Where
// the upsampler needs neighbouring chroma, the MCU rows just above and below
// the window (when the picture has them) are decoded as extra segments, and
// a window that starts at a tile-column border also decodes the MCU to its
// left, from its own column's record, which then sits one MCU early (previews
// made before records moved there start from the record of the column before). At the bottom edge the
// segments end with the picture's last MCU row.
// Full-resolution tiles of pictures without records (CMYK, too large for a
// transcode, a damaged scan) come from libjpeg's cropped decode of the picture
// instead; those of progressive and arithmetic-coded ones from their transcode.
bool CachePieceCreator::get_piece_rgb(int tx, int ty, int z, std::vector<std::uint8_t>& rgb, Size& window)
{
    if (!m_ok || z < 0 || z > m_levels)
        return false;
    const int stored = m_levels - z;
    if (stored != m_loaded_level && !load_level(stored))
        return false;
    const Size level = reduced_size(m_size, stored);
    const Size tiles = tile_count(level);
    if (tx < 0 || ty < 0 || tx >= tiles.width || ty >= tiles.height)
        return false;
    const PixelWindow area{tx * tile_size, ty * tile_size, std::min(tile_size, level.width - tx * tile_size),
                           std::min(tile_size, level.height - ty * tile_size)};
    window = {area.width, area.height};
    rgb.assign(static_cast<std::size_t>(area.width) * area.height * 3, 0);
    const std::size_t stride = static_cast<std::size_t>(area.width) * 3;
    if (stored == 0 && !m_level0_records) {
        JpegDecoder decoder;
        return m_picture.seek(0) && decoder.open(m_picture, m_picture_size) &&
               decoder.read_region(area, rgb.data(), stride);
    }
    return m_decoder.decode_window(m_records, area, rgb.data(), stride);
}

std::unique_ptr<RenderSurface> CachePieceCreator::get_piece(int tx, int ty, int z)
{
    std::vector<std::uint8_t> rgb;
    Size window;
    if (!get_piece_rgb(tx, ty, z, rgb, window))
        return nullptr;
    auto tile = std::make_unique<RenderSurface>(Size{tile_size, tile_size});
    if (!tile->buffer())
        return nullptr;
    tile->buffer()->clear(0);
    for (int y = 0; y < window.height; ++y)
        rgb_to_pixels(&rgb[static_cast<std::size_t>(y) * window.width * 3], tile->buffer()->row(y), window.width);
    return tile;
}
