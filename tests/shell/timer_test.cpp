// Timers on the real message loop: due times, replacing, cancelling and the
// order in which timers complete.

#include <cmath>
#include <gtest/gtest.h>
#include <thread>
#include <vector>
#include "platform/tick.h"
#include "shell/active_scheduler.h"
#include "shell/timer.h"
#include "window_test_loop.h"

namespace {

class TimerTest : public testing::Test {
protected:
    TimerTest() : m_windows(dummy_window_options()), m_scheduler(m_windows) {}

    // Timers still pending at the end are cancelled: destroying an active one
    // would end the test process.
    void TearDown() override
    {
        for (auto& timer : m_timers)
            m_scheduler.cancel(*timer);
    }

    // A timer that records its completions by name and quits the loop after the last expected.
    CTimer* make_timer(char name, std::size_t quit_after)
    {
        auto timer = std::make_unique<CTimer>(m_scheduler, [this, name, quit_after] {
            m_order.push_back(name);
            m_ticks.push_back(get_tick_count());
            m_threads.push_back(std::this_thread::get_id());
            if (m_order.size() == quit_after)
                m_windows.post_quit_message(0);
        });
        m_timers.push_back(std::move(timer));
        return m_timers.back().get();
    }

    WindowSystem m_windows;
    CActiveScheduler m_scheduler;
    std::string m_order;
    std::vector<std::uint32_t> m_ticks;
    std::vector<std::thread::id> m_threads;
    std::vector<std::unique_ptr<CTimer>> m_timers;
};

}  // namespace

TEST_F(TimerTest, AfterCompletesFromTheLoopNoEarlierThanDue)
{
    auto timer = make_timer('a', 1);
    std::uint32_t start = get_tick_count();
    timer->after(0.05);
    EXPECT_TRUE(timer->is_active());
    EXPECT_EQ(timer->due() - start, 50u);
    EXPECT_TRUE(m_order.empty());
    ASSERT_TRUE(run_message_loop(m_windows));
    ASSERT_EQ(m_order, "a");
    EXPECT_GE(m_ticks[0] - start, 50u);
    EXPECT_EQ(m_threads[0], std::this_thread::get_id());
    EXPECT_FALSE(timer->is_active());
    EXPECT_EQ(m_scheduler.active_count(), 0);
}

TEST_F(TimerTest, AfterTwiceInARowLeavesOneCompletionAtTheLaterTime)
{
    auto timer = make_timer('a', 2);
    auto later = make_timer('z', 2);
    std::uint32_t start = get_tick_count();
    timer->after(0.01);
    timer->after(0.06);
    EXPECT_EQ(m_scheduler.active_count(), 1);
    // A second timer due after the first's replaced time, to see no second run of it.
    later->after(0.1);
    ASSERT_TRUE(run_message_loop(m_windows));
    EXPECT_EQ(m_order, "az");
    EXPECT_GE(m_ticks[0] - start, 60u);
}

TEST_F(TimerTest, CancelledTimerNeverRuns)
{
    auto cancelled = make_timer('c', 1);
    auto witness = make_timer('w', 1);
    cancelled->after(0.01);
    witness->after(0.05);
    m_scheduler.cancel(*cancelled);
    EXPECT_FALSE(cancelled->is_active());
    EXPECT_EQ(m_scheduler.active_count(), 1);
    ASSERT_TRUE(run_message_loop(m_windows));
    EXPECT_EQ(m_order, "w");
}

TEST_F(TimerTest, TimersCompleteInDueOrderNotInTheOrderStarted)
{
    auto a = make_timer('a', 3);
    auto b = make_timer('b', 3);
    auto c = make_timer('c', 3);
    a->after(0.06);
    b->after(0.02);
    c->after(0.04);
    ASSERT_TRUE(run_message_loop(m_windows));
    EXPECT_EQ(m_order, "bca");
}

TEST_F(TimerTest, ZeroNegativeAndNonsenseDelaysCompleteAtOnce)
{
    auto zero = make_timer('0', 3);
    auto negative = make_timer('-', 3);
    auto nonsense = make_timer('n', 3);
    std::uint32_t start = get_tick_count();
    zero->after(0);
    negative->after(-5);
    nonsense->after(std::nan(""));
    // Due now: completed at the reschedule, run by the loop in that order.
    EXPECT_TRUE(m_order.empty());
    ASSERT_TRUE(run_message_loop(m_windows));
    EXPECT_EQ(m_order, "0-n");
    EXPECT_LT(m_ticks[2] - start, 1000u);
}

TEST_F(TimerTest, HugeDelayStaysPendingUntilCancelled)
{
    auto huge = make_timer('h', 1);
    std::uint32_t start = get_tick_count();
    huge->after(1e12);
    EXPECT_LT(huge->due() - start, 0x80000000u);
    EXPECT_GT(huge->due() - start, 1000000u);
    m_scheduler.cancel(*huge);
    EXPECT_FALSE(huge->is_active());
}

TEST_F(TimerTest, RestartingFromItsOwnCallbackWorks)
{
    int runs = 0;
    CTimer timer(m_scheduler, [&] {
        if (++runs < 3)
            timer.after(0.005);
        else
            m_windows.post_quit_message(0);
    });
    timer.after(0.005);
    ASSERT_TRUE(run_message_loop(m_windows));
    EXPECT_EQ(runs, 3);
}
