// The picture viewer on the default skin at 480 x 640: a tap on a 24 MP
// picture with a ready preview until every visible tile is in, against a
// plain full decode of the same picture with libjpeg; zooming a 50 MP
// picture from fit to full resolution until the view is sharp; frames while
// dragging at full resolution, alone and while the library's preview workers
// build previews of 12 MP pictures (worst frame under 33 ms); and the peak resident memory while stepping
// through 50 large pictures that are decoded directly (sampled after each
// picture is sharp).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>
#include "elements/element_types.h"
#include "library/jpeg_decoder.h"
#include "library/photo_library.h"
#include "library/preview_file.h"
#include "platform/file.h"
#include "platform/window_system.h"
#include "screens/viewer.h"
#include "shell/active_scheduler.h"
#include "skin/element_type_registry.h"
#include "skin/properties.h"
#include "tests/library/preview_pictures.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr Size screen_size{480, 640};
constexpr int swipe_count = 50;

CommandLineOptions window_options()
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    CommandLineOptions options;
    options.width = screen_size.width;
    options.height = screen_size.height;
    return options;
}

// Resident memory now, in MiB.
double resident_mib()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024.0) / 1024.0;
}

// The skin, the element kinds, the scheduler of the tap timer and the pictures, made once.
struct World {
    World() : windows(window_options()), scheduler(windows)
    {
        char pattern[] = "/tmp/pictavio_bench_viewerXXXXXX";
        root = mkdtemp(pattern);
        root += "/";
        setenv("PICTAVIO_REGISTRY", (root + "registry").c_str(), 1);
        ElementTypeRegistry& registry = ElementTypeRegistry::instance();
        if (!registry.is_registered(u"node"))
            register_element_types(registry);
        big_picture = std::make_unique<BigPictureRegistration>();
        skin.load_skin(from_utf8(std::string(PICTAVIO_PROGRAM_DIR) + "/skins/bin/default.skin"), 192);
        fs::create_directories(root + "album");
        fs::create_directories(root + "many");
        fs::create_directories(root + "!pictaviocache");
        picture_24 = make_picture("album/24mp.jpg", 6000, 4000, true);
        picture_50 = make_picture("album/50mp.jpg", 8660, 5773, true);
        // Hard links of one 12 MP picture without previews: each is decoded directly.
        const String many = make_picture("many/000.jpg", 4000, 3000, false);
        swipe_pictures.push_back(many);
        for (int i = 1; i < swipe_count; ++i) {
            const std::string name = root + "many/" + std::to_string(1000 + i) + ".jpg";
            fs::create_hard_link(to_utf8(many), name);
            swipe_pictures.push_back(from_utf8(name));
        }
        viewer = std::make_unique<PictureViewer>(skin, from_utf8(std::string(PICTAVIO_PROGRAM_DIR) + "/skins/bin/"));
        viewer->set_horizontal(0, screen_size.width);
        viewer->set_vertical(0, screen_size.height);
    }
    ~World()
    {
        viewer.reset();
        fs::remove_all(root);
    }

    String make_picture(const std::string& name, int width, int height, bool preview)
    {
        PictureSpec spec;
        spec.width = width;
        spec.height = height;
        spec.seed = static_cast<unsigned>(width);
        const std::string path = root + name;
        write_picture(path, spec);
        if (preview)
            build_preview(from_utf8(path), from_utf8(root));
        return from_utf8(path);
    }

    void frame(double seconds = 0.01)
    {
        viewer->update(seconds);
        viewer->draw(surface, {0, 0});
    }
    // Frames until every visible tile of the current picture is in.
    int frames_until_sharp()
    {
        int frames = 0;
        const auto end = Clock::now() + std::chrono::seconds(60);
        do {
            frame();
            ++frames;
            std::this_thread::yield();
        } while (!(viewer->pane_at(1).all_visible_tiles_real() && !viewer->pane_at(1).is_zooming()) &&
                 Clock::now() < end);
        return frames;
    }

    WindowSystem windows;
    CActiveScheduler scheduler;
    Properties skin;
    std::unique_ptr<BigPictureRegistration> big_picture;
    std::string root;
    String picture_24;
    String picture_50;
    std::vector<String> swipe_pictures;
    std::unique_ptr<PictureViewer> viewer;
    RenderSurface surface{screen_size};
};

World& world()
{
    static World instance;
    return instance;
}

// A tap on the thumbnail: the viewer opens and runs frames until the view is sharp.
void BM_TapToAllVisibleTiles24MP(benchmark::State& state)
{
    World& w = world();
    int frames = 0;
    for (auto _ : state) {
        w.viewer->open({w.picture_24, w.picture_50}, 0, from_utf8(w.root));
        frames = w.frames_until_sharp();
    }
    state.counters["frames"] = frames;
}
BENCHMARK(BM_TapToAllVisibleTiles24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// What an ordinary viewer does before it shows anything: the whole picture decoded.
void BM_LibjpegFullDecode24MP(benchmark::State& state)
{
    World& w = world();
    std::vector<std::uint8_t> row;
    for (auto _ : state) {
        File file(w.picture_24, File::read_mode);
        JpegDecoder decoder;
        decoder.open(file, file.size());
        decoder.start();
        row.resize(static_cast<std::size_t>(decoder.output_width()) * 3);
        while (decoder.current_scanline() < decoder.output_height())
            if (!decoder.read_scanline(row.data()))
                break;
        benchmark::DoNotOptimize(row.data());
    }
}
BENCHMARK(BM_LibjpegFullDecode24MP)->Unit(benchmark::kMillisecond)->Iterations(3);

// From the fit zoom to full resolution with the zoom buttons' animation, until the view is sharp.
void BM_ZoomFitToFull50MP(benchmark::State& state)
{
    World& w = world();
    for (auto _ : state) {
        state.PauseTiming();
        w.viewer->open({w.picture_50}, 0, from_utf8(w.root));
        w.frames_until_sharp();
        state.ResumeTiming();
        PicturePane& pane = w.viewer->pane_at(1);
        pane.zoom_towards_center(pane.top_level());
        state.counters["frames"] = w.frames_until_sharp();
    }
}
BENCHMARK(BM_ZoomFitToFull50MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// One frame while the picture is dragged at full resolution (tiles arrive meanwhile).
void BM_DragFrameAtFull50MP(benchmark::State& state)
{
    World& w = world();
    w.viewer->open({w.picture_50}, 0, from_utf8(w.root));
    PicturePane& pane = w.viewer->pane_at(1);
    pane.set_zoom(pane.top_level());
    w.frames_until_sharp();
    int frames = 0;
    double slowest = 0.0;
    for (auto _ : state) {
        const auto start = Clock::now();
        pane.scroll_by((frames / 200) % 2 ? -12.0 : 12.0, 3.0 * ((frames / 100) % 2 ? -1 : 1));
        w.frame(0.016);
        slowest = std::max(slowest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        ++frames;
    }
    state.counters["slowest_ms"] = slowest;
}
BENCHMARK(BM_DragFrameAtFull50MP)->Unit(benchmark::kMillisecond)->Iterations(800);

// The same drag while the library builds the previews of eight 12 MP pictures
// on every core: frames over 33 ms are counted as late.
void BM_DragFrameWhileBuildingPreviews(benchmark::State& state)
{
    World& w = world();
    fs::create_directories(w.root + "building");
    std::vector<String> pictures;
    for (int i = 0; i < 8; ++i) {
        PictureSpec spec;
        spec.width = 4000;
        spec.height = 3000;
        spec.seed = static_cast<unsigned>(100 + i);
        const std::string path = w.root + "building/" + std::to_string(i) + ".jpg";
        write_picture(path, spec);
        pictures.push_back(from_utf8(path));
    }
    w.viewer->open({w.picture_50}, 0, from_utf8(w.root));
    PicturePane& pane = w.viewer->pane_at(1);
    pane.set_zoom(pane.top_level());
    w.frames_until_sharp();
    PhotoLibrary library(from_utf8(w.root + "folders.ini"));
    for (const String& picture : pictures)
        library.add_picture(picture, from_utf8(w.root));
    int frames = 0;
    int late = 0;
    double slowest = 0.0;
    for (auto _ : state) {
        const auto start = Clock::now();
        pane.scroll_by((frames / 200) % 2 ? -12.0 : 12.0, 3.0 * ((frames / 100) % 2 ? -1 : 1));
        w.frame(0.016);
        const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        slowest = std::max(slowest, milliseconds);
        late += milliseconds > 33.0 ? 1 : 0;
        ++frames;
    }
    int built = 0;
    for (const String& picture : pictures)
        built += is_preview_ready(picture, from_utf8(w.root)) ? 1 : 0;
    state.counters["slowest_ms"] = slowest;
    state.counters["late_frames"] = late;
    state.counters["previews_built_meanwhile"] = built;
}
BENCHMARK(BM_DragFrameWhileBuildingPreviews)->Unit(benchmark::kMillisecond)->Iterations(800);

// Steps through 50 large pictures, each shown sharp; the peak resident memory stays bounded.
void BM_StepThroughFiftyLargePictures(benchmark::State& state)
{
    World& w = world();
    const double before = resident_mib();
    double most = before;
    int most_queued = 0;
    for (auto _ : state) {
        w.viewer->open(w.swipe_pictures, 0, from_utf8(w.root));
        w.frames_until_sharp();
        for (int i = 1; i < swipe_count; ++i) {
            w.viewer->step_right();
            w.frame();
            most_queued = std::max(most_queued, w.viewer->queued_count());
            w.frames_until_sharp();
            most = std::max(most, resident_mib());
        }
    }
    state.counters["rss_before_MiB"] = before;
    state.counters["rss_peak_MiB"] = most;
    state.counters["most_queued"] = most_queued;
}
BENCHMARK(BM_StepThroughFiftyLargePictures)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
