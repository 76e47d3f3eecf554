// The scripted mode: parsing command files and running them against the
// real message loop.

#include "app_test_support.h"

#include "shell/script_runner.h"

namespace {

bool parse(const std::string& text, std::vector<ScriptStep>& steps, std::string& error)
{
    return parse_script_steps(text, "s.txt", steps, error);
}

std::string parse_error(const std::string& text)
{
    std::vector<ScriptStep> steps;
    std::string error;
    EXPECT_FALSE(parse(text, steps, error)) << text;
    return error;
}

// Dummy: a command of the tests' own, added to the table.
bool parse_mark(const ScriptArguments& arguments, int line, std::vector<ScriptStep>& steps, std::string& error)
{
    if (arguments.size() != 1) {
        error = "expected mark WORD";
        return false;
    }
    steps.push_back({line, [](ScriptContext&) { return StepResult::go_on(); }});
    return true;
}

class ScriptRun : public PlainScreenTest {
protected:
    // Writes the script, runs it on the real loop and returns the runner.
    std::unique_ptr<ScriptRunner> run(const std::string& text)
    {
        const std::string path = m_folder + "/script.txt";
        std::ofstream(path) << text;
        auto runner = std::make_unique<ScriptRunner>(path);
        EXPECT_TRUE(runner->is_valid()) << runner->error();
        runner->start(game_base());
        game_base().run_message_loop();
        return runner;
    }
};

}  // namespace

TEST(ScriptParsing, CommandsCommentsAndBlankLines)
{
    std::vector<ScriptStep> steps;
    std::string error;
    ASSERT_TRUE(parse("# a comment\n\n  wait 5\ntap 1 2\npress 1 2\nmove -3 4\nrelease 5 6\n"
                      "key Enter\nscreenshot /tmp/a b.png\nquit\n",
                      steps, error))
        << error;
    EXPECT_EQ(steps.size(), 9u) << "a tap is a press and a release";
    EXPECT_EQ(steps.front().line, 3);
    EXPECT_EQ(steps.back().line, 10);
}

TEST(ScriptParsing, DragMovesInStepsAndTakesItsWholeTime)
{
    std::vector<ScriptStep> steps;
    std::string error;
    ASSERT_TRUE(parse("drag 0 0 100 50 100\n", steps, error)) << error;
    // press, then (wait, move) for each of 100 / 16 = 6 moves, then release.
    EXPECT_EQ(steps.size(), 14u);
    steps.clear();
    ASSERT_TRUE(parse("drag 0 0 10 10 0\n", steps, error));
    EXPECT_EQ(steps.size(), 4u) << "a drag without time still moves once";
}

TEST(ScriptParsing, BadLinesAreNamedWithTheirNumber)
{
    EXPECT_EQ(parse_error("wait 1\n\njump\n"), "s.txt:3: unknown command 'jump'");
    EXPECT_EQ(parse_error("tap 1\n"), "s.txt:1: expected tap X Y");
    EXPECT_EQ(parse_error("tap 1 x\n"), "s.txt:1: bad number 'x', expected tap X Y");
    EXPECT_EQ(parse_error("move 1 2 3\n"), "s.txt:1: expected move X Y");
    EXPECT_EQ(parse_error("wait -5\n"), "s.txt:1: bad number '-5', expected wait MS");
    EXPECT_EQ(parse_error("wait 99999999999999999999\n"),
              "s.txt:1: bad number '99999999999999999999', expected wait MS");
    EXPECT_EQ(parse_error("press 1.5 2\n"), "s.txt:1: bad number '1.5', expected press X Y");
    EXPECT_EQ(parse_error("drag 1 2 3 4 -1\n"), "s.txt:1: bad duration '-1', expected drag X1 Y1 X2 Y2 MS");
    EXPECT_EQ(parse_error("key enter\n"), "s.txt:1: unknown key name 'enter'") << "names are exact";
    EXPECT_EQ(parse_error("screenshot\n"), "s.txt:1: expected screenshot PATH");
    EXPECT_EQ(parse_error("quit now\n"), "s.txt:1: expected quit without arguments");
}

TEST(ScriptParsing, CommandsCanBeAdded)
{
    EXPECT_EQ(parse_error("mark here\n"), "s.txt:1: unknown command 'mark'");
    add_script_command({"mark", parse_mark});
    std::vector<ScriptStep> steps;
    std::string error;
    EXPECT_TRUE(parse("mark here\n", steps, error)) << error;
    EXPECT_EQ(parse_error("mark\n"), "s.txt:1: expected mark WORD");
}

TEST(ScriptParsing, MissingFileIsReported)
{
    ScriptRunner runner(testing::TempDir() + "no_such_script.txt");
    EXPECT_FALSE(runner.is_valid());
    EXPECT_NE(runner.error().find("cannot read the script"), std::string::npos);
}

TEST_F(ScriptRun, TapsAndKeysReachTheScreenAndQuitClosesTheWindow)
{
    auto runner = run("tap 10 20\nkey Enter\nwait 20\nquit\n");
    EXPECT_TRUE(runner->finished());
    EXPECT_FALSE(runner->failed());
    ASSERT_EQ(m_screen->pens.size(), 2u);
    EXPECT_TRUE(m_screen->pens[0].down);
    EXPECT_EQ(m_screen->pens[0].x, 10);
    EXPECT_EQ(m_screen->pens[0].y, 20);
    EXPECT_FALSE(m_screen->pens[1].down);
    EXPECT_FALSE(m_screen->pens[1].cancelled);
    ASSERT_GE(m_screen->keys.size(), 2u);
    EXPECT_EQ(m_screen->keys[0].key, key_enter);
    EXPECT_TRUE(m_screen->keys[0].pressed);
    EXPECT_FALSE(m_screen->keys.back().pressed);
    EXPECT_EQ(game_base().main_window(), 0u) << "the window was closed";
}

TEST_F(ScriptRun, ScreenshotSavesTheCurrentFrame)
{
    const std::string path = m_folder + "/frame.bmp";
    auto runner = run("screenshot " + path + "\nquit\n");
    EXPECT_FALSE(runner->failed()) << runner->error();
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 54u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 16);
}

TEST_F(ScriptRun, FailedStepStopsTheScriptAndQuitsWithAnError)
{
    testing::internal::CaptureStderr();
    auto runner = run("wait 1\nscreenshot " + m_folder + "/missing/frame.bmp\nkey Enter\nquit\n");
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(runner->failed());
    EXPECT_EQ(game_base().exit_code(), 1);
    EXPECT_NE(runner->error().find("script.txt:2: screenshot: cannot write"), std::string::npos) << runner->error();
    EXPECT_NE(message.find("script.txt:2:"), std::string::npos);
    EXPECT_TRUE(m_screen->keys.empty()) << "nothing after the failed step ran";
}
