// Scripted input: parsing the command file and playing it on the real loop.

#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include "platform/tick.h"
#include "platform/window_script.h"
#include "window_test_loop.h"

namespace {

std::vector<ScriptCommand> parsed(std::string_view text)
{
    std::vector<ScriptCommand> commands;
    std::string error;
    EXPECT_TRUE(parse_script(text, commands, error)) << error;
    return commands;
}

std::string parse_error(std::string_view text)
{
    std::vector<ScriptCommand> commands;
    std::string error;
    EXPECT_FALSE(parse_script(text, commands, error)) << text;
    return error;
}

}  // namespace

TEST(WindowScriptParseTest, EveryCommandWithItsNumbers)
{
    auto commands = parsed(
        "# a comment\n"
        "\n"
        "wait 250\r\n"
        "tap 10 -20\n"
        "  press 1 2\n"
        "move 3 4\n"
        "release 5 6\n"
        "drag 0 0 100 50 300\n"
        "key SOFT_LEFT\n"
        "key Backspace\n"
        "key #\n"
        "screenshot  /tmp/a picture.png  \n"
        "quit");
    ASSERT_EQ(commands.size(), 11u);
    EXPECT_EQ(commands[0].kind, ScriptCommand::wait);
    EXPECT_EQ(commands[0].milliseconds, 250);
    EXPECT_EQ(commands[0].line, 3);
    EXPECT_EQ(commands[1].kind, ScriptCommand::tap);
    EXPECT_EQ(commands[1].y, -20);
    EXPECT_EQ(commands[5].kind, ScriptCommand::drag);
    EXPECT_EQ(commands[5].to_x, 100);
    EXPECT_EQ(commands[5].to_y, 50);
    EXPECT_EQ(commands[5].milliseconds, 300);
    EXPECT_EQ(commands[6].virtual_key, 112);
    EXPECT_EQ(commands[7].virtual_key, 8);
    EXPECT_EQ(commands[8].virtual_key, 120);
    EXPECT_EQ(commands[9].path, u"/tmp/a picture.png");
    EXPECT_EQ(commands[10].kind, ScriptCommand::quit);
}

TEST(WindowScriptParseTest, BadLinesAreNamedByNumberAndReason)
{
    EXPECT_EQ(parse_error("wait 1\njump 3 4\n"), "line 2: unknown command \"jump\"");
    EXPECT_EQ(parse_error("tap 1\n"), "line 1: \"tap\" takes 2 numbers");
    EXPECT_EQ(parse_error("tap 1 2 3\n"), "line 1: \"tap\" takes 2 numbers");
    EXPECT_EQ(parse_error("move 1 y\n"), "line 1: bad position \"y\"");
    EXPECT_EQ(parse_error("wait -5\n"), "line 1: bad milliseconds \"-5\"");
    EXPECT_EQ(parse_error("wait 99999999999\n"), "line 1: bad milliseconds \"99999999999\"");
    EXPECT_EQ(parse_error("tap 1000000 0\n"), "line 1: bad position \"1000000\"");
    EXPECT_EQ(parse_error("quit now\n"), "line 1: \"quit\" takes 0 numbers");
    EXPECT_EQ(parse_error("key\n"), "line 1: \"key\" takes one key name");
    // Names compare exactly; "Esc" and "SLIDE" exist but no key produces them.
    EXPECT_EQ(parse_error("key enter\n"), "line 1: no key can be pressed for \"enter\"");
    EXPECT_EQ(parse_error("key Esc\n"), "line 1: no key can be pressed for \"Esc\"");
    EXPECT_EQ(parse_error("key None\n"), "line 1: no key can be pressed for \"None\"");
    EXPECT_EQ(parse_error("screenshot   \n"), "line 1: \"screenshot\" takes a path");
}

TEST(WindowScriptParseTest, FilesAreReadWithinALimit)
{
    std::string folder = testing::TempDir() + "pictavio_script_test";
    std::filesystem::create_directories(folder);
    std::vector<ScriptCommand> commands;
    std::string error;
    EXPECT_FALSE(load_script(folder + "/missing.txt", commands, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);

    std::ofstream(folder + "/good.txt") << "wait 1\nquit\n";
    EXPECT_TRUE(load_script(folder + "/good.txt", commands, error)) << error;
    EXPECT_EQ(commands.size(), 2u);

    std::ofstream(folder + "/huge.txt") << std::string(max_script_bytes + 1, '#');
    EXPECT_FALSE(load_script(folder + "/huge.txt", commands, error));
    EXPECT_NE(error.find("larger"), std::string::npos);
    std::filesystem::remove_all(folder);
}

TEST(WindowScriptPlayTest, PlaysInputInOrderAndInRealTimeUntilQuit)
{
    WindowSystem windows(dummy_window_options());
    std::vector<Message> received;
    WindowId target = windows.create_window(u"test", [&](const Message& message) {
        if (message.id == WM_DESTROY)
            windows.post_quit_message(0);
        if (message.id != WM_PAINT && message.id != WM_ACTIVATE)
            received.push_back(message);
        return windows.default_procedure(message);
    });
    std::vector<String> shots;
    std::uint32_t shot_tick = 0;
    ScriptPlayer player(windows,
                        parsed("press 1 2\nmove 3 4\nrelease 5 6\nkey Enter\nwait 30\n"
                               "screenshot a.png\ntap 7 8\ndrag 0 0 100 0 60\nscreenshot b.bmp\n"
                               "quit\nkey Enter\n"),
                        [&](const String& path) {
                            shots.push_back(path);
                            shot_tick = shot_tick ? shot_tick : get_tick_count();
                            return path != u"b.bmp";
                        });
    std::uint32_t start = get_tick_count();
    player.start();
    ASSERT_TRUE(run_message_loop(windows));
    EXPECT_TRUE(player.finished());
    EXPECT_EQ(shots, (std::vector<String>{u"a.png", u"b.bmp"}));
    EXPECT_GE(shot_tick - start, 30u);
    EXPECT_EQ(player.failed_screenshots(), 1);

    // Everything after WM_CREATE, until the close that quit caused.
    std::vector<std::pair<unsigned, std::pair<int, int>>> pens;
    std::vector<unsigned> keys;
    for (const Message& message : received) {
        if (message.id >= WM_MOUSEMOVE && message.id <= WM_LBUTTONUP)
            pens.push_back({message.id, {lparam_x(message.lparam), lparam_y(message.lparam)}});
        if (message.id == WM_KEYDOWN || message.id == WM_KEYUP || message.id == WM_CHAR)
            keys.push_back(message.id);
    }
    EXPECT_EQ(keys, (std::vector<unsigned>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    ASSERT_GE(pens.size(), 9u);
    using Pen = std::pair<unsigned, std::pair<int, int>>;
    EXPECT_EQ(pens[0], (Pen{WM_LBUTTONDOWN, {1, 2}}));
    EXPECT_EQ(pens[1], (Pen{WM_MOUSEMOVE, {3, 4}}));
    EXPECT_EQ(pens[2], (Pen{WM_LBUTTONUP, {5, 6}}));
    EXPECT_EQ(pens[3], (Pen{WM_LBUTTONDOWN, {7, 8}}));
    EXPECT_EQ(pens[4], (Pen{WM_LBUTTONUP, {7, 8}}));
    EXPECT_EQ(pens[5], (Pen{WM_LBUTTONDOWN, {0, 0}}));
    // The drag moves forward only and ends exactly at its end.
    for (std::size_t n = 6; n + 2 < pens.size(); ++n) {
        EXPECT_EQ(pens[n].first, static_cast<unsigned>(WM_MOUSEMOVE));
        EXPECT_GE(pens[n].second.first, pens[n - 1].second.first);
    }
    EXPECT_EQ(pens[pens.size() - 2], (Pen{WM_MOUSEMOVE, {100, 0}}));
    EXPECT_EQ(pens.back(), (Pen{WM_LBUTTONUP, {100, 0}}));
    EXPECT_EQ(received.back().id, static_cast<unsigned>(WM_DESTROY));
    EXPECT_FALSE(windows.is_window(target));
}
