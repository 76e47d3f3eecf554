// Start-up order of the program.

#include "app/start_up.h"

#include <cstdio>

#include "platform/single_instance.h"
#include "platform/tick.h"
#include "shell/log.h"
#include "skin/properties.h"

namespace {

constexpr StringView application_name = u"Pictavio";
constexpr StringView skin_path = u"%app_path%/skins/bin/default.skin";
constexpr StringView no_languages_text =
    u"No languages, please reinstall\nНе найдены языковые файлы, нужна переустановка\n";

// Writes the tick count followed by the step's text.
void log_step(const char* text)
{
    log() << get_tick_count() << text;
}

// A start-up failure message with the application's caption; standard error
// stands in for the message box until the window system shows one.
void show_start_up_message(StringView text)
{
    const std::string line = to_utf8(String(application_name) + u": " + String(text));
    std::fputs(line.c_str(), stderr);
    if (line.empty() || line.back() != '\n')
        std::fputc('\n', stderr);
}

}  // namespace

StartUp::StartUp(int argc, const char* const* argv)
{
    m_options_valid = parse_command_line(argc, argv, m_options, m_options_error);
}

int StartUp::run()
{
    if (!m_options_valid) {
        std::fprintf(stderr, "pictavio: %s\n", m_options_error.c_str());
        return 2;
    }
    set_startup_options(m_options);
    log_step("WinMain 0\n");
    if (show_running_instance_open_bracket(m_options.rest, application_name))
        return 0;
    log_step("WindMain 1\n");
    Properties properties;
    // The main window's creation releases the instance lock; until a window
    // exists the program is past its start-up check here.
    release_instance_mutex();
    if (!properties.translations().load_startup_language(application_name)) {
        show_start_up_message(no_languages_text);
        return 0;
    }
    return run_with_language(properties);
}

int StartUp::run_with_language(Properties& properties)
{
    if (!properties.load_skin(skin_path, m_options.dpi)) {
        show_start_up_message(properties.translate(u"NoSkins"));
        return 0;
    }
    log_step("WinMain 2\n");
    return 0;
}
