#pragma once
// JpegEncoder: libjpeg compression of RGB rows into a MemoryStream
// (YCbCr, 2x2 chroma subsampling, standard Huffman tables, baseline).

#include <cstdint>
#include <memory>

class MemoryStream;
struct JpegEncoderState;

class JpegEncoder {
public:
    // Quality of the reduced preview levels and of the thumbnail.
    static constexpr int level_quality = 75;
    static constexpr int thumbnail_quality = 95;

    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // Starts a width x height picture of the given quality (1..100), appended to output.
    bool create(MemoryStream& output, int width, int height, int quality);
    // Whether create() succeeded and no error happened since.
    bool ok() const { return m_ok; }
    // Compresses the next row of width * 3 bytes of RGB.
    bool write_scanline(const std::uint8_t* rgb);
    // Completes the JPEG in the output stream; false when it is incomplete or an error happened.
    bool finish();

private:
    std::unique_ptr<JpegEncoderState> m_state;
    bool m_ok = false;
};
