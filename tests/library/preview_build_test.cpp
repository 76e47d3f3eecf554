// Building a preview decodes each level once where our baseline decoder reads
// it (records and the next level from one pass), else with libjpeg. These
// tests hold the result to the file that the separate steps give when run one
// after the other, byte for byte, and check that the caller's stop check is
// only ever asked on the caller's thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <thread>

#include "library/baseline_decoder.h"
#include "library/jpeg_decoder.h"
#include "library/jpeg_encoder.h"
#include "library/preview_file.h"
#include "library/resume_record.h"
#include "platform/memory_stream.h"
#include "tests/library/preview_test_support.h"

namespace {

void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// The records of a JPEG, serialised; none for a kind our decoder leaves to libjpeg.
std::vector<std::uint8_t> records_of(const std::vector<std::uint8_t>& jpeg)
{
    MemoryStream stream(jpeg.data(), jpeg.size());
    BaselineDecoder decoder;
    std::vector<std::uint8_t> out;
    if (decoder.open(stream, 0, jpeg.size()) != BaselineStatus::ok)
        return out;
    EXPECT_TRUE(decoder.decode_with_records(
        [&out](const ResumeRecord& record) {
            std::uint8_t bytes[resume_record_size];
            serialise_resume_record(record, bytes);
            out.insert(out.end(), bytes, bytes + resume_record_size);
            return true;
        },
        {}));
    return out;
}

// The whole decode of a JPEG (1/denominator scale) as our libjpeg wrapper gives it.
ReferenceImage decode_whole(const std::vector<std::uint8_t>& jpeg, int denominator = 1)
{
    MemoryStream stream(jpeg.data(), jpeg.size());
    JpegDecoder decoder;
    ReferenceImage image;
    EXPECT_TRUE(decoder.open(stream, jpeg.size()));
    if (denominator > 1) {
        EXPECT_TRUE(decoder.set_scale(denominator));
    }
    EXPECT_TRUE(decoder.start());
    image.width = decoder.output_width();
    image.height = decoder.output_height();
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    for (int y = 0; y < image.height; ++y)
        EXPECT_TRUE(decoder.read_scanline(&image.rgb[static_cast<std::size_t>(y) * image.width * 3]));
    return image;
}

// The next level's pixels: our decoder's half-size decode of a level it reads,
// else the rounded 2x2 mean of libjpeg's decode.
ReferenceImage next_level_pixels(const std::vector<std::uint8_t>& jpeg)
{
    MemoryStream stream(jpeg.data(), jpeg.size());
    BaselineDecoder decoder;
    if (decoder.open(stream, 0, jpeg.size()) != BaselineStatus::ok)
        return halve(decode_whole(jpeg));
    ReferenceImage image;
    image.width = (decoder.info().width + 1) / 2;
    image.height = (decoder.info().height + 1) / 2;
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    EXPECT_TRUE(decoder.decode_half_with_records({}, [&](const std::uint8_t* row, int y) {
        std::copy(row, row + image.width * 3, image.rgb.begin() + static_cast<std::ptrdiff_t>(y) * image.width * 3);
        return true;
    }));
    return image;
}

std::vector<std::uint8_t> encode(const ReferenceImage& image, int quality)
{
    MemoryStream out;
    JpegEncoder encoder;
    EXPECT_TRUE(encoder.create(out, image.width, image.height, quality));
    for (int y = 0; y < image.height; ++y)
        EXPECT_TRUE(encoder.write_scanline(image.pixel(0, y)));
    EXPECT_TRUE(encoder.finish());
    return out.bytes();
}

// The centred 64x64 square, black outside the picture.
ReferenceImage centre_square(const ReferenceImage& image)
{
    ReferenceImage square{64, 64, std::vector<std::uint8_t>(64 * 64 * 3, 0)};
    const int top = image.height / 2 - 32;
    const int left = image.width / 2 - 32;
    for (int y = std::max(0, top); y < std::min(image.height, top + 64); ++y)
        for (int x = std::max(0, left); x < std::min(image.width, left + 64); ++x)
            std::memcpy(&square.rgb[((y - top) * 64 + (x - left)) * 3], image.pixel(x, y), 3);
    return square;
}

std::string root_of(const std::string& picture)
{
    return picture.substr(0, picture.rfind('/') + 1);
}

// The preview file made one step after the other: records of level k, then
// its JPEG, each level made from the one before by next_level_pixels, then the
// thumbnail, then the table and the magic.
std::vector<std::uint8_t> sequential_preview(const std::string& picture)
{
    // A picture our decoder cannot resume has its level 0 made from its
    // transcode, which decodes to the same pixels.
    const std::string transcode = to_utf8(preview_path(from_utf8(picture), from_utf8(root_of(picture)))) + ".baseline";
    std::vector<std::uint8_t> level = file_bytes(std::filesystem::exists(transcode) ? transcode : picture);
    ReferenceImage pixels = decode_whole(level);
    const int levels = preview_levels(pixels.width, pixels.height);
    const std::size_t header = 21 + 16 * static_cast<std::size_t>(levels);
    std::vector<std::uint8_t> out(header, 0);
    out[4] = static_cast<std::uint8_t>(levels);
    for (int k = 0; k <= levels; ++k) {
        const std::size_t entry = k == 0 ? 5 : 13 + 16 * static_cast<std::size_t>(k - 1);
        const std::vector<std::uint8_t> records = records_of(level);
        put32(out, entry, static_cast<std::uint32_t>(out.size()));
        put32(out, entry + 4, static_cast<std::uint32_t>(records.size()));
        append(out, records);
        if (k > 0) {
            put32(out, entry + 8, static_cast<std::uint32_t>(out.size()));
            put32(out, entry + 12, static_cast<std::uint32_t>(level.size()));
            append(out, level);
        }
        if (levels > 0) {
            pixels = next_level_pixels(level);
            level = encode(pixels, JpegEncoder::level_quality);
        }
    }
    const ReferenceImage source = decode_whole(level, std::min(pixels.width, pixels.height) >= 130 ? 2 : 1);
    const std::vector<std::uint8_t> thumbnail = encode(centre_square(source), JpegEncoder::thumbnail_quality);
    put32(out, header - 8, static_cast<std::uint32_t>(out.size()));
    put32(out, header - 4, static_cast<std::uint32_t>(thumbnail.size()));
    append(out, thumbnail);
    put32(out, 0, 17);
    return out;
}

struct Case {
    const char* name;
    PictureSpec spec;
};

TEST(PreviewBuild, EqualsTheSequentialBuildByteForByte)
{
    const Case cases[] = {
        {"three levels, 4:2:0", {.width = 2048, .height = 1536}},
        {"odd sizes, 4:2:2", {.width = 1001, .height = 333, .h_sampling = 2, .v_sampling = 1}},
        {"4:4:0 with restarts", {.width = 777, .height = 1201, .h_sampling = 1, .v_sampling = 2, .restart_rows = 1}},
        {"grey", {.width = 600, .height = 300, .components = 1}},
        {"cmyk, no level 0 records", {.width = 520, .height = 390, .components = 4}},
        {"progressive, no level 0 records", {.width = 900, .height = 700, .progressive = true}},
        {"no levels", {.width = 200, .height = 150}},
        {"no levels, padded thumbnail", {.width = 80, .height = 60}},
    };
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string picture = root + "p" + std::to_string(index++) + ".jpg";
        ASSERT_TRUE(write_picture(picture, c.spec));
        // Built twice: the same bytes each time. (The reference is made after
        // the build, which leaves the transcode it needs.)
        for (int round = 0; round < 2; ++round) {
            ASSERT_EQ(build_preview(from_utf8(picture), from_utf8(root)), PreviewBuild::ready);
            const std::vector<std::uint8_t> expected = sequential_preview(picture);
            const std::vector<std::uint8_t> built =
                file_bytes(to_utf8(preview_path(from_utf8(picture), from_utf8(root))));
            ASSERT_EQ(built.size(), expected.size());
            EXPECT_TRUE(built == expected);
        }
    }
}

TEST(PreviewBuild, StopCheckIsAskedOnTheCallersThreadOnly)
{
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    const std::string picture = root + "p.jpg";
    ASSERT_TRUE(write_picture(picture, {.width = 1600, .height = 1200}));
    const std::thread::id caller = std::this_thread::get_id();
    int asked = 0;
    int elsewhere = 0;
    const PreviewBuild result = build_preview(from_utf8(picture), from_utf8(root), [&] {
        ++asked;
        if (std::this_thread::get_id() != caller)
            ++elsewhere;
        return false;
    });
    EXPECT_EQ(result, PreviewBuild::ready);
    EXPECT_GE(asked, 1200);
    EXPECT_EQ(elsewhere, 0);
}

// A stop seen at any point of the build, records or rows, leaves it incomplete.
TEST(PreviewBuild, StopAtAnyPointLeavesTheFileIncomplete)
{
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    const std::string picture = root + "p.jpg";
    ASSERT_TRUE(write_picture(picture, {.width = 1200, .height = 900}));
    const std::string preview = to_utf8(preview_path(from_utf8(picture), from_utf8(root)));
    for (const int after : {1, 450, 899, 1300}) {
        int asked = 0;
        EXPECT_EQ(build_preview(from_utf8(picture), from_utf8(root), [&] { return ++asked > after; }),
                  PreviewBuild::incomplete)
            << after;
        const std::vector<std::uint8_t> bytes = file_bytes(preview);
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_NE(le32(bytes, 0), 17u) << after;
    }
}

// A marker in the middle of the entropy-coded data: libjpeg warns and decodes
// the rest as flat grey, but the records cannot be made: the preview is ready
// without level 0 records, whichever of the two passes sees it first.
TEST(PreviewBuild, DataOnlyTheRecordsPassRefusesMakesAPreviewWithoutLevelZeroRecords)
{
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    const std::string picture = root + "p.jpg";
    ASSERT_TRUE(write_picture(picture, {.width = 1200, .height = 900}));
    std::vector<std::uint8_t> bytes = file_bytes(picture);
    const std::size_t data = scan_data_offset(bytes.data(), bytes.size());
    const std::size_t at = data + (bytes.size() - data) / 3;
    bytes[at] = 0xFF;
    bytes[at + 1] = 0xD9;
    write_bytes(picture, bytes);
    EXPECT_FALSE(decode_reference(picture).rgb.empty());
    EXPECT_EQ(build_preview(from_utf8(picture), from_utf8(root)), PreviewBuild::ready);
    const std::vector<std::uint8_t> preview = file_bytes(to_utf8(preview_path(from_utf8(picture), from_utf8(root))));
    ASSERT_GE(preview.size(), 13u);
    EXPECT_EQ(le32(preview, 9), 0u);

    // Cut short inside the scan, libjpeg cannot decode it either: bad.
    bytes.resize(at);
    write_bytes(picture, bytes);
    EXPECT_EQ(build_preview(from_utf8(picture), from_utf8(root)), PreviewBuild::bad_picture);
}

}  // namespace
