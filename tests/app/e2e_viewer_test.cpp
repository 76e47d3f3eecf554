// End to end: the picture viewer in the real program under the offscreen
// display. A large picture is opened from the grid, zoomed in, dragged,
// swiped to the next picture and back, turned to landscape and closed. Each
// step leaves a screenshot in build-*/e2e-viewer/<size>/; the dumped view of
// the picture pane is checked against the fit the picture and the screen
// call for, and the screenshots against the picture itself, decoded and
// reduced by the test, seen through that view.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/app/program_run.h"
#include "tests/app/screenshot_bmp.h"
#include "tests/library/preview_pictures.h"

namespace {

namespace fs = std::filesystem;

// How a pane's picture is put on the screen: upright, or turned by 90
// degrees either way (landscape turns it clockwise).
enum class Turn { none, clockwise, counter_clockwise };

// The view of a picture pane: zoom level, shown size to full size, view
// centre in shown pixels, and its turn.
struct PaneView {
    double zoom = 0;
    double scale = 0;
    double centre_x = 0;
    double centre_y = 0;
    Turn turn = Turn::none;
};

struct ScreenSize {
    const char* size;
    int width;
    int height;
    // The panorama fitted to the turned screen: its width along the screen's height.
    PaneView landscape;
};

// A demo picture: its file and full size, decoded by libjpeg as a reference
// at 1/1, 1/2, 1/4 or 1/8 when first asked for.
class Picture {
public:
    Picture(std::string path, Size size) : m_path(std::move(path)), m_size(size) {}

    Size size() const { return m_size; }
    // The reduction whose pixels are no smaller than the shown ones at scale.
    const ReferenceImage& reduced_for(double scale, int& denominator)
    {
        denominator = 8;
        while (denominator > 1 && scale * denominator > 1.0)
            denominator /= 2;
        ReferenceImage& image = m_reductions[denominator];
        if (image.rgb.empty())
            image = decode_reference(m_path, denominator);
        return image;
    }

private:
    std::string m_path;
    Size m_size;
    std::map<int, ReferenceImage> m_reductions;
};

// The pane line of id in a dump ("zoom=Z scale=S scroll=X,Y"); false when missing.
bool pane_view_of(const std::string& dump, const std::string& id, PaneView& view)
{
    const std::size_t at = dump.find("id=\"" + id + "\"");
    if (at == std::string::npos)
        return false;
    const std::string line = dump.substr(at, dump.find('\n', at) - at);
    const std::size_t zoom = line.find("zoom=");
    return zoom != std::string::npos && std::sscanf(line.c_str() + zoom, "zoom=%lf scale=%lf scroll=%lf,%lf",
                                                    &view.zoom, &view.scale, &view.centre_x, &view.centre_y) == 4;
}

// The rectangle of the element id in a dump ("rect=X,Y,WxH"); empty when missing.
Rect rect_of(const std::string& dump, const std::string& id)
{
    const std::size_t at = dump.find("id=\"" + id + "\"");
    int x = 0, y = 0, width = 0, height = 0;
    if (at == std::string::npos ||
        std::sscanf(dump.c_str() + dump.find("rect=", at), "rect=%d,%d,%dx%d", &x, &y, &width, &height) != 4)
        return {};
    return {x, y, x + width, y + height};
}

void expect_view(const PaneView& shown, const PaneView& expected, const std::string& what)
{
    EXPECT_NEAR(shown.zoom, expected.zoom, 0.006) << what;
    EXPECT_NEAR(shown.scale, expected.scale, 2e-6) << what;
    EXPECT_NEAR(shown.centre_x, expected.centre_x, 0.006) << what;
    EXPECT_NEAR(shown.centre_y, expected.centre_y, 0.006) << what;
}

// The whole picture fitted into a screen of screen pixels, centred: the
// scale of the smaller of the two fits, kept between the picture's zoom
// levels 0 (longer side at most 256) and L (full size).
PaneView fitted(Size picture, Size screen)
{
    const int levels = std::max(0, static_cast<int>(std::ceil(std::log2(std::max(picture.width, picture.height)))) - 8);
    const double fit = std::min(double(screen.width) / picture.width, double(screen.height) / picture.height);
    PaneView view;
    view.zoom = std::clamp(levels + std::log2(fit), 0.0, double(levels));
    view.scale = std::exp2(view.zoom - levels);
    view.centre_x = picture.width * view.scale / 2;
    view.centre_y = picture.height * view.scale / 2;
    return view;
}

// The pane's pixel that the screen pixel at shows: a clockwise turn puts
// pane pixel (u, v) at screen (width - 1 - v, u), the other turn at
// (v, height - 1 - u).
Point pane_point(Point at, Size screen, Turn turn)
{
    switch (turn) {
    case Turn::clockwise:
        return {at.y, screen.width - 1 - at.x};
    case Turn::counter_clockwise:
        return {screen.height - 1 - at.y, at.x};
    case Turn::none:
        break;
    }
    return at;
}

// A screen pixel as 8-bit red, green and blue (the low bits repeat the high ones).
void rgb_of(Pixel pixel, double rgb[3])
{
    const int red = pixel >> 11, green = (pixel >> 5) & 63, blue = pixel & 31;
    rgb[0] = red << 3 | red >> 2;
    rgb[1] = green << 2 | green >> 4;
    rgb[2] = blue << 3 | blue >> 2;
}

// The mean colour of the reference pixels [x0, x1) x [y0, y1).
void mean_of(const ReferenceImage& reference, int x0, int y0, int x1, int y1, double rgb[3])
{
    rgb[0] = rgb[1] = rgb[2] = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c)
                rgb[c] += reference.pixel(x, y)[c];
    for (int c = 0; c < 3; ++c)
        rgb[c] /= (x1 - x0) * (y1 - y0);
}

// How closely a screenshot shows the picture through view, as the PSNR in
// dB of the screen's middle (clear of the controls along the edges) against
// the reference, averaged over each screen pixel's footprint.
// pixels_compared receives the number of screen pixels inside the picture.
double view_psnr(const PixelBuffer& shot, Picture& picture, const PaneView& view, int& pixels_compared)
{
    int denominator = 1;
    const ReferenceImage& reference = picture.reduced_for(view.scale, denominator);
    // Reference pixels per screen pixel, and the pane's own (unturned) size.
    const double step = 1.0 / (view.scale * denominator);
    const bool turned = view.turn != Turn::none;
    const int pane_width = turned ? shot.height() : shot.width();
    const int pane_height = turned ? shot.width() : shot.height();
    double error = 0;
    pixels_compared = 0;
    for (int y = shot.height() / 5; y < shot.height() * 4 / 5; ++y)
        for (int x = shot.width() / 10; x < shot.width() * 9 / 10; ++x) {
            // The pane's pixel at this screen pixel, and the reference area it covers.
            const Point pane = pane_point({x, y}, shot.size(), view.turn);
            const double left = (pane.x - pane_width / 2.0 + view.centre_x) * step;
            const double top = (pane.y - pane_height / 2.0 + view.centre_y) * step;
            const int x0 = static_cast<int>(std::floor(left)), x1 = static_cast<int>(std::ceil(left + step));
            const int y0 = static_cast<int>(std::floor(top)), y1 = static_cast<int>(std::ceil(top + step));
            // Two reference pixels clear of the picture's edges.
            if (x0 < 2 || y0 < 2 || x1 > reference.width - 2 || y1 > reference.height - 2)
                continue;
            double expected[3], shown[3];
            mean_of(reference, x0, y0, x1, y1, expected);
            rgb_of(shot.at(x, y), shown);
            for (int c = 0; c < 3; ++c)
                error += (shown[c] - expected[c]) * (shown[c] - expected[c]);
            ++pixels_compared;
        }
    if (pixels_compared == 0)
        return 0;
    const double mse = error / (3.0 * pixels_compared);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// The number of different pixel values inside area.
int distinct_colours(const PixelBuffer& shot, const Rect& area)
{
    std::vector<Pixel> colours;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            colours.push_back(shot.at(x, y));
    std::sort(colours.begin(), colours.end());
    return static_cast<int>(std::unique(colours.begin(), colours.end()) - colours.begin());
}

class ViewerEndToEnd : public testing::TestWithParam<ScreenSize> {
protected:
    void SetUp() override
    {
        const std::string program = PICTAVIO_PROGRAM_DIR;
        ASSERT_TRUE(fs::exists(program + "/pictavio")) << "the program folder is built";
        ASSERT_TRUE(fs::exists(program + "/demo/Large")) << "the demo album is built";
        m_run.prepare();
        m_card = m_run.card();
        fs::copy(program + "/demo/Large", m_card + "/Large", fs::copy_options::recursive);
        m_shots = std::string(PICTAVIO_BINARY_DIR) + "/e2e-viewer/" + GetParam().size;
        fs::create_directories(m_shots);
    }

    int run(const std::string& script, std::string& output)
    {
        return m_run.run(script, std::string("--size ") + GetParam().size + " --dpi 96", "", 240, output);
    }

    std::string shot_path(const std::string& name) const { return m_shots + "/" + name + ".bmp"; }
    std::string shot(const std::string& name) const { return "screenshot " + shot_path(name) + "\n"; }
    std::string point(double fx, double fy) const
    {
        return std::to_string(static_cast<int>(GetParam().width * fx)) + " " +
               std::to_string(static_cast<int>(GetParam().height * fy));
    }
    // A horizontal drag across most of the screen, in the given direction.
    std::string swipe(bool to_next) const
    {
        return "drag " + point(to_next ? 0.9 : 0.1, 0.5) + " " + point(to_next ? 0.1 : 0.9, 0.5) + " 400\n";
    }
    // A single tap shows the controls again once the tap timer has run out.
    std::string show_controls() const { return "tap " + point(0.5, 0.5) + "\nwait 800\n"; }
    Size screen() const { return {GetParam().width, GetParam().height}; }

    // The screenshot name shows picture through view: close to the reference,
    // and with enough of the picture on the screen to tell.
    void expect_shows(const std::string& name, Picture& picture, const PaneView& view)
    {
        const std::unique_ptr<PixelBuffer> shown = read_screenshot_bmp(shot_path(name));
        ASSERT_TRUE(shown) << name;
        ASSERT_EQ(shown->size(), screen()) << name;
        int compared = 0;
        EXPECT_GE(view_psnr(*shown, picture, view, compared), minimum_psnr) << name;
        EXPECT_GT(compared, screen().width * screen().height / 5) << name;
    }

    // A true view reaches about 37 dB, the wrong turn about 15.
    static constexpr double minimum_psnr = 30.0;

    ProgramRun m_run{"pictavio_e2e_viewer"};
    std::string m_card;
    std::string m_shots;
};

TEST_P(ViewerEndToEnd, OpenZoomDragSwipeTurnAndReturn)
{
    const std::string centre = point(0.5, 0.5);
    const std::string script = "wait-for btnSearch\n"
                               "tap-id btnSearch\n"
                               "wait-for name Large\n"
                               "wait-for btnSearch\n"
                               "wait 1000\n"
                               "tap-id name Large\n"
                               "wait-for button0\n"
                               "wait 500\n"
                               "tap-id button0\n"
                               "wait-for btnNumText\n"
                               "wait 2500\n"
                               "dump\n" +
                               shot("01-open") +
                               // Zooming in by key: a double tap timed in real time by the
                               // script can come apart on a slow (sanitizer) build.
                               "key Plus\n"
                               "wait 3000\n"
                               "dump\n" +
                               shot("02-zoom-in") + "drag " + centre + " " + point(0.3, 0.35) +
                               " 300\n"
                               "wait 2500\n"
                               "dump\n" +
                               shot("03-drag") + "key Down\nwait 1500\nkey Down\nwait 1500\nkey Down\nwait 1500\n" +
                               swipe(true) + "wait 3000\n" + show_controls() + "dump\n" + shot("04-next") +
                               swipe(false) + "wait 3000\n" + show_controls() + "dump\n" + shot("05-back") +
                               "tap-id btnLandscape\n"
                               "wait 3000\n"
                               "dump\n" +
                               shot("06-landscape") +
                               "key Backspace\n"
                               "wait-for button0\n"
                               "wait 500\n"
                               "dump\n" +
                               shot("07-grid") + "quit\n";
    std::string output;
    ASSERT_EQ(run(script, output), 0) << output;
    const std::vector<std::string> dumps = dumps_of(output);
    ASSERT_EQ(dumps.size(), 7u) << output;
    const std::string& open = dumps[0];
    const std::string& zoomed = dumps[1];
    const std::string& dragged = dumps[2];
    const std::string& next = dumps[3];
    const std::string& back = dumps[4];
    const std::string& landscape = dumps[5];
    const std::string& grid = dumps[6];
    EXPECT_TRUE(has(open, "text=\"1 of 2\"")) << open;
    EXPECT_TRUE(has(open, "id=\"center\"")) << open;
    EXPECT_FALSE(has(open, "btnMinus")) << open;
    // Zoomed in: the minus button shows.
    EXPECT_TRUE(has(zoomed, "btnMinus")) << zoomed;
    EXPECT_TRUE(has(next, "text=\"2 of 2\"")) << next;
    EXPECT_TRUE(has(back, "text=\"1 of 2\"")) << back;
    EXPECT_TRUE(has(grid, "listFolder")) << grid;

    // The album lists the panorama first, then the lake (sizes of the demo album).
    Picture panorama(m_card + "/Large/Panorama_40MP.jpg", {7744, 5184});
    Picture lake(m_card + "/Large/Lake_24MP.jpg", {6000, 4000});
    PaneView view;
    ASSERT_TRUE(pane_view_of(open, "center", view)) << open;
    expect_view(view, fitted(panorama.size(), screen()), "open");
    expect_shows("01-open", panorama, view);
    PaneView zoomed_view;
    ASSERT_TRUE(pane_view_of(zoomed, "center", zoomed_view)) << zoomed;
    EXPECT_GT(zoomed_view.scale, view.scale * 1.4) << zoomed;
    expect_shows("02-zoom-in", panorama, zoomed_view);
    // The picture followed the pen up and to the left: the view centre moved
    // right by at least the drag, and down as far as the picture reaches.
    PaneView dragged_view;
    ASSERT_TRUE(pane_view_of(dragged, "center", dragged_view)) << dragged;
    EXPECT_GT(dragged_view.centre_x, zoomed_view.centre_x + 0.2 * screen().width) << dragged;
    EXPECT_GT(dragged_view.centre_y, zoomed_view.centre_y) << dragged;
    expect_shows("03-drag", panorama, dragged_view);
    expect_shows("04-next", lake, fitted(lake.size(), screen()));
    ASSERT_TRUE(pane_view_of(back, "center", view)) << back;
    expect_view(view, fitted(panorama.size(), screen()), "back");
    expect_shows("05-back", panorama, view);

    // Turned, the panorama fits the screen's height along its width, and
    // the screenshot shows it turned clockwise; the other turn does not match.
    EXPECT_TRUE(has(landscape, "text=\"1 of 2\"")) << landscape;
    PaneView turned;
    ASSERT_TRUE(pane_view_of(landscape, "center", turned)) << landscape;
    turned.turn = Turn::clockwise;
    expect_view(turned, GetParam().landscape, "landscape");
    expect_view(turned, fitted(panorama.size(), {screen().height, screen().width}), "landscape fit");
    expect_shows("06-landscape", panorama, turned);
    const std::unique_ptr<PixelBuffer> turned_shot = read_screenshot_bmp(shot_path("06-landscape"));
    ASSERT_TRUE(turned_shot);
    int compared = 0;
    const double clockwise = view_psnr(*turned_shot, panorama, turned, compared);
    PaneView other_way = turned;
    other_way.turn = Turn::counter_clockwise;
    EXPECT_GT(clockwise, view_psnr(*turned_shot, panorama, other_way, compared) + 6.0);

    // Back in the grid, the first thumbnail is a picture, not a flat cell.
    const std::unique_ptr<PixelBuffer> grid_shot = read_screenshot_bmp(shot_path("07-grid"));
    ASSERT_TRUE(grid_shot);
    const Rect cell = rect_of(grid, "button0");
    ASSERT_FALSE(cell.is_empty()) << grid;
    EXPECT_GT(distinct_colours(*grid_shot, cell), 100) << grid;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ViewerEndToEnd,
    testing::Values(ScreenSize{"240x320", 240, 320, {0.40, 320.0 / 7744, 160.0, 107.11, Turn::clockwise}},
                    ScreenSize{"800x480", 800, 480, {0.99, 480.0 / 7744, 240.0, 160.66, Turn::clockwise}}),
    [](const testing::TestParamInfo<ScreenSize>& info) {
        std::string name = info.param.size;
        std::replace(name.begin(), name.end(), 'x', '_');
        return name;
    });

}  // namespace
