#pragma once
// ResumeRecord: the saved state of the baseline entropy decoder at the start
// of an MCU, 17 bytes little-endian in the preview file.

#include <cstddef>
#include <cstdint>
#include <vector>

// One resume point. Together with the compressed data it is everything the
// entropy decoder needs to continue exactly as the sequential decode did at
// that MCU. The bit buffer itself is not stored: its `bits_left` bits are the
// low bits of the last data bytes before the resume position (byte stuffing
// 0xFF 0x00 counts as one data byte 0xFF), and are read back from there.
struct ResumeRecord {
    std::int16_t dc0 = 0;              // DC predictor of component 0
    std::int16_t dc1 = 0;              // DC predictor of component 1
    std::int16_t dc2 = 0;              // DC predictor of component 2
    std::uint8_t bits_left = 0;        // unconsumed bits in the bit buffer (0..32; our decoder writes 0..7)
    std::uint32_t restarts_to_go = 0;  // MCUs left in the restart interval (0 = a restart marker comes first)
    std::uint32_t remaining = 0;       // compressed bytes not yet consumed, counted back from the end of the data
    std::uint8_t state_a = 0;          // record_padding and record_one_mcu_early bits
    std::uint8_t state_b = 0;          // number (0..7) of the next restart marker expected

    bool operator==(const ResumeRecord&) const = default;
};

constexpr std::size_t resume_record_size = 17;

// Bits of state_a.
// The bits left are padding past the end of the entropy data.
constexpr std::uint8_t record_padding = 1;
// The record sits at the MCU just before its tile column's first MCU: the left
// context of a tile whose chroma is horizontally subsampled.
constexpr std::uint8_t record_one_mcu_early = 2;

// Writes the record in file order: dc0, dc1, dc2, bits_left, restarts_to_go, remaining, state_a, state_b.
void serialise_resume_record(const ResumeRecord& record, std::uint8_t out[resume_record_size]);
// Reads a record written by serialise_resume_record.
ResumeRecord parse_resume_record(const std::uint8_t in[resume_record_size]);
// Reads length / 17 consecutive records; false (and no records) when length is not a multiple of 17.
bool parse_resume_records(const std::uint8_t* data, std::size_t length, std::vector<ResumeRecord>& records);
