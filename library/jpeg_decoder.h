#pragma once
// JpegDecoder: the libjpeg decoder behind the system's stream interface.
// Reads any JPEG libjpeg reads (baseline, progressive, arithmetic-coded; grey,
// YCbCr, RGB, CMYK and YCCK) and always delivers RGB, 3 bytes per pixel.
// Library errors become false results; the process never exits.

#include <cstddef>
#include <cstdint>
#include <memory>
#include "library/baseline_decoder.h"

class InputStream;
struct JpegDecoderState;
struct JpegErrorManager;
struct jpeg_decompress_struct;

class JpegDecoder {
public:
    // Ceiling for libjpeg's own allocations (a progressive picture keeps all its
    // coefficients): a hostile header fails instead of exhausting memory.
    static constexpr long max_library_memory = 512L * 1024 * 1024;

    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Reads the header of the JPEG of length bytes at the stream's current position; sets ok().
    bool open(InputStream& stream, std::uint64_t length);
    // Whether the header was read.
    bool ok() const { return m_ok; }
    // Picture size and component count from the header.
    int width() const;
    int height() const;
    int components() const;
    // Whether the picture is progressive (libjpeg then holds all its coefficients while decoding).
    bool progressive() const;

    // Before start(): output scale 1/denominator, denominator 1, 2, 4 or 8 (others are refused).
    bool set_scale(int denominator);
    // Before start(): the fast integer DCT (whole-picture decodes) instead of the accurate one.
    void set_fast_dct(bool fast);
    // Begins decompression; output size is known afterwards.
    bool start();
    int output_width() const;
    int output_height() const;
    // Number of rows read so far.
    int current_scanline() const;
    // Reads the next row as output_width() * 3 bytes of RGB; false at the end or on an error.
    bool read_scanline(std::uint8_t* rgb);

    // Instead of start(): decodes only the window at full size (crop to its columns, skip the
    // rows above it) into rgb, window.width * 3 bytes per row, rows stride bytes apart.
    bool read_region(const PixelWindow& window, std::uint8_t* rgb, std::size_t stride);

    // After open(), for work on the coefficients (the transcoder): the library
    // object, and the error manager whose jump the caller sets around its calls.
    jpeg_decompress_struct* library_object();
    JpegErrorManager* error_manager();

    // Releases the library object; open() may be called again.
    void close();

private:
    // One row through the library, its errors caught: false on an error or the end.
    bool read_row(unsigned char* row);

    std::unique_ptr<JpegDecoderState> m_state;
    bool m_ok = false;
};
