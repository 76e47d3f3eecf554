// The PNG writer: checksums, chunk layout and the stored image data.

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include "display/png_writer.h"

namespace {

std::uint32_t read_u32_be(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return (std::uint32_t(bytes.at(at)) << 24) | (std::uint32_t(bytes.at(at + 1)) << 16) |
           (std::uint32_t(bytes.at(at + 2)) << 8) | std::uint32_t(bytes.at(at + 3));
}

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
    bool crc_ok;
};

// Splits a PNG into its chunks, checking each CRC.
std::vector<Chunk> chunks_of(const std::vector<std::uint8_t>& png)
{
    std::vector<Chunk> chunks;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        std::uint32_t length = read_u32_be(png, at);
        Chunk chunk;
        chunk.type.assign(png.begin() + at + 4, png.begin() + at + 8);
        chunk.data.assign(png.begin() + at + 8, png.begin() + at + 8 + length);
        chunk.crc_ok = read_u32_be(png, at + 8 + length) == png_crc32(&png[at + 4], length + 4);
        chunks.push_back(chunk);
        at += 12 + length;
    }
    return chunks;
}

// The payload of a zlib stream made of stored blocks; fails the test on anything else.
std::vector<std::uint8_t> unstore(const std::vector<std::uint8_t>& zlib)
{
    std::vector<std::uint8_t> raw;
    EXPECT_EQ(zlib.at(0), 0x78);
    EXPECT_EQ((zlib.at(0) * 256 + zlib.at(1)) % 31, 0);
    std::size_t at = 2;
    bool last = false;
    while (!last) {
        last = zlib.at(at) & 1;
        EXPECT_EQ(zlib.at(at) >> 1, 0) << "not a stored block";
        unsigned length = zlib.at(at + 1) | (zlib.at(at + 2) << 8);
        unsigned complement = zlib.at(at + 3) | (zlib.at(at + 4) << 8);
        EXPECT_EQ(length ^ 0xFFFF, complement);
        raw.insert(raw.end(), zlib.begin() + at + 5, zlib.begin() + at + 5 + length);
        at += 5 + length;
    }
    EXPECT_EQ(read_u32_be(zlib, at), adler32(raw.data(), raw.size()));
    EXPECT_EQ(at + 4, zlib.size());
    return raw;
}

}  // namespace

TEST(DisplayPngTest, ChecksumsMatchTheirReferenceValues)
{
    const char* digits = "123456789";
    EXPECT_EQ(png_crc32(reinterpret_cast<const std::uint8_t*>(digits), 9), 0xCBF43926u);
    const char* word = "Wikipedia";
    EXPECT_EQ(adler32(reinterpret_cast<const std::uint8_t*>(word), 9), 0x11E60398u);
    // Long runs of 0xFF must not overflow the sums.
    std::vector<std::uint8_t> ones(100000, 0xFF);
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : ones) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(adler32(ones.data(), ones.size()), (b << 16) | a);
}

TEST(DisplayPngTest, SmallPictureHasHeaderAndWidenedChannels)
{
    auto pixels = PixelBuffer::create(3, 1);
    pixels->at(0, 0) = 0xF800;  // pure red
    pixels->at(1, 0) = 0x07E0;  // pure green
    pixels->at(2, 0) = 0x0821;  // the smallest step of each channel
    std::vector<std::uint8_t> png = encode_png_565(*pixels);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);

    std::vector<Chunk> chunks = chunks_of(png);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_EQ(chunks[2].type, "IEND");
    for (const Chunk& chunk : chunks)
        EXPECT_TRUE(chunk.crc_ok) << chunk.type;
    EXPECT_EQ(read_u32_be(chunks[0].data, 0), 3u);
    EXPECT_EQ(read_u32_be(chunks[0].data, 4), 1u);
    EXPECT_EQ(chunks[0].data[8], 8);  // bits per channel
    EXPECT_EQ(chunks[0].data[9], 2);  // RGB

    std::vector<std::uint8_t> expected = {0, 255, 0, 0, 0, 255, 0, 8, 4, 8};
    EXPECT_EQ(unstore(chunks[1].data), expected);
}

TEST(DisplayPngTest, LargePictureSpansSeveralStoredBlocks)
{
    auto pixels = PixelBuffer::create(200, 150);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            pixels->at(x, y) = static_cast<Pixel>(x * 331 + y * 17);
    std::vector<Chunk> chunks = chunks_of(encode_png_565(*pixels));
    ASSERT_EQ(chunks.size(), 3u);
    std::vector<std::uint8_t> raw = unstore(chunks[1].data);
    ASSERT_EQ(raw.size(), 150u * (1 + 3 * 200));
    // Pixel (199, 149): the last three bytes.
    Pixel last = pixels->at(199, 149);
    EXPECT_EQ(raw[raw.size() - 3] >> 3, last >> 11);
    EXPECT_EQ(raw[raw.size() - 2] >> 2, (last >> 5) & 0x3F);
    EXPECT_EQ(raw[raw.size() - 1] >> 3, last & 0x1F);
}
