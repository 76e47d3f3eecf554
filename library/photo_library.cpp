#include "library/photo_library.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include "library/drive_search.h"
#include "library/folders_ini.h"
#include "library/preview_file.h"
#include "platform/file.h"
#include "platform/file_identity.h"
#include "platform/log.h"
#include "platform/logged_lock.h"
#include "platform/paths.h"
#include "platform/tick.h"

namespace {

const StringView my_documents_root = u"%my_documents%/";

bool is_separator(char16_t c)
{
    return c == u'/' || c == u'\\';
}

String seconds_text(std::uint32_t milliseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%f", milliseconds / 1000.0);
    return from_ascii(text);
}

std::vector<QueuedPicture>::iterator find_queued(std::vector<QueuedPicture>& pictures, StringView picture)
{
    return std::find_if(pictures.begin(), pictures.end(),
                        [&](const QueuedPicture& queued) { return queued.path == picture; });
}

// The queue entry of directory, made with drive path root when missing.
PendingFolder& queue_entry(std::map<String, PendingFolder>& map, StringView directory, StringView root)
{
    auto [entry, created] = map.try_emplace(String(directory));
    if (created)
        entry->second.drive_path = String(root);
    return entry->second;
}

// Appends picture to its folder's queue entry, numbered by the entry's length.
void append_picture(PendingFolder& entry, StringView picture)
{
    entry.pictures.push_back({static_cast<std::int32_t>(entry.pictures.size()), String(picture)});
}

void enqueue(std::map<String, PendingFolder>& map, StringView picture, StringView root)
{
    append_picture(queue_entry(map, directory_of(picture), root), picture);
}

// Builds the preview of picture, named name, in its root's preview folder,
// made first; preview receives the file it was for.
PreviewBuild build_in_preview_folder(StringView picture, StringView root, StringView name, const StopCheck& stop,
                                     String& preview)
{
    if (!make_preview_folder(root).empty())
        return build_named_preview(picture, root, name, stop, preview);
    // Without a folder nothing can be written, unless the picture itself is gone.
    return preview_path(picture, root).empty() ? PreviewBuild::incomplete : PreviewBuild::unwritten;
}

// A picture found by the walk, with the position of its ready preview in the
// listing of the preview folder (none when it needs one).
struct FoundPicture {
    static constexpr std::size_t not_ready = static_cast<std::size_t>(-1);

    String path;
    std::size_t folder_length = 0;  // the path's folder part, the separator included
    std::size_t ready_preview = not_ready;

    StringView folder() const { return StringView(path).substr(0, folder_length); }
};

// Whether two texts are equal, compared as memory (the character traits of
// char16_t compare one character at a time).
bool same_text(StringView a, StringView b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

// Where the search finds the albums it has made: folder_path to position in
// the album list. Only the search changes the list's order and length, so
// positions stay valid between its locks of the list. The walk gives a
// folder's pictures one after another: the last album found serves them
// without a look-up.
struct AlbumIndex {
    bool filled = false;
    std::unordered_map<String, std::size_t> positions;
    String last_directory;
    std::size_t last_position = static_cast<std::size_t>(-1);  // none before the first album found
};

// Counts picture (found under root) into its album, made with picture as its
// key picture when it is the album's first.
void count_in_album(std::vector<Folder>& folders, AlbumIndex& index, StringView root, const FoundPicture& picture)
{
    if (!index.filled) {
        for (std::size_t i = 0; i < folders.size(); ++i)
            index.positions.emplace(folders[i].folder_path, i);
        index.filled = true;
    }
    const StringView directory = picture.folder();
    if (index.last_position < folders.size() && same_text(directory, index.last_directory)) {
        ++folders[index.last_position].size;
        return;
    }
    const auto [known, added] = index.positions.try_emplace(String(directory), folders.size());
    if (added)
        folders.push_back({String(root), String(directory), picture.path, 1});
    else
        ++folders[known->second].size;
    index.last_directory = known->first;
    index.last_position = known->second;
}

// The queue entry of the folder whose pictures the search is handing out
// (the walk gives a folder's pictures one after another, once for each kind
// of ending), with the pictures it held before the search first reached it.
struct QueueRun {
    String directory;
    PendingFolder* entry = nullptr;  // map entries stay where they are while others are added
    std::unordered_set<String> queued_before;
    // How many pictures each entry held when the search first reached it: the
    // ones the search queued there since are other files.
    std::unordered_map<const PendingFolder*, std::size_t> held_before;
};

// Queues a picture that the search found without a ready preview, unless its
// folder's entry held it already (a list row asked for it); true when queued.
bool queue_found_picture(std::map<String, PendingFolder>& map, QueueRun& run, StringView root,
                         const FoundPicture& picture)
{
    const StringView directory = picture.folder();
    if (!run.entry || !same_text(directory, run.directory)) {
        run.directory = String(directory);
        run.entry = &queue_entry(map, directory, root);
        const std::size_t held = run.held_before.try_emplace(run.entry, run.entry->pictures.size()).first->second;
        run.queued_before.clear();
        for (std::size_t i = 0; i < held; ++i)
            run.queued_before.insert(run.entry->pictures[i].path);
    }
    if (!run.queued_before.empty() && run.queued_before.count(picture.path) != 0)
        return false;
    append_picture(*run.entry, picture.path);
    return true;
}

// Deletes the previews of the preview folder cache that no picture uses
// (pictures that are gone or changed, incomplete or empty previews) with their
// transcodes, and every transcode whose preview is not kept.
void delete_unused_previews(const String& cache, const std::vector<String>& previews,
                            const std::unordered_map<String, std::size_t>& preview_index, const std::vector<bool>& used)
{
    for (std::size_t i = 0; i < previews.size(); ++i) {
        if (used[i])
            continue;
        if (!is_transcode_name(previews[i])) {
            delete_preview(cache + previews[i]);
            continue;
        }
        const String preview(preview_name_of_transcode(previews[i]));
        const auto owner = preview_index.find(preview);
        if (owner == preview_index.end() || !used[owner->second])
            delete_transcode(cache + preview);
    }
}

// A thread that runs a body given by its owner, at below-normal priority.
class PreviewWorker : public Thread {
public:
    explicit PreviewWorker(std::function<void()> body) : m_body(std::move(body)) {}
    ~PreviewWorker() override { join(); }

protected:
    void run() override
    {
        set_priority(-1);
        m_body();
    }

private:
    std::function<void()> m_body;
};

int worker_count(int asked)
{
    if (asked > 0)
        return asked;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace

// ---- construction ----

PhotoLibrary::PhotoLibrary(StringView folders_file, bool start_worker, int preview_workers)
    : PhotoLibrary(AlbumListFiles{String(folders_file), String()}, start_worker, preview_workers)
{
}

PhotoLibrary::PhotoLibrary(const AlbumListFiles& files, bool start_worker, int preview_workers)
    : m_folders_file(files.file), m_preview_workers(worker_count(preview_workers))
{
    m_idle_event.set();
    log() << "ini load start\n";
    {
        File list;
        m_had_album_list = list.open(files.file, File::read_mode) ||
                           (!files.fallback.empty() && list.open(files.fallback, File::read_mode));
    }
    load_folders(files);
    log() << "ini load end\n";
    notify_folders_changed();
    if (start_worker)
        start();
}

PhotoLibrary::~PhotoLibrary()
{
    request_stop();
    m_work_event.set();
    join();
}

// ---- albums ----

int PhotoLibrary::get_folders_size()
{
    LoggedLock lock(m_folders_mutex, "get_folders_size", "m_folders_mutex");
    return static_cast<int>(m_folders.size());
}

Folder PhotoLibrary::get_folder(int i)
{
    LoggedLock lock(m_folders_mutex, "get_folder", "m_folders_mutex");
    log() << "PhotoLibrary::get_folder size=" << static_cast<int>(m_folders.size()) << " i=" << i << "\n";
    if (i < 0 || static_cast<std::size_t>(i) >= m_folders.size())
        return Folder();
    return m_folders[static_cast<std::size_t>(i)];
}

int PhotoLibrary::search_folder_num(StringView path)
{
    LoggedLock lock(m_folders_mutex, "search_folder_num", "m_folders_mutex");
    for (std::size_t i = 0; i < m_folders.size(); ++i) {
        if (m_folders[i].key_picture_path == path)
            return static_cast<int>(i);
    }
    return -1;
}

template <typename Change>
void PhotoLibrary::change_folder(const char* operation, StringView picture, Change change)
{
    {
        LoggedLock lock(m_folders_mutex, operation, "m_folders_mutex");
        const String folder_path = directory_of(picture);
        auto folder = std::find_if(m_folders.begin(), m_folders.end(),
                                   [&](const Folder& f) { return f.folder_path == folder_path; });
        if (folder != m_folders.end())
            change(*folder);
    }
    save_folders(m_folders_file);
    notify_folders_changed();
}

void PhotoLibrary::set_folder_size(StringView picture, int size)
{
    change_folder("set_folder_size", picture, [size](Folder& folder) { folder.size = size; });
}

void PhotoLibrary::set_key_picture(StringView picture, StringView key_picture)
{
    change_folder("set_key_picture", picture,
                  [key_picture](Folder& folder) { folder.key_picture_path = String(key_picture); });
}

String PhotoLibrary::album_name(StringView folder_path)
{
    StringView path = folder_path;
    if (!path.empty() && is_separator(path.back()))
        path.remove_suffix(1);
    const std::size_t last = path.find_last_of(u"\\/");
    const StringView name = last == StringView::npos ? path : path.substr(last + 1);
    if (name == u"%my_documents%")
        return String(pictures_folder_name);
    return String(name);
}

bool PhotoLibrary::is_bad_preview(StringView preview_file)
{
    File file;
    return file.open(preview_file, File::read_mode) && file.size() == 0;
}

void PhotoLibrary::load_folders(const AlbumListFiles& files)
{
    std::vector<Folder> folders = read_folders_file(files);
    LoggedLock lock(m_folders_mutex, "load_folders", "m_folders_mutex");
    m_folders = std::move(folders);
}

void PhotoLibrary::save_folders(StringView path)
{
    // The write happens under the lock so that two saves never share the
    // temporary file.
    LoggedLock lock(m_folders_mutex, "save_folders", "m_folders_mutex");
    write_folders_file(path, m_folders);
}

// ---- events ----

void PhotoLibrary::add_observer(LibraryObserver* observer)
{
    m_observers.push_back(observer);
}

void PhotoLibrary::remove_observer(LibraryObserver* observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void PhotoLibrary::notify(const LibraryEvent& event)
{
    // An observer may remove itself or another one while handling the event:
    // walk a copy and skip those that have gone meanwhile.
    const std::vector<LibraryObserver*> observers = m_observers;
    for (LibraryObserver* observer : observers) {
        if (std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end())
            observer->on_library_event(event);
    }
}

void PhotoLibrary::notify_folders_changed()
{
    LibraryEvent event;
    event.folders_changed = true;
    notify(event);
}

void PhotoLibrary::dispatch_events()
{
    // The status lock is released before the observers run: they call back
    // into the library, which takes locks that come before it in the order.
    for (const LibraryEvent& event : m_status.take_events())
        notify(event);
}

void PhotoLibrary::read_progress(std::int32_t& value, std::int32_t& maximum)
{
    m_status.read_progress(value, maximum);
}

void PhotoLibrary::read_unwritten(std::int32_t& count, String& folder)
{
    m_status.read_unwritten(count, folder);
}

// ---- requests from the user-interface thread ----

void PhotoLibrary::need_search()
{
    LoggedLock lock(m_need_search_mutex, "need_search", "m_need_search_mutex");
    if (m_need_search)
        return;
    m_need_search = true;
    {
        // Reset under the queue lock, after the flag is set: a preview worker
        // that finds the queue empty cannot signal idle over this request.
        LoggedLock map(m_map_mutex, "need_search", "m_map_mutex");
        m_idle_event.reset();
    }
    m_work_event.set();
}

void PhotoLibrary::set_current_folder(StringView folder_path)
{
    LoggedLock lock(m_current_folder_mutex, "set_current_folder", "m_current_folder_mutex");
    m_current_folder = String(folder_path);
}

void PhotoLibrary::add_picture(StringView picture, StringView root)
{
    {
        LoggedLock map(m_map_mutex, "add_picture", "m_map_mutex");
        const String folder_path = directory_of(picture);
        auto entry = m_map.find(folder_path);
        if (entry != m_map.end() && find_queued(entry->second.pictures, picture) != entry->second.pictures.end())
            return;
        enqueue(m_map, picture, root);
        m_status.add_to_maximum("add_picture", 1);
        {
            LoggedLock current(m_current_folder_mutex, "add_picture", "m_current_folder_mutex");
            m_current_folder = folder_path;
        }
        m_idle_event.reset();
        m_queue_changed.notify_all();
    }
}

void PhotoLibrary::prioritise_picture(StringView picture)
{
    bool pending = false;
    bool report_complete = false;
    {
        LoggedLock map(m_map_mutex, "prioritise_picture", "m_map_mutex");
        String current_folder;
        {
            LoggedLock current(m_current_folder_mutex, "prioritise_picture", "m_current_folder_mutex");
            current_folder = m_current_folder;
        }
        auto entry = m_map.find(current_folder);
        if (entry == m_map.end())
            return;
        // The current folder may have moved on (list rows of other albums queue
        // their pictures); a picture still waiting in its own folder's entry is
        // not complete, so it is brought forward there.
        auto queued = find_queued(entry->second.pictures, picture);
        if (queued == entry->second.pictures.end()) {
            auto own = m_map.find(directory_of(picture));
            if (own != m_map.end() && own != entry) {
                entry = own;
                queued = find_queued(entry->second.pictures, picture);
            }
        }
        std::vector<QueuedPicture>& pictures = entry->second.pictures;
        if (queued == pictures.end()) {
            report_complete = true;
        } else {
            const std::int32_t centre = queued->sequence;
            std::stable_sort(pictures.begin(), pictures.end(),
                             [centre](const QueuedPicture& a, const QueuedPicture& b) {
                                 return std::abs(static_cast<long long>(a.sequence) - centre) <
                                        std::abs(static_cast<long long>(b.sequence) - centre);
                             });
            pending = true;
        }
    }
    if (pending)
        set_current_folder(directory_of(picture));
    if (report_complete) {
        LibraryEvent event;
        event.picture_complete = true;
        event.picture_path = String(picture);
        notify(event);
    }
}

std::vector<String> PhotoLibrary::queued_pictures(StringView folder_path)
{
    std::vector<String> pictures;
    LoggedLock map(m_map_mutex, "queued_pictures", "m_map_mutex");
    auto entry = m_map.find(String(folder_path));
    if (entry != m_map.end()) {
        for (const QueuedPicture& queued : entry->second.pictures)
            pictures.push_back(queued.path);
    }
    return pictures;
}

bool PhotoLibrary::wait_until_idle(unsigned milliseconds)
{
    return m_idle_event.wait_for(milliseconds);
}

// ---- the worker ----

void PhotoLibrary::run()
{
    set_priority(-1);
    std::vector<std::unique_ptr<PreviewWorker>> workers;
    for (int i = 0; i < m_preview_workers; ++i) {
        auto worker = std::make_unique<PreviewWorker>([this] { build_previews(); });
        if (worker->start())
            workers.push_back(std::move(worker));
    }
    m_work_event.wait();
    while (!stop_requested()) {
        {
            LoggedLock lock(m_need_search_mutex, "run", "m_need_search_mutex");
            if (m_need_search) {
                {
                    // The preview workers see the flag, end their builds
                    // (those pictures stay queued) and take no new picture.
                    LoggedLock map(m_map_mutex, "run", "m_map_mutex");
                    wait_for_builds_to_stop();
                }
                search();
                // A search cut short by closing the program found only part of
                // the albums; the saved list stays as it was.
                if (stop_requested())
                    break;
                save_folders(m_folders_file);
                m_status.search_done("run");
                m_need_search = false;
                LoggedLock map(m_map_mutex, "run", "m_map_mutex");
                signal_idle_when_done();
                m_queue_changed.notify_all();
            }
            // Under the search lock: a request after this point sets the event again.
            m_work_event.reset();
        }
        // A stop asked for before the reset set the event in vain: look at the flag again.
        if (!stop_requested())
            m_work_event.wait();
    }
    {
        LoggedLock map(m_map_mutex, "run", "m_map_mutex");
        m_queue_changed.notify_all();
    }
    workers.clear();
}

void PhotoLibrary::wait_for_builds_to_stop()
{
    m_queue_changed.notify_all();
    m_queue_changed.wait(m_map_mutex, [this]() REQUIRES(m_map_mutex) { return m_building.empty(); });
}

void PhotoLibrary::signal_idle_when_done()
{
    if (m_map.empty() && m_building.empty() && !m_need_search)
        m_idle_event.set();
}

void PhotoLibrary::search()
{
    std::vector<String> drives;
    find_drives(drives);
    {
        // The pictures still queued from before stay counted: each of them
        // ends in exactly one completion, which the new progress must count.
        LoggedLock map(m_map_mutex, "search", "m_map_mutex");
        std::int32_t queued = 0;
        for (const auto& [folder, entry] : m_map)
            queued += static_cast<std::int32_t>(entry.pictures.size());
        LoggedLock lock(m_folders_mutex, "search", "m_folders_mutex");
        m_folders.clear();
        m_status.reset_progress("search", queued);
    }
    for (const String& drive : drives) {
        if (stop_requested())
            return;
        check_drive(drive + u"/");
    }
    if (!stop_requested())
        check_drive(my_documents_root);
}

void PhotoLibrary::check_drive(StringView root)
{
    // Without previews in the preview folder the search needs no preview
    // names, so the walk need not read the pictures' identities.
    const std::vector<String> previews = list_preview_files(root);
    const bool needs_names = !previews.empty();
    std::vector<PictureFile> pictures = find_pictures(
        root, [this] { return stop_requested(); }, needs_names);
    std::unordered_map<String, std::size_t> preview_index;
    for (std::size_t i = 0; i < previews.size(); ++i)
        preview_index.emplace(previews[i], i);
    const String cache = preview_folder(root);

    // Preview names come from the sizes and times the walk read, and only a
    // preview the folder listing holds is opened for its magic. All of it is
    // done before m_map_mutex, so that the queue stays usable during a long scan.
    std::vector<FoundPicture> found;
    found.reserve(pictures.size());
    for (PictureFile& picture : pictures) {
        std::size_t ready_preview = FoundPicture::not_ready;
        if (needs_names) {
            const String name = preview_name(picture.identity);
            const auto existing = preview_index.find(name);
            if (existing != preview_index.end() && is_preview_file_ready(cache + name))
                ready_preview = existing->second;
        }
        found.push_back({std::move(picture.path), picture.folder_length, ready_preview});
    }

    // The queue stays locked while the drive's findings are sorted into it.
    // The albums and the status are locked for one picture at a time, so that
    // the user-interface thread can read the albums between pictures.
    std::vector<bool> used(previews.size(), false);
    {
        LoggedLock map(m_map_mutex, "check_drive", "m_map_mutex");
        AlbumIndex albums;
        QueueRun run;
        for (const FoundPicture& item : found) {
            {
                LoggedLock folders(m_folders_mutex, "check_drive", "m_folders_mutex");
                count_in_album(m_folders, albums, root, item);
            }
            if (item.ready_preview != FoundPicture::not_ready)
                used[item.ready_preview] = true;
            else if (queue_found_picture(m_map, run, root, item))
                m_status.add_to_maximum("check_drive", 1);
            if (m_probes.picture_searched)
                m_probes.picture_searched(item.path);
        }
        LoggedLock folders(m_folders_mutex, "check_drive", "m_folders_mutex");
        std::erase_if(m_folders, [](const Folder& folder) { return folder.size == 0; });
    }

    // Deleted once the queue is released again.
    delete_unused_previews(cache, previews, preview_index, used);
}

void PhotoLibrary::build_previews()
{
    while (create_cache()) {
    }
}

bool PhotoLibrary::take_free_picture(const PendingFolder& entry, PreviewJob& job)
{
    for (const QueuedPicture& queued : entry.pictures) {
        PreviewJob candidate{queued.path, entry.drive_path, String(), queued.path};
        FileIdentity identity;
        if (file_identity(queued.path, identity)) {
            candidate.name = preview_name(identity);
            candidate.file = preview_file_key(identity, entry.drive_path);
        }
        if (std::find(m_building.begin(), m_building.end(), candidate.file) == m_building.end()) {
            job = std::move(candidate);
            return true;
        }
    }
    return false;
}

bool PhotoLibrary::choose_picture(PreviewJob& job)
{
    // The current folder's entry first, then the others in map order.
    const PendingFolder* current = nullptr;
    {
        LoggedLock lock(m_current_folder_mutex, "create_cache", "m_current_folder_mutex");
        const auto entry = m_current_folder.empty() ? m_map.end() : m_map.find(m_current_folder);
        if (entry != m_map.end() && !entry->second.pictures.empty())
            current = &entry->second;
    }
    if (current && take_free_picture(*current, job))
        return true;
    for (auto entry = m_map.begin(); entry != m_map.end();) {
        if (entry->second.pictures.empty()) {
            entry = m_map.erase(entry);
            continue;
        }
        if (&entry->second != current && take_free_picture(entry->second, job))
            return true;
        ++entry;
    }
    return false;
}

PreviewBuild PhotoLibrary::build_job(const PreviewJob& job)
{
    // A picture queued twice (by a search and by a list row), or a link whose
    // target was built, is built once; a picture missing when it was taken is
    // not built at all.
    if (job.name.empty())
        return PreviewBuild::incomplete;
    if (is_preview_ready(job.picture, job.root))
        return PreviewBuild::ready;
    const auto must_stop = [this, &job] {
        if (m_probes.build_step)
            m_probes.build_step(job.picture);
        return build_must_stop();
    };
    String preview;
    const PreviewBuild result = build_in_preview_folder(job.picture, job.root, job.name, must_stop, preview);
    if (m_probes.build_ends)
        m_probes.build_ends(job.picture);
    // The file named as the build began: the picture may have been replaced since.
    if (result == PreviewBuild::bad_picture)
        mark_preview_bad(preview);
    return result;
}

bool PhotoLibrary::create_cache()
{
    PreviewJob job;
    {
        LoggedLock map(m_map_mutex, "create_cache", "m_map_mutex");
        m_queue_changed.wait(m_map_mutex, [&]() REQUIRES(m_map_mutex) {
            return stop_requested() || (!m_need_search && choose_picture(job));
        });
        if (stop_requested())
            return false;
        m_building.push_back(job.file);
    }

    const std::uint32_t begin = get_tick_count();
    log() << "Time for create cache begin " << seconds_text(0) << "\n";
    const PreviewBuild result = build_job(job);
    log() << "Time for create cache end " << seconds_text(get_tick_count() - begin) << "\n";
    const String& picture = job.picture;
    const String unwritten_in = result == PreviewBuild::unwritten ? preview_folder(job.root) : String();

    LoggedLock map(m_map_mutex, "create_cache", "m_map_mutex");
    m_building.erase(std::find(m_building.begin(), m_building.end(), job.file));
    // A build cut short because the program closes or a search begins is not
    // a bad picture: it stays queued, and its incomplete file is rebuilt later.
    if (!(result == PreviewBuild::incomplete && build_must_stop())) {
        remove_from_queue(picture);
        // Counted before idle can be signalled, so that idle means every count
        // is in. A preview that could not be written leaves its picture
        // pending: it is counted as dealt with, but not reported complete, so
        // that no screen reloads it and queues it again at once.
        if (result == PreviewBuild::unwritten) {
            log() << "preview not written for " << picture << " in " << unwritten_in << "\n";
            m_status.picture_unwritten("create_cache", unwritten_in);
        } else {
            m_status.picture_done("create_cache", picture);
        }
    }
    signal_idle_when_done();
    m_queue_changed.notify_all();
    return true;
}

void PhotoLibrary::remove_from_queue(StringView picture)
{
    auto entry = m_map.find(directory_of(picture));
    if (entry == m_map.end())
        return;
    std::vector<QueuedPicture>& pictures = entry->second.pictures;
    auto queued = find_queued(pictures, picture);
    if (queued != pictures.end())
        pictures.erase(queued);
    if (pictures.empty())
        m_map.erase(entry);
}
