// The baseline decoder's pixels against libjpeg's default decode, whole and
// tile by tile from resume records.

#include <algorithm>
#include <gtest/gtest.h>
#include "decoder_test_support.h"
#include "jpeg_test_pictures.h"

namespace {

class DecoderPixels : public testing::TestWithParam<SamplingLayout> {};

TestPictureOptions layout_options(const SamplingLayout& layout, int width, int height, int restart)
{
    TestPictureOptions options;
    options.width = width;
    options.height = height;
    options.components = layout.components;
    options.h0 = layout.h0;
    options.v0 = layout.v0;
    options.restart_interval = restart;
    return options;
}

// Copies a window out of a whole RGB picture.
std::vector<std::uint8_t> crop(const std::vector<std::uint8_t>& rgb, int width, const PixelWindow& window)
{
    std::vector<std::uint8_t> out;
    for (int y = window.y; y < window.y + window.height; ++y) {
        const auto start = rgb.begin() + (static_cast<std::ptrdiff_t>(y) * width + window.x) * 3;
        out.insert(out.end(), start, start + window.width * 3);
    }
    return out;
}

TEST_P(DecoderPixels, WholeDecodeMatchesLibjpeg)
{
    // Odd sizes put partial MCUs on the right and bottom edges.
    const auto jpeg = make_test_jpeg(layout_options(GetParam(), 301, 203, 0));
    OpenedPicture picture(jpeg);
    ASSERT_EQ(picture.status, BaselineStatus::ok);
    std::vector<ResumeRecord> records;
    std::vector<std::uint8_t> ours;
    ASSERT_TRUE(picture.decode_all(records, ours));
    const auto reference = libjpeg_decode_rgb(jpeg);
    ASSERT_EQ(reference.size(), ours.size());
    EXPECT_GE(psnr(ours.data(), reference.data(), ours.size()), 40.0);
    // Same IDCT, filters and colour tables as libjpeg's defaults: the same bytes.
    EXPECT_TRUE(ours == reference);
}

TEST_P(DecoderPixels, EveryTileFromRecordsMatchesTheWholeDecode)
{
    for (int restart : {0, 7}) {
        const int width = 700, height = 530;
        const auto jpeg = make_test_jpeg(layout_options(GetParam(), width, height, restart));
        OpenedPicture picture(jpeg);
        ASSERT_EQ(picture.status, BaselineStatus::ok);
        std::vector<ResumeRecord> records;
        std::vector<std::uint8_t> whole;
        ASSERT_TRUE(picture.decode_all(records, whole));
        const auto reference = libjpeg_decode_rgb(jpeg);
        for (int ty = 0; ty * 256 < height; ++ty) {
            for (int tx = 0; tx * 256 < width; ++tx) {
                const PixelWindow window{tx * 256, ty * 256, std::min(256, width - tx * 256),
                                         std::min(256, height - ty * 256)};
                std::vector<std::uint8_t> tile(static_cast<std::size_t>(window.width) * window.height * 3);
                ASSERT_TRUE(picture.decoder.decode_window(records, window, tile.data(),
                                                          static_cast<std::size_t>(window.width) * 3));
                // Identical to the sequential decode: no seam at tile or MCU-row borders.
                EXPECT_EQ(tile, crop(whole, width, window)) << "tile " << tx << "," << ty << " restart " << restart;
                const auto expected = crop(reference, width, window);
                EXPECT_GE(psnr(tile.data(), expected.data(), tile.size()), 40.0) << "tile " << tx << "," << ty;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, DecoderPixels, testing::ValuesIn(sampling_layouts),
                         [](const testing::TestParamInfo<SamplingLayout>& info) { return info.param.name; });

}  // namespace
