// Directory walking on opendir/readdir.

#include "platform/directory_walker.h"

#include <dirent.h>
#include <sys/stat.h>
#include <vector>

#include "platform/paths.h"

namespace {

enum class EntryKind { file, directory, other };

// The kind of a directory entry: links are followed to a regular file only.
EntryKind kind_of(const std::string& full_path, unsigned char type)
{
    if (type == DT_REG)
        return EntryKind::file;
    if (type == DT_DIR)
        return EntryKind::directory;
    struct stat info;
    if (type == DT_UNKNOWN) {
        if (lstat(full_path.c_str(), &info) != 0)
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
    return stat(full_path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? EntryKind::file : EntryKind::other;
}

struct Listing {
    std::vector<String> files;
    std::vector<String> directories;
};

// Reads the whole directory first, so no descriptor stays open while the
// collector runs or the walk descends.
Listing list_directory(const std::string& folder, StringView file_pattern, StringView directory_pattern)
{
    Listing listing;
    DIR* stream = opendir(folder.c_str());
    if (!stream)
        return listing;
    while (const dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const String wide = from_utf8(name);
        if (to_utf8(wide) != name)
            continue;  // a name that is not UTF-8 could never be opened again from its text
        switch (kind_of(folder + "/" + name, entry->d_type)) {
        case EntryKind::file:
            if (wildcard_match(file_pattern, wide))
                listing.files.push_back(wide);
            break;
        case EntryKind::directory:
            if (wildcard_match(directory_pattern, wide))
                listing.directories.push_back(wide);
            break;
        case EntryKind::other: break;
        }
    }
    closedir(stream);
    return listing;
}

}  // namespace

bool walk_directory(StringView directory, StringView file_pattern, StringView directory_pattern, bool recursive,
                    DirectoryCollector& collector)
{
    const std::string folder = to_utf8(strip_trailing_separator(expand_path(directory)));
    const Listing listing = list_directory(folder.empty() ? "/" : folder, file_pattern, directory_pattern);
    for (const String& name : listing.files)
        if (!collector.on_file(join_path(directory, name)))
            return false;
    for (const String& name : listing.directories) {
        const String path = join_path(directory, name);
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
