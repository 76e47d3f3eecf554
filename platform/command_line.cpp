#include "platform/command_line.h"

#include <charconv>
#include <string_view>

namespace {

CommandLineOptions g_startup_options;

// A whole decimal number in [low, high]; false for anything else.
bool parse_int(std::string_view text, int low, int high, int& value)
{
    int parsed = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, parsed);
    if (error != std::errc() || stop != end || text.empty() || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

bool parse_size(std::string_view text, int& width, int& height)
{
    std::size_t cross = text.find_first_of("xX");
    if (cross == std::string_view::npos)
        return false;
    int w = 0, h = 0;
    if (!parse_int(text.substr(0, cross), 1, max_window_side, w) ||
        !parse_int(text.substr(cross + 1), 1, max_window_side, h))
        return false;
    width = w;
    height = h;
    return true;
}

bool parse_display(std::string_view text, DisplayChoice& choice)
{
    if (text == "sdl")
        choice = DisplayChoice::sdl;
    else if (text == "fb")
        choice = DisplayChoice::frame_buffer;
    else if (text == "offscreen")
        choice = DisplayChoice::offscreen;
    else
        return false;
    return true;
}

// The passed-on text keeps argument boundaries: an argument with a space is quoted.
void append_argument(String& rest, std::string_view argument)
{
    if (!rest.empty())
        rest += u' ';
    bool quote = argument.find(' ') != std::string_view::npos || argument.empty();
    if (quote)
        rest += u'"';
    rest += from_utf8(argument);
    if (quote)
        rest += u'"';
}

// Handles the option at argv[index] that takes a value; false on a bad value.
bool parse_valued_option(std::string_view name, std::string_view value,
                         CommandLineOptions& options, std::string& error)
{
    bool ok = true;
    if (name == "--size")
        ok = parse_size(value, options.width, options.height);
    else if (name == "--dpi")
        ok = parse_int(value, 1, 10000, options.dpi);
    else if (name == "--orientation")
        ok = parse_int(value, 0, 3, options.orientation);
    else if (name == "--display")
        ok = parse_display(value, options.display);
    else if (name == "--script")
        options.script = std::string(value);
    if (!ok)
        error = "bad value for " + std::string(name) + ": \"" + std::string(value) + "\"";
    return ok;
}

bool takes_value(std::string_view name)
{
    return name == "--size" || name == "--dpi" || name == "--orientation" ||
           name == "--display" || name == "--script";
}

}  // namespace

bool parse_command_line(int argc, const char* const* argv, CommandLineOptions& options,
                        std::string& error)
{
    CommandLineOptions parsed;
    for (int index = 1; index < argc; ++index) {
        std::string_view argument = argv[index];
        if (argument == "--fullscreen") {
            parsed.fullscreen = true;
        } else if (argument == "--scan-only") {
            parsed.scan_only = true;
        } else if (takes_value(argument)) {
            if (index + 1 >= argc) {
                error = "missing value after " + std::string(argument);
                return false;
            }
            if (!parse_valued_option(argument, argv[++index], parsed, error))
                return false;
        } else {
            append_argument(parsed.rest, argument);
        }
    }
    options = parsed;
    return true;
}

const CommandLineOptions& startup_options()
{
    return g_startup_options;
}

void set_startup_options(const CommandLineOptions& options)
{
    g_startup_options = options;
}
