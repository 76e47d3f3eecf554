// The pixel arithmetic: row operations in their four forms, alpha and dim
// level selection, the dim table, and the span operations.

#include <gtest/gtest.h>
#include <random>
#include <vector>
#include "pixels/pixel_span.h"
#include "pixels/row_operation.h"

namespace {

std::vector<Pixel> random_pixels(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<Pixel> pixels(count);
    for (Pixel& p : pixels)
        p = static_cast<Pixel>(random());
    // Every run holds the key colour and both kinds of pixels.
    pixels[1] = key_color;
    pixels[2] = 0x0000;
    pixels[3] = 0x0020;
    return pixels;
}

struct NamedOperation {
    const char* name;
    const RowOperation* operation;
    Pixel (*rule)(Pixel, Pixel);
};

Pixel source_only(Pixel s, Pixel)
{
    return s;
}

std::vector<NamedOperation> all_operations()
{
    return {{"plain", &plain_copy_operation(), source_only},
            {"keyed", &alpha_operation(0), combine_keyed},
            {"quarter", &alpha_operation(1), combine_quarter},
            {"half", &alpha_operation(2), combine_half},
            {"three quarters", &alpha_operation(3), combine_three_quarters},
            {"opaque only", &alpha_operation(4), combine_opaque_only},
            {"marking", &marking_operation(), combine_marking}};
}

}  // namespace

TEST(RowOperationTable, TranslucentBlackOverWhite)
{
    EXPECT_EQ(combine_quarter(0x0000, 0xFFFF), 0x39E7);
    EXPECT_EQ(combine_half(0x0000, 0xFFFF), 0x7BEF);
    EXPECT_EQ(combine_three_quarters(0x0000, 0xFFFF), 0xB5D6);
}

TEST(RowOperationTable, OpaqueSourceWinsOverEveryTranslucentLevel)
{
    for (auto rule : {combine_quarter, combine_half, combine_three_quarters, combine_opaque_only})
        EXPECT_EQ(rule(0x0020, 0xFFFF), 0x0020);
}

TEST(RowOperationTable, KeyColourNeverReachesTheDestination)
{
    for (auto rule : {combine_keyed, combine_quarter, combine_half, combine_three_quarters, combine_opaque_only})
        EXPECT_EQ(rule(key_color, 0x1234), 0x1234);
    Pixel d = 0x4321;
    plain_copy_operation().copy(&d, &d + 1, &key_color);
    EXPECT_EQ(d, key_color) << "the plain copy copies even the key colour";
}

TEST(RowOperationTable, TranslucentSourceAddsToTheDestinationShare)
{
    // 0x0841 is a translucent dark grey: the share of 0x8410 is added to it.
    EXPECT_EQ(combine_half(0x0841, 0x8410), 0x0841 + 0x4208);
    EXPECT_EQ(combine_quarter(0x0841, 0x8410), 0x0841 + 0x2104);
    EXPECT_EQ(combine_opaque_only(0x0841, 0x8410), 0x8410);
    EXPECT_EQ(combine_keyed(0x0841, 0x8410), 0x0841);
}

TEST(RowOperationTable, MarkingSetsTheOpacityFlagOnChangedPixelsOnly)
{
    EXPECT_EQ(combine_marking(0x1234, 0x1234), 0x1234);
    EXPECT_EQ(combine_marking(0x0000, 0x1234), 0x0020);
    EXPECT_EQ(combine_marking(0xFFDF, 0x0000), 0xFFFF);
}

TEST(RowOperationForms, CopyAppliesTheRulePerPixel)
{
    for (const NamedOperation& op : all_operations()) {
        const std::vector<Pixel> src = random_pixels(37, 1);
        const std::vector<Pixel> before = random_pixels(37, 2);
        std::vector<Pixel> dst = before;
        op.operation->copy(dst.data() + 1, dst.data() + 36, src.data() + 1);
        EXPECT_EQ(dst[0], before[0]) << op.name;
        EXPECT_EQ(dst[36], before[36]) << op.name;
        for (std::size_t i = 1; i < 36; ++i)
            ASSERT_EQ(dst[i], op.rule(src[i], before[i])) << op.name << " at " << i;
    }
}

TEST(RowOperationForms, ScaledCopyStepsInTenthBitFixedPoint)
{
    for (const NamedOperation& op : all_operations()) {
        const std::vector<Pixel> src = random_pixels(16, 3);
        const std::vector<Pixel> before = random_pixels(20, 4);
        std::vector<Pixel> dst = before;
        // Start at 1.5, step 0.75: source indices 1, 2, 3, 3, 4, 5, 6, 6, ...
        op.operation->scaled_copy(dst.data(), dst.data() + 20, src.data(), 1536, 768);
        for (std::size_t i = 0; i < 20; ++i)
            ASSERT_EQ(dst[i], op.rule(src[(1536 + 768 * i) >> 10], before[i])) << op.name << " " << i;
    }
}

TEST(RowOperationForms, DoubledCopyRepeatsEachSourcePixelByTheShift)
{
    for (const NamedOperation& op : all_operations()) {
        const std::vector<Pixel> src = random_pixels(16, 5);
        const std::vector<Pixel> before = random_pixels(9, 6);
        std::vector<Pixel> dst = before;
        op.operation->doubled_copy(dst.data(), src.data(), 3, 9, 1);
        const std::size_t expected_index[] = {1, 2, 2, 3, 3, 4, 4, 5, 5};
        for (std::size_t i = 0; i < 9; ++i)
            ASSERT_EQ(dst[i], op.rule(src[expected_index[i]], before[i])) << op.name << " " << i;
    }
}

TEST(RowOperationForms, RepeatedCopyWrapsAtTheWrapEnd)
{
    for (const NamedOperation& op : all_operations()) {
        const std::vector<Pixel> src = random_pixels(8, 7);
        const std::vector<Pixel> before = random_pixels(8, 8);
        std::vector<Pixel> dst = before;
        // Positions 4, 5, 2, 3, 4, 5, 2, 3 over the middle [2, 6).
        op.operation->repeated_copy(dst.data(), src.data(), 4, 8, 0, 2, 6);
        const std::size_t expected_index[] = {4, 5, 2, 3, 4, 5, 2, 3};
        for (std::size_t i = 0; i < 8; ++i)
            ASSERT_EQ(dst[i], op.rule(src[expected_index[i]], before[i])) << op.name << " " << i;
    }
}

TEST(RowOperationForms, RepeatedCopyWithShiftDoublesTheRepeatedPixels)
{
    const Pixel src[] = {10, 11, 12, 13};
    Pixel dst[6] = {};
    // Scaled corners 2..6 over bitmap pixels 1 and 2, each drawn twice.
    plain_copy_operation().repeated_copy(dst, src, 3, 6, 1, 2, 6);
    const Pixel expected[] = {11, 12, 12, 11, 11, 12};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(dst[i], expected[i]) << i;
}

TEST(RowOperationForms, CloneBehavesLikeTheOriginal)
{
    for (const NamedOperation& op : all_operations()) {
        std::unique_ptr<RowOperation> copy = op.operation->clone();
        ASSERT_NE(copy.get(), op.operation);
        const Pixel src[] = {0x0000, key_color, 0x0020};
        Pixel a[] = {0xFFFF, 0xFFFF, 0xFFFF};
        Pixel b[] = {0xFFFF, 0xFFFF, 0xFFFF};
        op.operation->copy(a, a + 3, src);
        copy->copy(b, b + 3, src);
        EXPECT_TRUE(std::equal(a, a + 3, b)) << op.name;
    }
}

TEST(AlphaLevel, SelectsByQuartersOfTheAlphaRange)
{
    EXPECT_EQ(&operation_for_alpha(63), &alpha_operation(0));
    EXPECT_EQ(&operation_for_alpha(64), &alpha_operation(1));
    EXPECT_EQ(&operation_for_alpha(191), &alpha_operation(2));
    EXPECT_EQ(&operation_for_alpha(255), &alpha_operation(3));
    EXPECT_EQ(&operation_for_alpha(300), &alpha_operation(4));
    EXPECT_EQ(&operation_for_alpha(-10), &alpha_operation(0));
    EXPECT_EQ(&alpha_operation(1), &alpha_operation(1)) << "the level objects are shared";
}

TEST(DimTable, WhiteAtEveryLevel)
{
    const Pixel expected[17] = {0x0000, 0x0861, 0x18E3, 0x3186, 0x39E7, 0x4AA9, 0x630C, 0x738E, 0x7BEF,
                                0x8CB1, 0x9D33, 0xA594, 0xC618, 0xCE79, 0xE71C, 0xF79E, 0xFFFF};
    for (int k = 0; k <= 16; ++k)
        EXPECT_EQ(dim_pixel(0xFFFF, k), expected[k]) << "k = " << k;
}

TEST(DimTable, LevelFromAlpha)
{
    EXPECT_EQ(dim_level(128), 8);
    EXPECT_EQ(dim_level(0), 0);
    EXPECT_EQ(dim_level(7), 0);
    EXPECT_EQ(dim_level(8), 1);
    EXPECT_EQ(dim_level(255), 16);
    EXPECT_EQ(dim_level(1000), 16);
    EXPECT_EQ(dim_level(-100), 0);
}

TEST(DimTable, HalfHalvesEveryChannel)
{
    // Red 20, green 40, blue 10 become 10, 20, 5.
    const Pixel a = static_cast<Pixel>(20 << 11 | 40 << 5 | 10);
    EXPECT_EQ(dim_pixel(a, 8), Pixel(10 << 11 | 20 << 5 | 5));
    EXPECT_EQ(dim_pixel(a, 0), 0);
    EXPECT_EQ(dim_pixel(a, 16), a);
}

TEST(DimTable, ResultsWrapModulo16Bits)
{
    // Level 9 adds 0x0861 even to black.
    EXPECT_EQ(dim_pixel(0x0000, 9), 0x0861);
    EXPECT_EQ(dim_pixel(0x0000, 5), 0x0861);
}

TEST(DimSpan, PairsAndSinglePixelsGiveIdenticalResults)
{
    const std::vector<Pixel> source = random_pixels(41, 9);
    for (int k = 0; k <= 16; ++k) {
        // Runs starting at an aligned and at an unaligned pixel, odd and even lengths.
        for (std::size_t first : {0u, 1u}) {
            for (std::size_t last : {40u, 41u}) {
                std::vector<Pixel> run = source;
                DimSpan(k).apply(run.data() + first, run.data() + last);
                for (std::size_t i = 0; i < run.size(); ++i) {
                    const Pixel expected = i >= first && i < last ? dim_pixel(source[i], k) : source[i];
                    ASSERT_EQ(run[i], expected) << "k " << k << " run " << first << ".." << last << " at " << i;
                }
            }
        }
    }
}

TEST(FillSpan, WritesExactlyTheRunAtAnyAlignment)
{
    for (std::size_t first : {0u, 1u, 2u}) {
        for (std::size_t last : {first, first + 1, std::size_t(9), std::size_t(10)}) {
            std::vector<Pixel> run(12, 0x1111);
            FillSpan(0xABCD).apply(run.data() + first, run.data() + last);
            for (std::size_t i = 0; i < run.size(); ++i)
                ASSERT_EQ(run[i], i >= first && i < last ? 0xABCD : 0x1111) << first << ".." << last << " at " << i;
        }
    }
}
