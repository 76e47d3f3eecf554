// The album and folder screens on the default skin at 480 x 640 (192 dpi):
// building the album screen over 1,000 albums, a frame while the album list
// is flung, and opening an album of 2,000 pictures with ready previews (the
// first frame, and every frame until the last thumbnail is in).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>
#include "elements/element_types.h"
#include "elements/virtual_list.h"
#include "library/folders_ini.h"
#include "library/photo_library.h"
#include "library/preview_file.h"
#include "screens/album_screen.h"
#include "screens/folder_screen.h"
#include "skin/element_type_registry.h"
#include "skin/properties.h"
#include "tests/library/preview_pictures.h"

namespace {

namespace fs = std::filesystem;

constexpr Size screen_size{480, 640};
constexpr int album_count = 1000;
constexpr int picture_count = 2000;

// The skin, the element kinds and a tree of albums and pictures, made once.
struct World {
    World()
    {
        char pattern[] = "/tmp/pictavio_bench_screensXXXXXX";
        root = mkdtemp(pattern);
        setenv("PICTAVIO_REGISTRY", (root + "/registry").c_str(), 1);
        ElementTypeRegistry& registry = ElementTypeRegistry::instance();
        if (!registry.is_registered(u"node"))
            register_element_types(registry);
        skin.load_skin(from_utf8(std::string(PICTAVIO_PROGRAM_DIR) + "/skins/bin/default.skin"), 192);
        make_album_list();
        make_big_album();
    }
    ~World() { fs::remove_all(root); }

    // folders.ini with 1,000 albums whose key pictures have no preview.
    void make_album_list()
    {
        std::vector<Folder> folders;
        for (int i = 0; i < album_count; ++i) {
            Folder folder;
            folder.drive_path = from_utf8(root) + u"/";
            folder.folder_path = from_utf8(root + "/album" + std::to_string(i) + "/");
            folder.key_picture_path = folder.folder_path + u"key.jpg";
            folder.size = 20;
            folders.push_back(folder);
        }
        write_folders_file(from_utf8(root + "/folders.ini"), folders);
    }

    // One album of 2,000 small pictures, every preview built.
    void make_big_album()
    {
        fs::create_directories(root + "/big");
        fs::create_directories(root + "/!pictaviocache");
        for (int i = 0; i < picture_count; ++i) {
            PictureSpec spec;
            spec.width = 64;
            spec.height = 48;
            spec.seed = static_cast<unsigned>(i + 1);
            const std::string path = root + "/big/" + std::to_string(100000 + i) + ".jpg";
            write_picture(path, spec);
            build_preview(from_utf8(path), from_utf8(root + "/"));
        }
        big_album.drive_path = from_utf8(root) + u"/";
        big_album.folder_path = from_utf8(root + "/big/");
        big_album.key_picture_path = from_utf8(root + "/big/100000.jpg");
        big_album.size = picture_count;
    }

    std::string root;
    Properties skin;
    Folder big_album;
};

World& world()
{
    static World instance;
    return instance;
}

void place_and_draw(Element& screen, RenderSurface& surface, double seconds)
{
    // Screens are hidden until the application shows them.
    screen.set_visible(true);
    screen.update(seconds);
    screen.set_horizontal(0, screen_size.width);
    screen.set_vertical(0, screen_size.height);
    screen.draw(surface, Point{0, 0});
}

// Reading folders.ini with 1,000 albums, building the album screen and drawing its first frame.
void BM_AlbumScreenStart(benchmark::State& state)
{
    World& w = world();
    RenderSurface surface(screen_size);
    for (auto _ : state) {
        PhotoLibrary library(from_utf8(w.root + "/folders.ini"), false);
        AlbumScreen screen(w.skin);
        place_and_draw(screen, surface, 0.02);
        benchmark::DoNotOptimize(screen.list()->count());
    }
}
BENCHMARK(BM_AlbumScreenStart)->Unit(benchmark::kMillisecond);

// One frame (update, layout, draw) while the album list coasts after a fling.
void BM_AlbumListFlingFrame(benchmark::State& state)
{
    World& w = world();
    PhotoLibrary library(from_utf8(w.root + "/folders.ini"), false);
    AlbumScreen screen(w.skin);
    RenderSurface surface(screen_size);
    place_and_draw(screen, surface, 0.02);
    VirtualList& list = *screen.list();
    int time = 0;
    auto fling = [&] {
        const int x = list.x() + list.width() / 2;
        int y = list.y() + list.height() - 20;
        list.on_stylus({x, y, time, 0, true, false});
        for (int step = 0; step < 5; ++step) {
            y -= 60;
            time += 10;
            list.on_stylus_move({x, y, time});
        }
        list.on_stylus({x, y, time, 0, false, false});
    };
    fling();
    for (auto _ : state) {
        if (list.velocity() == 0.0)
            fling();
        time += 20;
        place_and_draw(screen, surface, 0.02);
    }
    state.counters["first_row"] = list.before_first() + 1;
}
BENCHMARK(BM_AlbumListFlingFrame)->Unit(benchmark::kMicrosecond);

// Opening the album of 2,000 pictures up to its first drawn frame.
void BM_FolderOpenFirstFrame(benchmark::State& state)
{
    World& w = world();
    PhotoLibrary library(from_utf8(w.root + "/folders.ini"), false);
    FolderScreen screen(w.skin);
    RenderSurface surface(screen_size);
    place_and_draw(screen, surface, 0.02);
    for (auto _ : state) {
        screen.open(w.big_album);
        place_and_draw(screen, surface, 0.02);
    }
}
BENCHMARK(BM_FolderOpenFirstFrame)->Unit(benchmark::kMillisecond);

// Opening the album and running frames until the last thumbnail is loaded.
void BM_FolderOpenToLastThumbnail(benchmark::State& state)
{
    World& w = world();
    PhotoLibrary library(from_utf8(w.root + "/folders.ini"), false);
    FolderScreen screen(w.skin);
    RenderSurface surface(screen_size);
    place_and_draw(screen, surface, 0.02);
    int frames = 0;
    for (auto _ : state) {
        screen.open(w.big_album);
        frames = 0;
        while (screen.next_load() < static_cast<int>(screen.pictures().size())) {
            place_and_draw(screen, surface, 0.02);
            ++frames;
        }
    }
    state.counters["frames"] = frames;
}
BENCHMARK(BM_FolderOpenToLastThumbnail)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
