#pragma once
// The viewer's tile queue: the tiles its panes asked for, made one at a time
// by a worker thread below normal priority, and the finished tiles waiting to
// be handed over. Its owner (the TileMaker) makes the tiles and tells which
// queued ones are still needed; the queue keeps the order, refuses
// duplicates, prunes what is no longer needed and drops what was asked for an
// earlier load of a slot.
//
// Locks, when several are held, are taken in this order: the tile lock, the
// queue lock, a pane's cache lock (inside TileMaker::tile_needed), the
// finished lock, the flag lock.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>
#include "pixels/render_surface.h"
#include "platform/thread.h"

// A tile a pane asked for; surface is filled by the worker.
struct TileRequest {
    int tx = 0;
    int ty = 0;
    int z = 0;
    int slot = 0;  // index of the slot (and its pane), stable across stepping
    // The load of the slot it was asked for (set by TileQueue::add).
    unsigned generation = 0;
    bool landscape = false;
    std::unique_ptr<RenderSurface> surface;
};

// What the queue asks of its owner.
class TileMaker {
public:
    // Makes the tile of request; null when there is none to show. Runs on the
    // worker under the tile lock, only for a request of its slot's current load.
    virtual std::unique_ptr<RenderSurface> make_tile(const TileRequest& request) = 0;
    // Whether the slot's pane still wants the queued request. Runs on the
    // thread that adds, under the queue lock.
    virtual bool tile_needed(const TileRequest& request) = 0;

protected:
    ~TileMaker() = default;
};

class TileQueue {
public:
    // A queue for slots 0 .. slots - 1; the worker runs from start() on.
    TileQueue(TileMaker& maker, int slots);
    // Stops and joins the worker.
    ~TileQueue();
    TileQueue(const TileQueue&) = delete;
    TileQueue& operator=(const TileQueue&) = delete;

    // Starts the worker; false when it runs already or cannot be started.
    bool start();
    // Asks the worker to end once the tile it is making is done, and wakes it.
    void request_stop();
    // request_stop, then waits until the worker has ended. The maker is not
    // called any more once this returns.
    void stop();

    // Queues request for the current load of its slot and wakes the worker;
    // on the way drops the queued requests that are no longer needed. A
    // request already queued is refused.
    void add(TileRequest request);
    // Runs change under the tile lock, where no tile is being made, and
    // starts a new load of slot: what was asked for before is stale from then
    // on, never made and never handed over.
    void reload_slot(int slot, const std::function<void()>& change);
    // Removes the requests and finished tiles of slot, except the first of
    // each list (the worker may be on the first request, and the first
    // finished tile is the next to be handed over).
    void clear_slot(int slot);
    // The first finished tile of a current load, if any; stale ones before
    // it are thrown away.
    std::optional<TileRequest> take_finished();
    // The worker sleeps once its current tile is done, until the next add.
    void idle();

    // Set by the worker whenever it finds the queue empty after a tile;
    // operation names the caller in the lock's log lines.
    bool drained(const char* operation);
    void set_drained(bool drained, const char* operation);

    // Requests waiting for the worker, and finished tiles waiting to be taken.
    int queued_count();
    int finished_count();

    // Where a new request goes in the queue: before the queued requests of its
    // slot for a coarser level (never before the first), else at the end.
    static std::size_t queue_position(const std::vector<TileRequest>& queue, const TileRequest& request);

private:
    class Worker : public Thread {
    public:
        explicit Worker(TileQueue& queue) : m_queue(queue) {}
        ~Worker() override;

    protected:
        void run() override;

    private:
        TileQueue& m_queue;
    };

    // The worker's body and one tile of it.
    void run_worker();
    void create_tile();
    // A slot outside the queue's is a fault of the caller: the process ends.
    void check_slot(int slot, const char* where) const;
    bool is_current(const TileRequest& request) const;

    TileMaker& m_maker;
    // The current load of each slot: written under the tile lock by the
    // thread that adds requests, read there and by the worker.
    std::vector<std::atomic<unsigned>> m_generations;
    Mutex m_tile_mutex;
    Mutex m_queue_mutex;
    Mutex m_finished_mutex;
    Mutex m_flag_mutex;
    std::vector<TileRequest> m_queue GUARDED_BY(m_queue_mutex);
    std::vector<TileRequest> m_finished GUARDED_BY(m_finished_mutex);
    bool m_drained GUARDED_BY(m_flag_mutex) = true;
    Event m_work_event{true};
    Worker m_worker;
};
