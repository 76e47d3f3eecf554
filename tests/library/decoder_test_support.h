#pragma once
// Helpers for the baseline decoder tests: run the decoder over bytes in memory.

#include <cstdint>
#include <vector>
#include "library/baseline_decoder.h"
#include "platform/memory_stream.h"

// A decoder opened over a JPEG in memory (the stream lives as long as the helper).
struct OpenedPicture {
    MemoryStream stream;
    BaselineDecoder decoder;
    BaselineStatus status;

    explicit OpenedPicture(const std::vector<std::uint8_t>& jpeg)
        : stream(jpeg.data(), jpeg.size()), status(decoder.open(stream, 0, jpeg.size()))
    {
    }
    // Sequential decode: the records and the whole RGB picture; false when it fails.
    bool decode_all(std::vector<ResumeRecord>& records, std::vector<std::uint8_t>& rgb)
    {
        const BaselineInfo& info = decoder.info();
        rgb.assign(static_cast<std::size_t>(info.width) * info.height * 3, 0);
        return decoder.decode_with_records(
            [&](const ResumeRecord& record) {
                records.push_back(record);
                return true;
            },
            [&](const std::uint8_t* row, int y) {
                std::copy(row, row + info.width * 3, rgb.begin() + static_cast<std::ptrdiff_t>(y) * info.width * 3);
                return true;
            });
    }
    // Records only (entropy pass).
    bool records_only(std::vector<ResumeRecord>& records)
    {
        return decoder.decode_with_records(
            [&](const ResumeRecord& record) {
                records.push_back(record);
                return true;
            },
            nullptr);
    }
};
