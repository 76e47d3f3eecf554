// Pictures our decoder cannot resume (progressive, arithmetic-coded) get a
// lossless baseline transcode beside their preview: its full-resolution tiles
// equal libjpeg's decode of the picture, it goes wherever its preview goes,
// and a damaged or foreign transcode gives bad tiles, never a crash. Baseline
// pictures whose scan only libjpeg can follow get a preview all the same.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "library/cache_piece_creator.h"
#include "library/jpeg_decoder.h"
#include "library/jpeg_transcoder.h"
#include "library/photo_library.h"
#include "library/preview_file.h"
#include "pixels/render_surface.h"
#include "platform/memory_stream.h"
#include "tests/library/library_test_support.h"
#include "tests/library/preview_test_support.h"

namespace {

struct Prepared {
    std::string root;
    std::string picture;
    std::string preview;
    std::string transcode;
};

Prepared prepare(const PictureSpec& spec, const std::string& name = "picture.jpg")
{
    Prepared p;
    p.root = make_root();
    p.picture = p.root + name;
    EXPECT_TRUE(write_picture(p.picture, spec));
    std::filesystem::create_directory(p.root + "!pictaviocache");
    EXPECT_EQ(build_preview(from_utf8(p.picture), from_utf8(p.root)), PreviewBuild::ready);
    p.preview = to_utf8(preview_path(from_utf8(p.picture), from_utf8(p.root)));
    p.transcode = to_utf8(transcode_path(from_utf8(p.preview)));
    return p;
}

// Every full-resolution tile equals the same window of the reference, byte for byte.
void expect_full_resolution_equals(CachePieceCreator& creator, const ReferenceImage& reference)
{
    const Size tiles = tile_count({reference.width, reference.height});
    for (int ty = 0; ty < tiles.height; ++ty)
        for (int tx = 0; tx < tiles.width; ++tx) {
            std::vector<std::uint8_t> rgb;
            Size window;
            ASSERT_TRUE(creator.get_piece_rgb(tx, ty, creator.levels(), rgb, window)) << tx << "," << ty;
            for (int y = 0; y < window.height; ++y)
                ASSERT_EQ(0, std::memcmp(&rgb[static_cast<std::size_t>(y) * window.width * 3],
                                         reference.pixel(256 * tx, 256 * ty + y), window.width * 3u))
                    << "row " << y << " of tile " << tx << "," << ty;
        }
}

struct Kind {
    const char* name;
    PictureSpec spec;
};

class TranscodeEveryKind : public testing::TestWithParam<Kind> {};

TEST_P(TranscodeEveryKind, FullResolutionTilesEqualLibjpegsDecodeOfThePicture)
{
    const Prepared p = prepare(GetParam().spec);
    ASSERT_TRUE(std::filesystem::exists(p.transcode));
    const std::vector<std::uint8_t> preview = file_bytes(p.preview);
    EXPECT_GT(le32(preview, 9), 0u);  // level 0 has records: the transcode's
    CachePieceCreator creator(from_utf8(p.picture), from_utf8(p.root));
    ASSERT_TRUE(creator.ok());
    expect_full_resolution_equals(creator, decode_reference(p.picture));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TranscodeEveryKind,
    testing::Values(
        Kind{"progressive444", {.width = 530, .height = 300, .h_sampling = 1, .v_sampling = 1, .progressive = true}},
        Kind{"progressive420", {.width = 600, .height = 420, .progressive = true}},
        Kind{"progressive422_odd",
             {.width = 613, .height = 389, .h_sampling = 2, .v_sampling = 1, .progressive = true}},
        Kind{"progressive_grey", {.width = 517, .height = 301, .components = 1, .progressive = true}},
        Kind{"progressive_restarts", {.width = 777, .height = 300, .restart_rows = 1, .progressive = true}},
        Kind{"progressive_restarts_inside_rows", {.width = 700, .height = 270, .restart_mcus = 7, .progressive = true}},
        Kind{"arithmetic420", {.width = 600, .height = 350, .arithmetic = true}},
        Kind{"arithmetic444_restarts_odd",
             {.width = 333, .height = 271, .h_sampling = 1, .v_sampling = 1, .restart_mcus = 5, .arithmetic = true}},
        Kind{"arithmetic_progressive", {.width = 400, .height = 300, .progressive = true, .arithmetic = true}}),
    [](const testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

// The memory cap is checked against libjpeg's whole-picture coefficient
// buffer: 600x400 4:2:0 holds 76x50 luma blocks (rows padded to whole MCUs)
// and 38x25 blocks of each chroma component, 128 bytes each.
TEST(TranscodeLimits, TheCoefficientBufferDecidesAndCmykIsLeftAlone)
{
    const std::string root = make_root();
    const std::string path = root + "p.jpg";
    ASSERT_TRUE(write_picture(path, {.width = 600, .height = 400, .progressive = true}));
    const std::vector<std::uint8_t> bytes = file_bytes(path);
    const std::uint64_t expected = (76 * 50 + 2 * 38 * 25) * 128;
    for (const std::uint64_t cap : {expected - 1, expected}) {
        MemoryStream input(bytes.data(), bytes.size());
        JpegDecoder picture;
        ASSERT_TRUE(picture.open(input, bytes.size()));
        EXPECT_EQ(coefficient_buffer_size(picture), expected);
        MemoryStream output;
        const TranscodeResult result = transcode_to_baseline(picture, output, cap);
        if (cap < expected) {
            EXPECT_EQ(result, TranscodeResult::too_large);
            EXPECT_EQ(output.size(), 0u);
            continue;
        }
        ASSERT_EQ(result, TranscodeResult::written);
        EXPECT_EQ(decode_bytes(output.bytes().data(), output.bytes().size()).rgb, decode_reference(path).rgb);
    }

    ASSERT_TRUE(write_picture(path, {.width = 64, .height = 64, .components = 4, .progressive = true}));
    const std::vector<std::uint8_t> cmyk = file_bytes(path);
    MemoryStream input(cmyk.data(), cmyk.size());
    JpegDecoder picture;
    ASSERT_TRUE(picture.open(input, cmyk.size()));
    MemoryStream output;
    EXPECT_EQ(transcode_to_baseline(picture, output, JpegDecoder::max_library_memory), TranscodeResult::unsuitable);
}

TEST(TranscodeRefused, ATruncatedTranscodeGivesBadTilesAMissingOneLibjpegsTiles)
{
    const Prepared p = prepare({.width = 700, .height = 500, .progressive = true});
    const std::vector<std::uint8_t> whole = file_bytes(p.transcode);
    for (const std::size_t length : {std::size_t(0), std::size_t(100), whole.size() / 2, whole.size() - 1}) {
        write_bytes(p.transcode, std::vector<std::uint8_t>(whole.begin(), whole.begin() + length));
        CachePieceCreator creator(from_utf8(p.picture), from_utf8(p.root));
        EXPECT_FALSE(creator.ok() && creator.get_piece(0, 0, creator.levels())) << length;
        EXPECT_FALSE(creator.ok() && creator.get_piece(2, 1, creator.levels())) << length;
    }
    // Without its transcode, full resolution is libjpeg's again.
    std::filesystem::remove(p.transcode);
    CachePieceCreator missing(from_utf8(p.picture), from_utf8(p.root));
    ASSERT_TRUE(missing.ok());
    expect_full_resolution_equals(missing, decode_reference(p.picture));
}

TEST(TranscodeRefused, AnotherPicturesTranscodeGivesBadTilesOnly)
{
    const Prepared p = prepare({.width = 700, .height = 500, .progressive = true});
    // Same size, other content; then another size.
    const Prepared same_size = prepare({.width = 700, .height = 500, .quality = 70, .progressive = true, .seed = 9});
    const Prepared other_size = prepare({.width = 650, .height = 500, .progressive = true});
    for (const Prepared* other : {&same_size, &other_size}) {
        std::filesystem::copy_file(other->transcode, p.transcode, std::filesystem::copy_options::overwrite_existing);
        CachePieceCreator creator(from_utf8(p.picture), from_utf8(p.root));
        EXPECT_FALSE(creator.ok() && creator.get_piece(0, 0, creator.levels()));
    }
}

// A marker in the middle of a baseline scan: our decoder stops there, libjpeg
// warns and decodes the rest as flat grey. The preview is ready and its
// full-resolution tiles are libjpeg's.
TEST(DamagedScan, ABaselinePictureOnlyLibjpegDecodesGetsAReadyPreview)
{
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    const std::string picture = root + "damaged.jpg";
    ASSERT_TRUE(write_picture(picture, {.width = 700, .height = 530, .h_sampling = 2, .v_sampling = 1}));
    std::vector<std::uint8_t> bytes = file_bytes(picture);
    const std::size_t data = scan_data_offset(bytes.data(), bytes.size());
    const std::size_t at = data + (bytes.size() - data) / 2;
    bytes[at] = 0xFF;
    bytes[at + 1] = 0xD4;
    write_bytes(picture, bytes);
    const ReferenceImage reference = decode_reference(picture);
    ASSERT_FALSE(reference.rgb.empty());

    ASSERT_EQ(build_preview(from_utf8(picture), from_utf8(root)), PreviewBuild::ready);
    const String preview = preview_path(from_utf8(picture), from_utf8(root));
    EXPECT_FALSE(std::filesystem::exists(to_utf8(transcode_path(preview))));
    EXPECT_EQ(le32(file_bytes(to_utf8(preview)), 9), 0u);  // no level 0 records
    CachePieceCreator creator(from_utf8(picture), from_utf8(root));
    ASSERT_TRUE(creator.ok());
    expect_full_resolution_equals(creator, reference);
    EXPECT_TRUE(creator.get_piece(0, 0, 0));
    EXPECT_TRUE(load_thumbnail(from_utf8(picture), from_utf8(root)));
}

// Previews made while every record sat at its tile column's first MCU (no
// record_one_mcu_early) keep giving exact tiles: such a tile starts from the
// record of the column before. The file is such a preview of this picture.
TEST(OlderPreviews, RecordsAtTheColumnStartsStillGiveExactTiles)
{
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    const std::string picture = root + "picture.jpg";
    ASSERT_TRUE(write_picture(picture, {.width = 600, .height = 400, .restart_rows = 1, .seed = 3}));
    const std::string preview = to_utf8(preview_path(from_utf8(picture), from_utf8(root)));
    std::filesystem::copy_file(PICTAVIO_SOURCE_DIR "/fuzz/seeds/library_preview/ready_preview_records_at_column_starts",
                               preview);
    const std::vector<std::uint8_t> bytes = file_bytes(preview);
    ASSERT_GT(bytes.size(), 53u + 2 * 17);
    EXPECT_EQ(bytes[53 + 17 + 15], 0);  // state_a of tile column 1's first record
    CachePieceCreator creator(from_utf8(picture), from_utf8(root));
    ASSERT_TRUE(creator.ok());
    expect_full_resolution_equals(creator, decode_reference(picture));
}

TEST(TranscodeDeletion, ABadOrUnfinishedBuildLeavesNoTranscode)
{
    const std::string root = make_root();
    std::filesystem::create_directory(root + "!pictaviocache");
    const std::string picture = root + "p.jpg";
    ASSERT_TRUE(write_picture(picture, {.width = 900, .height = 600, .progressive = true}));
    const String preview = preview_path(from_utf8(picture), from_utf8(root));
    const std::string transcode = to_utf8(transcode_path(preview));
    EXPECT_EQ(build_preview(from_utf8(picture), from_utf8(root), [] { return true; }), PreviewBuild::incomplete);
    EXPECT_FALSE(std::filesystem::exists(transcode));
    int asked = 0;
    EXPECT_EQ(build_preview(from_utf8(picture), from_utf8(root), [&] { return ++asked > 300; }),
              PreviewBuild::incomplete);
    EXPECT_FALSE(std::filesystem::exists(transcode));

    ASSERT_EQ(build_preview(from_utf8(picture), from_utf8(root)), PreviewBuild::ready);
    EXPECT_TRUE(std::filesystem::exists(transcode));
    mark_preview_bad(preview);
    EXPECT_FALSE(std::filesystem::exists(transcode));
    EXPECT_TRUE(PhotoLibrary::is_bad_preview(preview));
}

TEST(TranscodeDeletion, TheSearchDeletesATranscodeWithItsPreviewAndKeepsOnlyThoseOfReadyPreviews)
{
    TempTree tree;
    tree.make_dir("card/A");
    ASSERT_TRUE(write_picture(tree.path("card/A/kept.jpg"), {.width = 400, .height = 300, .progressive = true}));
    ASSERT_TRUE(write_picture(tree.path("card/A/changed.jpg"), {.width = 500, .height = 300, .progressive = true}));
    ASSERT_TRUE(write_picture(tree.path("card/A/gone.jpg"), {.width = 300, .height = 300, .arithmetic = true}));
    use_library_environment(tree, {"card"}, "docs");
    tree.make_dir("docs");
    const String root = tree.path16("card") + u"/";
    const auto transcode_of = [&](const char* name) {
        return to_utf8(transcode_path(preview_path(root + u"A/" + from_utf8(name), root)));
    };
    PhotoLibrary library(tree.path16("folders.ini"));
    search_until_idle(library);
    const std::string kept = transcode_of("kept.jpg");
    const std::string changed = transcode_of("changed.jpg");
    const std::string gone = transcode_of("gone.jpg");
    for (const std::string& transcode : {kept, changed, gone})
        ASSERT_TRUE(std::filesystem::exists(transcode)) << transcode;

    ASSERT_TRUE(write_picture(tree.path("card/A/changed.jpg"), {.width = 520, .height = 300, .progressive = true}));
    std::filesystem::remove(tree.path("card/A/gone.jpg"));
    const std::string orphan = tree.path("card/!pictaviocache/123456789.000000.baseline");
    tree.file("card/!pictaviocache/123456789.000000.baseline", "no preview of that name");
    search_until_idle(library);

    EXPECT_TRUE(std::filesystem::exists(kept));
    EXPECT_FALSE(std::filesystem::exists(changed));
    EXPECT_FALSE(std::filesystem::exists(gone));
    EXPECT_FALSE(std::filesystem::exists(orphan));
    EXPECT_TRUE(std::filesystem::exists(transcode_of("changed.jpg")));
    // Two pictures: two previews and their two transcodes; the album counts pictures only.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tree.path("card/!pictaviocache")))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 4u);
    ASSERT_EQ(library.get_folders_size(), 1);
    EXPECT_EQ(library.get_folder(0).size, 2);
}

}  // namespace
