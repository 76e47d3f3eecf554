#include "pixels/bmp_reader.h"

#include <bit>
#include <climits>
#include <cstring>

namespace {

constexpr std::uint32_t file_header_size = 14;
constexpr std::uint32_t info_header_size = 40;

std::uint32_t read_u32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

std::uint16_t read_u16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

struct BmpLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;  // rows, always positive
    bool top_down = false;
    std::uint32_t pixel_offset = 0;
    std::int64_t stride = 0;  // bytes per stored row, padding included
};

// Header checks beyond the bit count: the sizes must be positive, the pixels
// must start after the headers and every row must be in the file, so that a
// damaged or hostile header can neither crash nor make us allocate for
// pixels that are not there.
bool read_layout(InputStream& stream, BmpLayout& layout)
{
    std::uint8_t file_header[file_header_size] = {};
    std::uint8_t info_header[info_header_size] = {};
    stream.read(file_header, file_header_size);
    stream.read(info_header, info_header_size);
    const std::uint16_t bit_count = read_u16(info_header + 14);
    const auto width = static_cast<std::int32_t>(read_u32(info_header + 4));
    const auto height = static_cast<std::int32_t>(read_u32(info_header + 8));
    if (bit_count != 16 || width <= 0 || height == 0 || height == INT_MIN)
        return false;
    layout.width = width;
    layout.height = height < 0 ? -height : height;
    layout.top_down = height < 0;
    layout.pixel_offset = read_u32(file_header + 10);
    layout.stride = (std::int64_t(bit_count) * width + 31) / 32 * 4;
    if (layout.pixel_offset < file_header_size + info_header_size)
        return false;
    const std::int64_t needed =
        std::int64_t(layout.pixel_offset) + (std::int64_t(layout.height) - 1) * layout.stride + std::int64_t(width) * 2;
    return needed <= std::int64_t(stream.size());
}

bool read_rows(InputStream& stream, const BmpLayout& layout, PixelBuffer& pixels)
{
    const std::uint64_t skip = layout.pixel_offset - (file_header_size + info_header_size);
    if (stream.skip(skip) != skip)
        return false;
    const auto row_bytes = std::uint32_t(layout.width) * 2;
    for (std::int32_t i = 0; i < layout.height; ++i) {
        const std::int32_t y = layout.top_down ? i : layout.height - 1 - i;
        Pixel* row = pixels.row(y);
        if (stream.read(row, row_bytes) != row_bytes)
            return false;
        if constexpr (std::endian::native == std::endian::big) {
            for (std::int32_t x = 0; x < layout.width; ++x)
                row[x] = static_cast<Pixel>(row[x] << 8 | row[x] >> 8);
        }
        // The last row's padding may be missing from the file.
        stream.skip(std::uint64_t(layout.stride) - row_bytes);
    }
    return true;
}

}  // namespace

std::unique_ptr<PixelBuffer> read_bmp_565(InputStream& stream)
{
    BmpLayout layout;
    if (!read_layout(stream, layout))
        return nullptr;
    std::unique_ptr<PixelBuffer> pixels = PixelBuffer::create(layout.width, layout.height);
    if (!pixels || !read_rows(stream, layout, *pixels))
        return nullptr;
    return pixels;
}
