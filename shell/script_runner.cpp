// The scripted mode: parsing the command file and running its steps from a
// timer of the real message loop.

#include "shell/script_runner.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string_view>
#include "display/screenshot.h"
#include "platform/key_codes.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "shell/game_base.h"
#include "shell/script_elements.h"

namespace {

constexpr std::uintptr_t step_timer = 1;
constexpr std::uint32_t retry_period_ms = 10;
constexpr std::uint32_t drag_move_period_ms = 16;
constexpr long max_coordinate = 100000;
constexpr long max_milliseconds = 24L * 3600 * 1000;
constexpr std::size_t max_script_bytes = 4 * 1024 * 1024;
constexpr int highest_virtual_key = 255;

// A whole decimal number within [low, high]; false for anything else.
bool parse_number(const std::string& word, long low, long high, long& value)
{
    const char* first = word.data();
    const char* last = first + word.size();
    if (first != last && *first == '+')
        ++first;
    auto [end, status] = std::from_chars(first, last, value);
    return status == std::errc() && end == last && first != last && value >= low && value <= high;
}

// Checks the count of arguments and reads them all as numbers.
bool parse_numbers(const ScriptArguments& arguments, std::size_t count, const char* usage, std::vector<long>& values,
                   std::string& error, long low = -max_coordinate, long high = max_coordinate)
{
    if (arguments.size() != count) {
        error = std::string("expected ") + usage;
        return false;
    }
    values.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!parse_number(arguments[i], low, high, values[i])) {
            error = "bad number '" + arguments[i] + "', expected " + usage;
            return false;
        }
    }
    return true;
}

// Input is queued as a person's would be; the runner lets the queue empty
// before the next step, so a screenshot right after shows its effect.
ScriptStep pen_step(int line, unsigned message, int x, int y)
{
    return {line, [message, x, y](ScriptContext& context) {
                context.windows.inject_pen(message, x, y);
                return StepResult::wait_for(0);
            }};
}

ScriptStep wait_step(int line, std::uint32_t milliseconds)
{
    return {line, [milliseconds](ScriptContext&) { return StepResult::wait_for(milliseconds); }};
}

bool parse_wait(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    std::vector<long> values;
    if (!parse_numbers(arguments, 1, "wait MS", values, error, 0, max_milliseconds))
        return false;
    steps.push_back(wait_step(line, static_cast<std::uint32_t>(values[0])));
    return true;
}

// press, move and release share one shape: a pen message at a point.
template <unsigned message>
bool parse_pen(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    std::vector<long> values;
    const char* usage = message == WM_LBUTTONDOWN ? "press X Y" : message == WM_MOUSEMOVE ? "move X Y" : "release X Y";
    if (!parse_numbers(arguments, 2, usage, values, error))
        return false;
    steps.push_back(pen_step(line, message, static_cast<int>(values[0]), static_cast<int>(values[1])));
    return true;
}

bool parse_tap(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    std::vector<long> values;
    if (!parse_numbers(arguments, 2, "tap X Y", values, error))
        return false;
    const int x = static_cast<int>(values[0]);
    const int y = static_cast<int>(values[1]);
    steps.push_back(pen_step(line, WM_LBUTTONDOWN, x, y));
    steps.push_back(pen_step(line, WM_LBUTTONUP, x, y));
    return true;
}

// The pen goes down, moves in steps of about 16 ms along the line and is
// lifted at the end, MS after it went down.
bool parse_drag(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    std::vector<long> values;
    if (!parse_numbers(arguments, 5, "drag X1 Y1 X2 Y2 MS", values, error))
        return false;
    if (values[4] < 0 || values[4] > max_milliseconds) {
        error = "bad duration '" + arguments[4] + "', expected drag X1 Y1 X2 Y2 MS";
        return false;
    }
    const long x1 = values[0], y1 = values[1], x2 = values[2], y2 = values[3], duration = values[4];
    const long moves = std::max(1L, duration / drag_move_period_ms);
    steps.push_back(pen_step(line, WM_LBUTTONDOWN, static_cast<int>(x1), static_cast<int>(y1)));
    long waited = 0;
    for (long i = 1; i <= moves; ++i) {
        const long until = duration * i / moves;
        steps.push_back(wait_step(line, static_cast<std::uint32_t>(until - waited)));
        waited = until;
        const int x = static_cast<int>(x1 + (x2 - x1) * i / moves);
        const int y = static_cast<int>(y1 + (y2 - y1) * i / moves);
        steps.push_back(pen_step(line, WM_MOUSEMOVE, x, y));
    }
    steps.push_back(pen_step(line, WM_LBUTTONUP, static_cast<int>(x2), static_cast<int>(y2)));
    return true;
}

bool parse_wheel(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    std::vector<long> values;
    if (!parse_numbers(arguments, 3, "wheel X Y NOTCHES", values, error))
        return false;
    const int x = static_cast<int>(values[0]), y = static_cast<int>(values[1]);
    const int notches = static_cast<int>(values[2]);
    steps.push_back({line, [x, y, notches](ScriptContext& context) {
                         context.windows.inject_wheel(x, y, notches);
                         return StepResult::wait_for(0);
                     }});
    return true;
}

ScriptStep pinch_step(int line, PinchPhase phase, int x, int y, double span)
{
    return {line, [phase, x, y, span](ScriptContext& context) {
                context.windows.inject_pinch(phase, x, y, span);
                return StepResult::wait_for(0);
            }};
}

// Two fingers centred on X, Y start FROM_SPAN pixels apart and move, about
// every 16 ms, to TO_SPAN apart in MS; then both are lifted.
bool parse_pinch(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    const char* usage = "pinch X Y FROM_SPAN TO_SPAN MS";
    std::vector<long> values;
    if (!parse_numbers(arguments, 5, usage, values, error))
        return false;
    if (values[2] <= 0 || values[3] <= 0 || values[4] < 0 || values[4] > max_milliseconds) {
        error = std::string("spans must be positive and MS at least 0, expected ") + usage;
        return false;
    }
    const int x = static_cast<int>(values[0]), y = static_cast<int>(values[1]);
    const double from = double(values[2]), to = double(values[3]);
    const long duration = values[4];
    const long moves = std::max(1L, duration / drag_move_period_ms);
    steps.push_back(pinch_step(line, pinch_begin_phase, x, y, from));
    long waited = 0;
    for (long i = 1; i <= moves; ++i) {
        const long until = duration * i / moves;
        steps.push_back(wait_step(line, static_cast<std::uint32_t>(until - waited)));
        waited = until;
        steps.push_back(pinch_step(line, pinch_move_phase, x, y, from + (to - from) * double(i) / double(moves)));
    }
    steps.push_back(pinch_step(line, pinch_end_phase, x, y, to));
    return true;
}

// The platform key that the window translates into code; 0 when none does.
int virtual_key_for(KeyCode code)
{
    for (int virtual_key = 1; virtual_key <= highest_virtual_key; ++virtual_key)
        if (key_from_virtual_key(virtual_key) == code)
            return virtual_key;
    return 0;
}

bool parse_key(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    if (arguments.size() != 1) {
        error = "expected key NAME";
        return false;
    }
    KeyCode code = key_none;
    if (!key_from_name(from_utf8(arguments[0]), code)) {
        error = "unknown key name '" + arguments[0] + "'";
        return false;
    }
    const int virtual_key = virtual_key_for(code);
    if (virtual_key == 0) {
        error = "key '" + arguments[0] + "' has no key on this keyboard";
        return false;
    }
    steps.push_back({line, [virtual_key](ScriptContext& context) {
                         context.windows.inject_key(virtual_key, true);
                         context.windows.inject_key(virtual_key, false);
                         return StepResult::wait_for(0);
                     }});
    return true;
}

bool parse_screenshot(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    if (arguments.empty()) {
        error = "expected screenshot PATH";
        return false;
    }
    std::string path = arguments[0];
    for (std::size_t i = 1; i < arguments.size(); ++i)
        path += " " + arguments[i];
    steps.push_back({line, [path](ScriptContext& context) {
                         const PixelBuffer* frame = context.game_base.draw_current_frame();
                         if (!frame)
                             return StepResult::fail("screenshot: no frame to save");
                         if (!save_screenshot(from_utf8(path), *frame))
                             return StepResult::fail("screenshot: cannot write '" + path + "'");
                         return StepResult::go_on();
                     }});
    return true;
}

// Quitting closes the window, so the program ends by its orderly path.
bool parse_quit(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    if (!arguments.empty()) {
        error = "expected quit without arguments";
        return false;
    }
    steps.push_back({line, [](ScriptContext& context) {
                         context.windows.inject_close();
                         return StepResult::go_on();
                     }});
    return true;
}

std::vector<ScriptCommandType> command_table = {
    {"wait", parse_wait},
    {"tap", parse_tap},
    {"press", parse_pen<WM_LBUTTONDOWN>},
    {"move", parse_pen<WM_MOUSEMOVE>},
    {"release", parse_pen<WM_LBUTTONUP>},
    {"drag", parse_drag},
    {"wheel", parse_wheel},
    {"pinch", parse_pinch},
    {"key", parse_key},
    {"screenshot", parse_screenshot},
    {"quit", parse_quit},
    {"tap-id", parse_tap_id},
    {"wait-for", parse_wait_for},
    {"dump", parse_dump},
};

std::mutex command_table_mutex;

// The parser of the named command, or null.
ScriptParser find_command(const std::string& name)
{
    std::lock_guard<std::mutex> lock(command_table_mutex);
    for (const ScriptCommandType& type : command_table)
        if (name == type.name)
            return type.parse;
    return nullptr;
}

std::string located(const std::string& file_name, int line, const std::string& reason)
{
    return file_name + ":" + std::to_string(line) + ": " + reason;
}

}  // namespace

void add_script_command(const ScriptCommandType& type)
{
    std::lock_guard<std::mutex> lock(command_table_mutex);
    for (ScriptCommandType& existing : command_table) {
        if (std::string_view(existing.name) == type.name) {
            existing = type;
            return;
        }
    }
    command_table.push_back(type);
}

bool parse_script_steps(const std::string& text, const std::string& file_name, std::vector<ScriptStep>& steps,
                        std::string& error)
{
    std::istringstream lines(text);
    std::string line_text;
    int line = 0;
    while (std::getline(lines, line_text)) {
        ++line;
        std::istringstream words(line_text);
        std::string name;
        if (!(words >> name) || name[0] == '#')
            continue;
        ScriptArguments arguments;
        for (std::string word; words >> word;)
            arguments.push_back(word);
        const ScriptParser parse = find_command(name);
        if (!parse) {
            error = located(file_name, line, "unknown command '" + name + "'");
            return false;
        }
        std::string reason;
        if (!parse(arguments, line, steps, reason)) {
            error = located(file_name, line, reason);
            return false;
        }
    }
    return true;
}

ScriptRunner::ScriptRunner(const std::string& path) : m_path(path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        m_error = path + ": cannot read the script";
        return;
    }
    std::string text;
    text.resize(max_script_bytes + 1);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > max_script_bytes) {
        m_error = path + ": the script is larger than 4 MiB";
        return;
    }
    m_valid = parse_script_steps(text, path, m_steps, m_error);
}

ScriptRunner::~ScriptRunner()
{
    if (m_game_base && m_timer_window != 0 && m_game_base->windows().is_window(m_timer_window))
        m_game_base->windows().destroy_window(m_timer_window);
}

void ScriptRunner::start(GameBase& game_base)
{
    m_game_base = &game_base;
    m_timer_window =
        game_base.windows().create_message_window([this](const Message& message) { return on_message(message); });
    schedule(0);
}

std::intptr_t ScriptRunner::on_message(const Message& message)
{
    if (message.id == WM_TIMER && message.wparam == step_timer) {
        m_game_base->windows().kill_timer(m_timer_window, step_timer);
        run_due_steps();
    }
    return 0;
}

void ScriptRunner::schedule(std::uint32_t milliseconds)
{
    m_game_base->windows().set_timer(m_timer_window, step_timer, std::max<std::uint32_t>(milliseconds, 1));
}

void ScriptRunner::run_due_steps()
{
    ScriptContext context{*m_game_base, m_game_base->windows(), m_game_base->main_window()};
    while (m_next < m_steps.size()) {
        const ScriptStep& step = m_steps[m_next];
        StepResult result = step.run(context);
        switch (result.kind) {
        case StepResult::next:
            ++m_next;
            break;
        case StepResult::wait:
            ++m_next;
            schedule(result.milliseconds);
            return;
        case StepResult::retry:
            schedule(retry_period_ms);
            return;
        case StepResult::failed:
            m_failed = true;
            m_error = located(m_path, step.line, result.error);
            std::fprintf(stderr, "pictavio: %s\n", m_error.c_str());
            log() << "ScriptRunner: " << m_error.c_str() << "\n";
            m_next = m_steps.size();
            context.windows.post_quit_message(1);
            return;
        }
    }
}
