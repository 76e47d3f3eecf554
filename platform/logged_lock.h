#pragma once
// A named lock whose every acquisition is logged.

#include "platform/thread.h"

// Takes a named lock for an operation, writing "<operation> <name> start" before
// and "<operation> <name> end" once it is held; releases it at the end of the scope.
class SCOPED_CAPABILITY LoggedLock {
public:
    LoggedLock(Mutex& mutex, const char* operation, const char* name) ACQUIRE(mutex);
    ~LoggedLock() RELEASE();
    LoggedLock(const LoggedLock&) = delete;
    LoggedLock& operator=(const LoggedLock&) = delete;

private:
    Mutex& m_mutex;
};
