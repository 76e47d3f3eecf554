// End to end: the picture viewer in the real program under the offscreen
// display. A large picture is opened from the grid, double-tapped, dragged,
// swiped to the next picture and back, turned to landscape and closed. Each
// step leaves a screenshot in build-*/e2e-viewer/<size>/.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/app/program_run.h"

namespace {

namespace fs = std::filesystem;

struct ScreenSize {
    const char* size;
    int width;
    int height;
};

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

    std::string shot(const std::string& name) const { return "screenshot " + m_shots + "/" + name + ".png\n"; }
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
                               "wait 2500\n" +
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
    ASSERT_EQ(dumps.size(), 6u) << output;
    EXPECT_TRUE(has(dumps[0], "text=\"1 of 2\"")) << dumps[0];
    EXPECT_TRUE(has(dumps[0], "id=\"center\"")) << dumps[0];
    EXPECT_FALSE(has(dumps[0], "btnMinus")) << dumps[0];
    // Zoomed in: the minus button shows.
    EXPECT_TRUE(has(dumps[1], "btnMinus")) << dumps[1];
    EXPECT_TRUE(has(dumps[2], "text=\"2 of 2\"")) << dumps[2];
    EXPECT_TRUE(has(dumps[3], "text=\"1 of 2\"")) << dumps[3];
    EXPECT_TRUE(has(dumps[5], "listFolder")) << dumps[5];
    for (const char* name : {"01-open", "02-zoom-in", "03-drag", "04-next", "05-back", "06-landscape", "07-grid"})
        EXPECT_GT(fs::file_size(m_shots + "/" + name + ".png"), 2000u) << name;
}

INSTANTIATE_TEST_SUITE_P(Sizes, ViewerEndToEnd,
                         testing::Values(ScreenSize{"240x320", 240, 320}, ScreenSize{"800x480", 800, 480}),
                         [](const testing::TestParamInfo<ScreenSize>& info) {
                             std::string name = info.param.size;
                             std::replace(name.begin(), name.end(), 'x', '_');
                             return name;
                         });

}  // namespace
