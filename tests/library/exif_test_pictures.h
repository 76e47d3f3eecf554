#pragma once
// Pictures with EXIF data for the orientation tests: an asymmetric picture
// (a flat colour in each quarter) stored turned or mirrored for each tag
// value, TIFF data built entry by entry in either byte order, and the APP1
// segment put into a JPEG.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "library/jpeg_encoder.h"
#include "pixels/pixel_types.h"
#include "platform/memory_stream.h"
#include "tests/pixel_compare.h"

namespace exif_test {

struct Rgb {
    std::uint8_t r, g, b;
};

// The upright picture's quarters: top left, top right, bottom left, bottom
// right. They differ in brightness only (each is a grey plus the same tint),
// so the chroma planes are flat: with the quarters meeting on MCU borders,
// every JPEG the pictures go through reproduces them exactly, whatever
// side the compression runs from.
inline constexpr Rgb quarter_colours[4] = {{90, 50, 10}, {140, 100, 60}, {190, 150, 110}, {240, 200, 160}};

// Vivid quarters for embedded thumbnails, told apart from the picture's own.
inline constexpr Rgb thumbnail_colours[4] = {{220, 30, 30}, {30, 200, 40}, {30, 40, 220}, {220, 210, 30}};

using Quarters = Rgb[4];

inline Rgb upright_colour(int x, int y, Size size, const Quarters& colours = quarter_colours)
{
    return colours[(y >= size.height / 2 ? 2 : 0) + (x >= size.width / 2 ? 1 : 0)];
}

// Where stored pixel (x, y) of a picture of size stored shows under tag, from
// the tag's definition: the side along which the stored first row runs and
// the side along which the stored first column runs.
inline Point shown_at(int tag, int x, int y, Size stored)
{
    enum Side { top, bottom, left, right };
    static constexpr Side row_side[9] = {top, top, top, bottom, bottom, left, right, right, left};
    static constexpr Side column_side[9] = {left, left, right, right, left, top, top, bottom, bottom};
    const Side row = row_side[tag], column = column_side[tag];
    if (row == top || row == bottom) {
        const int shown_y = row == top ? y : stored.height - 1 - y;
        const int shown_x = column == left ? x : stored.width - 1 - x;
        return {shown_x, shown_y};
    }
    // The stored rows become displayed columns: the displayed picture is stored.height wide.
    const int shown_x = row == left ? y : stored.height - 1 - y;
    const int shown_y = column == top ? x : stored.width - 1 - x;
    return {shown_x, shown_y};
}

// Stored size of the upright picture under tag.
inline Size stored_size(int tag, Size upright)
{
    return tag >= 5 ? Size{upright.height, upright.width} : upright;
}

// The RGB pixels stored for the upright picture of that size under tag.
inline std::vector<std::uint8_t> stored_rgb(int tag, Size upright, const Quarters& colours = quarter_colours)
{
    const Size stored = stored_size(tag, upright);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(stored.width) * stored.height * 3);
    for (int y = 0; y < stored.height; ++y)
        for (int x = 0; x < stored.width; ++x) {
            const Point shown = shown_at(tag, x, y, stored);
            const Rgb colour = upright_colour(shown.x, shown.y, upright, colours);
            std::uint8_t* out = &rgb[(static_cast<std::size_t>(y) * stored.width + x) * 3];
            out[0] = colour.r;
            out[1] = colour.g;
            out[2] = colour.b;
        }
    return rgb;
}

inline std::vector<std::uint8_t> encode_jpeg(const std::vector<std::uint8_t>& rgb, Size size, int quality = 90)
{
    MemoryStream stream;
    JpegEncoder encoder;
    if (!encoder.create(stream, size.width, size.height, quality))
        return {};
    for (int y = 0; y < size.height; ++y)
        if (!encoder.write_scanline(&rgb[static_cast<std::size_t>(y) * size.width * 3]))
            return {};
    return encoder.finish() ? stream.bytes() : std::vector<std::uint8_t>{};
}

// TIFF field types.
constexpr std::uint16_t type_short = 3;
constexpr std::uint16_t type_long = 4;
// Tags.
constexpr std::uint16_t tag_orientation = 0x0112;
constexpr std::uint16_t tag_thumbnail_offset = 0x0201;
constexpr std::uint16_t tag_thumbnail_length = 0x0202;

struct TiffEntry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value;  // the value itself (SHORT in the first two bytes) or an offset
};

// Writes TIFF data in either byte order.
class TiffWriter {
public:
    explicit TiffWriter(bool big_endian) : m_big(big_endian)
    {
        m_bytes = big_endian ? std::vector<std::uint8_t>{'M', 'M', 0, 42} : std::vector<std::uint8_t>{'I', 'I', 42, 0};
        u32(8);
    }
    void u16(std::uint16_t v)
    {
        if (m_big)
            m_bytes.insert(m_bytes.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        else
            m_bytes.insert(m_bytes.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    }
    void u32(std::uint32_t v)
    {
        if (m_big) {
            u16(std::uint16_t(v >> 16));
            u16(std::uint16_t(v));
        } else {
            u16(std::uint16_t(v));
            u16(std::uint16_t(v >> 16));
        }
    }
    // An IFD at the current end; next is the offset of the next IFD (0: none).
    void ifd(const std::vector<TiffEntry>& entries, std::uint32_t next)
    {
        u16(static_cast<std::uint16_t>(entries.size()));
        for (const TiffEntry& entry : entries) {
            u16(entry.tag);
            u16(entry.type);
            u32(entry.count);
            if (entry.type == type_short && entry.count == 1) {
                u16(static_cast<std::uint16_t>(entry.value));
                u16(0);
            } else
                u32(entry.value);
        }
        u32(next);
    }
    std::size_t size() const { return m_bytes.size(); }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }

private:
    bool m_big;
    std::vector<std::uint8_t> m_bytes;
};

// Size of an IFD of n entries.
inline std::uint32_t ifd_size(std::size_t n)
{
    return static_cast<std::uint32_t>(2 + 12 * n + 4);
}

// TIFF data with the orientation tag in the first IFD and, when thumbnail is
// not empty, a second IFD pointing at the thumbnail JPEG placed after it.
inline std::vector<std::uint8_t> orientation_tiff(int tag, bool big_endian,
                                                  const std::vector<std::uint8_t>& thumbnail = {})
{
    TiffWriter tiff(big_endian);
    const std::uint32_t second = thumbnail.empty() ? 0 : 8 + ifd_size(1);
    tiff.ifd({{tag_orientation, type_short, 1, static_cast<std::uint32_t>(tag)}}, second);
    if (!thumbnail.empty()) {
        const std::uint32_t data = second + ifd_size(2);
        tiff.ifd({{tag_thumbnail_offset, type_long, 1, data},
                  {tag_thumbnail_length, type_long, 1, static_cast<std::uint32_t>(thumbnail.size())}},
                 0);
        tiff.bytes().insert(tiff.bytes().end(), thumbnail.begin(), thumbnail.end());
    }
    return tiff.bytes();
}

// The JPEG with an APP1 segment holding payload right after its SOI marker.
inline std::vector<std::uint8_t> with_app1(const std::vector<std::uint8_t>& jpeg,
                                           const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    const std::size_t length = payload.size() + 2;
    out.insert(out.end(), {0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length)});
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// The JPEG with "Exif\0\0" and tiff as its APP1 segment.
inline std::vector<std::uint8_t> with_exif(const std::vector<std::uint8_t>& jpeg, const std::vector<std::uint8_t>& tiff)
{
    std::vector<std::uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return with_app1(jpeg, payload);
}

// The asymmetric picture of upright size stored for tag, with the tag (no
// EXIF data at all for tag 0) and an optional embedded thumbnail.
inline std::vector<std::uint8_t> tagged_picture(int tag, Size upright, const std::vector<std::uint8_t>& thumbnail = {},
                                                bool big_endian = false)
{
    const int stored_tag = tag == 0 ? 1 : tag;
    const std::vector<std::uint8_t> jpeg =
        encode_jpeg(stored_rgb(stored_tag, upright), stored_size(stored_tag, upright));
    return tag == 0 ? jpeg : with_exif(jpeg, orientation_tiff(tag, big_endian, thumbnail));
}

// The JPEG with a comment segment of n bytes after its SOI marker.
inline std::vector<std::uint8_t> with_comment(const std::vector<std::uint8_t>& jpeg, std::size_t n)
{
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), {0xFF, 0xFE, std::uint8_t((n + 2) >> 8), std::uint8_t(n + 2)});
    out.insert(out.end(), n, 'c');
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// An embedded thumbnail of upright size in the vivid colours, stored for tag.
inline std::vector<std::uint8_t> embedded_thumbnail(int tag, Size upright)
{
    return encode_jpeg(stored_rgb(tag, upright, thumbnail_colours), stored_size(tag, upright), 95);
}

// The JPEG padded by a comment segment to 40000 + 64 index bytes (it must be
// smaller than that): the pictures of one folder, written within the same
// millisecond, must differ in size, or they would share a preview name.
inline std::vector<std::uint8_t> with_distinct_size(const std::vector<std::uint8_t>& jpeg, int index)
{
    const std::size_t total = 40000 + 64 * static_cast<std::size_t>(index);
    return jpeg.size() + 4 < total ? with_comment(jpeg, total - jpeg.size() - 4) : std::vector<std::uint8_t>{};
}

inline bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bool(out);
}

// The largest difference of two RGB565 pixels in any channel, in RGB565 levels.
inline int pixel_distance(Pixel a, Pixel b)
{
    return channel_distance(a, b);
}

}  // namespace exif_test
