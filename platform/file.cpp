// File on a POSIX descriptor.

#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace {

int open_flags(File::Mode mode)
{
    switch (mode) {
    case File::read_mode:
        return O_RDONLY;
    case File::create_mode:
        return O_WRONLY | O_CREAT | O_TRUNC;
    case File::append_mode:
        return O_WRONLY | O_CREAT;
    case File::read_write_mode:
        return O_RDWR | O_CREAT;
    }
    return -1;
}

}  // namespace

File::File(StringView path, Mode mode)
{
    open(path, mode);
}

File::~File()
{
    close();
}

bool File::open(StringView path, Mode mode)
{
    return open_expanded(expand_path(path), mode);
}

bool File::open_expanded(StringView path, Mode mode)
{
    close();
    const int flags = open_flags(mode);
    if (flags < 0 || path.empty())
        return false;
    const std::string name = to_utf8(path);
    int fd;
    do {
        fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    // A directory opens for reading on Linux but is no file for our readers.
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    posix_fadvise(m_fd, 0, 0, POSIX_FADV_RANDOM);
    if (mode == append_mode && lseek(m_fd, 0, SEEK_END) < 0)
        close();
    return is_open();
}

void File::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::uint32_t File::read(void* buffer, std::uint32_t count)
{
    if (!is_open())
        return 0;
    std::uint32_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(m_fd, static_cast<char*>(buffer) + done, count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::uint32_t>(got);
    }
    return done;
}

std::uint32_t File::write(const void* buffer, std::uint32_t count)
{
    if (!is_open())
        return 0;
    std::uint32_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(m_fd, static_cast<const char*>(buffer) + done, count - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += static_cast<std::uint32_t>(put);
    }
    return done;
}

std::uint64_t File::size()
{
    struct stat info;
    if (!is_open() || fstat(m_fd, &info) != 0)
        return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

std::uint64_t File::position()
{
    if (!is_open())
        return 0;
    const off_t offset = lseek(m_fd, 0, SEEK_CUR);
    return offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
}

bool File::seek(std::uint64_t offset)
{
    if (!is_open() || offset > static_cast<std::uint64_t>(INT64_MAX))
        return false;
    return lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::uint64_t File::skip(std::uint64_t count)
{
    if (!is_open())
        return 0;
    const std::uint64_t from = position();
    const std::uint64_t end = size();
    const std::uint64_t to = from >= end ? from : (end - from < count ? end : from + count);
    return seek(to) ? to - from : 0;
}

void File::flush()
{
    if (is_open())
        fdatasync(m_fd);
}
