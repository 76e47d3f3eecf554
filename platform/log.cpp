// The log: a FileLog while the registry value "Log" is non-zero, a NullLog
// otherwise, decided anew on every log() call from the switch as read_switch
// knows it.
//
// Callers keep the reference that log() returns for a whole chain of writes,
// so a stream may never be destroyed while the program runs. The process
// therefore keeps one FileLog and one NullLog for its whole life: switching
// the log on truncates and reopens the FileLog's file, switching it off
// closes it. A writer still holding the FileLog after the switch went off
// finds its file closed and writes nothing; every write and the reopening
// are serialised by the FileLog's own lock, so no write is torn or lost
// into a closed descriptor.

#include "platform/log.h"

#include <atomic>
#include <bit>
#include <charconv>
#include <chrono>
#include <functional>
#include <string>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/registry.h"

static_assert(std::endian::native == std::endian::little, "the log file is written as UTF-16LE from memory");

FileLog::FileLog(StringView path)
{
    open(path);
}

void FileLog::open(StringView path)
{
    MutexLock lock(m_mutex);
    if (m_file.open_expanded(path, File::create_mode) && m_file.size() == 0) {
        static const unsigned char byte_order_mark[] = {0xFF, 0xFE};
        m_file.write(byte_order_mark, sizeof byte_order_mark);
    }
}

void FileLog::close()
{
    MutexLock lock(m_mutex);
    m_file.close();
}

bool FileLog::is_open()
{
    MutexLock lock(m_mutex);
    return m_file.is_open();
}

void FileLog::write(const char16_t* begin, const char16_t* end)
{
    if (!begin || end <= begin)
        return;
    MutexLock lock(m_mutex);
    m_file.write(begin, static_cast<std::uint32_t>((end - begin) * sizeof(char16_t)));
}

void FileLog::flush()
{
    MutexLock lock(m_mutex);
    m_file.flush();
}

namespace {

// The process-wide log state; never destroyed, so late writers stay safe.
struct LogState {
    Mutex switching;
    std::atomic<bool> decided{false};
    std::atomic<bool> on{false};
    FileLog file_log;
    NullLog null_log;
};

LogState& state()
{
    static LogState* instance = new LogState;
    return *instance;
}

// A registry read costs a look at the file and a lookup under the registry's
// lock: too much for the lines written per lock taken, which the drive search
// takes per picture on several threads. Each thread keeps the switch as it
// last read it and reads it again after switch_recheck, at once when this
// process wrote the registry or the registry's path changed since: a change
// made by another process is seen within switch_recheck.
constexpr std::chrono::milliseconds switch_recheck{10};

struct SwitchRead {
    std::chrono::steady_clock::time_point valid_until;
    std::uint64_t registry_writes = 0;
    std::size_t registry_path_hash = 0;
    bool on = false;
};

bool read_switch()
{
    thread_local SwitchRead last;
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t writes = registry_write_count();
    const std::size_t path_hash = std::hash<std::string>{}(registry_file_path());
    if (now < last.valid_until && writes == last.registry_writes && path_hash == last.registry_path_hash)
        return last.on;
    std::uint32_t value = 0;
    last.on = read_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", value) && value != 0;
    last.valid_until = now + switch_recheck;
    last.registry_writes = writes;
    last.registry_path_hash = path_hash;
    return last.on;
}

LogStream& write_ascii(LogStream& stream, std::string_view ascii)
{
    const String text = from_ascii(ascii);
    stream.write(text.data(), text.data() + text.size());
    return stream;
}

}  // namespace

String log_file_path()
{
    return temp_folder() + u'/' + expand_path(u"%app_name%.txt");
}

LogStream& log()
{
    LogState& log_state = state();
    const bool on = read_switch();
    if (!log_state.decided || log_state.on != on) {
        // Named before the lock: naming it may end the process through
        // fatal_error, which logs itself.
        const String path = on ? log_file_path() : String();
        MutexLock lock(log_state.switching);
        if (!log_state.decided || log_state.on != on) {
            if (on)
                log_state.file_log.open(path);
            else
                log_state.file_log.close();
            log_state.on = on;
            log_state.decided = true;
        }
    }
    if (on)
        return log_state.file_log;
    return log_state.null_log;
}

bool log_enabled()
{
    return state().on;
}

LogStream& operator<<(LogStream& stream, const char16_t* text)
{
    return text ? stream << StringView(text) : stream;
}

LogStream& operator<<(LogStream& stream, StringView text)
{
    stream.write(text.data(), text.data() + text.size());
    return stream;
}

LogStream& operator<<(LogStream& stream, const String& text)
{
    return stream << StringView(text);
}

LogStream& operator<<(LogStream& stream, const char* ascii)
{
    return ascii ? write_ascii(stream, ascii) : stream;
}

LogStream& operator<<(LogStream& stream, int value)
{
    return write_ascii(stream, std::to_string(value));
}

LogStream& operator<<(LogStream& stream, unsigned value)
{
    return write_ascii(stream, std::to_string(value));
}

LogStream& operator<<(LogStream& stream, long value)
{
    return write_ascii(stream, std::to_string(value));
}

LogStream& operator<<(LogStream& stream, unsigned long value)
{
    return write_ascii(stream, std::to_string(value));
}

LogStream& operator<<(LogStream& stream, bool value)
{
    return write_ascii(stream, value ? "true" : "false");
}

LogStream& operator<<(LogStream& stream, double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return write_ascii(stream, std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
}

void fatal_error(const char* message, const char* where)
{
    LogStream& stream = log();
    stream << "Gluck: " << message << " @ " << where << "\n";
    stream.flush();
    _exit(0);
}
