#include "pixels/bmp_writer.h"

#include "platform/file.h"

namespace {

// File header, information header and the three RGB565 bit-field masks.
constexpr std::uint32_t headers_size = 14 + 40 + 12;
constexpr std::uint32_t bi_bitfields = 3;

void put_u16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put_u16(out, value & 0xFFFF);
    put_u16(out, value >> 16);
}

}  // namespace

std::vector<std::uint8_t> encode_bmp_565(const PixelBuffer& pixels)
{
    const auto stride = std::uint32_t(PixelBuffer::pitch_for(pixels.width()));
    const std::uint32_t image_size = stride * std::uint32_t(pixels.height());
    std::vector<std::uint8_t> out;
    out.reserve(headers_size + image_size);
    out.push_back('B');
    out.push_back('M');
    put_u32(out, headers_size + image_size);
    put_u32(out, 0);
    put_u32(out, headers_size);
    put_u32(out, 40);
    put_u32(out, std::uint32_t(pixels.width()));
    put_u32(out, std::uint32_t(pixels.height()));  // positive: rows stored bottom-up
    put_u16(out, 1);
    put_u16(out, 16);
    put_u32(out, bi_bitfields);
    put_u32(out, image_size);
    put_u32(out, 3780);  // 96 dpi in pixels per metre
    put_u32(out, 3780);
    put_u32(out, 0);
    put_u32(out, 0);
    put_u32(out, 0xF800);
    put_u32(out, 0x07E0);
    put_u32(out, 0x001F);
    for (std::int32_t y = pixels.height() - 1; y >= 0; --y) {
        const Pixel* row = pixels.row(y);
        for (std::int32_t x = 0; x < pixels.width(); ++x)
            put_u16(out, row[x]);
        for (std::uint32_t pad = std::uint32_t(pixels.width()) * 2; pad < stride; ++pad)
            out.push_back(0);
    }
    return out;
}

bool write_bmp_565(StringView path, const PixelBuffer& pixels)
{
    const std::vector<std::uint8_t> bytes = encode_bmp_565(pixels);
    File file(path, File::create_mode);
    if (!file.is_open())
        return false;
    const bool written = file.write(bytes.data(), std::uint32_t(bytes.size())) == bytes.size();
    file.flush();
    return written;
}
