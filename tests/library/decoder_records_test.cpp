// Resume records: their 17-byte layout, and how many the decoder writes and
// with what state for every sampling layout, with and without restarts.

#include <gtest/gtest.h>
#include "decoder_test_support.h"
#include "jpeg_test_pictures.h"

namespace {

TEST(DecoderRecordLayout, FieldsAreLittleEndianInFileOrder)
{
    ResumeRecord record;
    record.dc0 = -2;
    record.dc1 = 0x1234;
    record.dc2 = 0x0102;
    record.bits_left = 7;
    record.restarts_to_go = 0x0A0B0C0D;
    record.remaining = 0x11223344;
    record.state_a = 1;
    record.state_b = 6;
    std::uint8_t bytes[resume_record_size];
    serialise_resume_record(record, bytes);
    const std::uint8_t expected[resume_record_size] = {0xFE, 0xFF, 0x34, 0x12, 0x02, 0x01, 7, 0x0D, 0x0C,
                                                       0x0B, 0x0A, 0x44, 0x33, 0x22, 0x11, 1, 6};
    EXPECT_TRUE(std::equal(bytes, bytes + resume_record_size, expected));
    EXPECT_EQ(parse_resume_record(bytes), record);
}

TEST(DecoderRecordLayout, RecordListsMustBeWholeRecords)
{
    std::vector<std::uint8_t> bytes(resume_record_size * 3, 0x5A);
    std::vector<ResumeRecord> records;
    EXPECT_TRUE(parse_resume_records(bytes.data(), bytes.size(), records));
    EXPECT_EQ(records.size(), 3u);
    EXPECT_FALSE(parse_resume_records(bytes.data(), bytes.size() - 1, records));
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(parse_resume_records(bytes.data(), 0, records));
}

struct RecordCase {
    SamplingLayout layout;
    int restart_interval;
};

class DecoderRecords : public testing::TestWithParam<RecordCase> {};

TEST_P(DecoderRecords, OnePerTileColumnOfEveryMcuRowWithItsState)
{
    const RecordCase& param = GetParam();
    TestPictureOptions options;
    options.width = 1000;  // 4 tile columns, the last one partial
    options.height = 170;
    options.components = param.layout.components;
    options.h0 = param.layout.h0;
    options.v0 = param.layout.v0;
    options.restart_interval = param.restart_interval;
    const auto jpeg = make_test_jpeg(options);
    OpenedPicture picture(jpeg);
    ASSERT_EQ(picture.status, BaselineStatus::ok);
    const BaselineInfo& info = picture.decoder.info();
    EXPECT_EQ(info.mcu_width, 8 * param.layout.h0);
    EXPECT_EQ(info.mcu_height, 8 * param.layout.v0);
    EXPECT_EQ(info.tile_columns, 4);
    EXPECT_EQ(info.mcu_rows, (170 + info.mcu_height - 1) / info.mcu_height);

    std::vector<ResumeRecord> records;
    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(picture.decode_all(records, rgb));
    ASSERT_EQ(records.size(), info.record_count());
    ASSERT_EQ(records.size(), static_cast<std::size_t>(4 * info.mcu_rows));

    const int interval = param.restart_interval;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ResumeRecord& record = records[i];
        const int row = static_cast<int>(i) / info.tile_columns;
        // With horizontally subsampled chroma the records of later tile columns
        // sit one MCU early, at the MCU holding the tile's left context.
        const int tile_column = static_cast<int>(i) % info.tile_columns;
        const bool early = tile_column > 0 && param.layout.h0 == 2;
        const int column = tile_column * info.mcus_per_tile_column - (early ? 1 : 0);
        const int mcu = row * info.mcus_per_row + column;
        EXPECT_LT(record.bits_left, 8) << i;
        EXPECT_EQ(record.state_a, early ? record_one_mcu_early : 0) << i;
        EXPECT_LT(record.remaining, jpeg.size()) << i;
        if (i > 0) {
            EXPECT_LE(record.remaining, records[i - 1].remaining) << i;
        }
        if (interval == 0) {
            EXPECT_EQ(record.restarts_to_go, 0u) << i;
            EXPECT_EQ(record.state_b, 0) << i;
            continue;
        }
        // Before the MCU: the markers passed so far and the MCUs left in the interval
        // (0 when a restart marker comes first).
        const int restarts_passed = mcu == 0 ? 0 : (mcu - 1) / interval;
        EXPECT_EQ(record.state_b, restarts_passed % 8) << i;
        const int expected_to_go = mcu == 0 ? interval : (mcu % interval == 0 ? 0 : interval - mcu % interval);
        EXPECT_EQ(record.restarts_to_go, static_cast<std::uint32_t>(expected_to_go)) << i;
    }
    // The first record is the start of the scan: no bits, zero predictors.
    EXPECT_EQ(records[0].dc0, 0);
    EXPECT_EQ(records[0].bits_left, 0);

    // The entropy-only pass writes the same records.
    std::vector<ResumeRecord> again;
    ASSERT_TRUE(picture.records_only(again));
    EXPECT_EQ(again, records);
}

std::vector<RecordCase> record_cases()
{
    std::vector<RecordCase> cases;
    for (const SamplingLayout& layout : sampling_layouts)
        for (int interval : {0, 1, 5, 64})
            cases.push_back({layout, interval});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Layouts, DecoderRecords, testing::ValuesIn(record_cases()),
                         [](const testing::TestParamInfo<RecordCase>& info) {
                             return std::string(info.param.layout.name) + "_restart" +
                                    std::to_string(info.param.restart_interval);
                         });

TEST(DecoderRecords, ARecordSinkCanStopTheDecode)
{
    const auto jpeg = make_test_jpeg(TestPictureOptions{});
    OpenedPicture picture(jpeg);
    int calls = 0;
    EXPECT_FALSE(picture.decoder.decode_with_records([&](const ResumeRecord&) { return ++calls < 2; }, nullptr));
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(picture.decoder.decode_with_records(nullptr, [](const std::uint8_t*, int) { return false; }));
}

}  // namespace
