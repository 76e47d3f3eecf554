// The program's start-up order, run as a real process from a program folder
// of the test's own making.

#include <gtest/gtest.h>

#include <filesystem>

#include "child_process.h"
#include "platform/language.h"
#include "sandbox.h"

namespace {

const std::string program = std::string(PICTAVIO_PROGRAM_DIR) + "/pictavio";
const std::string probe = std::string(PICTAVIO_TOOLS_DIR) + "/instance-probe";
const char* const shipped_languages[] = {"english", "russian", "german"};

std::string decode_log(const std::string& bytes)
{
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += bytes[i + 1] == 0 ? bytes[i] : '?';
    return text;
}

class ProgramStart : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(program)) << "build the pictavio program first";
        const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        m_folder = make_folder("program-" + name);
        std::filesystem::copy_file(program, m_folder + "/pictavio");
        m_runtime = make_folder("runtime-" + name);
        setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
        setenv("LANG", "C", 1);
        // No window may open during the test: messages then go to standard error.
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        set_log_switch(1);
    }
    void TearDown() override
    {
        set_log_switch(0);
        unsetenv("SDL_VIDEODRIVER");
        setenv("XDG_RUNTIME_DIR", sandbox().c_str(), 1);
    }

    // Runs the copied program; its exit code.
    int run(std::vector<std::string> arguments = {})
    {
        ChildProcess copy(m_folder + "/pictavio", std::move(arguments), sandbox() + "/stderr");
        return copy.finish();
    }
    std::string error_output() { return read_bytes(sandbox() + "/stderr"); }
    std::string log_text() { return decode_log(read_bytes(sandbox() + "/pictavio.txt")); }

    std::string m_folder;
    std::string m_runtime;
};

}  // namespace

TEST_F(ProgramStart, WithoutLanguageFilesItShowsTheBuiltInMessageAndEnds)
{
    EXPECT_EQ(run(), 0);
    EXPECT_NE(error_output().find("No languages, please reinstall\n"
                                  "Не найдены языковые файлы, нужна переустановка\n"),
              std::string::npos);
    const std::string log = log_text();
    EXPECT_NE(log.find("WinMain 0\n"), std::string::npos);
    EXPECT_NE(log.find("WindMain 1\n"), std::string::npos);
    EXPECT_EQ(log.find("WinMain 2"), std::string::npos);
}

TEST_F(ProgramStart, WithoutASkinItShowsTheLanguageText)
{
    std::filesystem::copy_file(std::string(PICTAVIO_SOURCE_DIR) + "/data/german.lng", m_folder + "/german.lng");
    EXPECT_EQ(run(), 0);
    EXPECT_NE(error_output().find("Pictavio: Die Oberfläche fehlt"), std::string::npos);
    EXPECT_EQ(log_text().find("WinMain 2"), std::string::npos);
}

TEST_F(ProgramStart, SecondCopyHandsOverAndCreatesNothing)
{
    ChildProcess first(probe, {"serve"});
    ASSERT_EQ(first.line(), "locked");
    ASSERT_EQ(first.line(), "ready");
    EXPECT_EQ(run({"--dpi", "96", "album one"}), 0);
    EXPECT_EQ(first.line(), "received [\"album one\"]");
    const std::string log = log_text();
    EXPECT_NE(log.find("WinMain 0\nApplication::show_running_instance_open_bracket cmd_line=\"album one\"\n"),
              std::string::npos);
    EXPECT_NE(log.find("Application::EnumProc window found 2\n"), std::string::npos);
    EXPECT_EQ(log.find("WindMain 1"), std::string::npos);
}

TEST_F(ProgramStart, BadOptionIsReportedWithoutStarting)
{
    EXPECT_EQ(run({"--size", "huge"}), 2);
    EXPECT_NE(error_output().find("--size"), std::string::npos);
}

TEST(ShippedLanguages, EveryFileIsUtf16AndHasTheSameKeys)
{
    const char16_t* const required[] = {u"NoSkins", u"Back",  u"Exit",     u"Cancel",    u"ReallyExit", u"Minimize",
                                        u"Help",    u"About", u"Language", u"Help_link", u"of"};
    Translations::Map first;
    for (const char* name : shipped_languages) {
        const std::string path = std::string(PICTAVIO_SOURCE_DIR) + "/data/" + name + ".lng";
        const std::string bytes = read_bytes(path);
        ASSERT_GE(bytes.size(), 2u) << name;
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << name;
        EXPECT_EQ(bytes.size() % 2, 0u) << name;
        Translations translations;
        ASSERT_TRUE(translations.load_language_file(from_utf8(path)));
        for (const char16_t* key : required) {
            EXPECT_TRUE(translations.texts().contains(key)) << name << " lacks " << to_utf8(key);
            EXPECT_FALSE(translations.translate(key).empty()) << name;
        }
        if (first.empty())
            first = translations.texts();
        for (const auto& [key, text] : translations.texts())
            EXPECT_TRUE(first.contains(key)) << name << " has the extra key " << to_utf8(key);
        EXPECT_EQ(translations.texts().size(), first.size()) << name;
    }
}
