// Pixel buffers, render surfaces with their pixel counter, clip scopes, and
// the rectangle operations: fill, dim, blit, scaled blit, draw surface.

#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <utility>
#include <vector>
#include "pixels/render_draw.h"
#include "tests/fatal_log.h"

namespace {

// Sets pixel (x, y) of the surface to x + 16 * y.
void number_pixels(RenderSurface& surface)
{
    PixelBuffer& buffer = *surface.buffer();
    for (std::int32_t y = 0; y < buffer.height(); ++y)
        for (std::int32_t x = 0; x < buffer.width(); ++x)
            buffer.at(x, y) = static_cast<Pixel>(x + 16 * y);
}

// Counts the pixels of buffer equal to value.
int count_of(const PixelBuffer& buffer, Pixel value)
{
    int count = 0;
    for (std::int32_t y = 0; y < buffer.height(); ++y)
        for (std::int32_t x = 0; x < buffer.width(); ++x)
            count += buffer.at(x, y) == value;
    return count;
}

}  // namespace

TEST(PixelBuffer, RowsArePaddedToFourBytes)
{
    EXPECT_EQ(PixelBuffer::create(3, 2)->pitch(), 8);
    EXPECT_EQ(PixelBuffer::create(4, 2)->pitch(), 8);
    EXPECT_EQ(PixelBuffer::create(1, 1)->pitch(), 4);
}

TEST(PixelBuffer, RefusesNegativeAndAbsurdSizes)
{
    EXPECT_EQ(PixelBuffer::create(-1, 5), nullptr);
    EXPECT_EQ(PixelBuffer::create(100000, 100000), nullptr);
    EXPECT_EQ(PixelBuffer::create(PixelBuffer::max_side, PixelBuffer::max_side), nullptr);
    EXPECT_NE(PixelBuffer::create(0, 0), nullptr);
}

TEST(PixelBuffer, WrapsForeignMemoryWithItsPitch)
{
    std::uint16_t memory[2 * 5] = {};
    std::unique_ptr<PixelBuffer> buffer = PixelBuffer::wrap(3, 2, 10, memory);
    ASSERT_NE(buffer, nullptr);
    buffer->at(1, 1) = 7;
    EXPECT_EQ(memory[6], 7);
    EXPECT_EQ(PixelBuffer::wrap(3, 2, 4, memory), nullptr) << "pitch shorter than a row";
}

TEST(RenderSurface, CountsLivePixels)
{
    const std::int64_t before = RenderSurface::live_pixel_count();
    {
        RenderSurface surface({10, 20});
        EXPECT_EQ(RenderSurface::live_pixel_count(), before + 200);
        EXPECT_TRUE(surface.recreate({5, 5}));
        EXPECT_EQ(RenderSurface::live_pixel_count(), before + 25);
        std::unique_ptr<PixelBuffer> taken = surface.detach();
        EXPECT_EQ(RenderSurface::live_pixel_count(), before);
        EXPECT_EQ(surface.buffer(), nullptr);
        EXPECT_EQ(surface.size(), (Size{0, 0}));
        surface.adopt(std::move(taken));
        EXPECT_EQ(RenderSurface::live_pixel_count(), before + 25);
        EXPECT_EQ(surface.size(), (Size{5, 5}));
    }
    EXPECT_EQ(RenderSurface::live_pixel_count(), before);
}

TEST(RenderSurface, RecreateWithTheSameSizeKeepsTheContents)
{
    RenderSurface surface({4, 4});
    surface.buffer()->at(2, 3) = 0x1234;
    PixelBuffer* buffer = surface.buffer();
    EXPECT_FALSE(surface.recreate({4, 4}));
    EXPECT_EQ(surface.buffer(), buffer);
    EXPECT_EQ(surface.buffer()->at(2, 3), 0x1234);
    RenderSurface empty;
    EXPECT_FALSE(empty.recreate({0, 0}));
}

TEST(RenderSurface, RecreateResetsTheClipToTheNewBuffer)
{
    RenderSurface surface({4, 4});
    ASSERT_TRUE(surface.recreate({8, 6}));
    EXPECT_EQ(surface.clip(), (Rect{0, 0, 8, 6}));
}

// Resizing, adopting or detaching while a clip is open would leave the clip
// pointing into a buffer that is gone: each ends the process, naming itself.
class RenderSurfaceDeathTest : public testing::Test {
protected:
    void SetUp() override { m_log.open(); }
    void TearDown() override { m_log.close(); }

    FatalLog m_log;
};

TEST_F(RenderSurfaceDeathTest, ChangingTheBufferInsideAClipEndsTheProcess)
{
    const std::vector<std::pair<const char*, std::function<void(RenderSurface&)>>> changes = {
        {"recreate",
         [](RenderSurface& surface) {
             surface.recreate({8, 8});
         }},
        {"adopt", [](RenderSurface& surface) { surface.adopt(PixelBuffer::create(2, 2)); }},
        {"detach", [](RenderSurface& surface) { surface.detach(); }},
    };
    for (const auto& [place, change] : changes) {
        EXPECT_EXIT(
            {
                RenderSurface surface({4, 4});
                ClipScope clip(surface, {0, 0}, {2, 2});
                change(surface);
                std::exit(3);
            },
            testing::ExitedWithCode(0), "");
        EXPECT_TRUE(m_log.has(std::string("Gluck: Clip is in effect, cannot resize @ RenderSurface::") + place + "\n$"))
            << place;
    }
}

TEST(ClipScope, NestedScopesIntersectAndRestore)
{
    RenderSurface surface({100, 80});
    {
        ClipScope outer(surface, {10, 10}, {50, 50});
        EXPECT_EQ(surface.clip(), (Rect{10, 10, 60, 60}));
        EXPECT_EQ(surface.clip_depth(), 1);
        {
            ClipScope inner(surface, {40, -5}, {100, 30});
            EXPECT_EQ(surface.clip(), (Rect{40, 10, 60, 25}));
            EXPECT_EQ(surface.clip_depth(), 2);
        }
        EXPECT_EQ(surface.clip(), (Rect{10, 10, 60, 60}));
    }
    EXPECT_EQ(surface.clip(), (Rect{0, 0, 100, 80}));
    EXPECT_FALSE(surface.clip_in_effect());
}

TEST(ClipScope, DisjointScopeLeavesNothingToDraw)
{
    RenderSurface surface({20, 20});
    surface.buffer()->clear(0);
    ClipScope outer(surface, {0, 0}, {5, 5});
    ClipScope inner(surface, {10, 12}, {5, 5});
    EXPECT_EQ(surface.clip(), (Rect{10, 12, 10, 12}));
    fill_rect(surface, {0, 0, 20, 20}, 0xFFFF);
    EXPECT_EQ(count_of(*surface.buffer(), 0xFFFF), 0);
}

TEST(ClipScope, ClosesWhenAnExceptionPasses)
{
    RenderSurface surface({20, 20});
    try {
        ClipScope clip(surface, {1, 1}, {2, 2});
        throw std::runtime_error("drawing failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(surface.clip_depth(), 0);
    EXPECT_EQ(surface.clip(), (Rect{0, 0, 20, 20}));
}

TEST(FillRect, ClipsToTheClipAndTheBuffer)
{
    RenderSurface surface({10, 10});
    surface.buffer()->clear(0);
    fill_rect(surface, {-5, -5, 3, 2}, 0xFFFF);
    EXPECT_EQ(count_of(*surface.buffer(), 0xFFFF), 6);
    {
        ClipScope clip(surface, {5, 5}, {2, 2});
        fill_rect(surface, {0, 0, 10, 10}, 0x1111);
    }
    EXPECT_EQ(count_of(*surface.buffer(), 0x1111), 4);
    EXPECT_EQ(surface.buffer()->at(5, 5), 0x1111);
    EXPECT_EQ(surface.buffer()->at(7, 7), 0);
}

TEST(FillRect, EmptySurfaceIsNothingToDraw)
{
    RenderSurface empty;
    fill_rect(empty, {0, 0, 10, 10}, 0xFFFF);
    apply_span(empty, {0, 0, 10, 10}, DimSpan(8));
    draw_surface(empty, empty, {0, 0}, plain_copy_operation());
    EXPECT_EQ(empty.buffer(), nullptr);
}

TEST(ApplySpan, DimsOnlyTheRectangle)
{
    RenderSurface surface({6, 3});
    surface.buffer()->clear(0xFFFF);
    apply_span(surface, {1, 1, 4, 2}, DimSpan(dim_level(128)));
    EXPECT_EQ(count_of(*surface.buffer(), 0x7BEF), 3);
    EXPECT_EQ(surface.buffer()->at(1, 1), 0x7BEF);
    EXPECT_EQ(surface.buffer()->at(4, 1), 0xFFFF);
}

TEST(Blit, CopiesWithTheRightOffsetsWhenClipped)
{
    RenderSurface source({8, 8});
    number_pixels(source);
    RenderSurface target({6, 6});
    target.buffer()->clear(0xFFFF);
    blit(target, *source.buffer(), {2, 3}, {4, 4}, {-1, 4}, plain_copy_operation());
    // Destination (0, 4) shows source (3, 3); (2, 5) shows (5, 4).
    EXPECT_EQ(target.buffer()->at(0, 4), 3 + 16 * 3);
    EXPECT_EQ(target.buffer()->at(2, 5), 5 + 16 * 4);
    EXPECT_EQ(count_of(*target.buffer(), 0xFFFF), 36 - 6);
}

TEST(Blit, RefusesASourceRectangleOutsideTheSource)
{
    RenderSurface source({8, 8});
    number_pixels(source);
    RenderSurface target({8, 8});
    target.buffer()->clear(0xFFFF);
    blit(target, *source.buffer(), {5, 5}, {4, 4}, {0, 0}, plain_copy_operation());
    blit(target, *source.buffer(), {-1, 0}, {2, 2}, {0, 0}, plain_copy_operation());
    blit(target, *source.buffer(), {0, 0}, {-2, 2}, {0, 0}, plain_copy_operation());
    EXPECT_EQ(count_of(*target.buffer(), 0xFFFF), 64);
}

TEST(Blit, CopyWithinOneBufferDownwardsReadsBeforeWriting)
{
    RenderSurface surface({4, 6});
    number_pixels(surface);
    blit(surface, *surface.buffer(), {0, 0}, {4, 4}, {0, 2}, plain_copy_operation());
    for (std::int32_t y = 2; y < 6; ++y)
        EXPECT_EQ(surface.buffer()->at(1, y), 1 + 16 * (y - 2)) << y;
}

TEST(Blit, KeyedOperationLeavesKeyPixelsTransparent)
{
    RenderSurface source({2, 1});
    source.buffer()->at(0, 0) = key_color;
    source.buffer()->at(1, 0) = 0x1234;
    RenderSurface target({2, 1});
    target.buffer()->clear(0xFFFF);
    draw_surface(target, source, {0, 0}, operation_for_alpha(0));
    EXPECT_EQ(target.buffer()->at(0, 0), 0xFFFF);
    EXPECT_EQ(target.buffer()->at(1, 0), 0x1234);
}

TEST(ScaledBlit, DoublesEachPixelIntoABlock)
{
    RenderSurface source({2, 2});
    number_pixels(source);
    RenderSurface target({4, 4});
    scaled_blit(target, *source.buffer(), {0, 0, 2, 2}, {0, 0, 4, 4}, plain_copy_operation());
    for (std::int32_t y = 0; y < 4; ++y)
        for (std::int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(target.buffer()->at(x, y), x / 2 + 16 * (y / 2)) << x << "," << y;
}

TEST(ScaledBlit, ReducesByPickingNearestPixelsAndHonoursTheClip)
{
    RenderSurface source({8, 8});
    number_pixels(source);
    RenderSurface target({4, 4});
    target.buffer()->clear(0xFFFF);
    {
        ClipScope clip(target, {1, 1}, {3, 3});
        scaled_blit(target, *source.buffer(), {0, 0, 8, 8}, {0, 0, 4, 4}, plain_copy_operation());
    }
    EXPECT_EQ(target.buffer()->at(0, 0), 0xFFFF);
    EXPECT_EQ(target.buffer()->at(1, 1), 2 + 16 * 2);
    EXPECT_EQ(target.buffer()->at(3, 2), 6 + 16 * 4);
}

TEST(ScaledBlit, RefusesSourceOutsideTheBuffer)
{
    RenderSurface source({4, 4});
    number_pixels(source);
    RenderSurface target({4, 4});
    target.buffer()->clear(0xFFFF);
    scaled_blit(target, *source.buffer(), {0, 0, 5, 4}, {0, 0, 4, 4}, plain_copy_operation());
    EXPECT_EQ(count_of(*target.buffer(), 0xFFFF), 16);
}
