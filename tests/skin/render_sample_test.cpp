// Renders a sample screen (framed pictures at three alpha levels, a dimmed
// band, text in every alignment) and writes it as a BMP a person can open:
// <build dir>/skin-sample.bmp. The file must read back pixel for pixel.

#include <gtest/gtest.h>
#include "pixels/bmp_reader.h"
#include "pixels/bmp_writer.h"
#include "pixels/render_draw.h"
#include "skin/font.h"
#include "skin/skin_bitmap_file.h"
#include "skin/skin_picture.h"

namespace {

// A 12 x 12 button frame: key-coloured corners, an opaque 3-pixel border and
// a translucent (pre-darkened) middle.
SkinPicture button_picture()
{
    std::unique_ptr<PixelBuffer> pixels = PixelBuffer::create(12, 12);
    for (std::int32_t y = 0; y < 12; ++y) {
        for (std::int32_t x = 0; x < 12; ++x) {
            const bool corner = (x < 2 || x > 9) && (y < 2 || y > 9);
            const bool border = x < 3 || x > 8 || y < 3 || y > 8;
            Pixel p = rgb_to_pixel(0, 40, std::uint8_t(40 + 10 * y)) & ~opacity_flag;
            if (border)
                p = rgb_to_pixel(30, std::uint8_t(110 + 8 * y), 220) | opacity_flag;
            pixels->at(x, y) = corner ? key_color : p;
        }
    }
    SkinPicture picture = SkinPicture::whole(std::make_shared<SkinBitmap>(u"button", std::move(pixels)));
    picture.inner_top_left = {3, 3};
    picture.inner_bottom_right = {9, 9};
    return picture;
}

void fill_background(RenderSurface& surface)
{
    PixelBuffer& buffer = *surface.buffer();
    for (std::int32_t y = 0; y < buffer.height(); ++y)
        for (std::int32_t x = 0; x < buffer.width(); ++x)
            buffer.at(x, y) =
                rgb_to_pixel(std::uint8_t(x * 255 / buffer.width()), 160, std::uint8_t(y * 255 / buffer.height()));
}

Font sample_font(std::int32_t size, bool bold)
{
    FontSpec spec;
    spec.point_size = size;
    spec.scale = 2;
    spec.bold = bold;
    spec.face = u"Tahoma";
    return Font(spec);
}

void draw_sample(RenderSurface& surface)
{
    fill_background(surface);
    const SkinPicture button = button_picture();
    const Font title = sample_font(12, true);
    const Font body = sample_font(8, false);
    const Color white{255, 255, 255, 255};
    const Color black{0, 0, 0, 255};
    draw_text(surface, title, black, u"Pictavio skin sample", {0, 8, 480, 60}, align_center, align_vcenter, false);
    const int alphas[] = {0, 128, 255};
    for (int i = 0; i < 3; ++i) {
        const Rect rect{20, 80 + i * 110, 460, 170 + i * 110};
        draw_picture(surface, {rect.left, rect.top}, {rect.width(), rect.height()}, button,
                     operation_for_alpha(alphas[i]));
        const String label = u"alpha " + to_string16(alphas[i]) + u": left";
        draw_text(surface, body, white, label, {40, rect.top + 10, 440, rect.bottom - 10}, align_left, align_top,
                  false);
        draw_text(surface, body, white, u"centred", {40, rect.top + 10, 440, rect.bottom - 10}, align_center,
                  align_vcenter, false);
        draw_text(surface, body, white, u"right", {40, rect.top + 10, 440, rect.bottom - 10}, align_right, align_bottom,
                  false);
    }
    apply_span(surface, {0, 420, 480, 470}, DimSpan(dim_level(128)));
    draw_text(surface, body, white, u"A dimmed band: half brightness", {0, 420, 480, 470}, align_center, align_vcenter,
              false);
    draw_text(surface, body, black,
              u"Word wrap: this paragraph is longer than its box, so it breaks at spaces and "
              u"the last row that fits ends in an ellipsis when words remain unshown.",
              {20, 490, 460, 570}, align_left, align_top, true);
}

}  // namespace

TEST(SampleRender, WritesAScreenThatReadsBackUnchanged)
{
    RenderSurface surface({480, 640});
    draw_sample(surface);
    const String path = from_utf8(PICTAVIO_BINARY_DIR) + u"/skin-sample";
    ASSERT_TRUE(write_bmp_565(path + u".bmp", *surface.buffer()));
    std::shared_ptr<SkinBitmap> bitmap;
    const SkinPicture picture = load_565(path, bitmap);
    ASSERT_EQ(picture.size(), (Size{480, 640}));
    for (std::int32_t y = 0; y < 640; ++y)
        for (std::int32_t x = 0; x < 480; ++x)
            ASSERT_EQ(bitmap->pixels()->at(x, y), surface.buffer()->at(x, y)) << x << "," << y;
}
