#include "library/huffman_decoder.h"

#include <algorithm>
#include <array>
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
    m_plain_run = 0;
    return m_source->seek(m_layout.scan_start);
}

// Source position before the byte put into the buffer back bytes before the
// newest one's end (0: the source position itself).
std::uint64_t HuffmanDecoder::byte_position(int back) const
{
    if (static_cast<std::uint32_t>(back) <= m_plain_run)
        return m_source->position() - static_cast<std::uint64_t>(back);
    return m_byte_position[(m_byte_count - static_cast<std::uint32_t>(back)) & 7];
}

bool HuffmanDecoder::byte_is_padding(int back) const
{
    if (static_cast<std::uint32_t>(back) <= m_plain_run)
        return false;
    return (m_byte_padding >> ((m_byte_count - static_cast<std::uint32_t>(back)) & 7)) & 1;
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
    record.remaining = static_cast<std::uint32_t>(m_source->length() - byte_position(handed_back));
    record.restarts_to_go = m_restarts_to_go;
    if (record.bits_left > 0)
        record.state_a = byte_is_padding(handed_back + 1) ? 1 : 0;
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
    m_plain_run = 0;

    // The bits left are the low bits of the last data bytes before the
    // position; a stuffed 0xFF 0x00 stands for one data byte 0xFF.
    const int needed = (record.bits_left + 7) / 8;
    if ((record.state_a & record_padding) != 0 || needed == 0) {
        for (int i = 0; i < needed; ++i)
            push_logged_byte(0, position, true);
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
            push_logged_byte(found_value[i], found_position[i], false);
    }
    // Only the low bits_left bits of those bytes are still to be read.
    m_buffer <<= 8 * needed - record.bits_left;
    m_bits = record.bits_left;
    return m_source->seek(position);
}

// A plain data byte read right before the source position.
void HuffmanDecoder::push_byte(unsigned value)
{
    m_buffer |= static_cast<std::uint64_t>(value) << (56 - m_bits);
    m_bits += 8;
    ++m_byte_count;
    ++m_plain_run;
}

// The run of plain bytes that ended at source position end goes into the ring.
void HuffmanDecoder::log_plain_run(std::uint64_t end)
{
    const std::uint32_t logged = std::min<std::uint32_t>(m_plain_run, 8);
    for (std::uint32_t back = 1; back <= logged; ++back) {
        const unsigned slot = (m_byte_count - back) & 7;
        m_byte_position[slot] = end - back;
        m_byte_padding = static_cast<std::uint8_t>(m_byte_padding & ~(1u << slot));
    }
    m_plain_run = 0;
}

// A byte whose position does not follow from the source position: a stuffed
// 0xFF, padding, or one a record hands back.
void HuffmanDecoder::push_logged_byte(unsigned value, std::uint64_t position_before, bool padding)
{
    log_plain_run(position_before);
    const unsigned slot = m_byte_count & 7;
    m_byte_position[slot] = position_before;
    m_byte_padding = static_cast<std::uint8_t>((m_byte_padding & ~(1u << slot)) | (padding ? 1u << slot : 0u));
    m_buffer |= static_cast<std::uint64_t>(value) << (56 - m_bits);
    m_bits += 8;
    ++m_byte_count;
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

// Natural position of the coefficient at zigzag index k. A run past the end
// of the block lands on the last coefficient, as in libjpeg: the indices
// after 63 that a damaged run of up to 15 reaches all map to it, and so do
// those an end of block from the look-up reaches (it writes a zero there,
// where no coefficient has been decoded yet).
constexpr auto natural_index = [] {
    std::array<std::uint8_t, 64 + HuffmanTable::fast_ac_end_of_block_run> table{};
    for (std::size_t k = 0; k < table.size(); ++k)
        table[k] = zigzag_to_natural[std::min<std::size_t>(k, 63)];
    return table;
}();

}  // namespace

// Takes bytes until at least 57 bits are buffered, the loaded piece's bytes
// up to the first 0xFF first. A 0xFF followed by 0x00 is a data byte 0xFF;
// any other 0xFF starts a marker, where the reader stops without taking it
// and supplies zero bytes from then on.
void HuffmanDecoder::fill()
{
    BaselineSource& source = *m_source;
    if (!m_at_marker) {
        std::uint32_t available = 0;
        const std::uint8_t* bytes = source.loaded(available);
        const auto wanted = static_cast<std::uint32_t>((64 - m_bits) / 8);
        std::uint32_t taken = 0;
        for (; taken < wanted && taken < available && bytes[taken] != 0xFF; ++taken) {
            source.advance(1);
            push_byte(bytes[taken]);
        }
    }
    while (m_bits <= 56) {
        if (m_at_marker) {
            push_logged_byte(0, source.position(), true);
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
            push_byte(static_cast<unsigned>(value));
            continue;
        }
        do
            value = source.next();
        while (value == 0xFF);
        if (value == 0x00) {
            push_logged_byte(0xFF, before, false);
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
// and hands it back to the members only around a slow refill. The usual
// refill, 4 to 8 bytes of the loaded piece that hold no 0xFF, is done here.
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
        if (refill_clear_bytes())
            return;
        decoder.m_buffer = buffer;
        decoder.m_bits = count;
        decoder.fill();
        buffer = decoder.m_buffer;
        count = decoder.m_bits;
    }
    bool refill_clear_bytes()
    {
        if (decoder.m_at_marker)
            return false;
        BaselineSource& source = *decoder.m_source;
        std::uint32_t available = 0;
        const std::uint8_t* bytes = source.loaded(available);
        if (available < 8)
            return false;
        const std::uint64_t word = load_big_endian(bytes);
        if (has_ff_byte(word))
            return false;
        const int taken = (64 - count) / 8;
        const int taken_bits = taken * 8;
        buffer |= (word & (~std::uint64_t{0} << (64 - taken_bits))) >> count;
        count += taken_bits;
        source.advance(static_cast<std::uint32_t>(taken));
        decoder.m_byte_count += static_cast<std::uint32_t>(taken);
        decoder.m_plain_run += static_cast<std::uint32_t>(taken);
        return true;
    }
    // The next 1..32 bits, the first in the value's top bit.
    unsigned peek(int wanted) const { return static_cast<unsigned>(buffer >> (64 - wanted)); }
    void consume(int used)
    {
        buffer <<= used;
        count -= used;
    }
    unsigned get(int wanted)
    {
        ensure(wanted);
        const unsigned value = peek(wanted);
        consume(wanted);
        return value;
    }
    // A code that matches nothing in 16 bits is taken as symbol 0, as libjpeg does.
    int symbol(const HuffmanTable& table)
    {
        ensure(16);
        const std::uint16_t entry = table.lookup(peek(HuffmanTable::lookup_bits));
        if (entry != 0) {
            consume(entry >> 8);
            return entry & 0xFF;
        }
        for (int length = HuffmanTable::lookup_bits + 1; length <= 16; ++length) {
            const int found = table.long_symbol(static_cast<int>(peek(length)), length);
            if (found >= 0) {
                consume(length);
                return found;
            }
        }
        consume(16);
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
            k += (fast >> 4) & 63;
            bits.consume(fast & 15);
            if constexpr (store)
                block[natural_index[k]] = static_cast<std::int16_t>(fast >> 10);
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
        k += run;
        const unsigned value_bits = bits.get(size);
        if constexpr (store)
            block[natural_index[k]] = static_cast<std::int16_t>(extend(value_bits, size));
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
    m_plain_run = 0;
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
