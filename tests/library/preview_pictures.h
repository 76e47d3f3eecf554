#pragma once
// Photo-like JPEG pictures for the preview and tile tests and benchmarks,
// written with libjpeg one scanline at a time (any size, no whole picture in
// memory), and libjpeg's own whole decode as the reference.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

struct PictureSpec {
    int width = 0;
    int height = 0;
    int components = 3;  // 1 grey, 3 YCbCr, 4 CMYK
    int h_sampling = 2;  // luma sampling factors: 2x2 is 4:2:0, 1x1 is 4:4:4
    int v_sampling = 2;
    int quality = 90;
    int restart_rows = 0;  // restart interval in MCU rows (0: none)
    int restart_mcus = 0;  // restart interval in MCUs (0: none), instead of rows
    bool progressive = false;
    bool arithmetic = false;
    unsigned seed = 1;
};

// A smooth, textured pattern: gradients, a few soft shapes and fine noise, so
// that it compresses like a photograph rather than like a flat test card.
inline void photo_row(const PictureSpec& spec, int y, std::uint8_t* out, int channels)
{
    const double fy = static_cast<double>(y) / spec.height;
    for (int x = 0; x < spec.width; ++x) {
        const double fx = static_cast<double>(x) / spec.width;
        unsigned h = (x * 73856093u) ^ (y * 19349663u) ^ (spec.seed * 83492791u);
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        h ^= h >> 15;
        const int noise = static_cast<int>(h & 15) - 8;
        const double wave = std::sin(fx * 23.0 + fy * 7.0) * std::cos(fy * 17.0 - fx * 5.0);
        const double disc = ((fx - 0.6) * (fx - 0.6) + (fy - 0.4) * (fy - 0.4)) < 0.04 ? 60.0 : 0.0;
        const int r = static_cast<int>(120 + 90 * fx + 30 * wave + disc) + noise;
        const int g = static_cast<int>(60 + 120 * fy + 40 * wave) + noise;
        const int b = static_cast<int>(200 - 150 * fx * fy - 30 * wave + ((x / 64 + y / 64) % 2) * 10) + noise;
        const int rgb[3] = {r, g, b};
        for (int c = 0; c < channels; ++c) {
            const int v = channels == 1 ? (r * 3 + g * 6 + b) / 10 : rgb[c % 3];
            out[x * channels + c] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
        if (channels == 4)
            out[x * 4 + 3] = static_cast<std::uint8_t>(40 + (x + y) % 60);
    }
}

// Writes the picture to path; false on failure.
inline bool write_picture(const std::string& path, const PictureSpec& spec)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(spec.width);
    cinfo.image_height = static_cast<JDIMENSION>(spec.height);
    cinfo.input_components = spec.components;
    cinfo.in_color_space = spec.components == 1 ? JCS_GRAYSCALE : spec.components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, spec.quality, TRUE);
    if (spec.components == 3) {
        cinfo.comp_info[0].h_samp_factor = spec.h_sampling;
        cinfo.comp_info[0].v_samp_factor = spec.v_sampling;
    }
    if (spec.restart_rows > 0)
        cinfo.restart_in_rows = spec.restart_rows;
    if (spec.restart_mcus > 0)
        cinfo.restart_interval = static_cast<unsigned>(spec.restart_mcus);
    if (spec.progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.arith_code = spec.arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(spec.width) * spec.components);
    while (cinfo.next_scanline < cinfo.image_height) {
        photo_row(spec, static_cast<int>(cinfo.next_scanline), row.data(), spec.components);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

// An RGB picture as libjpeg decodes it, three bytes a pixel, rows top-down.
struct ReferenceImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    const std::uint8_t* pixel(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// Reads the whole picture of a decompressor whose source is set, as RGB at
// 1/denom of its size, and releases the decompressor.
inline ReferenceImage read_rgb(jpeg_decompress_struct& cinfo, int denom = 1)
{
    ReferenceImage image;
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(denom);
    jpeg_start_decompress(&cinfo);
    image.width = static_cast<int>(cinfo.output_width);
    image.height = static_cast<int>(cinfo.output_height);
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {&image.rgb[static_cast<std::size_t>(cinfo.output_scanline) * image.width * 3]};
        jpeg_read_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return image;
}

// libjpeg's decode of a JPEG file (default settings) at 1/denom of its size.
inline ReferenceImage decode_reference(const std::string& path, int denom = 1)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return ReferenceImage{};
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    ReferenceImage image = read_rgb(cinfo, denom);
    std::fclose(file);
    return image;
}
