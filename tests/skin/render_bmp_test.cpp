// Reading 16-bit BMP files (row order, padding, pixel offset) and refusing
// everything else safely; writing them back.

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>
#include "pixels/bmp_reader.h"
#include "pixels/bmp_writer.h"
#include "platform/memory_stream.h"
#include "skin/skin_bitmap_file.h"

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A BMP whose stored row i holds pixels 0x100 * i + x; rows padded to 4 bytes.
std::vector<std::uint8_t> make_bmp(std::int32_t width, std::int32_t height, std::uint16_t bits = 16,
                                   std::uint32_t gap = 0)
{
    const std::uint32_t rows = std::uint32_t(height < 0 ? -height : height);
    const std::uint32_t stride = (bits * std::uint32_t(width) + 31) / 32 * 4;
    std::vector<std::uint8_t> out{'B', 'M'};
    put32(out, 54 + gap + stride * rows);
    put32(out, 0);
    put32(out, 54 + gap);
    put32(out, 40);
    put32(out, std::uint32_t(width));
    put32(out, std::uint32_t(height));
    put16(out, 1);
    put16(out, bits);
    for (int i = 0; i < 6; ++i)
        put32(out, 0);
    out.insert(out.end(), gap, 0xEE);
    for (std::uint32_t i = 0; i < rows; ++i) {
        const std::size_t row_start = out.size();
        for (std::int32_t x = 0; x < width && bits == 16; ++x)
            put16(out, 0x100 * i + std::uint32_t(x));
        out.resize(row_start + stride, 0xAB);
    }
    return out;
}

std::unique_ptr<PixelBuffer> read(const std::vector<std::uint8_t>& bytes)
{
    MemoryStream stream(bytes.data(), bytes.size());
    return read_bmp_565(stream);
}

std::string temp_path(const char* name)
{
    return testing::TempDir() + name;
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

TEST(BmpReader, BottomUpRowsWithPaddingSkipped)
{
    // 3 pixels = 6 bytes per row, 2 bytes of padding after each.
    const std::unique_ptr<PixelBuffer> pixels = read(make_bmp(3, 2));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->size(), (Size{3, 2}));
    EXPECT_EQ(pixels->at(0, 1), 0x000);
    EXPECT_EQ(pixels->at(2, 1), 0x002);
    EXPECT_EQ(pixels->at(0, 0), 0x100);
    EXPECT_EQ(pixels->at(2, 0), 0x102);
}

TEST(BmpReader, TopDownRowsForNegativeHeight)
{
    const std::unique_ptr<PixelBuffer> pixels = read(make_bmp(3, -3));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->size(), (Size{3, 3}));
    EXPECT_EQ(pixels->at(1, 0), 0x001);
    EXPECT_EQ(pixels->at(1, 2), 0x201);
}

TEST(BmpReader, PixelsStartAtTheStoredOffset)
{
    // Bit-field masks (12 bytes) between the headers and the pixels.
    const std::unique_ptr<PixelBuffer> pixels = read(make_bmp(2, 1, 16, 12));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->at(0, 0), 0x000);
    EXPECT_EQ(pixels->at(1, 0), 0x001);
}

TEST(BmpReader, LastRowMayLackItsPadding)
{
    std::vector<std::uint8_t> bytes = make_bmp(3, 2);
    bytes.resize(bytes.size() - 2);
    EXPECT_NE(read(bytes), nullptr);
}

TEST(BmpReader, RefusesOtherBitDepths)
{
    EXPECT_EQ(read(make_bmp(4, 4, 8)), nullptr);
    EXPECT_EQ(read(make_bmp(4, 4, 24)), nullptr);
    EXPECT_EQ(read(make_bmp(4, 4, 32)), nullptr);
}

TEST(BmpReader, RefusesEveryTruncation)
{
    const std::vector<std::uint8_t> whole = make_bmp(5, 3);
    // Cutting into the last row's pixels or anything before them is refused.
    for (std::size_t length = 0; length + 2 < whole.size(); ++length) {
        std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(length));
        EXPECT_EQ(read(cut), nullptr) << "length " << length;
    }
}

TEST(BmpReader, RefusesAbsurdAndBrokenSizes)
{
    // The header claims 100000 x 100000 pixels but holds a few bytes.
    std::vector<std::uint8_t> huge = make_bmp(2, 2);
    huge[18] = 0xA0, huge[19] = 0x86, huge[20] = 0x01;  // width 100000
    huge[22] = 0xA0, huge[23] = 0x86, huge[24] = 0x01;  // height 100000
    EXPECT_EQ(read(huge), nullptr);

    EXPECT_EQ(read(make_bmp(-3, 2)), nullptr) << "negative width";
    EXPECT_EQ(read(make_bmp(0, 2)), nullptr) << "no columns";
    EXPECT_EQ(read(make_bmp(3, 0)), nullptr) << "no rows";
    std::vector<std::uint8_t> lowest = make_bmp(2, 2);
    lowest[22] = 0, lowest[23] = 0, lowest[24] = 0, lowest[25] = 0x80;  // height INT_MIN
    EXPECT_EQ(read(lowest), nullptr);
    std::vector<std::uint8_t> early = make_bmp(2, 2);
    early[10] = 20;  // pixels inside the headers
    EXPECT_EQ(read(early), nullptr);
}

TEST(BmpWriter, RoundTripsThroughTheReader)
{
    std::unique_ptr<PixelBuffer> original = PixelBuffer::create(5, 3);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            original->at(x, y) = static_cast<Pixel>(0xF81F ^ (x * 977 + y * 31));
    const std::unique_ptr<PixelBuffer> copy = read(encode_bmp_565(*original));
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->size(), original->size());
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(copy->at(x, y), original->at(x, y));
}

TEST(Load565, LoadsTheFileBesideTheNameAsAWholePicture)
{
    const std::string base = temp_path("load565_ok");
    write_file(base + ".bmp", make_bmp(3, 2));
    std::shared_ptr<SkinBitmap> bitmap;
    const SkinPicture picture = load_565(from_utf8(base), bitmap);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(picture.bitmap, bitmap);
    EXPECT_EQ(bitmap->name(), from_utf8(base));
    EXPECT_EQ(picture.size(), (Size{3, 2}));
    EXPECT_EQ(picture.inner_bottom_right, (Point{3, 2}));
    EXPECT_EQ(picture.origin, (Point{0, 0}));
    std::remove((base + ".bmp").c_str());
}

TEST(Load565, MissingOrForeignFileGivesTheEmptyPicture)
{
    const std::string base = temp_path("load565_eight_bit");
    write_file(base + ".bmp", make_bmp(4, 4, 8));
    std::shared_ptr<SkinBitmap> bitmap;
    EXPECT_EQ(load_565(from_utf8(base), bitmap).size(), (Size{0, 0}));
    EXPECT_EQ(load_565(from_utf8(temp_path("load565_missing")), bitmap).size(), (Size{0, 0}));
    EXPECT_EQ(load_565(from_utf8(base), bitmap).bitmap, SkinBitmap::empty());
    std::remove((base + ".bmp").c_str());
}
