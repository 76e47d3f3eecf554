// End to end: an album of one photograph stored in each of the eight
// orientations with the matching tag, and once without EXIF data, in the
// real program under the offscreen display. Once their previews are built,
// the viewer is opened and swiped through all nine; each fit view, taken
// after the controls have gone, is the same picture. The screenshots stay in
// build-*/e2e-orientation/.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/app/program_run.h"
#include "tests/app/screenshot_bmp.h"
#include "tests/library/exif_test_pictures.h"
#include "tests/pixel_compare.h"

namespace {

namespace fs = std::filesystem;

TEST(OrientationEndToEnd, EveryTagFitsAsTheUprightPicture)
{
    const std::string program = PICTAVIO_PROGRAM_DIR;
    ASSERT_TRUE(fs::exists(program + "/pictavio")) << "the program folder is built";
    ProgramRun run("pictavio_e2e_orientation");
    run.prepare();
    const std::string album = run.card() + "/Turned/";
    fs::create_directories(album);
    for (int tag = 0; tag <= 8; ++tag)
        ASSERT_TRUE(
            exif_test::write_file(album + "p" + std::to_string(tag) + ".jpg",
                                  exif_test::with_distinct_size(exif_test::tagged_picture(tag, {640, 384}), tag)));
    const std::string shots = std::string(PICTAVIO_BINARY_DIR) + "/e2e-orientation/";
    fs::create_directories(shots);

    std::string script = "wait-for btnSearch\n"
                         "tap-id btnSearch\n"
                         "wait-for name Turned\n"
                         "wait-for btnSearch\n"
                         "wait 3000\n"
                         "tap-id name Turned\n"
                         "wait-for button0\n"
                         "wait 500\n"
                         "tap-id button0\n"
                         "wait-for btnNumText\n"
                         "wait 4500\n"
                         "screenshot " +
                         shots + "0.bmp\n";
    for (int i = 1; i < 9; ++i)
        script += "drag 216 160 24 160 400\nwait 2000\nscreenshot " + shots + std::to_string(i) + ".bmp\n";
    script += "quit\n";
    std::string output;
    ASSERT_EQ(run.run(script, "--size 240x320 --dpi 96", "", 240, output), 0) << output;

    const std::unique_ptr<PixelBuffer> first = read_screenshot_bmp(shots + "0.bmp");
    ASSERT_TRUE(first);
    ASSERT_EQ(first->size(), (Size{240, 320}));
    // The picture fills the width, 240 x 144 in the middle of the screen.
    const exif_test::Rgb colour = exif_test::quarter_colours[0];
    EXPECT_LE(channel_distance(first->at(30, 120), rgb_to_pixel(colour.r, colour.g, colour.b)), 1);
    for (int i = 1; i < 9; ++i) {
        const std::unique_ptr<PixelBuffer> other = read_screenshot_bmp(shots + std::to_string(i) + ".bmp");
        ASSERT_TRUE(other) << i;
        EXPECT_TRUE(pixels_near(*other, *first, 1)) << "screenshot " << i;
    }
}

}  // namespace
