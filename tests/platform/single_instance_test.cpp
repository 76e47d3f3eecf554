// The single-instance hand-over between real processes (tools/instance-probe,
// or this test process as the running copy).

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "child_process.h"
#include "running_copy.h"
#include "sandbox.h"

namespace {

const std::string probe = std::string(PICTAVIO_TOOLS_DIR) + "/instance-probe";

// A probe process: "serve" or "send" with arguments.
class Probe : public ChildProcess {
public:
    explicit Probe(std::vector<std::string> arguments) : ChildProcess(probe, std::move(arguments)) {}
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

// While the running copy shows a message box, a later copy has the box raised
// and hands nothing over; once the box is gone, hand-overs reach the window again.
TEST_F(SingleInstance, CopyStartedWhileABoxShowsRaisesTheBoxInsteadOfHandingOver)
{
    RunningCopy first;
    ASSERT_TRUE(first.started());
    std::atomic<int> raised{0};
    {
        const InstanceDialog box([&raised] { ++raised; });
        EXPECT_EQ(send({"while the box shows"}), 0);
        EXPECT_EQ(raised, 1);
        EXPECT_EQ(send({}), 0);
        EXPECT_EQ(raised, 2);
        EXPECT_TRUE(first.received().empty());
    }
    EXPECT_EQ(send({"after"}), 0);
    EXPECT_EQ(raised, 2);
    EXPECT_EQ(first.received(), std::vector<String>{u"after"});
}

TEST_F(SingleInstance, BoxShownOverAnotherIsTheOneRaisedUntilItGoes)
{
    RunningCopy first;
    ASSERT_TRUE(first.started());
    std::atomic<int> outer_raised{0};
    std::atomic<int> inner_raised{0};
    const InstanceDialog outer([&outer_raised] { ++outer_raised; });
    {
        const InstanceDialog inner([&inner_raised] { ++inner_raised; });
        EXPECT_EQ(send({"x"}), 0);
    }
    EXPECT_EQ(inner_raised, 1);
    EXPECT_EQ(outer_raised, 0);
    EXPECT_EQ(send({"y"}), 0);
    EXPECT_EQ(outer_raised, 1);
    EXPECT_TRUE(first.received().empty());
}
