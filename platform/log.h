#pragma once
// The diagnostic log: a UTF-16 file switched by the registry value "Log".
// Callers write exactly the pieces they want: log() << "X::y " << n << "\n".

#include <cstdint>
#include "platform/file.h"
#include "platform/text.h"
#include "platform/thread.h"

class LogStream {
public:
    virtual ~LogStream() = default;
    // Appends the characters between begin and end.
    virtual void write(const char16_t* begin, const char16_t* end) = 0;
    // Forces what was written to the storage.
    virtual void flush() = 0;
};

// The log file: UTF-16LE with a byte-order mark; each write goes to the file at
// once. Writes while no file is open are skipped silently.
class FileLog : public LogStream {
public:
    FileLog() = default;
    // Opens path (already expanded) as open() does.
    explicit FileLog(StringView path);
    // Truncates or creates path and writes FF FE; an unwritable path leaves it closed.
    void open(StringView path);
    // Closes the file; later writes do nothing until the next open().
    void close();
    bool is_open();
    void write(const char16_t* begin, const char16_t* end) override;
    void flush() override;

private:
    Mutex m_mutex;
    File m_file GUARDED_BY(m_mutex);
};

// The stream while logging is off: writes nothing.
class NullLog : public LogStream {
public:
    void write(const char16_t*, const char16_t*) override {}
    void flush() override {}
};

// Where the log file goes: the temporary folder + "/" + program file name + ".txt".
String log_file_path();
// The current stream for the switch as it reads now. Never fails.
LogStream& log();
// Whether the last read of the switch found logging on (frame-time overlay).
bool log_enabled();

LogStream& operator<<(LogStream& stream, const char16_t* text);
LogStream& operator<<(LogStream& stream, StringView text);
LogStream& operator<<(LogStream& stream, const String& text);
LogStream& operator<<(LogStream& stream, const char* ascii);
LogStream& operator<<(LogStream& stream, int value);
LogStream& operator<<(LogStream& stream, unsigned value);
LogStream& operator<<(LogStream& stream, long value);
LogStream& operator<<(LogStream& stream, unsigned long value);
LogStream& operator<<(LogStream& stream, bool value);
// Shortest decimal text that reads back as the same value ("0.25", "1e-07").
LogStream& operator<<(LogStream& stream, double value);

// Logs "Gluck: " message " @ " where, flushes, and ends the process at once
// with exit code 0 (no destructors run).
[[noreturn]] void fatal_error(const char* message, const char* where);
