// pictavio-preview from the command line: build, info, tile and thumb with
// both output formats, and the direct decode before a preview exists.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "tests/library/exif_test_pictures.h"
#include "tests/library/preview_test_support.h"

namespace {

const std::string tool = std::string(PICTAVIO_TOOLS_DIR) + "/pictavio-preview";

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun run(const std::string& arguments)
{
    ToolRun result;
    FILE* pipe = popen((tool + " " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[512];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class PreviewTool : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(tool))
            GTEST_SKIP() << "build the pictavio-preview target first";
        m_root = make_root();
        m_picture = m_root + "p.jpg";
        ASSERT_TRUE(write_picture(m_picture, {.width = 1600, .height = 1200}));
    }

    std::string m_root;
    std::string m_picture;
};

TEST_F(PreviewTool, TilesBeforeAndAfterTheBuild)
{
    // Without a preview the tile comes from the direct decode.
    EXPECT_EQ(run("tile " + m_picture + " " + m_root + " 0 0 0 " + m_root + "direct.ppm").status, 0);
    const auto direct = file_bytes(m_root + "direct.ppm");
    const std::string ppm_header = "P6\n256 256\n255\n";
    ASSERT_EQ(direct.size(), ppm_header.size() + 256 * 256 * 3);
    EXPECT_EQ(std::string(direct.begin(), direct.begin() + ppm_header.size()), ppm_header);
    EXPECT_NE(run("thumb " + m_picture + " " + m_root + " " + m_root + "t.bmp").status, 0);

    const ToolRun built = run("build " + m_picture + " " + m_root);
    ASSERT_EQ(built.status, 0);
    const std::string preview = built.out.substr(0, built.out.find('\n'));
    EXPECT_EQ(preview.rfind(m_root + "!pictaviocache/", 0), 0u) << preview;

    const ToolRun info = run("info '" + preview + "'");
    ASSERT_EQ(info.status, 0);
    EXPECT_EQ(info.out.rfind("L 3\n", 0), 0u) << info.out;
    EXPECT_NE(info.out.find("\n0 69 "), std::string::npos) << info.out;

    ASSERT_EQ(run("tile " + m_picture + " " + m_root + " 6 4 3 " + m_root + "edge.bmp").status, 0);
    const auto bmp = file_bytes(m_root + "edge.bmp");
    ASSERT_GE(bmp.size(), 54u + 256 * 256 * 2);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(le16(bmp, 28), 16);    // bits per pixel
    EXPECT_EQ(le32(bmp, 18), 256u);  // width

    ASSERT_EQ(run("thumb " + m_picture + " " + m_root + " " + m_root + "t.ppm").status, 0);
    EXPECT_EQ(file_bytes(m_root + "t.ppm").size(), std::string("P6\n64 64\n255\n").size() + 64 * 64 * 3);

    EXPECT_NE(run("tile " + m_picture + " " + m_root + " 7 0 3 " + m_root + "none.bmp").status, 0);
    EXPECT_NE(run("tile " + m_picture + " " + m_root + " 0 0 0 " + m_root + "x.png").status, 0);
    EXPECT_NE(run("info " + m_picture).status, 0);
    EXPECT_NE(run("bogus").status, 0);
}

}  // namespace

namespace {

// The asymmetric picture stored for tag (0: no EXIF data) in a root of its
// own, its preview built by the tool; returns the picture's path.
std::string tool_tagged(int tag, std::string& root)
{
    root = make_root();
    const std::string picture = root + "tagged.jpg";
    exif_test::write_file(picture, exif_test::tagged_picture(tag, {1024, 768}));
    EXPECT_EQ(run("build " + picture + " " + root).status, 0);
    return picture;
}

}  // namespace

TEST_F(PreviewTool, InfoPrintsTheOrientationAndThumbAndTileAreShownUpright)
{
    std::string upright_root, tagged_root;
    const std::string upright = tool_tagged(0, upright_root);
    const ToolRun plain = run("info " + upright + " " + upright_root);
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out.rfind("orientation 1\nL 2\n", 0), 0u) << plain.out;
    ASSERT_EQ(run("thumb " + upright + " " + upright_root + " " + upright_root + "t.ppm").status, 0);
    ASSERT_EQ(run("tile " + upright + " " + upright_root + " 3 2 2 " + upright_root + "tile.ppm").status, 0);
    for (int tag = 2; tag <= 8; tag += 3) {
        const std::string tagged = tool_tagged(tag, tagged_root);
        const ToolRun info = run("info " + tagged + " " + tagged_root);
        ASSERT_EQ(info.status, 0);
        EXPECT_EQ(info.out.rfind("orientation " + std::to_string(tag) + "\nL 2\n", 0), 0u) << info.out;
        ASSERT_EQ(run("thumb " + tagged + " " + tagged_root + " " + tagged_root + "t.ppm").status, 0);
        EXPECT_EQ(file_bytes(tagged_root + "t.ppm"), file_bytes(upright_root + "t.ppm")) << tag;
        // The bottom-right full-resolution tile.
        ASSERT_EQ(run("tile " + tagged + " " + tagged_root + " 3 2 2 " + tagged_root + "tile.ppm").status, 0);
        EXPECT_EQ(file_bytes(tagged_root + "tile.ppm"), file_bytes(upright_root + "tile.ppm")) << tag;
    }
    EXPECT_NE(run("info " + tagged_root + "none.jpg " + tagged_root).status, 0);
}
