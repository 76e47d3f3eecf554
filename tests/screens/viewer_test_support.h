#pragma once
// Helpers of the viewer and pane tests: a compiled skin with the viewer's
// node, JPEG pictures written to a temporary card, and the scheduler the
// viewer's tap timer runs on (SDL's dummy video driver).

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>
#include "elements/element_types.h"
#include "library/jpeg_encoder.h"
#include "platform/memory_stream.h"
#include "platform/window_system.h"
#include "screens/picture_pane.h"
#include "shell/active_scheduler.h"
#include "skin/element_type_registry.h"
#include "skin/properties.h"
#include "skin_compiler.h"
#include "tests/temp_folder.h"

namespace viewer_test {

namespace fs = std::filesystem;

// The viewer's node with every child it binds; the key buttons of the default skin included.
inline const char* image_skin = R"(node Image {
    string type = "node"
    point design_size = 240 320
    node {
        string type = "bigpicture"
        string id = "left"
    }
    node {
        string type = "bigpicture"
        string id = "center"
        color empty_color = 10 20 30
    }
    node {
        string type = "bigpicture"
        string id = "right"
    }
    node {
        string type = "button"
        string id = "btnBack"
        string bind_key = "Backspace"
        point design_size = 40 40
    }
    node {
        string type = "text"
        string id = "btnNumText"
        point design_size = 120 40
    }
    node {
        string type = "button"
        string id = "btnLandscape"
        string bind_key = "Space"
        point design_size = 40 40
    }
    node {
        string type = "button"
        string id = "btnMinus"
        string bind_key = "VOLUME_DOWN"
        point design_size = 40 40
    }
    node {
        string type = "button"
        string id = "btnPlus"
        string bind_key = "VOLUME_UP"
        point design_size = 40 40
    }
    node {
        string type = "button"
        string id = "btnLog2"
    }
    node {
        string type = "button"
        string id = "keyNext"
        string bind_key = "Right"
        point design_size = 2 2
    }
    node {
        string type = "button"
        string id = "keyZoomIn"
        string bind_key = "Up"
        point design_size = 2 2
    }
}
)";

// Writes a width x height JPEG at quality whose row y (RGB, 3 bytes a pixel)
// fill_row writes.
template <typename FillRow>
bool write_jpeg_rows(const std::string& path, int width, int height, int quality, FillRow fill_row)
{
    MemoryStream stream;
    JpegEncoder encoder;
    if (!encoder.create(stream, width, height, quality))
        return false;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        fill_row(row.data(), y);
        if (!encoder.write_scanline(row.data()))
            return false;
    }
    if (!encoder.finish())
        return false;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(stream.bytes().data()), std::streamsize(stream.bytes().size()));
    return bool(out);
}

// Writes a width x height JPEG whose colours change across the picture.
inline bool write_jpeg(const std::string& path, int width, int height, int shade = 0)
{
    return write_jpeg_rows(path, width, height, 85, [&](std::uint8_t* row, int y) {
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>((x * 255 / width + shade) & 255);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 255 / height);
            row[3 * x + 2] = static_cast<std::uint8_t>((x + y) & 255);
        }
    });
}

// Element kinds, "bigpicture" and the scheduler, once per test.
class ViewerEnvironment {
public:
    ViewerEnvironment() : m_windows(window_options()), m_scheduler(m_windows)
    {
        ElementTypeRegistry& registry = ElementTypeRegistry::instance();
        if (!registry.is_registered(u"node"))
            register_element_types(registry);
        if (!registry.is_registered(u"bigpicture"))
            m_big_picture = std::make_unique<BigPictureRegistration>();
    }

    // Compiles image_skin (or another description) into folder and loads it.
    bool load_skin(Properties& skin, const std::string& folder, const char* description = image_skin)
    {
        const std::string text = folder + "/viewer.txt";
        const std::string binary = folder + "/viewer.skin";
        std::ofstream(text) << description;
        std::string error;
        if (!compile_skin_file(text, binary, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        return skin.load_skin(from_utf8(binary), 96);
    }

private:
    static CommandLineOptions window_options()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        CommandLineOptions options;
        options.width = 240;
        options.height = 320;
        return options;
    }

    WindowSystem m_windows;
    CActiveScheduler m_scheduler;
    std::unique_ptr<BigPictureRegistration> m_big_picture;
};

}  // namespace viewer_test
