// UTF-8 <-> UTF-16 conversion and Unicode case mapping.

#include "platform/text.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

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

bool is_high_surrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The C library's character table of a UTF-8 locale, whatever the process's
// own locale is: Unicode's simple case mappings for every script. C.UTF-8 is
// part of the C library; without it only ASCII letters change case.
locale_t unicode_case_locale()
{
    static const locale_t locale = [] {
        locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
        return made ? made : newlocale(LC_CTYPE_MASK, "POSIX", locale_t(0));
    }();
    return locale;
}

char32_t mapped_case(char32_t code, bool upper)
{
    const locale_t locale = unicode_case_locale();
    const wint_t mapped =
        upper ? towupper_l(static_cast<wint_t>(code), locale) : towlower_l(static_cast<wint_t>(code), locale);
    return static_cast<char32_t>(mapped);
}

// A character's case mapping stays in its plane: a mapping that would turn
// a UTF-16 unit into a pair (or back) is not applied.
char16_t mapped_unit(char16_t c, bool upper)
{
    if (c >= 0xD800 && c <= 0xDFFF)
        return c;
    const char32_t mapped = mapped_case(c, upper);
    return mapped < 0x10000 && !(mapped >= 0xD800 && mapped <= 0xDFFF) ? static_cast<char16_t>(mapped) : c;
}

String mapped_copy(StringView text, bool upper)
{
    String out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (is_high_surrogate(out[i]) && i + 1 < out.size() && is_low_surrogate(out[i + 1])) {
            const char32_t code = 0x10000 + ((char32_t(out[i]) - 0xD800) << 10) + (out[i + 1] - 0xDC00);
            const char32_t mapped = mapped_case(code, upper);
            if (mapped >= 0x10000 && mapped <= 0x10FFFF) {
                out[i] = static_cast<char16_t>(0xD800 + ((mapped - 0x10000) >> 10));
                out[i + 1] = static_cast<char16_t>(0xDC00 + ((mapped - 0x10000) & 0x3FF));
            }
            ++i;
        } else {
            out[i] = mapped_unit(out[i], upper);
        }
    }
    return out;
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
    return mapped_unit(c, false);
}

char16_t to_upper(char16_t c)
{
    return mapped_unit(c, true);
}

String lower_case_copy(StringView text)
{
    return mapped_copy(text, false);
}

String upper_case_copy(StringView text)
{
    return mapped_copy(text, true);
}

String to_string16(long long value)
{
    return from_ascii(std::to_string(value));
}
