// The start screen and its loader.

#include "shell/start_screen.h"

#include <chrono>
#include <mutex>
#include <thread>
#include "platform/log.h"
#include "platform/tick.h"
#include "shell/application.h"
#include "shell/application_listener.h"
#include "skin/plexor.h"

namespace {

constexpr StringView splash_node = u"Splash";
constexpr unsigned loader_pause_ms = 500;
constexpr double yield_after_seconds = 0.5;
constexpr auto yield_pause = std::chrono::milliseconds(100);

std::mutex g_factory_mutex;
MainScreenFactory g_factory;

MainScreenFactory main_screen_factory()
{
    std::lock_guard<std::mutex> lock(g_factory_mutex);
    return g_factory;
}

void log_step(const char* text)
{
    log() << get_tick_count() << text;
}

// Runs the factory on the loader thread. A skin that lacks what the main
// screen needs must not end the process from a thread nobody watches: the
// error's text is returned for the main thread (empty on success).
String build_main_screen(const MainScreenFactory& factory, Properties& skin, std::unique_ptr<Element>& screen)
{
    try {
        screen = factory(skin);
        return {};
    } catch (const plexor::NodeNotFoundInSkin& error) {
        return error.message();
    } catch (const plexor::NodeNotFound& error) {
        return error.message();
    } catch (const plexor::NodeNotRegistered& error) {
        return error.message();
    } catch (const plexor::NodeAlreadyRegistered& error) {
        return error.message();
    }
}

}  // namespace

void set_main_screen_factory(MainScreenFactory factory)
{
    std::lock_guard<std::mutex> lock(g_factory_mutex);
    g_factory = std::move(factory);
}

StartScreen::StartScreen(Properties& skin) : Element(nullptr), SkinListener(skin), m_skin(skin)
{
    bind_splash(skin);
    Application::instance()->show_screen(this, false);
    m_loader.start();
}

// The main screen leaves the stack and the listener slot before it goes, so
// that the Application never holds a destroyed screen.
StartScreen::~StartScreen()
{
    m_loader.request_stop();
    m_loader.wake();
    m_loader.join();
    if (Application* app = Application::instance()) {
        if (m_main_screen) {
            app->close_screen(m_main_screen.get());
            if (app->listener() == dynamic_cast<ApplicationListener*>(m_main_screen.get()))
                app->set_listener(nullptr);
        }
        app->close_screen(this);
    }
    m_main_screen.reset();
}

void StartScreen::bind_splash(Properties& skin)
{
    load_required_node(skin, splash_node);
}

void StartScreen::on_skin_reloaded(Properties& skin)
{
    bind_splash(skin);
}

// The pause lets the start screen reach the display first; a stop request
// during it ends the loader without building anything.
void StartScreen::Loader::run()
{
    m_wake.wait_for(loader_pause_ms);
    if (!stop_requested()) {
        log_step("WinMain 9\n");
        if (MainScreenFactory factory = main_screen_factory()) {
            m_owner.m_main_screen.reset();
            m_owner.m_load_error = build_main_screen(factory, m_owner.m_skin, m_owner.m_main_screen);
        } else {
            log() << "StartScreen: no main screen to build\n";
        }
        log_step("WinMain 10\n");
    }
    m_owner.m_loader_done.store(true, std::memory_order_release);
}

void StartScreen::update(double seconds)
{
    Element::update(seconds);
    m_shown_time += seconds;
    if (!loader_done()) {
        // Gives the loader the processor once the start screen has been seen.
        if (m_shown_time > yield_after_seconds)
            std::this_thread::sleep_for(yield_pause);
        return;
    }
    if (!m_handed_over)
        hand_over();
}

void StartScreen::hand_over()
{
    m_handed_over = true;
    Application& app = *Application::instance();
    if (!m_load_error.empty()) {
        // The skin cannot show the main screen: the same end as a missing skin.
        log() << "StartScreen: " << m_load_error << "\n";
        GameBase& game_base = app.game_base();
        game_base.windows().message_box(0, app.name(), m_skin.translate(u"NoSkins"));
        game_base.windows().post_message(game_base.main_window(), WM_CLOSE, 0, 0);
        return;
    }
    if (!m_main_screen)
        return;
    log_step("WinMain 11\n");
    app.set_listener(dynamic_cast<ApplicationListener*>(m_main_screen.get()));
    log_step("WinMain 12\n");
    if (ApplicationListener* listener = app.listener())
        listener->on_layout_changed();
    app.show_screen(m_main_screen.get(), false);
    log_step("WinMain 13\n");
    app.close_screen(this);
    log_step("WinMain 14\n");
}
