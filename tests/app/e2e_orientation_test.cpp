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
#include "tests/library/exif_test_pictures.h"

namespace {

namespace fs = std::filesystem;

// The pixels of a 16-bit BMP the program wrote (rows bottom-up, padded to 4 bytes).
std::vector<Pixel> bmp_pixels(const std::string& path, Size& size)
{
    const std::string bytes = read_file(path);
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(
            static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8) |
            (static_cast<unsigned char>(bytes[at + 2]) << 16) |
            (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24));
    };
    if (bytes.size() < 54)
        return {};
    const std::size_t offset = u32(10);
    size = {static_cast<int>(u32(18)), static_cast<int>(u32(22))};
    const std::size_t pitch = (static_cast<std::size_t>(size.width) * 2 + 3) & ~std::size_t(3);
    if (size.width <= 0 || size.height <= 0 || bytes.size() < offset + pitch * size.height)
        return {};
    std::vector<Pixel> pixels;
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const std::size_t at = offset + pitch * (size.height - 1 - y) + 2 * static_cast<std::size_t>(x);
            pixels.push_back(static_cast<Pixel>(static_cast<unsigned char>(bytes[at]) |
                                                (static_cast<unsigned char>(bytes[at + 1]) << 8)));
        }
    return pixels;
}

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

    Size size;
    const std::vector<Pixel> first = bmp_pixels(shots + "0.bmp", size);
    ASSERT_EQ(first.size(), 240u * 320u);
    // The picture fills the width, 240 x 144 in the middle of the screen.
    const Pixel top_left = first[240 * 120 + 30];
    const exif_test::Rgb colour = exif_test::quarter_colours[0];
    EXPECT_LE(exif_test::pixel_distance(top_left, rgb_to_pixel(colour.r, colour.g, colour.b)), 1);
    for (int i = 1; i < 9; ++i) {
        Size other_size;
        const std::vector<Pixel> other = bmp_pixels(shots + std::to_string(i) + ".bmp", other_size);
        ASSERT_EQ(other.size(), first.size()) << i;
        int largest = 0;
        for (std::size_t k = 0; k < first.size(); ++k)
            largest = std::max(largest, exif_test::pixel_distance(first[k], other[k]));
        EXPECT_LE(largest, 1) << "screenshot " << i;
    }
}

}  // namespace
