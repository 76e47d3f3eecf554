#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/registry.h"
#include "sandbox.h"

namespace {

constexpr StringView kelm = u"HKEY_CURRENT_USER\\Software\\Kelm";
constexpr StringView pictavio = u"HKEY_CURRENT_USER\\Software\\Kelm\\Pictavio";

class Registry : public testing::Test {
protected:
    void SetUp() override
    {
        m_file = make_folder("registry-" + std::to_string(++s_count)) + "/config/registry";
        setenv("PICTAVIO_REGISTRY", m_file.c_str(), 1);
    }
    void TearDown() override { setenv("PICTAVIO_REGISTRY", (sandbox() + "/registry").c_str(), 1); }

    std::string m_file;
    static inline int s_count = 0;
};

}  // namespace

TEST_F(Registry, ValuesRoundTripWithTheirTypes)
{
    EXPECT_TRUE(write_registry_dword(kelm, u"Log", 0xDEADBEEF));
    EXPECT_TRUE(write_registry_string(pictavio, u"Language", u"русский \"q\" \\ \n\t end"));
    std::uint32_t number = 0;
    String text;
    EXPECT_TRUE(read_registry_dword(kelm, u"Log", number));
    EXPECT_EQ(number, 0xDEADBEEF);
    EXPECT_TRUE(read_registry_string(pictavio, u"Language", text));
    EXPECT_EQ(text, u"русский \"q\" \\ \n\t end");

    // A value of the other type is not read and the out value stays.
    number = 7;
    text = u"kept";
    EXPECT_FALSE(read_registry_dword(pictavio, u"Language", number));
    EXPECT_FALSE(read_registry_string(kelm, u"Log", text));
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(text, u"kept");

    // Names compare without letter case; an overwrite changes the type.
    EXPECT_TRUE(write_registry_string(u"HKEY_CURRENT_USER\\SOFTWARE\\kelm", u"LOG", u"on"));
    EXPECT_FALSE(read_registry_dword(kelm, u"Log", number));
    EXPECT_TRUE(read_registry_string(kelm, u"log", text));
    EXPECT_EQ(text, u"on");
}

TEST_F(Registry, EmptyTextAndTextCutAtZero)
{
    String text = u"x";
    EXPECT_TRUE(write_registry_string(kelm, u"Empty", u""));
    EXPECT_TRUE(read_registry_string(kelm, u"Empty", text));
    EXPECT_EQ(text, u"");
    EXPECT_TRUE(write_registry_string(kelm, u"Cut", StringView(u"ab\0cd", 5)));
    EXPECT_TRUE(read_registry_string(kelm, u"Cut", text));
    EXPECT_EQ(text, u"ab");
}

TEST_F(Registry, UnknownRootFailsAtOnce)
{
    std::uint32_t number = 0;
    EXPECT_FALSE(write_registry_dword(u"HKEY_CURRENT_CONFIG\\Software", u"x", 1));
    EXPECT_FALSE(read_registry_dword(u"HKCU\\Software", u"x", number));
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(Registry, ReadingAMissingKeyCreatesIt)
{
    std::uint32_t number = 5;
    EXPECT_FALSE(read_registry_dword(kelm, u"Log", number));
    EXPECT_EQ(number, 5u);
    EXPECT_NE(read_bytes(m_file).find("[HKEY_CURRENT_USER\\Software\\Kelm]\n"), std::string::npos);
}

TEST_F(Registry, ChangesByAnotherWriterAreSeen)
{
    write_registry_dword(kelm, u"Log", 1);
    std::uint32_t number = 0;
    ASSERT_TRUE(read_registry_dword(kelm, u"Log", number));
    // Same size, same second: only the identity of the replaced file differs.
    std::string content = read_bytes(m_file);
    content.replace(content.find("dword:00000001"), 14, "dword:00000002");
    write_bytes(m_file + ".new", content);
    std::filesystem::rename(m_file + ".new", m_file);
    ASSERT_TRUE(read_registry_dword(kelm, u"Log", number));
    EXPECT_EQ(number, 2u);
}

TEST_F(Registry, DamagedFileReadsEmptyAndIsRewrittenWhole)
{
    const std::string damaged[] = {
        "",
        std::string("\x00\xFF\x13garbage", 10),
        "Kelm registry 1\n\"Log\"=dword:00000001\n",                                // value outside a key
        "Kelm registry 1\n[HKEY_CURRENT_USER\\Software\\Kelm]\n\"Log\"=dword:1\n",  // short number
        "Kelm registry 1\n[HKEY_CURRENT_USER\\Software\\Kelm]\n\"Log\"=\"open\n",   // unterminated text
        "Kelm registry 1\n[HKEY_CURRENT_USER\\Software\\Kelm]\n\"Log\"=dword:00000001x\n",
    };
    for (std::size_t i = 0; i < std::size(damaged); ++i) {
        write_bytes(m_file, damaged[i]);
        std::uint32_t number = 9;
        EXPECT_FALSE(read_registry_dword(kelm, u"Log", number)) << i;
        EXPECT_EQ(number, 9u);
    }
    // A complete last line without a final line feed is still whole.
    write_bytes(m_file, "Kelm registry 1\n[HKEY_CURRENT_USER\\Software\\Kelm]\n\"Log\"=dword:00000001");
    std::uint32_t number = 0;
    EXPECT_TRUE(read_registry_dword(kelm, u"Log", number));

    write_bytes(m_file, std::string(2 * 1024 * 1024, 'x'));
    EXPECT_FALSE(read_registry_dword(kelm, u"Log", number));
    EXPECT_TRUE(write_registry_string(pictavio, u"Language", u"german"));
    EXPECT_EQ(read_bytes(m_file),
              "Kelm registry 1\n[HKEY_CURRENT_USER\\Software\\Kelm\\Pictavio]\n\"Language\"=\"german\"\n");
}

TEST_F(Registry, OversizedValueIsRefusedAndNothingIsLost)
{
    write_registry_dword(kelm, u"Log", 1);
    EXPECT_FALSE(write_registry_string(kelm, u"Huge", String(2 * 1024 * 1024, u'a')));
    std::uint32_t number = 0;
    EXPECT_TRUE(read_registry_dword(kelm, u"Log", number));
}

// Kills writer processes at random moments; every version of the file a
// reader finds must be complete (it parses and holds the first value).
TEST_F(Registry, KilledWriterNeverLeavesAHalfWrittenFile)
{
    ASSERT_TRUE(write_registry_string(pictavio, u"Language", u"english"));
    for (int round = 0; round < 20; ++round) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            for (std::uint32_t n = 0;; ++n)
                write_registry_dword(kelm, u"Counter" + to_string16(n % 50), n);
        }
        usleep(2000 + round * 1500);
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        String text;
        ASSERT_TRUE(read_registry_string(pictavio, u"Language", text)) << "round " << round;
        EXPECT_EQ(text, u"english");
    }
    // The next write still works after a writer died holding the lock or a temporary file.
    EXPECT_TRUE(write_registry_dword(kelm, u"Log", 3));
}

namespace {

String value_name(int process, int number)
{
    String name = u"P";
    name += to_string16(process);
    name += u'_';
    name += to_string16(number);
    return name;
}

}  // namespace

// Two processes add values at the same time; the lock keeps every one.
TEST_F(Registry, ConcurrentProcessesLoseNoWrite)
{
    const int per_process = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            bool all = true;
            for (int n = 0; n < per_process; ++n)
                all &= write_registry_dword(kelm, value_name(c, n), n);
            _exit(all ? 0 : 1);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int c = 0; c < 2; ++c) {
        for (int n = 0; n < per_process; ++n) {
            std::uint32_t number = 999;
            EXPECT_TRUE(read_registry_dword(kelm, value_name(c, n), number));
            EXPECT_EQ(number, std::uint32_t(n));
        }
    }
}
