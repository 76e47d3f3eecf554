#pragma once
// The error manager shared by JpegDecoder and JpegEncoder: a fatal library
// error jumps back to the operation that started the library call.

#include <csetjmp>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// Installs the manager into a compression or decompression object's err field.
jpeg_error_mgr* install_jpeg_error_manager(JpegErrorManager& manager);
