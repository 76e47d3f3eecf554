#pragma once
// This test process as the running copy of the program: it takes the
// instance lock, listens and then releases the lock, as the program does once
// its window exists, and keeps the command lines later copies hand over.

#include <mutex>
#include <vector>

#include "platform/single_instance.h"

class RunningCopy {
public:
    RunningCopy()
    {
        m_started = !show_running_instance_open_bracket(u"", u"Pictavio") &&
                    start_instance_listener([this](const String& command_line) {
                        std::lock_guard<std::mutex> lock(m_mutex);
                        m_received.push_back(command_line);
                    });
        release_instance_mutex();
    }
    ~RunningCopy() { stop_instance_listener(); }
    RunningCopy(const RunningCopy&) = delete;
    RunningCopy& operator=(const RunningCopy&) = delete;

    bool started() const { return m_started; }
    std::vector<String> received()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

private:
    bool m_started = false;
    std::mutex m_mutex;
    std::vector<String> m_received;
};
