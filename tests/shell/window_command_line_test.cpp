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
    ASSERT_TRUE(parse({"first", "--size", "640x480", "--dpi", "96", "--orientation", "3", "--fullscreen", "my album",
                       "--display", "offscreen", "--script", "run.txt", "last"},
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
        {"--size", "0x640"},    {"--size", "480"},
        {"--size", "480x"},     {"--size", "99999x10"},
        {"--size", "-4x-4"},    {"--size", "4 80x640"},
        {"--dpi", "0"},         {"--dpi", "abc"},
        {"--orientation", "4"}, {"--orientation", "-1"},
        {"--display", "x11"},   {"--size"},
        {"--display"},          {"--dpi", "96", "--orientation"},
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

TEST(WindowCommandLineTest, HelpAndVersionAreFlagsWhereverTheyStand)
{
    CommandLineOptions options;
    std::string error;
    ASSERT_TRUE(parse({"album", "--help"}, options, error)) << error;
    EXPECT_TRUE(options.help);
    EXPECT_FALSE(options.version);
    EXPECT_EQ(options.rest, u"album");
    ASSERT_TRUE(parse({"-h"}, options, error)) << error;
    EXPECT_TRUE(options.help);
    ASSERT_TRUE(parse({"--version", "--dpi", "96"}, options, error)) << error;
    EXPECT_TRUE(options.version);
    EXPECT_FALSE(options.help);
    EXPECT_EQ(options.dpi, 96);
    EXPECT_EQ(version_text(), "pictavio 1.01\n");
}

TEST(WindowCommandLineTest, UnknownOptionsAreRefusedButPlainTextAndADashPassOn)
{
    for (const char* unknown : {"--zoom", "-x", "--help=1", "--"}) {
        CommandLineOptions options;
        std::string error;
        EXPECT_FALSE(parse({"album", unknown}, options, error)) << unknown;
        EXPECT_NE(error.find(std::string("unknown option \"") + unknown + "\""), std::string::npos) << error;
    }
    CommandLineOptions options;
    std::string error;
    ASSERT_TRUE(parse({"-", "a-b"}, options, error)) << error;
    EXPECT_EQ(options.rest, u"- a-b");
}

TEST(WindowCommandLineTest, UsageNamesEveryOptionTheParserTakes)
{
    const std::string usage = usage_text();
    for (const char* option : {"--size", "--dpi", "--orientation", "--fullscreen", "--display", "--script",
                               "--scan-only", "--help", "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
        CommandLineOptions options;
        std::string error;
        const bool valued = std::string(option) != "--fullscreen" && std::string(option) != "--scan-only" &&
                            std::string(option) != "--help" && std::string(option) != "--version";
        if (!valued) {
            EXPECT_TRUE(parse({option}, options, error)) << option << ": " << error;
        } else {
            EXPECT_FALSE(parse({option}, options, error));
            EXPECT_NE(error.find("missing value after"), std::string::npos) << error;
        }
    }
}
