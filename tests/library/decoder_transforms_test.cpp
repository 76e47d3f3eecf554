// The arithmetic kernels of the baseline decoder against plain references: the
// accurate and the reduced inverse DCT against the same transforms in 64-bit
// scalar arithmetic, and the YCbCr to RGB conversion against libjpeg's lookup tables.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "library/baseline_upsampler.h"
#include "library/idct.h"
#include "library/idct_kernels.h"

namespace {

// libjpeg's reduced 4x4 transform (pass 1 on the columns, pass 2 on the rows),
// every product and sum in 64 bits.
void reference_idct_4x4(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out)
{
    const auto transform = [](const std::int64_t in[8], std::int64_t result[4]) {
        const std::int64_t tmp0 = in[0] << 14;
        const std::int64_t tmp2 = in[2] * 15137 - in[6] * 6270;
        const std::int64_t odd0 = -in[7] * 1730 + in[5] * 11893 - in[3] * 17799 + in[1] * 8697;
        const std::int64_t odd2 = -in[7] * 4176 - in[5] * 4926 + in[3] * 7373 + in[1] * 20995;
        result[0] = tmp0 + tmp2 + odd2;
        result[3] = tmp0 + tmp2 - odd2;
        result[1] = tmp0 - tmp2 + odd0;
        result[2] = tmp0 - tmp2 - odd0;
    };
    std::int64_t workspace[4][8];
    for (int column = 0; column < 8; ++column) {
        std::int64_t in[8], result[4];
        for (int row = 0; row < 8; ++row)
            in[row] = std::int64_t{coefficients[row * 8 + column]} * quantisation[row * 8 + column];
        transform(in, result);
        for (int row = 0; row < 4; ++row)
            workspace[row][column] = (result[row] + (1 << 11)) >> 12;
    }
    for (int row = 0; row < 4; ++row) {
        std::int64_t result[4];
        transform(workspace[row], result);
        for (int i = 0; i < 4; ++i)
            out[row * 4 + i] =
                static_cast<std::uint8_t>(std::clamp<std::int64_t>(((result[i] + (1 << 18)) >> 19) + 128, 0, 255));
    }
}

// libjpeg's accurate 8x8 transform, every product and sum in 64 bits.
void reference_idct_islow(const std::int16_t* coefficients, const std::uint16_t* quantisation, std::uint8_t* out)
{
    const auto transform = [](const std::int64_t in[8], std::int64_t result[8]) {
        const std::int64_t z1 = (in[2] + in[6]) * 4433;
        const std::int64_t even2 = z1 - in[6] * 15137, even3 = z1 + in[2] * 6270;
        const std::int64_t even0 = (in[0] + in[4]) << 13, even1 = (in[0] - in[4]) << 13;
        const std::int64_t z5 = (in[7] + in[3] + in[5] + in[1]) * 9633;
        const std::int64_t z71 = -(in[7] + in[1]) * 7373, z53 = -(in[5] + in[3]) * 20995;
        const std::int64_t z73 = -(in[7] + in[3]) * 16069 + z5, z51 = -(in[5] + in[1]) * 3196 + z5;
        const std::int64_t odd[4] = {in[7] * 2446 + z71 + z73, in[5] * 16819 + z53 + z51, in[3] * 25172 + z53 + z73,
                                     in[1] * 12299 + z71 + z51};
        const std::int64_t even[4] = {even0 + even3, even1 + even2, even1 - even2, even0 - even3};
        for (int i = 0; i < 4; ++i) {
            result[i] = even[i] + odd[3 - i];
            result[7 - i] = even[i] - odd[3 - i];
        }
    };
    std::int64_t workspace[8][8];
    for (int column = 0; column < 8; ++column) {
        std::int64_t in[8], result[8];
        for (int row = 0; row < 8; ++row)
            in[row] = std::int64_t{coefficients[row * 8 + column]} * quantisation[row * 8 + column];
        transform(in, result);
        for (int row = 0; row < 8; ++row)
            workspace[row][column] = (result[row] + (1 << 10)) >> 11;
    }
    for (int row = 0; row < 8; ++row) {
        std::int64_t result[8];
        transform(workspace[row], result);
        for (int i = 0; i < 8; ++i)
            out[row * 8 + i] =
                static_cast<std::uint8_t>(std::clamp<std::int64_t>(((result[i] + (1 << 17)) >> 18) + 128, 0, 255));
    }
}

struct Block {
    std::int16_t coefficients[64] = {};
    std::uint16_t quantisation[64] = {};
};

using Transform = std::function<void(const std::int16_t*, const std::uint16_t*, std::uint8_t*, std::size_t)>;

// The size x size samples of a transform, written with rows size + 3 bytes
// apart: the transform must keep to its corner.
std::vector<std::uint8_t> transformed(const Transform& transform, int size, const Block& block)
{
    const int stride = size + 3;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size * stride), 0xAB);
    transform(block.coefficients, block.quantisation, out.data(), static_cast<std::size_t>(stride));
    std::vector<std::uint8_t> samples;
    for (int row = 0; row < size; ++row) {
        samples.insert(samples.end(), out.begin() + row * stride, out.begin() + row * stride + size);
        EXPECT_EQ(out[row * stride + size], 0xAB);
    }
    return samples;
}

std::vector<std::uint8_t> reduced(const Block& block)
{
    return transformed(idct_4x4, 4, block);
}

std::vector<std::uint8_t> reference(const Block& block)
{
    std::vector<std::uint8_t> samples(16);
    reference_idct_4x4(block.coefficients, block.quantisation, samples.data());
    return samples;
}

std::vector<std::uint8_t> accurate(const Block& block)
{
    return transformed(idct_islow, 8, block);
}

std::vector<std::uint8_t> accurate_reference(const Block& block)
{
    std::vector<std::uint8_t> samples(64);
    reference_idct_islow(block.coefficients, block.quantisation, samples.data());
    return samples;
}

// Quantisers of 1..255 and coefficients each of whose dequantised values stays
// within the +-2^11 of 8-bit pictures (not all of them at once, as in a
// picture); each coefficient present with the given chance, so that zero
// halves, zero columns and DC-only blocks all occur.
Block random_block(std::mt19937& random, double density)
{
    Block block;
    std::uniform_int_distribution<int> quantiser(1, 255);
    std::bernoulli_distribution present(density);
    for (int i = 0; i < 64; ++i) {
        block.quantisation[i] = static_cast<std::uint16_t>(quantiser(random));
        const int limit = 2047 / block.quantisation[i];
        if (i == 0 || present(random))
            block.coefficients[i] =
                static_cast<std::int16_t>(std::uniform_int_distribution<int>(-limit, limit)(random));
    }
    return block;
}

// An 8x8 block of samples as an encoder would store it: forward DCT,
// quantised by quantisers of 1..255 (or all 1, the finest). The samples are
// noise, stripes and checkerboards of 0 and 255 (the largest coefficients a
// picture can have), gradients and edges.
Block picture_block(std::mt19937& random, int kind, bool finest)
{
    std::uniform_int_distribution<int> sample(0, 255);
    std::uniform_int_distribution<int> phase(0, 7);
    const int period = 1 + phase(random);
    const int low = sample(random) / 4;
    const int high = 255 - sample(random) / 4;
    const int offset = phase(random);
    int samples[8][8];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            switch (kind) {
            case 0:
                samples[y][x] = sample(random);
                break;
            case 1:
                samples[y][x] = ((x + offset) / period) % 2 ? 255 : 0;
                break;
            case 2:
                samples[y][x] = (x + y) % 2 ? 255 : 0;
                break;
            case 3:
                samples[y][x] = low + (high - low) * (x + y) / 14;
                break;
            default:
                samples[y][x] = x * 2 + y > offset + 5 ? high : low;
                break;
            }
        }
    Block block;
    std::uniform_int_distribution<int> quantiser(1, 255);
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double sum = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    sum += (samples[y][x] - 128) * std::cos((2 * x + 1) * u * M_PI / 16) *
                           std::cos((2 * y + 1) * v * M_PI / 16);
            const double scale = (u == 0 ? M_SQRT1_2 : 1.0) * (v == 0 ? M_SQRT1_2 : 1.0) / 4;
            const int q = finest ? 1 : quantiser(random);
            block.quantisation[v * 8 + u] = static_cast<std::uint16_t>(q);
            block.coefficients[v * 8 + u] = static_cast<std::int16_t>(std::lround(sum * scale / q));
        }
    return block;
}

TEST(DecoderTransforms, BothIdctsEqualTheScalarTransformsOnBlocksOfPictures)
{
    std::mt19937 random(5);
    for (int kind = 0; kind < 5; ++kind)
        for (int n = 0; n < 4000; ++n) {
            const Block block = picture_block(random, kind, n % 4 == 0);
            ASSERT_EQ(reduced(block), reference(block)) << "kind " << kind << " block " << n;
            ASSERT_EQ(accurate(block), accurate_reference(block)) << "kind " << kind << " block " << n;
        }
}

// The portable kernels (the transforms where SSE2 is missing) compute in 32
// bits throughout: exact for any coefficients within the per-coefficient range.
TEST(DecoderTransforms, PortableKernelsEqualTheScalarTransformsOnValidBlocks)
{
    std::mt19937 random(7);
    for (double density : {0.05, 0.2, 0.6, 1.0})
        for (int n = 0; n < 4000; ++n) {
            const Block block = random_block(random, density);
            ASSERT_EQ(transformed(idct_4x4_lanes, 4, block), reference(block))
                << "density " << density << " block " << n;
            ASSERT_EQ(transformed(idct_islow_lanes, 8, block), accurate_reference(block))
                << "density " << density << " block " << n;
        }
}

TEST(DecoderTransforms, IdctsReadEveryCoefficientTheyNeed)
{
    // One AC coefficient at a time over a DC, large enough to move the samples:
    // the right half and the last row and column must not be skipped. The
    // reduced transform alone ignores row and column 4.
    Block flat;
    std::fill(std::begin(flat.quantisation), std::end(flat.quantisation), std::uint16_t{16});
    flat.coefficients[0] = 10;
    const auto flat_reduced = reduced(flat);
    const auto flat_accurate = accurate(flat);
    for (int i = 1; i < 64; ++i) {
        Block block = flat;
        block.coefficients[i] = 40;
        const auto samples = reduced(block);
        ASSERT_EQ(samples, reference(block)) << "coefficient " << i;
        const bool ignored = i / 8 == 4 || i % 8 == 4;
        EXPECT_EQ(samples == flat_reduced, ignored) << "coefficient " << i;
        const auto accurate_samples = accurate(block);
        ASSERT_EQ(accurate_samples, accurate_reference(block)) << "coefficient " << i;
        EXPECT_NE(accurate_samples, flat_accurate) << "coefficient " << i;
    }
}

TEST(DecoderTransforms, IdctsOfDamagedBlocksStayInTheirCorners)
{
    // Extreme values as damaged data may carry: the sums wrap around or
    // saturate, the result is some block (the sanitizers watch the arithmetic).
    std::mt19937 random(11);
    std::uniform_int_distribution<int> any_coefficient(-32768, 32767);
    std::uniform_int_distribution<int> any_quantiser(0, 65535);
    for (int n = 0; n < 2000; ++n) {
        Block block;
        for (int i = 0; i < 64; ++i) {
            block.coefficients[i] =
                static_cast<std::int16_t>(n % 2 ? any_coefficient(random) : (i % 2 ? 32767 : -32768));
            block.quantisation[i] = static_cast<std::uint16_t>(n % 2 ? any_quantiser(random) : 65535);
        }
        reduced(block);
        accurate(block);
        transformed(idct_4x4_lanes, 4, block);
        transformed(idct_islow_lanes, 8, block);
    }
}

// libjpeg's YCbCr to RGB tables and their use.
struct ReferenceColour {
    int cr_r[256], cb_b[256], cr_g[256], cb_g[256];

    ReferenceColour()
    {
        const auto fix = [](double value) { return static_cast<int>(value * 65536 + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const int x = i - 128;
            cr_r[i] = (fix(1.40200) * x + 32768) >> 16;
            cb_b[i] = (fix(1.77200) * x + 32768) >> 16;
            cr_g[i] = -fix(0.71414) * x;
            cb_g[i] = -fix(0.34414) * x + 32768;
        }
    }

    void convert(int y, int cb, int cr, std::uint8_t* rgb) const
    {
        const auto clamp = [](int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); };
        rgb[0] = clamp(y + cr_r[cr]);
        rgb[1] = clamp(y + ((cb_g[cb] + cr_g[cr]) >> 16));
        rgb[2] = clamp(y + cb_b[cb]);
    }
};

// Three full-resolution components in one-row planes of the given width.
struct ColourPlanes {
    BaselineState state;
    SamplePlane planes[3];
    BaselineUpsampler upsampler;

    explicit ColourPlanes(int width)
    {
        state.width = width;
        state.height = 1;
        state.component_count = 3;
        for (int c = 0; c < 3; ++c) {
            state.components[c].width = width;
            state.components[c].height = 1;
            planes[c].allocate(width, 1, 0);
        }
        upsampler.setup(state, width);
    }
};

TEST(DecoderTransforms, ColourConversionEqualsLibjpegTablesForEverySample)
{
    // Every (cb, cr) pair in one row, for every luma value.
    constexpr int width = 256 * 256;
    ColourPlanes colour(width);
    for (int i = 0; i < width; ++i) {
        colour.planes[1].data[i] = static_cast<std::uint8_t>(i >> 8);
        colour.planes[2].data[i] = static_cast<std::uint8_t>(i & 255);
    }
    const ReferenceColour reference;
    std::vector<std::uint8_t> rgb(width * 3), expected(width * 3);
    for (int y = 0; y < 256; ++y) {
        std::fill(colour.planes[0].data.begin(), colour.planes[0].data.end(), static_cast<std::uint8_t>(y));
        colour.upsampler.convert_row(colour.planes, 0, 0, width, rgb.data());
        for (int i = 0; i < width; ++i)
            reference.convert(y, i >> 8, i & 255, &expected[i * 3]);
        ASSERT_EQ(rgb, expected) << "luma " << y;
    }
}

TEST(DecoderTransforms, ColourConversionOfAWindowWritesExactlyItsPixels)
{
    // Windows shorter and longer than the converter's chunks, at odd offsets.
    constexpr int width = 301;
    ColourPlanes colour(width);
    std::mt19937 random(3);
    for (auto& plane : colour.planes)
        for (auto& sample : plane.data)
            sample = static_cast<std::uint8_t>(random());
    const ReferenceColour reference;
    for (const auto& [x0, x1] : {std::pair{0, 1}, std::pair{3, 67}, std::pair{5, 200}, std::pair{0, width}}) {
        std::vector<std::uint8_t> rgb((x1 - x0 + 1) * 3, 0xCD), expected(rgb.size(), 0xCD);
        colour.upsampler.convert_row(colour.planes, 0, x0, x1, rgb.data());
        for (int x = x0; x < x1; ++x)
            reference.convert(colour.planes[0].data[x], colour.planes[1].data[x], colour.planes[2].data[x],
                              &expected[(x - x0) * 3]);
        EXPECT_EQ(rgb, expected) << x0 << ".." << x1;
    }
}

}  // namespace
