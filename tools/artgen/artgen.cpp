// artgen OUTPUT_DIR: draws the default skin's artwork into OUTPUT_DIR as
// 16-bit RGB565 BMPs at the 96-dpi design size (the skin engine doubles
// pixels on 192-dpi screens). Keyed pictures use 0xF81F where they are
// empty and translucent words at anti-aliased edges and in shadows.
// artgen --icon SIZE OUTPUT.png: draws the program's desktop icon, the logo on
// a transparent square of SIZE pixels, as an 8-bit RGBA PNG.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "canvas.h"

namespace {

// The palette of the default skin: a dark theme with one blue accent.
const Rgba background_top = rgb(0x1B1F27);
const Rgba background_bottom = rgb(0x0E1014);
const Rgba surface = rgb(0x232833);
const Rgba surface_pressed = rgb(0x2E3644);
const Rgba outline = rgb(0x363D4A);
const Rgba accent = rgb(0x3D8BFD);
const Rgba accent_pressed = rgb(0x2A6AD0);
const Rgba disabled = rgb(0x3A3F47);
const Rgba foreground = rgb(0xF2F4F8);
const Rgba muted = rgb(0x8A93A3);
const Rgba danger = rgb(0xE5484D);
const Rgba warning_yellow = rgb(0xF5B83D);

struct Artwork {
    std::string name;
    Canvas canvas;
    bool keyed;
};

std::vector<Artwork> artworks;

Canvas& add(const std::string& name, int width, int height, bool keyed = true)
{
    artworks.push_back({name, Canvas(width, height), keyed});
    return artworks.back().canvas;
}

// A nine-part panel: rounded rectangle with a soft shadow below it.
void panel(const std::string& name, int size, float radius, const Paint& paint, const Rgba* border)
{
    Canvas& c = add(name, size, size);
    float inset = 2;
    c.shadow(rounded_rect(inset, inset + 1, size - inset, size - inset + 1, radius), 2.5f, 0.35f);
    Shape body = rounded_rect(inset, inset, size - inset, size - inset, radius);
    if (border) {
        c.draw(body, solid(*border));
        c.draw(rounded_rect(inset + 1, inset + 1, size - inset - 1, size - inset - 1, radius - 1), paint);
    } else {
        c.draw(body, paint);
    }
}

void buttons()
{
    panel("button", 24, 7, vertical_gradient(rgb(0x4A96FF), accent, 0, 24), nullptr);
    panel("button_pressed", 24, 7, solid(accent_pressed), nullptr);
    panel("button_disabled", 24, 7, solid(disabled), nullptr);
    panel("button_flat", 24, 7, solid(surface), &outline);
    panel("button_flat_pressed", 24, 7, solid(surface_pressed), &outline);
    panel("row", 32, 8, solid(surface), nullptr);
    panel("row_pressed", 32, 8, solid(surface_pressed), &accent);
    panel("menu_panel", 32, 10, solid(rgb(0x262C37)), &outline);
    panel("menu_item_pressed", 24, 6, solid(accent_pressed), nullptr);
    panel("menu_item_red", 24, 6, solid(rgb(0x5A2024)), &danger);
}

// The logo: a photo frame with a sun and two hills, centred on (cx, cy).
// The logo centred on cx, cy; its design size (88 x 72 and a shadow) times scale.
void draw_logo(Canvas& c, float cx, float cy, float scale = 1)
{
    // A point of the design relative to the centre.
    const auto x = [&](float dx) { return cx + dx * scale; };
    const auto y = [&](float dy) { return cy + dy * scale; };
    c.shadow(rounded_rect(x(-44), y(-34), x(44), y(38), 12 * scale), 6 * scale, 0.45f);
    c.draw(rounded_rect(x(-44), y(-36), x(44), y(36), 12 * scale),
           vertical_gradient(rgb(0x5AA2FF), accent, y(-36), y(36)));
    Shape picture = rounded_rect(x(-34), y(-26), x(34), y(26), 6 * scale);
    c.draw(picture, vertical_gradient(rgb(0xBFE1FF), rgb(0xE8F3FF), y(-26), y(26)));
    c.draw(circle(x(16), y(-10), 7 * scale), solid(warning_yellow));
    c.draw(intersect(picture, triangle(x(-40), y(26), x(-10), y(-6), x(20), y(26))), solid(rgb(0x2E7D5B)));
    c.draw(intersect(picture, triangle(x(-6), y(26), x(18), y(2), x(44), y(26))), solid(rgb(0x3FA172)));
}

// The desktop icon: the logo filling a transparent square of side pixels.
int write_icon(int side, const std::string& path)
{
    if (side < 16 || side > 1024) {
        std::fprintf(stderr, "artgen: icon size %d is not between 16 and 1024\n", side);
        return 2;
    }
    Canvas canvas(side, side);
    // The design with its shadow spans about 100 x 84 units.
    draw_logo(canvas, side / 2.0f, side / 2.0f - side * 0.01f, side / 100.0f);
    if (!canvas.save_png(path)) {
        std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

void backgrounds()
{
    add("background", 8, 320, false).fill(vertical_gradient(background_top, background_bottom, 0, 320));
    add("toolbar", 8, 44, false).fill(vertical_gradient(rgb(0x252B36), rgb(0x1A1E26), 0, 44));
    Canvas& splash = add("splash", 240, 320, false);
    splash.fill(vertical_gradient(rgb(0x20324F), background_bottom, 0, 320));
    draw_logo(splash, 120, 130);
    // The same logo on its own for the about screen.
    draw_logo(add("logo", 104, 96), 52, 46);
}

// Icons are 24 x 24 line drawings in the foreground colour.
Canvas& icon(const std::string& name)
{
    return add(name, 24, 24);
}

void magnifier(Canvas& c, const Paint& ink)
{
    c.draw(ring(10, 10, 6, 2.2f), ink);
    c.draw(segment(14.5f, 14.5f, 20, 20, 2.8f), ink);
}

void menu_lines(Canvas& c, const Paint& ink)
{
    for (float y : {6.5f, 12.0f, 17.5f})
        c.draw(segment(5, y, 19, y, 2.2f), ink);
}

void back_arrow(Canvas& c, const Paint& ink)
{
    c.draw(segment(6, 12, 19, 12, 2.2f), ink);
    c.draw(segment(6, 12, 11.5f, 6.5f, 2.2f), ink);
    c.draw(segment(6, 12, 11.5f, 17.5f, 2.2f), ink);
}

void icons()
{
    const Paint ink = solid(foreground);
    magnifier(icon("icon_search"), ink);
    // Toolbar icons of buttons that can be disabled have a muted copy.
    magnifier(icon("icon_search_disabled"), solid(muted));
    menu_lines(icon("icon_menu_disabled"), solid(muted));
    back_arrow(icon("icon_back_disabled"), solid(muted));
    Canvas& zoom_in = icon("icon_zoom_in");
    magnifier(zoom_in, ink);
    zoom_in.draw(segment(7, 10, 13, 10, 2), ink);
    zoom_in.draw(segment(10, 7, 10, 13, 2), ink);
    Canvas& zoom_out = icon("icon_zoom_out");
    magnifier(zoom_out, ink);
    zoom_out.draw(segment(7, 10, 13, 10, 2), ink);
    menu_lines(icon("icon_menu"), ink);
    back_arrow(icon("icon_back"), ink);
    Canvas& previous = icon("icon_previous");
    previous.draw(segment(14, 5, 8, 12, 2.4f), ink);
    previous.draw(segment(8, 12, 14, 19, 2.4f), ink);
    Canvas& next = icon("icon_next");
    next.draw(segment(10, 5, 16, 12, 2.4f), ink);
    next.draw(segment(16, 12, 10, 19, 2.4f), ink);
    Canvas& rotate = icon("icon_rotate");
    Shape arc = subtract(ring(12, 13, 6.5f, 2.2f), triangle(12, 13, 24, 0, 24, 13));
    rotate.draw(arc, ink);
    rotate.draw(triangle(14.5f, 2.5f, 20.5f, 7.5f, 14, 10.5f), ink);
    Canvas& check = icon("icon_check");
    check.draw(segment(6, 12.5f, 10, 16.5f, 2.4f), solid(accent));
    check.draw(segment(10, 16.5f, 18, 7.5f, 2.4f), solid(accent));
    // The menu screen's buttons: language, help, about, minimise and exit.
    Canvas& language = icon("icon_language");
    language.draw(ring(12, 12, 8, 1.8f), ink);
    Shape globe = circle(12, 12, 8);
    language.draw(intersect(globe, segment(4, 12, 20, 12, 1.6f)), ink);
    language.draw(intersect(globe, segment(4, 7.5f, 20, 7.5f, 1.4f)), ink);
    language.draw(intersect(globe, segment(4, 16.5f, 20, 16.5f, 1.4f)), ink);
    language.draw(intersect(globe, ring(12, 12, 4.5f, 1.4f)), ink);
    Canvas& help = icon("icon_help");
    help.draw(ring(12, 12, 8.5f, 1.8f), ink);
    help.draw(subtract(ring(12, 9.5f, 3, 1.8f), triangle(12, 9.5f, 4, 14, 12, 16)), ink);
    help.draw(segment(12, 12.5f, 12, 14, 1.8f), ink);
    help.draw(circle(12, 17, 1.2f), ink);
    Canvas& about = icon("icon_about");
    about.draw(ring(12, 12, 8.5f, 1.8f), ink);
    about.draw(circle(12, 7.8f, 1.3f), ink);
    about.draw(segment(12, 11, 12, 16.5f, 2), ink);
    Canvas& minimise = icon("icon_minimize");
    minimise.draw(segment(6, 17, 18, 17, 2.2f), ink);
    minimise.draw(segment(12, 5, 12, 13, 2.2f), ink);
    minimise.draw(segment(12, 13, 8.5f, 9.5f, 2.2f), ink);
    minimise.draw(segment(12, 13, 15.5f, 9.5f, 2.2f), ink);
    Canvas& exit = icon("icon_exit");
    exit.draw(subtract(ring(12, 13, 7, 2), triangle(12, 13, 6, 0, 18, 0)), solid(danger));
    exit.draw(segment(12, 4, 12, 12, 2.2f), solid(danger));
    Canvas& folder = icon("icon_folder");
    folder.draw(rounded_rect(3, 6, 12, 10, 1.5f), solid(warning_yellow));
    folder.draw(rounded_rect(3, 8, 21, 19, 2), solid(rgb(0xF7C95C)));
}

// Round translucent buttons laid over the picture in the viewer.
void overlay_buttons()
{
    Canvas& normal = add("overlay_button", 40, 40);
    normal.draw(circle(20, 20, 18), solid(Rgba{0, 0, 0, 0.5f}));
    normal.draw(ring(20, 20, 18, 1), solid(rgb(0xFFFFFF, 0.35f)));
    Canvas& pressed = add("overlay_button_pressed", 40, 40);
    pressed.draw(circle(20, 20, 18), solid(accent));
    Canvas& disabled_button = add("overlay_button_disabled", 40, 40);
    disabled_button.draw(circle(20, 20, 18), solid(Rgba{0.1f, 0.1f, 0.1f, 0.5f}));
    add("overlay_bar", 8, 44).fill(solid(Rgba{0, 0, 0, 0.5f}));
}

void progress_and_checks()
{
    Canvas& track = add("progress_track", 16, 8);
    track.draw(rounded_rect(0, 0, 16, 8, 4), solid(outline));
    Canvas& fill = add("progress_fill", 16, 8);
    fill.draw(rounded_rect(0, 0, 16, 8, 4), vertical_gradient(rgb(0x6AAAFF), accent, 0, 8));
    Canvas& off = add("checkbox_off", 20, 20);
    off.draw(rounded_rect(2, 2, 18, 18, 4), solid(outline));
    off.draw(rounded_rect(3.5f, 3.5f, 16.5f, 16.5f, 3), solid(surface));
    Canvas& on = add("checkbox_on", 20, 20);
    on.draw(rounded_rect(2, 2, 18, 18, 4), solid(accent));
    on.draw(segment(6, 10.5f, 9, 13.5f, 2.2f), solid(foreground));
    on.draw(segment(9, 13.5f, 14.5f, 6.5f, 2.2f), solid(foreground));
}

// Thumbnail frame (drawn over each preview) and the placeholders.
void pictures()
{
    Canvas& frame = add("thumb_frame", 56, 56);
    Shape outer = rounded_rect(0, 0, 56, 56, 6);
    Shape inner = rounded_rect(2, 2, 54, 54, 5);
    // Outside the rounded corners the frame hides the preview under the row's colour.
    frame.draw(subtract(rounded_rect(-1, -1, 57, 57, 0), outer), solid(surface));
    frame.draw(subtract(outer, inner), solid(rgb(0x0E1014)));
    frame.draw(subtract(inner, rounded_rect(3, 3, 53, 53, 4)), solid(rgb(0xFFFFFF, 0.3f)));

    Canvas& loading = add("load", 64, 64, false);
    loading.fill(solid(rgb(0x1E232C)));
    for (int i = 0; i < 3; ++i)
        loading.draw(circle(20.0f + 12 * i, 32, 4), solid(mix(muted, accent, i / 2.0f)));

    Canvas& bad = add("bad", 64, 64, false);
    bad.fill(solid(rgb(0x1E232C)));
    bad.draw(rounded_rect(14, 16, 50, 48, 4), solid(outline));
    bad.draw(rounded_rect(16, 18, 48, 46, 3), solid(rgb(0x2A303B)));
    bad.draw(triangle(18, 44, 28, 30, 36, 44), solid(muted));
    bad.draw(segment(18, 18, 46, 46, 3), solid(danger));

    Canvas& warning = add("warning", 64, 64);
    Shape sign = triangle(32, 6, 60, 56, 4, 56);
    warning.shadow(sign, 3, 0.4f);
    warning.draw(sign, solid(warning_yellow));
    warning.draw(segment(32, 22, 32, 40, 5), solid(rgb(0x1B1F27)));
    warning.draw(circle(32, 48, 3.2f), solid(rgb(0x1B1F27)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--icon")
        return write_icon(std::atoi(argv[2]), argv[3]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen OUTPUT_DIR\n       artgen --icon SIZE OUTPUT.png\n");
        return 2;
    }
    backgrounds();
    buttons();
    icons();
    overlay_buttons();
    progress_and_checks();
    pictures();
    for (const Artwork& art : artworks) {
        std::string path = std::string(argv[1]) + "/" + art.name + ".bmp";
        if (!art.canvas.save_565(path, art.keyed)) {
            std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
