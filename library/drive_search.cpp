#include "library/drive_search.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>
#include "platform/directory_walker.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/log.h"

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
            points.push_back(unescape_mount_point(line.substr(first + 1, second == std::string_view::npos
                                                                             ? std::string_view::npos
                                                                             : second - first - 1)));
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

// Keeps the ".jpg" and the ".jpeg" files apart, each in walk order, with the
// identities the walk read for them.
class PictureCollector : public DirectoryCollector {
public:
    explicit PictureCollector(WalkStopCheck stop) : m_stop(std::move(stop)) {}

    bool wants_identity(StringView name) const override { return picture_kind(name) != PictureKind::none; }
    bool on_identified_file(const String& path, const FileIdentity& identity) override
    {
        const StringView name = StringView(path).substr(path.find_last_of(u'/') + 1);
        (picture_kind(name) == PictureKind::jpg ? m_jpg : m_jpeg).push_back({path, identity});
        return !stopped();
    }
    bool on_file(const String&) override { return !stopped(); }
    bool on_directory(const String&) override { return !stopped(); }

    // The ".jpg" files, then the ".jpeg" files.
    std::vector<PictureFile> pictures()
    {
        std::vector<PictureFile> all = std::move(m_jpg);
        all.insert(all.end(), std::make_move_iterator(m_jpeg.begin()), std::make_move_iterator(m_jpeg.end()));
        return all;
    }

private:
    bool stopped() const { return m_stop && m_stop(); }

    std::vector<PictureFile> m_jpg;
    std::vector<PictureFile> m_jpeg;
    const WalkStopCheck m_stop;
};

} // namespace

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

std::vector<PictureFile> find_pictures(StringView root, const WalkStopCheck& stop)
{
    // One walk sorts the files into the two lists that a "*.jpg" walk and a
    // "*.jpeg" walk would give: both visit the directories in the same order.
    PictureCollector collector(stop);
    walk_directory(root, u"*", u"*", true, collector);
    return collector.pictures();
}

std::vector<String> list_preview_files(StringView root)
{
    std::vector<String> paths;
    PathCollector collector(paths);
    walk_directory(String(root) + String(cache_folder_name), u"*", u"*", false, collector);
    for (String& path : paths)
        path = file_name_of(path);
    return paths;
}
