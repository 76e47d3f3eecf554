#include "library/preview_file.h"

#include <sys/stat.h>
#include <fcntl.h>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/file.h"
#include "platform/paths.h"

namespace {

constexpr std::uint32_t table_fixed_size = 21;  // magic, L, level 0 entry, thumbnail entry

std::uint32_t header_size(int levels)
{
    return table_fixed_size + 16 * static_cast<std::uint32_t>(levels);
}

// Creation time of a file: the birth time where the file system records it,
// else the modification time. False when the file cannot be examined.
bool creation_time(const std::string& path, std::uint64_t& size, timespec& when)
{
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
        return false;
    if (!S_ISREG(info.stx_mode))
        return false;
    size = info.stx_size;
    const statx_timestamp& stamp = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    when.tv_sec = static_cast<time_t>(stamp.tv_sec);
    when.tv_nsec = stamp.tv_nsec;
    return true;
}

String cache_folder(StringView root)
{
    String folder(root);
    if (!folder.empty() && folder.back() != u'/' && folder.back() != u'\\')
        folder += u'/';
    return folder + u"!pictaviocache/";
}

std::uint32_t read_u32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A range [offset, offset + length) that lies inside a file of size bytes.
bool inside(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return offset <= size && length <= size - offset;
}

}  // namespace

int preview_levels(int width, int height)
{
    const int longer = width > height ? width : height;
    int bits = 0;
    while (bits < 31 && (1LL << bits) < longer)
        ++bits;
    return bits > 8 ? bits - 8 : 0;
}

String preview_path(StringView picture, StringView root)
{
    std::uint64_t size = 0;
    timespec when{};
    if (!creation_time(to_utf8(expand_path(picture)), size, when))
        return String();
    tm fields{};
    localtime_r(&when.tv_sec, &fields);
    const double seconds = fields.tm_sec + static_cast<double>(when.tv_nsec / 1000000) / 1000.0;
    char name[96];
    std::snprintf(name, sizeof name, "%d%d%d%d%d%f", static_cast<int>(static_cast<std::uint32_t>(size)),
                  fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, seconds);
    return cache_folder(root) + from_utf8(name);
}

bool is_preview_ready(StringView picture, StringView root)
{
    const String path = preview_path(picture, root);
    if (path.empty())
        return false;
    File file;
    if (!file.open_expanded(path, File::read_mode))
        return false;
    std::uint8_t magic[4];
    return file.read(magic, 4) == 4 && read_u32(magic) == preview_magic;
}

// Everything read here is checked against the file's size, so that a truncated
// file, one of another picture or one with wild offsets is refused before any
// of its offsets is used.
bool read_preview_table(InputStream& preview, int expected_levels, PreviewTable& table)
{
    const std::uint64_t size = preview.size();
    std::uint8_t head[5];
    if (!preview.seek(0) || preview.read(head, 5) != 5 || read_u32(head) != preview_magic)
        return false;
    const int levels = head[4];
    if (levels > 23 || (expected_levels >= 0 && levels != expected_levels))
        return false;
    const std::uint32_t rest = header_size(levels) - 5;
    if (size < header_size(levels))
        return false;
    std::vector<std::uint8_t> bytes(rest);
    if (preview.read(bytes.data(), rest) != rest)
        return false;

    table.levels = levels;
    table.entries.assign(static_cast<std::size_t>(levels) + 1, PreviewLevel{});
    table.entries[0].records_offset = read_u32(&bytes[0]);
    table.entries[0].records_length = read_u32(&bytes[4]);
    for (int k = 1; k <= levels; ++k) {
        const std::uint8_t* p = &bytes[8 + 16 * (k - 1)];
        table.entries[k] = {read_u32(p), read_u32(p + 4), read_u32(p + 8), read_u32(p + 12)};
    }
    table.thumbnail_offset = read_u32(&bytes[rest - 8]);
    table.thumbnail_length = read_u32(&bytes[rest - 4]);

    for (int k = 0; k <= levels; ++k) {
        const PreviewLevel& level = table.entries[k];
        if (!inside(level.records_offset, level.records_length, size) || level.records_length % resume_record_size != 0)
            return false;
        if (!inside(level.jpeg_offset, level.jpeg_length, size) || (k > 0 && level.jpeg_length == 0))
            return false;
    }
    return table.thumbnail_length > 0 && inside(table.thumbnail_offset, table.thumbnail_length, size);
}
