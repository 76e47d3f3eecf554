// The half-size decode of the baseline decoder (records and the first reduced
// level from one entropy pass) against libjpeg's scaled decoding at 1/2.

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include "decoder_test_support.h"
#include "jpeg_test_pictures.h"
#include "library/jpeg_decoder.h"

namespace {

// Rounding of the reduced transform, the filters and the colour conversion may
// move a sample by a step or two; anything beyond is a wrong transform or a misplaced block.
constexpr int rounding_bound = 2;

// libjpeg's decode at scale 1/2 (accurate DCT, fancy upsampling).
std::vector<std::uint8_t> libjpeg_half_rgb(const std::vector<std::uint8_t>& jpeg, int& width, int& height)
{
    MemoryReader stream(jpeg);
    JpegDecoder decoder;
    if (!decoder.open(stream, jpeg.size()) || !decoder.set_scale(2) || !decoder.start())
        return {};
    width = decoder.output_width();
    height = decoder.output_height();
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        if (!decoder.read_scanline(&rgb[static_cast<std::size_t>(y) * width * 3]))
            return {};
    return rgb;
}

int largest_difference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

class DecoderHalfScale : public testing::TestWithParam<SamplingLayout> {};

TEST_P(DecoderHalfScale, LevelMatchesLibjpegScaledDecodeAndRecordsMatchTheRecordsPass)
{
    const SamplingLayout layout = GetParam();
    struct Case {
        int width, height, restart;
    };
    // Odd sizes leave partial MCUs and an unpaired last column and row of the half size.
    for (const Case& c : {Case{301, 203, 0}, Case{700, 530, 7}, Case{17, 9, 1}}) {
        TestPictureOptions options;
        options.width = c.width;
        options.height = c.height;
        options.components = layout.components;
        options.h0 = layout.h0;
        options.v0 = layout.v0;
        options.restart_interval = c.restart;
        const auto jpeg = make_test_jpeg(options);
        int width = 0, height = 0;
        const auto reference = libjpeg_half_rgb(jpeg, width, height);
        ASSERT_EQ(width, (c.width + 1) / 2);
        ASSERT_EQ(height, (c.height + 1) / 2);

        OpenedPicture picture(jpeg);
        ASSERT_EQ(picture.status, BaselineStatus::ok);
        std::vector<ResumeRecord> records;
        std::vector<std::uint8_t> half(reference.size(), 0);
        int rows = 0;
        ASSERT_TRUE(picture.decoder.decode_half_with_records(
            [&](const ResumeRecord& record) {
                records.push_back(record);
                return true;
            },
            [&](const std::uint8_t* row, int y) {
                EXPECT_EQ(y, rows++);
                std::copy(row, row + width * 3, half.begin() + static_cast<std::ptrdiff_t>(y) * width * 3);
                return true;
            }));
        EXPECT_EQ(rows, height);
        EXPECT_LE(largest_difference(half, reference), rounding_bound) << c.width << "x" << c.height;
        EXPECT_GE(psnr(half.data(), reference.data(), half.size()), 45.0) << c.width << "x" << c.height;

        // The records are those of the records pass, so every tile from them stays exact.
        std::vector<ResumeRecord> records_only;
        OpenedPicture again(jpeg);
        ASSERT_TRUE(again.records_only(records_only));
        ASSERT_EQ(records.size(), records_only.size());
        for (std::size_t i = 0; i < records.size(); ++i)
            EXPECT_TRUE(records[i] == records_only[i]) << "record " << i;
    }
}

TEST(DecoderHalfScaleStop, RowCallbackStopsTheDecode)
{
    const auto jpeg = make_test_jpeg(TestPictureOptions{});
    OpenedPicture picture(jpeg);
    int rows = 0;
    EXPECT_FALSE(picture.decoder.decode_half_with_records({}, [&](const std::uint8_t*, int) { return ++rows < 3; }));
    EXPECT_EQ(rows, 3);
}

TEST(DecoderHalfScaleDamage, TruncatedScanFails)
{
    auto jpeg = make_test_jpeg(TestPictureOptions{});
    jpeg.resize(jpeg.size() * 2 / 3);
    OpenedPicture picture(jpeg);
    ASSERT_EQ(picture.status, BaselineStatus::ok);
    EXPECT_FALSE(picture.decoder.decode_half_with_records({}, [](const std::uint8_t*, int) { return true; }));
}

INSTANTIATE_TEST_SUITE_P(Layouts, DecoderHalfScale, testing::ValuesIn(sampling_layouts),
                         [](const testing::TestParamInfo<SamplingLayout>& info) { return info.param.name; });

}  // namespace
