// skinview: draws one screen of a skin the way the program would lay it out.
//   skinview DESCRIPTION.txt|SKIN.skin NODE WIDTHxHEIGHT OUT.bmp
//            [--rows ROW_NODE COUNT] [--frames N] [--scroll PIXELS]
// A text description is compiled first (bitmaps are taken from its folder).
// --rows fills every "vlist" with COUNT rows made from ROW_NODE; --scroll
// drags the lists by PIXELS and --frames runs N frames of 1/50 s after it.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include "platform/paths.h"
#include "skin/plexor.h"
#include "skin_frame.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: skinview DESCRIPTION.txt|SKIN.skin NODE WIDTHxHEIGHT OUT.bmp "
                         "[--rows ROW_NODE COUNT] [--frames N] [--scroll PIXELS]\n");
    return 2;
}

bool load(Properties& skin, const std::string& input)
{
    namespace fs = std::filesystem;
    if (fs::path(input).extension() == ".skin") {
        if (skin.load_skin(from_utf8(input), 96))
            return true;
        std::fprintf(stderr, "skinview: %s does not load\n", input.c_str());
        return false;
    }
    std::ifstream file(input, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "skinview: cannot read %s\n", input.c_str());
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    std::string folder = to_utf8(temp_folder()) + "/skinview-" +
                         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    std::string error;
    std::string bitmaps = fs::path(input).parent_path().string();
    bool loaded = load_skin_description(skin, text.str(), folder, bitmaps.empty() ? "." : bitmaps, error);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    if (!loaded)
        std::fprintf(stderr, "skinview: %s\n", error.c_str());
    return loaded;
}

// Drags every list of the frame by pixels, as a pen would.
void drag(SkinFrame& frame, int pixels)
{
    int x = frame.size().width / 2;
    int y = frame.size().height / 2;
    frame.root().on_stylus({x, y, 0, 0, true, false});
    int steps = 20;
    for (int i = 1; i <= steps; ++i) {
        frame.root().on_stylus_move({x, y - pixels * i / steps, i * 20});
        frame.step(0.02);
    }
    frame.root().on_stylus({x, y - pixels, steps * 20 + 10, 0, false, false});
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5)
        return usage();
    int width = 0, height = 0;
    if (std::sscanf(argv[3], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0 || width > 8192 ||
        height > 8192)
        return usage();
    std::string row_node;
    int rows = 0, frames = 0, scroll = 0;
    for (int i = 5; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--rows" && i + 2 < argc) {
            row_node = argv[++i];
            rows = std::atoi(argv[++i]);
        } else if (option == "--frames" && i + 1 < argc) {
            frames = std::atoi(argv[++i]);
        } else if (option == "--scroll" && i + 1 < argc) {
            scroll = std::atoi(argv[++i]);
        } else {
            return usage();
        }
    }
    Properties skin;
    if (!load(skin, argv[1]))
        return 1;
    try {
        SkinFrame frame(skin);
        frame.load(from_utf8(argv[2]));
        if (!row_node.empty())
            frame.fill_lists(from_utf8(row_node), rows);
        frame.lay_out({width, height});
        frame.step(0.02);
        if (scroll != 0)
            drag(frame, scroll);
        for (int i = 0; i < frames; ++i)
            frame.step(0.02);
        if (!frame.write_bmp(argv[4])) {
            std::fprintf(stderr, "skinview: cannot write %s\n", argv[4]);
            return 1;
        }
    } catch (const plexor::NodeNotFoundInSkin& error) {
        std::fprintf(stderr, "skinview: %s\n", to_utf8(error.message()).c_str());
        return 1;
    } catch (const plexor::NodeNotFound& error) {
        std::fprintf(stderr, "skinview: %s\n", to_utf8(error.message()).c_str());
        return 1;
    } catch (const plexor::NodeNotRegistered& error) {
        std::fprintf(stderr, "skinview: %s\n", to_utf8(error.message()).c_str());
        return 1;
    }
    return 0;
}
