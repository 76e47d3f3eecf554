// The registry as one UTF-8 text file:
//
//   Kelm registry 1
//   [HKEY_CURRENT_USER\Software\Kelm]
//   "Log"=dword:00000001
//   [HKEY_CURRENT_USER\Software\Kelm\Pictavio]
//   "Language"="english"
//
// Value names and texts are quoted with \\, \", \n, \r, \t and \xHH escapes;
// key paths stand as they are between the brackets (they may not hold control
// characters). Key paths and value names compare without regard to letter
// case, as on the original system. A file that does not parse in full, or is
// larger than the size limit, is damaged and reads as an empty registry; the
// next write replaces it whole.
//
// Writers hold an flock on "<file>.lock" (against other processes) and the
// in-process mutex, re-read the file, change it, write "<file>.tmp", flush it
// and rename it over the file, so a reader sees either the old or the new
// file and never a half-written one. Readers take the parsed file from a cache
// that is kept while the file's identity (inode, size, modification time) is
// unchanged: one stat per read.
//
// Nothing here logs: the log reads its switch from the registry.

#include "platform/registry.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t max_file_size = 1024 * 1024;
constexpr std::string_view header = "Kelm registry 1";

struct RegistryValue {
    String name;
    bool is_dword = false;
    std::uint32_t dword = 0;
    String text;
};

struct RegistryKey {
    String path;
    std::vector<RegistryValue> values;
};

using RegistryData = std::vector<RegistryKey>;

// What identifies one version of the file; all zero when it is missing.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

FileIdentity identity_of(const struct stat& info)
{
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

}  // namespace

std::string registry_file_path()
{
    if (const char* chosen = std::getenv("PICTAVIO_REGISTRY"); chosen && *chosen)
        return chosen;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/Kelm/registry";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/Kelm/registry";
}

namespace {

// ---- key paths

// Root names recognised as prefixes, in this order.
constexpr StringView roots[] = {u"HKEY_CLASSES_ROOT", u"HKEY_LOCAL_MACHINE", u"HKEY_USERS", u"HKEY_CURRENT_USER"};

// root + "\" + sub-key (the sub-key follows the root and one more character);
// empty for an unrecognised root.
String normalised_key_path(StringView key_path)
{
    for (const StringView root : roots) {
        if (key_path.substr(0, root.size()) == root) {
            const StringView sub_key = key_path.size() > root.size() ? key_path.substr(root.size() + 1) : StringView();
            return String(root) + u'\\' + String(sub_key);
        }
    }
    return {};
}

bool has_control_character(StringView text)
{
    for (const char16_t c : text)
        if (c < 0x20)
            return true;
    return false;
}

bool same_name(StringView a, StringView b)
{
    return a.size() == b.size() && lower_case_copy(a) == lower_case_copy(b);
}

RegistryKey* find_key(RegistryData& data, StringView path)
{
    for (RegistryKey& key : data)
        if (same_name(key.path, path))
            return &key;
    return nullptr;
}

RegistryKey& find_or_add_key(RegistryData& data, StringView path)
{
    if (RegistryKey* key = find_key(data, path))
        return *key;
    data.push_back({String(path), {}});
    return data.back();
}

const RegistryValue* find_value(const RegistryKey& key, StringView name)
{
    for (const RegistryValue& value : key.values)
        if (same_name(value.name, name))
            return &value;
    return nullptr;
}

void set_value(RegistryKey& key, RegistryValue value)
{
    for (RegistryValue& existing : key.values) {
        if (same_name(existing.name, value.name)) {
            existing = std::move(value);
            return;
        }
    }
    key.values.push_back(std::move(value));
}

// ---- text form

std::string quoted(StringView text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char c : to_utf8(text)) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\x";
                out += digits[(c >> 4) & 0xF];
                out += digits[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    return out + '"';
}

std::string serialise(const RegistryData& data)
{
    std::string out = std::string(header) + "\n";
    for (const RegistryKey& key : data) {
        out += '[';
        out += to_utf8(key.path);
        out += "]\n";
        for (const RegistryValue& value : key.values) {
            out += quoted(value.name);
            out += '=';
            if (value.is_dword) {
                char number[16];
                std::snprintf(number, sizeof number, "dword:%08x", static_cast<unsigned>(value.dword));
                out += number;
            } else {
                out += quoted(value.text);
            }
            out += "\n";
        }
    }
    return out;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted text at line[i]; advances i past the closing quote.
bool parse_quoted(std::string_view line, std::size_t& i, String& text)
{
    if (i >= line.size() || line[i] != '"')
        return false;
    std::string raw;
    for (++i; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            ++i;
            text = from_utf8(raw);
            return true;
        }
        if (c == '\\') {
            if (++i >= line.size())
                return false;
            switch (line[i]) {
            case '\\':
                c = '\\';
                break;
            case '"':
                c = '"';
                break;
            case 'n':
                c = '\n';
                break;
            case 'r':
                c = '\r';
                break;
            case 't':
                c = '\t';
                break;
            case 'x': {
                if (i + 2 >= line.size() || hex_digit(line[i + 1]) < 0 || hex_digit(line[i + 2]) < 0)
                    return false;
                c = static_cast<char>(hex_digit(line[i + 1]) * 16 + hex_digit(line[i + 2]));
                i += 2;
                break;
            }
            default:
                return false;
            }
        }
        raw += c;
    }
    return false;
}

bool parse_dword(std::string_view text, std::uint32_t& value)
{
    constexpr std::string_view prefix = "dword:";
    if (text.size() != prefix.size() + 8 || text.substr(0, prefix.size()) != prefix)
        return false;
    value = 0;
    for (const char c : text.substr(prefix.size())) {
        const int digit = hex_digit(c);
        if (digit < 0)
            return false;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
}

bool parse_value_line(std::string_view line, RegistryKey& key)
{
    RegistryValue value;
    std::size_t i = 0;
    if (!parse_quoted(line, i, value.name) || i >= line.size() || line[i] != '=')
        return false;
    ++i;
    if (i < line.size() && line[i] == '"') {
        if (!parse_quoted(line, i, value.text) || i != line.size())
            return false;
    } else if (parse_dword(line.substr(i), value.dword)) {
        value.is_dword = true;
    } else {
        return false;
    }
    set_value(key, std::move(value));
    return true;
}

// Parses the whole text; false when any line is not in the form above.
bool parse(std::string_view content, RegistryData& data)
{
    std::size_t start = 0;
    bool first = true;
    RegistryKey* key = nullptr;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string_view::npos)
            end = content.size();
        const std::string_view line = content.substr(start, end - start);
        start = end + 1;
        if (first) {
            if (line != header)
                return false;
            first = false;
        } else if (line.empty()) {
            continue;
        } else if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            const String path = from_utf8(line.substr(1, line.size() - 2));
            if (path.empty() || has_control_character(path))
                return false;
            key = &find_or_add_key(data, path);
        } else if (!key || !parse_value_line(line, *key)) {
            return false;
        }
    }
    return true;
}

// ---- the file

// Reads and parses the file behind an open descriptor; a damaged file gives
// empty data.
RegistryData read_data(int fd, const struct stat& info)
{
    RegistryData data;
    if (info.st_size <= 0 || static_cast<std::size_t>(info.st_size) > max_file_size)
        return data;
    std::string content(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t got = read(fd, content.data() + done, content.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    content.resize(done);
    if (!parse(content, data))
        data.clear();
    return data;
}

bool write_all(int fd, const std::string& content)
{
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t put = write(fd, content.data() + done, content.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Creates the registry's folder and its missing ancestors.
void make_folders_for(const std::string& file)
{
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1))
        mkdir(file.substr(0, slash).c_str(), 0700);
}

class Registry {
public:
    // Runs reader on the current contents; when the key is missing it is
    // created first (the original registry opens keys with create semantics).
    template <typename Reader>
    bool read(StringView key_path, Reader reader)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        refresh();
        if (const RegistryKey* key = find_key(m_data, key_path))
            return reader(*key);
        if (m_creation_tried.insert(lower_case_copy(key_path)).second)
            change([&](RegistryData& data) { find_or_add_key(data, key_path); });
        return false;
    }

    // Applies changer to the freshest contents and replaces the file atomically.
    template <typename Changer>
    bool write(Changer changer)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_writes;
        refresh();
        return change(changer);
    }

    std::uint64_t write_count() const { return m_writes; }

private:
    // Brings the cache up to date with the file when its identity changed.
    void refresh()
    {
        const std::string path = registry_file_path();
        if (path != m_path) {
            m_path = path;
            m_creation_tried.clear();
            m_loaded = false;
        }
        struct stat info;
        const FileIdentity current = stat(m_path.c_str(), &info) == 0 ? identity_of(info) : FileIdentity();
        if (m_loaded && current == m_identity)
            return;
        load();
    }

    void load()
    {
        m_data.clear();
        m_identity = {};
        m_loaded = true;
        const int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat info;
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
            m_identity = identity_of(info);
            m_data = read_data(fd, info);
        }
        close(fd);
    }

    template <typename Changer>
    bool change(Changer changer)
    {
        make_folders_for(m_path);
        const int lock_fd = open((m_path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock_fd < 0)
            return false;
        int locked;
        do {
            locked = flock(lock_fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        // Another process may have written since the cache was filled.
        load();
        RegistryData data = m_data;
        changer(data);
        const bool written = locked == 0 && replace_file(serialise(data));
        load();
        close(lock_fd);  // releases the flock
        return written;
    }

    bool replace_file(const std::string& content)
    {
        if (content.size() > max_file_size)
            return false;
        const std::string temporary = m_path + ".tmp";
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        const bool complete = write_all(fd, content) && fsync(fd) == 0;
        close(fd);
        if (!complete || rename(temporary.c_str(), m_path.c_str()) != 0) {
            unlink(temporary.c_str());
            return false;
        }
        return true;
    }

    std::atomic<std::uint64_t> m_writes{0};
    std::mutex m_mutex;
    std::string m_path;
    bool m_loaded = false;
    FileIdentity m_identity;
    RegistryData m_data;
    std::set<String> m_creation_tried;
};

Registry& registry()
{
    static Registry* instance = new Registry;  // lives until the process ends; loggers may run late
    return *instance;
}

}  // namespace

std::uint64_t registry_write_count()
{
    return registry().write_count();
}

bool read_registry_dword(StringView key_path, StringView value_name, std::uint32_t& value)
{
    const String key = normalised_key_path(key_path);
    if (key.empty() || has_control_character(key))
        return false;
    return registry().read(key, [&](const RegistryKey& found) {
        const RegistryValue* stored = find_value(found, value_name);
        if (!stored || !stored->is_dword)
            return false;
        value = stored->dword;
        return true;
    });
}

bool read_registry_string(StringView key_path, StringView value_name, String& text)
{
    const String key = normalised_key_path(key_path);
    if (key.empty() || has_control_character(key))
        return false;
    return registry().read(key, [&](const RegistryKey& found) {
        const RegistryValue* stored = find_value(found, value_name);
        if (!stored || stored->is_dword)
            return false;
        text = stored->text;
        return true;
    });
}

bool write_registry_dword(StringView key_path, StringView value_name, std::uint32_t value)
{
    const String key = normalised_key_path(key_path);
    if (key.empty() || has_control_character(key))
        return false;
    return registry().write([&](RegistryData& data) {
        RegistryValue stored;
        stored.name = String(value_name);
        stored.is_dword = true;
        stored.dword = value;
        set_value(find_or_add_key(data, key), std::move(stored));
    });
}

bool write_registry_string(StringView key_path, StringView value_name, StringView text)
{
    const String key = normalised_key_path(key_path);
    if (key.empty() || has_control_character(key))
        return false;
    // The stored text ends at its first zero, as a zero-terminated value does.
    const StringView stored_text = text.substr(0, text.find(u'\0'));
    return registry().write([&](RegistryData& data) {
        RegistryValue stored;
        stored.name = String(value_name);
        stored.text = String(stored_text);
        set_value(find_or_add_key(data, key), std::move(stored));
    });
}
