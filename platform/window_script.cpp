#include "platform/window_script.h"

#include <charconv>
#include <cstdio>
#include "platform/file.h"
#include "platform/tick.h"
#include "shell/key_codes.h"

namespace {

// Message to the player's own window: play on.
constexpr unsigned WM_SCRIPT_PLAY = WM_USER + 1;
constexpr std::uintptr_t wait_timer = 1;
constexpr std::uintptr_t drag_timer = 2;
// How long a tap holds the pen down, and how often a drag moves it.
constexpr std::uint32_t tap_hold_ms = 40;
constexpr std::uint32_t drag_step_ms = 16;
// Longest wait or drag a script may ask for (one day), and the coordinate range.
constexpr int max_milliseconds = 86400000;
constexpr int max_coordinate = 100000;

std::vector<std::string_view> split_words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        std::size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string_view::npos)
            break;
        std::size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string_view::npos)
            end = line.size();
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

bool parse_number(std::string_view word, int low, int high, int& value)
{
    int parsed = 0;
    auto [stop, error] = std::from_chars(word.data(), word.data() + word.size(), parsed);
    if (error != std::errc() || stop != word.data() + word.size() || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

// The virtual key that the window turns into the named key; 0 when none does.
int virtual_key_for_name(std::string_view name)
{
    KeyCode code = key_none;
    if (!key_from_name(from_utf8(name), code) || code == key_none)
        return 0;
    for (int virtual_key = 1; virtual_key < 256; ++virtual_key) {
        if (key_from_virtual_key(virtual_key) == code)
            return virtual_key;
    }
    return 0;
}

struct CommandShape {
    std::string_view name;
    ScriptCommand::Kind kind;
    // Numbers after the name: positions first, then milliseconds.
    int positions;
    bool has_milliseconds;
};

constexpr CommandShape shapes[] = {
    {"wait", ScriptCommand::wait, 0, true},    {"tap", ScriptCommand::tap, 1, false},
    {"press", ScriptCommand::press, 1, false}, {"move", ScriptCommand::move, 1, false},
    {"release", ScriptCommand::release, 1, false}, {"drag", ScriptCommand::drag, 2, true},
    {"quit", ScriptCommand::quit, 0, false},
};

// Reads the numbers of a plain command; the reason on failure.
std::string parse_numbers(const CommandShape& shape, const std::vector<std::string_view>& words,
                          ScriptCommand& command)
{
    std::size_t wanted = 1 + 2 * shape.positions + (shape.has_milliseconds ? 1 : 0);
    if (words.size() != wanted)
        return "\"" + std::string(shape.name) + "\" takes " + std::to_string(wanted - 1) +
               " numbers";
    int* targets[] = {&command.x, &command.y, &command.to_x, &command.to_y};
    for (int n = 0; n < 2 * shape.positions; ++n) {
        if (!parse_number(words[1 + n], -max_coordinate, max_coordinate, *targets[n]))
            return "bad position \"" + std::string(words[1 + n]) + "\"";
    }
    if (shape.has_milliseconds &&
        !parse_number(words.back(), 0, max_milliseconds, command.milliseconds))
        return "bad milliseconds \"" + std::string(words.back()) + "\"";
    return {};
}

// Parses one non-empty line; the reason on failure.
std::string parse_line(std::string_view line, ScriptCommand& command)
{
    std::vector<std::string_view> words = split_words(line);
    if (words[0] == "key") {
        command.kind = ScriptCommand::key;
        if (words.size() != 2)
            return "\"key\" takes one key name";
        command.virtual_key = virtual_key_for_name(words[1]);
        return command.virtual_key != 0 ? std::string()
                                         : "no key can be pressed for \"" + std::string(words[1]) + "\"";
    }
    if (words[0] == "screenshot") {
        command.kind = ScriptCommand::screenshot;
        // The path is the rest of the line, spaces included.
        std::size_t start = line.find_first_not_of(" \t", line.find("screenshot") + 10);
        std::size_t end = line.find_last_not_of(" \t\r");
        if (words.size() < 2 || start == std::string_view::npos)
            return "\"screenshot\" takes a path";
        command.path = from_utf8(line.substr(start, end + 1 - start));
        return {};
    }
    for (const CommandShape& shape : shapes) {
        if (words[0] == shape.name) {
            command.kind = shape.kind;
            return parse_numbers(shape, words, command);
        }
    }
    return "unknown command \"" + std::string(words[0]) + "\"";
}

}  // namespace

bool parse_script(std::string_view text, std::vector<ScriptCommand>& commands, std::string& error)
{
    std::vector<ScriptCommand> parsed;
    int line_number = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++line_number;
        std::vector<std::string_view> words = split_words(line);
        if (words.empty() || words[0].starts_with('#'))
            continue;
        ScriptCommand command;
        command.line = line_number;
        std::string reason = parse_line(line, command);
        if (!reason.empty()) {
            error = "line " + std::to_string(line_number) + ": " + reason;
            return false;
        }
        parsed.push_back(std::move(command));
    }
    commands = std::move(parsed);
    return true;
}

bool load_script(const std::string& path, std::vector<ScriptCommand>& commands, std::string& error)
{
    File file;
    if (!file.open_expanded(from_utf8(path), File::read_mode)) {
        error = "cannot open the script \"" + path + "\"";
        return false;
    }
    if (file.size() > max_script_bytes) {
        error = "the script \"" + path + "\" is larger than 1 MiB";
        return false;
    }
    std::string text(static_cast<std::size_t>(file.size()), '\0');
    if (file.read(text.data(), static_cast<std::uint32_t>(text.size())) != text.size()) {
        error = "cannot read the script \"" + path + "\"";
        return false;
    }
    return parse_script(text, commands, error);
}

ScriptPlayer::ScriptPlayer(WindowSystem& windows, std::vector<ScriptCommand> commands,
                           ScreenshotHandler screenshot)
    : m_windows(windows), m_commands(std::move(commands)),
      m_screenshot(std::move(screenshot))
{
    m_window = m_windows.create_message_window(
        [this](const Message& message) { return window_procedure(message); });
}

ScriptPlayer::~ScriptPlayer()
{
    m_windows.destroy_window(m_window);
}

void ScriptPlayer::start()
{
    m_windows.post_message(m_window, WM_SCRIPT_PLAY, 0, 0);
}

std::intptr_t ScriptPlayer::window_procedure(const Message& message)
{
    if (message.id == WM_SCRIPT_PLAY) {
        play();
    } else if (message.id == WM_TIMER && message.wparam == wait_timer) {
        m_windows.kill_timer(m_window, wait_timer);
        play();
    } else if (message.id == WM_TIMER && message.wparam == drag_timer) {
        drag_step();
    }
    return 0;
}

void ScriptPlayer::play()
{
    while (m_next < m_commands.size()) {
        const ScriptCommand& command = m_commands[m_next++];
        if (!play_command(command))
            return;
    }
}

void ScriptPlayer::pen(unsigned message, int x, int y)
{
    m_windows.inject_pen(message, x, y);
}

bool ScriptPlayer::play_command(const ScriptCommand& command)
{
    switch (command.kind) {
    case ScriptCommand::wait:
        m_windows.set_timer(m_window, wait_timer, static_cast<std::uint32_t>(command.milliseconds));
        return false;
    case ScriptCommand::tap:
        // Down now, up after a short hold, as a finger taps.
        pen(WM_LBUTTONDOWN, command.x, command.y);
        m_drag = command;
        m_drag.to_x = command.x;
        m_drag.to_y = command.y;
        m_drag.milliseconds = tap_hold_ms;
        m_dragging = true;
        m_drag_start = get_tick_count();
        m_windows.set_timer(m_window, drag_timer, tap_hold_ms);
        return false;
    case ScriptCommand::press:
        pen(WM_LBUTTONDOWN, command.x, command.y);
        return true;
    case ScriptCommand::move:
        pen(WM_MOUSEMOVE, command.x, command.y);
        return true;
    case ScriptCommand::release:
        pen(WM_LBUTTONUP, command.x, command.y);
        return true;
    case ScriptCommand::drag:
        pen(WM_LBUTTONDOWN, command.x, command.y);
        m_drag = command;
        m_dragging = true;
        m_drag_start = get_tick_count();
        m_windows.set_timer(m_window, drag_timer, drag_step_ms);
        return false;
    case ScriptCommand::key:
        m_windows.inject_key(command.virtual_key, true);
        m_windows.inject_key(command.virtual_key, false);
        return true;
    case ScriptCommand::screenshot:
        if (!m_screenshot || !m_screenshot(command.path)) {
            ++m_failed_screenshots;
            std::fprintf(stderr, "script line %d: the screenshot \"%s\" could not be saved\n",
                         command.line, to_utf8(command.path).c_str());
        }
        return true;
    case ScriptCommand::quit:
        m_windows.inject_close();
        m_next = m_commands.size();
        return false;
    }
    return true;
}

// Moves the pen along the drag in proportion to the time passed; at the end
// it arrives exactly and lifts, and the script plays on.
void ScriptPlayer::drag_step()
{
    std::uint32_t elapsed = get_tick_count() - m_drag_start;
    std::uint32_t length = static_cast<std::uint32_t>(m_drag.milliseconds);
    if (elapsed < length) {
        double part = static_cast<double>(elapsed) / length;
        pen(WM_MOUSEMOVE, m_drag.x + static_cast<int>((m_drag.to_x - m_drag.x) * part),
            m_drag.y + static_cast<int>((m_drag.to_y - m_drag.y) * part));
        return;
    }
    m_windows.kill_timer(m_window, drag_timer);
    m_dragging = false;
    if (m_drag.kind == ScriptCommand::drag)
        pen(WM_MOUSEMOVE, m_drag.to_x, m_drag.to_y);
    pen(WM_LBUTTONUP, m_drag.to_x, m_drag.to_y);
    play();
}
