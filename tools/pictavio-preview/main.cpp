// pictavio-preview: the preview files and tile sources of the photo library,
// driven from the command line.
//
//   build PICTURE ROOT               builds the preview in ROOT's preview folder (ROOT/!pictaviocache/,
//                                    or the user's cache folder when ROOT cannot be written), prints its path
//   info PREVIEW                     prints L and the level table
//   info PICTURE ROOT                prints the picture's orientation tag, then its preview's table
//   tile PICTURE ROOT TX TY Z OUT    writes one 256x256 tile as shown (ready preview, else direct decode)
//   thumb PICTURE ROOT OUT           writes the 64x64 thumbnail of a ready preview as shown
//
// OUT ending in ".bmp" is a 16-bit RGB565 BMP; ending in ".ppm" an 8-bit RGB
// PPM expanded from RGB565.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "library/exif_reader.h"
#include "library/piece_creator.h"
#include "library/preview_file.h"
#include "library/resume_record.h"
#include "pixels/bmp_writer.h"
#include "pixels/render_surface.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: pictavio-preview build PICTURE ROOT\n"
                         "       pictavio-preview info PREVIEW\n"
                         "       pictavio-preview info PICTURE ROOT\n"
                         "       pictavio-preview tile PICTURE ROOT TX TY Z OUT\n"
                         "       pictavio-preview thumb PICTURE ROOT OUT\n"
                         "OUT: .bmp (16-bit RGB565) or .ppm (8-bit RGB)\n");
    return 2;
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// RGB565 to 8 bits per channel, replicating the high bits into the low ones.
void expand_565(Pixel pixel, std::uint8_t* rgb)
{
    const int r = pixel >> 11, g = (pixel >> 5) & 63, b = pixel & 31;
    rgb[0] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
    rgb[1] = static_cast<std::uint8_t>((g << 2) | (g >> 4));
    rgb[2] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
}

bool write_ppm(const std::string& path, const PixelBuffer& pixels)
{
    std::string bytes = "P6\n" + std::to_string(pixels.width()) + " " + std::to_string(pixels.height()) + "\n255\n";
    std::vector<std::uint8_t> row(static_cast<std::size_t>(pixels.width()) * 3);
    for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x)
            expand_565(pixels.at(x, y), &row[static_cast<std::size_t>(x) * 3]);
        bytes.append(reinterpret_cast<const char*>(row.data()), row.size());
    }
    File file;
    if (!file.open_expanded(from_utf8(path), File::create_mode))
        return false;
    return file.write(bytes.data(), static_cast<std::uint32_t>(bytes.size())) == bytes.size();
}

int write_image(const std::string& path, const std::unique_ptr<RenderSurface>& surface)
{
    if (!surface || !surface->buffer()) {
        std::fprintf(stderr, "no image\n");
        return 1;
    }
    bool written = false;
    if (ends_with(path, ".bmp"))
        written = write_bmp_565(from_utf8(path), *surface->buffer());
    else if (ends_with(path, ".ppm"))
        written = write_ppm(path, *surface->buffer());
    else
        return usage();
    if (!written) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

int build(const std::string& picture, const std::string& root)
{
    if (preview_path(from_utf8(picture), from_utf8(root)).empty()) {
        std::fprintf(stderr, "%s: no such picture\n", picture.c_str());
        return 1;
    }
    const String folder = make_preview_folder(from_utf8(root));
    if (folder.empty()) {
        std::fprintf(stderr, "%s: no preview folder can be written\n", root.c_str());
        return 1;
    }
    // The folder decides the path: a root that cannot be written keeps its
    // previews in the user's cache folder.
    const String path = preview_path(from_utf8(picture), from_utf8(root));
    const PreviewBuild result = build_preview(from_utf8(picture), from_utf8(root));
    if (result == PreviewBuild::bad_picture) {
        // As the library does: an empty preview marks the picture bad.
        File mark;
        mark.open_expanded(path, File::create_mode);
        std::fprintf(stderr, "%s: bad picture\n", picture.c_str());
        return 1;
    }
    if (result == PreviewBuild::unwritten) {
        std::fprintf(stderr, "%s: cannot write the preview %s\n", picture.c_str(), to_utf8(path).c_str());
        return 1;
    }
    if (result != PreviewBuild::ready) {
        std::fprintf(stderr, "%s: preview incomplete\n", picture.c_str());
        return 1;
    }
    std::printf("%s\n", to_utf8(path).c_str());
    return 0;
}

int info(const std::string& preview)
{
    File file;
    PreviewTable table;
    if (!file.open_expanded(from_utf8(preview), File::read_mode) || !read_preview_table(file, -1, table)) {
        std::fprintf(stderr, "%s: not a ready preview file\n", preview.c_str());
        return 1;
    }
    std::printf("L %d\n", table.levels);
    std::printf("level records_offset records_length records jpeg_offset jpeg_length\n");
    for (int k = 0; k <= table.levels; ++k) {
        const PreviewLevel& level = table.entries[static_cast<std::size_t>(k)];
        std::printf("%d %u %u %u %u %u\n", k, level.records_offset, level.records_length,
                    static_cast<unsigned>(level.records_length / resume_record_size), level.jpeg_offset,
                    level.jpeg_length);
    }
    std::printf("thumbnail %u %u\n", table.thumbnail_offset, table.thumbnail_length);
    return 0;
}

// The orientation comes from the picture itself: the preview keeps the stored pixels.
int info_of_picture(const std::string& picture, const std::string& root)
{
    const String path = preview_path(from_utf8(picture), from_utf8(root));
    if (path.empty()) {
        std::fprintf(stderr, "%s: no such picture\n", picture.c_str());
        return 1;
    }
    std::printf("orientation %d\n", static_cast<int>(read_orientation(from_utf8(picture))));
    return info(to_utf8(path));
}

int tile(char** argv)
{
    const std::unique_ptr<PieceCreator> creator = create_piece_creator(from_utf8(argv[0]), from_utf8(argv[1]));
    if (!creator->ok()) {
        std::fprintf(stderr, "%s: cannot read the picture\n", argv[0]);
        return 1;
    }
    return write_image(argv[5], creator->get_piece(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4])));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    if (command == "build" && argc == 4)
        return build(argv[2], argv[3]);
    if (command == "info" && argc == 3)
        return info(argv[2]);
    if (command == "info" && argc == 4)
        return info_of_picture(argv[2], argv[3]);
    if (command == "tile" && argc == 8)
        return tile(argv + 2);
    if (command == "thumb" && argc == 5)
        return write_image(argv[4],
                           show_as_tagged(load_thumbnail(from_utf8(argv[2]), from_utf8(argv[3])), from_utf8(argv[2])));
    return usage();
}
