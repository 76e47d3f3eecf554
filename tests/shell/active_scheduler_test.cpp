// Active objects on the real message loop: run order, completions from other
// threads, cancelling, and every fatal check.

#include <gtest/gtest.h>
#include <thread>
#include <vector>
#include "platform/log.h"
#include "shell/active_scheduler.h"
#include "tests/fatal_log.h"
#include "window_test_loop.h"

namespace {

// An active object that records its runs; its request completes when notify is called.
class RecordingActive : public CActive {
public:
    RecordingActive(std::vector<int>& runs, std::function<void()> on_cancel = nullptr)
        : m_runs(runs), m_on_cancel(std::move(on_cancel))
    {
    }
    void run() override
    {
        m_runs.push_back(id());
        m_run_thread = std::this_thread::get_id();
    }
    void cancel_request() override
    {
        if (m_on_cancel)
            m_on_cancel();
    }
    std::thread::id run_thread() const { return m_run_thread; }

private:
    std::vector<int>& m_runs;
    std::function<void()> m_on_cancel;
    std::thread::id m_run_thread;
};

class ActiveSchedulerTest : public testing::Test {
protected:
    ActiveSchedulerTest() : m_windows(dummy_window_options()), m_scheduler(m_windows) {}

    // Runs the loop until the ready list has been processed once more.
    void run_until_idle()
    {
        m_windows.post_quit_message(0);
        ASSERT_TRUE(run_message_loop(m_windows));
    }

    WindowSystem m_windows;
    CActiveScheduler m_scheduler;
    std::vector<int> m_runs;
};

}  // namespace

TEST_F(ActiveSchedulerTest, IdsIncreaseByOneForEveryObject)
{
    RecordingActive first(m_runs), second(m_runs);
    EXPECT_EQ(second.id(), first.id() + 1);
}

TEST_F(ActiveSchedulerTest, NotifiedObjectsRunInOrderOnTheMainThreadFromTheLoop)
{
    RecordingActive first(m_runs), second(m_runs), third(m_runs);
    for (CActive* object :
         {static_cast<CActive*>(&first), static_cast<CActive*>(&second), static_cast<CActive*>(&third)})
        m_scheduler.set_active(*object);
    EXPECT_EQ(m_scheduler.active_count(), 3);
    std::thread worker([&] {
        m_scheduler.notify(second);
        m_scheduler.notify(first);
    });
    worker.join();
    EXPECT_TRUE(m_runs.empty());  // nothing runs outside the message loop
    m_scheduler.notify(third);
    // The quit posted after the completions arrives after their messages.
    run_until_idle();
    EXPECT_EQ(m_runs, (std::vector<int>{second.id(), first.id(), third.id()}));
    EXPECT_EQ(second.run_thread(), std::this_thread::get_id());
    EXPECT_EQ(m_scheduler.active_count(), 0);
    EXPECT_FALSE(first.is_active());
}

TEST_F(ActiveSchedulerTest, CancelWaitsForACompletionFromAnotherThreadAndSkipsRun)
{
    std::thread completer;
    RecordingActive other(m_runs);
    // The source completes the request early on its own thread, after another
    // object's completion: cancel must wait for it and leave the other to run.
    RecordingActive target(m_runs, [&] {
        completer = std::thread([&] {
            m_scheduler.notify(other);
            m_scheduler.notify(target);
        });
    });
    m_scheduler.set_active(other);
    m_scheduler.set_active(target);
    m_scheduler.cancel(target);
    completer.join();
    EXPECT_FALSE(target.is_active());
    EXPECT_EQ(m_scheduler.active_count(), 1);
    run_until_idle();
    EXPECT_EQ(m_runs, std::vector<int>{other.id()});
    EXPECT_EQ(m_scheduler.active_count(), 0);
}

TEST_F(ActiveSchedulerTest, CancelOfAnInactiveObjectDoesNothing)
{
    bool asked = false;
    RecordingActive idle(m_runs, [&] { asked = true; });
    m_scheduler.cancel(idle);
    EXPECT_FALSE(asked);
}

// Fatal checks end the process at once with status 0 (so the exit(9) after
// each is never reached) and leave their message as the log's last line.
class ActiveSchedulerDeathTest : public ActiveSchedulerTest {
protected:
    void SetUp() override { m_log.open(); }
    void TearDown() override { m_log.close(); }
    bool log_has(const std::string& pattern) const { return m_log.has(pattern); }

    FatalLog m_log;
};

TEST_F(ActiveSchedulerDeathTest, SettingAnActiveObjectActiveAgainIsFatal)
{
    RecordingActive object(m_runs);
    EXPECT_EXIT(
        {
            m_scheduler.set_active(object);
            m_scheduler.set_active(object);
            std::exit(9);
        },
        testing::ExitedWithCode(0), "");
    // Ids are counted per process: the child's may differ from this one's.
    EXPECT_TRUE(log_has(R"(Gluck: Object \d+ is already active @ CActiveScheduler::set_active\(\))"));
}

TEST_F(ActiveSchedulerDeathTest, NotifyingAnInactiveObjectIsFatal)
{
    RecordingActive object(m_runs);
    EXPECT_EXIT(
        {
            m_scheduler.notify(object);
            std::exit(9);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_TRUE(log_has(R"(Gluck: Active object \d+ is not active @ CActiveScheduler::notify\(\))"));
}

TEST_F(ActiveSchedulerDeathTest, DestroyingAnActiveObjectIsFatal)
{
    EXPECT_EXIT(
        {
            {
                RecordingActive object(m_runs);
                m_scheduler.set_active(object);
            }
            std::exit(9);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_TRUE(log_has(R"(Gluck: Active object \d+ is already active @ CActive::~CActive\(\))"));
}

TEST_F(ActiveSchedulerDeathTest, EndingTheSchedulerWithAnActiveObjectIsFatal)
{
    EXPECT_EXIT(
        {
            auto object = std::make_unique<RecordingActive>(m_runs);
            auto another = std::make_unique<RecordingActive>(m_runs);
            {
                CActiveScheduler scheduler(m_windows);
                scheduler.set_active(*object);
                scheduler.set_active(*another);
            }
            std::exit(9);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_TRUE(log_has("Gluck: Some active objects still live while scheduler is terminating "
                        "active_counter=2 @ \n"));
}
