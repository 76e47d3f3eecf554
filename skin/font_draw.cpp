// Text layout and drawing: lines, ellipses and alignment worked out with the
// cached widths, glyphs blended into a copy of the target, and the copy put
// back through the marking operation so that touched pixels become opaque.

#include <algorithm>
#include <ft2build.h>
#include FT_FREETYPE_H
#include "pixels/render_draw.h"
#include "skin/font.h"

namespace {

// The ellipsis character ends a text cut to fit.
const StringView ellipsis = u"\u2026";

bool is_line_break(char16_t c)
{
    return c == u'\n' || c == u'\r';
}

bool is_blank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

std::int32_t width_of(FontRep& font, StringView text)
{
    return font.measure(text).width;
}

StringView trim_trailing_blanks(StringView text)
{
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The longest prefix of text that leaves room for "...", then "..." (added
// even when the whole text would fit: it marks text left out after it).
String cut_with_ellipsis(FontRep& font, StringView text, std::int32_t width)
{
    const std::int32_t room = width - width_of(font, ellipsis);
    std::int32_t fit = 0;
    if (room > 0)
        font.measure(text, room, &fit);
    String line(trim_trailing_blanks(text.substr(0, std::size_t(fit))));
    return line + String(ellipsis);
}

// text unchanged when it fits width, else cut with an ellipsis.
String fit_with_ellipsis(FontRep& font, StringView text, std::int32_t width)
{
    if (width_of(font, text) <= width)
        return String(text);
    return cut_with_ellipsis(font, text, width);
}

// The paragraphs of text: split at CR LF, CR or LF.
std::vector<StringView> split_paragraphs(StringView text)
{
    std::vector<StringView> paragraphs;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !is_line_break(text[i]))
            continue;
        paragraphs.push_back(text.substr(start, i - start));
        if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    return paragraphs;
}

std::size_t skip_blanks(StringView text, std::size_t position)
{
    while (position < text.size() && is_blank(text[position]))
        ++position;
    return position;
}

// Greedy word wrap of one paragraph; a word wider than the line is cut with
// an ellipsis.
void wrap_paragraph(FontRep& font, StringView paragraph, std::int32_t width, std::vector<String>& lines)
{
    if (paragraph.empty()) {
        lines.emplace_back();
        return;
    }
    std::size_t position = 0;
    while (position < paragraph.size()) {
        const StringView rest = paragraph.substr(position);
        std::int32_t fit = 0;
        font.measure(rest, width, &fit);
        if (std::size_t(fit) >= rest.size()) {
            lines.emplace_back(rest);
            return;
        }
        std::size_t space = rest.substr(0, std::size_t(fit) + 1).find_last_of(u" \t");
        if (space != StringView::npos && space > 0) {
            lines.emplace_back(trim_trailing_blanks(rest.substr(0, space)));
            position = skip_blanks(paragraph, position + space);
            continue;
        }
        const std::size_t word_end = std::min(rest.find_first_of(u" \t"), rest.size());
        lines.push_back(fit_with_ellipsis(font, rest.substr(0, word_end), width));
        position = skip_blanks(paragraph, position + word_end);
    }
}

// The lines to draw: wrapped and limited to the rows the rectangle holds (the
// last one then ending in an ellipsis), or one line cut with an ellipsis.
std::vector<String> layout_lines(FontRep& font, StringView text, const Rect& rect, bool wrap)
{
    std::vector<String> lines;
    if (!wrap) {
        String line(text);
        std::replace_if(line.begin(), line.end(), is_line_break, u' ');
        lines.push_back(fit_with_ellipsis(font, line, rect.width()));
        return lines;
    }
    for (StringView paragraph : split_paragraphs(text))
        wrap_paragraph(font, paragraph, rect.width(), lines);
    const auto rows = std::size_t(std::max(1, rect.height() / std::max(1, font.line_height())));
    if (lines.size() > rows) {
        lines.resize(rows);
        lines.back() = cut_with_ellipsis(font, lines.back(), rect.width());
    }
    return lines;
}

struct Rgb565 {
    int red, green, blue;
};

Pixel blend(Pixel d, const Rgb565& colour, int coverage)
{
    const auto mix = [coverage](int from, int to) { return from + ((to - from) * coverage + 127) / 255; };
    const int red = mix(d >> 11, colour.red);
    const int green = mix((d >> 5) & 63, colour.green);
    const int blue = mix(d & 31, colour.blue);
    return static_cast<Pixel>(red << 11 | green << 5 | blue);
}

// Blends a coverage bitmap (8-bit grey or 1-bit) at (left, top) into canvas.
void blend_bitmap(PixelBuffer& canvas, const FT_Bitmap& bitmap, std::int32_t left, std::int32_t top,
                  const Rgb565& colour)
{
    const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
    if (!mono && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
        return;
    const Rect area =
        intersect(canvas.bounds(), Rect{left, top, left + std::int32_t(bitmap.width), top + std::int32_t(bitmap.rows)});
    for (std::int32_t y = area.top; y < area.bottom; ++y) {
        const unsigned char* source = bitmap.buffer + std::int64_t(y - top) * bitmap.pitch;
        Pixel* row = canvas.row(y);
        for (std::int32_t x = area.left; x < area.right; ++x) {
            const std::int32_t column = x - left;
            const int coverage = mono ? ((source[column >> 3] >> (7 - (column & 7))) & 1) * 255 : source[column];
            if (coverage > 0)
                row[x] = blend(row[x], colour, coverage);
        }
    }
}

// Draws one line with its baseline at baseline, pen starting at x.
void draw_line(FontRep& font, PixelBuffer& canvas, StringView line, std::int32_t x, std::int32_t baseline,
               const Rgb565& colour)
{
    FT_Face face = font.face();
    std::vector<std::int32_t> advances;
    const std::int32_t width = font.measure(line, 0, nullptr, nullptr, &advances).width;
    std::int32_t pen = x;
    std::size_t units = 1;
    for (std::size_t i = 0; i < line.size(); i += units) {
        const char32_t c = character_at(line, i, &units);
        FT_Face glyph_face = font.face_for(c);
        if (FT_Load_Char(glyph_face, c, FT_LOAD_RENDER) == 0)
            blend_bitmap(canvas, glyph_face->glyph->bitmap, pen + glyph_face->glyph->bitmap_left,
                         baseline - glyph_face->glyph->bitmap_top, colour);
        pen = x + advances[i + units - 1];
    }
    if (font.spec().underline && width > 0) {
        const long y_scale = face->size->metrics.y_scale;
        const auto position = std::int32_t(-FT_MulFix(face->underline_position, y_scale) >> 6);
        const auto thickness =
            std::max<std::int32_t>(1, std::int32_t(FT_MulFix(face->underline_thickness, y_scale) >> 6));
        DrawTarget target(&canvas);
        fill_rect(target, Rect{x, baseline + position, x + width, baseline + position + thickness},
                  rgb_to_pixel(std::uint8_t(colour.red << 3), std::uint8_t(colour.green << 2),
                               std::uint8_t(colour.blue << 3)));
    }
}

std::int32_t aligned_x(const Rect& rect, std::int32_t width, int horizontal)
{
    switch (horizontal) {
    case align_center:
        return rect.left + (rect.width() - width) / 2;
    case align_right:
        return rect.right - width;
    default:
        return rect.left;  // LEFT and JUSTIFY
    }
}

std::int32_t aligned_y(const Rect& rect, std::int32_t height, int vertical)
{
    switch (vertical) {
    case align_vcenter:
        return rect.top + (rect.height() - height) / 2;
    case align_bottom:
        return rect.bottom - height;
    default:
        return rect.top;
    }
}

// The shared text canvas: reused while large enough, kept for the whole run.
PixelBuffer* text_canvas(Size size)
{
    static std::unique_ptr<PixelBuffer> canvas;
    if (!canvas || canvas->width() < size.width || canvas->height() < size.height)
        canvas = PixelBuffer::create(size.width, size.height);
    return canvas.get();
}

}  // namespace

Size measure_box(const Font& font, StringView text)
{
    const std::lock_guard lock(font_lock());
    const std::vector<StringView> lines = split_paragraphs(text);
    std::int32_t width = 0;
    for (StringView line : lines)
        width = std::max(width, width_of(*font, line));
    return {width, std::int32_t(lines.size()) * font->line_height()};
}

void draw_text(DrawTarget& target, const Font& font, Color color, StringView text, const Rect& rect, int horizontal,
               int vertical, bool wrap, Point clip_position, Size clip_size)
{
    const std::lock_guard lock(font_lock());
    PixelBuffer* buffer = target.buffer();
    if (text.empty() || !buffer || !font->face())
        return;
    // Only the part of the rectangle inside the buffer is copied out and back.
    const Rect visible = intersect(rect, buffer->bounds());
    if (visible.is_empty())
        return;
    // Either half of the caller's clip given as (-1, -1) is the visible rectangle's own.
    const Point position = clip_position == Point{-1, -1} ? Point{visible.left, visible.top} : clip_position;
    const Size size = clip_size == Size{-1, -1} ? Size{visible.width(), visible.height()} : clip_size;
    const Rect back = intersect(visible, Rect::of(position, size));
    PixelBuffer* canvas = text_canvas({visible.width(), visible.height()});
    if (back.is_empty() || !canvas)
        return;
    DrawTarget canvas_target(canvas);
    blit(canvas_target, *buffer, {visible.left, visible.top}, {visible.width(), visible.height()}, {0, 0},
         plain_copy_operation());

    FontRep& rep = *font;
    const std::vector<String> lines = layout_lines(rep, text, rect, wrap);
    const Rgb565 colour{color.red >> 3, color.green >> 2, color.blue >> 3};
    const std::int32_t line_height = rep.line_height();
    std::int32_t top = aligned_y(rect, std::int32_t(lines.size()) * line_height, vertical);
    // Glyphs land in canvas coordinates; what falls outside the visible part
    // of the rectangle is never copied back.
    for (const String& line : lines) {
        const std::int32_t x = aligned_x(rect, width_of(rep, line), horizontal) - visible.left;
        draw_line(rep, *canvas, line, x, top - visible.top + rep.ascent(), colour);
        top += line_height;
    }
    blit(target, *canvas, {back.left - visible.left, back.top - visible.top}, {back.width(), back.height()},
         {back.left, back.top}, marking_operation());
}
