#pragma once
// CachePieceCreator: tiles from a ready preview file, decoding only the
// compressed data of the tile's MCU rows and columns.

#include <cstdint>
#include <memory>
#include <vector>

#include "library/baseline_decoder.h"
#include "library/piece_creator.h"
#include "library/preview_file.h"
#include "platform/file.h"

class CachePieceCreator : public PieceCreator {
public:
    // Reads the picture's header and the level table of its preview under root.
    CachePieceCreator(StringView picture, StringView root);

    std::unique_ptr<RenderSurface> get_piece(int tx, int ty, int z) override;
    Size size() const override { return m_size; }
    int levels() const override { return m_levels; }
    bool ok() const override { return m_ok; }

    // The tile as RGB (3 bytes per pixel, rows of 3 * window width) before the
    // RGB565 conversion, and the size of the part inside the picture; false on failure.
    bool get_piece_rgb(int tx, int ty, int z, std::vector<std::uint8_t>& rgb, Size& window);

private:
    bool load_level(int stored);
    bool check_levels(const String& preview);

    String m_picture_path;
    File m_picture;
    File m_preview;
    File m_transcode;  // the baseline transcode of a picture our decoder cannot resume
    std::uint64_t m_picture_size = 0;
    Size m_size;
    int m_levels = 0;
    bool m_ok = false;
    // Where level 0's records point: the picture itself or its transcode; without
    // records libjpeg decodes full-resolution tiles from the picture.
    bool m_level0_records = false;
    InputStream* m_level0 = &m_picture;
    PreviewTable m_table;
    int m_loaded_level = -1;
    std::vector<ResumeRecord> m_records;
    BaselineDecoder m_decoder;
};
