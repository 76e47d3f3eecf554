#pragma once
// Helpers of the application tests: a sandbox for the window system, the
// test skin compiled in-process, a running Application on SDL's dummy video
// driver, and screens that record what reaches them.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#include "elements/element.h"
#include "platform/command_line.h"
#include "platform/key_codes.h"
#include "shell/application.h"
#include "shell/application_listener.h"
#include "shell/game_base.h"
#include "skin/properties.h"
#include "tools/skinc/skin_compiler.h"

// A screen built from a node of the test skin that counts its updates and keeps its keys.
class RecordingScreen : public Element {
public:
    RecordingScreen(Properties& skin, StringView node) : Element(nullptr)
    {
        EXPECT_TRUE(load_from_node(skin, node)) << to_utf8(node);
    }
    void update(double seconds) override
    {
        ++updates;
        elapsed.push_back(seconds);
        Element::update(seconds);
    }
    bool on_key(const KeyEvent& event) override
    {
        keys.push_back(event);
        return true;
    }
    bool on_char(const CharEvent& event) override
    {
        chars.push_back(event.text);
        return true;
    }
    bool on_stylus(const StylusEvent& event) override
    {
        pens.push_back(event);
        return true;
    }
    int updates = 0;
    std::vector<double> elapsed;
    std::vector<KeyEvent> keys;
    std::vector<String> chars;
    std::vector<StylusEvent> pens;
};

// A listener that records what it hears and may take keys or refuse to close.
class RecordingListener : public ApplicationListener {
public:
    void on_command_line(const String& command_line) override { command_lines.push_back(command_line); }
    bool can_close() override { return may_close; }
    void on_screen_shown(Element* screen) override { shown.push_back(screen); }
    void on_screen_closed(Element* screen, bool) override { closed.push_back(screen); }
    void on_layout_changed() override { ++layout_changes; }
    bool on_key(const KeyEvent& event) override
    {
        keys.push_back(event);
        return takes_keys;
    }
    std::vector<String> command_lines;
    std::vector<Element*> shown;
    std::vector<Element*> closed;
    std::vector<KeyEvent> keys;
    int layout_changes = 0;
    bool may_close = true;
    bool takes_keys = false;
};

// Compiles a skin description into folder/name.skin; empty on failure (with a test failure).
inline std::string compile_test_skin(const std::string& description_path, const std::string& folder)
{
    std::ifstream in(description_path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!compile_skin(text.str(), description_path, bytes, error)) {
        ADD_FAILURE() << error;
        return {};
    }
    const std::string path = folder + "/test.skin";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// The shell's test skin description.
inline std::string test_skin_description()
{
    return std::string(PICTAVIO_SOURCE_DIR) + "/tests/app/skins/start.txt";
}

// A sandbox folder, the test skin loaded at 96 dpi, and an Application with
// a window of 120 x 160 on the dummy video driver.
class AppTest : public testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        m_folder = testing::TempDir() + "pictavio_app_" + info->test_suite_name() + "_" + info->name();
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
        setenv("XDG_RUNTIME_DIR", m_folder.c_str(), 1);
        setenv("PICTAVIO_REGISTRY", (m_folder + "/registry").c_str(), 1);
        setenv("TMPDIR", m_folder.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        set_startup_options(options());
        const std::string skin_path = compile_test_skin(test_skin_description(), m_folder);
        ASSERT_TRUE(m_skin.load_skin(from_utf8(skin_path), 96));
        m_application = std::make_unique<Application>(u"Pictavio");
    }
    void TearDown() override
    {
        m_application.reset();
        set_startup_options(CommandLineOptions());
        unsetenv("TMPDIR");
        std::filesystem::remove_all(m_folder);
    }
    // The options the window starts with; tests may override.
    virtual CommandLineOptions options() const
    {
        CommandLineOptions options;
        options.width = 120;
        options.height = 160;
        options.dpi = 96;
        return options;
    }
    Application& app() { return *m_application; }
    GameBase& game_base() { return m_application->game_base(); }
    WindowSystem& windows() { return game_base().windows(); }
    // Dispatches every message waiting now.
    void pump()
    {
        Message message;
        while (windows().peek_message(message) && message.id != WM_QUIT)
            windows().dispatch_message(message);
    }
    // Renders one frame into a fresh 120 x 160 buffer and returns it.
    std::unique_ptr<PixelBuffer> render_frame(Pixel fill = 0xFFFF)
    {
        auto buffer = PixelBuffer::create(120, 160);
        buffer->clear(fill);
        DrawTarget target(buffer.get());
        app().render(target);
        return buffer;
    }

    std::string m_folder;
    Properties m_skin;
    std::unique_ptr<Application> m_application;
};

// The application with a plain recording screen shown.
class PlainScreenTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_screen = std::make_unique<RecordingScreen>(m_skin, u"PlainScreen");
        app().show_screen(m_screen.get(), false);
    }
    void TearDown() override
    {
        m_screen.reset();
        AppTest::TearDown();
    }

    std::unique_ptr<RecordingScreen> m_screen;
};
