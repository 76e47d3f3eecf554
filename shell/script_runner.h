#pragma once
// The scripted mode: commands read from a file, one per line, run against
// the real program in real time ("wait MS", "tap X Y", "press X Y",
// "move X Y", "release X Y", "drag X1 Y1 X2 Y2 MS", "key NAME",
// "wheel X Y NOTCHES", "pinch X Y FROM_SPAN TO_SPAN MS", "screenshot PATH",
// "quit"). Blank lines and lines starting with '#' are
// skipped. Input goes through the window system's queue as a person's would.
// Further commands join the table through add_script_command.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "platform/window_system.h"

class GameBase;

// What a step asks of the runner after it ran.
struct StepResult {
    enum Kind { next, wait, retry, failed };
    Kind kind = next;
    // wait: milliseconds until the next step.
    std::uint32_t milliseconds = 0;
    // failed: what went wrong (the runner adds the line).
    std::string error;

    static StepResult go_on() { return {}; }
    static StepResult wait_for(std::uint32_t ms) { return {wait, ms, {}}; }
    // Runs the same step again at the next tick (for commands that wait for a state).
    static StepResult again() { return {retry, 0, {}}; }
    static StepResult fail(std::string error) { return {failed, 0, std::move(error)}; }
};

// What a step works on.
struct ScriptContext {
    GameBase& game_base;
    WindowSystem& windows;
    WindowId window;
};

// One executable step of a parsed line.
struct ScriptStep {
    int line = 0;
    std::function<StepResult(ScriptContext&)> run;
};

// The words of one command line after its name.
using ScriptArguments = std::vector<std::string>;

// Turns a command's arguments into steps; false with a reason for bad arguments.
using ScriptParser = bool (*)(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps,
                              std::string& error);

// A named command of the table.
struct ScriptCommandType {
    const char* name;
    ScriptParser parse;
};

// Adds a command to the table (before any script is parsed); a name already
// in the table is replaced.
void add_script_command(const ScriptCommandType& type);

// Parses script text; false with "NAME:LINE: reason" for the first bad line.
bool parse_script_steps(const std::string& text, const std::string& file_name, std::vector<ScriptStep>& steps,
                        std::string& error);

class ScriptRunner {
public:
    // Reads and parses the file; check is_valid() and error().
    explicit ScriptRunner(const std::string& path);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    bool is_valid() const { return m_valid; }
    // Why the script could not be read, parsed or run ("FILE:LINE: reason").
    const std::string& error() const { return m_error; }
    // Starts running the steps from the message loop of game_base.
    void start(GameBase& game_base);
    // Whether a step failed while running (the program is then asked to quit with code 1).
    bool failed() const { return m_failed; }
    // Whether every step has run.
    bool finished() const { return m_next >= m_steps.size(); }

private:
    std::intptr_t on_message(const Message& message);
    void run_due_steps();
    void schedule(std::uint32_t milliseconds);

    std::string m_path;
    std::vector<ScriptStep> m_steps;
    std::size_t m_next = 0;
    bool m_valid = false;
    bool m_failed = false;
    std::string m_error;
    GameBase* m_game_base = nullptr;
    WindowId m_timer_window = 0;
    std::uint32_t m_due = 0;
};
