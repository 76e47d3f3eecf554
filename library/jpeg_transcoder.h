#pragma once
// Lossless transcoding of a JPEG that libjpeg reads (progressive,
// arithmetic-coded, ...) into a sequential Huffman JPEG with optimised
// tables: the same quantised coefficients, so the same decoded pixels, in a
// form our own decoder can resume at any tile column.

#include <cstdint>
#include <functional>

class JpegDecoder;
class OutputStream;

enum class TranscodeResult {
    written,     // the whole transcode is in the output
    unsuitable,  // a kind our decoder would not resume either (CMYK, not 8-bit, 2 or 4 components)
    too_large,   // its coefficients would need more memory than allowed
    failed,      // libjpeg could not read the picture, or the output could not be written
    stopped,     // the stop check asked for it
};

// Asked after every row of blocks read or written; true ends the transcode.
using TranscodeStop = std::function<bool()>;

// Bytes of the whole-picture coefficient buffer a transcode of the opened picture holds.
std::uint64_t coefficient_buffer_size(JpegDecoder& picture);
// Transcodes the opened picture (header read, not started) into output when its
// coefficient buffer fits in memory_cap bytes. The picture's decoder is closed afterwards.
TranscodeResult transcode_to_baseline(JpegDecoder& picture, OutputStream& output, std::uint64_t memory_cap,
                                      const TranscodeStop& stop = {});
