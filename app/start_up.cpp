// Start-up order of the program.

#include "app/start_up.h"

#include <cstdio>
#include <iostream>

#include "display/display.h"
#include "library/photo_library.h"
#include "library/scan_only.h"
#include "platform/log.h"
#include "platform/single_instance.h"
#include "platform/tick.h"
#include "screens/album_screen.h"
#include "screens/picture_pane.h"
#include "shell/application.h"
#include "shell/display_mode.h"
#include "shell/game_base.h"
#include "shell/script_runner.h"
#include "shell/start_screen.h"
#include "skin/plexor.h"
#include "skin/properties.h"

namespace {

constexpr StringView application_name = u"Pictavio";
constexpr StringView skin_path = u"%app_path%/skins/bin/default.skin";
constexpr StringView no_languages_text =
    u"No languages, please reinstall\nНе найдены языковые файлы, нужна переустановка\n";
constexpr int exit_bad_arguments = 2;
constexpr int exit_no_display = 3;

// Writes the tick count followed by the step's text.
void log_step(const char* text)
{
    log() << get_tick_count() << text;
}

// A start-up failure message: no owner, OK only, the application's caption.
void show_start_up_message(Application& application, StringView text)
{
    application.game_base().windows().message_box(0, String(application_name), String(text));
}

// Whether anything can show frames: an SDL video driver, a 16-bit frame
// buffer or the offscreen buffer.
bool display_available(GameBase& game_base)
{
    WindowSystem& windows = game_base.windows();
    if (game_base.main_window() != 0 && Display::available(windows, game_base.main_window()))
        return true;
    std::string reason = windows.has_video() ? "the main window could not be created" : windows.video_error();
    std::fprintf(stderr, "pictavio: no display available (%s; no 16-bit frame buffer)\n", reason.c_str());
    log() << "WinMain: no display available\n";
    return false;
}

}  // namespace

StartUp::StartUp(int argc, const char* const* argv)
{
    m_options_valid = parse_command_line(argc, argv, m_options, m_options_error);
}

StartUp::~StartUp() = default;

int StartUp::run()
{
    if (!m_options_valid) {
        std::fprintf(stderr, "pictavio: %s\n%s", m_options_error.c_str(), usage_text().c_str());
        return exit_bad_arguments;
    }
    // Neither touches the single instance nor the display.
    if (m_options.help || m_options.version) {
        std::fputs(m_options.help ? usage_text().c_str() : version_text().c_str(), stdout);
        return 0;
    }
    // A bad script is refused before anything starts.
    if (!m_options.script.empty()) {
        m_script = std::make_unique<ScriptRunner>(m_options.script);
        if (!m_script->is_valid()) {
            std::fprintf(stderr, "pictavio: %s\n", m_script->error().c_str());
            return exit_bad_arguments;
        }
    }
    // The library without the screen: one search, every preview, the album list.
    if (m_options.scan_only)
        return scan_only(std::cout);
    set_startup_options(m_options);
    log_step("WinMain 0\n");
    if (show_running_instance_open_bracket(m_options.rest, application_name))
        return 0;
    log_step("WindMain 1\n");
    // Destroyed in reverse order: the Application (with its window), then the skin resources.
    Properties properties;
    Application application(application_name);
    if (!properties.translations().load_startup_language(application_name)) {
        show_start_up_message(application, no_languages_text);
        return 0;
    }
    return run_with_language(properties, application);
}

int StartUp::run_with_language(Properties& properties, Application& application)
{
    GameBase& game_base = application.game_base();
    const DisplayMode mode = read_display_mode(game_base.windows());
    if (!properties.load_skin(skin_path, mode.dpi)) {
        show_start_up_message(application, properties.translate(u"NoSkins"));
        return 0;
    }
    log_step("WinMain 2\n");
    // "bigpicture" is removed again when this function returns, after the library.
    BigPictureRegistration big_picture;
    log_step("WinMain 3\n");
    PhotoLibrary library;
    log_step("WinMain 4\n");
    log_step("WinMain 5\n");
    if (!display_available(game_base))
        return exit_no_display;
    game_base.set_window_mode(false);
    game_base.set_direct_mode(mode.orientation);
    game_base.set_key_grab(false);
    log_step("WinMain 6\n");
    // The start screen and the screens it owns are gone when this returns;
    // the library goes after them.
    return run_screens(properties, application);
}

int StartUp::run_screens(Properties& properties, Application& application)
{
    GameBase& game_base = application.game_base();
    std::unique_ptr<StartScreen> start_screen;
    set_main_screen_factory([](Properties& skin) { return std::make_unique<AlbumScreen>(skin); });
    try {
        start_screen = std::make_unique<StartScreen>(properties);
    } catch (const plexor::NodeNotFoundInSkin& error) {
        // A skin without its start screen is as unusable as a missing skin.
        log() << "WinMain: " << error.message() << "\n";
        show_start_up_message(application, properties.translate(u"NoSkins"));
        return 0;
    }
    log_step("WinMain 7\n");
    if (m_script)
        m_script->start(game_base);
    game_base.run_message_loop();
    log_step("WinMain 8\n");
    const bool script_failed = m_script && m_script->failed();
    // The start screen stops and joins its loader and destroys the screens it built.
    start_screen.reset();
    m_script.reset();
    return script_failed ? 1 : game_base.exit_code();
}
