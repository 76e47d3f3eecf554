// The tile queue with a tile maker the test controls: the order tiles are
// made in, refused duplicates, pruning, clearing a slot, stale loads, the
// drained flag, stopping while a tile is being made, and the log lines.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <compare>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include "screens/tile_queue.h"
#include "tests/fatal_log.h"

namespace {

struct Key {
    int slot = 0;
    int tx = 0;
    int ty = 0;
    int z = 0;
    auto operator<=>(const Key&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Key& key)
{
    return out << "{slot " << key.slot << ": " << key.tx << ", " << key.ty << ", " << key.z << "}";
}

Key key_of(const TileRequest& request)
{
    return {request.slot, request.tx, request.ty, request.z};
}

// Long enough for any machine; only a broken queue ever waits this long.
constexpr auto patience = std::chrono::seconds(20);

// Records every call; a held tile blocks its make_tile until released.
class TestMaker : public TileMaker {
public:
    std::unique_ptr<RenderSurface> make_tile(const TileRequest& request) override
    {
        const Key key = key_of(request);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_made.push_back(key);
        m_busy = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_all_released || !m_held.count(key); });
        m_busy = false;
        if (m_without_tile.count(key))
            return nullptr;
        return std::make_unique<RenderSurface>(Size{1, 1});
    }
    bool tile_needed(const TileRequest& request) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_asked.push_back(key_of(request));
        return !m_unneeded.count(key_of(request));
    }

    void hold(Key key)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held.insert(key);
    }
    void release(Key key)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held.erase(key);
        m_changed.notify_all();
    }
    void release_all()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_all_released = true;
        m_changed.notify_all();
    }
    void set_unneeded(Key key)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_unneeded.insert(key);
    }
    void without_tile(Key key)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_without_tile.insert(key);
    }
    // Waits until make_tile was called for key; false when it never is.
    bool wait_entered(Key key)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, patience,
                                  [&] { return std::find(m_made.begin(), m_made.end(), key) != m_made.end(); });
    }
    std::vector<Key> made()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_made;
    }
    std::vector<Key> asked()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_asked;
    }
    bool busy()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_busy;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Key> m_made;
    std::vector<Key> m_asked;
    std::set<Key> m_held;
    std::set<Key> m_unneeded;
    std::set<Key> m_without_tile;
    bool m_all_released = false;
    bool m_busy = false;
};

class TileQueueTest : public testing::Test {
protected:
    // A failed test must not leave the worker blocked in the maker.
    void TearDown() override
    {
        maker.release_all();
        queue.stop();
    }

    void add(Key key, bool landscape = false)
    {
        queue.add(TileRequest{key.tx, key.ty, key.z, key.slot, 0, landscape, nullptr});
    }
    // Every finished tile handed over now, in order.
    std::vector<Key> take_all()
    {
        std::vector<Key> taken;
        while (std::optional<TileRequest> tile = queue.take_finished()) {
            EXPECT_NE(tile->surface, nullptr);
            taken.push_back(key_of(*tile));
        }
        return taken;
    }
    // Waits until done() holds; false after the patience runs out.
    template <typename Done>
    static bool eventually(Done done)
    {
        const auto end = std::chrono::steady_clock::now() + patience;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::yield();
        }
        return true;
    }

    TestMaker maker;
    TileQueue queue{maker, 3};
};

}  // namespace

TEST(TileQueuePosition, FinerTilesGoBeforeTheCoarserOnesOfTheirSlotButNeverFirst)
{
    auto request = [](int slot, int z) { return TileRequest{0, 0, z, slot, 0, false, nullptr}; };
    std::vector<TileRequest> queue;
    EXPECT_EQ(TileQueue::queue_position(queue, request(1, 2)), 0u);
    queue.push_back(request(1, 1));  // the worker may be on it
    EXPECT_EQ(TileQueue::queue_position(queue, request(1, 2)), 1u);
    queue.push_back(request(0, 1));
    queue.push_back(request(1, 1));
    queue.push_back(request(1, 2));
    // Before the first coarser request of the same slot; another slot's coarser ones do not count.
    EXPECT_EQ(TileQueue::queue_position(queue, request(1, 3)), 2u);
    EXPECT_EQ(TileQueue::queue_position(queue, request(1, 2)), 2u);
    // The same or a coarser level waits at the end.
    EXPECT_EQ(TileQueue::queue_position(queue, request(1, 1)), 4u);
    EXPECT_EQ(TileQueue::queue_position(queue, request(2, 5)), 4u);
}

// Queued before the worker starts, so the whole order is the queue's.
TEST_F(TileQueueTest, TilesAreMadeAndHandedOverInQueueOrderWithFinerLevelsFirst)
{
    const Key first{1, 0, 0, 1}, coarse{1, 1, 0, 1}, other_slot{0, 0, 0, 1}, finer{1, 0, 0, 2}, finest{1, 2, 2, 3};
    add(first);
    add(coarse);
    add(other_slot);
    add(finer);   // before coarse, never before first
    add(finest);  // before finer: finer is coarser than it
    const std::vector<Key> order{first, finest, finer, coarse, other_slot};
    ASSERT_TRUE(queue.start());
    EXPECT_FALSE(queue.start());
    ASSERT_TRUE(maker.wait_entered(other_slot));
    queue.stop();  // returns once the tile being made is finished
    EXPECT_EQ(maker.made(), order);
    EXPECT_EQ(queue.queued_count(), 0);
    EXPECT_EQ(take_all(), order);
}

TEST_F(TileQueueTest, RequestsAlreadyQueuedAreRefused)
{
    const Key tile{0, 5, 4, 3};
    add(tile);
    add(tile);
    add(tile, true);  // the same tile, whichever orientation it was asked in
    EXPECT_EQ(queue.queued_count(), 1);
    add({1, 5, 4, 3});  // another slot's tile is another tile
    add({0, 5, 4, 2});
    add({0, 5, 3, 3});
    EXPECT_EQ(queue.queued_count(), 4);
    add({0, 5, 3, 3});  // a duplicate of one that is not first
    EXPECT_EQ(queue.queued_count(), 4);
}

TEST_F(TileQueueTest, TilesNoLongerNeededArePrunedOnTheNextAddButTheFirstStays)
{
    const Key first{0, 5, 4, 3}, gone{0, 6, 4, 3}, later{0, 1, 1, 3}, kept{0, 0, 0, 1};
    add(first);
    add(gone);
    add(kept);
    EXPECT_EQ(queue.queued_count(), 3);
    maker.set_unneeded(gone);
    add(later);  // prunes gone before later is queued
    EXPECT_EQ(queue.queued_count(), 3);
    maker.set_unneeded(first);
    maker.set_unneeded(later);
    add(first);  // prunes later; first stays though unneeded, so this is its duplicate
    EXPECT_EQ(queue.queued_count(), 2);
    // The first request is never even asked about: the worker may be on it.
    const std::vector<Key> asked = maker.asked();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), first), 0);
    ASSERT_TRUE(queue.start());
    ASSERT_TRUE(maker.wait_entered(kept));
    queue.stop();
    EXPECT_EQ(maker.made(), (std::vector<Key>{first, kept}));
}

// A new load of a slot makes its queued requests stale: the next add prunes
// them without asking the maker; a stale first request is dropped unmade.
TEST_F(TileQueueTest, RequestsOfAnEarlierLoadAreNeverMade)
{
    const Key stale_first{0, 0, 0, 1}, stale{0, 1, 0, 1}, other{1, 0, 0, 1}, fresh{0, 0, 0, 1};
    add(stale_first);
    add(stale);
    add(other);
    bool changed = false;
    queue.reload_slot(0, [&] { changed = true; });
    EXPECT_TRUE(changed);
    const std::vector<Key> asked_before = maker.asked();
    add(fresh);  // the same tile as stale_first, for the new load: not a duplicate
    EXPECT_EQ(queue.queued_count(), 3);
    std::vector<Key> asked = maker.asked();
    asked.erase(asked.begin(), asked.begin() + static_cast<std::ptrdiff_t>(asked_before.size()));
    EXPECT_EQ(asked, std::vector<Key>{other}) << "stale requests need no asking";
    ASSERT_TRUE(queue.start());
    ASSERT_TRUE(maker.wait_entered(fresh));
    queue.stop();
    EXPECT_EQ(maker.made(), (std::vector<Key>{other, fresh}));
    EXPECT_EQ(take_all(), (std::vector<Key>{other, fresh}));
}

TEST_F(TileQueueTest, TilesMadeForAnEarlierLoadAreNeverHandedOver)
{
    const Key old_load{0, 0, 0, 1}, other{1, 0, 0, 1};
    add(old_load);
    add(other);
    ASSERT_TRUE(queue.start());
    ASSERT_TRUE(maker.wait_entered(other));
    // Waits for the tile being made: both are finished when it returns.
    queue.reload_slot(0, {});
    EXPECT_EQ(queue.finished_count(), 2);
    EXPECT_EQ(take_all(), (std::vector<Key>{other}));
    EXPECT_EQ(queue.finished_count(), 0);
}

// What the maker reads may be replaced under the tile lock: never while a
// tile is being made.
TEST_F(TileQueueTest, ReloadWaitsForTheTileBeingMade)
{
    const Key tile{0, 0, 0, 1};
    maker.hold(tile);
    add(tile);
    ASSERT_TRUE(queue.start());
    ASSERT_TRUE(maker.wait_entered(tile));
    std::atomic<bool> started{false};
    bool busy_during_change = true;
    std::thread reload([&] {
        started = true;
        queue.reload_slot(1, [&] { busy_during_change = maker.busy(); });
    });
    ASSERT_TRUE(eventually([&] { return started.load(); }));
    maker.release(tile);
    reload.join();
    EXPECT_FALSE(busy_during_change);
}

TEST_F(TileQueueTest, ClearingASlotKeepsTheFirstQueuedAndTheFirstFinished)
{
    const Key done_a{0, 0, 0, 1}, done_other{1, 0, 0, 1}, done_b{0, 1, 0, 1};
    const Key busy{0, 2, 0, 1}, queued_a{0, 3, 0, 1}, queued_other{1, 1, 0, 1}, queued_b{0, 4, 0, 1};
    maker.hold(busy);
    for (const Key& key : {done_a, done_other, done_b, busy})
        add(key);
    ASSERT_TRUE(queue.start());
    ASSERT_TRUE(maker.wait_entered(busy));
    for (const Key& key : {queued_a, queued_other, queued_b})
        add(key);
    EXPECT_EQ(queue.finished_count(), 3);
    EXPECT_EQ(queue.queued_count(), 4);
    queue.clear_slot(0);
    EXPECT_EQ(queue.finished_count(), 2);  // done_a, done_other
    EXPECT_EQ(queue.queued_count(), 2);    // busy, queued_other
    maker.release(busy);
    ASSERT_TRUE(maker.wait_entered(queued_other));
    queue.stop();
    EXPECT_EQ(maker.made(), (std::vector<Key>{done_a, done_other, done_b, busy, queued_other}));
    EXPECT_EQ(take_all(), (std::vector<Key>{done_a, done_other, busy, queued_other}));
}

TEST_F(TileQueueTest, TileTheMakerCannotMakeIsNotHandedOver)
{
    const Key missing{0, 0, 0, 1}, next{0, 1, 0, 1};
    maker.without_tile(missing);
    add(missing);
    add(next);
    ASSERT_TRUE(queue.start());
    ASSERT_TRUE(maker.wait_entered(next));
    queue.stop();
    EXPECT_EQ(take_all(), (std::vector<Key>{next}));
}

// The owner clears the flag and waits for every tile queued since to be made.
TEST_F(TileQueueTest, DrainedOnlyOnceTheQueueRunsDry)
{
    const Key first{0, 0, 0, 1}, second{0, 1, 0, 1};
    EXPECT_TRUE(queue.drained("test"));
    queue.set_drained(false, "test");
    maker.hold(first);
    add(first);
    add(second);
    ASSERT_TRUE(queue.start());
    ASSERT_TRUE(maker.wait_entered(first));
    EXPECT_FALSE(queue.drained("test"));
    maker.hold(second);
    maker.release(first);
    // The worker looked at the queue after the first tile: the second was waiting.
    ASSERT_TRUE(maker.wait_entered(second));
    EXPECT_FALSE(queue.drained("test"));
    maker.release(second);
    EXPECT_TRUE(eventually([&] { return queue.drained("test"); }));
    EXPECT_EQ(queue.queued_count(), 0);
}

// The worker ends after the tile it is on, though more are queued.
TEST_F(TileQueueTest, StopWhileATileIsBeingMadeEndsAfterThatTile)
{
    const Key busy{0, 0, 0, 1};
    maker.hold(busy);
    add(busy);
    add({0, 1, 0, 1});
    add({1, 0, 0, 1});
    ASSERT_TRUE(queue.start());
    ASSERT_TRUE(maker.wait_entered(busy));
    queue.request_stop();
    maker.release(busy);
    queue.stop();
    EXPECT_EQ(maker.made(), (std::vector<Key>{busy}));
    EXPECT_EQ(queue.queued_count(), 2);
    EXPECT_EQ(take_all(), (std::vector<Key>{busy}));
}

// An idle worker and one never started both stop at once.
TEST_F(TileQueueTest, StopsWhenIdleOrNeverStarted)
{
    {
        TestMaker unused;
        TileQueue never_started(unused, 1);
        never_started.add(TileRequest{0, 0, 0, 0, 0, false, nullptr});
    }
    ASSERT_TRUE(queue.start());
    const Key tile{2, 0, 0, 0};
    add(tile);
    ASSERT_TRUE(maker.wait_entered(tile));
    ASSERT_TRUE(eventually([&] { return queue.queued_count() == 0; }));
    queue.stop();
    EXPECT_EQ(take_all(), (std::vector<Key>{tile}));
}

namespace {

// Whether lines appear in text in this order (other lines may come between).
bool in_order(const std::string& text, const std::vector<std::string>& lines)
{
    std::size_t at = 0;
    for (const std::string& line : lines) {
        at = text.find(line + "\n", at);
        if (at == std::string::npos)
            return false;
        at += line.size() + 1;
    }
    return true;
}

class TileQueueLog : public TileQueueTest {
protected:
    void SetUp() override { m_log.open(); }
    void TearDown() override
    {
        TileQueueTest::TearDown();
        m_log.close();
    }
    FatalLog m_log;
};

}  // namespace

// A hang is traced by these lines: each named lock logs a start and an end.
TEST_F(TileQueueLog, AddsTheWorkerAndItsLocksWriteTheirLines)
{
    const Key tile{0, 1, 2, 3};
    add(tile);
    add(tile);
    const std::string added = m_log.text();
    EXPECT_TRUE(in_order(added, {"add_tile m_queue_mutex start", "add_tile m_queue_mutex end", "realy add",
                                 "add_tile m_queue_mutex start", "add_tile m_queue_mutex end", "clear"}))
        << added;
    queue.set_drained(false, "test");
    ASSERT_TRUE(queue.start());
    ASSERT_TRUE(maker.wait_entered(tile));
    ASSERT_TRUE(eventually([&] { return queue.drained("test"); }));
    queue.stop();
    queue.take_finished();
    queue.clear_slot(0);
    const std::string text = m_log.text();
    EXPECT_TRUE(in_order(text, {"run start", "run begin", "run create_tile start", "create_tile m_tile_mutex start",
                                "create_tile m_tile_mutex end", "create_tile m_queue_mutex start",
                                "create_tile m_queue_mutex end", "create_tile m_queue_mutex start",
                                "create_tile m_queue_mutex end", "create_tile m_finished_mutex start",
                                "create_tile m_finished_mutex end", "run create_tile end", "run m_queue_mutex start",
                                "run m_queue_mutex end", "run m_flag_mutex start", "run m_flag_mutex end"}))
        << text;
    EXPECT_TRUE(in_order(text, {"update m_finished_mutex start", "update m_finished_mutex end",
                                "clear_slot m_queue_mutex start", "clear_slot m_queue_mutex end",
                                "clear_slot m_finished_mutex start", "clear_slot m_finished_mutex end"}))
        << text;
    queue.reload_slot(0, {});
    EXPECT_TRUE(in_order(m_log.text(), {"load_slot m_tile_mutex start", "load_slot m_tile_mutex end"}));
}
