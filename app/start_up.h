#pragma once
// The program's life in its fixed order: single-instance check, the
// long-lived objects, the run, and the teardown in reverse order. Every step
// writes a numbered line to the log, so a start that hangs on a device can be
// located from the log alone.

#include <memory>
#include <string>
#include "platform/command_line.h"

class Application;
class Properties;
class ScriptRunner;

class StartUp {
public:
    StartUp(int argc, const char* const* argv);
    ~StartUp();
    // Runs the whole program; the process's exit code.
    int run();

private:
    // Skin, element types, library, display and start screen, once the language is loaded.
    int run_with_language(Properties& properties, Application& application);
    // The start screen and the message loop, once the display is in direct mode.
    int run_screens(Properties& properties, Application& application);

    bool m_options_valid = false;
    std::string m_options_error;
    CommandLineOptions m_options;
    std::unique_ptr<ScriptRunner> m_script;
};
