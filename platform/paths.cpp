// Path macros, path helpers, directory creation and opening a file with the desktop.

#include "platform/paths.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/log.h"

namespace {

bool is_separator(char16_t c)
{
    return c == u'/' || c == u'\\';
}

std::optional<std::size_t> last_separator(StringView path)
{
    for (std::size_t i = path.size(); i > 0; --i)
        if (is_separator(path[i - 1]))
            return i - 1;
    return std::nullopt;
}

// The program's full name, folder and file name, computed once.
struct ProgramNames {
    String full_name;
    String folder;
    String file_name;
};

// The resolved /proc/self/exe; false when it cannot be read or does not fit.
bool read_app_path(String& path)
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof buffer)
        return false;
    path = from_utf8(std::string_view(buffer, static_cast<std::size_t>(length)));
    return true;
}

bool is_directory(const String& path)
{
    struct stat status {};
    return stat(to_utf8(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The folder that holds the program's data: the executable's own folder in
// the portable layout (skins/bin/ beside the executable), else PREFIX/share/pictavio
// for an executable installed as PREFIX/bin/pictavio.
String data_folder_of(const String& executable_folder)
{
    if (is_directory(executable_folder + u"/skins/bin"))
        return executable_folder;
    const String installed = folder_of(executable_folder) + u"share/pictavio";
    return is_directory(installed) ? installed : executable_folder;
}

const ProgramNames& program_names()
{
    static const ProgramNames names = [] {
        ProgramNames result;
        read_app_path(result.full_name);
        const auto separator = last_separator(result.full_name);
        if (separator) {
            result.folder = data_folder_of(result.full_name.substr(0, *separator));
            result.file_name = result.full_name.substr(*separator + 1);
        } else {
            result.file_name = result.full_name;
        }
        return result;
    }();
    // Reported once, after the names are settled: the report itself expands
    // "%app_name%" for the log file's name and must find them (empty) then.
    static std::atomic<bool> reported{false};
    if (names.full_name.empty() && !reported.exchange(true))
        fatal_error("path is more then MAX_PATH long", "get_app_path()");
    return names;
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string home_folder()
{
    std::string home = environment("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(getuid()))
            home = entry->pw_dir ? entry->pw_dir : "";
    }
    return home;
}

std::string config_folder()
{
    const std::string config = environment("XDG_CONFIG_HOME");
    return !config.empty() ? config : home_folder() + "/.config";
}

// An XDG base folder: the variable when it holds an absolute path (relative
// ones are ignored, as the base-directory rules say), else HOME + fallback.
String xdg_folder(const char* variable, const char* fallback)
{
    const std::string chosen = environment(variable);
    return from_utf8(!chosen.empty() && chosen[0] == '/' ? chosen : home_folder() + fallback);
}

// XDG_PICTURES_DIR from user-dirs.dirs ("$HOME/..." or an absolute path).
std::string pictures_from_user_dirs()
{
    File file;
    if (!file.open_expanded(from_utf8(config_folder() + "/user-dirs.dirs"), File::read_mode))
        return {};
    std::string content(static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), 64 * 1024)), '\0');
    content.resize(file.read(content.data(), static_cast<std::uint32_t>(content.size())));
    const std::string key = "XDG_PICTURES_DIR=\"";
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        const std::string line = content.substr(start, end - start);
        start = end + 1;
        if (line.rfind(key, 0) != 0)
            continue;
        const std::size_t close = line.find('"', key.size());
        if (close == std::string::npos)
            return {};
        std::string value = line.substr(key.size(), close - key.size());
        if (value.rfind("$HOME", 0) == 0)
            value = home_folder() + value.substr(5);
        return !value.empty() && value[0] == '/' ? value : std::string();
    }
    return {};
}

std::string my_documents_folder()
{
    const std::string chosen = environment("PICTAVIO_MY_DOCUMENTS");
    if (!chosen.empty())
        return chosen;
    const std::string pictures = pictures_from_user_dirs();
    return !pictures.empty() ? pictures : home_folder() + "/Pictures";
}

struct Macro {
    StringView name;
    String (*expansion)();
};

const Macro macros[] = {
    {u"%app_full_name%", [] { return program_names().full_name; }},
    {u"%app_path%", [] { return program_names().folder; }},
    {u"%app_name%", [] { return program_names().file_name; }},
    {u"%my_documents%", [] { return from_utf8(my_documents_folder()); }},
    {u"%windows%", [] { return String(); }},
    {u"%startup%", [] { return from_utf8(home_folder() + "/.config/autostart"); }},
    {u"%programs%", [] { return from_utf8(home_folder() + "/.local/share/applications"); }},
    {u"%start_menu%", [] { return from_utf8(home_folder() + "/.local/share/applications"); }},
    {u"%program_files%", [] { return parent_folder(program_names().folder); }},
};

void create_directories_expanded(StringView path)
{
    if (path.empty())
        return;
    create_directories_expanded(parent_folder(path));
    const String directory = strip_trailing_separator(path);
    const bool created = mkdir(to_utf8(directory).c_str(), 0777) == 0;
    log() << "CreateDirectoryW {" << directory << "} result=" << created << "\n";
}

// Runs xdg-open on path in a grandchild, so that no zombie is left behind;
// a close-on-exec pipe tells whether the exec itself succeeded.
bool spawn_open(const std::string& path)
{
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;
    const char* const arguments[] = {"xdg-open", path.c_str(), nullptr};
    const pid_t child = fork();
    if (child == 0) {
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            execvp(arguments[0], const_cast<char* const*>(arguments));
            const int error = errno;
            (void)!::write(report[1], &error, sizeof error);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(report[1]);
    bool started = false;
    if (child > 0) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        int error = 0;
        ssize_t got;
        do {
            got = read(report[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        started = WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
    }
    close(report[0]);
    return started;
}

}  // namespace

String get_app_path()
{
    String path;
    if (!read_app_path(path))
        fatal_error("path is more then MAX_PATH long", "get_app_path()");
    return path;
}

String expand_path(StringView text)
{
    String result;
    std::size_t i = 0;
    for (const Macro& macro : macros) {
        if (text.substr(0, macro.name.size()) == macro.name) {
            result = macro.expansion();
            i = macro.name.size();
            break;
        }
    }
    for (; i < text.size(); ++i)
        result += is_separator(text[i]) ? u'/' : text[i];
    return result;
}

String user_data_folder()
{
    return xdg_folder("XDG_DATA_HOME", "/.local/share");
}

String user_cache_folder()
{
    return xdg_folder("XDG_CACHE_HOME", "/.cache");
}

bool can_create_files_in(StringView folder)
{
    // A probe file rather than the permission bits: a read-only mount, a
    // network share or an access-control list can refuse what the bits allow.
    // Named after the process and a count, so that threads probing one folder
    // at the same time never take each other's probe for a refusal.
    static std::atomic<unsigned> probes{0};
    const std::string probe = to_utf8(join_path(expand_path(folder), u".pictavio-probe-")) + std::to_string(getpid()) +
                              "-" + std::to_string(probes++);
    const int descriptor = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    close(descriptor);
    unlink(probe.c_str());
    return true;
}

String temp_folder()
{
    const std::string chosen = environment("TMPDIR");
    return from_utf8(!chosen.empty() ? chosen : "/tmp");
}

String folder_of(StringView path)
{
    const auto separator = last_separator(path);
    return separator ? String(path.substr(0, *separator + 1)) : String();
}

String file_name_of(StringView path)
{
    const auto separator = last_separator(path);
    return String(separator ? path.substr(*separator + 1) : path);
}

String strip_trailing_separator(StringView path)
{
    if (!path.empty() && is_separator(path.back()))
        path.remove_suffix(1);
    return String(path);
}

std::optional<std::size_t> extension_position(StringView path)
{
    const std::size_t dot = path.rfind(u'.');
    if (dot == StringView::npos)
        return std::nullopt;
    const auto separator = last_separator(path);
    if (separator && *separator > dot)
        return std::nullopt;
    return dot;
}

String without_extension(StringView path)
{
    const auto dot = extension_position(path);
    return String(dot ? path.substr(0, *dot) : path);
}

String base_name(StringView path)
{
    return without_extension(file_name_of(path));
}

String join_path(StringView folder, StringView name)
{
    if (folder.empty())
        return String(name);
    return strip_trailing_separator(folder) + u'/' + String(name);
}

String parent_folder(StringView path)
{
    return folder_of(strip_trailing_separator(path));
}

bool same_path(StringView a, StringView b)
{
    return lower_case_copy(strip_trailing_separator(expand_path(a))) ==
           lower_case_copy(strip_trailing_separator(expand_path(b)));
}

bool starts_with_path(StringView path, StringView prefix)
{
    // Compared on whole path components: "/media/card1" is no prefix of "/media/card10".
    const String full = lower_case_copy(expand_path(path));
    const String start = lower_case_copy(strip_trailing_separator(expand_path(prefix)));
    if (full.compare(0, start.size(), start) != 0)
        return false;
    return full.size() == start.size() || full[start.size()] == u'/';
}

void create_directory_path(StringView path)
{
    create_directories_expanded(expand_path(path));
}

bool execute_file(StringView path, StringView parameters)
{
    const String expanded = expand_path(path);
    log() << "execute_file(" << expanded << "} {" << parameters << ")\n";
    return spawn_open(to_utf8(expanded));
}
