#include "library/exif_reader.h"

#include <algorithm>
#include <cstring>
#include <libexif/exif-data.h>

#include "library/jpeg_decoder.h"
#include "library/preview_pixels.h"
#include "pixels/render_surface.h"
#include "platform/file.h"
#include "platform/memory_stream.h"
#include "platform/paths.h"

namespace {

constexpr std::uint8_t marker_start = 0xFF;
constexpr std::uint8_t start_of_image = 0xD8;
constexpr std::uint8_t start_of_scan = 0xDA;
constexpr std::uint8_t end_of_image = 0xD9;
constexpr std::uint8_t app1 = 0xE1;
constexpr std::uint8_t exif_header[6] = {'E', 'x', 'i', 'f', 0, 0};

// Markers that stand alone, without a length: TEM and the restart markers.
bool is_standalone(std::uint8_t marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

struct ExifDataDeleter {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

// The orientation entry of the first IFD: one or more SHORT values, the first counts.
Orientation orientation_of(ExifData& data)
{
    ExifEntry* entry = exif_content_get_entry(data.ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data || entry->size < 2)
        return Orientation::upright;
    return orientation_from_tag(exif_get_short(entry->data, exif_data_get_byte_order(&data)));
}

// The largest reduction (1, 2, 4 or 8) that keeps side / reduction at least min_side.
int scale_for(int side, int min_side)
{
    int scale = 1;
    while (scale < 8 && side / (scale * 2) >= min_side)
        scale *= 2;
    return scale;
}

}  // namespace

ExifSearch find_exif_segment(const std::uint8_t* jpeg, std::size_t size, const std::uint8_t*& segment,
                             std::size_t& length)
{
    if (size < 4 || jpeg[0] != marker_start || jpeg[1] != start_of_image)
        return ExifSearch::absent;
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (jpeg[at] != marker_start)
            return ExifSearch::absent;
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == marker_start) {  // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == start_of_scan || marker == end_of_image)
            return ExifSearch::absent;
        if (is_standalone(marker)) {
            at += 2;
            continue;
        }
        const std::size_t declared = (static_cast<std::size_t>(jpeg[at + 2]) << 8) | jpeg[at + 3];
        if (declared < 2)
            return ExifSearch::absent;
        const std::size_t payload = at + 4;
        const std::size_t available = std::min(declared - 2, size - payload);
        if (marker == app1 && available >= sizeof exif_header &&
            std::memcmp(jpeg + payload, exif_header, sizeof exif_header) == 0) {
            segment = jpeg + payload;
            length = available;
            return ExifSearch::found;
        }
        at += 2 + declared;
    }
    return ExifSearch::beyond;
}

ExifInfo parse_exif(const std::uint8_t* jpeg, std::size_t size, bool with_thumbnail)
{
    ExifInfo info;
    const std::uint8_t* segment = nullptr;
    std::size_t length = 0;
    if (find_exif_segment(jpeg, size, segment, length) != ExifSearch::found)
        return info;
    const std::unique_ptr<ExifData, ExifDataDeleter> data(exif_data_new());
    if (!data)
        return info;
    // Loading as it is: no entries are added or changed to follow the standard.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data.get(), segment, static_cast<unsigned int>(length));
    info.orientation = orientation_of(*data);
    if (with_thumbnail && data->data && data->size > 0)
        info.thumbnail.assign(data->data, data->data + data->size);
    return info;
}

ExifInfo read_exif(StringView picture, bool with_thumbnail)
{
    File file;
    if (!file.open_expanded(expand_path(picture), File::read_mode))
        return {};
    const std::uint64_t size = file.size();
    std::vector<std::uint8_t> start(static_cast<std::size_t>(
        std::min<std::uint64_t>(size, with_thumbnail ? exif_read_limit : orientation_read_limit)));
    std::uint32_t got = file.read(start.data(), static_cast<std::uint32_t>(start.size()));
    const std::uint8_t* segment = nullptr;
    std::size_t length = 0;
    if (got == start.size() && start.size() < std::min<std::uint64_t>(size, exif_read_limit) &&
        find_exif_segment(start.data(), got, segment, length) == ExifSearch::beyond) {
        start.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, exif_read_limit)));
        got = file.seek(0) ? file.read(start.data(), static_cast<std::uint32_t>(start.size())) : 0;
    }
    return parse_exif(start.data(), got, with_thumbnail);
}

Orientation read_orientation(StringView picture)
{
    return read_exif(picture, false).orientation;
}

// The thumbnail is cut to its centred square as the preview's own thumbnail
// is, so that it fills a square cell without being squeezed.
std::unique_ptr<RenderSurface> decode_embedded_thumbnail(const ExifInfo& info, int min_side)
{
    if (info.thumbnail.empty())
        return nullptr;
    MemoryReader stream(info.thumbnail);
    JpegDecoder decoder;
    if (!decoder.open(stream, info.thumbnail.size()) || decoder.width() > max_embedded_thumbnail_side ||
        decoder.height() > max_embedded_thumbnail_side ||
        !decoder.set_scale(scale_for(std::min(decoder.width(), decoder.height()), std::max(min_side, 1))) ||
        !decoder.start())
        return nullptr;
    const int width = decoder.output_width(), height = decoder.output_height();
    const int side = std::min(width, height);
    const int left = (width - side) / 2, top = (height - side) / 2;
    auto square = std::make_unique<RenderSurface>(Size{side, side});
    if (side <= 0 || !square->buffer())
        return nullptr;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < top + side; ++y) {
        if (!decoder.read_scanline(row.data()))
            return nullptr;
        if (y >= top)
            rgb_to_pixels(&row[static_cast<std::size_t>(left) * 3], square->buffer()->row(y - top), side);
    }
    if (info.orientation == Orientation::upright)
        return square;
    return oriented_copy(*square->buffer(), info.orientation);
}

std::unique_ptr<RenderSurface> show_as_tagged(std::unique_ptr<RenderSurface> stored, StringView picture)
{
    if (!stored || !stored->buffer())
        return stored;
    const Orientation orientation = read_orientation(picture);
    if (orientation == Orientation::upright)
        return stored;
    return oriented_copy(*stored->buffer(), orientation);
}
