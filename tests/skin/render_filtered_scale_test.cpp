// The filtered scaled copy against a straightforward computation: area
// averages where an axis shrinks, bilinear weights where it grows, key pixels
// left out of the averages, the opacity flag and the key taken from the pixel
// under each destination pixel's centre, clipping, and one-pixel sources.

#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>
#include "pixels/render_draw.h"

namespace {

// Smooth colours with some noise, as a photograph has them.
std::unique_ptr<RenderSurface> photo(Size size, unsigned seed)
{
    auto surface = std::make_unique<RenderSurface>(size);
    std::mt19937 random(seed);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const int r = (x * 31 / std::max(1, size.width) + int(random() % 5)) % 32;
            const int g = (y * 63 / std::max(1, size.height) + int(random() % 9)) % 64;
            const int b = ((x + y) * 3 + int(random() % 7)) % 32;
            surface->buffer()->at(x, y) = static_cast<Pixel>(r << 11 | g << 5 | b);
        }
    return surface;
}

// The weights of the source pixels for destination pixel i of an axis.
std::vector<double> axis_weights(int source, int dest, int i)
{
    std::vector<double> weights(source, 0.0);
    const double ratio = double(source) / dest;
    if (dest < source) {
        for (int p = 0; p < source; ++p)
            weights[p] = std::max(0.0, std::min(p + 1.0, (i + 1) * ratio) - std::max(double(p), i * ratio)) / ratio;
    } else {
        const double at = std::clamp((i + 0.5) * ratio - 0.5, 0.0, source - 1.0);
        const int p = static_cast<int>(at);
        weights[p] += 1.0 - (at - p);
        if (p + 1 < source)
            weights[p + 1] += at - p;
    }
    return weights;
}

// The reference colour channels (5, 6, 5 bits, as doubles) of destination (x, y).
std::array<double, 3> reference(const PixelBuffer& source, Size dest, int x, int y)
{
    const std::vector<double> wx = axis_weights(source.width(), dest.width, x);
    const std::vector<double> wy = axis_weights(source.height(), dest.height, y);
    std::array<double, 3> sum{};
    double cover = 0;
    for (int sy = 0; sy < source.height(); ++sy)
        for (int sx = 0; sx < source.width(); ++sx) {
            const double w = wx[sx] * wy[sy];
            const Pixel p = source.at(sx, sy);
            if (w == 0 || p == key_color)
                continue;
            sum[0] += w * (p >> 11);
            sum[1] += w * ((p >> 5) & 63);
            sum[2] += w * (p & 31);
            cover += w;
        }
    for (double& channel : sum)
        channel /= cover;
    return sum;
}

// Scales the whole source to dest and checks every pixel against the reference:
// within rounding, and green within one step (its lowest bit is the opacity flag).
void expect_matches_reference(const PixelBuffer& source, Size dest)
{
    RenderSurface target(dest);
    filtered_scaled_blit(target, source, source.bounds(), Rect::of({0, 0}, dest), plain_copy_operation());
    for (int y = 0; y < dest.height; ++y)
        for (int x = 0; x < dest.width; ++x) {
            const Pixel p = target.buffer()->at(x, y);
            const Pixel centre = source.at(static_cast<int>((x + 0.5) * source.width() / dest.width),
                                           static_cast<int>((y + 0.5) * source.height() / dest.height));
            if (centre == key_color) {
                ASSERT_EQ(p, key_color) << x << "," << y;
                continue;
            }
            ASSERT_EQ(p & opacity_flag, centre & opacity_flag) << x << "," << y;
            const std::array<double, 3> want = reference(source, dest, x, y);
            ASSERT_NEAR(p >> 11, want[0], 0.5 + 1e-6) << x << "," << y << " of " << dest.width << "x" << dest.height;
            ASSERT_NEAR((p >> 5) & 63, want[1], 1.0 + 1e-6) << x << "," << y;
            ASSERT_NEAR(p & 31, want[2], 0.5 + 1e-6) << x << "," << y;
        }
}

}  // namespace

TEST(FilteredScale, ReductionsAreAreaAverages)
{
    auto source = photo({74, 60}, 1);
    expect_matches_reference(*source->buffer(), {49, 40});  // by 1.5 (and 1.51 across)
    expect_matches_reference(*source->buffer(), {37, 30});  // by 2
    expect_matches_reference(*source->buffer(), {20, 16});  // by 3.7 and 3.75
    expect_matches_reference(*source->buffer(), {74, 20});  // one axis only
}

TEST(FilteredScale, EnlargementIsBilinear)
{
    auto source = photo({16, 12}, 2);
    expect_matches_reference(*source->buffer(), {20, 15});  // by 1.25
    expect_matches_reference(*source->buffer(), {16, 12});  // same size: a copy
    RenderSurface copy(Size{16, 12});
    filtered_scaled_blit(copy, *source->buffer(), source->buffer()->bounds(), Rect::of({0, 0}, {16, 12}),
                         plain_copy_operation());
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(copy.buffer()->at(x, y), source->buffer()->at(x, y));
}

TEST(FilteredScale, OnePixelSourcesFillTheDestination)
{
    RenderSurface dot(Size{1, 1});
    dot.buffer()->at(0, 0) = 0x7BEF;
    expect_matches_reference(*dot.buffer(), {5, 3});
    auto column = photo({1, 9}, 3);
    expect_matches_reference(*column->buffer(), {4, 4});
    expect_matches_reference(*column->buffer(), {1, 20});
    auto row = photo({9, 1}, 4);
    expect_matches_reference(*row->buffer(), {3, 1});
}

TEST(FilteredScale, ClippingDrawsTheSamePixelsInsideAndNothingOutside)
{
    auto source = photo({60, 45}, 5);
    const Rect from{7, 5, 52, 41};
    const Rect to{-9, 3, 21, 27};  // partly outside the target
    RenderSurface whole(Size{40, 30});
    whole.buffer()->clear(0x1234);
    filtered_scaled_blit(whole, *source->buffer(), from, to, plain_copy_operation());
    RenderSurface clipped(Size{40, 30});
    clipped.buffer()->clear(0x1234);
    {
        ClipScope clip(clipped, {4, 6}, {10, 12});
        filtered_scaled_blit(clipped, *source->buffer(), from, to, plain_copy_operation());
    }
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside_clip = x >= 4 && x < 14 && y >= 6 && y < 18;
            const bool inside_dest = x < 21 && y >= 3 && y < 27;
            EXPECT_EQ(clipped.buffer()->at(x, y), inside_clip ? whole.buffer()->at(x, y) : Pixel(0x1234))
                << x << "," << y;
            if (!inside_dest) {
                EXPECT_EQ(whole.buffer()->at(x, y), 0x1234) << x << "," << y;
            }
        }
    // A source rectangle reaching outside the source is refused.
    RenderSurface refused(Size{10, 10});
    refused.buffer()->clear(0x1234);
    filtered_scaled_blit(refused, *source->buffer(), {50, 0, 61, 10}, {0, 0, 10, 10}, plain_copy_operation());
    EXPECT_EQ(refused.buffer()->at(5, 5), 0x1234);
}

TEST(FilteredScale, KeyAndOpacityFlagComeFromThePixelUnderTheCentre)
{
    // Left half opaque white, right half the key; one translucent pixel.
    RenderSurface source(Size{8, 8});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            source.buffer()->at(x, y) = x < 4 ? Pixel(0xFFFF) : key_color;
    source.buffer()->at(1, 1) = 0x0000;
    expect_matches_reference(*source.buffer(), {3, 3});  // key pixels take no part in the averages
    RenderSurface target(Size{4, 4});
    target.buffer()->clear(0x001F);
    filtered_scaled_blit(target, *source.buffer(), source.buffer()->bounds(), Rect::of({0, 0}, {4, 4}),
                         alpha_operation(0));
    // Destination columns 2 and 3 lie over the key: the keyed copy leaves the target.
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(target.buffer()->at(2, y), 0x001F);
        EXPECT_EQ(target.buffer()->at(3, y), 0x001F);
        EXPECT_TRUE(target.buffer()->at(1, y) & opacity_flag);
    }
    // Over the translucent black pixel the result stays translucent (flag clear).
    EXPECT_FALSE(target.buffer()->at(0, 0) & opacity_flag);
}
