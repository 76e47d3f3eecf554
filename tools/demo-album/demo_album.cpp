// demo-album OUTPUT_DIR: writes the demo album, two folders of procedural
// landscape photographs of several sizes (one of 40 megapixels, one in
// portrait), each encoded row by row so no whole picture is held in memory.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "scene.h"

namespace {

struct DemoPicture {
    const char* folder;
    const char* name;
    int width, height;
    SceneStyle style;
};

const DemoPicture demo_pictures[] = {
    {"Mountains", "IMG_0001.jpg", 1600, 1200, {11, 0.70f, 0.22f, 0.62f, 0.1f}},
    {"Mountains", "IMG_0002.jpg", 2048, 1536, {23, 0.25f, 0.30f, 0.66f, 0.8f}},
    {"Mountains", "IMG_0003.jpg", 1200, 1600, {37, 0.40f, 0.18f, 0.58f, 0.4f}},
    {"Mountains", "IMG_0004.JPG", 4000, 3000, {41, 0.85f, 0.35f, 0.64f, 0.95f}},
    {"Mountains", "IMG_0005.jpeg", 1024, 768, {53, 0.55f, 0.12f, 0.60f, 0.0f}},
    {"Large", "Panorama_40MP.jpg", 7744, 5184, {67, 0.62f, 0.28f, 0.63f, 0.7f}},
    {"Large", "Lake_24MP.jpg", 6000, 4000, {71, 0.30f, 0.20f, 0.60f, 0.3f}},
    {"Evening", "DSC_1001.jpg", 1280, 960, {83, 0.50f, 0.33f, 0.65f, 1.0f}},
    {"Evening", "DSC_1002.jpg", 960, 1280, {97, 0.35f, 0.25f, 0.60f, 0.9f}},
    {"Evening", "DSC_1003.jpg", 800, 600, {101, 0.75f, 0.30f, 0.62f, 0.85f}},
};

bool write_picture(const std::filesystem::path& path, const DemoPicture& picture)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = picture.width;
    cinfo.image_height = picture.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 88, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<size_t>(picture.width) * 3);
    for (int y = 0; y < picture.height; ++y) {
        render_scene_row(picture.style, picture.width, picture.height, y, row.data());
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo-album OUTPUT_DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const DemoPicture& picture : demo_pictures) {
        std::filesystem::path folder = root / picture.folder;
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (!write_picture(folder / picture.name, picture)) {
            std::fprintf(stderr, "demo-album: cannot write %s\n", (folder / picture.name).c_str());
            return 1;
        }
    }
    return 0;
}
