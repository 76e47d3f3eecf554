// Fuzz target of the 16-bit BMP reader: any bytes are either refused or give
// pixels whose every row, with the headers before them, was in the input, so
// that a hostile header never makes the reader allocate for missing pixels.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include "pixels/bmp_reader.h"
#include "platform/memory_stream.h"

// The file and information headers the pixels must follow.
static constexpr std::uint64_t headers_size = 14 + 40;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    MemoryStream stream(data, size);
    const std::unique_ptr<PixelBuffer> pixels = read_bmp_565(stream);
    if (!pixels)
        return 0;
    const Size shape = pixels->size();
    if (shape.width <= 0 || shape.height <= 0)
        std::abort();
    // Rows are padded to four bytes; the last one's padding may be missing.
    const std::uint64_t width = static_cast<std::uint64_t>(shape.width);
    const std::uint64_t stride = (width * 2 + 3) / 4 * 4;
    const std::uint64_t needed = headers_size + (static_cast<std::uint64_t>(shape.height) - 1) * stride + width * 2;
    if (needed > size)
        std::abort();
    return 0;
}
