#pragma once
// System text: UTF-16 everywhere; UTF-8 only at the operating-system boundary.

#include <string>
#include <string_view>

using String = std::u16string;
using StringView = std::u16string_view;

// UTF-8 (file names, argv, environment) to UTF-16; invalid bytes become U+FFFD.
String from_utf8(std::string_view utf8);
// UTF-16 to UTF-8 for the operating system; unpaired surrogates become U+FFFD.
std::string to_utf8(StringView text);
// ASCII literal to UTF-16, byte by byte as a signed value (log literals, key names).
String from_ascii(std::string_view ascii);

// Unicode simple case mapping of one UTF-16 unit (surrogates stay as they are).
char16_t to_lower(char16_t c);
char16_t to_upper(char16_t c);
// The same over a whole text, surrogate pairs mapped as the one character they are.
String lower_case_copy(StringView text);
String upper_case_copy(StringView text);

// Decimal text of a signed 32-bit number.
String to_string16(long long value);
