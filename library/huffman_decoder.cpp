#include "library/huffman_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include "library/baseline_tables.h"

void HuffmanDecoder::setup(BaselineSource& source, const EntropyLayout& layout)
{
    m_source = &source;
    m_layout = layout;
}

bool HuffmanDecoder::start()
{
    m_buffer = 0;
    m_bits = 0;
    m_at_marker = false;
    m_padding_bytes = 0;
    std::fill(std::begin(m_predictor), std::end(m_predictor), 0);
    m_restarts_to_go = static_cast<std::uint32_t>(m_layout.restart_interval);
    m_next_restart = 0;
    m_byte_count = 0;
    return m_source->seek(m_layout.scan_start);
}

// The record describes the reader as if it had taken only the bytes whose
// bits it still has to use: whole unused bytes go back to the source, so at
// most 7 bits of the last byte taken remain. Continuing from there reads the
// same bit sequence the live reader will use.
ResumeRecord HuffmanDecoder::save() const
{
    ResumeRecord record;
    record.dc0 = m_predictor[0];
    record.dc1 = m_predictor[1];
    record.dc2 = m_predictor[2];
    const int handed_back = m_bits / 8;
    record.bits_left = static_cast<std::uint8_t>(m_bits % 8);
    const std::uint64_t position =
        handed_back > 0 ? m_byte_position[(m_byte_count - handed_back) & 7] : m_source->position();
    record.remaining = static_cast<std::uint32_t>(m_source->length() - position);
    record.restarts_to_go = m_restarts_to_go;
    if (record.bits_left > 0)
        record.state_a = (m_byte_padding >> ((m_byte_count - handed_back - 1) & 7)) & 1;
    record.state_b = static_cast<std::uint8_t>(m_next_restart);
    return record;
}

bool HuffmanDecoder::restore(const ResumeRecord& record)
{
    const std::uint64_t length = m_source->length();
    if (record.remaining > length)
        return false;
    const std::uint64_t position = length - record.remaining;
    const auto interval = static_cast<std::uint32_t>(m_layout.restart_interval);
    if (position < m_layout.scan_start || record.bits_left > 32 ||
        (record.state_a & ~(record_padding | record_one_mcu_early)) != 0 || record.state_b > 7 ||
        record.restarts_to_go > interval)
        return false;
    m_predictor[0] = record.dc0;
    m_predictor[1] = record.dc1;
    m_predictor[2] = record.dc2;
    m_restarts_to_go = record.restarts_to_go;
    m_next_restart = record.state_b;
    m_buffer = 0;
    m_bits = 0;
    m_at_marker = false;
    m_padding_bytes = 0;
    m_byte_count = 0;
    m_byte_padding = 0;

    // The bits left are the low bits of the last data bytes before the
    // position; a stuffed 0xFF 0x00 stands for one data byte 0xFF.
    const int needed = (record.bits_left + 7) / 8;
    if ((record.state_a & record_padding) != 0 || needed == 0) {
        for (int i = 0; i < needed; ++i)
            push_byte(0, position, true);
    } else {
        const std::uint64_t window_start =
            std::max<std::uint64_t>(m_layout.scan_start, position >= 8 ? position - 8 : 0);
        std::uint8_t window[8];
        const auto window_length = static_cast<std::uint32_t>(position - window_start);
        if (!m_source->seek(window_start) || !m_source->read(window, window_length))
            return false;
        std::uint64_t found_position[4];
        unsigned found_value[4];
        int found = 0;
        for (int i = static_cast<int>(window_length) - 1; i >= 0 && found < needed; --i, ++found) {
            const bool stuffed = window[i] == 0x00 && i > 0 && window[i - 1] == 0xFF;
            if (stuffed)
                --i;
            found_value[found] = window[i];
            found_position[found] = window_start + static_cast<std::uint64_t>(i);
        }
        if (found < needed)
            return false;
        for (int i = found - 1; i >= 0; --i)
            push_byte(found_value[i], found_position[i], false);
    }
    m_bits = record.bits_left;
    return m_source->seek(position);
}

void HuffmanDecoder::push_byte(unsigned value, std::uint64_t position_before, bool padding)
{
    const unsigned slot = m_byte_count & 7;
    m_byte_position[slot] = position_before;
    m_byte_padding = static_cast<std::uint8_t>((m_byte_padding & ~(1u << slot)) | (padding ? 1u << slot : 0u));
    ++m_byte_count;
    m_buffer = (m_buffer << 8) | value;
    m_bits += 8;
}

namespace {

// The next 8 bytes as a big-endian number: the first byte in the top bits.
std::uint64_t load_big_endian(const std::uint8_t* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::little)
        word = __builtin_bswap64(word);
    return word;
}

// Whether any of the 8 bytes is 0xFF (a zero byte of the complement).
bool has_ff_byte(std::uint64_t word)
{
    constexpr std::uint64_t ones = 0x0101010101010101;
    const std::uint64_t inverted = ~word;
    return ((inverted - ones) & ~inverted & (ones << 7)) != 0;
}

}  // namespace

// Takes the wanted (1..8) bytes of word's top that hold no 0xFF, from the
// source position on.
void HuffmanDecoder::push_clear_bytes(std::uint64_t word, int wanted, std::uint64_t position)
{
    const unsigned slot = m_byte_count & 7;
    for (int i = 0; i < wanted; ++i)
        m_byte_position[(slot + i) & 7] = position + static_cast<std::uint64_t>(i);
    const unsigned taken = (1u << wanted) - 1;
    const unsigned rotated = ((taken << slot) | (taken >> (8 - slot))) & 0xFF;
    m_byte_padding = static_cast<std::uint8_t>(m_byte_padding & ~rotated);
    m_byte_count += static_cast<std::uint32_t>(wanted);
    const int bits = wanted * 8;
    m_buffer = bits == 64 ? word : (m_buffer << bits) | (word >> (64 - bits));
    m_bits += bits;
}

// Takes bytes until at least 57 bits are buffered. A 0xFF followed by 0x00
// is a data byte 0xFF; any other 0xFF starts a marker, where the reader stops
// without taking it and supplies zero bytes from then on.
void HuffmanDecoder::fill()
{
    BaselineSource& source = *m_source;
    // Fast paths: whole bytes straight from the loaded piece up to the first
    // 0xFF, all wanted at once when the next 8 bytes hold none.
    if (!m_at_marker) {
        std::uint32_t available = 0;
        const std::uint8_t* bytes = source.loaded(available);
        const std::uint64_t start = source.position();
        const auto wanted = static_cast<std::uint32_t>((64 - m_bits) / 8);
        if (wanted > 0 && available >= 8) {
            const std::uint64_t word = load_big_endian(bytes);
            if (!has_ff_byte(word)) {
                push_clear_bytes(word, static_cast<int>(wanted), start);
                source.advance(wanted);
                return;
            }
        }
        std::uint32_t taken = 0;
        while (taken < wanted && taken < available && bytes[taken] != 0xFF) {
            push_byte(bytes[taken], start + taken, false);
            ++taken;
        }
        source.advance(taken);
    }
    while (m_bits <= 56) {
        if (m_at_marker) {
            push_byte(0, source.position(), true);
            ++m_padding_bytes;
            continue;
        }
        const std::uint64_t before = source.position();
        int value = source.next();
        if (value < 0) {
            m_at_marker = true;
            continue;
        }
        if (value != 0xFF) {
            push_byte(static_cast<unsigned>(value), before, false);
            continue;
        }
        do
            value = source.next();
        while (value == 0xFF);
        if (value == 0x00) {
            push_byte(0xFF, before, false);
            continue;
        }
        m_at_marker = true;
        source.seek(before);
    }
}

namespace {

int extend(unsigned value, int size)
{
    const int v = static_cast<int>(value);
    return v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
}

}  // namespace

// The hot loop works on a local copy of the bit buffer (kept in registers)
// and hands it back to the members only around a refill.
struct HuffmanDecoder::Bits {
    HuffmanDecoder& decoder;
    std::uint64_t buffer;
    int count;

    explicit Bits(HuffmanDecoder& owner) : decoder(owner), buffer(owner.m_buffer), count(owner.m_bits) {}
    ~Bits()
    {
        decoder.m_buffer = buffer;
        decoder.m_bits = count;
    }
    void ensure(int wanted)
    {
        if (count >= wanted)
            return;
        decoder.m_buffer = buffer;
        decoder.m_bits = count;
        decoder.fill();
        buffer = decoder.m_buffer;
        count = decoder.m_bits;
    }
    unsigned peek(int wanted) const { return static_cast<unsigned>(buffer >> (count - wanted)) & ((1u << wanted) - 1); }
    unsigned get(int wanted)
    {
        ensure(wanted);
        const unsigned value = peek(wanted);
        count -= wanted;
        return value;
    }
    // A code that matches nothing in 16 bits is taken as symbol 0, as libjpeg does.
    int symbol(const HuffmanTable& table)
    {
        ensure(16);
        const std::uint16_t entry = table.lookup(peek(HuffmanTable::lookup_bits));
        if (entry != 0) {
            count -= entry >> 8;
            return entry & 0xFF;
        }
        for (int length = HuffmanTable::lookup_bits + 1; length <= 16; ++length) {
            const int found = table.long_symbol(static_cast<int>(peek(length)), length);
            if (found >= 0) {
                count -= length;
                return found;
            }
        }
        count -= 16;
        return 0;
    }
};

template <bool store>
void HuffmanDecoder::decode_block(const HuffmanTable& dc, const HuffmanTable& ac, std::int16_t& predictor,
                                  std::int16_t* block)
{
    Bits bits(*this);
    const int dc_size = bits.symbol(dc);
    if (dc_size != 0)
        predictor = static_cast<std::int16_t>(predictor + extend(bits.get(dc_size), dc_size));
    if constexpr (store)
        block[0] = predictor;
    for (int k = 1; k < 64; ++k) {
        bits.ensure(32);
        const std::int32_t fast = ac.fast_ac(bits.peek(HuffmanTable::lookup_bits));
        if (fast != 0) {
            k += (fast >> 4) & 15;
            bits.count -= fast & 15;
            if constexpr (store)
                block[zigzag_to_natural[std::min(k, 63)]] = static_cast<std::int16_t>(fast >> 8);
            continue;
        }
        const int symbol = bits.symbol(ac);
        const int run = symbol >> 4;
        const int size = symbol & 15;
        if (size == 0) {
            if (run != 15)
                break;
            k += 15;
            continue;
        }
        // A run past the end of the block lands on the last coefficient, as in libjpeg.
        k += run;
        const unsigned value_bits = bits.get(size);
        if constexpr (store)
            block[zigzag_to_natural[std::min(k, 63)]] = static_cast<std::int16_t>(extend(value_bits, size));
    }
}

// Restart marker: the bit buffer's padding is dropped and the reader looks
// for the marker from its position on (a damaged scan may have data before
// it). Any restart marker is accepted; another marker is left in place, so
// the reader runs out of data there and the decode fails.
void HuffmanDecoder::process_restart()
{
    BaselineSource& source = *m_source;
    m_buffer = 0;
    m_bits = 0;
    m_at_marker = false;
    m_padding_bytes = 0;
    for (;;) {
        const std::uint64_t before = source.position();
        int value = source.next();
        if (value < 0)
            break;
        if (value != 0xFF)
            continue;
        do
            value = source.next();
        while (value == 0xFF);
        if (value < 0 || value == 0x00)
            continue;
        if (value >= 0xD0 && value <= 0xD7) {
            m_next_restart = (value - 0xD0 + 1) & 7;
        } else {
            source.seek(before);
        }
        break;
    }
    std::fill(std::begin(m_predictor), std::end(m_predictor), 0);
    m_restarts_to_go = static_cast<std::uint32_t>(m_layout.restart_interval);
}

bool HuffmanDecoder::data_exhausted() const
{
    return m_at_marker && m_bits <= 8 * static_cast<std::int64_t>(m_padding_bytes);
}

bool HuffmanDecoder::used_padding() const
{
    return m_at_marker && m_bits < 8 * static_cast<std::int64_t>(m_padding_bytes);
}

bool HuffmanDecoder::decode_mcu(Block* blocks)
{
    if (m_layout.restart_interval != 0) {
        if (m_restarts_to_go == 0)
            process_restart();
        --m_restarts_to_go;
    }
    if (data_exhausted())
        return false;
    for (int b = 0; b < m_layout.block_count; ++b) {
        const int component = m_layout.block_component[b];
        const HuffmanTable& dc = *m_layout.dc_table[component];
        const HuffmanTable& ac = *m_layout.ac_table[component];
        if (blocks == nullptr) {
            decode_block<false>(dc, ac, m_predictor[component], nullptr);
            continue;
        }
        std::memset(blocks[b], 0, sizeof(Block));
        decode_block<true>(dc, ac, m_predictor[component], blocks[b]);
    }
    return true;
}
