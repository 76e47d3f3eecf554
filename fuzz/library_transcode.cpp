// Fuzz target for the full-resolution tile path over a picture's baseline
// transcode: arbitrary bytes stand in for the transcode kept beside the real
// preview of a progressive picture. The tile source must refuse them or decode
// something, without reading outside the file or its buffers.
// A seed is the real transcode of the picture made here (fuzz/seeds/library_transcode/).

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
    std::string transcode;
};

// The picture the seeds were made for: 520x300, progressive 4:2:0 (L = 2, 3x2 tiles at full size).
const PictureSpec fuzz_picture{.width = 520, .height = 300, .progressive = true, .seed = 3};

const Setup& setup()
{
    static const Setup made = [] {
        Setup s;
        std::string pattern = (std::filesystem::temp_directory_path() / "pictavio_fuzzXXXXXX").string();
        s.root = std::string(mkdtemp(pattern.data())) + "/";
        s.picture = s.root + "picture.jpg";
        std::filesystem::create_directory(s.root + "!pictaviocache");
        if (!write_picture(s.picture, fuzz_picture) ||
            build_preview(from_utf8(s.picture), from_utf8(s.root)) != PreviewBuild::ready)
            std::abort();
        s.transcode = to_utf8(transcode_path(preview_path(from_utf8(s.picture), from_utf8(s.root))));
        return s;
    }();
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Setup& s = setup();
    FILE* file = std::fopen(s.transcode.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    CachePieceCreator creator(from_utf8(s.picture), from_utf8(s.root));
    if (!creator.ok())
        return 0;
    for (int ty = 0; ty < 2; ++ty)
        for (int tx = 0; tx < 3; ++tx)
            creator.get_piece(tx, ty, creator.levels());
    return 0;
}
