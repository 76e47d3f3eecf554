// Cost of the frame loop: one full 480 x 640 frame of a screen under an
// overlay that is being dimmed, beside a memcpy of the frame; an idle window
// over ten seconds (frames drawn and processor time); and the time from
// nothing to the first frame of the start screen in this process.
//
// Uses the program folder's default skin and SDL's dummy video driver.

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include "platform/command_line.h"
#include "platform/tick.h"
#include "shell/application.h"
#include "shell/game_base.h"
#include "shell/start_screen.h"
#include "skin/properties.h"

namespace {

constexpr int frame_width = 480;
constexpr int frame_height = 640;

const String skin_path = from_utf8(std::string(PICTAVIO_PROGRAM_DIR) + "/skins/bin/default.skin");

void prepare_environment(bool direct)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("XDG_RUNTIME_DIR", "/tmp", 0);
    CommandLineOptions options;
    options.width = frame_width;
    options.height = frame_height;
    options.display = direct ? DisplayChoice::offscreen : DisplayChoice::automatic;
    set_startup_options(options);
}

// Loads the program folder's default skin; skips the benchmark when it is missing.
bool load_default_skin(benchmark::State& state, Properties& skin)
{
    if (skin.load_skin(skin_path, 192))
        return true;
    state.SkipWithError("the program folder has no default skin");
    return false;
}

double processor_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// A screen made of one node of the skin.
std::unique_ptr<Element> screen_of(Properties& skin, StringView node)
{
    auto screen = std::make_unique<Element>(nullptr);
    screen->load_from_node(skin, node);
    return screen;
}

void BM_memcpy_frame(benchmark::State& state)
{
    auto from = PixelBuffer::create(frame_width, frame_height);
    auto to = PixelBuffer::create(frame_width, frame_height);
    from->clear(0x1234);
    const std::size_t bytes = static_cast<std::size_t>(from->pitch()) * frame_height;
    for (auto _ : state) {
        std::memcpy(to->row(0), from->row(0), bytes);
        benchmark::DoNotOptimize(to->row(0));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_memcpy_frame);

// Every frame copies the snapshot of the screen below, dims it and draws
// the overlay on top: the steady cost while a menu is open.
void BM_overlay_frame(benchmark::State& state)
{
    prepare_environment(false);
    Properties skin;
    if (!load_default_skin(state, skin))
        return;
    Application application(u"Pictavio");
    auto below = screen_of(skin, u"Main");
    auto overlay = screen_of(skin, u"Menu");
    application.show_screen(below.get(), false);
    application.show_screen(overlay.get(), true);
    auto frame = PixelBuffer::create(frame_width, frame_height);
    DrawTarget target(frame.get());
    for (auto _ : state) {
        application.render(target);
        benchmark::DoNotOptimize(frame->row(0));
    }
    state.counters["dim_level"] = application.dim_level();
    application.close_screen(overlay.get());
    application.close_screen(below.get());
}
BENCHMARK(BM_overlay_frame)->Unit(benchmark::kMicrosecond);

// Window mode with the start screen shown and nothing changing: frames
// drawn after the first second, and processor use over ten seconds.
void BM_idle_window(benchmark::State& state)
{
    prepare_environment(false);
    Properties skin;
    if (!load_default_skin(state, skin))
        return;
    Application application(u"Pictavio");
    auto screen = screen_of(skin, u"Splash");
    application.show_screen(screen.get(), false);
    GameBase& game_base = application.game_base();
    WindowSystem& windows = game_base.windows();
    auto run_for = [&](std::uint32_t milliseconds) {
        WindowId stopper = windows.create_message_window([&](const Message& message) {
            if (message.id == WM_TIMER)
                windows.post_quit_message(0);
            return std::intptr_t(0);
        });
        windows.set_timer(stopper, 1, milliseconds);
        game_base.run_message_loop();
        windows.destroy_window(stopper);
    };
    for (auto _ : state) {
        run_for(1000);
        const long long settled = game_base.frames_drawn();
        const double cpu_before = processor_seconds();
        const std::uint32_t start = get_tick_count();
        run_for(10000);
        const double wall = (get_tick_count() - start) * 0.001;
        state.counters["idle_frames"] = static_cast<double>(game_base.frames_drawn() - settled);
        state.counters["cpu_percent"] = 100.0 * (processor_seconds() - cpu_before) / wall;
    }
    application.close_screen(screen.get());
}
BENCHMARK(BM_idle_window)->Iterations(1)->Unit(benchmark::kMillisecond);

// From an empty process state to the first frame of the start screen in
// direct mode: Application and window, skin, start screen, one frame step.
void BM_start_to_first_frame(benchmark::State& state)
{
    prepare_environment(true);
    for (auto _ : state) {
        Properties skin;
        Application application(u"Pictavio");
        if (!load_default_skin(state, skin))
            return;
        GameBase& game_base = application.game_base();
        game_base.set_window_mode(false);
        game_base.set_direct_mode(0);
        StartScreen start(skin);
        game_base.frame_step();
        if (game_base.frames_drawn() != 1)
            state.SkipWithError("no first frame");
    }
}
BENCHMARK(BM_start_to_first_frame)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
