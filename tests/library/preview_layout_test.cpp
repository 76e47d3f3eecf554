// The preview file: its name, its layout byte for byte, its levels and its
// thumbnail, and what happens when building cannot finish.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sys/stat.h>

#include "library/preview_file.h"
#include "pixels/render_surface.h"
#include "platform/file.h"
#include "tests/library/preview_test_support.h"

namespace {

struct Built {
    std::string picture;
    std::string root;
    std::string preview;
    std::vector<std::uint8_t> bytes;
};

Built build(const PictureSpec& spec, const std::string& name = "picture.jpg")
{
    Built built;
    built.root = make_root();
    built.picture = built.root + name;
    EXPECT_TRUE(write_picture(built.picture, spec));
    std::filesystem::create_directory(built.root + "!pictaviocache");
    EXPECT_EQ(build_preview(from_utf8(built.picture), from_utf8(built.root)), PreviewBuild::ready);
    built.preview = to_utf8(preview_path(from_utf8(built.picture), from_utf8(built.root)));
    built.bytes = file_bytes(built.preview);
    return built;
}

// Records per level: one per tile column in every MCU row.
std::uint32_t record_count(int width, int height, int mcu_width, int mcu_height)
{
    const int columns = (width - 1) / 256 + 1;
    const int rows = (height + mcu_height - 1) / mcu_height;
    (void)mcu_width;
    return static_cast<std::uint32_t>(columns * rows);
}

// Checks the whole layout: table, record counts, where each level's JPEG lies
// and what it holds, the thumbnail last and nothing after it.
// mcu_height0 is the MCU height of the picture, 0 for a picture without records.
void expect_layout(const Built& built, int levels, const std::vector<Size>& level_sizes, int mcu_height0)
{
    const auto& b = built.bytes;
    const std::uint32_t header = 21 + 16 * levels;
    ASSERT_GE(b.size(), header);
    EXPECT_EQ(le32(b, 0), 17u);
    EXPECT_EQ(b[4], levels);
    const auto picture = file_bytes(built.picture);
    const auto [width, height] = header_size_of(built.picture);

    std::uint32_t records_offset = le32(b, 5);
    std::uint32_t records_length = le32(b, 9);
    EXPECT_EQ(records_offset, header);
    if (mcu_height0 == 0) {
        EXPECT_EQ(records_length, 0u);
    } else {
        EXPECT_EQ(records_length, 17 * record_count(width, height, 0, mcu_height0));
        // The first record of level 0 stands at the first entropy-coded byte.
        ASSERT_LE(records_offset + 17, b.size());
        EXPECT_EQ(le32(b, records_offset + 11), picture.size() - scan_data_offset(picture.data(), picture.size()));
    }
    std::uint32_t next = records_offset + records_length;

    for (int k = 1; k <= levels; ++k) {
        const std::size_t entry = 13 + 16 * (k - 1);
        records_offset = le32(b, entry);
        records_length = le32(b, entry + 4);
        const std::uint32_t jpeg_offset = le32(b, entry + 8);
        const std::uint32_t jpeg_length = le32(b, entry + 12);
        EXPECT_EQ(records_offset, next) << "level " << k;
        EXPECT_EQ(jpeg_offset, records_offset + records_length) << "level " << k;
        ASSERT_LE(std::size_t(jpeg_offset) + jpeg_length, b.size());
        const ReferenceImage level = decode_bytes(&b[jpeg_offset], jpeg_length);
        EXPECT_EQ((Size{level.width, level.height}), level_sizes[k - 1]) << "level " << k;
        // Our encoder subsamples chroma 2x2: MCUs are 16 pixels high.
        EXPECT_EQ(records_length, 17 * record_count(level.width, level.height, 16, 16)) << "level " << k;
        EXPECT_EQ(le32(b, records_offset + 11), jpeg_length - scan_data_offset(&b[jpeg_offset], jpeg_length));
        next = jpeg_offset + jpeg_length;
    }
    const std::uint32_t thumbnail_offset = le32(b, header - 8);
    const std::uint32_t thumbnail_length = le32(b, header - 4);
    EXPECT_EQ(thumbnail_offset, next);
    EXPECT_EQ(std::size_t(thumbnail_offset) + thumbnail_length, b.size());
}

ReferenceImage thumbnail_of(const Built& built)
{
    const std::uint32_t header = 21 + 16 * built.bytes[4];
    return decode_bytes(&built.bytes[le32(built.bytes, header - 8)], le32(built.bytes, header - 4));
}

TEST(PreviewLayout, PictureOf2048x1536HasThreeLevels)
{
    const Built built = build({.width = 2048, .height = 1536});
    expect_layout(built, 3, {{1024, 768}, {512, 384}, {256, 192}}, 16);
    EXPECT_EQ(le32(built.bytes, 5), 69u);

    // Level 1 is the picture at half size, JPEG-compressed at quality 75: close to its 2x2 mean.
    const ReferenceImage half = halve(decode_reference(built.picture));
    const std::uint32_t jpeg_offset = le32(built.bytes, 13 + 8);
    const ReferenceImage level1 = decode_bytes(&built.bytes[jpeg_offset], le32(built.bytes, 13 + 12));
    EXPECT_GT(psnr(level1, 0, 0, half, 0, 0, 1024, 768), 30.0);

    // The thumbnail is rows 16..79 and columns 32..95 of the 128x96 reduction.
    const ReferenceImage reduced = halve(halve(halve(half)));
    ASSERT_EQ(reduced.width, 128);
    const ReferenceImage thumbnail = thumbnail_of(built);
    ASSERT_EQ(thumbnail.width, 64);
    ASSERT_EQ(thumbnail.height, 64);
    const double placed = psnr(thumbnail, 0, 0, reduced, 32, 16, 64, 64);
    EXPECT_GT(placed, 28.0);
    EXPECT_GT(placed, psnr(thumbnail, 0, 0, reduced, 36, 20, 64, 64) + 3.0);
}

TEST(PreviewLayout, PowerOfTwoPictureOf1024x1024HasTwoLevels)
{
    const Built built = build({.width = 1024, .height = 1024, .h_sampling = 1, .v_sampling = 1});
    expect_layout(built, 2, {{512, 512}, {256, 256}}, 8);
}

TEST(PreviewLayout, OddSizesRoundUpAtEveryLevel)
{
    const Built built = build({.width = 1001, .height = 333, .h_sampling = 2, .v_sampling = 1});
    expect_layout(built, 2, {{501, 167}, {251, 84}}, 8);
}

TEST(PreviewLayout, SmallPictureOf200x150DecodesItsThumbnailAtHalfSize)
{
    const Built built = build({.width = 200, .height = 150});
    expect_layout(built, 0, {}, 16);
    const ReferenceImage half = decode_reference(built.picture, 2);
    ASSERT_EQ(half.width, 100);
    ASSERT_EQ(half.height, 75);
    const ReferenceImage thumbnail = thumbnail_of(built);
    ASSERT_EQ(thumbnail.width, 64);
    // Rows 5..68 and columns 18..81, no padding.
    EXPECT_GT(psnr(thumbnail, 0, 0, half, 18, 5, 64, 64), 30.0);
}

TEST(PreviewLayout, PictureOf80x60IsPaddedWithBlackRows)
{
    const Built built = build({.width = 80, .height = 60});
    const ReferenceImage picture = decode_reference(built.picture);
    const ReferenceImage thumbnail = thumbnail_of(built);
    ASSERT_EQ(thumbnail.width, 64);
    ASSERT_EQ(thumbnail.height, 64);
    // Columns 8..71 of all 60 rows, two black rows above and two below.
    EXPECT_GT(psnr(thumbnail, 0, 2, picture, 8, 0, 64, 60), 30.0);
    for (int y : {0, 63})
        for (int x = 0; x < 64; x += 9)
            for (int c = 0; c < 3; ++c)
                EXPECT_LT(thumbnail.pixel(x, y)[c], 24) << x << "," << y;
}

TEST(PreviewLayout, ThumbnailLoadsAsRgb565)
{
    const Built built = build({.width = 640, .height = 480});
    const ReferenceImage thumbnail = thumbnail_of(built);
    const std::unique_ptr<RenderSurface> surface = load_thumbnail(from_utf8(built.picture), from_utf8(built.root));
    ASSERT_TRUE(surface);
    ASSERT_EQ(surface->size(), (Size{64, 64}));
    for (int y = 0; y < 64; y += 7)
        for (int x = 0; x < 64; x += 5) {
            const std::uint8_t* p = thumbnail.pixel(x, y);
            EXPECT_EQ(surface->buffer()->at(x, y), rgb_to_pixel(p[0], p[1], p[2]));
        }
}

TEST(PreviewLayout, GreyAndCmykPicturesBecomeRgb)
{
    for (const int components : {1, 4}) {
        const Built built = build({.width = 600, .height = 300, .components = components});
        expect_layout(built, 2, {{300, 150}, {150, 75}}, components == 1 ? 8 : 0);
        const ReferenceImage thumbnail = thumbnail_of(built);
        EXPECT_EQ(thumbnail.width, 64);
        EXPECT_TRUE(is_preview_ready(from_utf8(built.picture), from_utf8(built.root)));
    }
}

// Level 0 of a progressive or arithmetic-coded picture is its baseline
// transcode beside the preview: the same pixels, records over its bytes.
TEST(PreviewLayout, ProgressiveAndArithmeticPicturesGetATranscodeWithLevelZeroRecords)
{
    for (const bool arithmetic : {false, true}) {
        const Built built = build({.width = 900, .height = 700, .progressive = !arithmetic, .arithmetic = arithmetic});
        ASSERT_EQ(built.bytes.size() > 53u, true);
        EXPECT_EQ(le32(built.bytes, 0), 17u);
        EXPECT_EQ(built.bytes[4], 2);
        EXPECT_EQ(le32(built.bytes, 5), 53u);
        EXPECT_EQ(le32(built.bytes, 9), record_count(900, 700, 16, 16) * 17);
        const std::vector<std::uint8_t> transcode = file_bytes(built.preview + ".baseline");
        ASSERT_FALSE(transcode.empty());
        const std::uint8_t sof0[] = {0xFF, 0xC0};
        EXPECT_NE(std::search(transcode.begin(), transcode.end(), sof0, sof0 + 2), transcode.end());
        EXPECT_EQ(decode_bytes(transcode.data(), transcode.size()).rgb, decode_reference(built.picture).rgb);
        // The first record sits at the transcode's first scan byte.
        EXPECT_EQ(le32(built.bytes, 53 + 11), transcode.size() - scan_data_offset(transcode.data(), transcode.size()));
        const ReferenceImage level1 = decode_bytes(&built.bytes[le32(built.bytes, 21)], le32(built.bytes, 25));
        EXPECT_EQ(level1.width, 450);
        EXPECT_EQ(level1.height, 350);
        EXPECT_GT(psnr(level1, 0, 0, halve(decode_reference(built.picture)), 0, 0, 450, 350), 30.0);
        EXPECT_EQ(thumbnail_of(built).width, 64);
    }
    // CMYK stays without a transcode and without level 0 records.
    const Built cmyk = build({.width = 600, .height = 400, .components = 4, .progressive = true});
    EXPECT_EQ(le32(cmyk.bytes, 9), 0u);
    EXPECT_FALSE(std::filesystem::exists(cmyk.preview + ".baseline"));
}

TEST(PreviewName, SizeAndCreationTimeMakeTheName)
{
    const std::string root = make_root();
    const std::string picture = root + "a.jpg";
    write_bytes(picture, std::vector<std::uint8_t>(1234567, 1));
    const std::string name = to_utf8(preview_path(from_utf8(picture), from_utf8(root)));
    // size, month, day, hour, minute, then seconds with six decimals.
    EXPECT_TRUE(
        std::regex_match(name, std::regex(std::regex_replace(root, std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&") +
                                          "!pictaviocache/1234567[0-9]{4,8}[0-9]{1,2}\\.[0-9]{6}")))
        << name;
    // Without a trailing separator the root gets one.
    EXPECT_EQ(to_utf8(preview_path(from_utf8(picture), from_utf8(root.substr(0, root.size() - 1)))), name);
    EXPECT_TRUE(preview_path(from_utf8(root + "missing.jpg"), from_utf8(root)).empty());
    EXPECT_TRUE(preview_path(from_utf8(root), from_utf8(root)).empty());

    // The seconds field carries the milliseconds of the modification time
    // where the file system does not record a birth time: check the fraction
    // has the millisecond form .ddd000.
    EXPECT_EQ(name.substr(name.size() - 3), "000");
}

TEST(PreviewName, ReadinessNeedsTheMagic)
{
    const Built built = build({.width = 64, .height = 64});
    EXPECT_TRUE(is_preview_ready(from_utf8(built.picture), from_utf8(built.root)));
    std::vector<std::uint8_t> bytes = built.bytes;
    bytes[0] = 0;
    write_bytes(built.preview, bytes);
    EXPECT_FALSE(is_preview_ready(from_utf8(built.picture), from_utf8(built.root)));
    EXPECT_FALSE(load_thumbnail(from_utf8(built.picture), from_utf8(built.root)));
    write_bytes(built.preview, {});
    EXPECT_FALSE(is_preview_ready(from_utf8(built.picture), from_utf8(built.root)));
    EXPECT_FALSE(load_thumbnail(from_utf8(built.picture), from_utf8(built.root)));
}

TEST(PreviewBuildFailures, BadPicturesAreReportedAsBad)
{
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    const std::string text = root + "text.jpg";
    write_bytes(text, std::vector<std::uint8_t>(5000, 'x'));
    EXPECT_EQ(build_preview(from_utf8(text), from_utf8(root)), PreviewBuild::bad_picture);

    // A picture cut off in the middle of its data.
    const std::string cut = root + "cut.jpg";
    ASSERT_TRUE(write_picture(cut, {.width = 800, .height = 600}));
    std::vector<std::uint8_t> bytes = file_bytes(cut);
    bytes.resize(bytes.size() / 2);
    write_bytes(cut, bytes);
    EXPECT_EQ(build_preview(from_utf8(cut), from_utf8(root)), PreviewBuild::bad_picture);
    EXPECT_FALSE(is_preview_ready(from_utf8(cut), from_utf8(root)));

    EXPECT_EQ(build_preview(from_utf8(root + "none.jpg"), from_utf8(root)), PreviewBuild::incomplete);
}

TEST(PreviewBuildFailures, StopRequestLeavesTheFileIncomplete)
{
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    const std::string picture = root + "p.jpg";
    ASSERT_TRUE(write_picture(picture, {.width = 1200, .height = 900}));
    int checks = 0;
    const PreviewBuild result =
        build_preview(from_utf8(picture), from_utf8(root), [&checks] { return ++checks > 100; });
    EXPECT_EQ(result, PreviewBuild::incomplete);
    const auto bytes = file_bytes(to_utf8(preview_path(from_utf8(picture), from_utf8(root))));
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_NE(le32(bytes, 0), 17u);
    EXPECT_FALSE(is_preview_ready(from_utf8(picture), from_utf8(root)));
}

TEST(PreviewBuildFailures, PictureChangedDuringTheBuildFailsCleanly)
{
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    const std::string picture = root + "p.jpg";
    ASSERT_TRUE(write_picture(picture, {.width = 1200, .height = 900}));
    const String preview = preview_path(from_utf8(picture), from_utf8(root));
    int checks = 0;
    // Halfway through, another picture is written over this one.
    const PreviewBuild result = build_preview(from_utf8(picture), from_utf8(root), [&] {
        if (++checks == 200)
            write_picture(picture, {.width = 1200, .height = 900, .quality = 50, .seed = 7});
        return false;
    });
    EXPECT_EQ(result, PreviewBuild::incomplete);
    const auto bytes = file_bytes(to_utf8(preview));
    EXPECT_TRUE(bytes.size() < 4 || le32(bytes, 0) != 17u);

    // Removed halfway through.
    checks = 0;
    const PreviewBuild removed = build_preview(from_utf8(picture), from_utf8(root), [&] {
        if (++checks == 200)
            std::filesystem::remove(picture);
        return false;
    });
    EXPECT_EQ(removed, PreviewBuild::incomplete);
}

}  // namespace

namespace {

bool table_of(const std::vector<std::uint8_t>& bytes, int expected_levels, PreviewTable& table)
{
    const std::string path = make_root() + "preview";
    write_bytes(path, bytes);
    File file;
    return file.open_expanded(from_utf8(path), File::read_mode) && read_preview_table(file, expected_levels, table);
}

TEST(PreviewTableReader, EveryFieldIsCheckedAgainstTheFile)
{
    const Built built = build({.width = 600, .height = 500});
    PreviewTable table;
    ASSERT_TRUE(table_of(built.bytes, 2, table));
    EXPECT_EQ(table.levels, 2);
    ASSERT_EQ(table.entries.size(), 3u);
    EXPECT_EQ(table.entries[0].records_offset, 53u);
    EXPECT_EQ(table.entries[1].records_offset, table.entries[0].records_offset + table.entries[0].records_length);
    EXPECT_EQ(table.thumbnail_offset + table.thumbnail_length, built.bytes.size());
    EXPECT_TRUE(table_of(built.bytes, -1, table));
    EXPECT_FALSE(table_of(built.bytes, 3, table));  // the preview of a picture of another size class

    // Each offset or length pushed past the end (alone or by wrapping around) is refused.
    for (std::size_t field = 5; field < 53; field += 4)
        for (const std::uint32_t value : {0xFFFFFFFFu, static_cast<std::uint32_t>(built.bytes.size()) + 1}) {
            auto bytes = built.bytes;
            for (int i = 0; i < 4; ++i)
                bytes[field + i] = static_cast<std::uint8_t>(value >> (8 * i));
            EXPECT_FALSE(table_of(bytes, 2, table)) << "field at " << field << " = " << value;
        }
    // A records length that is no whole number of records.
    auto odd = built.bytes;
    odd[9] = static_cast<std::uint8_t>(odd[9] - 1);
    EXPECT_FALSE(table_of(odd, 2, table));
    // A level without its JPEG, a missing thumbnail, a table cut short.
    auto no_jpeg = built.bytes;
    std::fill(no_jpeg.begin() + 25, no_jpeg.begin() + 29, 0);
    EXPECT_FALSE(table_of(no_jpeg, 2, table));
    auto no_thumbnail = built.bytes;
    std::fill(no_thumbnail.begin() + 49, no_thumbnail.begin() + 53, 0);
    EXPECT_FALSE(table_of(no_thumbnail, 2, table));
    EXPECT_FALSE(table_of(std::vector<std::uint8_t>(built.bytes.begin(), built.bytes.begin() + 40), 2, table));
    EXPECT_FALSE(table_of({}, -1, table));
}

}  // namespace
