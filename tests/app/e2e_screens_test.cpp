// End to end: the real program under the offscreen display and a script,
// over a temporary card tree, pictures folder, registry and copy of the
// program folder. Each step's element tree comes back through "dump" and
// each step leaves a screenshot in build-*/e2e-screens/<size>/.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/program_run.h"

namespace {

namespace fs = std::filesystem;

// A screen size and density the skin must lay out well at.
struct ScreenSize {
    const char* size;
    const char* dpi;
};

class EndToEnd : public testing::TestWithParam<ScreenSize> {
protected:
    void SetUp() override
    {
        const std::string program = PICTAVIO_PROGRAM_DIR;
        const std::string demo = program + "/demo";
        ASSERT_TRUE(fs::exists(program + "/pictavio")) << "the program folder is built";
        ASSERT_TRUE(fs::exists(demo + "/Evening")) << "the demo album is built";
        m_run.prepare();
        // An album list without albums: not a first start, so the warning
        // stays until the search button is tapped.
        std::ofstream(m_run.program() + "/folders.ini").flush();
        m_card = m_run.card();
        fs::copy(demo + "/Evening", m_card + "/Evening", fs::copy_options::recursive);
        fs::copy(demo + "/Mountains", m_card + "/Mountains", fs::copy_options::recursive);
        // A picture that cannot be decoded shows the bad look.
        std::ofstream(m_card + "/Mountains/IMG_9999.jpg") << "not a picture";
        m_shots = std::string(PICTAVIO_BINARY_DIR) + "/e2e-screens/" + GetParam().size + "-" + GetParam().dpi;
        fs::create_directories(m_shots);
    }

    // Runs the program with script; its standard output and the exit code.
    int run(const std::string& script, std::string& output)
    {
        const std::string options = std::string("--size ") + GetParam().size + " --dpi " + GetParam().dpi;
        return m_run.run(script, options, "TMPDIR='" + m_run.root() + "' PICTAVIO_TEST=", 120, output);
    }

    std::string shot(const std::string& name) const { return "screenshot " + m_shots + "/" + name + ".bmp\n"; }

    ProgramRun m_run{"pictavio_e2e"};
    std::string m_card;
    std::string m_shots;
};

TEST_P(EndToEnd, AlbumsGridMenuLanguageAboutAndExit)
{
    const std::string script = "wait-for warning_text\n"
                               "dump\n" +
                               shot("01-warning") +
                               "tap-id btnSearch\n"
                               "wait-for progress\n"
                               "dump\n" +
                               shot("02-search") +
                               "wait-for name Mountains\n"
                               "wait-for btnSearch\n"
                               "wait 3000\n"
                               "dump\n" +
                               shot("03-albums") +
                               "tap-id name Mountains\n"
                               "wait-for button0\n"
                               "wait 1000\n"
                               "dump\n" +
                               shot("04-grid") +
                               "tap-id btnBack\n"
                               "wait-for listApps\n"
                               "tap-id btnMenu\n"
                               "wait-for btnLanguage\n"
                               "wait 500\n" +
                               shot("05-menu") +
                               "tap-id btnLanguage\n"
                               "wait-for #text Русский\n"
                               "wait 500\n" +
                               shot("06-languages") +
                               "tap-id #text Русский\n"
                               "wait-for btnLanguage Язык\n"
                               "wait 500\n"
                               "dump\n" +
                               shot("07-russian") +
                               "tap-id btnLanguage\n"
                               "wait-for #text English\n"
                               "tap-id #text English\n"
                               "wait-for btnLanguage Language\n"
                               "tap-id btnAbout\n"
                               "wait-for appName\n"
                               "wait 500\n"
                               "dump\n" +
                               shot("08-about") +
                               "tap-id btnBack\n"
                               "wait-for btnLanguage\n"
                               "tap-id btnBack\n"
                               "wait-for listApps\n"
                               "wait 500\n"
                               "dump\n"
                               "key SOFT_LEFT\n"
                               "wait-for #text Exit\n"
                               "wait 500\n" +
                               shot("09-main-menu") +
                               "tap-id #text Exit\n"
                               "wait-for #text Yes, exit\n"
                               "wait 500\n" +
                               shot("10-exit") +
                               "tap-id #text Yes, exit\n"
                               "wait 5000\n"
                               "dump\n";
    std::string output;
    const int exit_code = run(script, output);
    ASSERT_EQ(exit_code, 0) << output;
    const std::vector<std::string> dumps = dumps_of(output);
    // The last dump never runs: "Yes, exit" ended the program before it.
    ASSERT_EQ(dumps.size(), 7u) << output;

    const std::string& warning = dumps[0];
    EXPECT_TRUE(has(warning, "id=\"warning_text\"")) << warning;
    EXPECT_TRUE(has(warning, "No albums yet")) << warning;
    EXPECT_TRUE(has(warning, "count=0")) << warning;

    const std::string& searching = dumps[1];
    EXPECT_TRUE(has(searching, "button id=\"btnSearch\"")) << searching;
    EXPECT_TRUE(has(searching, "id=\"btnSearch\" rect=") && has(searching, "disabled")) << searching;
    EXPECT_TRUE(has(searching, "progress id=\"progress\"")) << searching;

    const std::string& albums = dumps[2];
    EXPECT_TRUE(has(albums, "text=\"Evening\"")) << albums;
    EXPECT_TRUE(has(albums, "text=\"Mountains\"")) << albums;
    EXPECT_TRUE(has(albums, "text=\"6\"")) << albums;  // five pictures and the broken one
    EXPECT_FALSE(has(albums, "warning_text")) << albums;

    const std::string& grid = dumps[3];
    EXPECT_TRUE(has(grid, "caption=\"Mountains\"")) << grid;
    EXPECT_TRUE(has(grid, "vlist id=\"listFolder\"")) << grid;
    EXPECT_TRUE(has(grid, "button id=\"button3\"")) << grid;

    const std::string& russian = dumps[4];
    EXPECT_TRUE(has(russian, "caption=\"Язык\"")) << russian;
    EXPECT_TRUE(has(russian, "caption=\"Справка\"")) << russian;

    const std::string& about = dumps[5];
    EXPECT_TRUE(has(about, "text=\"Pictavio\"")) << about;
    EXPECT_TRUE(has(about, "text=\"Version 1.01\"")) << about;

    // After the language went there and back the album list is still there.
    const std::string& back = dumps[6];
    EXPECT_TRUE(has(back, "text=\"Evening\"")) << back;
    EXPECT_TRUE(has(back, "text=\"Mountains\"")) << back;
    EXPECT_FALSE(has(back, "warning_text")) << back;

    const std::string folders = read_file(m_run.program() + "/folders.ini");
    EXPECT_FALSE(folders.empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, EndToEnd,
                         testing::Values(ScreenSize{"240x320", "96"}, ScreenSize{"480x640", "192"},
                                         ScreenSize{"640x480", "96"}, ScreenSize{"800x480", "192"}),
                         [](const testing::TestParamInfo<ScreenSize>& info) {
                             std::string name = std::string(info.param.size) + "_" + info.param.dpi;
                             std::replace(name.begin(), name.end(), 'x', '_');
                             return name;
                         });

}  // namespace
