#pragma once
// The diagnostic log: a UTF-16 file switched by the registry value "Log".
// Callers write exactly the pieces they want: log() << "X::y " << n << "\n".

#include <cstdint>
#include "platform/text.h"

class LogStream {
public:
    virtual ~LogStream() = default;
    // Appends the characters between begin and end.
    virtual void write(const char16_t* begin, const char16_t* end) = 0;
    // Forces what was written to the storage.
    virtual void flush() = 0;
};

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

// Logs "Gluck: " message " @ " where, flushes, and ends the process at once
// with exit code 0 (no destructors run).
[[noreturn]] void fatal_error(const char* message, const char* where);
