#pragma once
// HuffmanDecoder: the entropy stage of the baseline decoder. It turns the
// compressed bytes into quantised coefficients MCU by MCU, and its whole
// state at an MCU start is a ResumeRecord plus the position in the source.

#include <cstdint>
#include "library/baseline_source.h"
#include "library/huffman_table.h"
#include "library/resume_record.h"

// How the scan's MCU is made: which component and tables each block uses.
struct EntropyLayout {
    static constexpr int max_blocks = 10;
    int block_count = 0;
    int block_component[max_blocks] = {};  // component (0..2) of each block of the MCU
    const HuffmanTable* dc_table[3] = {};
    const HuffmanTable* ac_table[3] = {};
    int restart_interval = 0;
    std::uint64_t scan_start = 0;  // first byte of the entropy-coded data
};

class HuffmanDecoder {
public:
    using Block = std::int16_t[64];

    // Prepares for a scan decoded from the source.
    void setup(BaselineSource& source, const EntropyLayout& layout);
    // Positions at the start of the scan with fresh predictors.
    bool start();
    // The state at the start of the next MCU as a record (bit buffer reduced to < 8 bits).
    ResumeRecord save() const;
    // Continues from a record as if the scan had been decoded up to it; false for a record
    // that cannot belong to this scan.
    bool restore(const ResumeRecord& record);
    // Decodes the next MCU into blocks (natural order, cleared first), or only moves past it
    // when blocks is null; false when the data has run out before the MCU (a truncated or
    // damaged scan).
    bool decode_mcu(Block* blocks);
    // Whether the MCUs decoded so far used bits beyond the end of the data (a truncated scan).
    bool used_padding() const;

private:
    void process_restart();
    bool data_exhausted() const;
    void fill();
    void push_byte(unsigned value);
    void push_logged_byte(unsigned value, std::uint64_t position_before, bool padding);
    void log_plain_run(std::uint64_t end);
    std::uint64_t byte_position(int back) const;
    bool byte_is_padding(int back) const;
    struct Bits;
    template <bool store>
    void decode_block(const HuffmanTable& dc, const HuffmanTable& ac, std::int16_t& predictor, std::int16_t* block);

    BaselineSource* m_source = nullptr;
    EntropyLayout m_layout;
    std::uint64_t m_buffer = 0;  // bits, the next one at bit 63; the bits below the m_bits valid ones are 0
    int m_bits = 0;
    bool m_at_marker = false;           // the reader stopped at a marker or at the data end
    std::uint32_t m_padding_bytes = 0;  // zero bytes supplied since then
    std::int16_t m_predictor[3] = {};
    std::uint32_t m_restarts_to_go = 0;
    int m_next_restart = 0;
    // What save() needs to hand bytes back to the source. The newest
    // m_plain_run bytes put into the buffer are plain data bytes read one
    // after another up to the source position, so their positions follow from
    // it. For the last 8 bytes before that run, the ring holds the source
    // position before each byte and whether it was padding; it is written only
    // when a stuffed or padding byte ends a run (a few times per kilobyte).
    std::uint64_t m_byte_position[8] = {};
    std::uint8_t m_byte_padding = 0;
    std::uint32_t m_byte_count = 0;  // bytes put into the buffer since the scan or record started
    std::uint32_t m_plain_run = 0;
};
