#include "platform/logged_lock.h"

#include "platform/log.h"

namespace {

// One log write per line, so that lines of two threads never interleave.
void log_lock_line(LogStream& stream, const char* operation, const char* name, const char* what)
{
    String line = from_ascii(operation);
    line += u' ';
    line += from_ascii(name);
    line += u' ';
    line += from_ascii(what);
    line += u'\n';
    stream << line;
}

}  // namespace

// The log's switch is read once for both lines: the search takes locks per
// picture, and while the log is off a lock costs little more than the mutex.
LoggedLock::LoggedLock(Mutex& mutex, const char* operation, const char* name) : m_mutex(mutex)
{
    LogStream& stream = log();
    const bool logging = log_enabled();
    if (logging)
        log_lock_line(stream, operation, name, "start");
    m_mutex.lock();
    if (logging)
        log_lock_line(stream, operation, name, "end");
}

LoggedLock::~LoggedLock()
{
    m_mutex.unlock();
}
