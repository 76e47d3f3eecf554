// Tile sources: tiles from ready previews match libjpeg's decode at every
// level, tile geometry at the edges, the direct-decode slow path and its
// limit, and damaged preview files.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "library/cache_piece_creator.h"
#include "library/jpeg_piece_creator.h"
#include "library/preview_file.h"
#include "pixels/render_surface.h"
#include "tests/library/preview_test_support.h"

namespace {

struct Prepared {
    std::string root;
    std::string picture;
    std::string preview;
};

Prepared prepare(const PictureSpec& spec, bool with_preview = true)
{
    Prepared p;
    p.root = make_root();
    p.picture = p.root + "picture.jpg";
    EXPECT_TRUE(write_picture(p.picture, spec));
    if (with_preview) {
        std::filesystem::create_directory(p.root + "!pictaviocache");
        EXPECT_EQ(build_preview(from_utf8(p.picture), from_utf8(p.root)), PreviewBuild::ready);
        p.preview = to_utf8(preview_path(from_utf8(p.picture), from_utf8(p.root)));
    }
    return p;
}

ReferenceImage as_image(const std::vector<std::uint8_t>& rgb, Size size)
{
    ReferenceImage image;
    image.width = size.width;
    image.height = size.height;
    image.rgb = rgb;
    return image;
}

// The stored JPEG of preview level k, decoded by libjpeg.
ReferenceImage stored_level(const Prepared& p, int k)
{
    const auto bytes = file_bytes(p.preview);
    const std::size_t entry = 13 + 16 * (k - 1);
    return decode_bytes(&bytes[le32(bytes, entry + 8)], le32(bytes, entry + 12));
}

// Every tile of zoom level z against the reference, whole and row by row, so
// that a seam at a tile or segment border shows even when the tile as a whole
// is close enough.
void expect_level_matches(CachePieceCreator& creator, int z, const ReferenceImage& reference)
{
    const Size tiles = tile_count({reference.width, reference.height});
    for (int ty = 0; ty < tiles.height; ++ty)
        for (int tx = 0; tx < tiles.width; ++tx) {
            std::vector<std::uint8_t> rgb;
            Size window;
            ASSERT_TRUE(creator.get_piece_rgb(tx, ty, z, rgb, window)) << tx << "," << ty << " z " << z;
            ASSERT_EQ(window.width, std::min(256, reference.width - 256 * tx));
            ASSERT_EQ(window.height, std::min(256, reference.height - 256 * ty));
            const ReferenceImage tile = as_image(rgb, window);
            EXPECT_GE(psnr(tile, 0, 0, reference, 256 * tx, 256 * ty, window.width, window.height), 40.0)
                << "tile " << tx << "," << ty << " z " << z;
            for (int y = 0; y < window.height; ++y) {
                const double row = psnr(tile, 0, y, reference, 256 * tx, 256 * ty + y, window.width, 1);
                ASSERT_GE(row, 34.0) << "row " << y << " of tile " << tx << "," << ty << " z " << z;
            }
        }
}

struct Layout {
    const char* name;
    PictureSpec spec;
};

class TilesEveryLayout : public testing::TestWithParam<Layout> {};

TEST_P(TilesEveryLayout, FullResolutionAndStoredLevelsMatchLibjpeg)
{
    const Prepared p = prepare(GetParam().spec);
    CachePieceCreator creator(from_utf8(p.picture), from_utf8(p.root));
    ASSERT_TRUE(creator.ok());
    const int levels = creator.levels();
    ASSERT_EQ(levels, preview_levels(GetParam().spec.width, GetParam().spec.height));
    expect_level_matches(creator, levels, decode_reference(p.picture));
    for (int k = 1; k <= levels; ++k)
        expect_level_matches(creator, levels - k, stored_level(p, k));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TilesEveryLayout,
    testing::Values(Layout{"yuv420", {.width = 700, .height = 530}},
                    Layout{"yuv444", {.width = 530, .height = 700, .h_sampling = 1, .v_sampling = 1}},
                    Layout{"yuv422", {.width = 613, .height = 389, .h_sampling = 2, .v_sampling = 1}},
                    Layout{"yuv440", {.width = 389, .height = 613, .h_sampling = 1, .v_sampling = 2}},
                    Layout{"grey", {.width = 600, .height = 301, .components = 1}},
                    Layout{"restarts", {.width = 777, .height = 520, .restart_rows = 1}},
                    Layout{"restarts_inside_rows", {.width = 1100, .height = 300, .restart_mcus = 7}},
                    Layout{"restarts_444",
                           {.width = 520, .height = 520, .h_sampling = 1, .v_sampling = 1, .restart_rows = 3}}),
    [](const testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

TEST(TilesGeometryOfPictures, PictureOf1600x1200)
{
    const Prepared p = prepare({.width = 1600, .height = 1200});
    CachePieceCreator creator(from_utf8(p.picture), from_utf8(p.root));
    ASSERT_TRUE(creator.ok());
    EXPECT_EQ(creator.size(), (Size{1600, 1200}));
    EXPECT_EQ(creator.levels(), 3);
    std::vector<std::uint8_t> rgb;
    Size window;
    ASSERT_TRUE(creator.get_piece_rgb(0, 0, 0, rgb, window));
    EXPECT_EQ(window, (Size{200, 150}));
    EXPECT_FALSE(creator.get_piece(1, 0, 0));
    EXPECT_FALSE(creator.get_piece(0, 1, 0));
    ASSERT_TRUE(creator.get_piece_rgb(6, 4, 3, rgb, window));
    EXPECT_EQ(window, (Size{64, 176}));
    EXPECT_FALSE(creator.get_piece(7, 0, 3));
    EXPECT_FALSE(creator.get_piece(0, 5, 3));
    EXPECT_FALSE(creator.get_piece(-1, 0, 3));
    EXPECT_FALSE(creator.get_piece(0, 0, 4));
    EXPECT_FALSE(creator.get_piece(0, 0, -1));

    // A tile is always 256x256; the part outside the picture stays black, the
    // part inside is the RGB565 form of the decoded pixels.
    const std::unique_ptr<RenderSurface> tile = creator.get_piece(6, 4, 3);
    ASSERT_TRUE(tile);
    ASSERT_EQ(tile->size(), (Size{256, 256}));
    EXPECT_EQ(tile->buffer()->at(64, 0), 0);
    EXPECT_EQ(tile->buffer()->at(0, 176), 0);
    const std::uint8_t* last = &rgb[(175 * 64 + 63) * 3];
    EXPECT_EQ(tile->buffer()->at(63, 175), rgb_to_pixel(last[0], last[1], last[2]));

    // The slow path cuts the same grid.
    JpegPieceCreator direct(from_utf8(p.picture));
    ASSERT_TRUE(direct.ok());
    EXPECT_EQ(direct.levels(), 3);
    EXPECT_TRUE(direct.get_piece(0, 0, 0));
    EXPECT_FALSE(direct.get_piece(1, 0, 0));
    EXPECT_TRUE(direct.get_piece(6, 4, 3));
    EXPECT_FALSE(direct.get_piece(7, 0, 3));
}

TEST(TilesDirectDecode, PictureOf4096x3072ServesLevelOneButNotLevelZero)
{
    const Prepared p = prepare({.width = 4096, .height = 3072, .quality = 80}, false);
    JpegPieceCreator direct(from_utf8(p.picture));
    ASSERT_TRUE(direct.ok());
    EXPECT_EQ(direct.levels(), 4);
    EXPECT_FALSE(direct.get_piece(0, 0, 0));                                // a reduction of 16
    const std::unique_ptr<RenderSurface> tile = direct.get_piece(1, 1, 1);  // 512x384: tiles 2x2
    ASSERT_TRUE(tile);
    const ReferenceImage eighth = decode_reference(p.picture, 8);
    ASSERT_EQ(eighth.width, 512);
    // Compare the tile with libjpeg's 1/8 decode (the tile uses the fast DCT).
    double error = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 256; ++x) {
            const Pixel expected = rgb_to_pixel(eighth.pixel(256 + x, 256 + y)[0], eighth.pixel(256 + x, 256 + y)[1],
                                                eighth.pixel(256 + x, 256 + y)[2]);
            const Pixel got = tile->buffer()->at(x, y);
            error +=
                std::abs((expected >> 11) - (got >> 11)) + std::abs(((expected >> 5) & 63) - ((got >> 5) & 63)) / 2.0;
        }
    EXPECT_LT(error / (128 * 256), 1.0);
    EXPECT_FALSE(direct.get_piece(2, 0, 1));
    EXPECT_FALSE(direct.get_piece(0, 2, 1));
}

TEST(TilesDirectDecode, WithoutReadyPreviewTheFactoryFallsBackToTheDirectDecode)
{
    const Prepared p = prepare({.width = 300, .height = 200}, false);
    const auto creator = create_piece_creator(from_utf8(p.picture), from_utf8(p.root));
    ASSERT_TRUE(creator->ok());
    EXPECT_TRUE(dynamic_cast<JpegPieceCreator*>(creator.get()));
    EXPECT_TRUE(creator->get_piece(0, 0, 1));
    std::filesystem::create_directory(p.root + "!pictaviocache");
    ASSERT_EQ(build_preview(from_utf8(p.picture), from_utf8(p.root)), PreviewBuild::ready);
    EXPECT_TRUE(dynamic_cast<CachePieceCreator*>(create_piece_creator(from_utf8(p.picture), from_utf8(p.root)).get()));

    JpegPieceCreator missing(from_utf8(p.root + "none.jpg"));
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing.get_piece(0, 0, 0));
}

TEST(TilesProgressive, ProgressivePictureGetsLevelsThumbnailAndFullResolutionTiles)
{
    const Prepared p = prepare({.width = 900, .height = 650, .progressive = true});
    EXPECT_TRUE(load_thumbnail(from_utf8(p.picture), from_utf8(p.root)));
    CachePieceCreator creator(from_utf8(p.picture), from_utf8(p.root));
    ASSERT_TRUE(creator.ok());
    ASSERT_EQ(creator.levels(), 2);
    expect_level_matches(creator, 2, decode_reference(p.picture));
    expect_level_matches(creator, 1, stored_level(p, 1));
    expect_level_matches(creator, 0, stored_level(p, 2));
}

TEST(TilesDamagedPreview, AnotherPicturesPreviewIsRefused)
{
    const Prepared small = prepare({.width = 300, .height = 300});
    const Prepared large = prepare({.width = 1300, .height = 900});
    std::filesystem::copy_file(small.preview, large.preview, std::filesystem::copy_options::overwrite_existing);
    CachePieceCreator creator(from_utf8(large.picture), from_utf8(large.root));
    EXPECT_FALSE(creator.ok());
    EXPECT_FALSE(creator.get_piece(0, 0, 0));

    // Same size class (same L) but other content: the level 0 records do not fit.
    const Prepared other = prepare({.width = 1200, .height = 800, .h_sampling = 1, .v_sampling = 1});
    std::filesystem::copy_file(other.preview, large.preview, std::filesystem::copy_options::overwrite_existing);
    CachePieceCreator mixed(from_utf8(large.picture), from_utf8(large.root));
    EXPECT_FALSE(mixed.ok());
}

TEST(TilesDamagedPreview, TruncatedAndEmptyFilesGiveNoTiles)
{
    const Prepared p = prepare({.width = 1000, .height = 700});
    const auto bytes = file_bytes(p.preview);
    for (std::size_t length : {std::size_t(0), std::size_t(3), std::size_t(20), std::size_t(52), std::size_t(53),
                               std::size_t(200), bytes.size() / 2, bytes.size() - 1}) {
        write_bytes(p.preview, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length));
        CachePieceCreator creator(from_utf8(p.picture), from_utf8(p.root));
        if (creator.ok())
            for (int z = 0; z <= 2; ++z)
                creator.get_piece(0, 0, z);
        EXPECT_FALSE(creator.ok() && creator.get_piece(0, 0, 0) && creator.get_piece(0, 0, 2)) << length;
        EXPECT_FALSE(load_thumbnail(from_utf8(p.picture), from_utf8(p.root)) && length < bytes.size()) << length;
    }
}

// A surface a damaged preview still gave is whole: its size, with all its pixels.
void expect_whole(const RenderSurface& surface, Size size, int round)
{
    EXPECT_EQ(surface.size(), size) << "round " << round;
    ASSERT_NE(surface.buffer(), nullptr) << "round " << round;
    EXPECT_EQ(surface.buffer()->width(), size.width) << "round " << round;
    EXPECT_EQ(surface.buffer()->height(), size.height) << "round " << round;
}

// Each damaged preview is refused or gives whole tiles and thumbnails.
TEST(TilesDamagedPreview, WildOffsetsLengthsAndRecordsNeverReadOutside)
{
    const Prepared p = prepare({.width = 1000, .height = 700});
    const auto good = file_bytes(p.preview);
    std::mt19937 random(5);
    int served_tiles = 0;
    int refused_previews = 0;
    for (int round = 0; round < 60; ++round) {
        auto bytes = good;
        // Table fields get values near the file's size, zero or huge; records get noise.
        const std::size_t field = 5 + 4 * (random() % 12);
        const std::uint32_t values[] = {0u, 0xFFFFFFFFu, static_cast<std::uint32_t>(good.size()),
                                        static_cast<std::uint32_t>(good.size() - 1),
                                        static_cast<std::uint32_t>(random())};
        const std::uint32_t value = values[random() % 5];
        for (int i = 0; i < 4; ++i)
            bytes[field + i] = static_cast<std::uint8_t>(value >> (8 * i));
        const std::size_t noise_at = 53 + random() % (good.size() - 60);
        for (int i = 0; i < 17; ++i)
            bytes[noise_at + i] = static_cast<std::uint8_t>(random());
        write_bytes(p.preview, bytes);
        CachePieceCreator creator(from_utf8(p.picture), from_utf8(p.root));
        refused_previews += creator.ok() ? 0 : 1;
        for (int z = 0; z <= 2; ++z)
            for (int t = 0; t < 4; ++t) {
                const std::unique_ptr<RenderSurface> tile = creator.get_piece(t % 2, t / 2, z);
                if (!tile)
                    continue;
                ++served_tiles;
                EXPECT_TRUE(creator.ok()) << "a refused preview serves no tile, round " << round;
                expect_whole(*tile, {256, 256}, round);
            }
        if (const std::unique_ptr<RenderSurface> thumbnail = load_thumbnail(from_utf8(p.picture), from_utf8(p.root)))
            expect_whole(*thumbnail, {64, 64}, round);
    }
    // Some damage is refused at once, some leaves tiles to serve: both were seen.
    EXPECT_GT(served_tiles, 0);
    EXPECT_GT(refused_previews, 0);
}

}  // namespace

// Albums of the pictures folder name their pictures and root with the
// "%my_documents%" macro; the tile source must expand it to find the preview.
TEST(TilesMacroPaths, PicturesFolderPathsFindTheirPreview)
{
    const Prepared p = prepare({.width = 300, .height = 200});
    const char* saved = std::getenv("PICTAVIO_MY_DOCUMENTS");
    const std::string saved_value = saved ? saved : "";
    setenv("PICTAVIO_MY_DOCUMENTS", p.root.c_str(), 1);
    CachePieceCreator creator(u"%my_documents%/picture.jpg", u"%my_documents%/");
    EXPECT_TRUE(creator.ok());
    EXPECT_TRUE(creator.get_piece(0, 0, 0));
    if (saved)
        setenv("PICTAVIO_MY_DOCUMENTS", saved_value.c_str(), 1);
    else
        unsetenv("PICTAVIO_MY_DOCUMENTS");
}
