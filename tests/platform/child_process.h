#pragma once
// A child process with its standard input and output on pipes and its
// standard error in a file, for tests that run real programs.

#include <string>
#include <vector>

class ChildProcess {
public:
    // Starts program with arguments (argv[0] is added); started() tells whether it ran.
    ChildProcess(const std::string& program, std::vector<std::string> arguments,
                 const std::string& error_file = "/dev/null");
    // Closes standard input and waits for the end.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    // The next line of output; "(timeout)" or "(end)" when there is none.
    std::string line(int timeout_ms = 20000);
    // Closes standard input and waits; the exit code, -1 when killed by a signal.
    int finish();

private:
    int m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    int m_exit_code = -1;
    std::string m_buffer;
};
