// Pictures with EXIF data, on generated photo-like pictures:
//   - opening a 24 MP picture with a ready preview (the tile source made and
//     the tiles of the level a 480 x 640 screen fits the picture at): stored
//     upright without a tag, against the same pixels tagged 6 (turned right:
//     the displayed tiles are the stored ones turned) and 3 (turned by 180
//     degrees: the sides do not end on tile borders, so displayed tiles are
//     put together from parts of two stored tiles). Target: within 10%.
//   - reading the embedded 160 x 120 thumbnail of a 12 MP camera-style JPEG
//     (one read of the file's start, libexif's parse, the decode and turn),
//     per picture, beside loading the 64 x 64 thumbnail of its ready preview.
// Each is repeated; compare the fastest repetitions of process CPU time
// ("min"): other programs on a shared machine can only slow a run down.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "library/exif_reader.h"
#include "library/piece_creator.h"
#include "library/preview_file.h"
#include "pixels/render_surface.h"
#include "tests/library/exif_test_pictures.h"
#include "tests/library/preview_pictures.h"
#include "tests/library/preview_test_support.h"

namespace {

constexpr Size screen{480, 640};

double fastest(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

struct Pictures {
    Pictures()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "pictavio_bench_exifXXXXXX").string();
        root = std::string(mkdtemp(pattern.data())) + "/";
        std::filesystem::create_directory(root + "!pictaviocache");
        const std::string plain = root + "plain24.jpg";
        if (!write_picture(plain, PictureSpec{.width = 6000, .height = 4000, .quality = 90}))
            std::abort();
        const std::vector<std::uint8_t> bytes = file_bytes(plain);
        by_tag[0] = plain;
        for (const int tag : {3, 6}) {
            by_tag[tag] = root + "tagged" + std::to_string(tag) + ".jpg";
            exif_test::write_file(by_tag[tag], exif_test::with_exif(bytes, exif_test::orientation_tiff(tag, false)));
        }
        for (const auto& [tag, path] : by_tag)
            if (build_preview(from_utf8(path), from_utf8(root)) != PreviewBuild::ready)
                std::abort();
        camera = root + "camera12.jpg";
        const std::string stored = root + "stored12.jpg";
        if (!write_picture(stored, PictureSpec{.width = 4000, .height = 3000, .quality = 90}) ||
            !write_picture(root + "thumb.jpg", PictureSpec{.width = 160, .height = 120, .quality = 90}))
            std::abort();
        exif_test::write_file(
            camera, exif_test::with_exif(file_bytes(stored),
                                         exif_test::orientation_tiff(6, true, file_bytes(root + "thumb.jpg"))));
        if (build_preview(from_utf8(camera), from_utf8(root)) != PreviewBuild::ready)
            std::abort();
    }
    ~Pictures() { std::filesystem::remove_all(root); }

    std::string root;
    std::map<int, std::string> by_tag;
    std::string camera;
};

Pictures& pictures()
{
    static Pictures instance;
    return instance;
}

// The level the viewer shows a picture of the displayed size at when it fits the screen.
int fit_level(Size shown, int top)
{
    const double across = top + std::log2(double(screen.width) / shown.width);
    const double down = top + std::log2(double(screen.height) / shown.height);
    const double fit = (across < 0 && down < 0) ? std::max(across, down) : std::min(across, down);
    return std::max(0, static_cast<int>(std::floor(std::min(fit, double(top)))));
}

void BM_OpenReady24MP(benchmark::State& state)
{
    const int tag = static_cast<int>(state.range(0));
    const String picture = from_utf8(pictures().by_tag.at(tag));
    const String root = from_utf8(pictures().root);
    int tiles_made = 0;
    for (auto _ : state) {
        const std::unique_ptr<PieceCreator> creator = create_piece_creator(picture, root);
        const int level = fit_level(creator->size(), creator->levels());
        const Size tiles = tile_count(reduced_size(creator->size(), creator->levels() - level));
        tiles_made = 0;
        for (int ty = 0; ty < tiles.height; ++ty)
            for (int tx = 0; tx < tiles.width; ++tx)
                tiles_made += creator->get_piece(tx, ty, level) ? 1 : 0;
    }
    state.counters["tiles"] = tiles_made;
}
BENCHMARK(BM_OpenReady24MP)
    ->Arg(0)
    ->Arg(6)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(40)
    ->Repetitions(9)
    ->ComputeStatistics("min", fastest)
    ->DisplayAggregatesOnly();

void BM_EmbeddedThumbnail12MP(benchmark::State& state)
{
    const String camera = from_utf8(pictures().camera);
    for (auto _ : state) {
        const std::unique_ptr<RenderSurface> thumbnail = decode_embedded_thumbnail(read_exif(camera, true), 56);
        if (!thumbnail)
            std::abort();
        benchmark::DoNotOptimize(thumbnail.get());
    }
}
BENCHMARK(BM_EmbeddedThumbnail12MP)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->Iterations(500)
    ->Repetitions(5)
    ->ComputeStatistics("min", fastest)
    ->DisplayAggregatesOnly();

void BM_PreviewThumbnail12MP(benchmark::State& state)
{
    const String camera = from_utf8(pictures().camera);
    const String root = from_utf8(pictures().root);
    for (auto _ : state) {
        const std::unique_ptr<RenderSurface> thumbnail = show_as_tagged(load_thumbnail(camera, root), camera);
        if (!thumbnail)
            std::abort();
        benchmark::DoNotOptimize(thumbnail.get());
    }
}
BENCHMARK(BM_PreviewThumbnail12MP)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->Iterations(500)
    ->Repetitions(5)
    ->ComputeStatistics("min", fastest)
    ->DisplayAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
