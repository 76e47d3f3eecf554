// One full-screen 480 x 640 frame of the picture pane at a fractional zoom
// (a 2560 x 1600 picture at zoom 2.5, between levels 2 and 3, larger than
// the screen): while the picture is dragged six pixels a frame, back and
// forth, and standing still; each beside the unfiltered drawing the pane used
// before (nearest-neighbour scaling of the coarser level's visible tiles,
// every frame, still or dragged alike). Every tile has arrived. A frame of the
// zoom animation shows what filtering every frame costs.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>
#include "pixels/render_draw.h"
#include "screens/picture_pane.h"

namespace {

constexpr Size screen{480, 640};
constexpr Size picture{2560, 1600};
constexpr double zoom = 2.5;
// Pixels the picture moves per dragged frame, and frames before it turns back.
constexpr int drag_step = 6;
constexpr int drag_frames = 60;

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

// A pane at the zoom with every tile of the finer level delivered.
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
        pane.set_zoom(zoom);
        // Every tile the drag passes, asked for and delivered in advance.
        for (int frame_number = 0; frame_number < 2 * drag_frames; ++frame_number) {
            drag(frame_number);
            pane.draw_content(frame, {0, 0});
            for (const Ask& ask : requests.asks)
                pane.deliver_tile(ask.tx, ask.ty, ask.level, textured_tile(ask.tx + 7 * ask.ty));
            requests.asks.clear();
        }
        pane.draw_content(frame, {0, 0});
    }
    void drag(long frame_number) { pane.scroll_by((frame_number / drag_frames) % 2 ? -drag_step : drag_step, 0.0); }
};

void BM_PaneFrameDragging(benchmark::State& state)
{
    ReadyPane ready;
    long frame_number = 0;
    for (auto _ : state) {
        ready.drag(frame_number++);
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

// A frame of the zoom animation: the zoom changes every frame, so every
// visible tile is filtered anew.
void BM_PaneFrameZooming(benchmark::State& state)
{
    ReadyPane ready;
    ready.pane.zoom_towards_center(zoom + 0.4);
    for (auto _ : state) {
        ready.pane.update(0.001);
        if (!ready.pane.is_zooming()) {
            ready.pane.set_zoom(zoom);
            ready.pane.zoom_towards_center(zoom + 0.4);
        }
        ready.pane.draw_content(ready.frame, {0, 0});
        benchmark::DoNotOptimize(ready.frame.buffer()->row(0));
    }
}
BENCHMARK(BM_PaneFrameZooming)->Unit(benchmark::kMicrosecond);

// The drawing before: the pane's area filled, then the coarser level's tiles
// in view, each scaled nearest-neighbour to its place, clipped to the picture.
void draw_unfiltered(RenderSurface& frame, double center_x, const std::vector<std::unique_ptr<RenderSurface>>& tiles,
                     int columns)
{
    const int top_level = PicturePane::top_level_for(picture, {256, 256});
    const int level = static_cast<int>(std::floor(zoom));
    const double scale = std::exp2(zoom - top_level);
    const double shown = 256 * std::exp2(zoom - level);
    const double left = screen.width / 2.0 - center_x, top = screen.height / 2.0 - picture.height * scale / 2;
    fill_rect(frame, Rect::of({0, 0}, screen), 0x0020);
    ClipScope clip(frame, {int(left), int(top)}, {int(picture.width * scale), int(picture.height * scale)});
    const int rows = static_cast<int>(tiles.size()) / columns;
    for (int ty = 0; ty < rows; ++ty)
        for (int tx = 0; tx < columns; ++tx) {
            const Rect place{int(std::floor(left + tx * shown)), int(std::floor(top + ty * shown)),
                             int(std::floor(left + (tx + 1) * shown)), int(std::floor(top + (ty + 1) * shown))};
            if (intersect(place, Rect::of({0, 0}, screen)).is_empty())
                continue;
            const PixelBuffer& tile = *tiles[tx + columns * ty]->buffer();
            scaled_blit(frame, tile, tile.bounds(), place, plain_copy_operation());
        }
}

void BM_UnfilteredFrame(benchmark::State& state)
{
    RenderSurface frame(screen);
    const int top_level = PicturePane::top_level_for(picture, {256, 256});
    const int level = static_cast<int>(std::floor(zoom));
    const int columns = (((picture.width - 1) >> (top_level - level)) >> 8) + 1;
    const int rows = (((picture.height - 1) >> (top_level - level)) >> 8) + 1;
    std::vector<std::unique_ptr<RenderSurface>> tiles;
    for (int i = 0; i < columns * rows; ++i)
        tiles.push_back(textured_tile(i));
    const double start = picture.width * std::exp2(zoom - top_level) / 2;
    long frame_number = 0;
    for (auto _ : state) {
        const long step = frame_number++ % (2 * drag_frames);
        const double center_x = start + drag_step * (step < drag_frames ? step : 2 * drag_frames - step);
        draw_unfiltered(frame, center_x, tiles, columns);
        benchmark::DoNotOptimize(frame.buffer()->row(0));
    }
}
BENCHMARK(BM_UnfilteredFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
