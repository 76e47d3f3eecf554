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
bool parse_valued_option(std::string_view name, std::string_view value, CommandLineOptions& options, std::string& error)
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
    return name == "--size" || name == "--dpi" || name == "--orientation" || name == "--display" || name == "--script";
}

}  // namespace

bool parse_command_line(int argc, const char* const* argv, CommandLineOptions& options, std::string& error)
{
    CommandLineOptions parsed;
    for (int index = 1; index < argc; ++index) {
        std::string_view argument = argv[index];
        if (argument == "--fullscreen") {
            parsed.fullscreen = true;
        } else if (argument == "--scan-only") {
            parsed.scan_only = true;
        } else if (argument == "--help" || argument == "-h") {
            parsed.help = true;
        } else if (argument == "--version") {
            parsed.version = true;
        } else if (takes_value(argument)) {
            if (index + 1 >= argc) {
                error = "missing value after " + std::string(argument);
                return false;
            }
            if (!parse_valued_option(argument, argv[++index], parsed, error))
                return false;
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option \"" + std::string(argument) + "\"";
            return false;
        } else {
            append_argument(parsed.rest, argument);
        }
    }
    options = parsed;
    return true;
}

std::string usage_text()
{
    return "Usage: pictavio [OPTION]... [TEXT]\n"
           "A photo album viewer: finds the JPEG pictures in the pictures folder and on the\n"
           "storage cards, groups them into albums (one per folder) and shows any picture,\n"
           "however large, tile by tile at any zoom.\n"
           "\n"
           "Options:\n"
           "  --size WxH              client size of the window (default 480x640)\n"
           "  --dpi N                 dots per inch of the display (default 192)\n"
           "  --orientation 0-3       the display turned by 0, 90, 180 or 270 degrees\n"
           "  --fullscreen            the window goes full screen (F11 toggles it)\n"
           "  --display sdl|fb|offscreen\n"
           "                          output: SDL window, Linux frame buffer or offscreen\n"
           "  --script FILE           run the commands of FILE against the program\n"
           "  --scan-only             search once, build every preview, print the albums, end\n"
           "  --help, -h              print this text and end\n"
           "  --version               print the version and end\n"
           "  TEXT                    any other text goes to a copy that already runs\n"
           "\n"
           "Environment:\n"
           "  PICTAVIO_MY_DOCUMENTS   the pictures folder (else XDG_PICTURES_DIR, ~/Pictures)\n"
           "  PICTAVIO_CARDS          ':'-separated storage card folders (replaces discovery)\n"
           "  PICTAVIO_REGISTRY       the settings file (else $XDG_CONFIG_HOME/Kelm/registry)\n"
           "  PICTAVIO_FBDEV          the frame buffer device (default /dev/fb0)\n"
           "  TMPDIR                  folder of the log file pictavio.txt (default /tmp)\n"
           "  XDG_RUNTIME_DIR         folder of the single-instance lock and socket\n"
           "  LC_ALL, LC_MESSAGES, LANG  language at the first start\n"
           "  SDL_VIDEODRIVER         the SDL video driver\n"
           "\n"
           "Exit status: 0 done, 1 a script step failed, 2 bad command line or script,\n"
           "3 no display available.\n";
}

std::string version_text()
{
    return "pictavio 1.01\n";
}

const CommandLineOptions& startup_options()
{
    return g_startup_options;
}

void set_startup_options(const CommandLineOptions& options)
{
    g_startup_options = options;
}
