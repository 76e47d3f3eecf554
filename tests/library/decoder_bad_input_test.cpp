// Hostile and damaged input for the baseline decoder: every case ends in a
// failure or a decoded picture, never a crash, a hang or a huge allocation.

#include <chrono>
#include <gtest/gtest.h>
#include "decoder_test_support.h"
#include "jpeg_test_pictures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Offset of the first byte after marker code (0xFF code), or npos.
std::size_t find_marker(const Bytes& jpeg, std::uint8_t code)
{
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code)
            return i;
    return std::string::npos;
}

Bytes without_segment(const Bytes& jpeg, std::uint8_t code)
{
    const std::size_t at = find_marker(jpeg, code);
    const std::size_t length = (jpeg[at + 2] << 8) | jpeg[at + 3];
    Bytes out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(at));
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length), jpeg.end());
    return out;
}

Bytes with_size(Bytes jpeg, int width, int height)
{
    const std::size_t sof = find_marker(jpeg, 0xC0);
    jpeg[sof + 5] = static_cast<std::uint8_t>(height >> 8);
    jpeg[sof + 6] = static_cast<std::uint8_t>(height);
    jpeg[sof + 7] = static_cast<std::uint8_t>(width >> 8);
    jpeg[sof + 8] = static_cast<std::uint8_t>(width);
    return jpeg;
}

BaselineStatus open_status(const Bytes& jpeg)
{
    OpenedPicture picture(jpeg);
    return picture.status;
}

bool decodes(const Bytes& jpeg)
{
    OpenedPicture picture(jpeg);
    std::vector<ResumeRecord> records;
    Bytes rgb;
    return picture.status == BaselineStatus::ok && picture.decode_all(records, rgb);
}

TEST(DecoderBadInput, HeadersThatAreNotJpegsAreBad)
{
    EXPECT_EQ(open_status({}), BaselineStatus::bad);
    EXPECT_EQ(open_status({'G', 'I', 'F', '8'}), BaselineStatus::bad);
    EXPECT_EQ(open_status({0xFF, 0xD8}), BaselineStatus::bad);
    EXPECT_EQ(open_status({0xFF, 0xD8, 0xFF, 0xD9}), BaselineStatus::bad);
    const Bytes jpeg = make_test_jpeg(TestPictureOptions{});
    for (std::size_t cut : {3u, 20u, 100u, 300u})
        EXPECT_EQ(open_status(Bytes(jpeg.begin(), jpeg.begin() + cut)), BaselineStatus::bad) << cut;
}

TEST(DecoderBadInput, MissingOrImpossibleTablesAreBad)
{
    const Bytes jpeg = make_test_jpeg(TestPictureOptions{});
    EXPECT_EQ(open_status(without_segment(jpeg, 0xC4)), BaselineStatus::bad);
    EXPECT_EQ(open_status(without_segment(jpeg, 0xDB)), BaselineStatus::bad);
    // A DHT whose first length count claims three 1-bit codes.
    Bytes broken = jpeg;
    broken[find_marker(jpeg, 0xC4) + 5] = 3;
    EXPECT_EQ(open_status(broken), BaselineStatus::bad);
    // A scan that names a table slot never defined.
    Bytes scan = jpeg;
    scan[find_marker(jpeg, 0xDA) + 6] = 0x33;
    EXPECT_EQ(open_status(scan), BaselineStatus::bad);
}

TEST(DecoderBadInput, ZeroSizesAreRefusedAndOtherKindsAreLeftToLibjpeg)
{
    const Bytes jpeg = make_test_jpeg(TestPictureOptions{});
    EXPECT_EQ(open_status(with_size(jpeg, 0, 48)), BaselineStatus::bad);
    EXPECT_EQ(open_status(with_size(jpeg, 64, 0)), BaselineStatus::unsupported);  // height from a DNL marker

    TestPictureOptions progressive;
    progressive.progressive = true;
    EXPECT_EQ(open_status(make_test_jpeg(progressive)), BaselineStatus::unsupported);
    TestPictureOptions arithmetic;
    arithmetic.arithmetic = true;
    EXPECT_EQ(open_status(make_test_jpeg(arithmetic)), BaselineStatus::unsupported);
    TestPictureOptions cmyk;
    cmyk.components = 4;
    cmyk.h0 = cmyk.v0 = 1;
    EXPECT_EQ(open_status(make_test_jpeg(cmyk)), BaselineStatus::unsupported);

    // Records count bytes in 32 bits: a picture of more than 4 GB cannot have any.
    MemoryStream stream(jpeg.data(), jpeg.size());
    BaselineDecoder decoder;
    EXPECT_EQ(decoder.open(stream, 0, 0x100000000ull), BaselineStatus::unsupported);
}

TEST(DecoderBadInput, AHugeHeaderOverLittleDataFailsQuickly)
{
    const Bytes jpeg = with_size(make_test_jpeg(TestPictureOptions{}), 65535, 65535);
    const auto start = std::chrono::steady_clock::now();
    OpenedPicture picture(jpeg);
    ASSERT_EQ(picture.status, BaselineStatus::ok);
    EXPECT_EQ(picture.decoder.info().record_count(), 256u * 4096u);
    std::size_t records = 0;
    std::size_t rows = 0;
    EXPECT_FALSE(picture.decoder.decode_with_records([&](const ResumeRecord&) { return ++records > 0; },
                                                     [&](const std::uint8_t*, int) { return ++rows > 0; }));
    EXPECT_EQ(rows, 0u);  // the data runs out within the first MCU row
    // Not a timing claim: only a guard against decoding four billion pixels of nothing.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(DecoderBadInput, TruncatedScansFail)
{
    const Bytes jpeg = make_test_jpeg(TestPictureOptions{});
    ASSERT_TRUE(decodes(jpeg));
    const std::size_t scan = find_marker(jpeg, 0xDA);
    for (std::size_t keep : {scan + 20, (scan + jpeg.size()) / 2, jpeg.size() - 40})
        EXPECT_FALSE(decodes(Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(keep)))) << keep;
    // Only the EOI marker missing: every MCU is there.
    EXPECT_TRUE(decodes(Bytes(jpeg.begin(), jpeg.end() - 2)));
}

TEST(DecoderBadInput, DamagedEntropyDataNeverCrashes)
{
    TestPictureOptions options;
    options.width = 200;
    options.height = 120;
    options.restart_interval = 4;
    const Bytes jpeg = make_test_jpeg(options);
    const std::size_t scan = find_marker(jpeg, 0xDA) + 14;
    unsigned state = 12345;
    for (int trial = 0; trial < 200; ++trial) {
        Bytes damaged = jpeg;
        for (int flips = 0; flips < 1 + trial % 8; ++flips) {
            state = state * 1103515245u + 12345u;
            const std::size_t at = scan + (state >> 8) % (jpeg.size() - scan - 2);
            damaged[at] = static_cast<std::uint8_t>(state >> 3);
        }
        OpenedPicture picture(damaged);
        std::vector<ResumeRecord> records;
        Bytes rgb;
        if (picture.status == BaselineStatus::ok && picture.decode_all(records, rgb)) {
            std::vector<std::uint8_t> tile(200 * 120 * 3);
            // Whatever the damage, a tile from the records continues the sequential decode exactly.
            ASSERT_TRUE(picture.decoder.decode_window(records, {0, 0, 200, 120}, tile.data(), 200 * 3));
            EXPECT_EQ(tile, rgb) << trial;
        }
    }
}

TEST(DecoderBadInput, HostileRecordsAreRefused)
{
    TestPictureOptions options;
    options.restart_interval = 2;
    const Bytes jpeg = make_test_jpeg(options);
    OpenedPicture picture(jpeg);
    std::vector<ResumeRecord> good;
    ASSERT_TRUE(picture.records_only(good));
    std::uint8_t rgb[64 * 48 * 3];
    const PixelWindow window{0, 0, 64, 48};
    ASSERT_TRUE(picture.decoder.decode_window(good, window, rgb, 64 * 3));

    const auto refused = [&](void (*damage)(ResumeRecord&)) {
        std::vector<ResumeRecord> records = good;
        damage(records[0]);
        return !picture.decoder.decode_window(records, window, rgb, 64 * 3);
    };
    EXPECT_TRUE(refused([](ResumeRecord& r) { r.remaining = 0xFFFFFFFF; }));
    EXPECT_TRUE(refused([](ResumeRecord& r) { r.remaining = r.remaining + 1000; }));  // inside the headers
    EXPECT_TRUE(refused([](ResumeRecord& r) { r.bits_left = 33; }));
    EXPECT_TRUE(refused([](ResumeRecord& r) { r.restarts_to_go = 3; }));
    EXPECT_TRUE(refused([](ResumeRecord& r) { r.state_a = record_one_mcu_early; }));  // before the first column
    EXPECT_TRUE(refused([](ResumeRecord& r) { r.state_a = 4; }));
    EXPECT_TRUE(refused([](ResumeRecord& r) { r.state_b = 8; }));

    // Arbitrary but well-formed records decode something or fail, within the window.
    unsigned state = 99;
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<ResumeRecord> records = good;
        for (ResumeRecord& record : records) {
            state = state * 1103515245u + 12345u;
            record.remaining = (state >> 4) % static_cast<std::uint32_t>(jpeg.size() + 1);
            record.bits_left = static_cast<std::uint8_t>((state >> 20) % 33);
            record.restarts_to_go = (state >> 12) % 3;
            record.state_b = static_cast<std::uint8_t>((state >> 24) % 8);
            record.dc0 = static_cast<std::int16_t>(state);
        }
        picture.decoder.decode_window(records, window, rgb, 64 * 3);
    }
}

TEST(DecoderBadInput, WindowsMustLieInsideThePicture)
{
    const Bytes jpeg = make_test_jpeg(TestPictureOptions{});
    OpenedPicture picture(jpeg);
    std::vector<ResumeRecord> records;
    ASSERT_TRUE(picture.records_only(records));
    std::uint8_t rgb[64 * 48 * 3];
    EXPECT_FALSE(picture.decoder.decode_window(records, {1, 0, 64, 48}, rgb, 64 * 3));
    EXPECT_FALSE(picture.decoder.decode_window(records, {0, 0, 0, 48}, rgb, 64 * 3));
    EXPECT_FALSE(picture.decoder.decode_window(records, {-1, 0, 10, 10}, rgb, 64 * 3));
    EXPECT_FALSE(picture.decoder.decode_window(records, {0, 40, 10, 9}, rgb, 64 * 3));
    EXPECT_TRUE(picture.decoder.decode_window(records, {63, 47, 1, 1}, rgb, 3));
    BaselineDecoder unopened;
    EXPECT_FALSE(unopened.decode_window(records, {0, 0, 1, 1}, rgb, 3));
    EXPECT_FALSE(unopened.decode_with_records(nullptr, nullptr));
}

}  // namespace
