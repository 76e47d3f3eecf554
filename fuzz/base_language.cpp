// Fuzz target of the language file parser: any bytes parse without fault,
// and every entry has a key free of white space and "=" and a one-line text.

#include <cstdlib>
#include <string_view>
#include "platform/language.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const auto& [key, text] : parse_language_file(bytes, size)) {
        if (key.empty() || key.find_first_of(u"= \t\r\n") != String::npos)
            std::abort();
        if (text.find_first_of(u"\r\n") != String::npos)
            std::abort();
    }
    return 0;
}
