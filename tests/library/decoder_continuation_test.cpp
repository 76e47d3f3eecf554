// Exact continuation: every tile column's coefficients, decoded MCU row by
// MCU row from its records, equal those of the sequential decode.

#include <gtest/gtest.h>
#include <map>
#include <tuple>
#include "decoder_test_support.h"
#include "jpeg_test_pictures.h"

namespace {

using BlockKey = std::tuple<int, int, int, int>;  // mcu x, mcu y, component, block
using Coefficients = std::map<BlockKey, std::vector<std::int16_t>>;

BaselineDecoder::BlockCallback collect(Coefficients& into)
{
    return [&into](int x, int y, int component, int block, const std::int16_t* coefficients) {
        into[{x, y, component, block}].assign(coefficients, coefficients + 64);
    };
}

struct ContinuationCase {
    SamplingLayout layout;
    int restart_interval;
};

class DecoderContinuation : public testing::TestWithParam<ContinuationCase> {};

TEST_P(DecoderContinuation, EveryTileColumnFromItsRecordsEqualsTheSequentialDecode)
{
    TestPictureOptions options;
    options.width = 777;
    options.height = 301;
    options.components = GetParam().layout.components;
    options.h0 = GetParam().layout.h0;
    options.v0 = GetParam().layout.v0;
    options.restart_interval = GetParam().restart_interval;
    options.quality = 97;  // long codes and many stuffed bytes
    const auto jpeg = make_test_jpeg(options);
    OpenedPicture picture(jpeg);
    ASSERT_EQ(picture.status, BaselineStatus::ok);
    const BaselineInfo& info = picture.decoder.info();
    std::vector<ResumeRecord> records;
    ASSERT_TRUE(picture.records_only(records));

    Coefficients sequential;
    ASSERT_TRUE(picture.decoder.decode_coefficients(collect(sequential)));
    Coefficients windowed;
    for (int column = 0; column < info.tile_columns; ++column)
        ASSERT_TRUE(picture.decoder.decode_window_coefficients(records, column, 0, info.mcu_rows, collect(windowed)));
    EXPECT_EQ(windowed.size(), sequential.size());
    EXPECT_TRUE(windowed == sequential);

    // A window starting in the middle of the picture continues just as exactly.
    Coefficients middle;
    const int first_row = info.mcu_rows / 2;
    ASSERT_TRUE(
        picture.decoder.decode_window_coefficients(records, info.tile_columns - 1, first_row, 2, collect(middle)));
    ASSERT_FALSE(middle.empty());
    for (const auto& [key, values] : middle)
        EXPECT_EQ(values, sequential.at(key));
}

std::vector<ContinuationCase> continuation_cases()
{
    std::vector<ContinuationCase> cases;
    for (const SamplingLayout& layout : sampling_layouts)
        for (int interval : {0, 3, 40})
            cases.push_back({layout, interval});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Layouts, DecoderContinuation, testing::ValuesIn(continuation_cases()),
                         [](const testing::TestParamInfo<ContinuationCase>& info) {
                             return std::string(info.param.layout.name) + "_restart" +
                                    std::to_string(info.param.restart_interval);
                         });

// Any marker may be preceded by fill bytes 0xFF; put some before every restart marker.
std::vector<std::uint8_t> with_fill_before_restarts(const std::vector<std::uint8_t>& jpeg)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && i + 1 < jpeg.size() && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7)
            out.insert(out.end(), 1 + i % 3, 0xFF);
        out.push_back(jpeg[i]);
    }
    return out;
}

TEST(DecoderContinuation, FillBytesBeforeRestartMarkersChangeNothing)
{
    TestPictureOptions options;
    options.width = 530;
    options.height = 100;
    options.restart_interval = 2;
    const auto plain = make_test_jpeg(options);
    const auto filled = with_fill_before_restarts(plain);
    ASSERT_GT(filled.size(), plain.size());
    OpenedPicture a(plain), b(filled);
    std::vector<ResumeRecord> plain_records, filled_records;
    std::vector<std::uint8_t> plain_rgb, filled_rgb;
    ASSERT_TRUE(a.decode_all(plain_records, plain_rgb));
    ASSERT_TRUE(b.decode_all(filled_records, filled_rgb));
    EXPECT_EQ(filled_rgb, plain_rgb);
    EXPECT_EQ(filled_rgb, libjpeg_decode_rgb(filled));
    Coefficients sequential, windowed;
    ASSERT_TRUE(b.decoder.decode_coefficients(collect(sequential)));
    for (int column = 0; column < b.decoder.info().tile_columns; ++column)
        ASSERT_TRUE(b.decoder.decode_window_coefficients(filled_records, column, 0, b.decoder.info().mcu_rows,
                                                         collect(windowed)));
    EXPECT_TRUE(windowed == sequential);
}

// A tile at tile column 1 restores at its own column (one MCU early where the
// chroma is horizontally subsampled) and goes through only its own MCUs and
// the one-MCU margins the upsampler needs: never through tile column 0.
TEST(DecoderContinuation, ATileBeyondTheFirstColumnDecodesOnlyItsOwnMcus)
{
    struct Case {
        const char* name;
        int h0, v0;
        int columns, rows;  // MCUs the 256x64 window at (256, 256) needs, margins included
    };
    for (const Case& c :
         {Case{"4:2:2", 2, 1, 1 + 16 + 1, 8}, Case{"4:2:0", 2, 2, 1 + 16 + 1, 1 + 4 + 1}, Case{"4:4:4", 1, 1, 32, 8}}) {
        SCOPED_TRACE(c.name);
        TestPictureOptions options;
        options.width = 1000;
        options.height = 600;
        options.h0 = c.h0;
        options.v0 = c.v0;
        options.restart_interval = 7;
        const auto jpeg = make_test_jpeg(options);
        OpenedPicture picture(jpeg);
        std::vector<ResumeRecord> records;
        std::vector<std::uint8_t> whole;
        ASSERT_TRUE(picture.decode_all(records, whole));
        const PixelWindow window{256, 256, 256, 64};
        std::vector<std::uint8_t> rgb(256 * 64 * 3);
        ASSERT_TRUE(picture.decoder.decode_window(records, window, rgb.data(), 256 * 3));
        EXPECT_EQ(picture.decoder.window_mcus_decoded(), static_cast<std::uint64_t>(c.columns) * c.rows);
        for (int y = 0; y < 64; ++y)
            ASSERT_TRUE(std::equal(&rgb[y * 256 * 3], &rgb[(y + 1) * 256 * 3], &whole[((256 + y) * 1000 + 256) * 3]))
                << "row " << y;
    }
}

TEST(DecoderContinuation, WindowsOutsideThePictureOrRecordTablesOfTheWrongSizeFail)
{
    const auto jpeg = make_test_jpeg(TestPictureOptions{});
    OpenedPicture picture(jpeg);
    std::vector<ResumeRecord> records;
    ASSERT_TRUE(picture.records_only(records));
    Coefficients ignored;
    EXPECT_FALSE(picture.decoder.decode_window_coefficients(records, 1, 0, 1, collect(ignored)));
    EXPECT_FALSE(picture.decoder.decode_window_coefficients(records, 0, 2, 2, collect(ignored)));
    records.pop_back();
    EXPECT_FALSE(picture.decoder.decode_window_coefficients(records, 0, 0, 1, collect(ignored)));
    std::uint8_t rgb[64 * 48 * 3];
    EXPECT_FALSE(picture.decoder.decode_window(records, {0, 0, 64, 48}, rgb, 64 * 3));
}

}  // namespace
