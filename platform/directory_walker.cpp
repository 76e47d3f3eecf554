// Directory walking on opendir/readdir.

#include "platform/directory_walker.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

#include "platform/paths.h"

namespace {

enum class EntryKind { file, directory, other };

// The kind of an entry of the open directory folder_fd: links are followed to
// a regular file only. The entry is looked up relative to the directory, so
// the kernel does not walk the whole path again.
EntryKind kind_of(int folder_fd, const char* name, unsigned char type)
{
    if (type == DT_REG)
        return EntryKind::file;
    if (type == DT_DIR)
        return EntryKind::directory;
    struct stat info;
    if (type == DT_UNKNOWN) {
        if (fstatat(folder_fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            return EntryKind::other;
        if (S_ISDIR(info.st_mode))
            return EntryKind::directory;
        if (S_ISREG(info.st_mode))
            return EntryKind::file;
        if (!S_ISLNK(info.st_mode))
            return EntryKind::other;
    } else if (type != DT_LNK) {
        return EntryKind::other;  // devices, pipes, sockets: nothing to read as a picture
    }
    return fstatat(folder_fd, name, &info, 0) == 0 && S_ISREG(info.st_mode) ? EntryKind::file : EntryKind::other;
}

// The UTF-16 form of an entry name; false for a name that is not UTF-8, which
// could never be opened again from its text. Plain ASCII names, by far the
// most common, are widened without the round trip.
bool wide_name(std::string_view name, String& wide)
{
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        wide.assign(name.begin(), name.end());
        return true;
    }
    wide = from_utf8(name);
    return to_utf8(wide) == name;
}

// Reads the whole directory first, so no descriptor stays open while the
// collector runs or the walk descends. The identities the collector asks for
// are read here, while the directory is open.
DirectoryListing read_listing(const std::string& folder, StringView file_pattern, StringView directory_pattern,
                              const DirectoryCollector& collector)
{
    DirectoryListing listing;
    DIR* stream = opendir(folder.c_str());
    if (!stream)
        return listing;
    const int folder_fd = dirfd(stream);
    String wide;
    while (const dirent* entry = readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !wide_name(name, wide))
            continue;
        switch (kind_of(folder_fd, entry->d_name, entry->d_type)) {
        case EntryKind::file:
            if (wildcard_match(file_pattern, wide)) {
                ListedFile file;
                file.name = wide;
                if (collector.wants_identity(wide)) {
                    file.identified = file_identity_at(folder_fd, entry->d_name, file.identity);
                    if (!file.identified)
                        break;  // gone since readdir, or no regular file behind a link
                }
                listing.files.push_back(std::move(file));
            }
            break;
        case EntryKind::directory:
            if (wildcard_match(directory_pattern, wide))
                listing.directories.push_back(wide);
            break;
        case EntryKind::other:
            break;
        }
    }
    closedir(stream);
    return listing;
}

}  // namespace

bool DirectoryCollector::wants_identity(StringView) const
{
    return false;
}

bool DirectoryCollector::on_identified_file(const String& path, const FileIdentity&)
{
    return on_file(path);
}

DirectoryListing list_directory(StringView directory, StringView file_pattern, StringView directory_pattern,
                                const DirectoryCollector& collector)
{
    const std::string folder = to_utf8(strip_trailing_separator(expand_path(directory)));
    return read_listing(folder.empty() ? "/" : folder, file_pattern, directory_pattern, collector);
}

bool walk_directory(StringView directory, StringView file_pattern, StringView directory_pattern, bool recursive,
                    DirectoryCollector& collector)
{
    const DirectoryListing listing = list_directory(directory, file_pattern, directory_pattern, collector);
    // Every path is this prefix and a name (as join_path makes them).
    const String prefix = directory.empty() ? String() : strip_trailing_separator(directory) + u'/';
    String path;
    for (const ListedFile& file : listing.files) {
        path.reserve(prefix.size() + file.name.size());
        path.assign(prefix).append(file.name);
        if (!(file.identified ? collector.on_identified_file(path, file.identity) : collector.on_file(path)))
            return false;
    }
    for (const String& name : listing.directories) {
        path = prefix + name;
        if (!collector.on_directory(path))
            return false;
        if (recursive && !walk_directory(path, file_pattern, directory_pattern, true, collector))
            return false;
    }
    return true;
}

bool wildcard_match(StringView pattern, StringView name)
{
    // Greedy matching with one back-tracking point (the last "*"): linear in
    // practice and never recursive, whatever the pattern.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = StringView::npos;
    std::size_t star_name = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            star_name = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || to_lower(pattern[p]) == to_lower(name[n]))) {
            ++p;
            ++n;
        } else if (star != StringView::npos) {
            p = star + 1;
            n = ++star_name;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}
