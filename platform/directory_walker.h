#pragma once
// Walks a directory for files and sub-directories whose names match
// wildcard patterns ("*" any run, "?" one character; letter case ignored, so
// "*.jpg" finds IMG_0001.JPG). Symbolic links to directories are never
// followed, so a walk always ends.

#include <vector>
#include "platform/file_identity.h"
#include "platform/text.h"

// Receives what a walk finds; returning false from either call ends the whole walk.
class DirectoryCollector {
public:
    virtual ~DirectoryCollector() = default;
    // A regular file (or a link to one) whose name matches the file pattern.
    virtual bool on_file(const String& path) = 0;
    // A sub-directory whose name matches the directory pattern ("." and ".." never).
    virtual bool on_directory(const String& path) = 0;
    // Whether the matching file name goes to on_identified_file with its identity instead of to on_file.
    virtual bool wants_identity(StringView name) const;
    // A matching file with the identity the walk read for it; a file whose identity
    // cannot be read (gone meanwhile, no regular file) is left out.
    virtual bool on_identified_file(const String& path, const FileIdentity& identity);
};

// A matching file of a listing, with its identity when the collector asked for it.
struct ListedFile {
    String name;
    bool identified = false;
    FileIdentity identity;
};

// One directory as a walk reads it: its matching files and sub-directories by
// name, in file-system order.
struct DirectoryListing {
    std::vector<ListedFile> files;
    std::vector<String> directories;
};

// Reads directory whole (as walk_directory does for each folder it visits),
// with the identities collector.wants_identity asks for; empty when unreadable.
DirectoryListing list_directory(StringView directory, StringView file_pattern, StringView directory_pattern,
                                const DirectoryCollector& collector);

// Lists directory's matching files (in file-system order), then each matching
// sub-directory, descending into it before the next one when recursive.
// Paths passed on are directory joined with "/" and the name; the directory's
// text is kept as given (a leading macro stays unexpanded in the paths).
// Returns false when the collector ended the walk; an unreadable directory
// simply yields nothing.
bool walk_directory(StringView directory, StringView file_pattern, StringView directory_pattern, bool recursive,
                    DirectoryCollector& collector);

// Whether name matches the wildcard pattern, without regard to letter case.
bool wildcard_match(StringView pattern, StringView name);
