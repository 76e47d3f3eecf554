// The command-line options record.

#include <gtest/gtest.h>
#include <vector>
#include "platform/command_line.h"

namespace {

bool parse(std::vector<const char*> arguments, CommandLineOptions& options, std::string& error)
{
    arguments.insert(arguments.begin(), "pictavio");
    return parse_command_line(static_cast<int>(arguments.size()), arguments.data(), options, error);
}

}  // namespace

TEST(WindowCommandLineTest, DefaultsArePortraitAtDoubleDensity)
{
    CommandLineOptions options;
    std::string error;
    ASSERT_TRUE(parse({}, options, error));
    EXPECT_EQ(options.width, 480);
    EXPECT_EQ(options.height, 640);
    EXPECT_EQ(options.dpi, 192);
    EXPECT_EQ(options.orientation, 0);
    EXPECT_FALSE(options.fullscreen);
    EXPECT_EQ(options.display, DisplayChoice::automatic);
    EXPECT_TRUE(options.rest.empty());
}

TEST(WindowCommandLineTest, OptionsAreConsumedAndTheRestPassedOnInOrder)
{
    CommandLineOptions options;
    std::string error;
    ASSERT_TRUE(parse({"first", "--size", "640x480", "--dpi", "96", "--orientation", "3",
                       "--fullscreen", "my album", "--display", "offscreen", "--script",
                       "run.txt", "last"},
                      options, error))
        << error;
    EXPECT_EQ(options.width, 640);
    EXPECT_EQ(options.height, 480);
    EXPECT_EQ(options.dpi, 96);
    EXPECT_EQ(options.orientation, 3);
    EXPECT_TRUE(options.fullscreen);
    EXPECT_EQ(options.display, DisplayChoice::offscreen);
    EXPECT_EQ(options.script, "run.txt");
    EXPECT_EQ(options.rest, u"first \"my album\" last");
}

TEST(WindowCommandLineTest, BadValuesAreRefusedWithAReasonAndLeaveTheRecordAlone)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--size", "0x640"},      {"--size", "480"},         {"--size", "480x"},
        {"--size", "99999x10"},   {"--size", "-4x-4"},       {"--size", "4 80x640"},
        {"--dpi", "0"},           {"--dpi", "abc"},          {"--orientation", "4"},
        {"--orientation", "-1"},  {"--display", "x11"},      {"--size"},
        {"--display"},            {"--dpi", "96", "--orientation"},
    };
    for (const auto& arguments : bad) {
        CommandLineOptions options;
        options.width = 7;
        std::string error;
        EXPECT_FALSE(parse(arguments, options, error)) << arguments[0];
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(options.width, 7);
    }
}

TEST(WindowCommandLineTest, ExtremeButValidSizesAreAccepted)
{
    CommandLineOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--size", "1x1"}, options, error));
    EXPECT_EQ(options.width, 1);
    ASSERT_TRUE(parse({"--size", "4000X4000"}, options, error));
    EXPECT_EQ(options.height, 4000);
}
