// Cost of putting one 480 x 640 frame out: a plain memcpy of the frame beside
// the turned copies of the rotating driver, a whole offscreen frame and a PNG.

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include "display/display.h"
#include "display/frame_copy.h"
#include "display/png_writer.h"

namespace {

constexpr int frame_width = 480;
constexpr int frame_height = 640;

std::unique_ptr<PixelBuffer> patterned(int width, int height)
{
    auto buffer = PixelBuffer::create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            buffer->at(x, y) = static_cast<Pixel>(x * 31 + y * 7);
    return buffer;
}

void BM_memcpy_frame(benchmark::State& state)
{
    auto from = patterned(frame_width, frame_height);
    auto to = PixelBuffer::create(frame_width, frame_height);
    const std::size_t bytes = static_cast<std::size_t>(from->pitch()) * frame_height;
    for (auto _ : state) {
        std::memcpy(to->row(0), from->row(0), bytes);
        benchmark::DoNotOptimize(to->row(0));
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_memcpy_frame);

void BM_rotate_copy(benchmark::State& state)
{
    const int turns = static_cast<int>(state.range(0));
    auto logical = patterned(frame_width, frame_height);
    bool odd = turns & 1;
    auto physical = PixelBuffer::create(odd ? frame_height : frame_width, odd ? frame_width : frame_height);
    for (auto _ : state) {
        rotate_copy(*logical, *physical, turns);
        benchmark::DoNotOptimize(physical->row(0));
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(frame_width) * frame_height * 2);
}
BENCHMARK(BM_rotate_copy)->DenseRange(0, 3);

// begin, back buffer, present on the offscreen driver, turned or not.
void BM_offscreen_frame(benchmark::State& state)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    CommandLineOptions options;
    options.display = DisplayChoice::offscreen;
    options.width = frame_width;
    options.height = frame_height;
    WindowSystem windows(options);
    WindowId window = windows.create_window(u"bench", nullptr);
    DisplayParameters parameters{0, 0, static_cast<int>(state.range(0)), 1};
    auto display = Display::create(windows, window, parameters);
    if (!display) {
        state.SkipWithError("no offscreen display");
        return;
    }
    for (auto _ : state) {
        display->begin();
        display->back_buffer()->at(0, 0) = static_cast<Pixel>(state.iterations());
        display->present(0);
    }
}
BENCHMARK(BM_offscreen_frame)->Arg(0)->Arg(1);

void BM_encode_png(benchmark::State& state)
{
    auto frame = patterned(frame_width, frame_height);
    for (auto _ : state)
        benchmark::DoNotOptimize(encode_png_565(*frame));
}
BENCHMARK(BM_encode_png)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
