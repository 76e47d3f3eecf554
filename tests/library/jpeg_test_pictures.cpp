#include "jpeg_test_pictures.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

struct JumpingError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void jump_back(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JumpingError*>(info->err)->jump, 1);
}

void stay_quiet(j_common_ptr) {}

std::uint8_t to_byte(double value)
{
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : std::lround(value));
}

}  // namespace

std::vector<std::uint8_t> make_photo_rgb(int width, int height, unsigned seed)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    unsigned noise = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const double grain = static_cast<double>((noise >> 24) & 31) - 15.5;
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            const double blob = 60 * std::sin(x * 0.043 + seed) * std::cos(y * 0.031 - seed);
            const double edge = ((x / 37 + y / 29) % 3 == 0) ? 40 : 0;
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = to_byte(40 + 150 * u + blob + edge + grain);
            p[1] = to_byte(70 + 120 * v - 0.5 * blob + grain * 0.7);
            p[2] = to_byte(200 - 120 * u * v + 0.8 * blob - edge + grain * 0.5);
        }
    }
    return rgb;
}

std::vector<std::uint8_t> make_test_jpeg(const TestPictureOptions& options)
{
    const std::vector<std::uint8_t> rgb = make_photo_rgb(options.width, options.height, options.seed);
    jpeg_compress_struct info{};
    JumpingError error{};
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = jump_back;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<std::uint8_t> result;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(options.width);
    info.image_height = static_cast<JDIMENSION>(options.height);
    info.input_components = options.components;
    info.in_color_space = options.components == 1 ? JCS_GRAYSCALE : options.components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    info.comp_info[0].h_samp_factor = options.h0;
    info.comp_info[0].v_samp_factor = options.v0;
    for (int c = 1; c < info.num_components; ++c)
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    info.restart_interval = static_cast<unsigned>(options.restart_interval);
    info.arith_code = options.arithmetic ? TRUE : FALSE;
    if (options.progressive)
        jpeg_simple_progression(&info);
    if (options.components == 4)
        info.write_Adobe_marker = TRUE;
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(options.width) * options.components);
    for (int y = 0; y < options.height; ++y) {
        const std::uint8_t* source = &rgb[static_cast<std::size_t>(y) * options.width * 3];
        for (int x = 0; x < options.width; ++x) {
            const std::uint8_t* p = source + x * 3;
            std::uint8_t* out = &row[static_cast<std::size_t>(x) * options.components];
            if (options.components == 1) {
                out[0] = static_cast<std::uint8_t>((p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8);
            } else if (options.components == 3) {
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
            } else {
                // Adobe's inverted CMYK: 255 means no ink.
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
                out[3] = 230;
            }
        }
        JSAMPROW rows = row.data();
        jpeg_write_scanlines(&info, &rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    result.assign(buffer, buffer + size);
    std::free(buffer);
    return result;
}

std::vector<std::uint8_t> libjpeg_decode_rgb(const std::vector<std::uint8_t>& jpeg, int* width, int* height)
{
    jpeg_decompress_struct info{};
    JumpingError error{};
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = jump_back;
    error.base.output_message = stay_quiet;
    std::vector<std::uint8_t> rgb;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    rgb.resize(static_cast<std::size_t>(info.output_width) * info.output_height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &rgb[static_cast<std::size_t>(info.output_scanline) * info.output_width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    if (width)
        *width = static_cast<int>(info.output_width);
    if (height)
        *height = static_cast<int>(info.output_height);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return rgb;
}

double psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t count)
{
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0)
        return 1000;
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(count) / sum);
}
