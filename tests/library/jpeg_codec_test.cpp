// The libjpeg layer: JpegEncoder into a MemoryStream, JpegDecoder over the
// stream interface with scaling, colour conversion and region decoding.

#include <algorithm>
#include <gtest/gtest.h>
#include "jpeg_test_pictures.h"
#include "library/baseline_decoder.h"
#include "library/jpeg_decoder.h"
#include "library/jpeg_encoder.h"
#include "platform/memory_stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes encode(const Bytes& rgb, int width, int height, int quality)
{
    MemoryStream output;
    JpegEncoder encoder;
    EXPECT_TRUE(encoder.create(output, width, height, quality));
    for (int y = 0; y < height; ++y)
        EXPECT_TRUE(encoder.write_scanline(&rgb[static_cast<std::size_t>(y) * width * 3]));
    EXPECT_TRUE(encoder.finish());
    return output.bytes();
}

// Decodes every row through JpegDecoder; empty when any step fails.
Bytes decode(const Bytes& jpeg, int scale = 1, bool fast = false, int* width = nullptr, int* height = nullptr)
{
    MemoryStream stream(jpeg.data(), jpeg.size());
    JpegDecoder decoder;
    if (!decoder.open(stream, jpeg.size()) || !decoder.set_scale(scale))
        return {};
    decoder.set_fast_dct(fast);
    if (!decoder.start())
        return {};
    Bytes rgb(static_cast<std::size_t>(decoder.output_width()) * decoder.output_height() * 3);
    for (int y = 0; y < decoder.output_height(); ++y) {
        if (decoder.current_scanline() != y ||
            !decoder.read_scanline(&rgb[static_cast<std::size_t>(y) * decoder.output_width() * 3]))
            return {};
    }
    if (width)
        *width = decoder.output_width();
    if (height)
        *height = decoder.output_height();
    return rgb;
}

TEST(JpegEncoder, WritesABaselineJpegThatDecodesCloseToTheInput)
{
    const Bytes rgb = make_photo_rgb(333, 222, 5);
    const Bytes level = encode(rgb, 333, 222, JpegEncoder::level_quality);
    const Bytes thumbnail = encode(rgb, 333, 222, JpegEncoder::thumbnail_quality);
    EXPECT_GT(thumbnail.size(), level.size());
    for (const Bytes* jpeg : {&level, &thumbnail}) {
        const Bytes decoded = decode(*jpeg);
        ASSERT_EQ(decoded.size(), rgb.size());
        EXPECT_GT(psnr(decoded.data(), rgb.data(), rgb.size()), 25.0);
        // Our own decoder takes it: baseline Huffman, 4:2:0.
        MemoryStream stream(jpeg->data(), jpeg->size());
        BaselineDecoder baseline;
        ASSERT_EQ(baseline.open(stream, 0, jpeg->size()), BaselineStatus::ok);
        EXPECT_EQ(baseline.info().mcu_width, 16);
        EXPECT_EQ(baseline.info().mcu_height, 16);
    }
}

TEST(JpegEncoder, RefusesIncompletePicturesAndImpossibleSizes)
{
    MemoryStream output;
    JpegEncoder encoder;
    EXPECT_FALSE(encoder.create(output, 0, 10, 75));
    EXPECT_FALSE(encoder.create(output, 70000, 10, 75));
    ASSERT_TRUE(encoder.create(output, 4, 2, 75));
    const std::uint8_t row[12] = {};
    EXPECT_TRUE(encoder.write_scanline(row));
    EXPECT_FALSE(encoder.finish());  // one row missing
    EXPECT_FALSE(encoder.write_scanline(row));

    // The memory stream starts over for the next picture.
    output.reset();
    EXPECT_EQ(output.size(), 0u);
    EXPECT_EQ(encode(Bytes(12, 128), 2, 2, 75).size() > 100, true);
}

TEST(JpegDecoder, ScalesByOneHalfToOneEighthRoundingUp)
{
    TestPictureOptions options;
    options.width = 203;
    options.height = 101;
    const Bytes jpeg = make_test_jpeg(options);
    const int expected[][3] = {{1, 203, 101}, {2, 102, 51}, {4, 51, 26}, {8, 26, 13}};
    for (const auto& [scale, width, height] : expected) {
        int w = 0, h = 0;
        EXPECT_FALSE(decode(jpeg, scale, true, &w, &h).empty()) << scale;
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
    }
    EXPECT_TRUE(decode(jpeg, 3).empty());
    // Full size with the accurate DCT is libjpeg's default decode; the fast DCT stays close.
    const Bytes reference = libjpeg_decode_rgb(jpeg);
    EXPECT_EQ(decode(jpeg), reference);
    const Bytes fast = decode(jpeg, 1, true);
    EXPECT_GT(psnr(fast.data(), reference.data(), fast.size()), 35.0);
}

TEST(JpegDecoder, DeliversGreyCmykAndProgressivePicturesAsRgb)
{
    TestPictureOptions grey;
    grey.components = 1;
    grey.h0 = grey.v0 = 1;
    const Bytes grey_rgb = decode(make_test_jpeg(grey));
    ASSERT_EQ(grey_rgb.size(), 64u * 48 * 3);
    for (std::size_t i = 0; i < grey_rgb.size(); i += 3) {
        EXPECT_EQ(grey_rgb[i], grey_rgb[i + 1]);
        EXPECT_EQ(grey_rgb[i], grey_rgb[i + 2]);
    }

    // Adobe CMYK (stored as YCCK, libjpeg's default for CMYK) with K = 230 (little black): RGB close to C, M, Y scaled
    // by 230/255.
    TestPictureOptions cmyk;
    cmyk.components = 4;
    cmyk.h0 = cmyk.v0 = 1;
    cmyk.quality = 98;
    const Bytes cmyk_rgb = decode(make_test_jpeg(cmyk));
    ASSERT_EQ(cmyk_rgb.size(), 64u * 48 * 3);
    Bytes expected = make_photo_rgb(64, 48, 1);
    for (auto& value : expected)
        value = static_cast<std::uint8_t>((value * 230 + 127) / 255);
    EXPECT_GT(psnr(cmyk_rgb.data(), expected.data(), expected.size()), 30.0);

    TestPictureOptions arithmetic;
    arithmetic.arithmetic = true;
    const Bytes arithmetic_jpeg = make_test_jpeg(arithmetic);
    EXPECT_EQ(decode(arithmetic_jpeg), libjpeg_decode_rgb(arithmetic_jpeg));

    TestPictureOptions progressive;
    progressive.progressive = true;
    progressive.width = 150;
    const Bytes jpeg = make_test_jpeg(progressive);
    EXPECT_EQ(decode(jpeg), libjpeg_decode_rgb(jpeg));
    MemoryStream stream(jpeg.data(), jpeg.size());
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.open(stream, jpeg.size()));
    EXPECT_TRUE(decoder.progressive());
}

TEST(JpegDecoder, ReadsAJpegInsideALargerStreamFromItsPosition)
{
    const Bytes jpeg = make_test_jpeg(TestPictureOptions{});
    // 100 bytes before the picture and 50 after it.
    Bytes container(100 + jpeg.size() + 50, 0xCD);
    std::fill_n(container.begin(), 100, 0xAB);
    std::copy(jpeg.begin(), jpeg.end(), container.begin() + 100);
    MemoryStream stream(container.data(), container.size());
    ASSERT_TRUE(stream.seek(100));
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.open(stream, jpeg.size()));
    EXPECT_EQ(decoder.width(), 64);
    EXPECT_EQ(decoder.height(), 48);
    EXPECT_EQ(decoder.components(), 3);
}

TEST(JpegDecoder, RegionDecodeEqualsTheSameRegionOfTheWholeDecode)
{
    for (bool progressive : {false, true}) {
        TestPictureOptions options;
        options.width = 600;
        options.height = 400;
        options.progressive = progressive;
        const Bytes jpeg = make_test_jpeg(options);
        const Bytes whole = libjpeg_decode_rgb(jpeg);
        for (const PixelWindow window :
             {PixelWindow{512, 256, 88, 144}, PixelWindow{0, 0, 256, 256}, PixelWindow{257, 33, 100, 7}}) {
            MemoryStream stream(jpeg.data(), jpeg.size());
            JpegDecoder decoder;
            ASSERT_TRUE(decoder.open(stream, jpeg.size()));
            Bytes region(static_cast<std::size_t>(window.width) * window.height * 3);
            ASSERT_TRUE(decoder.read_region(window, region.data(), static_cast<std::size_t>(window.width) * 3));
            // libjpeg's upsampler treats the cut edges of a crop like picture edges, so only
            // the outermost pixels there may differ a little; everything inside is identical.
            Bytes expected;
            std::size_t inner_differences = 0;
            for (int y = 0; y < window.height; ++y) {
                for (int x = 0; x < window.width; ++x) {
                    const std::uint8_t* want =
                        &whole[(static_cast<std::size_t>(window.y + y) * 600 + window.x + x) * 3];
                    const std::uint8_t* got = &region[(static_cast<std::size_t>(y) * window.width + x) * 3];
                    expected.insert(expected.end(), want, want + 3);
                    const bool inner = x > 1 && x < window.width - 2 && y > 1 && y < window.height - 2;
                    inner_differences += inner && !std::equal(want, want + 3, got);
                }
            }
            EXPECT_EQ(inner_differences, 0u) << window.x << "," << window.y;
            EXPECT_GE(psnr(region.data(), expected.data(), region.size()), 40.0) << window.x << "," << window.y;
        }
        MemoryStream stream(jpeg.data(), jpeg.size());
        JpegDecoder decoder;
        ASSERT_TRUE(decoder.open(stream, jpeg.size()));
        std::uint8_t pixel[3];
        EXPECT_FALSE(decoder.read_region({600, 0, 1, 1}, pixel, 3));
    }
}

TEST(JpegDecoder, BadAndTruncatedPicturesFailWithoutEndingTheProcess)
{
    const Bytes jpeg = make_test_jpeg(TestPictureOptions{});
    for (const Bytes& bad : {Bytes{}, Bytes{'n', 'o', 'p', 'e'}, Bytes(jpeg.begin(), jpeg.begin() + 50)}) {
        MemoryStream stream(bad.data(), bad.size());
        JpegDecoder decoder;
        EXPECT_FALSE(decoder.open(stream, bad.size()));
        EXPECT_FALSE(decoder.ok());
        EXPECT_FALSE(decoder.start());
    }
    // The header is complete but the scan is cut: a row fails and the rest are refused.
    EXPECT_TRUE(decode(Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() * 2 / 3))).empty());

    // A progressive header claiming 60000 x 60000: libjpeg would need gigabytes of coefficients.
    TestPictureOptions options;
    options.progressive = true;
    Bytes huge = make_test_jpeg(options);
    for (std::size_t i = 0; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC2) {
            huge[i + 5] = huge[i + 7] = 0xEA;
            huge[i + 6] = huge[i + 8] = 0x60;
            break;
        }
    }
    MemoryStream stream(huge.data(), huge.size());
    JpegDecoder decoder;
    ASSERT_TRUE(decoder.open(stream, huge.size()));
    EXPECT_EQ(decoder.width(), 60000);
    EXPECT_FALSE(decoder.start());
}

}  // namespace
