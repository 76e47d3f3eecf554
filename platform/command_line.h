#pragma once
// The program's command-line options, parsed in one place into one record.
// pictavio [--size WxH] [--dpi N] [--orientation 0-3] [--fullscreen]
//          [--display sdl|fb|offscreen] [--script FILE] [--scan-only]
//          [--help] [--version] [other text]

#include <string>
#include "platform/text.h"

// Which display output the user asked for.
enum class DisplayChoice { automatic, sdl, frame_buffer, offscreen };

struct CommandLineOptions {
    // Client size of the main window: the display mode's width and height.
    int width = 480;
    int height = 640;
    // Vertical pixels per logical inch reported for the display mode.
    int dpi = 192;
    // Orientation the display settings report, 0-3 (0, 90, 180, 270 degrees).
    int orientation = 0;
    // Whether the window goes full screen while a display is in use.
    bool fullscreen = false;
    DisplayChoice display = DisplayChoice::automatic;
    // Run one search, build every queued preview, print the albums and end.
    bool scan_only = false;
    // Print the usage or the version and end, before anything starts.
    bool help = false;
    bool version = false;
    // Command file of the scripted mode (UTF-8 path); empty when none.
    std::string script;
    // Everything not consumed above, for the single-instance hand-over and the main screen.
    String rest;
};

// Largest window side the options accept.
constexpr int max_window_side = 8192;

// Parses argv[1..argc); false with a one-line reason in error for a bad or
// unknown option (an argument starting with '-' that is no option).
bool parse_command_line(int argc, const char* const* argv, CommandLineOptions& options, std::string& error);
// What the program does, every option and the environment it reads.
std::string usage_text();
// The version line: "pictavio 1.01".
std::string version_text();
// The options the program started with (defaults until set_startup_options).
const CommandLineOptions& startup_options();
// Records the parsed options for the window system and the display layer.
void set_startup_options(const CommandLineOptions& options);
