#include "platform/logged_lock.h"

#include "platform/log.h"

namespace {

// One log write per line, so that lines of two threads never interleave.
void log_lock_line(const char* operation, const char* name, const char* what)
{
    LogStream& stream = log();
    if (!log_enabled())
        return;
    String line = from_ascii(operation);
    line += u' ';
    line += from_ascii(name);
    line += u' ';
    line += from_ascii(what);
    line += u'\n';
    stream << line;
}

}  // namespace

LoggedLock::LoggedLock(Mutex& mutex, const char* operation, const char* name) : m_mutex(mutex)
{
    log_lock_line(operation, name, "start");
    m_mutex.lock();
    log_lock_line(operation, name, "end");
}

LoggedLock::~LoggedLock()
{
    m_mutex.unlock();
}
