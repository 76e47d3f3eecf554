// The frame-buffer driver against regular files standing in for the device.

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include "display/display.h"
#include "display/frame_buffer_driver.h"

namespace {

class DisplayFrameBufferTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = testing::TempDir() + "fbXXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        m_path = m_folder + "/fb0";
    }
    void TearDown() override { std::system(("rm -rf '" + m_folder + "'").c_str()); }

    void make_file(std::size_t bytes, char fill = '\x55')
    {
        std::ofstream(m_path, std::ios::binary) << std::string(bytes, fill);
    }
    std::string contents() const
    {
        std::ifstream in(m_path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::string m_folder;
    std::string m_path;
};

// 5 x 3 visible at (1, 2) in rows of 16 bytes: 16 x 5 = 80 bytes are needed.
FrameBufferGeometry padded_geometry()
{
    FrameBufferGeometry geometry;
    geometry.width = 5;
    geometry.height = 3;
    geometry.bits_per_pixel = 16;
    geometry.line_length = 16;
    geometry.x_offset = 1;
    geometry.y_offset = 2;
    return geometry;
}

}  // namespace

TEST_F(DisplayFrameBufferTest, DrawsIntoTheVisibleAreaOfTheMappedFile)
{
    make_file(80);
    FrameBufferDriver driver(m_path, padded_geometry());
    DisplayParameters parameters;
    ASSERT_TRUE(driver.open(parameters));
    EXPECT_EQ(parameters.width, 5);
    EXPECT_EQ(parameters.height, 3);
    EXPECT_EQ(driver.present_mode(), PresentMode::none);

    PixelBuffer* screen = driver.begin_frame();
    ASSERT_NE(screen, nullptr);
    screen->at(0, 0) = 0x1234;
    screen->at(4, 2) = 0xABCD;
    driver.present();

    std::string bytes = contents();
    ASSERT_EQ(bytes.size(), 80u);
    // Row 2, pixel 1 (little-endian), and row 4, pixel 5.
    EXPECT_EQ(static_cast<unsigned char>(bytes[2 * 16 + 2]), 0x34);
    EXPECT_EQ(static_cast<unsigned char>(bytes[2 * 16 + 3]), 0x12);
    EXPECT_EQ(static_cast<unsigned char>(bytes[4 * 16 + 10]), 0xCD);
    EXPECT_EQ(static_cast<unsigned char>(bytes[4 * 16 + 11]), 0xAB);
    // Nothing outside the visible area changed.
    EXPECT_EQ(bytes[0], '\x55');
    EXPECT_EQ(bytes[2 * 16 + 0], '\x55');
    EXPECT_EQ(bytes[2 * 16 + 12], '\x55');
}

TEST_F(DisplayFrameBufferTest, OnlySixteenBitsPerPixelIsUsed)
{
    make_file(4096);
    for (int bits : {8, 15, 24, 32}) {
        FrameBufferGeometry geometry = padded_geometry();
        geometry.bits_per_pixel = bits;
        geometry.line_length = 64;
        FrameBufferDriver driver(m_path, geometry);
        DisplayParameters parameters;
        EXPECT_FALSE(driver.open(parameters)) << bits;
        EXPECT_EQ(driver.begin_frame(), nullptr);
    }
}

TEST_F(DisplayFrameBufferTest, AFileTooShortForTheGeometryIsRefused)
{
    make_file(79);
    FrameBufferDriver driver(m_path, padded_geometry());
    DisplayParameters parameters;
    EXPECT_FALSE(driver.open(parameters));
    EXPECT_EQ(parameters.width, 0);
}

TEST_F(DisplayFrameBufferTest, ImpossibleGeometriesAreRefused)
{
    make_file(1 << 16);
    FrameBufferGeometry narrow_rows = padded_geometry();
    narrow_rows.line_length = 10;  // 5 pixels at x offset 1 need 12 bytes
    FrameBufferGeometry odd_rows = padded_geometry();
    odd_rows.line_length = 17;
    FrameBufferGeometry empty = padded_geometry();
    empty.height = 0;
    FrameBufferGeometry negative = padded_geometry();
    negative.y_offset = -1;
    FrameBufferGeometry huge = padded_geometry();
    huge.width = 1 << 20;
    huge.line_length = 1 << 22;
    for (const FrameBufferGeometry& geometry : {narrow_rows, odd_rows, empty, negative, huge}) {
        FrameBufferDriver driver(m_path, geometry);
        DisplayParameters parameters;
        EXPECT_FALSE(driver.open(parameters));
    }
}

TEST_F(DisplayFrameBufferTest, ARegularFileIsNoFrameBufferDevice)
{
    make_file(80);
    FrameBufferGeometry geometry;
    EXPECT_FALSE(FrameBufferDriver::read_geometry(m_path, geometry));
    EXPECT_FALSE(FrameBufferDriver::read_geometry(m_folder + "/missing", geometry));
    FrameBufferDriver driver(m_path);
    DisplayParameters parameters;
    EXPECT_FALSE(driver.open(parameters));
}

TEST_F(DisplayFrameBufferTest, DeviceIsNamedByTheEnvironment)
{
    setenv("PICTAVIO_FBDEV", m_path.c_str(), 1);
    EXPECT_EQ(FrameBufferDriver::device_path(), m_path);
    unsetenv("PICTAVIO_FBDEV");
    EXPECT_EQ(FrameBufferDriver::device_path(), "/dev/fb0");
}

// Through the display: the frame buffer has no presenting of its own, so frames
// are drawn into a private back buffer and reach the memory only when presented.
TEST_F(DisplayFrameBufferTest, DisplayDrawsThroughAPrivateBackBufferAndTurnsFrames)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    CommandLineOptions options;
    options.display = DisplayChoice::frame_buffer;
    WindowSystem windows(options);
    WindowId window = windows.create_window(u"test", nullptr);
    unsetenv("SDL_VIDEODRIVER");
    for (int orientation : {0, 3}) {
        make_file(80);
        DisplayParameters parameters{0, 0, orientation, 0};
        auto display = Display::create_on(windows, window,
                                          std::make_unique<FrameBufferDriver>(m_path, padded_geometry()), parameters);
        ASSERT_NE(display, nullptr);
        EXPECT_EQ(parameters.width, orientation ? 3 : 5);
        EXPECT_EQ(parameters.swap_effect, 1);
        ASSERT_TRUE(display->begin());
        display->back_buffer()->at(0, 0) = 0x1234;
        EXPECT_EQ(contents()[2 * 16 + 2], '\x55') << "drawn straight into the screen";
        display->present(0);
        // Orientation 3 puts the logical top-left at the panel's top-right.
        std::size_t at = orientation ? 2 * 16 + 2 + 2 * 4 : 2 * 16 + 2;
        EXPECT_EQ(static_cast<unsigned char>(contents()[at]), 0x34) << orientation;
        EXPECT_EQ(display->presented_frames(), 1);
    }
}
