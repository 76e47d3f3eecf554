#pragma once
// Language files: "key=text" lines in "<language>.lng" beside the program,
// one file per language; every user-visible text is looked up by its key.

#include <map>
#include <string_view>
#include <vector>
#include "platform/text.h"

// Key/value text as language files and the album list hold it, in key order.
using KeyValues = std::map<String, String, std::less<>>;

// Whether c is white space to key/value text: what the system's
// wide-character classification calls space (space, tab, CR, LF and the
// other Unicode spaces).
bool is_key_value_space(char16_t c);

// Reads key/value lines (lines end at CR or LF): leading white space is
// skipped; the key runs up to the first white space or "="; after "=" the
// value starts at once, after white space at the next character that is not
// white space (on the same line); the value runs to the end of the line,
// trailing blanks included. Entries with an empty key are left out; a later
// duplicate key replaces an earlier one.
KeyValues parse_key_values(StringView text);

// One entry that the language command puts into a menu.
struct MenuEntry {
    String command;
    // Shown text; empty: the menu shows translate(command).
    String caption;
    bool checked = false;
    // Skin node that gives the entry its look; empty: the menu's usual node.
    String node_name;
};

// The loaded texts of one language file.
class Translations {
public:
    using Map = KeyValues;

    // The text stored for key, or the key itself when the loaded file lacks it.
    String translate(StringView key) const;
    // Reads path (macros unexpanded) into a fresh map; false when it does not
    // open, and the loaded texts stay as they were.
    bool load_language_file(StringView path);
    // Tries the registry's "Language", the system language, english, then
    // every *.lng in folder; false when none loads.
    bool load_startup_language(StringView application_name, StringView folder = u"%app_path%");
    // The language menu: command "Language" appends an entry per *.lng file
    // (the loaded one checked) and a "Cancel" entry with cancel_node;
    // "Language#<name>" loads that file and remembers it in the registry.
    // True when the language was changed.
    bool handle_language_command(StringView application_name, StringView command, std::vector<MenuEntry>& entries,
                                 StringView cancel_node, StringView folder = u"%app_path%");
    // The loaded file's path as given to the loader; empty before any load.
    const String& path() const { return m_path; }
    const Map& texts() const { return m_texts; }

private:
    bool try_language(StringView folder, StringView name);

    Map m_texts;
    String m_path;
};

// Decodes a language file's bytes (file_size is the whole file's size; bytes
// may be a leading part of it) and parses its entries.
Translations::Map parse_language_file(std::string_view bytes, std::uint64_t file_size);

// The name a language file gives its language (key "LanguageName", such as
// "Deutsch"); the file's base name when it has none or cannot be read.
String language_display_name(StringView path);

// A row of the system-language table: upper-case English name and two-letter code.
struct SystemLanguage {
    String name;
    String code;
};
// The table row for a Windows primary language number; empty above 98 or without a language.
SystemLanguage language_table_entry(unsigned number);
// The row for the user's locale (LC_ALL, LC_MESSAGES, LANG); empty when none matches.
SystemLanguage system_language_name();
