// Fuzz target for the preview-file reader: arbitrary bytes stand in for the
// preview of a real picture; the tile source and the thumbnail loader must
// refuse or survive them without reading outside the file or their buffers.
// A seed is a real preview of the picture made here (fuzz/seeds/library_preview/).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "library/cache_piece_creator.h"
#include "library/preview_file.h"
#include "pixels/render_surface.h"
#include "tests/library/preview_pictures.h"

namespace {

struct Setup {
    std::string root;
    std::string picture;
    std::string preview;
};

// The picture the seeds were made for: 600x400, 4:2:0, restart every MCU row (L = 2).
const PictureSpec fuzz_picture{.width = 600, .height = 400, .restart_rows = 1, .seed = 3};

const Setup& setup()
{
    static const Setup made = [] {
        Setup s;
        std::string pattern = (std::filesystem::temp_directory_path() / "pictavio_fuzzXXXXXX").string();
        s.root = std::string(mkdtemp(pattern.data())) + "/";
        s.picture = s.root + "picture.jpg";
        std::filesystem::create_directory(s.root + "!pictaviocache");
        if (!write_picture(s.picture, fuzz_picture))
            std::abort();
        s.preview = to_utf8(preview_path(from_utf8(s.picture), from_utf8(s.root)));
        return s;
    }();
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Setup& s = setup();
    FILE* file = std::fopen(s.preview.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    load_thumbnail(from_utf8(s.picture), from_utf8(s.root));
    CachePieceCreator creator(from_utf8(s.picture), from_utf8(s.root));
    if (!creator.ok())
        return 0;
    for (int z = 0; z <= creator.levels(); ++z) {
        creator.get_piece(0, 0, z);
        creator.get_piece(1, 1, z);
    }
    return 0;
}
