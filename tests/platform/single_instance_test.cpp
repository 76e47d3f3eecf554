// The single-instance hand-over between real processes (tools/instance-probe).

#include <gtest/gtest.h>

#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sandbox.h"

extern char** environ;

namespace {

const std::string probe = std::string(PICTAVIO_TOOLS_DIR) + "/instance-probe";

// A probe process with its standard input and output on pipes.
class Probe {
public:
    explicit Probe(std::vector<std::string> arguments)
    {
        int input[2];
        int output[2];
        if (pipe(input) != 0 || pipe(output) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, input[1]);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        arguments.insert(arguments.begin(), probe);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, probe.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        close(output[1]);
        m_input = input[1];
        m_output = output[0];
    }

    ~Probe()
    {
        if (m_pid > 0 && m_input >= 0)
            finish();
        if (m_output >= 0)
            close(m_output);
    }

    // The next line of output; "(timeout)" or "(end)" when there is none.
    std::string line(int timeout_ms = 20000)
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

    // Closes standard input and waits; returns the exit code (-1 when killed).
    int finish()
    {
        if (m_input >= 0)
            close(m_input);
        m_input = -1;
        int status = 0;
        waitpid(m_pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::string m_buffer;
};

int send(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "send");
    Probe sender(arguments);
    return sender.finish();
}

class SingleInstance : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(probe)) << "build the instance-probe tool first";
        m_runtime = make_folder("runtime-" + std::to_string(++s_count));
        setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
    }
    void TearDown() override { setenv("XDG_RUNTIME_DIR", sandbox().c_str(), 1); }

    std::string m_runtime;
    static inline int s_count = 0;
};

}  // namespace

TEST_F(SingleInstance, SecondCopyHandsItsCommandLineOverAndEnds)
{
    Probe first({"serve"});
    ASSERT_TRUE(first.started());
    ASSERT_EQ(first.line(), "locked");
    ASSERT_EQ(first.line(), "ready");
    EXPECT_EQ(send({"--size", "320x240", "/photos/фото 1.jpg", "next"}), 0);
    EXPECT_EQ(first.line(), "received [\"/photos/фото 1.jpg\" next]");
    EXPECT_EQ(send({}), 0);
    EXPECT_EQ(first.line(), "received []");
    EXPECT_EQ(first.finish(), 0);
    EXPECT_FALSE(std::filesystem::exists(m_runtime + "/VestrelClass_Pictavio"));
}

TEST_F(SingleInstance, WithoutARunningCopyTheSenderStartsAlone)
{
    EXPECT_EQ(send({"x"}), 1);
    Probe first({"serve"});
    EXPECT_EQ(first.line(), "locked");
}

TEST_F(SingleInstance, CopyStartedDuringStartUpWaitsForTheWindow)
{
    Probe first({"serve", "300"});
    ASSERT_EQ(first.line(), "locked");
    // The first copy holds the lock and is not listening yet: the sender waits
    // for the lock, then finds the listener.
    EXPECT_EQ(send({"early"}), 0);
    EXPECT_EQ(first.line(), "ready");
    EXPECT_EQ(first.line(), "received [early]");
}

TEST_F(SingleInstance, LeftoverSocketOfADeadCopyIsReplaced)
{
    // A socket file nobody listens on, as a killed copy leaves it.
    const std::string path = m_runtime + "/VestrelClass_Pictavio";
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);

    EXPECT_EQ(send({"x"}), 1);
    Probe first({"serve"});
    ASSERT_EQ(first.line(), "locked");
    ASSERT_EQ(first.line(), "ready");
    EXPECT_EQ(send({"after"}), 0);
    EXPECT_EQ(first.line(), "received [after]");
}

TEST_F(SingleInstance, OversizedMessageIsDroppedAndTheListenerGoesOn)
{
    Probe first({"serve"});
    ASSERT_EQ(first.line(), "locked");
    ASSERT_EQ(first.line(), "ready");
    EXPECT_EQ(send({std::string(100 * 1024, 'a')}), 0);
    EXPECT_EQ(send({"small"}), 0);
    EXPECT_EQ(first.line(), "received [small]");
}
