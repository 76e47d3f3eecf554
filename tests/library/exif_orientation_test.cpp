// The EXIF orientation: the tag read from hostile data (both byte orders,
// second IFD only, truncation, loops, absurd counts, garbage), the pixel
// transforms against the tag's definition, the embedded thumbnail, and the
// tiles of pictures stored in all eight orientations against the upright
// picture's tiles, from previews and from the direct decode.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "library/exif_reader.h"
#include "library/jpeg_piece_creator.h"
#include "library/oriented_piece_creator.h"
#include "library/piece_creator.h"
#include "library/preview_file.h"
#include "library/preview_pixels.h"
#include "pixels/render_surface.h"
#include "tests/library/exif_test_pictures.h"
#include "tests/library/jpeg_test_pictures.h"
#include "tests/library/preview_test_support.h"
#include "tests/pixel_compare.h"

using namespace exif_test;

namespace {

const std::vector<std::uint8_t>& plain_jpeg()
{
    static const std::vector<std::uint8_t> jpeg = encode_jpeg(stored_rgb(1, {32, 16}), {32, 16});
    return jpeg;
}

Orientation orientation_of(const std::vector<std::uint8_t>& jpeg)
{
    return parse_exif(jpeg.data(), jpeg.size(), false).orientation;
}

// An RGB565 buffer of the stored pixels of the test picture under tag.
std::unique_ptr<PixelBuffer> stored_pixels(int tag, Size upright)
{
    const Size stored = stored_size(tag, upright);
    const std::vector<std::uint8_t> rgb = stored_rgb(tag, upright);
    auto buffer = PixelBuffer::create(stored.width, stored.height);
    for (int y = 0; y < stored.height; ++y)
        rgb_to_pixels(&rgb[static_cast<std::size_t>(y) * stored.width * 3], buffer->row(y), stored.width);
    return buffer;
}

}  // namespace

TEST(ExifOrientation, EveryTagInBothByteOrders)
{
    for (const bool big : {false, true})
        for (int tag = 1; tag <= 8; ++tag)
            EXPECT_EQ(orientation_of(with_exif(plain_jpeg(), orientation_tiff(tag, big))),
                      static_cast<Orientation>(tag))
                << tag << (big ? " big-endian" : " little-endian");
    // Out of range, and no EXIF data at all: upright.
    for (const int value : {0, 9, 0x0106, 0xFFFF})
        EXPECT_EQ(orientation_of(with_exif(plain_jpeg(), orientation_tiff(value, true))), Orientation::upright)
            << value;
    EXPECT_EQ(orientation_of(plain_jpeg()), Orientation::upright);
}

TEST(ExifOrientation, SegmentIsFoundAfterOtherSegmentsButNotAfterTheScan)
{
    // A JFIF APP0 segment before the EXIF one.
    std::vector<std::uint8_t> jfif = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    std::vector<std::uint8_t> after_app0 = with_exif(plain_jpeg(), orientation_tiff(6, false));
    after_app0.insert(after_app0.begin() + 2, {0xFF, 0xE0, 0, std::uint8_t(jfif.size() + 2)});
    after_app0.insert(after_app0.begin() + 6, jfif.begin(), jfif.end());
    EXPECT_EQ(orientation_of(after_app0), Orientation::turned_right);
    // An APP1 segment of another kind (XMP) is passed over.
    const std::vector<std::uint8_t> xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's'};
    EXPECT_EQ(orientation_of(with_app1(with_exif(plain_jpeg(), orientation_tiff(3, true)), xmp)),
              Orientation::turned_180);
    // Bytes that look like EXIF inside the compressed data are never reached.
    std::vector<std::uint8_t> late = plain_jpeg();
    const std::vector<std::uint8_t> segment = with_exif({0xFF, 0xD8}, orientation_tiff(6, false));
    late.insert(late.end() - 2, segment.begin() + 2, segment.end());
    EXPECT_EQ(orientation_of(late), Orientation::upright);
    // Not a JPEG at all.
    const std::vector<std::uint8_t> text(64, 'x');
    EXPECT_EQ(orientation_of(text), Orientation::upright);
}

TEST(ExifOrientation, TagOnlyInTheSecondIfdIsIgnored)
{
    for (const bool big : {false, true}) {
        TiffWriter tiff(big);
        tiff.ifd({{0x0100, type_short, 1, 32}}, 8 + ifd_size(1));
        tiff.ifd({{tag_orientation, type_short, 1, 6}}, 0);
        EXPECT_EQ(orientation_of(with_exif(plain_jpeg(), tiff.bytes())), Orientation::upright);
    }
}

TEST(ExifOrientation, DamagedDataGivesUprightWithoutHarm)
{
    const std::vector<std::uint8_t> thumbnail = plain_jpeg();
    const std::vector<std::uint8_t> tiff = orientation_tiff(6, false, thumbnail);
    const std::vector<std::uint8_t> whole = with_exif(plain_jpeg(), tiff);
    const std::size_t tiff_start = 2 + 4 + 6;

    // Truncated: the file's start ends at every length inside the segment.
    for (std::size_t cut = 0; cut <= tiff_start + tiff.size(); ++cut) {
        const ExifInfo info = parse_exif(whole.data(), cut, true);
        const bool has_entry = cut >= tiff_start + 8 + ifd_size(1) - 4;
        if (!has_entry) {
            EXPECT_EQ(info.orientation, Orientation::upright) << cut;
        }
        if (cut < tiff_start + tiff.size()) {
            EXPECT_TRUE(info.thumbnail.empty()) << cut;
        }
    }
    EXPECT_EQ(parse_exif(whole.data(), whole.size(), true).thumbnail, thumbnail);

    // The segment declares less than the TIFF data needs: the thumbnail lies outside it.
    std::vector<std::uint8_t> short_segment =
        with_exif(plain_jpeg(), std::vector<std::uint8_t>(tiff.begin(), tiff.end() - 100));
    short_segment.insert(short_segment.begin() + 2 + 4 + 6 + tiff.size() - 100, tiff.end() - 100, tiff.end());
    const ExifInfo cut_info = parse_exif(short_segment.data(), short_segment.size(), true);
    EXPECT_EQ(cut_info.orientation, Orientation::turned_right);
    EXPECT_TRUE(cut_info.thumbnail.empty());

    for (const bool big : {false, true}) {
        // IFD offset loops: the first IFD points at itself, and two IFDs at each other.
        TiffWriter self(big);
        self.ifd({{tag_orientation, type_short, 1, 8}}, 8);
        EXPECT_EQ(orientation_of(with_exif(plain_jpeg(), self.bytes())), Orientation::turned_left);
        TiffWriter pair(big);
        pair.ifd({{tag_orientation, type_short, 1, 5}}, 8 + ifd_size(1));
        pair.ifd({{0x0100, type_short, 1, 1}}, 8);
        EXPECT_EQ(orientation_of(with_exif(plain_jpeg(), pair.bytes())), Orientation::transposed);
        // An EXIF sub-IFD pointer back to the first IFD.
        TiffWriter nested(big);
        nested.ifd({{tag_orientation, type_short, 1, 2}, {0x8769, type_long, 1, 8}}, 0);
        EXPECT_EQ(orientation_of(with_exif(plain_jpeg(), nested.bytes())), Orientation::mirrored);

        // A count of 2^31 values, for the tag itself and for an entry before it.
        TiffWriter huge(big);
        huge.ifd({{tag_orientation, type_short, 0x80000000u, 26}}, 0);
        EXPECT_EQ(orientation_of(with_exif(plain_jpeg(), huge.bytes())), Orientation::upright);
        TiffWriter huge_before(big);
        huge_before.ifd({{0x010F, 2, 0x80000000u, 8}, {tag_orientation, type_short, 1, 7}}, 0);
        const Orientation after_huge = orientation_of(with_exif(plain_jpeg(), huge_before.bytes()));
        EXPECT_TRUE(after_huge == Orientation::transverse || after_huge == Orientation::upright);
        // The wrong type for the tag.
        TiffWriter wrong_type(big);
        wrong_type.ifd({{tag_orientation, type_long, 1, 6}}, 0);
        EXPECT_EQ(orientation_of(with_exif(plain_jpeg(), wrong_type.bytes())), Orientation::upright);
    }

    // Garbage after "Exif\0\0", and nothing at all after it.
    std::mt19937 random(13);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> garbage(1 + random() % 300);
        for (std::uint8_t& byte : garbage)
            byte = static_cast<std::uint8_t>(random());
        if (round % 2 == 0) {  // a valid TIFF header in front of the garbage
            garbage.insert(garbage.begin(), {'I', 'I', 42, 0, 8, 0, 0, 0});
        }
        const ExifInfo info =
            parse_exif(with_exif(plain_jpeg(), garbage).data(), with_exif(plain_jpeg(), garbage).size(), true);
        EXPECT_GE(static_cast<int>(info.orientation), 1);
        EXPECT_LE(static_cast<int>(info.orientation), 8);
        decode_embedded_thumbnail(info, 64);
    }
    EXPECT_EQ(orientation_of(with_exif(plain_jpeg(), {})), Orientation::upright);
}

TEST(OrientationPixels, EachTagShowsTheUprightPicture)
{
    const Size upright{7, 4};
    const std::unique_ptr<PixelBuffer> expected = stored_pixels(1, upright);
    for (int tag = 1; tag <= 8; ++tag) {
        const std::unique_ptr<PixelBuffer> stored = stored_pixels(tag, upright);
        const Orientation orientation = static_cast<Orientation>(tag);
        EXPECT_EQ(displayed_size(stored->size(), orientation), upright) << tag;
        const std::unique_ptr<RenderSurface> shown = oriented_copy(*stored, orientation);
        ASSERT_TRUE(shown && shown->buffer());
        EXPECT_TRUE(same_pixels(*shown->buffer(), *expected)) << tag;
        // The point maps are each other's inverse, and a displayed rectangle
        // covers as many stored pixels as it holds.
        for (int y = 0; y < stored->height(); ++y)
            for (int x = 0; x < stored->width(); ++x) {
                const Point shown_point = displayed_point({x, y}, stored->size(), orientation);
                EXPECT_EQ(stored_point(shown_point, stored->size(), orientation), (Point{x, y}));
            }
        const Rect part = stored_rect({1, 0, 4, 3}, stored->size(), orientation);
        EXPECT_EQ((part.right - part.left) * (part.bottom - part.top), 9) << tag;
    }
}

TEST(EmbeddedThumbnail, DecodedAsItsCentredSquareTurnedAsTagged)
{
    const Size upright{160, 96};
    for (int tag = 1; tag <= 8; ++tag) {
        const std::vector<std::uint8_t> thumbnail =
            encode_jpeg(stored_rgb(tag, upright), stored_size(tag, upright), 95);
        const std::vector<std::uint8_t> picture =
            with_exif(plain_jpeg(), orientation_tiff(tag, tag % 2 == 0, thumbnail));
        const ExifInfo info = parse_exif(picture.data(), picture.size(), true);
        ASSERT_EQ(info.thumbnail, thumbnail);
        const std::unique_ptr<RenderSurface> square = decode_embedded_thumbnail(info, 40);
        ASSERT_TRUE(square && square->buffer()) << tag;
        // The shorter side 96 halves once and stays at least 40.
        ASSERT_EQ(square->size(), (Size{48, 48})) << tag;
        // Upright, the square shows the middle of the picture: the left half
        // of its top rows lies in the top-left quarter, and so on.
        const PixelBuffer& pixels = *square->buffer();
        const Pixel corners[4] = {pixels.at(2, 2), pixels.at(45, 2), pixels.at(2, 45), pixels.at(45, 45)};
        for (int i = 0; i < 4; ++i) {
            const Rgb colour = quarter_colours[i];
            EXPECT_LE(pixel_distance(corners[i], rgb_to_pixel(colour.r, colour.g, colour.b)), 2)
                << tag << " corner " << i;
        }
    }
    // Damaged thumbnails are refused: garbage, a cut JPEG, and a header that
    // claims a picture too large to be a thumbnail.
    ExifInfo info;
    info.thumbnail.assign(200, 0x5A);
    EXPECT_EQ(decode_embedded_thumbnail(info, 64), nullptr);
    const std::vector<std::uint8_t> good = encode_jpeg(stored_rgb(1, upright), upright);
    info.thumbnail.assign(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    EXPECT_EQ(decode_embedded_thumbnail(info, 64), nullptr);
    const std::vector<std::uint8_t> large = encode_jpeg(stored_rgb(1, {1040, 16}), {1040, 16});
    info.thumbnail = large;
    EXPECT_EQ(decode_embedded_thumbnail(info, 8), nullptr);
    info.thumbnail.clear();
    EXPECT_EQ(decode_embedded_thumbnail(info, 64), nullptr);
}

namespace {

// A picture of one orientation (tag 0: no EXIF data) in a root of its own, so
// that previews of equally large files never share a name.
struct TaggedPicture {
    std::string root;
    std::string path;
};

TaggedPicture write_tagged(int tag, Size upright, bool with_preview)
{
    TaggedPicture picture;
    picture.root = make_root();
    picture.path = picture.root + "tagged.jpg";
    EXPECT_TRUE(write_file(picture.path, tagged_picture(tag, upright)));
    if (with_preview) {
        std::filesystem::create_directory(picture.root + "!pictaviocache");
        EXPECT_EQ(build_preview(from_utf8(picture.path), from_utf8(picture.root)), PreviewBuild::ready);
    }
    return picture;
}

// Every tile of every level the tile source serves, against the upright picture's.
void expect_tiles_as_upright(PieceCreator& tagged, PieceCreator& upright, int tag)
{
    ASSERT_TRUE(tagged.ok());
    ASSERT_EQ(tagged.size(), upright.size()) << tag;
    ASSERT_EQ(tagged.levels(), upright.levels()) << tag;
    for (int z = 0; z <= upright.levels(); ++z) {
        const Size tiles = tile_count(reduced_size(upright.size(), upright.levels() - z));
        for (int ty = 0; ty < tiles.height; ++ty)
            for (int tx = 0; tx < tiles.width; ++tx) {
                const std::unique_ptr<RenderSurface> expected = upright.get_piece(tx, ty, z);
                const std::unique_ptr<RenderSurface> got = tagged.get_piece(tx, ty, z);
                if (!expected) {  // a level the direct decode cannot serve
                    EXPECT_EQ(got, nullptr);
                    continue;
                }
                ASSERT_TRUE(got && got->buffer()) << tag << " tile " << tx << "," << ty << " z " << z;
                EXPECT_TRUE(pixels_near(*got->buffer(), *expected->buffer(), 1))
                    << "tag " << tag << " tile " << tx << "," << ty << " z " << z;
            }
        EXPECT_EQ(tagged.get_piece(tiles.width, 0, z), nullptr);
        EXPECT_EQ(tagged.get_piece(0, tiles.height, z), nullptr);
    }
}

}  // namespace

// 640 x 384 (L = 2): neither side ends on a tile border, so a displayed tile
// of a flipped axis takes parts of up to four stored tiles; the quarters
// meet on 64-pixel borders, so every level has flat MCUs on either side.
TEST(OrientedTiles, EveryTagShowsTheUprightTilesFromPreviewsAndDirectDecode)
{
    const Size upright{640, 384};
    for (const bool with_preview : {true, false}) {
        const TaggedPicture reference = write_tagged(0, upright, with_preview);
        const std::unique_ptr<PieceCreator> expected =
            create_piece_creator(from_utf8(reference.path), from_utf8(reference.root));
        for (int tag = 1; tag <= 8; ++tag) {
            const TaggedPicture picture = write_tagged(tag, upright, with_preview);
            const std::unique_ptr<PieceCreator> tagged =
                create_piece_creator(from_utf8(picture.path), from_utf8(picture.root));
            EXPECT_EQ(tagged->size(), upright) << tag;
            expect_tiles_as_upright(*tagged, *expected, tag);
            if (tag != 1) {
                EXPECT_NE(dynamic_cast<OrientedPieceCreator*>(tagged.get()), nullptr) << tag;
            }
        }
    }
}

TEST(OrientedTiles, FailuresOfTheStoredSourcePassThrough)
{
    // The picture cannot be read: the source is not ok and is left unwrapped.
    const std::string root = make_root();
    auto missing = with_orientation(std::make_unique<JpegPieceCreator>(from_utf8(root + "none.jpg")),
                                    from_utf8(root + "none.jpg"));
    EXPECT_FALSE(missing->ok());
    EXPECT_EQ(missing->get_piece(0, 0, 0), nullptr);
    // A direct decode that cannot serve a level (reduction beyond 8) fails its displayed tiles too.
    const TaggedPicture big = write_tagged(6, {4096 + 16, 64}, false);
    const std::unique_ptr<PieceCreator> tagged = create_piece_creator(from_utf8(big.path), from_utf8(big.root));
    ASSERT_TRUE(tagged->ok());
    EXPECT_EQ(tagged->size(), (Size{4096 + 16, 64}));
    EXPECT_EQ(tagged->get_piece(0, 0, 0), nullptr);
    EXPECT_NE(tagged->get_piece(0, 0, 2), nullptr);
    EXPECT_EQ(tagged->get_piece(0, 0, tagged->levels() + 1), nullptr);
}

// From a file: the orientation alone reads the start of the file only, the
// embedded thumbnail the whole segment, however large the thumbnail is.
TEST(EmbeddedThumbnail, ReadFromTheStartOfThePictureFile)
{
    const std::string root = make_root();
    std::vector<std::uint8_t> thumbnail = encode_jpeg(make_photo_rgb(320, 240, 5), {320, 240}, 95);
    ASSERT_GT(thumbnail.size(), orientation_read_limit);
    ASSERT_LT(thumbnail.size(), 60000u);
    const std::string path = root + "camera.jpg";
    ASSERT_TRUE(write_file(path, tagged_picture(8, {64, 48}, thumbnail, true)));
    EXPECT_EQ(read_orientation(from_utf8(path)), Orientation::turned_left);
    const ExifInfo info = read_exif(from_utf8(path), true);
    EXPECT_EQ(info.orientation, Orientation::turned_left);
    EXPECT_EQ(info.thumbnail, thumbnail);
    EXPECT_EQ(read_exif(from_utf8(root + "missing.jpg"), true).orientation, Orientation::upright);
    // A large segment before the EXIF one: the orientation is read from a longer start.
    const std::string padded = root + "padded.jpg";
    ASSERT_TRUE(write_file(padded, with_distinct_size(tagged_picture(5, {64, 48}), 0)));
    EXPECT_EQ(read_orientation(from_utf8(padded)), Orientation::transposed);
    EXPECT_EQ(show_as_tagged(nullptr, from_utf8(path)), nullptr);
}
