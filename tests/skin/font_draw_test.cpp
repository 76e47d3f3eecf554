// Text drawing: touched pixels become opaque, everything else stays exactly
// as it was; alignment, wrapping, ellipsis and the caller's clip.

#include <gtest/gtest.h>
#include "pixels/render_draw.h"
#include "skin/font.h"
#include "tests/pixel_compare.h"

namespace {

// A translucent grey (opacity flag clear) that black and white text both change.
constexpr Pixel translucent_grey = 0x4208;
const Color black{0, 0, 0, 255};
const Color white{255, 255, 255, 255};

Font test_font(std::int32_t size = 12)
{
    FontSpec spec;
    spec.point_size = size;
    spec.face = u"DejaVu Sans";
    return Font(spec);
}

// The bounding box of pixels that differ from background; empty when none.
Rect changed_box(const PixelBuffer& buffer, Pixel background)
{
    Rect box{buffer.width(), buffer.height(), 0, 0};
    for (std::int32_t y = 0; y < buffer.height(); ++y)
        for (std::int32_t x = 0; x < buffer.width(); ++x)
            if (buffer.at(x, y) != background) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
    return box.is_empty() ? Rect{} : box;
}

}  // namespace

TEST(DrawText, ChangedPixelsAreOpaqueAndTheRestUntouched)
{
    // Every pixel different, so an untouched pixel must keep its own value.
    RenderSurface surface({120, 40});
    RenderSurface before({120, 40});
    for (std::int32_t y = 0; y < 40; ++y)
        for (std::int32_t x = 0; x < 120; ++x)
            surface.buffer()->at(x, y) = before.buffer()->at(x, y) =
                static_cast<Pixel>((x * 7 + y * 1031) & ~opacity_flag);
    draw_text(surface, test_font(), black, u"Hello, world", {10, 5, 110, 35}, align_left, align_top, false);
    int changed = 0;
    for (std::int32_t y = 0; y < 40; ++y) {
        for (std::int32_t x = 0; x < 120; ++x) {
            const Pixel now = surface.buffer()->at(x, y);
            const Pixel then = before.buffer()->at(x, y);
            if (now == then)
                continue;
            ++changed;
            EXPECT_TRUE(now & opacity_flag) << x << "," << y;
            EXPECT_TRUE(x >= 10 && x < 110 && y >= 5 && y < 35) << "outside the rectangle at " << x << "," << y;
        }
    }
    EXPECT_GT(changed, 50);
}

TEST(DrawText, FullyCoveredPixelsTakeTheTextColour)
{
    RenderSurface surface({60, 30});
    surface.buffer()->clear(translucent_grey);
    draw_text(surface, test_font(20), white, u"l", {0, 0, 60, 30}, align_left, align_top, false);
    int white_pixels = 0;
    for (std::int32_t y = 0; y < 30; ++y)
        for (std::int32_t x = 0; x < 60; ++x)
            white_pixels += surface.buffer()->at(x, y) == 0xFFFF;
    EXPECT_GT(white_pixels, 10) << "the stem of l is solid";
}

TEST(DrawText, HorizontalAlignment)
{
    const Font font = test_font();
    const Rect rect{0, 0, 200, 30};
    Rect boxes[3];
    for (int h = 0; h < 3; ++h) {
        RenderSurface surface({200, 30});
        surface.buffer()->clear(translucent_grey);
        draw_text(surface, font, black, u"mid", rect, h, align_top, false);
        boxes[h] = changed_box(*surface.buffer(), translucent_grey);
    }
    EXPECT_LT(boxes[align_left].right, 50);
    EXPECT_GT(boxes[align_right].left, 150);
    EXPECT_NEAR(boxes[align_center].left + boxes[align_center].right, 200, 6);
}

TEST(DrawText, JustifyDrawsLikeLeft)
{
    RenderSurface left({150, 30});
    RenderSurface justify({150, 30});
    left.buffer()->clear(translucent_grey);
    justify.buffer()->clear(translucent_grey);
    draw_text(left, test_font(), black, u"two words", {0, 0, 150, 30}, align_left, align_vcenter, true);
    draw_text(justify, test_font(), black, u"two words", {0, 0, 150, 30}, align_justify, align_vcenter, true);
    EXPECT_TRUE(same_pixels(*left.buffer(), *justify.buffer()));
}

TEST(DrawText, VerticalAlignment)
{
    const Font font = test_font();
    Rect boxes[3];
    for (int v = 0; v < 3; ++v) {
        RenderSurface surface({100, 100});
        surface.buffer()->clear(translucent_grey);
        draw_text(surface, font, black, u"Xx", {0, 0, 100, 100}, align_left, v, false);
        boxes[v] = changed_box(*surface.buffer(), translucent_grey);
    }
    EXPECT_LT(boxes[align_top].bottom, font->line_height() + 1);
    EXPECT_GT(boxes[align_bottom].top, 100 - font->line_height() - 1);
    EXPECT_NEAR(boxes[align_vcenter].top + boxes[align_vcenter].bottom, 100, font->line_height());
}

TEST(DrawText, WrapBreaksAtSpacesIntoSeveralLines)
{
    const Font font = test_font();
    const String text = u"one two three four five six";
    const std::int32_t width = font->measure(u"three four").width + 2;
    const Rect rect{0, 0, width, 200};
    RenderSurface wrapped({width, 200});
    RenderSurface single({width, 200});
    wrapped.buffer()->clear(translucent_grey);
    single.buffer()->clear(translucent_grey);
    draw_text(wrapped, font, black, text, rect, align_left, align_top, true);
    draw_text(single, font, black, text, rect, align_left, align_top, false);
    const Rect many = changed_box(*wrapped.buffer(), translucent_grey);
    const Rect one = changed_box(*single.buffer(), translucent_grey);
    EXPECT_GT(many.height(), 2 * font->line_height());
    EXPECT_LE(one.height(), font->line_height());
}

TEST(DrawText, TooLongLineEndsInAnEllipsis)
{
    const Font font = test_font();
    const String text = u"abcdefghijklmnopqrstuvwxyz";
    const std::int32_t width = font->measure(u"abcdefgh").width;
    // The expected drawing: the longest prefix that leaves room for the ellipsis.
    std::int32_t fit = 0;
    font->measure(text, width - font->measure(u"\u2026").width, &fit);
    const String expected = text.substr(0, std::size_t(fit)) + u"\u2026";
    ASSERT_LT(fit, 8);
    RenderSurface cut({width + 20, 30});
    RenderSurface reference({width + 20, 30});
    cut.buffer()->clear(translucent_grey);
    reference.buffer()->clear(translucent_grey);
    draw_text(cut, font, black, text, {0, 0, width, 30}, align_left, align_top, false);
    draw_text(reference, font, black, expected, {0, 0, width + 20, 30}, align_left, align_top, false);
    EXPECT_TRUE(same_pixels(*cut.buffer(), *reference.buffer()));
}

TEST(DrawText, RowsThatDoNotFitAreLeftOutAndTheLastShownEndsInAnEllipsis)
{
    const Font font = test_font();
    const Rect rect{0, 0, font->measure(u"word").width + 4, 2 * font->line_height()};
    RenderSurface surface({rect.right, 200});
    RenderSurface reference({rect.right, 200});
    surface.buffer()->clear(translucent_grey);
    reference.buffer()->clear(translucent_grey);
    draw_text(surface, font, black, u"word word word word word", rect, align_left, align_top, true);
    EXPECT_LE(changed_box(*surface.buffer(), translucent_grey).bottom, rect.bottom);
    std::int32_t fit = 0;
    font->measure(u"word", rect.width() - font->measure(u"\u2026").width, &fit);
    const String second_row = String(u"word").substr(0, std::size_t(fit)) + u"\u2026";
    draw_text(reference, font, black, u"word\n" + second_row, rect, align_left, align_top, true);
    EXPECT_TRUE(same_pixels(*surface.buffer(), *reference.buffer()));
}

TEST(DrawText, CallersClipLimitsWhatIsWrittenBack)
{
    RenderSurface surface({100, 30});
    surface.buffer()->clear(translucent_grey);
    draw_text(surface, test_font(), black, u"MMMMMMMMMM", {0, 0, 100, 30}, align_left, align_top, false, {0, 0},
              {30, 30});
    const Rect box = changed_box(*surface.buffer(), translucent_grey);
    EXPECT_FALSE(box.is_empty());
    EXPECT_LE(box.right, 30);
}

// A clip position with the size (-1, -1) keeps the text from its position to
// the rectangle's end; a size with the position (-1, -1) from the rectangle's start.
TEST(DrawText, EachHalfOfTheCallersClipStandsOnItsOwn)
{
    RenderSurface surface({100, 30});
    surface.buffer()->clear(translucent_grey);
    draw_text(surface, test_font(), black, u"MMMMMMMMMMMM", {0, 0, 100, 30}, align_left, align_top, false, {40, 0},
              {-1, -1});
    Rect box = changed_box(*surface.buffer(), translucent_grey);
    ASSERT_FALSE(box.is_empty());
    EXPECT_GE(box.left, 40);
    EXPECT_GT(box.right, 90);

    surface.buffer()->clear(translucent_grey);
    draw_text(surface, test_font(), black, u"MMMMMMMMMMMM", {0, 0, 100, 30}, align_left, align_top, false, {-1, -1},
              {30, 30});
    box = changed_box(*surface.buffer(), translucent_grey);
    ASSERT_FALSE(box.is_empty());
    EXPECT_LT(box.left, 10);
    EXPECT_LE(box.right, 30);
}

TEST(DrawText, ClipScopeOfTheTargetIsHonoured)
{
    RenderSurface surface({100, 30});
    surface.buffer()->clear(translucent_grey);
    {
        ClipScope clip(surface, {50, 0}, {50, 30});
        draw_text(surface, test_font(), black, u"MMMMMMMMMMMM", {0, 0, 100, 30}, align_left, align_top, false);
    }
    const Rect box = changed_box(*surface.buffer(), translucent_grey);
    EXPECT_GE(box.left, 50);
}

TEST(DrawText, RectangleHangingOffTheBufferIsSafe)
{
    // The part inside the buffer is the same as that part of the text drawn
    // whole into a larger buffer.
    RenderSurface surface({40, 20});
    surface.buffer()->clear(translucent_grey);
    draw_text(surface, test_font(), black, u"Wide text here", {-30, -10, 60, 25}, align_center, align_vcenter, false);
    RenderSurface whole({100, 50});
    whole.buffer()->clear(translucent_grey);
    draw_text(whole, test_font(), black, u"Wide text here", {0, 0, 90, 35}, align_center, align_vcenter, false);
    EXPECT_FALSE(changed_box(*surface.buffer(), translucent_grey).is_empty());
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(surface.buffer()->at(x, y), whole.buffer()->at(x + 30, y + 10)) << "at " << x << "," << y;

    RenderSurface untouched({40, 20});
    untouched.buffer()->clear(translucent_grey);
    draw_text(untouched, test_font(), black, u"Off", {100, 100, 160, 130}, align_left, align_top, false);
    draw_text(untouched, test_font(), black, u"Off", {-200, -100, -10, -5}, align_left, align_top, false);
    EXPECT_TRUE(changed_box(*untouched.buffer(), translucent_grey).is_empty());
}

TEST(DrawText, NothingToDraw)
{
    RenderSurface surface({40, 20});
    surface.buffer()->clear(translucent_grey);
    draw_text(surface, test_font(), black, u"", {0, 0, 40, 20}, align_left, align_top, false);
    draw_text(surface, test_font(0), black, u"text", {0, 0, 40, 20}, align_left, align_top, false);
    EXPECT_TRUE(changed_box(*surface.buffer(), translucent_grey).is_empty());
    RenderSurface empty;
    draw_text(empty, test_font(), black, u"text", {0, 0, 40, 20}, align_left, align_top, false);
}

// Text in a font whose face could not be made is still shown: drawn, and
// underlined, with the default font's face and metrics.
TEST(DrawText, AFontThatFailedToLoadDrawsWithTheDefaultFace)
{
    FontSpec failed;
    failed.point_size = 1000000;
    failed.underline = true;
    FontSpec standard;
    standard.underline = true;
    RenderSurface shown({120, 40});
    RenderSurface expected({120, 40});
    shown.buffer()->clear(translucent_grey);
    expected.buffer()->clear(translucent_grey);
    const Font failed_font(failed);
    ASSERT_FALSE(failed_font->has_face());
    draw_text(shown, failed_font, black, u"Hello", {0, 0, 120, 40}, align_left, align_vcenter, false);
    draw_text(expected, Font(standard), black, u"Hello", {0, 0, 120, 40}, align_left, align_vcenter, false);
    const Rect box = changed_box(*shown.buffer(), translucent_grey);
    EXPECT_GT(box.width(), 10);
    EXPECT_GT(box.height(), 5);
    EXPECT_TRUE(same_pixels(*shown.buffer(), *expected.buffer()));
}

TEST(DrawText, UnderlineDrawsALineBelowTheText)
{
    FontSpec spec;
    spec.face = u"DejaVu Sans";
    spec.underline = true;
    const Font underlined(spec);
    RenderSurface surface({100, 30});
    surface.buffer()->clear(translucent_grey);
    draw_text(surface, underlined, black, u"...", {0, 0, 100, 30}, align_left, align_top, false);
    const Rect box = changed_box(*surface.buffer(), translucent_grey);
    EXPECT_GE(box.bottom, underlined->ascent());
    EXPECT_EQ(box.width(), underlined->measure(u"...").width);
}
