// End to end: photographs of several shapes, in albums of one, two and three
// pictures, shown by the real program under the offscreen display. Every fit
// view (controls hidden) must show the whole picture, as sharp as a good
// resize of libjpeg's full decode, with black around it up to the gaps
// before its neighbours; so must the view
// after zooming in and out again to a zoom between two levels, and the
// thumbnail of a grid cell.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "pixels/bmp_reader.h"
#include "platform/file.h"
#include "tests/app/program_run.h"
#include "tests/library/preview_pictures.h"

namespace {

namespace fs = std::filesystem;

struct ScreenSize {
    const char* size;
    const char* dpi;
    int width;
    int height;
};

struct Photo {
    const char* album;
    const char* name;
    PictureSpec spec;
};

PictureSpec spec_of(int width, int height, bool progressive, int sampling, unsigned seed)
{
    PictureSpec spec;
    spec.width = width;
    spec.height = height;
    spec.h_sampling = spec.v_sampling = sampling;
    spec.progressive = progressive;
    spec.seed = seed;
    return spec;
}

// Landscape, portrait, square and tiny; baseline and progressive; 4:2:0 and
// 4:4:4. The pictures of an album differ in shape: the folder's order is the
// file system's, so a screenshot is matched to the picture it shows best.
const Photo photos[] = {
    {"A1", "landscape.jpg", spec_of(1280, 720, false, 2, 5)}, {"A2", "portrait.jpg", spec_of(720, 1280, true, 1, 3)},
    {"A2", "square.jpg", spec_of(900, 900, true, 2, 7)},      {"A3", "tiny.jpg", spec_of(200, 150, false, 1, 9)},
    {"A3", "landscape.jpg", spec_of(1600, 900, true, 2, 11)}, {"A3", "portrait.jpg", spec_of(720, 1280, false, 2, 13)},
};

struct Rgb {
    double r = 0, g = 0, b = 0;
};

// The picture region src (picture pixels, may reach outside) reduced or
// enlarged to out_w x out_h by area averaging; outside the picture is black.
std::vector<Rgb> area_resize(const ReferenceImage& image, double left, double top, double side_w, double side_h,
                             int out_w, int out_h)
{
    std::vector<Rgb> out(static_cast<std::size_t>(out_w) * out_h);
    const double fx = side_w / out_w, fy = side_h / out_h;
    for (int y = 0; y < out_h; ++y)
        for (int x = 0; x < out_w; ++x) {
            const double x0 = left + x * fx, x1 = x0 + fx, y0 = top + y * fy, y1 = y0 + fy;
            Rgb sum;
            for (int sy = static_cast<int>(std::floor(y0)); sy < y1; ++sy)
                for (int sx = static_cast<int>(std::floor(x0)); sx < x1; ++sx) {
                    const double w = (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0)) *
                                     (std::min<double>(sy + 1, y1) - std::max<double>(sy, y0));
                    if (w <= 0 || sx < 0 || sy < 0 || sx >= image.width || sy >= image.height)
                        continue;
                    const std::uint8_t* p = image.pixel(sx, sy);
                    sum.r += w * p[0];
                    sum.g += w * p[1];
                    sum.b += w * p[2];
                }
            const double area = fx * fy;
            out[static_cast<std::size_t>(y) * out_w + x] = {sum.r / area, sum.g / area, sum.b / area};
        }
    return out;
}

// A colour as the screen stores it (RGB565), widened back to 8 bits a channel.
int widen5(int v)
{
    return (v << 3) | (v >> 2);
}
int widen6(int v)
{
    return (v << 2) | (v >> 4);
}
void to_565_rgb(Pixel p, int rgb[3])
{
    rgb[0] = widen5(p >> 11);
    rgb[1] = widen6((p >> 5) & 63);
    rgb[2] = widen5(p & 31);
}
Pixel from_rgb(const Rgb& c)
{
    auto channel = [](double v, int bits) {
        const int max = (1 << bits) - 1;
        return std::clamp(static_cast<int>(std::lround(v * max / 255.0)), 0, max);
    };
    return static_cast<Pixel>(channel(c.r, 5) << 11 | channel(c.g, 6) << 5 | channel(c.b, 5));
}

struct Box {
    int left = 0, top = 0, width = 0, height = 0;
    bool contains(int x, int y) const { return x >= left && y >= top && x < left + width && y < top + height; }
};

// The rectangles of the elements with id in a dump ("rect=x,y,wxh").
std::vector<Box> rects_of(const std::string& dump, const std::string& id)
{
    std::vector<Box> boxes;
    std::istringstream lines(dump);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("id=\"" + id + "\"") == std::string::npos)
            continue;
        const std::size_t at = line.find("rect=");
        if (at == std::string::npos)
            continue;
        Box box;
        if (std::sscanf(line.c_str() + at, "rect=%d,%d,%dx%d", &box.left, &box.top, &box.width, &box.height) == 4)
            boxes.push_back(box);
    }
    return boxes;
}

std::unique_ptr<PixelBuffer> read_screenshot(const std::string& path)
{
    File file(from_utf8(path), File::read_mode);
    return file.is_open() ? read_bmp_565(file) : nullptr;
}

// PSNR (dB) of the screen's pixels in area against the reference, both in
// RGB565, leaving out the masked rectangles.
double psnr_565(const PixelBuffer& screen, const Box& area, const std::vector<Rgb>& reference,
                const std::vector<Box>& masks)
{
    double error = 0;
    long count = 0;
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x) {
            const int sx = area.left + x, sy = area.top + y;
            if (std::any_of(masks.begin(), masks.end(), [&](const Box& m) { return m.contains(sx, sy); }))
                continue;
            int a[3], b[3];
            to_565_rgb(screen.row(sy)[sx], a);
            to_565_rgb(from_rgb(reference[static_cast<std::size_t>(y) * area.width + x]), b);
            for (int c = 0; c < 3; ++c)
                error += double(a[c] - b[c]) * (a[c] - b[c]);
            count += 3;
        }
    if (count == 0)
        return 0;
    const double mse = error / count;
    return mse == 0 ? 100.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Pixels that are not black in the columns of area and of the 20-pixel gaps
// beside it (beyond them the neighbouring pictures may show), outside area
// with a one-pixel seam around it and outside the masks.
long lit_outside(const PixelBuffer& screen, const Box& area, const std::vector<Box>& masks)
{
    const int gap = 20 - 1;
    const Box seam{area.left - 1, area.top - 1, area.width + 2, area.height + 2};
    long lit = 0;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = std::max(0, area.left - gap); x < std::min(screen.width(), area.left + area.width + gap); ++x) {
            if (seam.contains(x, y) || (screen.row(y)[x] & ~opacity_flag) == 0)
                continue;
            if (std::none_of(masks.begin(), masks.end(), [&](const Box& m) { return m.contains(x, y); }))
                ++lit;
        }
    return lit;
}

// What one screenshot shows and how it is judged.
struct Shot {
    std::string name;
    std::string album;
    bool thumbnail;  // a grid cell (button0) rather than the fit view
};

class SharpnessEndToEnd : public testing::TestWithParam<ScreenSize> {
protected:
    void SetUp() override
    {
        m_run.prepare();
        for (const Photo& photo : photos) {
            fs::create_directories(m_run.card() + "/" + photo.album);
            ASSERT_TRUE(write_picture(path_of(photo), photo.spec));
        }
        m_shots = std::string(PICTAVIO_BINARY_DIR) + "/e2e-sharpness/" + GetParam().size + "-" + GetParam().dpi;
        fs::create_directories(m_shots);
    }

    std::string path_of(const Photo& photo) const { return m_run.card() + "/" + photo.album + "/" + photo.name; }

    // A dump and a screenshot of what shows now, judged later as shot.
    std::string take(const std::string& name, const std::string& album, bool thumbnail)
    {
        m_taken.push_back({name, album, thumbnail});
        return "dump\nscreenshot " + m_shots + "/" + name + ".bmp\nscreenshot " + m_shots + "/" + name + ".png\n";
    }

    // Opens album from the album list, its first picture, and steps through
    // every picture; with zoom, zooms in and out again on the first.
    std::string visit_album(const std::string& album, bool zoom)
    {
        const auto count = std::count_if(std::begin(photos), std::end(photos),
                                         [&](const Photo& photo) { return photo.album == album; });
        std::string script = "tap-id name " + album + "\nwait-for button0\nwait 1500\n";
        script += take(album + "-grid", album, true);
        // The controls hide four seconds after opening.
        script += "tap-id button0\nwait-for btnNumText\nwait 5000\n";
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                script += "key Right\nwait 2500\n";
            script += take(album + "-" + std::to_string(i + 1), album, false);
            if (zoom && i == 0) {
                script += "key Up\nwait 2000\nkey Down\nwait 1500\nkey Down\nwait 2500\n";
                script += take(album + "-" + std::to_string(i + 1) + "-zoomed", album, false);
            }
        }
        return script + "key Backspace\nwait-for button0\nwait 500\ntap-id btnBack\nwait-for btnSearch\nwait 800\n";
    }

    // Judges one shot against the album's picture it matches best; the PSNR
    // is returned for the report.
    double judge(const Shot& shot, const std::string& dump, std::string& shown)
    {
        std::unique_ptr<PixelBuffer> screen = read_screenshot(m_shots + "/" + shot.name + ".bmp");
        EXPECT_TRUE(screen) << shot.name;
        if (!screen)
            return 0;
        double best = 0;
        long best_lit = 0;
        for (const Photo& photo : photos) {
            if (photo.album != shot.album)
                continue;
            const ReferenceImage image = decode_reference(path_of(photo));
            long lit = 0;
            const double psnr =
                shot.thumbnail ? compare_thumbnail(*screen, image, dump) : compare_fit_view(*screen, image, dump, lit);
            if (psnr > best) {
                best = psnr;
                best_lit = lit;
                shown = photo.name;
            }
        }
        // A cell larger than the stored 64x64 thumbnail is made sharp from the
        // preview's levels; a smaller one is limited by the stored thumbnail.
        const std::vector<Box> cells = rects_of(dump, "button0");
        const bool large_cell = !cells.empty() && cells[0].width > 64;
        EXPECT_GE(best, !shot.thumbnail ? 33.0 : large_cell ? 32.0 : 28.0) << shot.name;
        EXPECT_EQ(best_lit, 0) << shot.name << ": the area outside the picture is black";
        return best;
    }

    // The PSNR of a fit view of image; lit gets the pixels outside the picture that are not black.
    double compare_fit_view(const PixelBuffer& screen, const ReferenceImage& image, const std::string& dump, long& lit)
    {
        const int w = image.width, h = image.height;
        const ScreenSize& size = GetParam();
        const double scale = std::min({1.0, double(size.width) / w, double(size.height) / h});
        const int shown_w = static_cast<int>(std::lround(w * scale)),
                  shown_h = static_cast<int>(std::lround(h * scale));
        const Box area{(size.width - shown_w) / 2, (size.height - shown_h) / 2, shown_w, shown_h};
        std::vector<Box> masks = rects_of(dump, "btnPlus");
        for (const Box& box : rects_of(dump, "btnMinus"))
            masks.push_back(box);
        lit = lit_outside(screen, area, masks);
        return psnr_565(screen, area, area_resize(image, 0, 0, w, h, shown_w, shown_h), masks);
    }

    // The thumbnail shows the centred square window of the stored 64x64
    // thumbnail at the cell's size; the cell's frame covers its rim.
    double compare_thumbnail(const PixelBuffer& screen, const ReferenceImage& image, const std::string& dump)
    {
        const std::vector<Box> cells = rects_of(dump, "button0");
        EXPECT_FALSE(cells.empty()) << dump;
        if (cells.empty())
            return 0;
        const Box cell = cells[0];
        const int w = image.width, h = image.height;
        // The stored thumbnail is the centred 64x64 window of the picture reduced
        // by 2^(L+1) (L = 0: not reduced), halved again when its shorter side is 130 or more.
        const int levels = std::max(0, static_cast<int>(std::ceil(std::log2(std::max(w, h)))) - 8);
        int factor = levels > 0 ? 1 << (levels + 1) : 1;
        int tw = (w + factor - 1) / factor, th = (h + factor - 1) / factor;
        if (std::min(tw, th) >= 130) {
            factor *= 2;
            tw = (tw + 1) / 2;
            th = (th + 1) / 2;
        }
        const double left = double(tw / 2 - 32) * w / tw, top = double(th / 2 - 32) * h / th;
        const double side_w = 64.0 * w / tw, side_h = 64.0 * h / th;
        const std::vector<Rgb> reference = area_resize(image, left, top, side_w, side_h, cell.width, cell.height);
        const int rim = cell.width / 6;
        const Box inner{cell.left + rim, cell.top + rim, cell.width - 2 * rim, cell.height - 2 * rim};
        std::vector<Rgb> inner_reference;
        for (int y = rim; y < cell.height - rim; ++y)
            for (int x = rim; x < cell.width - rim; ++x)
                inner_reference.push_back(reference[static_cast<std::size_t>(y) * cell.width + x]);
        return psnr_565(screen, inner, inner_reference, {});
    }

    ProgramRun m_run{"pictavio_e2e_sharpness"};
    std::string m_shots;
    std::vector<Shot> m_taken;
};

TEST_P(SharpnessEndToEnd, FitViewsZoomedViewsAndThumbnailsMatchAReferenceResize)
{
    std::string script = "wait-for btnSearch\ntap-id btnSearch\nwait-for name A3\nwait-for btnSearch\nwait 3000\n";
    script += visit_album("A1", true);
    script += visit_album("A2", false);
    script += visit_album("A3", false);
    script += "quit\n";
    const std::string options = std::string("--size ") + GetParam().size + " --dpi " + GetParam().dpi;
    std::string output;
    ASSERT_EQ(m_run.run(script, options, "", 240, output), 0) << output;
    const std::vector<std::string> dumps = dumps_of(output);
    ASSERT_EQ(dumps.size(), m_taken.size()) << output;
    for (std::size_t i = 0; i < m_taken.size(); ++i) {
        std::string shown;
        const double psnr = judge(m_taken[i], dumps[i], shown);
        std::printf("%s %s (%s): %.2f dB\n", GetParam().size, m_taken[i].name.c_str(), shown.c_str(), psnr);
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, SharpnessEndToEnd,
                         testing::Values(ScreenSize{"480x640", "192", 480, 640}, ScreenSize{"800x480", "96", 800, 480}),
                         [](const testing::TestParamInfo<ScreenSize>& info) {
                             std::string name = info.param.size;
                             std::replace(name.begin(), name.end(), 'x', '_');
                             return name;
                         });

}  // namespace
