// The whole program, run as a process from a program folder of the test's
// own making: start-up failures, the scripted mode with its screenshots, bad
// scripts, no display at all, and a second copy started during start-up.

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include "platform/registry.h"
#include "platform/text.h"
#include "tools/skinc/skin_compiler.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string program = std::string(PICTAVIO_PROGRAM_DIR) + "/pictavio";
const std::string start_skin = std::string(PICTAVIO_SOURCE_DIR) + "/tests/app/skins/start.txt";
const std::string no_skins_text = "The skin is missing or damaged, please reinstall";

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The log's UTF-16 text with every character outside ASCII as '?'.
std::string decode_log(const std::string& bytes)
{
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += bytes[i + 1] == 0 ? bytes[i] : '?';
    return text;
}

// A running copy of the program with its own environment.
class Process {
public:
    Process(const std::string& path, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment, const std::string& error_path,
            const std::string& output_path = "/dev/null")
    {
        std::vector<std::string> argv_text{"timeout", "60", path};
        argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& each : argv_text)
            argv.push_back(each.data());
        argv.push_back(nullptr);
        std::vector<std::string> env_text(environment);
        for (char** each = environ; *each; ++each) {
            const std::string entry = *each;
            const std::string name = entry.substr(0, entry.find('='));
            bool replaced = false;
            for (const std::string& given : environment)
                replaced = replaced || given.substr(0, given.find('=')) == name;
            if (!replaced && name != "SDL_VIDEODRIVER")
                env_text.push_back(entry);
        }
        std::vector<char*> envp;
        for (std::string& each : env_text)
            envp.push_back(each.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 1, output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        m_started = posix_spawnp(&m_pid, "timeout", &actions, nullptr, argv.data(), envp.data()) == 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process() { finish(); }
    // Waits for the end; the exit code (-1 when killed or not started).
    int finish()
    {
        if (!m_started)
            return -1;
        if (m_pid != 0) {
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = 0;
            m_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return m_code;
    }

private:
    pid_t m_pid = 0;
    bool m_started = false;
    int m_code = -1;
};

class Program : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(program)) << "build the pictavio program first";
        const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        m_root = testing::TempDir() + "pictavio_program_" + name;
        fs::remove_all(m_root);
        m_folder = m_root + "/program";
        for (const char* sub : {"/program/skins/bin", "/run", "/tmp", "/home", "/cards", "/docs"})
            fs::create_directories(m_root + sub);
        fs::copy_file(program, m_folder + "/pictavio");
        setenv("PICTAVIO_REGISTRY", (m_root + "/registry").c_str(), 1);
        ASSERT_TRUE(write_registry_dword(u"HKEY_CURRENT_USER\\Software\\Kelm", u"Log", 1));
    }
    void TearDown() override { fs::remove_all(m_root); }

    void add_language()
    {
        fs::copy_file(std::string(PICTAVIO_SOURCE_DIR) + "/data/english.lng", m_folder + "/english.lng");
    }
    // Compiles a description into the program folder's default skin.
    void add_skin(const std::string& description_text)
    {
        std::vector<std::uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(compile_skin(description_text, "test.txt", bytes, error)) << error;
        write_file(m_folder + "/skins/bin/default.skin", std::string(bytes.begin(), bytes.end()));
    }
    void add_start_skin() { add_skin(read_file(start_skin)); }
    // The program folder's own skins and languages, as the build made them.
    void add_shipped_files()
    {
        for (const auto& entry : fs::directory_iterator(PICTAVIO_PROGRAM_DIR))
            if (entry.path().extension() == ".lng")
                fs::copy_file(entry.path(), m_folder + "/" + entry.path().filename().string());
        fs::copy(std::string(PICTAVIO_PROGRAM_DIR) + "/skins", m_folder + "/skins",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    std::vector<std::string> environment(const std::string& temp) const
    {
        return {"XDG_RUNTIME_DIR=" + m_root + "/run",
                "PICTAVIO_REGISTRY=" + m_root + "/registry",
                "TMPDIR=" + temp,
                "HOME=" + m_root + "/home",
                "PICTAVIO_CARDS=" + m_root + "/cards",
                "PICTAVIO_MY_DOCUMENTS=" + m_root + "/docs",
                "LANG=C",
                "PICTAVIO_FBDEV=" + m_root + "/no-fb"};
    }
    int run(const std::vector<std::string>& arguments, std::vector<std::string> extra_environment = {})
    {
        std::vector<std::string> env = environment(m_root + "/tmp");
        env.insert(env.end(), extra_environment.begin(), extra_environment.end());
        return Process(m_folder + "/pictavio", arguments, env, m_root + "/stderr", m_root + "/stdout").finish();
    }
    std::string standard_output() const { return read_file(m_root + "/stdout"); }
    // Runs the program offscreen with a script of these lines.
    int run_script(const std::string& lines)
    {
        write_file(m_root + "/script.txt", lines);
        return run({"--display", "offscreen", "--script", m_root + "/script.txt"});
    }
    std::string error_output() const { return read_file(m_root + "/stderr"); }
    std::string log_text() const { return decode_log(read_file(m_root + "/tmp/pictavio.txt")); }
    // Whether the log holds the texts in this order.
    bool log_in_order(const std::vector<std::string>& texts) const
    {
        const std::string log = log_text();
        std::size_t at = 0;
        for (const std::string& text : texts) {
            at = log.find(text, at);
            if (at == std::string::npos) {
                ADD_FAILURE() << "missing in order: " << text;
                return false;
            }
        }
        return true;
    }

    std::string m_root;
    std::string m_folder;
};

}  // namespace

TEST_F(Program, MissingSkinShowsTheLanguageTextAndTearsDown)
{
    add_language();
    EXPECT_EQ(run({}), 0);
    EXPECT_NE(error_output().find("Pictavio: " + no_skins_text), std::string::npos) << error_output();
    EXPECT_EQ(log_text().find("WinMain 2"), std::string::npos);
    EXPECT_TRUE(log_in_order({"WindMain 1\n", "Application::Application() this=", "Application::~Application()\n"}));
}

TEST_F(Program, DamagedSkinShowsTheSameMessage)
{
    add_language();
    add_start_skin();
    std::string bytes = read_file(m_folder + "/skins/bin/default.skin");
    bytes.resize(bytes.size() / 2);
    write_file(m_folder + "/skins/bin/default.skin", bytes);
    EXPECT_EQ(run({}), 0);
    EXPECT_NE(error_output().find(no_skins_text), std::string::npos) << error_output();
    EXPECT_EQ(log_text().find("WinMain 2"), std::string::npos);
}

TEST_F(Program, NoLanguageFileShowsTheBuiltInMessage)
{
    add_start_skin();
    EXPECT_EQ(run({"--display", "offscreen"}), 0);
    EXPECT_NE(error_output().find("No languages, please reinstall\n"), std::string::npos) << error_output();
    EXPECT_TRUE(log_in_order({"WinMain 0\n", "WindMain 1\n", "Application::~Application()\n"}));
    EXPECT_EQ(log_text().find("WinMain 2"), std::string::npos);
}

TEST_F(Program, SkinWithoutSplashEndsWithTheMissingSkinMessageInOrder)
{
    add_language();
    add_skin("node Other {\n    string type = \"node\"\n}\n");
    EXPECT_EQ(run({"--display", "offscreen"}), 0);
    EXPECT_NE(error_output().find(no_skins_text), std::string::npos) << error_output();
    EXPECT_TRUE(log_in_order(
        {"WinMain 2\n", "WinMain 5\n", "WinMain 6\n", "NodeNotFoundInSkin", "Application::~Application()\n"}));
    EXPECT_EQ(log_text().find("WinMain 7"), std::string::npos);
}

TEST_F(Program, ScriptRunProducesScreenshotsAndQuitsInOrder)
{
    add_shipped_files();
    const std::string bmp = m_root + "/albums.bmp";
    const std::string png = m_root + "/menu.png";
    EXPECT_EQ(run_script("# the album screen, then its menu\n"
                         "wait 1500\n"
                         "screenshot " +
                         bmp +
                         "\n"
                         "tap 40 40\n"
                         "wait 600\n"
                         "screenshot " +
                         png +
                         "\n"
                         "key Backspace\n"
                         "drag 240 300 240 500 200\n"
                         "quit\n"),
              0)
        << error_output();
    const std::string picture = read_file(bmp);
    ASSERT_GT(picture.size(), 54u);
    EXPECT_EQ(picture.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(picture[28]), 16) << "16 bits per pixel";
    std::set<std::string> pixels;
    for (std::size_t at = picture.size() / 2; at + 1 < picture.size() && pixels.size() < 4; at += 97)
        pixels.insert(picture.substr(at, 2));
    EXPECT_GE(pixels.size(), 2u) << "the frame shows something";
    EXPECT_EQ(read_file(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_TRUE(
        log_in_order({"WinMain 0\n", "WindMain 1\n", "WinMain 2\n", "WinMain 3\n", "WinMain 4\n", "WinMain 5\n",
                      "WinMain 6\n", "WinMain 7\n", "WinMain 9\n", "WinMain 10\n", "WinMain 11\n", "WinMain 12\n",
                      "WinMain 13\n", "WinMain 14\n", "WinMain 8\n", "Application::~Application()\n"}));
}

TEST_F(Program, BadScriptIsRefusedBeforeAnythingStarts)
{
    add_language();
    add_start_skin();
    EXPECT_EQ(run_script("wait 10\njump 1 2\n"), 2);
    EXPECT_NE(error_output().find("script.txt:2: unknown command 'jump'"), std::string::npos) << error_output();
    EXPECT_EQ(run_script("tap 1\n"), 2);
    EXPECT_NE(error_output().find("script.txt:1: expected tap X Y"), std::string::npos) << error_output();
    EXPECT_EQ(run_script("key NoSuchKey\n"), 2);
    EXPECT_NE(error_output().find("unknown key name 'NoSuchKey'"), std::string::npos) << error_output();
    EXPECT_EQ(run({"--display", "offscreen", "--script", m_root + "/missing.txt"}), 2);
    EXPECT_NE(error_output().find("cannot read the script"), std::string::npos) << error_output();
    EXPECT_EQ(log_text().find("WinMain 0"), std::string::npos);
}

TEST_F(Program, ScreenshotThatCannotBeWrittenEndsWithAFailure)
{
    add_shipped_files();
    EXPECT_EQ(run_script("wait 100\nscreenshot " + m_root + "/no/such/folder/shot.bmp\nwait 5000\nquit\n"), 1);
    EXPECT_NE(error_output().find("script.txt:2: screenshot: cannot write"), std::string::npos) << error_output();
    EXPECT_TRUE(log_in_order({"WinMain 8\n", "Application::~Application()\n"}));
}

TEST_F(Program, HelpAndVersionPrintAndEndBeforeTheInstanceCheck)
{
    add_language();
    add_start_skin();
    EXPECT_EQ(run({"--help", "--display", "offscreen"}), 0);
    const std::string usage = standard_output();
    for (const char* part :
         {"Usage: pictavio", "--size WxH", "--dpi N", "--orientation", "--fullscreen", "--display sdl|fb|offscreen",
          "--script FILE", "--scan-only", "--version", "PICTAVIO_MY_DOCUMENTS", "PICTAVIO_CARDS", "PICTAVIO_REGISTRY",
          "PICTAVIO_FBDEV", "TMPDIR", "XDG_RUNTIME_DIR", "LANG"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    EXPECT_TRUE(error_output().empty()) << error_output();
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_EQ(standard_output(), "pictavio 1.01\n");
    EXPECT_EQ(log_text().find("WinMain 0"), std::string::npos) << "the single instance is not touched";
}

TEST_F(Program, UnknownOptionPrintsTheUsageToStandardErrorWithStatus2)
{
    add_language();
    add_start_skin();
    EXPECT_EQ(run({"--display", "offscreen", "--zoom"}), 2);
    EXPECT_NE(error_output().find("unknown option \"--zoom\""), std::string::npos) << error_output();
    EXPECT_NE(error_output().find("Usage: pictavio"), std::string::npos) << error_output();
    EXPECT_TRUE(standard_output().empty());
    EXPECT_EQ(log_text().find("WinMain 0"), std::string::npos);
}

TEST_F(Program, NoDisplayAtAllIsReportedInsteadOfHanging)
{
    add_language();
    add_start_skin();
    EXPECT_EQ(run({}, {"SDL_VIDEODRIVER=no_such_video_driver"}), 3);
    EXPECT_NE(error_output().find("no display available"), std::string::npos) << error_output();
    EXPECT_TRUE(log_in_order({"WinMain 5\n", "Application::~Application()\n"}));
    EXPECT_EQ(log_text().find("WinMain 6"), std::string::npos);
}

TEST_F(Program, SecondCopyStartedDuringStartUpHandsOverAndEnds)
{
    add_shipped_files();
    write_file(m_root + "/script.txt", "wait 2500\nquit\n");
    fs::create_directories(m_root + "/tmp2");
    Process first(m_folder + "/pictavio", {"--display", "offscreen", "--script", m_root + "/script.txt"},
                  environment(m_root + "/tmp"), m_root + "/stderr");
    // The first copy is past its check (and holds the instance lock) before the second starts.
    for (int i = 0; i < 2000 && log_text().find("WindMain 1") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_NE(log_text().find("WindMain 1"), std::string::npos);
    Process second(m_folder + "/pictavio", {"--display", "offscreen", "some album"}, environment(m_root + "/tmp2"),
                   m_root + "/stderr2");
    EXPECT_EQ(second.finish(), 0);
    const std::string second_log = decode_log(read_file(m_root + "/tmp2/pictavio.txt"));
    EXPECT_NE(second_log.find("cmd_line=\"some album\""), std::string::npos) << second_log;
    EXPECT_NE(second_log.find("Application::EnumProc window found"), std::string::npos) << second_log;
    EXPECT_EQ(second_log.find("WindMain 1"), std::string::npos) << "the second copy created nothing";
    EXPECT_EQ(first.finish(), 0);
    EXPECT_TRUE(log_in_order({"WinMain 7\n", "WinMain 8\n", "Application::~Application()\n"}));
}
