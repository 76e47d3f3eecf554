#include "library/huffman_table.h"

#include <cstring>

// Most AC coefficients are small values with short codes: code and value
// bits together fit in the look-up prefix, and one table read decodes both.
// The end of block and the run of 16 zeros are read the same way, as a zero
// value after a run of 63 (past the block's end) or 15.
void HuffmanTable::build_fast_ac()
{
    for (unsigned prefix = 0; prefix < (1u << lookup_bits); ++prefix) {
        const std::uint16_t entry = m_lookup[prefix];
        const int length = entry >> 8;
        const int run = (entry >> 4) & 15;
        const int size = entry & 15;
        m_fast_ac[prefix] = 0;
        if (length == 0 || length + size > lookup_bits)
            continue;
        if (size == 0) {
            if (run == 0)
                m_fast_ac[prefix] = fast_ac_entry(0, fast_ac_end_of_block_run, length);
            else if (run == 15)
                m_fast_ac[prefix] = fast_ac_entry(0, 15, length);
            continue;
        }
        const int bits = static_cast<int>(prefix >> (lookup_bits - length - size)) & ((1 << size) - 1);
        const int value = bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
        m_fast_ac[prefix] = fast_ac_entry(value, run, length + size);
    }
}

bool HuffmanTable::build(const std::uint8_t counts[16], const std::uint8_t* symbols, int symbol_count, bool dc)
{
    m_present = false;
    std::memset(m_lookup, 0, sizeof m_lookup);
    std::memset(m_fast_ac, 0, sizeof m_fast_ac);
    std::memset(m_symbols, 0, sizeof m_symbols);
    if (symbol_count > 256)
        return false;
    for (int i = 0; i < symbol_count; ++i) {
        if (dc && symbols[i] > 15)
            return false;
        m_symbols[i] = symbols[i];
    }
    // Canonical codes: each length continues from the previous length's last
    // code, shifted left; a code that does not fit its length is a bad table.
    int code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        const int count = counts[length - 1];
        m_value_offset[length] = index - code;
        for (int i = 0; i < count; ++i, ++code, ++index) {
            if (code >= (1 << length))
                return false;
            if (length <= lookup_bits) {
                const int shift = lookup_bits - length;
                for (int fill = 0; fill < (1 << shift); ++fill)
                    m_lookup[(code << shift) | fill] = static_cast<std::uint16_t>((length << 8) | symbols[index]);
            }
        }
        m_max_code[length] = count > 0 ? code - 1 : -1;
        code <<= 1;
    }
    m_max_code[17] = 0x7FFFFFFF;
    if (!dc)
        build_fast_ac();
    m_present = true;
    return true;
}
