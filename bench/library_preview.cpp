// Preview files and tiles against libjpeg-turbo, on generated photo-like
// pictures of 50 and 12 megapixels (written once into a temporary folder):
//   - building the whole preview file vs libjpeg's decode of the picture to RGB
//     (target: at most 1.3x in process CPU time; a baseline picture is
//     entropy-decoded once, its records and first level from one pass);
//   - the full-resolution bottom-right tile from the ready preview vs
//     jpeg_crop_scanline + jpeg_skip_scanlines for the same region
//     (target: at least 20x faster; 50 MP within 1.5x of 12 MP);
//   - peak resident memory of `pictavio-preview build` on the 50 MP picture
//     (target: at most 48 MB).
// Both pictures are whole multiples of 256 pixels, so the two bottom-right
// tiles have the same size. A summary with the ratios is printed after the
// benchmarks.

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

#include "library/cache_piece_creator.h"
#include "library/preview_file.h"
#include "pixels/render_surface.h"
#include "tests/library/preview_pictures.h"

namespace {

struct Picture {
    std::string path;
    int width;
    int height;
};

std::string g_root;
std::map<int, Picture> g_pictures;        // by megapixels
std::map<std::string, double> g_seconds;  // mean wall seconds per iteration, by benchmark name
std::map<std::string, double> g_cpu;      // mean process CPU seconds per iteration

double cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

const Picture& picture(int megapixels)
{
    if (g_root.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "pictavio_benchXXXXXX").string();
        g_root = std::string(mkdtemp(pattern.data())) + "/";
        std::filesystem::create_directory(g_root + "!pictaviocache");
    }
    auto found = g_pictures.find(megapixels);
    if (found != g_pictures.end())
        return found->second;
    const PictureSpec spec = megapixels == 50 ? PictureSpec{.width = 8192, .height = 6144, .quality = 90}
                                              : PictureSpec{.width = 4096, .height = 3072, .quality = 90};
    Picture made{g_root + "photo" + std::to_string(megapixels) + ".jpg", spec.width, spec.height};
    if (!write_picture(made.path, spec))
        std::abort();
    return g_pictures.emplace(megapixels, made).first->second;
}

// Runs the loop and remembers the mean time per iteration for the summary.
template <typename Body>
void timed(benchmark::State& state, const std::string& name, Body body)
{
    const auto begin = std::chrono::steady_clock::now();
    const double cpu_begin = cpu_seconds();
    for (auto _ : state)
        body();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    g_seconds[name] = seconds / static_cast<double>(state.iterations());
    g_cpu[name] = (cpu_seconds() - cpu_begin) / static_cast<double>(state.iterations());
}

// For the whole-picture runs: each iteration is timed on its own and the
// fastest one (wall and process CPU apart, all threads counted) is kept, since
// other programs on a shared machine can only slow an iteration down.
template <typename Body>
void timed_best(benchmark::State& state, const std::string& name, Body body)
{
    double best_wall = 0;
    double best_cpu = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        const double cpu_begin = cpu_seconds();
        body();
        const double cpu = cpu_seconds() - cpu_begin;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        best_wall = best_wall == 0 ? wall : std::min(best_wall, wall);
        best_cpu = best_cpu == 0 ? cpu : std::min(best_cpu, cpu);
    }
    g_seconds[name] = best_wall;
    g_cpu[name] = best_cpu;
}

void build_preview_of(const Picture& p)
{
    if (build_preview(from_utf8(p.path), from_utf8(g_root)) != PreviewBuild::ready)
        std::abort();
}

void BM_BuildPreview(benchmark::State& state)
{
    const Picture& p = picture(static_cast<int>(state.range(0)));
    timed_best(state, "build" + std::to_string(state.range(0)), [&] { build_preview_of(p); });
}

// Decodes the picture to RGB rows with libjpeg. With last_tile set, only the
// region of the bottom-right 256-pixel tile is decoded, in libjpeg-turbo's
// fastest way: the columns cropped, the rows above skipped.
void libjpeg_decode(const Picture& p, bool last_tile)
{
    FILE* file = std::fopen(p.path.c_str(), "rb");
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (last_tile) {
        const int left = (p.width - 1) / 256 * 256;
        const int top = (p.height - 1) / 256 * 256;
        JDIMENSION x = static_cast<JDIMENSION>(left);
        JDIMENSION width = static_cast<JDIMENSION>(p.width - left);
        jpeg_crop_scanline(&cinfo, &x, &width);
        jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(top));
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(cinfo.output_width) * 3);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height)
        jpeg_read_scanlines(&cinfo, rows, 1);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    benchmark::DoNotOptimize(row.data());
}

void BM_LibjpegDecodeToRgb(benchmark::State& state)
{
    const Picture& p = picture(static_cast<int>(state.range(0)));
    timed_best(state, "decode" + std::to_string(state.range(0)), [&] { libjpeg_decode(p, false); });
}

void BM_TileFromPreview(benchmark::State& state)
{
    const Picture& p = picture(static_cast<int>(state.range(0)));
    if (!is_preview_ready(from_utf8(p.path), from_utf8(g_root)))
        build_preview_of(p);
    CachePieceCreator creator(from_utf8(p.path), from_utf8(g_root));
    const Size tiles = tile_count(creator.size());
    if (!creator.ok() || !creator.get_piece(tiles.width - 1, tiles.height - 1, creator.levels()))
        std::abort();
    timed(state, "tile" + std::to_string(state.range(0)),
          [&] { benchmark::DoNotOptimize(creator.get_piece(tiles.width - 1, tiles.height - 1, creator.levels())); });
}

// libjpeg-turbo's fastest way to the same region as the tile above.
void BM_LibjpegCropSkip(benchmark::State& state)
{
    const Picture& p = picture(static_cast<int>(state.range(0)));
    timed(state, "crop" + std::to_string(state.range(0)), [&] { libjpeg_decode(p, true); });
}

// Peak resident set of the command-line tool building the preview, from the
// child's resource usage.
void BM_BuildPeakMemory(benchmark::State& state)
{
    const Picture& p = picture(static_cast<int>(state.range(0)));
    const std::string tool = std::string(PICTAVIO_TOOLS_DIR) + "/pictavio-preview";
    long peak_kb = 0;
    for (auto _ : state) {
        const pid_t child = fork();
        if (child == 0) {
            std::freopen("/dev/null", "w", stdout);
            execl(tool.c_str(), tool.c_str(), "build", p.path.c_str(), g_root.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("pictavio-preview build failed (is the tool built?)");
            return;
        }
        peak_kb = usage.ru_maxrss;
    }
    state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024.0;
    g_seconds["peak_mb" + std::to_string(state.range(0))] = static_cast<double>(peak_kb) / 1024.0;
}

BENCHMARK(BM_BuildPreview)->Arg(12)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LibjpegDecodeToRgb)->Arg(12)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_TileFromPreview)->Arg(12)->Arg(50)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibjpegCropSkip)->Arg(12)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildPeakMemory)->Arg(50)->Unit(benchmark::kMillisecond)->Iterations(1);

// Ratios by wall time and, since the machine may be shared, by CPU time.
void print_summary()
{
    auto ratio = [](const std::map<std::string, double>& times, const std::string& a, const std::string& b) {
        const auto x = times.find(a), y = times.find(b);
        return x == times.end() || y == times.end() || y->second <= 0 ? 0.0 : x->second / y->second;
    };
    std::printf("\nsummary (wall / process cpu; whole-picture runs: fastest of their iterations)\n");
    for (const int mp : {12, 50}) {
        const std::string m = std::to_string(mp);
        std::printf("%2d MP: build preview / libjpeg decode = %.2fx / %.2fx (target: cpu <= 1.3)\n", mp,
                    ratio(g_seconds, "build" + m, "decode" + m), ratio(g_cpu, "build" + m, "decode" + m));
        std::printf("%2d MP: crop+skip / preview tile = %.1fx / %.1fx faster (target >= 20)\n", mp,
                    ratio(g_seconds, "crop" + m, "tile" + m), ratio(g_cpu, "crop" + m, "tile" + m));
    }
    std::printf("tile 50 MP / tile 12 MP = %.2f / %.2f (target <= 1.5)\n", ratio(g_seconds, "tile50", "tile12"),
                ratio(g_cpu, "tile50", "tile12"));
    const auto peak = g_seconds.find("peak_mb50");
    if (peak != g_seconds.end())
        std::printf("peak RSS building the 50 MP preview = %.1f MB (target <= 48)\n", peak->second);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_summary();
    if (!g_root.empty())
        std::filesystem::remove_all(g_root);
    return 0;
}
