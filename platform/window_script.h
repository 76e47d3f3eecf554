#pragma once
// Scripted input: a command file played in real time through the window
// system, as a person would use the window. One command per line:
//   wait MS | tap X Y | press X Y | move X Y | release X Y
//   drag X1 Y1 X2 Y2 MS | key NAME | screenshot PATH | quit
// Positions are in the program's coordinates; NAME is a key name ("Enter",
// "SOFT_LEFT", ...); blank lines and lines starting with '#' are skipped.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>
#include "platform/text.h"
#include "platform/window_system.h"

struct ScriptCommand {
    enum Kind { wait, tap, press, move, release, drag, key, screenshot, quit };
    Kind kind = wait;
    int x = 0;
    int y = 0;
    // End of a drag.
    int to_x = 0;
    int to_y = 0;
    // Length of a wait or a drag.
    int milliseconds = 0;
    // The key's virtual-key number.
    int virtual_key = 0;
    // Where a screenshot goes.
    String path;
    // Line number in the file, for messages.
    int line = 0;
};

// Largest script file read.
constexpr std::uint64_t max_script_bytes = 1 << 20;

// Parses script text; false with "line N: reason" in error for the first bad line.
bool parse_script(std::string_view text, std::vector<ScriptCommand>& commands, std::string& error);
// Reads and parses the script at path (UTF-8, already expanded); false with a reason.
bool load_script(const std::string& path, std::vector<ScriptCommand>& commands, std::string& error);

class ScriptPlayer {
public:
    // Saves the current frame to path; false when it could not.
    using ScreenshotHandler = std::function<bool(const String& path)>;

    // A player feeding the main window's input on windows; nothing happens before start().
    ScriptPlayer(WindowSystem& windows, std::vector<ScriptCommand> commands,
                 ScreenshotHandler screenshot);
    ~ScriptPlayer();
    ScriptPlayer(const ScriptPlayer&) = delete;
    ScriptPlayer& operator=(const ScriptPlayer&) = delete;

    // Plays the commands from the message loop, in real time.
    void start();
    // Whether every command has been played.
    bool finished() const { return m_next >= m_commands.size() && !m_dragging; }
    // Screenshots that could not be saved.
    int failed_screenshots() const { return m_failed_screenshots; }

private:
    std::intptr_t window_procedure(const Message& message);
    // Plays commands until one has to wait for time to pass.
    void play();
    // Plays one command; false when the player must wait for its timer.
    bool play_command(const ScriptCommand& command);
    void pen(unsigned message, int x, int y);
    void drag_step();

    WindowSystem& m_windows;
    WindowId m_window = 0;
    std::vector<ScriptCommand> m_commands;
    ScreenshotHandler m_screenshot;
    std::size_t m_next = 0;
    int m_failed_screenshots = 0;
    // The drag under way: its command and its start tick.
    bool m_dragging = false;
    ScriptCommand m_drag;
    std::uint32_t m_drag_start = 0;
};
