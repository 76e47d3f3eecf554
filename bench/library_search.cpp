// The drive search and the preview building of the photo library, each beside
// a reference over the same files:
// - a search of 20,000 pictures in 1,000 folders (no previews yet, and again
//   with a file in the preview folder, which makes it read identities) against
//   find ROOT -iname '*.jpg' -o -iname '*.jpeg', run at normal priority and at
//   the worker's (nice 5); besides the wall time each reports the processor
//   time it took (all threads of this process, or find and its shell) as cpu_ms,
//   since the machine may be busy with other work;
// - the walk alone (the pictures and their sizes and times, no preview names);
// - a library of 40 pictures of 12 megapixels: the search and every preview
//   (the preview workers on every core) against libjpeg's plain decode of each
//   picture once, one after the other (target: at most 0.8 of it in wall time
//   on two cores); both report their processor time too.

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "library/drive_search.h"
#include "library/photo_library.h"
#include "tests/library/preview_pictures.h"

namespace {

constexpr int search_folders = 1000;
constexpr int pictures_per_folder = 20;
constexpr int big_pictures = 40;

// The trees live for the whole run; they are removed at exit.
struct BenchTrees {
    BenchTrees()
    {
        char pattern[] = "/tmp/pictavio_benchXXXXXX";
        const char* made = mkdtemp(pattern);
        root = made ? made : "";
        setenv("PICTAVIO_REGISTRY", (root + "/registry").c_str(), 1);
        setenv("PICTAVIO_MY_DOCUMENTS", (root + "/docs").c_str(), 1);
        std::filesystem::create_directories(root + "/docs");
        make_search_tree();
        make_big_pictures();
    }
    ~BenchTrees()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    void make_search_tree()
    {
        const std::string sample = root + "/sample.jpg";
        PictureSpec spec;
        spec.width = 16;
        spec.height = 16;
        write_picture(sample, spec);
        std::ifstream in(sample, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (int folder = 0; folder < search_folders; ++folder) {
            // Ten folders at the top, each holding a hundred albums.
            const std::string dir =
                search_root() + "/g" + std::to_string(folder % 10) + "/album" + std::to_string(folder);
            std::filesystem::create_directories(dir);
            for (int n = 0; n < pictures_per_folder; ++n) {
                const char* extension = n % 4 == 3 ? ".jpeg" : ".JPG";
                std::ofstream(dir + "/p" + std::to_string(n) + extension, std::ios::binary) << bytes;
            }
        }
    }

    void make_big_pictures()
    {
        std::filesystem::create_directories(big_root() + "/album");
        for (int n = 0; n < big_pictures; ++n) {
            PictureSpec spec;
            spec.width = 4000;
            spec.height = 3000;
            spec.seed = static_cast<unsigned>(n + 1);
            write_picture(big_picture(n), spec);
        }
    }

    std::string search_root() const { return root + "/cards/search"; }
    std::string big_root() const { return root + "/cards/big"; }
    std::string big_picture(int n) const { return big_root() + "/album/p" + std::to_string(n) + ".jpg"; }

    std::string root;
};

BenchTrees& trees()
{
    static BenchTrees instance;
    return instance;
}

void remove_previews(const std::string& card)
{
    std::error_code ignored;
    std::filesystem::remove_all(card + "/!pictaviocache", ignored);
}

// Processor seconds of this process (every thread) or of its waited-for children.
double cpu_seconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Reports the processor time per iteration beside the wall time.
void report_cpu(benchmark::State& state, double seconds)
{
    state.counters["cpu_ms"] = benchmark::Counter(seconds * 1000.0, benchmark::Counter::kAvgIterations);
}

// Stops at the first search_complete event.
class SearchWatcher : public LibraryObserver {
public:
    void on_library_event(const LibraryEvent& event) override { done = done || event.search_complete; }
    bool done = false;
};

// Arg 0: a first search, the preview folder empty. Arg 1: a search again,
// with a (stale) file in the preview folder, so that the walk reads every
// picture's identity and the search names every picture.
void BM_LibrarySearch(benchmark::State& state)
{
    BenchTrees& bench = trees();
    setenv("PICTAVIO_CARDS", bench.search_root().c_str(), 1);
    const String ini = from_utf8(bench.root + "/folders.ini");
    int albums = 0;
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        remove_previews(bench.search_root());
        if (state.range(0) == 1) {
            std::filesystem::create_directories(bench.search_root() + "/!pictaviocache");
            std::ofstream(bench.search_root() + "/!pictaviocache/stale") << "not a preview";
        }
        state.ResumeTiming();
        const double cpu_start = cpu_seconds(RUSAGE_SELF);
        PhotoLibrary library(ini);
        SearchWatcher watcher;
        library.add_observer(&watcher);
        library.need_search();
        while (!watcher.done) {
            library.wait_until_idle(1);
            library.dispatch_events();
        }
        albums = library.get_folders_size();
        library.remove_observer(&watcher);
        // The library's destruction cuts the preview building short.
        cpu += cpu_seconds(RUSAGE_SELF) - cpu_start;
    }
    report_cpu(state, cpu);
    state.counters["albums"] = albums;
    state.counters["pictures"] = search_folders * pictures_per_folder;
}
BENCHMARK(BM_LibrarySearch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// niceness is that of the library's worker (priority below normal) or 0.
void BM_FindSearch(benchmark::State& state)
{
    const std::string command = "nice -n " + std::to_string(state.range(0)) + " find '" + trees().search_root() +
                                "' -iname '*.jpg' -o -iname '*.jpeg' > /dev/null";
    const double cpu_start = cpu_seconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("find failed");
    }
    report_cpu(state, cpu_seconds(RUSAGE_CHILDREN) - cpu_start);
}
BENCHMARK(BM_FindSearch)->Arg(0)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The walk of the search without the library around it.
void BM_PictureWalk(benchmark::State& state)
{
    const String root = from_utf8(trees().search_root() + "/");
    std::size_t pictures = 0;
    const double cpu_start = cpu_seconds(RUSAGE_SELF);
    for (auto _ : state)
        pictures = find_pictures(root, {}).size();
    report_cpu(state, cpu_seconds(RUSAGE_SELF) - cpu_start);
    state.counters["pictures"] = static_cast<double>(pictures);
}
BENCHMARK(BM_PictureWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_LibrarySearchAndPreviews12MP(benchmark::State& state)
{
    BenchTrees& bench = trees();
    setenv("PICTAVIO_CARDS", bench.big_root().c_str(), 1);
    const String ini = from_utf8(bench.root + "/folders_big.ini");
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        remove_previews(bench.big_root());
        state.ResumeTiming();
        const double cpu_start = cpu_seconds(RUSAGE_SELF);
        PhotoLibrary library(ini);
        library.need_search();
        while (!library.wait_until_idle(10))
            library.dispatch_events();
        cpu += cpu_seconds(RUSAGE_SELF) - cpu_start;
    }
    report_cpu(state, cpu);
    state.SetItemsProcessed(state.iterations() * big_pictures);
}
BENCHMARK(BM_LibrarySearchAndPreviews12MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_LibjpegDecode12MP(benchmark::State& state)
{
    BenchTrees& bench = trees();
    const double cpu_start = cpu_seconds(RUSAGE_SELF);
    for (auto _ : state) {
        for (int n = 0; n < big_pictures; ++n) {
            FILE* file = std::fopen(bench.big_picture(n).c_str(), "rb");
            if (!file) {
                state.SkipWithError("picture missing");
                return;
            }
            jpeg_decompress_struct cinfo;
            jpeg_error_mgr jerr;
            cinfo.err = jpeg_std_error(&jerr);
            jpeg_create_decompress(&cinfo);
            jpeg_stdio_src(&cinfo, file);
            jpeg_read_header(&cinfo, TRUE);
            jpeg_start_decompress(&cinfo);
            std::vector<JSAMPLE> row(static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components);
            while (cinfo.output_scanline < cinfo.output_height) {
                JSAMPROW rows[1] = {row.data()};
                jpeg_read_scanlines(&cinfo, rows, 1);
            }
            jpeg_finish_decompress(&cinfo);
            jpeg_destroy_decompress(&cinfo);
            std::fclose(file);
            benchmark::DoNotOptimize(row.data());
        }
    }
    report_cpu(state, cpu_seconds(RUSAGE_SELF) - cpu_start);
    state.SetItemsProcessed(state.iterations() * big_pictures);
}
BENCHMARK(BM_LibjpegDecode12MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
