// The program's start-up order, run as a real process from a program folder
// of the test's own making.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <poll.h>
#include <xcb/xcb.h>

#include "child_process.h"
#include "platform/language.h"
#include "running_copy.h"
#include "sandbox.h"
#include "tests/scoped_variable.h"

namespace {

const std::string program = std::string(PICTAVIO_PROGRAM_DIR) + "/pictavio";
const std::string probe = std::string(PICTAVIO_TOOLS_DIR) + "/instance-probe";
const std::string x_server = "/usr/bin/Xvfb";
const char* const shipped_languages[] = {"english", "russian", "german"};

std::string decode_log(const std::string& bytes)
{
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += bytes[i + 1] == 0 ? bytes[i] : '?';
    return text;
}

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// An X server of the test's own with one connection to it; DISPLAY names it
// while it lives. The server ends when that connection, its last client, goes.
class XServer {
public:
    XServer() : m_server(x_server, {"-displayfd", "1", "-terminate", "-nolisten", "tcp", "-screen", "0", "640x480x24"})
    {
        const std::string number = m_server.line();
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
            return;
        const std::string display = ":" + number;
        m_connection = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_connection) != 0)
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        // Told of every window mapped from now on.
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        m_dialog_type = intern("_NET_WM_WINDOW_TYPE_DIALOG");
        m_display_variable = std::make_unique<ScopedVariable>("DISPLAY", display);
    }
    ~XServer()
    {
        m_display_variable.reset();
        if (m_connection != nullptr)
            xcb_disconnect(m_connection);
    }
    bool ready() const { return m_dialog_type != XCB_ATOM_NONE; }

    // The next window mapped whose window type is a dialog; 0 when none comes in time.
    xcb_window_t wait_for_dialog()
    {
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
                const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
                std::free(event);
                if (mapped && is_dialog(window))
                    return window;
            }
            pollfd entry{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            if (poll(&entry, 1, 20000) <= 0)
                return 0;
        }
    }
    // Maps a window over all others.
    xcb_window_t cover()
    {
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 640, 480, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(m_connection, window);
        sync();
        return window;
    }
    // The viewable top-level window on top of all others.
    xcb_window_t top_window()
    {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr));
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i) {
            Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr));
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                return children[i];
        }
        return 0;
    }
    // Closes window as its close button would: the window manager's delete message.
    void close(xcb_window_t window)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = intern("WM_PROTOCOLS");
        message.data.data32[0] = intern("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        sync();
    }

private:
    xcb_atom_t intern(const char* name)
    {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    bool is_dialog(xcb_window_t window)
    {
        Reply<xcb_get_property_reply_t> type(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, intern("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 0, 1),
            nullptr));
        return type && xcb_get_property_value_length(type.get()) == 4 &&
               *static_cast<const xcb_atom_t*>(xcb_get_property_value(type.get())) == m_dialog_type;
    }
    void sync() { std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

    ChildProcess m_server;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_dialog_type = XCB_ATOM_NONE;
    std::unique_ptr<ScopedVariable> m_display_variable;
};

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

// The running copy shows a message box: the new copy has it raised, writes
// only the line of a found box and ends without creating anything.
TEST_F(ProgramStart, CopyStartedWhileABoxShowsEndsWithTheBoxLine)
{
    RunningCopy first;
    ASSERT_TRUE(first.started());
    std::atomic<int> raised{0};
    const InstanceDialog box([&raised] { ++raised; });
    EXPECT_EQ(run({"album one"}), 0);
    EXPECT_EQ(raised, 1);
    EXPECT_TRUE(first.received().empty());
    const std::string log = log_text();
    EXPECT_NE(log.find("Application::show_running_instance_open_bracket cmd_line=\"album one\"\n"
                       "Application::EnumProc window found 2\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("EnumProc window found hwnd="), std::string::npos) << log;
    EXPECT_EQ(log.find("WindMain 1"), std::string::npos);
}

// On an X display: the running copy shows its start-up box (no language
// file), the main window and another window lie over it; a new copy brings the
// box to the front and ends, and the box still answers.
TEST_F(ProgramStart, StartUpBoxOfTheRunningCopyComesToTheFront)
{
    if (!std::filesystem::exists(x_server))
        GTEST_SKIP() << "no X server to test with (" << x_server << ")";
    XServer display;
    ASSERT_TRUE(display.ready());
    setenv("SDL_VIDEODRIVER", "x11", 1);
    // SDL's X11 video opens D-Bus, whose library keeps a buffer to the end that
    // the leak checker of a sanitizer build would report as the program's.
    const std::string suppressions = sandbox() + "/leaks-of-d-bus";
    write_bytes(suppressions, "leak:libdbus-1.so\n");
    const ScopedVariable leak_options("LSAN_OPTIONS", "suppressions=" + suppressions);
    ChildProcess first(m_folder + "/pictavio", {}, sandbox() + "/first-stderr");
    const xcb_window_t box = display.wait_for_dialog();
    ASSERT_NE(box, 0u) << read_bytes(sandbox() + "/first-stderr");
    const xcb_window_t cover = display.cover();
    EXPECT_EQ(display.top_window(), cover);
    EXPECT_EQ(run({"album one"}), 0);
    EXPECT_EQ(display.top_window(), box);
    EXPECT_NE(log_text().find("cmd_line=\"album one\"\nApplication::EnumProc window found 2\n"), std::string::npos);
    display.close(box);
    EXPECT_EQ(first.finish(), 0);
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
