#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

ChildProcess::ChildProcess(const std::string& program, std::vector<std::string> arguments,
                           const std::string& error_file)
{
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0)
        return;
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0)
        m_pid = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    m_input = input[1];
    m_output = output[0];
}

ChildProcess::~ChildProcess()
{
    finish();
    if (m_output >= 0)
        close(m_output);
}

std::string ChildProcess::line(int timeout_ms)
{
    for (;;) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            std::string result = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return result;
        }
        pollfd entry{m_output, POLLIN, 0};
        if (poll(&entry, 1, timeout_ms) <= 0)
            return "(timeout)";
        char chunk[256];
        const ssize_t got = read(m_output, chunk, sizeof chunk);
        if (got <= 0)
            return "(end)";
        m_buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

int ChildProcess::finish()
{
    if (m_input >= 0)
        close(m_input);
    m_input = -1;
    if (m_pid > 0) {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_pid = -1;
    }
    return m_exit_code;
}
