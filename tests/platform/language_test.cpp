#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "platform/language.h"
#include "platform/registry.h"
#include "sandbox.h"

namespace {

Translations::Map parse(const std::string& bytes)
{
    return parse_language_file(bytes, bytes.size());
}

// Sets or clears one locale variable for the life of the object.
class LocaleVariable {
public:
    LocaleVariable(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~LocaleVariable() { m_old.empty() ? unsetenv(m_name) : setenv(m_name, m_old.c_str(), 1); }

private:
    const char* m_name;
    std::string m_old;
};

// A program folder of its own with the given language files.
class LanguageFolder : public testing::Test {
protected:
    void SetUp() override
    {
        m_folder = make_folder("languages-" + std::to_string(++s_count));
        m_registry = m_folder + "/registry";
        setenv("PICTAVIO_REGISTRY", m_registry.c_str(), 1);
    }
    void TearDown() override { setenv("PICTAVIO_REGISTRY", (sandbox() + "/registry").c_str(), 1); }

    void add(const std::string& file, StringView content) { write_bytes(m_folder + "/" + file, utf16le(content)); }
    String folder() const { return from_utf8(m_folder); }
    String stored_language()
    {
        String name = u"(none)";
        read_registry_string(u"HKEY_CURRENT_USER\\Software\\Kelm\\Pictavio", u"Language", name);
        return name;
    }

    std::string m_folder;
    std::string m_registry;
    LocaleVariable m_all{"LC_ALL", nullptr};
    LocaleVariable m_messages{"LC_MESSAGES", nullptr};
    LocaleVariable m_lang{"LANG", "C"};
    static inline int s_count = 0;
};

}  // namespace

TEST(LanguageFileFormat, EntryForms)
{
    const auto texts = parse(utf16le(u"Back=Zurück\r\n  Exit   Quit now  \rCancel = Abbrechen\n\n   \n=abc\nOk\tfine\n"
                                     u"Back=Zurück!\nLast"));
    EXPECT_EQ(texts.at(u"Back"), u"Zurück!");
    EXPECT_EQ(texts.at(u"Exit"), u"Quit now  ");
    EXPECT_EQ(texts.at(u"Cancel"), u"= Abbrechen");
    EXPECT_EQ(texts.at(u"Ok"), u"fine");
    EXPECT_EQ(texts.at(u"Last"), u"");
    EXPECT_EQ(texts.size(), 5u);
}

TEST(LanguageFileFormat, EveryWideSpaceSeparatesButOnlyCrAndLfEndALine)
{
    const KeyValues texts = parse_key_values(u"\u2003Exit\u2003\u00A0Quit now\u2028Next=1\n"
                                             u"\u3000Ok\u0085fine\u202F\r"
                                             u"A\u200BB\u1680zero width is no space\n");
    EXPECT_EQ(texts.at(u"Exit"), u"Quit now\u2028Next=1");
    EXPECT_EQ(texts.at(u"Ok"), u"fine\u202F");
    EXPECT_EQ(texts.at(u"A\u200BB"), u"zero width is no space");
    EXPECT_EQ(texts.size(), 3u);
    // A language file is read the same way.
    EXPECT_EQ(parse(utf16le(u"\u2003Exit\u2003\u00A0Quit now\u2028Next=1\n")).at(u"Exit"), u"Quit now\u2028Next=1");
}

TEST(LanguageFileFormat, KeyAloneOnItsLineGetsAnEmptyText)
{
    const auto texts = parse("Empty   \nNext=1");
    EXPECT_EQ(texts.at(u"Empty"), u"");
    EXPECT_EQ(texts.at(u"Next"), u"1");
}

TEST(LanguageFileFormat, EightBitFilesWidenEveryByte)
{
    const auto texts = parse("Back=Zur\xC3\xBC"
                             "ck");
    EXPECT_EQ(texts.at(u"Back"), String(u"Zur") + char16_t(0xFFC3) + char16_t(0xFFBC) + u"ck");
    // FF FE in front of an odd-length file does not make it UTF-16.
    const auto odd = parse("\xFF\xFEk=v");
    EXPECT_EQ(odd.size(), 1u);
    EXPECT_EQ(odd.begin()->second, u"v");
}

TEST(LanguageFileFormat, BadInputParsesWhatItCan)
{
    EXPECT_TRUE(parse("").empty());
    EXPECT_EQ(parse("\xFF").size(), 1u);  // one key U+FFFF with an empty text
    EXPECT_TRUE(parse("\xFF\xFE").empty());
    std::string garbage;
    for (int i = 0; i < 100000; ++i)
        garbage += static_cast<char>((i * 7919 + i / 13) & 0xFF);
    const auto texts = parse(garbage);
    for (const auto& [key, text] : texts) {
        EXPECT_FALSE(key.empty());
        EXPECT_EQ(key.find_first_of(u"=\r\n"), String::npos);
        EXPECT_EQ(text.find_first_of(u"\r\n"), String::npos);
    }
    // Only the part that was read is decoded; the size decides the encoding.
    const auto part = parse_language_file(utf16le(u"a=b\nc=d"), 1000);
    EXPECT_EQ(part.at(u"c"), u"d");
}

TEST_F(LanguageFolder, TranslateFallsBackToTheKey)
{
    Translations translations;
    EXPECT_EQ(translations.translate(u"NoSkins"), u"NoSkins");
    add("german.lng", u"Back=Zurück\n");
    ASSERT_TRUE(translations.load_language_file(folder() + u"/german.lng"));
    EXPECT_EQ(translations.translate(u"Back"), u"Zurück");
    EXPECT_EQ(translations.translate(u"back"), u"back");
    EXPECT_EQ(translations.path(), folder() + u"/german.lng");
}

TEST_F(LanguageFolder, MissingFileLeavesTheTextsUnchanged)
{
    add("german.lng", u"Back=Zurück\n");
    Translations translations;
    ASSERT_TRUE(translations.load_language_file(folder() + u"/german.lng"));
    EXPECT_FALSE(translations.load_language_file(folder() + u"/french.lng"));
    EXPECT_EQ(translations.translate(u"Back"), u"Zurück");
    EXPECT_EQ(translations.path(), folder() + u"/german.lng");
}

TEST_F(LanguageFolder, HugeFileLoadsItsLeadingPartQuickly)
{
    const std::string path = m_folder + "/huge.lng";
    write_bytes(path, utf16le(u"Back=Zurück\n"));
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_EQ(ftruncate(fd, 100 * 1024 * 1024), 0);
    close(fd);
    Translations translations;
    ASSERT_TRUE(translations.load_language_file(from_utf8(path)));
    EXPECT_EQ(translations.translate(u"Back"), u"Zurück");
}

TEST_F(LanguageFolder, StartupPrefersTheRegistryChoice)
{
    add("english.lng", u"Back=Back");
    add("german.lng", u"Back=Zurück");
    write_registry_string(u"HKEY_CURRENT_USER\\Software\\Kelm\\Pictavio", u"Language", u"german");
    Translations translations;
    ASSERT_TRUE(translations.load_startup_language(u"Pictavio", folder()));
    EXPECT_EQ(translations.path(), folder() + u"/german.lng");
}

TEST_F(LanguageFolder, StartupFallsBackToTheSystemLanguageAndKeepsTheRegistry)
{
    add("english.lng", u"Back=Back");
    add("RUSSIAN.lng", u"Back=Назад");
    write_registry_string(u"HKEY_CURRENT_USER\\Software\\Kelm\\Pictavio", u"Language", u"german");
    LocaleVariable lang("LANG", "ru_RU.UTF-8");
    Translations translations;
    ASSERT_TRUE(translations.load_startup_language(u"Pictavio", folder()));
    EXPECT_EQ(translations.translate(u"Back"), u"Назад");
    EXPECT_EQ(stored_language(), u"german");
}

TEST_F(LanguageFolder, SystemLanguageIgnoresTheFileNameCase)
{
    add("english.lng", u"Back=Back");
    add("german.lng", u"Back=Zurück");
    LocaleVariable lang("LANG", "de_DE.UTF-8");
    Translations translations;
    ASSERT_TRUE(translations.load_startup_language(u"Pictavio", folder()));
    EXPECT_EQ(translations.path(), folder() + u"/german.lng");
}

TEST_F(LanguageFolder, UnknownLocaleGoesOnWithEnglishThenAnyFile)
{
    add("english.lng", u"Back=Back");
    add("german.lng", u"Back=Zurück");
    LocaleVariable lang("LANG", "tlh_KX");
    Translations translations;
    ASSERT_TRUE(translations.load_startup_language(u"Pictavio", folder()));
    EXPECT_EQ(translations.path(), folder() + u"/english.lng");

    unlink((m_folder + "/english.lng").c_str());
    Translations any;
    ASSERT_TRUE(any.load_startup_language(u"Pictavio", folder()));
    EXPECT_EQ(any.path(), folder() + u"/german.lng");
    EXPECT_EQ(stored_language(), u"(none)");
}

TEST_F(LanguageFolder, StartupWithoutFilesFails)
{
    write_bytes(m_folder + "/readme.txt", "Back=x");
    Translations translations;
    EXPECT_FALSE(translations.load_startup_language(u"Pictavio", folder()));
    EXPECT_EQ(translations.path(), u"");
}

TEST_F(LanguageFolder, RegistryNameCannotReachOutsideTheFolder)
{
    const std::string outside = make_folder("outside-" + std::to_string(s_count));
    write_bytes(outside + "/evil.lng", utf16le(u"Back=evil"));
    add("english.lng", u"Back=Back");
    write_registry_string(u"HKEY_CURRENT_USER\\Software\\Kelm\\Pictavio", u"Language",
                          u"../outside-" + to_string16(s_count) + u"/evil");
    Translations translations;
    ASSERT_TRUE(translations.load_startup_language(u"Pictavio", folder()));
    EXPECT_EQ(translations.translate(u"Back"), u"Back");
}

TEST_F(LanguageFolder, LanguageMenuListsSortedFilesAndCancel)
{
    add("russian.lng", u"Back=Назад");
    add("english.lng", u"Back=Back");
    add("German.lng", u"Back=Zurück");
    Translations translations;
    ASSERT_TRUE(translations.load_language_file(folder() + u"/english.lng"));
    std::vector<MenuEntry> entries;
    EXPECT_FALSE(translations.handle_language_command(u"Pictavio", u"Language", entries, u"menuCancel", folder()));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].command, u"Language#German");
    EXPECT_EQ(entries[0].caption, u"German");
    EXPECT_FALSE(entries[0].checked);
    EXPECT_EQ(entries[1].command, u"Language#english");
    EXPECT_TRUE(entries[1].checked);
    EXPECT_EQ(entries[2].command, u"Language#russian");
    EXPECT_EQ(entries[3].command, u"Cancel");
    EXPECT_EQ(entries[3].caption, u"");
    EXPECT_EQ(entries[3].node_name, u"menuCancel");
}

TEST_F(LanguageFolder, LanguageMenuShowsEachFilesOwnNameAndKeepsTheFileNameAsCommand)
{
    add("german.lng", u"Back=Zurück\nLanguageName=Deutsch\n");
    add("russian.lng", u"LanguageName=Русский\r\nBack=Назад");
    add("english.lng", u"Back=Back\nLanguageName=\n");
    Translations translations;
    ASSERT_TRUE(translations.load_language_file(folder() + u"/german.lng"));
    std::vector<MenuEntry> entries;
    EXPECT_FALSE(translations.handle_language_command(u"Pictavio", u"Language", entries, u"", folder()));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].caption, u"english") << "an empty name falls back to the file name";
    EXPECT_EQ(entries[1].caption, u"Deutsch");
    EXPECT_EQ(entries[1].command, u"Language#german");
    EXPECT_TRUE(entries[1].checked);
    EXPECT_EQ(entries[2].caption, u"Русский");
    EXPECT_EQ(translations.translate(u"Back"), u"Zurück") << "reading the names leaves the loaded texts alone";
    EXPECT_EQ(language_display_name(folder() + u"/missing.lng"), u"missing");
    EXPECT_TRUE(translations.handle_language_command(u"Pictavio", entries[2].command, entries, u"", folder()));
    EXPECT_EQ(stored_language(), u"russian");
}

TEST_F(LanguageFolder, ChoosingALanguageLoadsAndRemembersIt)
{
    add("english.lng", u"Back=Back");
    add("german.lng", u"Back=Zurück");
    Translations translations;
    ASSERT_TRUE(translations.load_language_file(folder() + u"/english.lng"));
    std::vector<MenuEntry> entries;
    EXPECT_FALSE(translations.handle_language_command(u"Pictavio", u"Language#english", entries, u"", folder()));
    EXPECT_EQ(stored_language(), u"(none)");
    EXPECT_FALSE(translations.handle_language_command(u"Pictavio", u"Language#french", entries, u"", folder()));
    EXPECT_FALSE(translations.handle_language_command(u"Pictavio", u"Cancel", entries, u"", folder()));
    EXPECT_TRUE(entries.empty());
    EXPECT_TRUE(translations.handle_language_command(u"Pictavio", u"Language#german", entries, u"", folder()));
    EXPECT_EQ(translations.translate(u"Back"), u"Zurück");
    EXPECT_EQ(stored_language(), u"german");
}

TEST(SystemLanguage, TableRows)
{
    EXPECT_EQ(language_table_entry(7).name, u"GERMAN");
    EXPECT_EQ(language_table_entry(7).code, u"DE");
    EXPECT_EQ(language_table_entry(38).name, u"LATVIAN");
    EXPECT_EQ(language_table_entry(38).code, u"");
    EXPECT_EQ(language_table_entry(97).code, u"NE");
    EXPECT_EQ(language_table_entry(23).name, u"");
    EXPECT_EQ(language_table_entry(98).name, u"");
    EXPECT_EQ(language_table_entry(120).name, u"");
    EXPECT_EQ(language_table_entry(0).name, u"");
}

TEST(SystemLanguage, LocaleVariablesInTheirOrder)
{
    LocaleVariable all("LC_ALL", nullptr);
    LocaleVariable messages("LC_MESSAGES", "fr_CA.UTF-8");
    LocaleVariable lang("LANG", "de_DE.UTF-8");
    EXPECT_EQ(system_language_name().name, u"FRENCH");
    {
        LocaleVariable override_all("LC_ALL", "ru_RU");
        EXPECT_EQ(system_language_name().name, u"RUSSIAN");
        EXPECT_EQ(system_language_name().code, u"RU");
    }
    {
        LocaleVariable latvian("LC_ALL", "lv_LV.UTF-8");
        EXPECT_EQ(system_language_name().name, u"LATVIAN");
    }
    for (const char* none : {"C", "POSIX", "C.UTF-8", "fil_PH", "x"}) {
        LocaleVariable other("LC_ALL", none);
        EXPECT_EQ(system_language_name().name, u"") << none;
    }
}
