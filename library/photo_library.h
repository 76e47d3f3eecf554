#pragma once
// The photo library: the album list and its file, the drive search and the
// preview queue. The library's own thread runs the searches; preview workers
// (one per processor core) take pictures from the one queue in its order and
// build their previews side by side, never one picture on two of them.
//
// Locks, when several are held, are taken in this order: m_need_search_mutex,
// m_map_mutex, m_folders_mutex, the status lock, m_current_folder_mutex.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <vector>
#include "library/folder.h"
#include "library/folders_ini.h"
#include "library/library_event.h"
#include "library/photo_library_status.h"
#include "library/preview_file.h"
#include "platform/singleton.h"
#include "platform/thread.h"

// Calls into the library's work for diagnostics and tests, each on the thread
// that does the work, which it may hold up. Empty ones are skipped.
struct LibraryProbes {
    // A preview worker asks whether the build of picture must stop (between scanlines).
    std::function<void(StringView picture)> build_step;
    // A preview worker's build of picture has ended, whatever its result; a
    // picture that cannot be decoded is marked bad after this.
    std::function<void(StringView picture)> build_ends;
    // The search has counted picture into its album; it holds the queue lock
    // only, so the albums can be read meanwhile.
    std::function<void(StringView picture)> picture_searched;
};

class PhotoLibrary : public Thread, public Singleton<PhotoLibrary> {
public:
    // Loads the album list (files.file, else the older files.fallback), keeps it
    // in files.file and starts the worker (unless start_worker is false: the
    // owner then calls start() itself), which starts preview_workers preview
    // workers (0: one per processor core).
    explicit PhotoLibrary(const AlbumListFiles& files = album_list_files(), bool start_worker = true,
                          int preview_workers = 0);
    // The same with one album list file and no older place.
    explicit PhotoLibrary(StringView folders_file, bool start_worker = true, int preview_workers = 0);
    // Stops and joins the worker and the preview workers.
    ~PhotoLibrary() override;

    // ---- albums ----
    // Number of albums.
    int get_folders_size();
    // A copy of album i (i below get_folders_size()).
    Folder get_folder(int i);
    // Index of the first album whose key picture is path, or -1.
    int search_folder_num(StringView path);
    // Sets the picture count of the album holding picture, saves and notifies.
    void set_folder_size(StringView picture, int size);
    // Sets the key picture of the album holding picture, saves and notifies.
    void set_key_picture(StringView picture, StringView key_picture);
    // The album's display name: the last component of folder_path
    // (pictures_folder_name for the pictures folder itself).
    static String album_name(StringView folder_path);
    static constexpr StringView pictures_folder_name = u"Pictures folder";
    // Whether the album list file could be read at construction (false at the first start).
    bool had_album_list() const { return m_had_album_list; }
    // Whether a preview file exists and is empty (its picture cannot be decoded).
    static bool is_bad_preview(StringView preview_file);

    // ---- search and previews ----
    // Asks the worker for a drive search (once while one is pending).
    void need_search();
    // The folder whose previews are built first.
    void set_current_folder(StringView folder_path);
    // Queues picture (under root) for a preview unless it is already queued.
    void add_picture(StringView picture, StringView root);
    // Builds the previews nearest to picture in the current folder's queue first.
    void prioritise_picture(StringView picture);
    // The pictures of folder_path still waiting for a preview, in queue order.
    std::vector<String> queued_pictures(StringView folder_path);
    // Waits at most milliseconds until no search is pending and the queue is
    // empty; true when that is so.
    bool wait_until_idle(unsigned milliseconds);
    // Sets the probes; only before the worker starts.
    void set_probes(LibraryProbes probes) { m_probes = std::move(probes); }
    // Previews built and queued since the last reset.
    void read_progress(std::int32_t& value, std::int32_t& maximum);
    // Pictures whose preview could not be written, and the last folder that refused one.
    void read_unwritten(std::int32_t& count, String& folder);

    // ---- events (user-interface thread) ----
    void add_observer(LibraryObserver* observer);
    void remove_observer(LibraryObserver* observer);
    // Turns the worker's status into events for the observers; once per frame.
    void dispatch_events();

protected:
    // The worker: starts the preview workers, runs each search asked for, and
    // stops the preview workers when the library ends.
    void run() override;

private:
    void load_folders(const AlbumListFiles& files);
    void save_folders(StringView path);
    void notify(const LibraryEvent& event);
    void notify_folders_changed();
    // Runs f on the album holding picture, then saves and notifies.
    template <typename Change>
    void change_folder(const char* operation, StringView picture, Change change);
    void search();
    void check_drive(StringView root);
    // A preview worker's body: create_cache until the library stops.
    void build_previews();
    // Waits for a picture to build and builds its preview; false when the library stops.
    bool create_cache();
    // A picture taken from the queue to build, with what names its preview file.
    struct PreviewJob {
        String picture;
        String root;
        String name;  // its preview's name; empty when the picture is missing
        String file;  // its preview file's key (preview_file_key), or the picture when it is missing
    };
    // Under m_map_mutex: the next picture to build, skipping pictures whose preview file is being built.
    bool choose_picture(PreviewJob& job) REQUIRES(m_map_mutex);
    // Under m_map_mutex: the first picture of entry whose preview file no build is writing.
    bool take_free_picture(const PendingFolder& entry, PreviewJob& job) REQUIRES(m_map_mutex);
    // Builds the preview of job's picture unless it is ready; marks a picture bad that cannot be decoded.
    PreviewBuild build_job(const PreviewJob& job);
    // Under m_map_mutex: waits until no preview is being built.
    void wait_for_builds_to_stop() REQUIRES(m_map_mutex);
    // Under m_map_mutex: signals idle when no search is pending, the queue is empty and nothing is built.
    void signal_idle_when_done() REQUIRES(m_map_mutex);
    // Whether a build must stop now: the library ends or a search waits for the builds.
    bool build_must_stop() const { return stop_requested() || m_need_search.load(); }
    // Removes the first queue entry of picture; erases its folder when empty (under m_map_mutex).
    void remove_from_queue(StringView picture) REQUIRES(m_map_mutex);

    String m_folders_file;
    bool m_had_album_list = false;
    LibraryProbes m_probes;

    Event m_work_event{true};
    Event m_idle_event{true};

    int m_preview_workers;

    Mutex m_need_search_mutex;
    // Written under m_need_search_mutex; the preview workers read it to give way to a search.
    std::atomic<bool> m_need_search{false};

    Mutex m_map_mutex;
    std::map<String, PendingFolder> m_map GUARDED_BY(m_map_mutex);
    // The preview files being built, by preview_file_key: a link and its
    // target share one file, which only one worker may write at a time.
    std::vector<String> m_building GUARDED_BY(m_map_mutex);
    // Waited for with m_map_mutex: the queue, the pictures being built or the search flag changed.
    std::condition_variable_any m_queue_changed;

    Mutex m_folders_mutex;
    std::vector<Folder> m_folders GUARDED_BY(m_folders_mutex);

    PhotoLibraryStatus m_status;

    Mutex m_current_folder_mutex;
    String m_current_folder GUARDED_BY(m_current_folder_mutex);

    // User-interface thread only.
    std::vector<LibraryObserver*> m_observers;
};
