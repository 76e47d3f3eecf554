// The single-instance lock and hand-over.
//
// The first copy takes the lock, finds nobody listening, opens its socket
// once its window exists and only then releases the lock. A later copy waits
// for the lock, so it can only look for the socket when the first copy is
// either fully reachable or gone. It connects and reads the one-byte greeting
// that says what it reached. The window: it sends its command line as
// UTF-16LE, closes its sending side and waits for the receiver's one-byte
// answer, so the hand-over is complete when it ends (as a synchronous
// copy-data message would be). A message box of the running copy: the box has
// been raised before the greeting was sent, and nothing is handed over. A
// socket file without a listener is left over from a copy that died; whoever
// holds the lock replaces it.

#include "platform/single_instance.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

#include "platform/log.h"
#include "platform/thread.h"

namespace {

constexpr StringView empty_command_line = u"%CommandLineEmpty%";
// A command line longer than this is no command line; the connection is dropped.
constexpr std::size_t max_message_bytes = 64 * 1024;
constexpr int answer_timeout_ms = 5000;
// First byte from the running copy: its window takes the command line, or it
// shows a message box and raised it.
constexpr char window_greeting = 'W';
constexpr char dialog_greeting = 'D';

std::string runtime_folder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return runtime;
    const std::string folder = "/tmp/pictavio-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    // Anybody can create names in /tmp: use the folder only when it is ours alone.
    struct stat info;
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 0077) != 0)
        return {};
    return folder;
}

// False for a path that does not fit, and for an empty one (which would be
// an unnamed abstract socket nobody can find).
bool make_address(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    path.copy(address.sun_path, path.size());
    return true;
}

bool write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = send(fd, data, size, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// Waits until fd is readable; false on timeout or error.
bool wait_readable(int fd, int timeout_ms)
{
    pollfd entry{fd, POLLIN, 0};
    int ready;
    do {
        ready = poll(&entry, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

std::string utf16le_bytes(StringView text)
{
    std::string bytes;
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

String from_utf16le(const std::string& bytes)
{
    String text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text +=
            static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return text;
}

// The byte the peer sends next; 0 when none comes in time.
char read_byte(int fd)
{
    char byte = 0;
    if (!wait_readable(fd, answer_timeout_ms))
        return 0;
    ssize_t got;
    do {
        got = recv(fd, &byte, 1, 0);
    } while (got < 0 && errno == EINTR);
    return got == 1 ? byte : 0;
}

// The message box this copy shows, if any: how to raise it.
struct ShownDialog {
    Mutex mutex;
    std::function<void()> raise GUARDED_BY(mutex);
};

ShownDialog& shown_dialog()
{
    static ShownDialog dialog;
    return dialog;
}

// Raises the message box this copy shows; false when it shows none.
bool raise_shown_dialog()
{
    ShownDialog& dialog = shown_dialog();
    MutexLock lock(dialog.mutex);
    if (!dialog.raise)
        return false;
    dialog.raise();
    return true;
}

pid_t peer_process(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 ? credentials.pid : 0;
}

// Accepts hand-overs until asked to stop through its wake-up pipe.
class Listener : public Thread {
public:
    Listener(int socket, CommandLineReceiver receiver) : m_socket(socket), m_receiver(std::move(receiver))
    {
        if (pipe2(m_wake, O_CLOEXEC) != 0)
            m_wake[0] = m_wake[1] = -1;
    }

    ~Listener() override
    {
        stop();
        close(m_socket);
        if (m_wake[0] >= 0) {
            close(m_wake[0]);
            close(m_wake[1]);
        }
    }

    bool ready() const { return m_wake[0] >= 0; }

    void stop()
    {
        request_stop();
        if (m_wake[1] >= 0)
            (void)!write(m_wake[1], "x", 1);
        join();
    }

protected:
    void run() override
    {
        pollfd entries[2] = {{m_socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        while (!stop_requested()) {
            if (poll(entries, 2, -1) < 0 && errno != EINTR)
                return;
            if (entries[1].revents != 0)
                return;
            if (entries[0].revents & POLLIN) {
                const int connection = accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection >= 0) {
                    serve(connection);
                    close(connection);
                }
            }
        }
    }

private:
    // Raises the message box this copy shows, or else reads one whole
    // command line, hands it on and answers.
    void serve(int connection)
    {
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || credentials.uid != getuid())
            return;
        if (raise_shown_dialog()) {
            write_all(connection, &dialog_greeting, 1);
            return;
        }
        if (write_all(connection, &window_greeting, 1))
            take_command_line(connection);
    }

    // Reads one whole command line, hands it on and answers.
    void take_command_line(int connection)
    {
        std::string bytes;
        char buffer[4096];
        for (;;) {
            if (!wait_readable(connection, answer_timeout_ms))
                return;
            const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return;
            if (got == 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(got));
            if (bytes.size() > max_message_bytes)
                return;
        }
        String command_line = from_utf16le(bytes);
        if (command_line == empty_command_line)
            command_line.clear();
        m_receiver(command_line);
        write_all(connection, "1", 1);
    }

    int m_socket;
    int m_wake[2];
    CommandLineReceiver m_receiver;
};

struct InstanceState {
    String application_name;
    String class_name;
    String command_line;
    bool found = false;
    int lock_fd = -1;
    std::string socket_path;
    std::unique_ptr<Listener> listener;
};

InstanceState& state()
{
    static InstanceState instance;
    return instance;
}

std::string socket_path_for(const InstanceState& instance)
{
    const std::string folder = runtime_folder();
    return folder.empty() ? std::string() : folder + "/" + to_utf8(instance.class_name);
}

int take_lock(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    int locked;
    do {
        locked = flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends command_line to a running copy's window and waits for its answer.
void send_command_line(int fd, StringView command_line)
{
    const std::string bytes = utf16le_bytes(command_line.empty() ? empty_command_line : command_line);
    if (write_all(fd, bytes.data(), bytes.size()) && shutdown(fd, SHUT_WR) == 0)
        read_byte(fd);
}

// Connects to a running copy and hands the command line over, or has it
// raise the message box it shows; false when no copy listens.
bool hand_over(InstanceState& instance)
{
    sockaddr_un address;
    if (!make_address(instance.socket_path, address))
        return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    // A copy that sends no greeting in time was still reached: it is taken for a window.
    if (read_byte(fd) != dialog_greeting) {
        log() << "Application::EnumProc window found hwnd=" << static_cast<int>(peer_process(fd)) << " 1\n";
        send_command_line(fd, instance.command_line);
    }
    close(fd);
    log() << "Application::EnumProc window found 2\n";
    return true;
}

}  // namespace

bool show_running_instance_open_bracket(StringView command_line, StringView application_name)
{
    log() << "Application::show_running_instance_open_bracket cmd_line=" << command_line << "\n";
    InstanceState& instance = state();
    instance.application_name = String(application_name);
    instance.class_name = u"VestrelClass_" + String(application_name);
    instance.command_line = String(command_line);
    instance.found = false;
    instance.socket_path = socket_path_for(instance);
    if (instance.lock_fd < 0 && !instance.socket_path.empty())
        instance.lock_fd = take_lock(instance.socket_path + ".lock");
    if (instance.lock_fd < 0) {
        log() << "Application::show_running_instance_open_bracket mutex==0\n";
        return false;
    }
    instance.found = hand_over(instance);
    return instance.found;
}

bool start_instance_listener(CommandLineReceiver receiver)
{
    InstanceState& instance = state();
    sockaddr_un address;
    if (instance.listener || !make_address(instance.socket_path, address))
        return false;
    // Only the lock holder may replace a socket file: without the lock a live copy may own it.
    if (instance.lock_fd >= 0)
        unlink(instance.socket_path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    chmod(instance.socket_path.c_str(), 0600);
    auto listener = std::make_unique<Listener>(fd, std::move(receiver));
    if (listen(fd, 8) != 0 || !listener->ready() || !listener->start()) {
        unlink(instance.socket_path.c_str());
        return false;  // the listener closes the socket
    }
    instance.listener = std::move(listener);
    return true;
}

void release_instance_mutex()
{
    InstanceState& instance = state();
    if (instance.lock_fd >= 0)
        close(instance.lock_fd);  // closing the last descriptor releases the flock
    instance.lock_fd = -1;
}

void stop_instance_listener()
{
    InstanceState& instance = state();
    if (!instance.listener)
        return;
    // Unlinked while still listening: a copy starting now either reaches this
    // one or finds no socket, never replaces a newer copy's socket with ours gone.
    unlink(instance.socket_path.c_str());
    instance.listener.reset();
}

InstanceDialog::InstanceDialog(std::function<void()> raise)
{
    ShownDialog& dialog = shown_dialog();
    MutexLock lock(dialog.mutex);
    m_outer_raise = std::exchange(dialog.raise, std::move(raise));
}

InstanceDialog::~InstanceDialog()
{
    ShownDialog& dialog = shown_dialog();
    MutexLock lock(dialog.mutex);
    dialog.raise = std::move(m_outer_raise);
}
