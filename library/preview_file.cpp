#include "library/preview_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "library/jpeg_decoder.h"
#include "library/preview_format.h"
#include "library/preview_pixels.h"
#include "library/resume_record.h"
#include "pixels/render_surface.h"
#include "platform/file.h"
#include "platform/file_identity.h"
#include "platform/log.h"
#include "platform/memory_stream.h"
#include "platform/paths.h"

namespace {

// L of a picture whose longer side is below 2^31 pixels.
constexpr int max_levels = 23;
// Appended to a preview's name to name its transcode; no preview name holds a letter.
constexpr StringView transcode_suffix = u".baseline";

void delete_file(StringView path)
{
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(to_utf8(expand_path(path))), ignored);
}

bool is_separator(char16_t c)
{
    return c == u'/' || c == u'\\';
}

// The preview folder inside the search root itself.
String root_preview_folder(StringView root)
{
    String folder(root);
    if (!folder.empty() && !is_separator(folder.back()))
        folder += u'/';
    return folder + u"!pictaviocache/";
}

// A folder name for root that no other root shares: its last component (for
// the reader of the cache folder) and a 64-bit FNV-1a hash of its whole
// expanded path.
String user_folder_name(StringView root)
{
    const std::string path = to_utf8(strip_trailing_separator(expand_path(root)));
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : path)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    std::string label = to_utf8(file_name_of(from_utf8(path)));
    for (char& c : label)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            c = '_';
    char tail[24];
    std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(hash));
    return from_utf8((label.empty() ? std::string("root") : label) + tail);
}

// The preview folder of root in the user's cache folder.
String user_preview_folder(StringView root)
{
    return user_cache_folder() + u"/pictavio/" + user_folder_name(root) + u"/!pictaviocache/";
}

bool directory_exists(StringView path)
{
    struct stat status {};
    return stat(to_utf8(expand_path(path)).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
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

String preview_name(const FileIdentity& picture)
{
    const time_t created = static_cast<time_t>(picture.created.seconds);
    tm fields{};
    localtime_r(&created, &fields);
    // The seconds field is the seconds plus the milliseconds / 1000 printed with
    // "%f". Whole milliseconds always print as ".mmm000" (the double lies far
    // closer than 0.0000005 to that value), so they are printed as integers:
    // the same text without the cost of formatting a floating-point number.
    const int milliseconds = static_cast<int>(picture.created.nanoseconds / 1000000);
    // Written with to_chars: the search names every picture it finds, and
    // formatting through printf cost more than the rest of the name.
    char name[96];
    char* end = name;
    const auto append = [&](int value) { end = std::to_chars(end, name + sizeof name, value).ptr; };
    append(static_cast<int>(static_cast<std::uint32_t>(picture.size)));
    for (const int field : {fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec})
        append(field);
    // ".mmm000": the milliseconds times 1000, padded to six digits.
    const int fraction = milliseconds * 1000;
    *end++ = '.';
    for (int padded = 100000; padded > 1 && fraction < padded; padded /= 10)
        append(0);
    append(fraction);
    // The name is ASCII digits, signs and a point: widened as it is, with no UTF-8 decoding.
    return String(name, end);
}

// Once previews of a root have gone to the user's cache folder, they are found
// there and new ones join them, even when the root has become writable: the
// previews of a root always lie in one folder.
String preview_folder(StringView root)
{
    const String user = user_preview_folder(root);
    return directory_exists(user) ? user : root_preview_folder(root);
}

String make_preview_folder(StringView root)
{
    const String user = user_preview_folder(root);
    if (directory_exists(user))
        return user;
    const String local = root_preview_folder(root);
    create_directory_path(local);
    if (directory_exists(local) && can_create_files_in(local))
        return local;
    // A root that is gone (a card taken out) is not a read-only one: it must
    // not be tied to a folder in the user's cache for good.
    if (!directory_exists(root)) {
        log() << "no preview folder for the missing root " << root << "\n";
        return String();
    }
    create_directory_path(user);
    if (directory_exists(user) && can_create_files_in(user))
        return user;
    log() << "no preview folder can be written for " << root << "\n";
    return String();
}

String preview_path(const FileIdentity& picture, StringView root)
{
    return preview_folder(root) + preview_name(picture);
}

String preview_path(StringView picture, StringView root)
{
    FileIdentity identity;
    if (!file_identity(picture, identity))
        return String();
    return preview_path(identity, root);
}

String preview_file_key(const FileIdentity& picture, StringView root)
{
    return strip_trailing_separator(expand_path(root)) + u'/' + preview_name(picture);
}

String transcode_path(StringView preview)
{
    return String(preview) + String(transcode_suffix);
}

bool is_transcode_name(StringView name)
{
    return name.size() > transcode_suffix.size() && name.ends_with(transcode_suffix);
}

StringView preview_name_of_transcode(StringView name)
{
    return is_transcode_name(name) ? name.substr(0, name.size() - transcode_suffix.size()) : name;
}

void delete_transcode(StringView preview)
{
    if (!preview.empty())
        delete_file(transcode_path(preview));
}

void delete_preview(StringView preview)
{
    if (preview.empty())
        return;
    delete_file(preview);
    delete_transcode(preview);
}

void mark_preview_bad(StringView preview)
{
    if (preview.empty())
        return;
    delete_transcode(preview);
    File empty(preview, File::create_mode);
}

bool is_preview_file_ready(StringView preview)
{
    File file;
    if (preview.empty() || !file.open(preview, File::read_mode))
        return false;
    std::uint8_t magic[4];
    return file.read(magic, 4) == 4 && read_u32(magic) == preview_magic;
}

bool is_preview_ready(StringView picture, StringView root)
{
    return is_preview_file_ready(preview_path(picture, root));
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
    if (levels > max_levels || (expected_levels >= 0 && levels != expected_levels))
        return false;
    const std::uint32_t rest = preview_header_size(levels) - 5;
    if (size < preview_header_size(levels))
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

namespace {

// A thumbnail JPEG is a few kilobytes; anything much larger is not ours.
constexpr std::uint32_t max_thumbnail_length = 1024 * 1024;

}  // namespace

// The magic is checked: a file whose build was cut short may hold a table of zeros
// or none at all.
std::unique_ptr<RenderSurface> load_thumbnail(StringView picture, StringView root)
{
    const String path = preview_path(picture, root);
    File file;
    PreviewTable table;
    if (path.empty() || !file.open(path, File::read_mode) || !read_preview_table(file, -1, table) ||
        table.thumbnail_length > max_thumbnail_length || !file.seek(table.thumbnail_offset))
        return nullptr;
    std::vector<std::uint8_t> bytes(table.thumbnail_length);
    if (file.read(bytes.data(), table.thumbnail_length) != table.thumbnail_length)
        return nullptr;
    MemoryStream jpeg(bytes.data(), bytes.size());
    JpegDecoder decoder;
    if (!decoder.open(jpeg, bytes.size()) || !decoder.start() || decoder.output_width() != thumbnail_side ||
        decoder.output_height() != thumbnail_side)
        return nullptr;
    auto surface = std::make_unique<RenderSurface>(Size{thumbnail_side, thumbnail_side});
    if (!surface->buffer())
        return nullptr;
    std::uint8_t row[thumbnail_side * 3];
    for (int y = 0; y < thumbnail_side; ++y) {
        if (!decoder.read_scanline(row))
            return nullptr;
        rgb_to_pixels(row, surface->buffer()->row(y), thumbnail_side);
    }
    return surface;
}
