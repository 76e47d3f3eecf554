#include "display/png_writer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Largest payload of one stored deflate block.
constexpr std::size_t stored_block_limit = 65535;

const std::array<std::uint32_t, 256>& crc_table()
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    return table;
}

void put_u32_be(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 24));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// Appends a chunk: length, type, data and the CRC of type and data.
void put_chunk(std::vector<std::uint8_t>& out, const char (&type)[5], const std::vector<std::uint8_t>& data)
{
    put_u32_be(out, static_cast<std::uint32_t>(data.size()));
    std::size_t type_start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put_u32_be(out, png_crc32(out.data() + type_start, out.size() - type_start));
}

// The filtered scanlines: filter byte 0, then R, G, B per pixel.
std::vector<std::uint8_t> scanlines(const PixelBuffer& pixels)
{
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(pixels.height()) * (1 + 3 * pixels.width()));
    for (int y = 0; y < pixels.height(); ++y) {
        raw.push_back(0);
        const Pixel* row = pixels.row(y);
        for (int x = 0; x < pixels.width(); ++x) {
            unsigned red = row[x] >> 11, green = (row[x] >> 5) & 0x3F, blue = row[x] & 0x1F;
            raw.push_back(static_cast<std::uint8_t>((red << 3) | (red >> 2)));
            raw.push_back(static_cast<std::uint8_t>((green << 2) | (green >> 4)));
            raw.push_back(static_cast<std::uint8_t>((blue << 3) | (blue >> 2)));
        }
    }
    return raw;
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> zlib_stored(const std::vector<std::uint8_t>& raw)
{
    std::vector<std::uint8_t> out{0x78, 0x01};
    std::size_t position = 0;
    do {
        std::size_t count = std::min(stored_block_limit, raw.size() - position);
        bool last = position + count == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(count));
        out.push_back(static_cast<std::uint8_t>(count >> 8));
        out.push_back(static_cast<std::uint8_t>(~count));
        out.push_back(static_cast<std::uint8_t>(~count >> 8));
        out.insert(out.end(), raw.begin() + position, raw.begin() + position + count);
        position += count;
    } while (position < raw.size());
    put_u32_be(out, adler32(raw.data(), raw.size()));
    return out;
}

}  // namespace

std::uint32_t png_crc32(const std::uint8_t* bytes, std::size_t count)
{
    const auto& table = crc_table();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i)
        c = table[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t adler32(const std::uint8_t* bytes, std::size_t count)
{
    constexpr std::uint32_t modulus = 65521;
    // 5552 bytes is the longest run whose sums cannot overflow 32 bits.
    constexpr std::size_t run = 5552;
    std::uint32_t a = 1, b = 0;
    while (count > 0) {
        std::size_t n = std::min(run, count);
        count -= n;
        for (std::size_t i = 0; i < n; ++i) {
            a += *bytes++;
            b += a;
        }
        a %= modulus;
        b %= modulus;
    }
    return (b << 16) | a;
}

namespace {

// A whole PNG of 8-bit channels: colour type 2 (RGB) or 6 (RGBA), deflate,
// adaptive filtering, no interlace, over the filtered scanlines.
std::vector<std::uint8_t> encode_png(int width, int height, std::uint8_t colour_type,
                                     const std::vector<std::uint8_t>& filtered)
{
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> out(signature, signature + 8);
    std::vector<std::uint8_t> header;
    put_u32_be(header, static_cast<std::uint32_t>(width));
    put_u32_be(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, colour_type, 0, 0, 0});
    put_chunk(out, "IHDR", header);
    put_chunk(out, "IDAT", zlib_stored(filtered));
    put_chunk(out, "IEND", {});
    return out;
}

}  // namespace

std::vector<std::uint8_t> encode_png_565(const PixelBuffer& pixels)
{
    return encode_png(pixels.width(), pixels.height(), 2, scanlines(pixels));
}

std::vector<std::uint8_t> encode_png_rgba(int width, int height, const std::uint8_t* rgba)
{
    std::vector<std::uint8_t> filtered;
    const std::size_t row_bytes = static_cast<std::size_t>(width) * 4;
    filtered.reserve(static_cast<std::size_t>(height) * (1 + row_bytes));
    for (int y = 0; y < height; ++y) {
        filtered.push_back(0);
        filtered.insert(filtered.end(), rgba + y * row_bytes, rgba + (y + 1) * row_bytes);
    }
    return encode_png(width, height, 6, filtered);
}
