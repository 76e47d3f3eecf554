// Full-resolution tiles of progressive and arithmetic-coded pictures, which
// the preview serves from a baseline transcode kept beside it, against
// libjpeg-turbo, on generated photo-like pictures of 14 and 50 megapixels:
//   - the bottom-right full-resolution tile from the ready preview vs
//     jpeg_crop_scanline + jpeg_skip_scanlines of the same region
//     (target: at least 50x faster at 14 MP; the 50 MP tile within 1.5x of the 14 MP one);
//   - the preview build (transcode included) vs libjpeg's plain decode to RGB,
//     in time and in peak resident memory (each in a child process);
//   - the extra cache: the transcode's size in percent of the picture's.
// The progressive pictures are 4:4:4 (as many wallpapers are), the
// arithmetic ones 4:2:0. A summary is printed after the benchmarks.

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "library/cache_piece_creator.h"
#include "library/preview_file.h"
#include "pixels/render_surface.h"
#include "tests/library/preview_pictures.h"

namespace {

enum Kind { progressive = 0, arithmetic = 1 };

struct Picture {
    std::string path;
    int width;
    int height;
};

std::string g_root;
std::map<std::string, Picture> g_pictures;
std::map<std::string, double> g_figures;  // by name: CPU seconds, megabytes or percent

std::string key(Kind kind, int megapixels)
{
    return std::string(kind == progressive ? "progressive" : "arithmetic") + std::to_string(megapixels);
}

double cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

const Picture& picture(Kind kind, int megapixels)
{
    if (g_root.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "pictavio_benchXXXXXX").string();
        g_root = std::string(mkdtemp(pattern.data())) + "/";
        std::filesystem::create_directory(g_root + "!pictaviocache");
    }
    const std::string name = key(kind, megapixels);
    const auto found = g_pictures.find(name);
    if (found != g_pictures.end())
        return found->second;
    PictureSpec spec =
        megapixels == 50 ? PictureSpec{.width = 8192, .height = 6144} : PictureSpec{.width = 4608, .height = 3072};
    if (kind == progressive) {
        spec.progressive = true;
        spec.h_sampling = 1;
        spec.v_sampling = 1;
    } else {
        spec.arithmetic = true;
    }
    Picture made{g_root + name + ".jpg", spec.width, spec.height};
    if (!write_picture(made.path, spec))
        std::abort();
    return g_pictures.emplace(name, made).first->second;
}

// Decodes the picture to RGB rows with libjpeg: whole, or only the region of
// the bottom-right tile (columns cropped, rows above skipped).
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
        JDIMENSION x = static_cast<JDIMENSION>(p.width - 256);
        JDIMENSION width = 256;
        jpeg_crop_scanline(&cinfo, &x, &width);
        jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(p.height - 256));
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

// Runs work in a child process; its CPU seconds and peak resident megabytes.
template <typename Work>
std::pair<double, double> in_child(Work work)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(work() ? 0 : 1);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::abort();
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return {cpu, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

bool build(const Picture& p)
{
    return build_preview(from_utf8(p.path), from_utf8(g_root)) == PreviewBuild::ready;
}

// Build and plain decode, each in a child process (fastest CPU time of the
// iterations, peak memory of the last), and the sizes of what the build left.
void BM_BuildAgainstDecode(benchmark::State& state)
{
    const Kind kind = static_cast<Kind>(state.range(0));
    const int megapixels = static_cast<int>(state.range(1));
    const Picture& p = picture(kind, megapixels);
    const std::string name = key(kind, megapixels);
    double build_cpu = 0, decode_cpu = 0, build_mb = 0, decode_mb = 0;
    for (auto _ : state) {
        const auto [bc, bm] = in_child([&] { return build(p); });
        const auto [dc, dm] = in_child([&] {
            libjpeg_decode(p, false);
            return true;
        });
        build_cpu = build_cpu == 0 ? bc : std::min(build_cpu, bc);
        decode_cpu = decode_cpu == 0 ? dc : std::min(decode_cpu, dc);
        build_mb = bm;
        decode_mb = dm;
    }
    const String preview = preview_path(from_utf8(p.path), from_utf8(g_root));
    const double picture_bytes = static_cast<double>(std::filesystem::file_size(p.path));
    g_figures["build_cpu_" + name] = build_cpu;
    g_figures["decode_cpu_" + name] = decode_cpu;
    g_figures["build_mb_" + name] = build_mb;
    g_figures["decode_mb_" + name] = decode_mb;
    g_figures["transcode_pct_" + name] =
        100.0 * static_cast<double>(std::filesystem::file_size(to_utf8(transcode_path(preview)))) / picture_bytes;
    g_figures["preview_pct_" + name] =
        100.0 * static_cast<double>(std::filesystem::file_size(to_utf8(preview))) / picture_bytes;
    state.counters["build_cpu_s"] = build_cpu;
    state.counters["decode_cpu_s"] = decode_cpu;
}

// The bottom-right full-resolution tile from the ready preview.
void BM_TileFromPreview(benchmark::State& state)
{
    const Kind kind = static_cast<Kind>(state.range(0));
    const Picture& p = picture(kind, static_cast<int>(state.range(1)));
    if (!is_preview_ready(from_utf8(p.path), from_utf8(g_root)) && !build(p))
        std::abort();
    CachePieceCreator creator(from_utf8(p.path), from_utf8(g_root));
    const Size tiles = tile_count(creator.size());
    if (!creator.ok() || !creator.get_piece(tiles.width - 1, tiles.height - 1, creator.levels()))
        std::abort();
    const double begin = cpu_seconds();
    for (auto _ : state)
        benchmark::DoNotOptimize(creator.get_piece(tiles.width - 1, tiles.height - 1, creator.levels()));
    g_figures["tile_" + key(kind, static_cast<int>(state.range(1)))] =
        (cpu_seconds() - begin) / static_cast<double>(state.iterations());
}

// libjpeg-turbo's fastest way to the same region.
void BM_LibjpegCropSkip(benchmark::State& state)
{
    const Kind kind = static_cast<Kind>(state.range(0));
    const Picture& p = picture(kind, static_cast<int>(state.range(1)));
    const double begin = cpu_seconds();
    for (auto _ : state)
        libjpeg_decode(p, true);
    g_figures["crop_" + key(kind, static_cast<int>(state.range(1)))] =
        (cpu_seconds() - begin) / static_cast<double>(state.iterations());
}

void pictures(benchmark::internal::Benchmark* b)
{
    for (const int kind : {progressive, arithmetic})
        for (const int megapixels : {14, 50})
            b->Args({kind, megapixels});
}

BENCHMARK(BM_BuildAgainstDecode)->Apply(pictures)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_TileFromPreview)->Apply(pictures)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibjpegCropSkip)->Apply(pictures)->Unit(benchmark::kMillisecond)->Iterations(3);

double figure(const std::string& name)
{
    const auto found = g_figures.find(name);
    return found == g_figures.end() ? 0.0 : found->second;
}

double ratio(const std::string& a, const std::string& b)
{
    return figure(b) > 0 ? figure(a) / figure(b) : 0.0;
}

void print_summary()
{
    std::printf("\nsummary (process CPU time; children for build and decode)\n");
    for (const Kind kind : {progressive, arithmetic}) {
        for (const int mp : {14, 50}) {
            const std::string k = key(kind, mp);
            std::printf("%-13s tile %.3f ms, crop+skip %.1f ms: %.0fx faster (target >= 50 at 14 MP)\n", k.c_str(),
                        figure("tile_" + k) * 1e3, figure("crop_" + k) * 1e3, ratio("crop_" + k, "tile_" + k));
            std::printf("%-13s build %.2f s, %.0f MB peak; libjpeg decode %.2f s, %.0f MB peak\n", k.c_str(),
                        figure("build_cpu_" + k), figure("build_mb_" + k), figure("decode_cpu_" + k),
                        figure("decode_mb_" + k));
            std::printf("%-13s cache: transcode %.1f%% + preview %.1f%% of the picture\n", k.c_str(),
                        figure("transcode_pct_" + k), figure("preview_pct_" + k));
        }
        const std::string name = kind == progressive ? "progressive" : "arithmetic";
        std::printf("%-13s tile 50 MP / tile 14 MP = %.2f (target <= 1.5)\n", name.c_str(),
                    ratio("tile_" + name + "50", "tile_" + name + "14"));
    }
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
