#pragma once
// What identifies the file behind a path: its size and creation time (which
// name a picture's preview), its inode and its change time (which tell
// whether the file was rewritten or replaced meanwhile).

#include <cstdint>
#include "platform/text.h"

// A file time stamp.
struct FileTime {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;

    bool operator==(const FileTime&) const = default;
};

struct FileIdentity {
    std::uint64_t size = 0;
    FileTime created;  // birth time where the file system records it, else modification time
    std::uint64_t inode = 0;
    FileTime changed;  // last change of the file's data or status

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file at path (macros expanded, links followed);
// false when path names no regular file.
bool file_identity(StringView path, FileIdentity& identity);
// The same for the entry name of an open directory (one statx relative to it,
// as a directory walk reads the files it lists).
bool file_identity_at(int directory_fd, const char* name, FileIdentity& identity);
