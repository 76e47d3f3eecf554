#include "library/drive_search.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include "library/preview_file.h"
#include "platform/directory_walker.h"
#include "platform/file.h"
#include "platform/log.h"
#include "platform/paths.h"

namespace {

// The table of mounted file systems, read as a plain file.
constexpr StringView mount_table = u"/proc/self/mounts";
// A mount table larger than this is not read (it is untrusted input too).
constexpr std::uint32_t max_mount_table = 4u * 1024u * 1024u;

String environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? from_utf8(value) : String();
}

// Mount points escape space, tab, line feed and backslash as three octal digits.
String unescape_mount_point(std::string_view field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const auto digit = [&](std::size_t k) { return field[i + k] >= '0' && field[i + k] <= '7'; };
            if (digit(1) && digit(2) && digit(3)) {
                text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return from_utf8(text);
}

// The mount points of the system, in the order of the mount table.
std::vector<String> mount_points()
{
    std::vector<String> points;
    File file;
    if (!file.open_expanded(mount_table, File::read_mode))
        return points;
    // The kernel reports size 0 for this file: read it in pieces up to the limit.
    std::string table;
    char buffer[4096];
    std::uint32_t got = 0;
    while (table.size() < max_mount_table && (got = file.read(buffer, sizeof buffer)) > 0)
        table.append(buffer, got);
    std::size_t line_start = 0;
    while (line_start < table.size()) {
        std::size_t line_end = table.find('\n', line_start);
        if (line_end == std::string::npos)
            line_end = table.size();
        const std::string_view line(table.data() + line_start, line_end - line_start);
        const std::size_t first = line.find(' ');
        if (first != std::string_view::npos) {
            const std::size_t second = line.find(' ', first + 1);
            points.push_back(unescape_mount_point(line.substr(
                first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1)));
        }
        line_start = line_end + 1;
    }
    return points;
}

// The folders listed in PICTAVIO_CARDS, without trailing separators.
std::vector<String> listed_cards(StringView list)
{
    std::vector<String> cards;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(u':', start);
        if (end == StringView::npos)
            end = list.size();
        const String card = strip_trailing_separator(list.substr(start, end - start));
        if (!card.empty())
            cards.push_back(card);
        start = end + 1;
    }
    return cards;
}

void add_unique(std::vector<String>& list, String item)
{
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(std::move(item));
}

// Collects the files of a walk.
class PathCollector : public DirectoryCollector {
public:
    explicit PathCollector(std::vector<String>& files) : m_files(files) {}

    bool on_file(const String& path) override
    {
        m_files.push_back(path);
        return true;
    }
    bool on_directory(const String&) override { return true; }

private:
    std::vector<String>& m_files;
};

enum class PictureKind { none, jpg, jpeg };

// Whether name ends with the lower-case suffix, letter case ignored: what the
// patterns "*.jpg" and "*.jpeg" match, without their general matching per name.
bool ends_with_ignoring_case(StringView name, StringView suffix)
{
    if (name.size() < suffix.size())
        return false;
    const StringView end = name.substr(name.size() - suffix.size());
    return std::equal(end.begin(), end.end(), suffix.begin(), [](char16_t a, char16_t b) { return to_lower(a) == b; });
}

PictureKind picture_kind(StringView name)
{
    if (ends_with_ignoring_case(name, u".jpg"))
        return PictureKind::jpg;
    return ends_with_ignoring_case(name, u".jpeg") ? PictureKind::jpeg : PictureKind::none;
}

// Has the walk read the identities of pictures only, or of nothing.
class PictureFilter : public DirectoryCollector {
public:
    explicit PictureFilter(bool identities) : m_identities(identities) {}
    bool wants_identity(StringView name) const override
    {
        return m_identities && picture_kind(name) != PictureKind::none;
    }
    bool on_file(const String&) override { return true; }
    bool on_directory(const String&) override { return true; }

private:
    bool m_identities;
};

// A folder of the walk with its pictures, by kind, and its sub-folders in walk order.
struct WalkedFolder {
    String path;
    std::vector<PictureFile> jpg;
    std::vector<PictureFile> jpeg;
    std::vector<std::unique_ptr<WalkedFolder>> children;
};

// Reads the folders of a tree on several threads at once: the walk is bound by
// the system calls that list folders and read identities, which run side by
// side. The tree keeps each folder's place, so the order of the findings is
// that of a depth-first walk on one thread, whichever thread read what.
class ParallelWalk {
public:
    ParallelWalk(const WalkStopCheck& stop, bool identities) : m_stop(stop), m_identities(identities) {}

    void run(WalkedFolder& root)
    {
        m_pending.push_back(&root);
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        std::vector<std::thread> helpers;
        for (unsigned i = 1; i < threads; ++i)
            helpers.emplace_back([this] { work(); });
        work();
        for (std::thread& helper : helpers)
            helper.join();
    }

private:
    void work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stopped || !m_pending.empty() || m_busy == 0; });
            if (m_stopped || m_pending.empty())
                return;
            WalkedFolder* folder = m_pending.back();
            m_pending.pop_back();
            ++m_busy;
            lock.unlock();
            const bool stopped = m_stop && m_stop();
            if (!stopped)
                read(*folder);
            lock.lock();
            --m_busy;
            m_stopped = m_stopped || stopped;
            // The first sub-folder is taken next, as a depth-first walk would.
            for (auto child = folder->children.rbegin(); child != folder->children.rend(); ++child)
                m_pending.push_back(child->get());
            m_changed.notify_all();
        }
    }

    void read(WalkedFolder& folder) const
    {
        const DirectoryListing listing = list_directory(folder.path, u"*", u"*", PictureFilter(m_identities));
        // Every path is this prefix and a name, as walk_directory makes them.
        const String prefix = folder.path.empty() ? String() : strip_trailing_separator(folder.path) + u'/';
        for (const ListedFile& file : listing.files) {
            const PictureKind kind = picture_kind(file.name);
            if (kind == PictureKind::none || (m_identities && !file.identified))
                continue;
            (kind == PictureKind::jpg ? folder.jpg : folder.jpeg)
                .push_back({prefix + file.name, file.identity, prefix.size()});
        }
        for (const String& name : listing.directories) {
            folder.children.push_back(std::make_unique<WalkedFolder>());
            folder.children.back()->path = prefix + name;
        }
    }

    const WalkStopCheck& m_stop;
    const bool m_identities;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<WalkedFolder*> m_pending;
    int m_busy = 0;
    bool m_stopped = false;
};

// Appends the pictures of one kind of the folder and its sub-folders in depth-first order.
void collect(WalkedFolder& folder, std::vector<PictureFile> WalkedFolder::*kind, std::vector<PictureFile>& out)
{
    std::vector<PictureFile>& own = folder.*kind;
    out.insert(out.end(), std::make_move_iterator(own.begin()), std::make_move_iterator(own.end()));
    for (const auto& child : folder.children)
        collect(*child, kind, out);
}

}  // namespace

std::vector<String> storage_card_folders()
{
    if (std::getenv("PICTAVIO_CARDS"))
        return listed_cards(environment("PICTAVIO_CARDS"));
    const String user = environment("USER");
    std::vector<String> bases;
    if (!user.empty()) {
        bases.push_back(u"/media/" + user);
        bases.push_back(u"/run/media/" + user);
    }
    bases.push_back(u"/media");
    bases.push_back(u"/mnt");
    const std::vector<String> points = mount_points();
    std::vector<String> cards;
    for (const String& base : bases) {
        for (const String& point : points) {
            if (strip_trailing_separator(folder_of(point)) == base)
                add_unique(cards, point);
        }
    }
    return cards;
}

void find_drives(std::vector<String>& drives)
{
    const String my_documents = expand_path(u"%my_documents%");
    log() << "find_drives: mydoc={" << my_documents << "}\n";
    for (const String& card : storage_card_folders()) {
        // My Documents is searched on its own; its card would be walked twice.
        // The comparison is by whole components: "/media/card" does not hold
        // "/media/card2/Pictures".
        if (starts_with_path(my_documents, card)) {
            log() << "skipping result={" << card << "}\n";
        } else {
            log() << "returning result={" << card << "}\n";
            drives.push_back(card);
        }
    }
}

std::vector<PictureFile> find_pictures(StringView root, const WalkStopCheck& stop, bool identities)
{
    // One walk sorts the files into the two lists that a "*.jpg" walk and a
    // "*.jpeg" walk would give: both visit the directories in the same order.
    WalkedFolder tree;
    tree.path = String(root);
    ParallelWalk(stop, identities).run(tree);
    std::vector<PictureFile> pictures;
    collect(tree, &WalkedFolder::jpg, pictures);
    collect(tree, &WalkedFolder::jpeg, pictures);
    return pictures;
}

std::vector<String> list_preview_files(StringView root)
{
    std::vector<String> paths;
    PathCollector collector(paths);
    walk_directory(preview_folder(root), u"*", u"*", false, collector);
    for (String& path : paths)
        path = file_name_of(path);
    return paths;
}
