#pragma once
// Shared pieces of the preview and tile tests: a temporary search root, file
// bytes, little-endian fields and picture quality measures.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/library/preview_pictures.h"

// A fresh folder under the test temp dir, with a trailing separator.
inline std::string make_root()
{
    std::string pattern = testing::TempDir() + "pictavio_previewXXXXXX";
    char* made = mkdtemp(pattern.data());
    return made ? std::string(made) + "/" : std::string();
}

inline std::vector<std::uint8_t> file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (std::uint32_t(bytes[at + 3]) << 24);
}

inline std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// Offset of the first entropy-coded byte: just after the first SOS segment.
inline std::size_t scan_data_offset(const std::uint8_t* data, std::size_t size)
{
    std::size_t at = 2;
    while (at + 4 <= size && data[at] == 0xFF) {
        const int marker = data[at + 1];
        const std::size_t length = (data[at + 2] << 8) | data[at + 3];
        at += 2 + length;
        if (marker == 0xDA)
            return at;
    }
    return 0;
}

// Width and height from a JPEG file's header.
inline std::pair<int, int> header_size_of(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return {0, 0};
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    const std::pair<int, int> size{static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height)};
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return size;
}

// libjpeg's decode of JPEG bytes in memory to RGB.
inline ReferenceImage decode_bytes(const std::uint8_t* data, std::size_t size)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    return read_rgb(cinfo);
}

// Halves an image with the rounded 2x2 mean (edges repeated), as the preview does.
inline ReferenceImage halve(const ReferenceImage& in)
{
    ReferenceImage out;
    out.width = (in.width + 1) / 2;
    out.height = (in.height + 1) / 2;
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int x0 = 2 * x, y0 = 2 * y;
                const int x1 = x0 + 1 < in.width ? x0 + 1 : x0, y1 = y0 + 1 < in.height ? y0 + 1 : y0;
                const int sum = in.pixel(x0, y0)[c] + in.pixel(x1, y0)[c] + in.pixel(x0, y1)[c] + in.pixel(x1, y1)[c];
                out.rgb[(static_cast<std::size_t>(y) * out.width + x) * 3 + c] =
                    static_cast<std::uint8_t>((sum + 2) >> 2);
            }
    return out;
}

// Peak signal-to-noise ratio of a region of a against the same-sized region of b.
inline double psnr(const ReferenceImage& a, int ax, int ay, const ReferenceImage& b, int bx, int by, int width,
                   int height)
{
    double error = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = double(a.pixel(ax + x, ay + y)[c]) - b.pixel(bx + x, by + y)[c];
                error += d * d;
            }
    const double mse = error / (3.0 * width * height);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}
