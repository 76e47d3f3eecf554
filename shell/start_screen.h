#pragma once
// The first screen: the skin's "Splash" node, shown while a loader thread
// builds the main (album) screen; once the loader has ended the start screen
// hands the stack and the application listener over to it.

#include <atomic>
#include <functional>
#include <memory>
#include "elements/element.h"
#include "platform/thread.h"
#include "skin/properties.h"

class ApplicationListener;

// Builds the main screen on the loader thread (the skin is only read there).
// The screen must also be the ApplicationListener that takes over.
using MainScreenFactory = std::function<std::unique_ptr<Element>(Properties& skin)>;

// Installs the factory the loader uses (app/ installs the album screen's).
void set_main_screen_factory(MainScreenFactory factory);

class StartScreen : public Element, public SkinListener {
public:
    // Binds "Splash" (plexor::NodeNotFoundInSkin when missing), shows itself and starts the loader.
    explicit StartScreen(Properties& skin);
    // Stops and joins the loader, then destroys the main screen it built.
    ~StartScreen() override;

    // Counts the shown time; hands over in the first frame after the loader ended.
    void update(double seconds) override;
    // Binds "Splash" again.
    void on_skin_reloaded(Properties& skin) override;

    double shown_time() const { return m_shown_time; }
    // Whether the loader has ended.
    bool loader_done() const { return m_loader_done.load(std::memory_order_acquire); }
    // Why the main screen could not be built (a skin error); read it once loader_done().
    const String& load_error() const { return m_load_error; }
    // Whether the main screen has taken over.
    bool handed_over() const { return m_handed_over; }
    // The screen the loader built (null until it ended, or when no factory is installed).
    Element* main_screen() const { return loader_done() ? m_main_screen.get() : nullptr; }

private:
    class Loader : public Thread {
    public:
        explicit Loader(StartScreen& owner) : m_owner(owner) {}
        // Wakes the loader from its first pause.
        void wake() { m_wake.set(); }

    protected:
        void run() override;

    private:
        StartScreen& m_owner;
        Event m_wake{true};
    };

    void bind_splash(Properties& skin);
    void hand_over();

    Properties& m_skin;
    Loader m_loader{*this};
    double m_shown_time = 0.0;
    std::unique_ptr<Element> m_main_screen;
    String m_load_error;
    std::atomic<bool> m_loader_done{false};
    bool m_handed_over = false;
};
