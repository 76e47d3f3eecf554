#pragma once
// Test pictures for the JPEG layer: photo-like content compressed by libjpeg
// with chosen sampling factors, restart intervals and coding, and libjpeg's
// own default decode to compare against.

#include <cstdint>
#include <vector>

struct TestPictureOptions {
    int width = 64;
    int height = 48;
    int components = 3;  // 1 (grey), 3 (YCbCr) or 4 (CMYK, Adobe inverted)
    int h0 = 2;          // sampling factors of the first component; the others are 1x1
    int v0 = 2;
    int restart_interval = 0;  // MCUs, 0 = none
    int quality = 90;
    bool progressive = false;
    bool arithmetic = false;
    unsigned seed = 1;
};

// The layouts the baseline decoder handles, by name, for parameterised tests.
struct SamplingLayout {
    const char* name;
    int components;
    int h0;
    int v0;
};
inline constexpr SamplingLayout sampling_layouts[] = {
    {"s444", 3, 1, 1}, {"s422", 3, 2, 1}, {"s420", 3, 2, 2}, {"s440", 3, 1, 2}, {"grey", 1, 1, 1},
};

// Deterministic photo-like RGB: smooth gradients, soft blobs, fine texture and hard edges.
std::vector<std::uint8_t> make_photo_rgb(int width, int height, unsigned seed);
// Compresses photo-like content with the options.
std::vector<std::uint8_t> make_test_jpeg(const TestPictureOptions& options);
// libjpeg's decode with default settings (accurate DCT, fancy upsampling) to RGB; empty on failure.
std::vector<std::uint8_t> libjpeg_decode_rgb(const std::vector<std::uint8_t>& jpeg, int* width = nullptr,
                                             int* height = nullptr);
// PSNR in dB of two equally long byte arrays (1000 for identical ones).
double psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t count);
