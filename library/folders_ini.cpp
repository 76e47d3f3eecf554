#include "library/folders_ini.h"

#include <climits>
#include <filesystem>
#include <system_error>
#include "platform/file.h"
#include "platform/language.h"
#include "platform/paths.h"

namespace {

// A larger file is not an album list; reading it whole would only waste memory.
constexpr std::uint64_t max_file_size = 64u * 1024u * 1024u;

const StringView key_picture_key = u"KeyPicturePath";
const StringView drive_key = u"DrivePath";
const StringView size_key = u"FolderSize";

// Reads a leading decimal number as "%d" would, saturating at the int32 range;
// 0 when the text does not start with one.
std::int32_t parse_int32(StringView text)
{
    std::size_t i = 0;
    while (i < text.size() && is_key_value_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(value > INT_MAX ? INT_MAX : value);
}

// Calls apply(k, value) for the k-th key (in map order) that begins with prefix.
template <typename Apply>
void for_each_with_prefix(const KeyValues& pairs, StringView prefix, Apply apply)
{
    std::size_t k = 0;
    for (const auto& [key, value] : pairs) {
        if (StringView(key).starts_with(prefix))
            apply(k++, value);
    }
}

void append_line(String& text, StringView key, std::size_t index, StringView value)
{
    text += key;
    text += to_string16(static_cast<long long>(index));
    text += u'\t';
    text += value;
    text += u'\n';
}

bool read_whole_file(StringView path, std::vector<unsigned char>& bytes)
{
    File file;
    if (!file.open(path, File::read_mode))
        return false;
    const std::uint64_t size = file.size();
    if (size > max_file_size)
        return false;
    bytes.resize(static_cast<std::size_t>(size));
    return bytes.empty() || file.read(bytes.data(), static_cast<std::uint32_t>(size)) == size;
}

}  // namespace

String decode_key_value_bytes(const std::vector<unsigned char>& bytes)
{
    String text;
    // A file cut short in the middle of a character (a full disk, a crash)
    // still gives its complete lines: the odd last byte is dropped.
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        text.reserve(bytes.size() / 2 - 1);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        return text;
    }
    text.reserve(bytes.size());
    for (unsigned char byte : bytes)
        text += static_cast<char16_t>(static_cast<signed char>(byte));
    return text;
}

std::vector<Folder> folders_from_text(StringView text)
{
    const KeyValues pairs = parse_key_values(text);
    std::vector<Folder> folders;
    for_each_with_prefix(pairs, key_picture_key, [&](std::size_t, const String& value) {
        Folder folder;
        folder.key_picture_path = value;
        folder.folder_path = directory_of(value);
        folders.push_back(std::move(folder));
    });
    // Sizes and drives belong to folders by their position among the matching
    // keys; entries beyond the number of key pictures address no folder.
    for_each_with_prefix(pairs, size_key, [&](std::size_t k, const String& value) {
        if (k < folders.size())
            folders[k].size = parse_int32(value);
    });
    for_each_with_prefix(pairs, drive_key, [&](std::size_t k, const String& value) {
        if (k < folders.size())
            folders[k].drive_path = value;
    });
    return folders;
}

String folders_to_text(const std::vector<Folder>& folders)
{
    String text;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        append_line(text, key_picture_key, i, folders[i].key_picture_path);
        append_line(text, drive_key, i, folders[i].drive_path);
        append_line(text, size_key, i, to_string16(folders[i].size));
    }
    return text;
}

std::vector<Folder> read_folders_file(StringView path)
{
    std::vector<unsigned char> bytes;
    if (!read_whole_file(path, bytes))
        return {};
    return folders_from_text(decode_key_value_bytes(bytes));
}

bool write_folders_file(StringView path, const std::vector<Folder>& folders)
{
    const String text = folders_to_text(folders);
    std::vector<unsigned char> bytes;
    bytes.reserve(2 + text.size() * 2);
    bytes.push_back(0xFF);
    bytes.push_back(0xFE);
    for (char16_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    // The previous list stays in place until the new one is completely written.
    const String target = expand_path(path);
    const String temporary = target + u".tmp";
    {
        File file;
        if (!file.open_expanded(temporary, File::create_mode))
            return false;
        const bool written = file.write(bytes.data(), static_cast<std::uint32_t>(bytes.size())) == bytes.size();
        file.flush();
        if (!written) {
            file.close();
            std::error_code ignored;
            std::filesystem::remove(std::filesystem::path(to_utf8(temporary)), ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(to_utf8(temporary)), std::filesystem::path(to_utf8(target)), error);
    return !error;
}

AlbumListFiles album_list_files()
{
    const String program = u"%app_path%/folders.ini";
    const String user = user_data_folder() + u"/pictavio/folders.ini";
    if (can_create_files_in(u"%app_path%"))
        return {program, user};
    create_directory_path(folder_of(user));
    return {user, program};
}

std::vector<Folder> read_folders_file(const AlbumListFiles& files)
{
    std::error_code error;
    const bool present = std::filesystem::exists(std::filesystem::path(to_utf8(expand_path(files.file))), error);
    return read_folders_file(present || files.fallback.empty() ? files.file : files.fallback);
}
