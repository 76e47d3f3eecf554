#pragma once
// File: the one wrapper every reader and writer of the system uses.

#include <cstdint>
#include "platform/text.h"

// The reading half of a file, taken by every parser.
class InputStream {
public:
    virtual ~InputStream() = default;
    // Reads up to count bytes; returns the bytes read (0 at the end or on failure).
    virtual std::uint32_t read(void* buffer, std::uint32_t count) = 0;
    // Size in bytes (0 when not open).
    virtual std::uint64_t size() = 0;
    // Current offset from the start.
    virtual std::uint64_t position() = 0;
    // Moves to offset from the start; false on failure.
    virtual bool seek(std::uint64_t offset) = 0;
    // Moves forward by count bytes, not past the end; returns the bytes moved.
    virtual std::uint64_t skip(std::uint64_t count) = 0;
};

// The writing half of a file.
class OutputStream {
public:
    virtual ~OutputStream() = default;
    // Writes count bytes; returns the bytes written.
    virtual std::uint32_t write(const void* buffer, std::uint32_t count) = 0;
    // Forces what was written to the storage.
    virtual void flush() = 0;
};

class File : public InputStream, public OutputStream {
public:
    enum Mode { read_mode = 0, create_mode = 1, append_mode = 2, read_write_mode = 3 };

    File() = default;
    // Opens path (macros expanded) in the given mode; check is_open().
    File(StringView path, Mode mode);
    ~File() override;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path after expand_path; closes any file held before.
    bool open(StringView path, Mode mode);
    // Opens a path that is already expanded (no macro handling).
    bool open_expanded(StringView path, Mode mode);
    bool is_open() const { return m_fd >= 0; }
    void close();

    std::uint32_t read(void* buffer, std::uint32_t count) override;
    std::uint32_t write(const void* buffer, std::uint32_t count) override;
    std::uint64_t size() override;
    std::uint64_t position() override;
    bool seek(std::uint64_t offset) override;
    std::uint64_t skip(std::uint64_t count) override;
    void flush() override;

private:
    int m_fd = -1;
};
