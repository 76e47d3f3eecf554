// File identities from statx: only the fields they need, and no
// synchronisation with a remote server (a network share answers from its cache).

#include "platform/file_identity.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/paths.h"

namespace {

constexpr unsigned identity_fields = STATX_TYPE | STATX_SIZE | STATX_INO | STATX_BTIME | STATX_MTIME | STATX_CTIME;

FileTime file_time(const statx_timestamp& stamp)
{
    return {stamp.tv_sec, stamp.tv_nsec};
}

bool read_identity(int directory_fd, const char* name, FileIdentity& identity)
{
    struct statx info {};
    if (statx(directory_fd, name, AT_STATX_DONT_SYNC, identity_fields, &info) != 0 || !S_ISREG(info.stx_mode))
        return false;
    // File systems without birth times leave STATX_BTIME out of the mask.
    identity.size = info.stx_size;
    identity.created = file_time((info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime);
    identity.inode = info.stx_ino;
    identity.changed = file_time(info.stx_ctime);
    return true;
}

}  // namespace

bool file_identity(StringView path, FileIdentity& identity)
{
    const std::string name = to_utf8(expand_path(path));
    return !name.empty() && read_identity(AT_FDCWD, name.c_str(), identity);
}

bool file_identity_at(int directory_fd, const char* name, FileIdentity& identity)
{
    return read_identity(directory_fd, name, identity);
}
