#include "screens/tile_queue.h"

#include <algorithm>
#include "platform/log.h"
#include "platform/logged_lock.h"

namespace {

bool same_tile(const TileRequest& a, const TileRequest& b)
{
    return a.slot == b.slot && a.tx == b.tx && a.ty == b.ty && a.z == b.z && a.generation == b.generation;
}

}  // namespace

TileQueue::Worker::~Worker() = default;

void TileQueue::Worker::run()
{
    m_queue.run_worker();
}

TileQueue::TileQueue(TileMaker& maker, int slots)
    : m_maker(maker), m_generations(static_cast<std::size_t>(std::max(slots, 0))), m_worker(*this)
{
}

// The worker must be gone before the maker and the queue's lists are.
TileQueue::~TileQueue()
{
    stop();
}

bool TileQueue::start()
{
    return m_worker.start();
}

// The stop request and the wake-up are made under the queue lock, where the
// worker decides to sleep: it cannot reset the event after this set.
void TileQueue::request_stop()
{
    MutexLock lock(m_queue_mutex);
    m_worker.request_stop();
    m_work_event.set();
}

void TileQueue::stop()
{
    request_stop();
    m_worker.join();
}

void TileQueue::check_slot(int slot, const char* where) const
{
    if (slot < 0 || static_cast<std::size_t>(slot) >= m_generations.size())
        fatal_error("tile slot out of range", where);
}

bool TileQueue::is_current(const TileRequest& request) const
{
    return request.generation == m_generations[static_cast<std::size_t>(request.slot)].load();
}

void TileQueue::add(TileRequest request)
{
    check_slot(request.slot, "TileQueue::add");
    request.generation = m_generations[static_cast<std::size_t>(request.slot)].load();
    request.surface.reset();
    LoggedLock lock(m_queue_mutex, "add_tile", "m_queue_mutex");
    // The first request is left alone: the worker may be on it.
    if (m_queue.size() > 1) {
        auto unneeded = [this](const TileRequest& queued) {
            return !is_current(queued) || !m_maker.tile_needed(queued);
        };
        m_queue.erase(std::remove_if(m_queue.begin() + 1, m_queue.end(), unneeded), m_queue.end());
    }
    for (const TileRequest& queued : m_queue)
        if (same_tile(queued, request)) {
            log() << "clear\n";
            return;
        }
    const std::size_t position = queue_position(m_queue, request);
    m_queue.insert(m_queue.begin() + static_cast<std::ptrdiff_t>(position), std::move(request));
    log() << "realy add\n";
    m_work_event.set();
}

// After a zoom the requests of the level left behind may still wait; the
// finer level's tiles are the ones that make the picture sharp, so they go
// before them. The first request stays first: the worker may be on it.
std::size_t TileQueue::queue_position(const std::vector<TileRequest>& queue, const TileRequest& request)
{
    for (std::size_t i = 1; i < queue.size(); ++i)
        if (queue[i].slot == request.slot && queue[i].z < request.z)
            return i;
    return queue.size();
}

// The tile lock is held while the worker makes a tile, so what the maker
// reads for it is never changed under its feet.
void TileQueue::reload_slot(int slot, const std::function<void()>& change)
{
    check_slot(slot, "TileQueue::reload_slot");
    LoggedLock lock(m_tile_mutex, "load_slot", "m_tile_mutex");
    if (change)
        change();
    ++m_generations[static_cast<std::size_t>(slot)];
}

void TileQueue::clear_slot(int slot)
{
    auto of_slot = [slot](const TileRequest& request) { return request.slot == slot; };
    {
        LoggedLock lock(m_queue_mutex, "clear_slot", "m_queue_mutex");
        if (m_queue.size() > 1)
            m_queue.erase(std::remove_if(m_queue.begin() + 1, m_queue.end(), of_slot), m_queue.end());
    }
    LoggedLock lock(m_finished_mutex, "clear_slot", "m_finished_mutex");
    if (m_finished.size() > 1)
        m_finished.erase(std::remove_if(m_finished.begin() + 1, m_finished.end(), of_slot), m_finished.end());
}

std::optional<TileRequest> TileQueue::take_finished()
{
    for (;;) {
        TileRequest request;
        {
            LoggedLock lock(m_finished_mutex, "update", "m_finished_mutex");
            if (m_finished.empty())
                return std::nullopt;
            request = std::move(m_finished.front());
            m_finished.erase(m_finished.begin());
        }
        if (is_current(request))
            return request;
    }
}

void TileQueue::idle()
{
    m_work_event.reset();
}

bool TileQueue::drained(const char* operation)
{
    LoggedLock lock(m_flag_mutex, operation, "m_flag_mutex");
    return m_drained;
}

void TileQueue::set_drained(bool drained, const char* operation)
{
    LoggedLock lock(m_flag_mutex, operation, "m_flag_mutex");
    m_drained = drained;
}

int TileQueue::queued_count()
{
    MutexLock lock(m_queue_mutex);
    return static_cast<int>(m_queue.size());
}

int TileQueue::finished_count()
{
    MutexLock lock(m_finished_mutex);
    return static_cast<int>(m_finished.size());
}

void TileQueue::run_worker()
{
    m_worker.set_priority(-1);
    log() << "run start\n";
    m_work_event.wait();
    log() << "run begin\n";
    while (!m_worker.stop_requested()) {
        log() << "run create_tile start\n";
        create_tile();
        log() << "run create_tile end\n";
        {
            LoggedLock lock(m_queue_mutex, "run", "m_queue_mutex");
            if (m_queue.empty() && !m_worker.stop_requested()) {
                m_work_event.reset();
                LoggedLock flag(m_flag_mutex, "run", "m_flag_mutex");
                m_drained = true;
            }
        }
        m_work_event.wait();
        log() << "run begin\n";
    }
}

// Runs on the worker. The request stays first in the queue while its tile
// is made (nobody else removes the first one); a request made for an earlier
// load of its slot is dropped without being made.
void TileQueue::create_tile()
{
    LoggedLock tile_lock(m_tile_mutex, "create_tile", "m_tile_mutex");
    TileRequest request;
    {
        LoggedLock lock(m_queue_mutex, "create_tile", "m_queue_mutex");
        if (m_queue.empty())
            return;
        const TileRequest& first = m_queue.front();
        request = TileRequest{first.tx, first.ty, first.z, first.slot, first.generation, first.landscape, nullptr};
    }
    if (is_current(request))
        request.surface = m_maker.make_tile(request);
    LoggedLock lock(m_queue_mutex, "create_tile", "m_queue_mutex");
    if (!m_queue.empty())
        m_queue.erase(m_queue.begin());
    if (!request.surface)
        return;
    LoggedLock finished(m_finished_mutex, "create_tile", "m_finished_mutex");
    m_finished.push_back(std::move(request));
}
