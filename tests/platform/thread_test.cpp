#include <gtest/gtest.h>

#include <atomic>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/thread.h"
#include "platform/tick.h"

namespace {

// The worker pattern: sleep on the event, stop when asked, else one batch.
class Worker : public Thread {
public:
    ~Worker() override { stop(); }

    void stop()
    {
        request_stop();
        wake.set();
        join();
    }

    Event wake{false};
    Event batch_done{false};
    Event release{true};
    std::atomic<int> batches{0};
    std::atomic<int> nice_seen{99};
    std::atomic<bool> priority_accepted{false};

protected:
    void run() override
    {
        priority_accepted = set_priority(-1);
        nice_seen = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
        for (;;) {
            wake.wait();
            if (stop_requested())
                return;
            release.wait();
            ++batches;
            batch_done.set();
        }
    }
};

class Once : public Thread {
public:
    ~Once() override { join(); }
    std::atomic<int> runs{0};

protected:
    void run() override { ++runs; }
};

}  // namespace

TEST(Thread, WorkerSleepsRunsBatchesAndStopsWithoutAnotherBatch)
{
    Worker worker;
    worker.release.set();
    ASSERT_TRUE(worker.start());
    worker.wake.set();
    worker.batch_done.wait();
    worker.wake.set();
    worker.batch_done.wait();
    EXPECT_EQ(worker.batches, 2);
    worker.stop();
    EXPECT_EQ(worker.batches, 2);
    EXPECT_TRUE(worker.priority_accepted);
    EXPECT_EQ(worker.nice_seen, 5);
}

TEST(Thread, StartWhileHeldIsRefused)
{
    Worker worker;
    ASSERT_TRUE(worker.start());
    EXPECT_FALSE(worker.start());
    worker.stop();
    EXPECT_TRUE(worker.start());  // joined: a new worker may start
}

TEST(Thread, StartAfterTheWorkerEndedNeedsAJoinFirst)
{
    Once once;
    ASSERT_TRUE(once.start());
    while (once.runs == 0) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(once.start());
    once.join();
    EXPECT_TRUE(once.start());
    once.join();
    EXPECT_EQ(once.runs, 2);
}

TEST(Thread, JoinWithoutWorkerReturnsAtOnce)
{
    Once never;
    never.join();
    never.join();
    EXPECT_EQ(never.runs, 0);
}

TEST(Thread, PriorityIsClampedToTheNiceRange)
{
    struct Probe : Thread {
        ~Probe() override { join(); }
        int lowest = 0;
        bool raised = false;
        int highest = 0;
        void run() override
        {
            const auto id = static_cast<id_t>(syscall(SYS_gettid));
            set_priority(-9);
            lowest = getpriority(PRIO_PROCESS, id);
            raised = set_priority(7);
            highest = getpriority(PRIO_PROCESS, id);
        }
    } probe;
    probe.start();
    probe.join();
    EXPECT_EQ(probe.lowest, 10);
    if (!probe.raised)
        GTEST_SKIP() << "raising a thread's priority needs privileges";
    EXPECT_EQ(probe.highest, -10);
}

TEST(Thread, PriorityActsOnTheWorkerWhicheverThreadAsks)
{
    // Reads its own nice value once it is let go.
    struct Probe : Thread {
        ~Probe() override { join(); }
        Event go{true};
        int nice_seen = 99;
        void run() override
        {
            go.wait();
            nice_seen = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
        }
    } probe;
    EXPECT_FALSE(probe.set_priority(-2));  // no worker thread yet
    const auto own_id = static_cast<id_t>(syscall(SYS_gettid));
    const int own_nice = getpriority(PRIO_PROCESS, own_id);
    ASSERT_TRUE(probe.start());
    EXPECT_TRUE(probe.set_priority(-2));
    EXPECT_EQ(getpriority(PRIO_PROCESS, own_id), own_nice);
    probe.go.set();
    probe.join();
    EXPECT_EQ(probe.nice_seen, 10);
}

TEST(Thread, StopRequestIsClearedByStart)
{
    Worker worker;
    worker.request_stop();
    EXPECT_TRUE(worker.stop_requested());
    ASSERT_TRUE(worker.start());
    EXPECT_FALSE(worker.stop_requested());
}

TEST(Event, ManualResetStaysSignalledAutoResetReleasesOne)
{
    Event manual(true);
    manual.set();
    manual.wait();
    EXPECT_TRUE(manual.wait_for(0));
    manual.reset();
    EXPECT_FALSE(manual.wait_for(0));

    Event automatic(false);
    automatic.set();
    EXPECT_TRUE(automatic.wait_for(0));
    EXPECT_FALSE(automatic.wait_for(0));
}

TEST(Event, SetWakesAWaiterOnAnotherThread)
{
    Event ready(false);
    Event go(false);
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        ready.set();
        go.wait();
        woke = true;
    });
    ready.wait();
    go.set();
    waiter.join();
    EXPECT_TRUE(woke);
}

TEST(Mutex, GuardsACounterAcrossThreads)
{
    Mutex mutex;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                MutexLock lock(mutex);
                ++counter;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 40000);
}

TEST(Tick, CountsForward)
{
    const std::uint32_t start = get_tick_count();
    sleep_ms(20);
    EXPECT_GE(get_tick_count() - start, 20u);
}
