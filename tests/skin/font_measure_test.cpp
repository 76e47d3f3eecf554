// Font creation from a description, the width cache and its clearing, and
// the two ways of measuring text.

#include <gtest/gtest.h>
#include "skin/font.h"

namespace {

FontSpec spec(std::int32_t size, String face = u"DejaVu Sans", std::int32_t scale = 1)
{
    FontSpec result;
    result.point_size = size;
    result.scale = scale;
    result.face = std::move(face);
    return result;
}

}  // namespace

TEST(FontSpec, CharacterHeightFollowsSizeAndScale)
{
    EXPECT_EQ(spec(9).logical_height(), -12);
    EXPECT_EQ(spec(9, u"Tahoma", 2).logical_height(), -24);
    EXPECT_EQ(spec(10).logical_height(), -13) << "truncated toward zero";
    EXPECT_EQ(FontSpec().point_size, 12);
    EXPECT_EQ(FontSpec().face, u"Tahoma");
}

TEST(FontRep, UnknownFaceFallsBackToAnInstalledFace)
{
    FontRep font(spec(12, u"No Such Face At All"));
    EXPECT_TRUE(font.has_face());
    EXPECT_GT(font.line_height(), 10);
    EXPECT_GT(font.descent(), 0);
    EXPECT_GT(font.measure(u"W").width, 0);
}

TEST(FontRep, SizeZeroCreatesNoFont)
{
    FontRep font(spec(0));
    EXPECT_FALSE(font.has_face());
    EXPECT_EQ(font.face(), nullptr) << "no stand-in either";
    EXPECT_EQ(font.line_height(), 20);
    EXPECT_EQ(font.descent(), 0);
    EXPECT_EQ(font.measure(u"W").width, 0);
}

// A font whose face could not be made measures and takes its metrics from
// the default font's face instead of measuring nothing.
TEST(FontRep, AbsurdSizeIsAFailedCreation)
{
    FontRep font(spec(1000000));
    EXPECT_FALSE(font.has_face());
    FontRep& standard = *Font();
    ASSERT_TRUE(standard.has_face());
    EXPECT_EQ(font.face(), standard.face());
    EXPECT_EQ(font.line_height(), standard.line_height());
    EXPECT_EQ(font.descent(), standard.descent());
    EXPECT_GT(font.measure(u"W").width, 0);
    std::int32_t descent = -1;
    std::vector<std::int32_t> widths;
    std::vector<std::int32_t> standard_widths;
    EXPECT_EQ(font.measure(u"Wide text", 0, nullptr, &descent, &widths),
              standard.measure(u"Wide text", 0, nullptr, nullptr, &standard_widths));
    EXPECT_EQ(widths, standard_widths);
    EXPECT_EQ(descent, standard.descent());
    EXPECT_EQ(measure_box(Font(spec(1000000)), u"two\nlines"), measure_box(Font(), u"two\nlines"));
}

TEST(FontRep, FaceNameIsCutTo31Characters)
{
    const String long_name(40, u'x');
    FontRep font(spec(10, long_name));
    EXPECT_EQ(font.face_name(), String(31, u'x'));
    EXPECT_EQ(font.spec().face, long_name);
}

TEST(FontRep, ScaleTwoDoublesTheLineHeight)
{
    FontRep normal(spec(10));
    FontRep doubled(spec(10, u"DejaVu Sans", 2));
    EXPECT_NEAR(doubled.line_height(), 2 * normal.line_height(), 2);
}

TEST(FontMeasure, SecondMeasureIsAnsweredFromTheCache)
{
    FontRep font(spec(12));
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> second;
    font.measure(u"aaa", 0, nullptr, nullptr, &first);
    EXPECT_EQ(font.system_measure_count(), 1u);
    EXPECT_EQ(font.cached_width_count(), 1u);
    font.measure(u"aaa", 0, nullptr, nullptr, &second);
    EXPECT_EQ(font.system_measure_count(), 1u);
    EXPECT_EQ(first, second);
    font.measure(u"aab", 0);
    EXPECT_EQ(font.system_measure_count(), 2u) << "only the new character is asked for";
    EXPECT_EQ(font.cached_width_count(), 2u);
}

TEST(FontMeasure, WidthsAddUpAndHeightIsTheLineHeight)
{
    FontRep font(spec(12));
    std::vector<std::int32_t> prefix;
    std::int32_t descent = -1;
    const Size size = font.measure(u"Wil", 0, nullptr, &descent, &prefix);
    ASSERT_EQ(prefix.size(), 3u);
    EXPECT_EQ(size.width, prefix[2]);
    EXPECT_EQ(size.height, font.line_height());
    EXPECT_EQ(descent, font.descent());
    EXPECT_GT(prefix[0], prefix[2] - prefix[1]) << "W is wider than l";
    EXPECT_EQ(font.measure(u"W").width + font.measure(u"il").width, size.width);
}

TEST(FontMeasure, FitCountStopsBeforeTheFirstCharacterThatOverflows)
{
    FontRep font(spec(12));
    std::vector<std::int32_t> prefix;
    const String text = u"abc";
    const std::int32_t total = font.measure(text, 0, nullptr, nullptr, &prefix).width;
    std::int32_t fit = -1;
    EXPECT_EQ(font.measure(text, prefix[0], &fit).width, total) << "the width is always the whole text's";
    EXPECT_EQ(fit, 1);
    font.measure(text, prefix[1] - 1, &fit);
    EXPECT_EQ(fit, 1);
    font.measure(text, prefix[0] - 1, &fit);
    EXPECT_EQ(fit, 0);
    font.measure(text, 0, &fit);
    EXPECT_EQ(fit, 3);
    font.measure(text, -5, &fit);
    EXPECT_EQ(fit, 3);
    font.measure(text, total, &fit);
    EXPECT_EQ(fit, 3);
}

TEST(FontMeasure, EmptyTextMeasuresNothing)
{
    FontRep font(spec(12));
    std::int32_t fit = -1;
    EXPECT_EQ(font.measure(u"", 100, &fit), (Size{0, 0}));
    EXPECT_EQ(fit, 0);
    EXPECT_EQ(font.system_measure_count(), 0u);
}

TEST(FontMeasure, OrientationChangeClearsEveryLiveCache)
{
    FontRep a(spec(12));
    auto b = std::make_unique<FontRep>(spec(14));
    {
        FontRep gone(spec(16));
        gone.measure(u"x");
    }
    a.measure(u"xy");
    b->measure(u"xyz");
    OrientationObserver::notify_all();
    EXPECT_EQ(a.cached_width_count(), 0u);
    EXPECT_EQ(b->cached_width_count(), 0u);
    a.measure(u"xy");
    EXPECT_EQ(a.system_measure_count(), 2u) << "measured again after the rotation";
    b.reset();
    OrientationObserver::notify_all();
}

TEST(FontHandle, CopiesShareOneFont)
{
    Font font(spec(12));
    Font copy = font;
    EXPECT_EQ(copy.get(), font.get());
    EXPECT_EQ(Font().get(), Font().get()) << "one process-wide default";
    EXPECT_TRUE(Font()->has_face()) << "text without a font of its own is still shown";
    EXPECT_EQ(Font()->spec().point_size, 12);
}

TEST(MeasureBox, OneRowPerLine)
{
    Font font(spec(12));
    const std::int32_t wide = font->measure(u"a longer line").width;
    EXPECT_EQ(measure_box(font, u"short\r\na longer line\nx"), (Size{wide, 3 * font->line_height()}));
    EXPECT_EQ(measure_box(font, u"one"), (Size{font->measure(u"one").width, font->line_height()}));
    EXPECT_EQ(measure_box(font, u"").width, 0);
}

TEST(Alignment, NamesMatchExactly)
{
    int value = 7;
    EXPECT_TRUE(parse_horizontal_alignment(u"CENTER", value));
    EXPECT_EQ(value, align_center);
    EXPECT_TRUE(parse_horizontal_alignment(u"JUSTIFY", value));
    EXPECT_EQ(value, 3);
    EXPECT_FALSE(parse_horizontal_alignment(u"center", value));
    EXPECT_FALSE(parse_horizontal_alignment(u"CENTER ", value));
    EXPECT_FALSE(parse_horizontal_alignment(u"VCENTER", value));
    EXPECT_EQ(value, 3) << "an unmatched name leaves the value";
    EXPECT_TRUE(parse_vertical_alignment(u"BOTTOM", value));
    EXPECT_EQ(value, align_bottom);
    EXPECT_FALSE(parse_vertical_alignment(u"CENTER", value));
    EXPECT_EQ(value, 2);
}
