#pragma once
// HuffmanTable: one DHT table in the form the entropy decoder reads it: a
// look-up of the first 11 bits for short codes and the canonical limits for longer ones.

#include <cstdint>

class HuffmanTable {
public:
    static constexpr int lookup_bits = 11;

    // Builds the table from the 16 code counts and the symbols; false when the
    // counts describe an impossible code or a DC table has a symbol above 15.
    bool build(const std::uint8_t counts[16], const std::uint8_t* symbols, int symbol_count, bool dc);
    bool present() const { return m_present; }

    // Look-up entry of a lookup_bits prefix: length << 8 | symbol, or 0 for longer codes.
    std::uint16_t lookup(unsigned prefix) const { return m_lookup[prefix]; }
    // AC look-up of a prefix that holds a whole short code and its value bits:
    // value << 10 | run << 4 | bits used, where a zero value stands for the end
    // of block (run fast_ac_end_of_block_run) or 16 zeros (run 15); 0 when the
    // prefix needs the general path.
    static constexpr int fast_ac_end_of_block_run = 63;
    static constexpr std::int32_t fast_ac_entry(int value, int run, int bits_used)
    {
        return value * 1024 + run * 16 + bits_used;
    }
    std::int32_t fast_ac(unsigned prefix) const { return m_fast_ac[prefix]; }
    // Symbol of the code of length bits (10..16), or -1 when no code of that length has this value.
    int long_symbol(int code, int length) const
    {
        if (code > m_max_code[length])
            return -1;
        return m_symbols[(m_value_offset[length] + code) & 0xFF];
    }

private:
    void build_fast_ac();

    bool m_present = false;
    std::uint16_t m_lookup[1 << lookup_bits] = {};
    std::int32_t m_fast_ac[1 << lookup_bits] = {};
    int m_max_code[18] = {};
    int m_value_offset[18] = {};
    std::uint8_t m_symbols[256] = {};
};
