// Language file loading and the language menu.

#include "platform/language.h"

#include <algorithm>
#include <cstdlib>

#include "platform/directory_walker.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

// Language files hold a few kilobytes; reading at most this much keeps a huge
// or runaway file from exhausting memory while its leading part still loads.
constexpr std::uint32_t max_language_bytes = 1024 * 1024;

constexpr StringView language_prefix = u"Language#";
// The key of a language file that holds the language's own name.
constexpr StringView language_name_key = u"LanguageName";

struct TableRow {
    unsigned number;
    const char16_t* code;
    const char16_t* name;
    // The ISO 639-1 code a locale uses for rows that carry no code of their own.
    const char16_t* locale_code;
};

// The filled rows of the system-language table (Windows primary language numbers).
constexpr TableRow language_table[] = {
    {1, u"AR", u"ARABIC", u""},        {2, u"BG", u"BULGARIAN", u""},   {3, u"CA", u"CATALAN", u""},
    {4, u"ZH", u"CHINESE", u""},       {5, u"CS", u"CZECH", u""},       {6, u"DA", u"DANISH", u""},
    {7, u"DE", u"GERMAN", u""},        {8, u"EL", u"GREEK", u""},       {9, u"EN", u"ENGLISH", u""},
    {10, u"ES", u"SPANISH", u""},      {11, u"FI", u"FINNISH", u""},    {12, u"FR", u"FRENCH", u""},
    {13, u"HE", u"HEBREW", u""},       {14, u"HU", u"HUNGARIAN", u""},  {15, u"IS", u"ICELANDIC", u""},
    {16, u"IT", u"ITALIAN", u""},      {17, u"JA", u"JAPANESE", u""},   {18, u"KO", u"KOREAN", u""},
    {19, u"NL", u"DUTCH", u""},        {20, u"NO", u"NORWEGIAN", u""},  {21, u"PL", u"POLISH", u""},
    {22, u"PT", u"PORTUGUESE", u""},   {24, u"RO", u"ROMANIAN", u""},   {25, u"RU", u"RUSSIAN", u""},
    {26, u"HR", u"CROATIAN", u""},     {27, u"SK", u"SLOVAK", u""},     {28, u"SQ", u"ALBANIAN", u""},
    {29, u"SV", u"SWEDISH", u""},      {30, u"TH", u"THAI", u""},       {31, u"TR", u"TURKISH", u""},
    {32, u"UR", u"URDU", u""},         {33, u"ID", u"INDONESIAN", u""}, {34, u"UK", u"UKRAINIAN", u""},
    {35, u"BE", u"BYELORUSSIAN", u""}, {36, u"SL", u"SLOVENIAN", u""},  {37, u"ET", u"ESTONIAN", u""},
    {38, u"", u"LATVIAN", u"LV"},      {39, u"LT", u"LITHUANIAN", u""}, {41, u"FA", u"PERSIAN", u""},
    {42, u"VI", u"VIETNAMESE", u""},   {43, u"HY", u"ARMENIAN", u""},   {44, u"AZ", u"AZERBAIJANI", u""},
    {45, u"EU", u"BASQUE", u""},       {47, u"MK", u"MACEDONIAN", u""}, {54, u"AF", u"AFRIKAANS", u""},
    {55, u"KA", u"GEORGIAN", u""},     {56, u"FO", u"FAROESE", u""},    {57, u"HI", u"HINDI", u""},
    {62, u"MS", u"MALAY", u""},        {63, u"KK", u"KAZAKH", u""},     {65, u"SW", u"SWAHILI", u""},
    {67, u"UZ", u"UZBEK", u""},        {68, u"TT", u"TATAR", u""},      {69, u"", u"BENGALI", u"BN"},
    {70, u"PA", u"PUNJABI", u""},      {71, u"GU", u"GUJARATI", u""},   {72, u"OR", u"ORIYA", u""},
    {73, u"TA", u"TAMIL", u""},        {74, u"TE", u"TELUGU", u""},     {75, u"KN", u"KANNADA", u""},
    {76, u"ML", u"MALAYALAM", u""},    {77, u"AS", u"ASSAMESE", u""},   {78, u"MR", u"MARATHI", u""},
    {79, u"SA", u"SANSKRIT", u""},     {89, u"SD", u"SINDHI", u""},     {96, u"KS", u"KASHMIRI", u""},
    {97, u"NE", u"NEPALI", u""},
};

constexpr unsigned table_size = 99;

bool is_line_end(char16_t c)
{
    return c == u'\r' || c == u'\n';
}

String decode(std::string_view bytes, std::uint64_t file_size)
{
    String text;
    const bool utf16 = file_size >= 2 && file_size % 2 == 0 && bytes.size() >= 2 &&
                       static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE;
    if (utf16) {
        text.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8);
    } else {
        text = from_ascii(bytes);
    }
    return text;
}

String registry_key(StringView application_name)
{
    return u"HKEY_CURRENT_USER\\Software\\Kelm\\" + String(application_name);
}

// The *.lng file names directly in folder, in file-system order.
std::vector<String> language_file_names(StringView folder)
{
    class Names : public DirectoryCollector {
    public:
        bool on_file(const String& path) override
        {
            names.push_back(file_name_of(path));
            return true;
        }
        bool on_directory(const String&) override { return true; }
        std::vector<String> names;
    } collector;
    walk_directory(folder, u"*.lng", u"", false, collector);
    return collector.names;
}

// The path of the file for language name in folder: name + ".lng" when it is
// there, else a file whose base name differs only in letter case (the
// original file system ignores case, so "ENGLISH" finds english.lng). Only
// files directly in folder are found, whatever the name holds.
String find_language_file(StringView folder, StringView name)
{
    const std::vector<String> names = language_file_names(folder);
    const String wanted = String(name) + u".lng";
    if (std::find(names.begin(), names.end(), wanted) != names.end())
        return join_path(folder, wanted);
    const String lowered = lower_case_copy(name);
    for (const String& file : names)
        if (lower_case_copy(base_name(file)) == lowered)
            return join_path(folder, file);
    return {};
}

String environment(const char* name)
{
    const char* value = std::getenv(name);
    return from_utf8(value ? value : "");
}

// The upper-cased language part of a locale name ("de_AT.UTF-8" gives "DE").
String locale_language(StringView locale)
{
    const std::size_t end = locale.find_first_of(u"_.@");
    return upper_case_copy(locale.substr(0, end));
}

}  // namespace

bool is_key_value_space(char16_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

KeyValues parse_key_values(StringView text)
{
    KeyValues pairs;
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        while (i < n && is_key_value_space(text[i]))
            ++i;
        const std::size_t key_start = i;
        while (i < n && !is_key_value_space(text[i]) && text[i] != u'=')
            ++i;
        const std::size_t key_end = i;
        if (i < n && text[i] == u'=') {
            ++i;
        } else {
            while (i < n && is_key_value_space(text[i]) && !is_line_end(text[i]))
                ++i;
        }
        const std::size_t value_start = i;
        while (i < n && !is_line_end(text[i]))
            ++i;
        if (key_end > key_start)
            pairs.insert_or_assign(String(text.substr(key_start, key_end - key_start)),
                                   String(text.substr(value_start, i - value_start)));
    }
    return pairs;
}

Translations::Map parse_language_file(std::string_view bytes, std::uint64_t file_size)
{
    return parse_key_values(decode(bytes, file_size));
}

String Translations::translate(StringView key) const
{
    const auto found = m_texts.find(key);
    return found != m_texts.end() ? found->second : String(key);
}

bool Translations::load_language_file(StringView path)
{
    File file(path, File::read_mode);
    if (!file.is_open())
        return false;
    const std::uint64_t size = file.size();
    std::string bytes(static_cast<std::size_t>(std::min<std::uint64_t>(size, max_language_bytes)), '\0');
    bytes.resize(file.read(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    m_texts = parse_language_file(bytes, size);
    m_path = String(path);
    return true;
}

bool Translations::try_language(StringView folder, StringView name)
{
    const String path = find_language_file(folder, name);
    return !path.empty() && load_language_file(path);
}

bool Translations::load_startup_language(StringView application_name, StringView folder)
{
    String chosen;
    read_registry_string(registry_key(application_name), u"Language", chosen);
    if (try_language(folder, chosen))
        return true;
    if (try_language(folder, system_language_name().name))
        return true;
    if (try_language(folder, u"english"))
        return true;
    for (const String& file : language_file_names(folder))
        if (load_language_file(join_path(folder, file)))
            return true;
    return false;
}

String language_display_name(StringView path)
{
    Translations file;
    if (file.load_language_file(path)) {
        const auto found = file.texts().find(String(language_name_key));
        if (found != file.texts().end() && !found->second.empty())
            return found->second;
    }
    return base_name(path);
}

bool Translations::handle_language_command(StringView application_name, StringView command,
                                           std::vector<MenuEntry>& entries, StringView cancel_node, StringView folder)
{
    if (command == u"Language") {
        std::vector<String> paths;
        for (const String& file : language_file_names(folder))
            paths.push_back(join_path(folder, file));
        std::sort(paths.begin(), paths.end());
        const String current = upper_case_copy(base_name(m_path));
        for (const String& path : paths) {
            const String name = base_name(path);
            entries.push_back({String(language_prefix) + name, language_display_name(path),
                               upper_case_copy(name) == current, String()});
        }
        entries.push_back({u"Cancel", String(), false, String(cancel_node)});
    }
    if (!command.starts_with(language_prefix))
        return false;
    const String name(command.substr(language_prefix.size()));
    const String path = find_language_file(folder, name);
    if (path.empty() || path == m_path || !load_language_file(path))
        return false;
    write_registry_string(registry_key(application_name), u"Language", base_name(path));
    return true;
}

SystemLanguage language_table_entry(unsigned number)
{
    if (number >= table_size)
        return {};
    for (const TableRow& row : language_table)
        if (row.number == number)
            return {row.name, row.code};
    return {};
}

SystemLanguage system_language_name()
{
    String locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = environment(variable);
        if (!locale.empty())
            break;
    }
    const String language = locale_language(locale);
    if (language.size() != 2)
        return {};
    for (const TableRow& row : language_table)
        if (language == row.code || language == row.locale_code)
            return {row.name, row.code};
    return {};
}
