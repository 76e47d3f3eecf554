// End to end: desktop input and names in any script in the real program
// under the offscreen display. The first start searches by itself; the wheel
// scrolls the album list and the grid; a long album name opens its album when
// its text is tapped; Japanese names draw their own glyphs; the language menu
// names each language in itself; the wheel, a pinch and the desktop keys zoom
// and step in the viewer, holding the picture point under the pointer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pixels/bmp_reader.h"
#include "platform/memory_stream.h"
#include "tests/app/program_run.h"

namespace {

namespace fs = std::filesystem;

const std::string long_name = "A holiday album whose name is far too long for its row";

// The dump line of the first element with this id (and text, when given).
std::string element_line(const std::string& dump, const std::string& id, const std::string& text = "")
{
    std::istringstream lines(dump);
    for (std::string line; std::getline(lines, line);)
        if (has(line, "id=\"" + id + "\"") && (text.empty() || has(line, "text=\"" + text + "\"")))
            return line;
    return {};
}

// The number after "name=" in a dump line (the first of a comma pair); NaN when absent.
double field(const std::string& line, const std::string& name, int part = 0)
{
    std::size_t at = line.find(" " + name + "=");
    if (at == std::string::npos)
        return std::nan("");
    at += name.size() + 2;
    for (int i = 0; i < part; ++i)
        at = line.find(',', at) + 1;
    return std::stod(line.substr(at));
}

struct Rect4 {
    int x, y, width, height;
};

Rect4 rect_of(const std::string& line)
{
    Rect4 rect{};
    const std::size_t at = line.find(" rect=");
    if (at != std::string::npos)
        std::sscanf(line.c_str() + at, " rect=%d,%d,%dx%d", &rect.x, &rect.y, &rect.width, &rect.height);
    return rect;
}

// How far a list's rows have moved up from its top: the rows before the
// first existing one (all as high as the first row of the dump) less the offset.
double scrolled(const std::string& dump, const std::string& list_id)
{
    const std::string list = element_line(dump, list_id);
    const std::size_t rows = dump.find("row id=", dump.find("id=\"" + list_id + "\""));
    if (list.empty() || rows == std::string::npos)
        return std::nan("");
    const double row_height = rect_of(dump.substr(rows, dump.find('\n', rows) - rows)).height;
    return field(list, "first") * row_height - field(list, "offset");
}

// Where the picture point under screen point p (before) is shown after, from
// two dump lines of the centre pane (portrait, pane at the screen's origin).
double drift(const std::string& before, const std::string& after, double px, double py)
{
    const Rect4 pane = rect_of(before);
    const double mid_x = pane.x + pane.width / 2.0, mid_y = pane.y + pane.height / 2.0;
    const double s0 = field(before, "scale"), s1 = field(after, "scale");
    const double picture_x = (field(before, "scroll", 0) + px - mid_x) / s0;
    const double picture_y = (field(before, "scroll", 1) + py - mid_y) / s0;
    const double shown_x = mid_x + picture_x * s1 - field(after, "scroll", 0);
    const double shown_y = mid_y + picture_y * s1 - field(after, "scroll", 1);
    return std::hypot(shown_x - px, shown_y - py);
}

class InputEndToEnd : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(m_program + "/pictavio")) << "the program folder is built";
        ASSERT_TRUE(fs::exists(m_program + "/demo/Evening")) << "the demo album is built";
        m_run.prepare();
    }
    // copies of a demo picture into an album folder (created) of root.
    void add_album(const std::string& root, const std::string& name, const std::string& picture, int copies)
    {
        const std::string folder = root + "/" + name;
        fs::create_directories(folder);
        for (int i = 0; i < copies; ++i)
            fs::copy_file(m_program + "/demo/" + picture, folder + "/" + std::to_string(100 + i) + ".jpg");
    }
    int run(const std::string& script, std::string& output)
    {
        return m_run.run(script, "--size 320x480 --dpi 96", "", 240, output);
    }

    const std::string m_program = PICTAVIO_PROGRAM_DIR;
    ProgramRun m_run{"pictavio_e2e_input"};
};

// The part of a 16-bit frame inside rect, row by row.
std::vector<std::uint16_t> pixels_in(const PixelBuffer& frame, const Rect4& rect)
{
    std::vector<std::uint16_t> pixels;
    for (int y = rect.y; y < rect.y + rect.height && y < frame.height(); ++y)
        for (int x = rect.x; x < rect.x + rect.width && x < frame.width(); ++x)
            pixels.push_back(frame.at(x, y));
    return pixels;
}

}  // namespace

TEST_F(InputEndToEnd, FirstStartFindsAlbumsAndListsScrollOpenAndNameInAnyScript)
{
    // The three named albums lie on the card, which is searched first; the
    // twelve others in the pictures folder make the list scroll.
    add_album(m_run.card(), long_name, "Evening/DSC_1003.jpg", 1);
    add_album(m_run.card(), "東京", "Evening/DSC_1003.jpg", 1);
    add_album(m_run.card(), "大阪", "Evening/DSC_1003.jpg", 2);
    for (int i = 0; i < 12; ++i)
        add_album(m_run.documents(), "Album " + std::to_string(10 + i), "Evening/DSC_1003.jpg", 1);
    const std::string frame = m_run.root() + "/albums.bmp";
    const std::string script = "wait-for name 東京\n"
                               "wait-for name 大阪\n"
                               "wait 2500\n"
                               "dump\n"
                               "screenshot " +
                               frame +
                               "\n"
                               "wheel 160 300 -2\n"
                               "wait 2500\n"
                               "dump\n"
                               "wheel 160 300 2\n"
                               "wait 3000\n"
                               "dump\n"
                               "tap-id name " +
                               long_name +
                               "\n"
                               "wait-for button0\n"
                               "wait 500\n"
                               "dump\n"
                               "tap-id btnBack\n"
                               "wait-for btnMenu\n"
                               "wait 800\n"
                               "tap-id btnMenu\n"
                               "wait 800\n"
                               "tap-id btnLanguage\n"
                               "wait 1000\n"
                               "dump\n"
                               "quit\n";
    std::string output;
    ASSERT_EQ(run(script, output), 0) << output;
    EXPECT_TRUE(fs::exists(m_run.program() + "/folders.ini")) << "the search without a tap saved the albums";
    const std::vector<std::string> dumps = dumps_of(output);
    ASSERT_EQ(dumps.size(), 5u) << output;

    // The wheel scrolled the album list down by more than a row, then back to its top.
    ASSERT_GT(rect_of(element_line(dumps[0], "name", "東京")).height, 0) << dumps[0];
    const double top = scrolled(dumps[0], "listApps");
    EXPECT_GT(scrolled(dumps[1], "listApps") - top, 40.0) << dumps[1];
    EXPECT_LT(scrolled(dumps[1], "listApps") - top, 600.0) << "about a row per notch: " << dumps[1];
    EXPECT_NEAR(scrolled(dumps[2], "listApps"), top, 0.5) << dumps[2];

    // The long name was tapped on its text and opened its album.
    EXPECT_TRUE(has(dumps[3], "listFolder")) << dumps[3];

    // 東京 and 大阪 draw different glyphs, not the same missing-glyph boxes.
    std::string bytes = read_file(frame);
    MemoryStream stream(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    std::unique_ptr<PixelBuffer> picture = read_bmp_565(stream);
    ASSERT_TRUE(picture);
    const Rect4 tokyo = rect_of(element_line(dumps[0], "name", "東京"));
    Rect4 osaka = rect_of(element_line(dumps[0], "name", "大阪"));
    ASSERT_EQ(tokyo.width, osaka.width);
    osaka.height = tokyo.height;
    const std::vector<std::uint16_t> tokyo_pixels = pixels_in(*picture, tokyo);
    const std::vector<std::uint16_t> osaka_pixels = pixels_in(*picture, osaka);
    EXPECT_NE(tokyo_pixels, osaka_pixels);
    std::set<std::uint16_t> tokyo_colours(tokyo_pixels.begin(), tokyo_pixels.end());
    EXPECT_GT(tokyo_colours.size(), 3u) << "the name is drawn";

    // The language menu names each language in itself.
    for (const char* name : {"Deutsch", "English", "Русский"})
        EXPECT_TRUE(has(dumps[4], name)) << name << "\n" << dumps[4];
}

TEST_F(InputEndToEnd, WheelPinchAndDesktopKeysZoomAndStepInTheViewer)
{
    add_album(m_run.card(), "Grid", "Evening/DSC_1003.jpg", 40);
    add_album(m_run.card(), "Zoom", "Mountains/IMG_0004.JPG", 3);
    // The pointer left of the middle, at the middle height (where a picture
    // lower than the screen stays centred).
    const std::string pointer = "112 240";
    const std::string script = "wait-for name Grid\n"
                               "wait-for name Zoom\n"
                               "wait 1000\n"
                               "tap-id name Grid\n"
                               "wait-for button0\n"
                               "wait 1500\n"
                               "dump\n"
                               "wheel 160 300 -2\n"
                               "wait 2500\n"
                               "dump\n"
                               "tap-id btnBack\n"
                               "wait-for name Zoom\n"
                               "wait 800\n"
                               "tap-id name Zoom\n"
                               "wait-for button0\n"
                               "wait 800\n"
                               "tap-id button0\n"
                               "wait-for btnNumText\n"
                               "wait 2000\n"
                               "dump\n"
                               "wheel " +
                               pointer +
                               " 2\n"
                               "wait 2000\n"
                               "dump\n"
                               "wheel " +
                               pointer +
                               " -1\n"
                               "wait 2000\n"
                               "dump\n"
                               "pinch " +
                               pointer +
                               " 100 200 300\n"
                               "wait 300\n"
                               "dump\n"
                               "pinch " +
                               pointer +
                               " 200 100 300\n"
                               "wait 300\n"
                               "dump\n"
                               "key Plus\nwait 2000\ndump\n"
                               "key Minus\nwait 2000\ndump\n"
                               "key Plus\nwait 2000\nkey 0\nwait 2000\ndump\n"
                               "key PageDown\nwait 2500\ndump\n"
                               "key End\nwait 1500\ndump\n"
                               "key PageUp\nwait 2500\ndump\n"
                               "key Home\nwait 1500\ndump\n"
                               "key F11\nwait 300\n"
                               "quit\n";
    std::string output;
    ASSERT_EQ(run(script, output), 0) << output;
    const std::vector<std::string> dumps = dumps_of(output);
    ASSERT_EQ(dumps.size(), 14u) << output;

    // The grid scrolled down by about two rows.
    EXPECT_GT(scrolled(dumps[1], "listFolder") - scrolled(dumps[0], "listFolder"), 40.0) << dumps[1];

    std::vector<std::string> pane;
    for (std::size_t i = 2; i < 9; ++i)
        pane.push_back(element_line(dumps[i], "center"));
    const double fit = field(pane[0], "zoom");
    ASSERT_FALSE(std::isnan(fit)) << dumps[2];
    // Two notches in: a whole level; one out: half a level back.
    EXPECT_NEAR(field(pane[1], "zoom"), fit + 1.0, 0.011) << pane[1];
    EXPECT_NEAR(field(pane[2], "zoom"), fit + 0.5, 0.011) << pane[2];
    // Fingers twice as far apart: one level more; back together: one less.
    EXPECT_NEAR(field(pane[3], "zoom"), fit + 1.5, 0.011) << pane[3];
    EXPECT_NEAR(field(pane[4], "zoom"), fit + 0.5, 0.011) << pane[4];
    // The picture point under the pointer stays there.
    for (int step = 1; step <= 4; ++step)
        EXPECT_LE(drift(pane[step - 1], pane[step], 112, 240), 2.0) << "step " << step;

    // "+" zooms in to the next whole level like btnPlus, "-" a level out like
    // btnMinus, "0" returns to fit.
    EXPECT_GT(field(pane[5], "zoom"), fit + 0.9) << pane[5];
    EXPECT_EQ(field(pane[5], "zoom"), std::round(field(pane[5], "zoom"))) << pane[5];
    EXPECT_NEAR(field(pane[6], "zoom"), std::max(fit, field(pane[5], "zoom") - 1.0), 0.011) << pane[6];
    EXPECT_NEAR(field(element_line(dumps[9], "center"), "zoom"), fit, 0.011) << dumps[9];

    // Page Down, End, Page Up and Home step through the album.
    EXPECT_TRUE(has(dumps[10], "text=\"2 of 3\"")) << dumps[10];
    EXPECT_TRUE(has(dumps[11], "text=\"3 of 3\"")) << dumps[11];
    EXPECT_TRUE(has(dumps[12], "text=\"2 of 3\"")) << dumps[12];
    EXPECT_TRUE(has(dumps[13], "text=\"1 of 3\"")) << dumps[13];
}
