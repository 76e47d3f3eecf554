#include "display/screenshot.h"

#include <algorithm>
#include "display/png_writer.h"
#include "pixels/bmp_writer.h"
#include "platform/file.h"

namespace {

bool ends_with_png(StringView path)
{
    return path.size() >= 4 && lower_case_copy(path.substr(path.size() - 4)) == u".png";
}

bool write_whole(StringView path, const std::vector<std::uint8_t>& bytes)
{
    File file(path, File::create_mode);
    if (!file.is_open())
        return false;
    std::size_t written = 0;
    while (written < bytes.size()) {
        std::uint32_t chunk = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
        std::uint32_t count = file.write(bytes.data() + written, chunk);
        if (count == 0)
            return false;
        written += count;
    }
    file.flush();
    return true;
}

}  // namespace

bool save_screenshot(StringView path, const PixelBuffer& pixels)
{
    if (ends_with_png(path))
        return write_whole(path, encode_png_565(pixels));
    return write_bmp_565(path, pixels);
}
