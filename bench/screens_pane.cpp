// One full-screen 480 x 640 frame of the picture pane at a fractional zoom
// (a 2560 x 1600 picture at its fit, between levels 2 and 3): while the
// picture is dragged, and standing still; each beside the unfiltered drawing
// the pane used before (nearest-neighbour scaling of every visible tile of
// the coarser level, every frame).

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>
#include "screens/picture_pane.h"
#include "skin/render_draw.h"

namespace {

constexpr Size screen{480, 640};
constexpr Size picture{2560, 1600};

struct Ask {
    int tx, ty, level;
};

class Requests : public TileRequester {
public:
    void add_tile(PicturePane*, int tx, int ty, int level) override { asks.push_back({tx, ty, level}); }
    std::vector<Ask> asks;
};

std::unique_ptr<RenderSurface> textured_tile(int seed)
{
    auto tile = std::make_unique<RenderSurface>(Size{256, 256});
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            tile->buffer()->at(x, y) = static_cast<Pixel>((x * 7 + y * 13 + seed * 101) * 2654435761u >> 16);
    return tile;
}

// A pane at the picture's fit zoom with every tile it asks for delivered.
struct ReadyPane {
    PicturePane pane{nullptr};
    Requests requests;
    RenderSurface frame{screen};

    ReadyPane()
    {
        pane.set_horizontal(0, screen.width);
        pane.set_vertical(0, screen.height);
        pane.set_requester(&requests);
        pane.configure({256, 256}, picture, false);
        pane.set_zoom(pane.top_level() + std::log2(double(screen.width) / picture.width));
        pane.draw_content(frame, {0, 0});
        for (const Ask& ask : requests.asks)
            pane.deliver_tile(ask.tx, ask.ty, ask.level, textured_tile(ask.tx + 7 * ask.ty));
        pane.draw_content(frame, {0, 0});
    }
};

void BM_PaneFrameDragging(benchmark::State& state)
{
    ReadyPane ready;
    double direction = 1.0;
    for (auto _ : state) {
        ready.pane.scroll_by(0.0, direction);
        direction = -direction;
        ready.pane.draw_content(ready.frame, {0, 0});
        benchmark::DoNotOptimize(ready.frame.buffer()->row(0));
    }
}
BENCHMARK(BM_PaneFrameDragging)->Unit(benchmark::kMicrosecond);

void BM_PaneFrameStill(benchmark::State& state)
{
    ReadyPane ready;
    for (auto _ : state) {
        ready.pane.draw_content(ready.frame, {0, 0});
        benchmark::DoNotOptimize(ready.frame.buffer()->row(0));
    }
}
BENCHMARK(BM_PaneFrameStill)->Unit(benchmark::kMicrosecond);

// The drawing before: the coarser level's tiles of the view, each scaled
// nearest-neighbour to its place, every frame (still or dragged alike).
void BM_UnfilteredFrame(benchmark::State& state)
{
    RenderSurface frame(screen);
    const int top_level = PicturePane::top_level_for(picture, {256, 256});
    const double zoom = top_level + std::log2(double(screen.width) / picture.width);
    const int level = static_cast<int>(std::floor(zoom));
    const double scale = std::exp2(zoom - top_level);
    const double shown = 256 * std::exp2(zoom - level);
    const Size content{int(picture.width * scale), int(picture.height * scale)};
    const Point corner{(screen.width - content.width) / 2, (screen.height - content.height) / 2};
    const int columns = int(std::ceil(std::ceil(picture.width / std::exp2(top_level - level)) / 256));
    const int rows = int(std::ceil(std::ceil(picture.height / std::exp2(top_level - level)) / 256));
    std::vector<std::unique_ptr<RenderSurface>> tiles;
    for (int i = 0; i < columns * rows; ++i) tiles.push_back(textured_tile(i));
    for (auto _ : state) {
        fill_rect(frame, Rect::of({0, 0}, screen), 0x0020);
        ClipScope clip(frame, corner, content);
        for (int ty = 0; ty < rows; ++ty)
            for (int tx = 0; tx < columns; ++tx) {
                const Rect place{corner.x + int(tx * shown), corner.y + int(ty * shown),
                                 corner.x + int((tx + 1) * shown), corner.y + int((ty + 1) * shown)};
                const PixelBuffer& tile = *tiles[tx + columns * ty]->buffer();
                scaled_blit(frame, tile, tile.bounds(), place, plain_copy_operation());
            }
        benchmark::DoNotOptimize(frame.buffer()->row(0));
    }
}
BENCHMARK(BM_UnfilteredFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
