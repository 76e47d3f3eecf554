// libFuzzer target for the baseline decoder: headers, the sequential decode
// with its records, and windows decoded from those records after some of
// them are replaced by records taken from the input itself.
//
// Input: one control byte, then the JPEG. The control byte picks how many
// records (0..7) are read from the end of the input and which tile is decoded.

#include <cstddef>
#include <cstdint>
#include <vector>
#include "library/baseline_decoder.h"
#include "platform/memory_stream.h"

namespace {

// Keeps every run short: larger pictures add time, not coverage.
constexpr long max_pixels = 4L * 1024 * 1024;

void decode_tile(BaselineDecoder& decoder, const std::vector<ResumeRecord>& records, int control)
{
    const BaselineInfo& info = decoder.info();
    const int tiles_down = (info.height + 255) / 256;
    const int tx = (control >> 3) % info.tile_columns;
    const int ty = (control >> 5) % tiles_down;
    PixelWindow window{tx * 256, ty * 256, 0, 0};
    window.width = info.width - window.x < 256 ? info.width - window.x : 256;
    window.height = info.height - window.y < 256 ? info.height - window.y : 256;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(window.width) * window.height * 3);
    decoder.decode_window(records, window, rgb.data(), static_cast<std::size_t>(window.width) * 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int control = data[0];
    MemoryStream stream(data + 1, size - 1);
    BaselineDecoder decoder;
    if (decoder.open(stream, 0, size - 1) != BaselineStatus::ok)
        return 0;
    const BaselineInfo& info = decoder.info();
    if (static_cast<long>(info.width) * info.height > max_pixels)
        return 0;

    std::vector<ResumeRecord> records;
    const bool decoded = decoder.decode_with_records(
        [&](const ResumeRecord& record) {
            records.push_back(record);
            return true;
        },
        [](const std::uint8_t*, int) { return true; });
    if (!decoded)
        records.assign(info.record_count(), ResumeRecord());

    // Arbitrary records from the end of the input replace the first ones.
    const std::size_t replaced = static_cast<std::size_t>(control & 7);
    for (std::size_t i = 0; i < replaced && (i + 1) * resume_record_size < size && i < records.size(); ++i)
        records[i] = parse_resume_record(data + size - (i + 1) * resume_record_size);
    decode_tile(decoder, records, control);
    return 0;
}
