#pragma once
// The libjpeg destination manager of the system: compressed bytes collect in
// a 4096-byte piece that is written to an output stream whenever it is full.

#include <cstdint>
#include "library/jpeg_error.h"

class OutputStream;

struct StreamDestination {
    static constexpr std::size_t piece_size = 4096;

    jpeg_destination_mgr base;
    OutputStream* output;
    JOCTET piece[piece_size];
};

// Makes destination the compression object's destination, writing to output.
// A short write is a fatal library error (JERR_FILE_WRITE).
void attach_stream_destination(j_compress_ptr info, StreamDestination& destination, OutputStream& output);
