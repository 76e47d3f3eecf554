#pragma once
// JpegPieceCreator: the slow path while a picture has no ready preview. It
// decodes the picture whole at the level's reduction (1/1 to 1/8) and cuts
// tiles from that.

#include <memory>

#include "library/piece_creator.h"
#include "pixels/render_surface.h"

class JpegPieceCreator : public PieceCreator {
public:
    // Reads the picture's header; nothing is decoded yet.
    explicit JpegPieceCreator(StringView picture);

    std::unique_ptr<RenderSurface> get_piece(int tx, int ty, int z) override;
    Size size() const override { return m_size; }
    int levels() const override { return m_levels; }
    bool ok() const override { return m_ok; }

private:
    bool decode_level(int z);

    String m_picture_path;
    Size m_size;
    int m_levels = 0;
    bool m_ok = false;
    int m_decoded_level = -1;
    std::unique_ptr<RenderSurface> m_decoded;
};
