// libFuzzer target for the EXIF reading path: the search for the APP1
// segment among the JPEG's first segments, libexif's parse of the TIFF data
// (orientation from the first IFD, the embedded thumbnail's range), the
// decode of the embedded thumbnail and its turn as tagged.
//
// Input: the start of a JPEG file, as read from a picture.

#include <cstddef>
#include <cstdint>
#include "library/exif_reader.h"
#include "pixels/render_surface.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ExifInfo info = parse_exif(data, size, true);
    const int value = static_cast<int>(info.orientation);
    if (value < 1 || value > 8)
        __builtin_trap();
    decode_embedded_thumbnail(info, 64);
    return 0;
}
