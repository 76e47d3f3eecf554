// Characters the skin's face lacks: measured and drawn from an installed face
// that has them, per character and cached; surrogate pairs as one character.

#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H
#include "pixels/render_draw.h"
#include "skin/font.h"
#include "tests/pixel_compare.h"

namespace {

const Color black{0, 0, 0, 255};
constexpr Pixel white_pixel = 0xFFFF;

FontSpec dejavu(std::int32_t size = 12)
{
    FontSpec spec;
    spec.point_size = size;
    spec.face = u"DejaVu Sans";
    return spec;
}

bool has_glyph(FT_Face face, char32_t c)
{
    return face != nullptr && FT_Get_Char_Index(face, c) != 0;
}

// The text drawn black on white in a fresh 160 x 40 surface.
std::unique_ptr<RenderSurface> drawn(const Font& font, StringView text)
{
    auto surface = std::make_unique<RenderSurface>(Size{160, 40});
    fill_rect(*surface, {0, 0, 160, 40}, white_pixel);
    draw_text(*surface, font, black, text, {0, 0, 160, 40}, align_left, align_top, false);
    return surface;
}

int inked_pixels(const RenderSurface& surface)
{
    int count = 0;
    for (std::int32_t y = 0; y < 40; ++y)
        for (std::int32_t x = 0; x < 160; ++x)
            count += surface.buffer()->at(x, y) != white_pixel;
    return count;
}

}  // namespace

TEST(FontFallback, EveryCharacterOfAMixedTextComesFromAFaceThatHasIt)
{
    FontRep font(dejavu());
    ASSERT_TRUE(font.has_face());
    // Latin, Cyrillic, CJK and an emoji beyond U+FFFF.
    const String text = u"Aя東\U0001F600";
    const std::u32string characters = U"Aя東\U0001F600";
    for (char32_t c : characters)
        EXPECT_TRUE(has_glyph(font.face_for(c), c)) << std::hex << std::uint32_t(c);
    EXPECT_EQ(font.face_for(U'A'), font.face());
    EXPECT_EQ(font.face_for(U'я'), font.face());
    EXPECT_NE(font.face_for(U'東'), font.face()) << "DejaVu Sans has no CJK; an installed CJK face draws it";
    EXPECT_EQ(font.fallback_face_count(), 1u);

    // The text measures as the sum of each character's width from its face.
    std::vector<std::int32_t> prefix;
    const Size size = font.measure(text, 0, nullptr, nullptr, &prefix);
    std::int32_t sum = 0;
    for (char32_t c : characters)
        sum += font.glyph_advance(c);
    EXPECT_EQ(size.width, sum);
    ASSERT_EQ(prefix.size(), 5u) << "one width per UTF-16 unit";
    EXPECT_GT(prefix[2] - prefix[1], prefix[0]) << "the ideograph is wider than the Latin letter";
    EXPECT_EQ(prefix[4], prefix[3]) << "the second unit of the pair adds nothing";
    EXPECT_GT(prefix[3], prefix[2]);
}

TEST(FontFallback, FacesAreFoundOncePerCharacterAndSharedPerFile)
{
    FontRep font(dejavu());
    FT_Face first = font.face_for(U'東');
    EXPECT_EQ(font.face_for(U'京'), first) << "the same file serves both";
    EXPECT_EQ(font.face_for(U'東'), first);
    EXPECT_EQ(font.fallback_face_count(), 1u);
    // A character no installed face has is drawn by the own face (its box).
    EXPECT_EQ(font.face_for(0x10FFFD), font.face());
    EXPECT_EQ(font.face_for(0x10FFFD), font.face());
}

TEST(FontFallback, FallbackFaceHasTheFontsPixelSize)
{
    FontRep small(dejavu(9));
    FontRep large(dejavu(18));
    EXPECT_EQ(small.face_for(U'東')->size->metrics.y_ppem, 12);
    EXPECT_EQ(large.face_for(U'東')->size->metrics.y_ppem, 24);
}

TEST(FontFallback, DifferentIdeographsDrawDifferentGlyphsNotBoxes)
{
    Font font(dejavu());
    const auto tokyo = drawn(font, u"東京");
    const auto osaka = drawn(font, u"大阪");
    EXPECT_GT(inked_pixels(*tokyo), 40);
    EXPECT_GT(inked_pixels(*osaka), 40);
    EXPECT_FALSE(same_pixels(*tokyo->buffer(), *osaka->buffer()));
}

TEST(SurrogatePairs, APairIsOneCharacterAndALoneHalfIsItsOwn)
{
    const String emoji = u"\U0001F600";
    ASSERT_EQ(emoji.size(), 2u);
    std::size_t units = 0;
    EXPECT_EQ(character_at(emoji, 0, &units), U'\U0001F600');
    EXPECT_EQ(units, 2u);
    const String lone = {char16_t(0xD83D), u'a', char16_t(0xDE00)};
    EXPECT_EQ(character_at(lone, 0, &units), char32_t(0xD83D));
    EXPECT_EQ(units, 1u);
    EXPECT_EQ(character_at(lone, 2, &units), char32_t(0xDE00));
    EXPECT_EQ(units, 1u);
    const String reversed = {char16_t(0xDE00), char16_t(0xD83D)};
    EXPECT_EQ(character_at(reversed, 0, &units), char32_t(0xDE00));
    EXPECT_EQ(units, 1u);
}

TEST(SurrogatePairs, AnEmojiDrawsAsOneGlyphAndFitNeverSplitsIt)
{
    FontRep font(dejavu());
    const String text = u"a\U0001F600b";
    std::vector<std::int32_t> prefix;
    font.measure(text, 0, nullptr, nullptr, &prefix);
    const std::int32_t emoji_width = prefix[2] - prefix[0];
    EXPECT_EQ(emoji_width, font.glyph_advance(U'\U0001F600'));
    EXPECT_EQ(font.cached_width_count(), 3u) << "a, the emoji and b";
    // A limit inside the emoji fits only the "a".
    std::int32_t fit = 0;
    font.measure(text, prefix[0] + emoji_width / 2, &fit);
    EXPECT_EQ(fit, 1);
    font.measure(text, prefix[2], &fit);
    EXPECT_EQ(fit, 3);

    // Drawn, the pair makes one glyph, not two missing-glyph boxes.
    Font shared(dejavu());
    const auto pair = drawn(shared, u"\U0001F600");
    const auto halves = drawn(shared, String{char16_t(0xD83D)} + u" " + String{char16_t(0xDE00)});
    EXPECT_GT(inked_pixels(*pair), 20);
    EXPECT_FALSE(same_pixels(*pair->buffer(), *halves->buffer()));
}
