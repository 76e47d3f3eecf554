#pragma once
// Pixel comparisons that say where two pictures differ: for equality the
// first differing pixel with both values, for near-equality the largest
// difference, where it is and both values there. Use them as
// EXPECT_TRUE(same_pixels(shown, expected)) << context.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pixels/pixel_buffer.h"

// The largest difference of two RGB565 pixels in any channel, in RGB565 levels.
inline int channel_distance(Pixel a, Pixel b)
{
    const int dr = std::abs((a >> 11) - (b >> 11));
    const int dg = std::abs(((a >> 5) & 63) - ((b >> 5) & 63));
    const int db = std::abs((a & 31) - (b & 31));
    return std::max(dr, std::max(dg, db));
}

namespace pixel_compare_detail {

inline std::string hex(Pixel pixel)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(pixel));
    return text;
}

inline std::string size_text(const PixelBuffer& buffer)
{
    return std::to_string(buffer.width()) + "x" + std::to_string(buffer.height());
}

// Failure for buffers of different sizes, or success when the sizes agree.
inline ::testing::AssertionResult same_size(const PixelBuffer& a, const PixelBuffer& b)
{
    if (a.size() == b.size())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "sizes differ: " << size_text(a) << " against " << size_text(b);
}

// "(x, y): a's value against b's"
inline std::string pixel_pair(const PixelBuffer& a, const PixelBuffer& b, Point at)
{
    return "(" + std::to_string(at.x) + ", " + std::to_string(at.y) + "): " + hex(a.at(at.x, at.y)) + " against " +
           hex(b.at(at.x, at.y));
}

}  // namespace pixel_compare_detail

// Every pixel of a equals the one of b. On failure: the first differing
// pixel in row order, both values, and how many pixels differ.
inline ::testing::AssertionResult same_pixels(const PixelBuffer& a, const PixelBuffer& b)
{
    ::testing::AssertionResult sizes = pixel_compare_detail::same_size(a, b);
    if (!sizes)
        return sizes;
    Point first{-1, -1};
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (a.at(x, y) == b.at(x, y))
                continue;
            if (differing == 0)
                first = {x, y};
            ++differing;
        }
    if (differing == 0)
        return ::testing::AssertionSuccess() << "all " << pixel_compare_detail::size_text(a) << " pixels are equal";
    return ::testing::AssertionFailure() << differing << " pixels differ, the first at "
                                         << pixel_compare_detail::pixel_pair(a, b, first);
}

// No pixel of a differs from the one of b by more than tolerance levels in
// any channel (channel_distance). On failure: the largest difference, the
// first pixel where it is, both values there, and how many pixels exceed
// the tolerance.
inline ::testing::AssertionResult pixels_near(const PixelBuffer& a, const PixelBuffer& b, int tolerance)
{
    ::testing::AssertionResult sizes = pixel_compare_detail::same_size(a, b);
    if (!sizes)
        return sizes;
    int largest = 0;
    Point where{0, 0};
    int beyond = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const int distance = channel_distance(a.at(x, y), b.at(x, y));
            if (distance > tolerance)
                ++beyond;
            if (distance > largest) {
                largest = distance;
                where = {x, y};
            }
        }
    if (beyond == 0)
        return ::testing::AssertionSuccess() << "largest difference " << largest << " within " << tolerance;
    return ::testing::AssertionFailure() << beyond << " pixels differ by more than " << tolerance
                                         << "; the largest difference is " << largest << ", at "
                                         << pixel_compare_detail::pixel_pair(a, b, where);
}
