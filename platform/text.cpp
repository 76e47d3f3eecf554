// UTF-8 <-> UTF-16 conversion and the character case table.

#include "platform/text.h"

namespace {

constexpr char16_t replacement_character = 0xFFFD;

// Number of continuation bytes after a UTF-8 lead byte; -1 for a byte that
// cannot start a sequence.
int continuation_count(unsigned char lead)
{
    if (lead < 0x80)
        return 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 1;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 2;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 3;
    return -1;
}

// Decodes one sequence at text[i]; advances i past it. Returns the code point
// or U+FFFD for an invalid, overlong or truncated sequence (one byte consumed).
char32_t decode_utf8(std::string_view text, std::size_t& i)
{
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int count = continuation_count(lead);
    if (count == 0) {
        ++i;
        return lead;
    }
    if (count < 0 || text.size() - i <= static_cast<std::size_t>(count)) {
        ++i;
        return replacement_character;
    }
    char32_t code = lead & (0x3F >> count);
    for (int k = 1; k <= count; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return replacement_character;
        }
        code = (code << 6) | (next & 0x3F);
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (code < minimum[count] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++i;
        return replacement_character;
    }
    i += count + 1;
    return code;
}

void append_utf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Latin Extended-A pairs upper/lower as even/odd code points, except in the
// two runs where the upper-case letter sits on the odd code point.
bool latin_extended_odd_upper(char16_t c)
{
    return (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
}

bool latin_extended_paired(char16_t c)
{
    return c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149
        && c != 0x178 && c != 0x17F;
}

}  // namespace

String from_utf8(std::string_view utf8)
{
    String out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t code = decode_utf8(utf8, i);
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::string to_utf8(StringView text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            append_utf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
            append_utf8(out, replacement_character);
        } else {
            append_utf8(out, c);
        }
    }
    return out;
}

String from_ascii(std::string_view ascii)
{
    String out;
    out.reserve(ascii.size());
    for (const char c : ascii)
        out += static_cast<char16_t>(static_cast<signed char>(c));
    return out;
}

char16_t to_lower(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    if (latin_extended_paired(c)) {
        const bool upper = latin_extended_odd_upper(c) ? (c & 1) : !(c & 1);
        return upper ? c + 1 : c;
    }
    if (c == 0x178)
        return 0xFF;
    if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2))
        return c + 0x20;
    if (c >= 0x410 && c <= 0x42F)
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    return c;
}

char16_t to_upper(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return c - 0x20;
    if (latin_extended_paired(c)) {
        const bool lower = latin_extended_odd_upper(c) ? !(c & 1) : (c & 1);
        return lower ? c - 1 : c;
    }
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        return c - 0x20;
    if (c == 0x3C2)  // final sigma
        return 0x3A3;
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

String lower_case_copy(StringView text)
{
    String out(text);
    for (char16_t& c : out)
        c = to_lower(c);
    return out;
}

String upper_case_copy(StringView text)
{
    String out(text);
    for (char16_t& c : out)
        c = to_upper(c);
    return out;
}

String to_string16(long long value)
{
    return from_ascii(std::to_string(value));
}
