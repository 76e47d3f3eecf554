#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "sandbox.h"
#include "text_log.h"

namespace {

String log_text()
{
    const std::string bytes = read_bytes(to_utf8(log_file_path()));
    String text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += char16_t(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return text;
}

class Log : public testing::Test {
protected:
    void SetUp() override
    {
        set_log_switch(0);
        log();
        std::filesystem::remove(to_utf8(log_file_path()));
    }
    void TearDown() override
    {
        set_log_switch(0);
        log();
    }
};

}  // namespace

TEST(LogWriters, WriteExactlyTheirPieces)
{
    TextLog stream;
    stream << "A::b " << -12 << u" " << 3000000000u << " " << true << false << String(u"ü") << StringView(u"x")
           << static_cast<const char16_t*>(nullptr) << static_cast<const char*>(nullptr) << 7ul << -7l;
    EXPECT_EQ(stream.text, u"A::b -12 3000000000 truefalseüx7-7");
    TextLog real;
    real << 0.25 << " " << -3.0 << " " << 1e-7;
    EXPECT_EQ(real.text, u"0.25 -3 1e-07");
    TextLog narrow;
    narrow << "\xC3";
    EXPECT_EQ(narrow.text, String(1, char16_t(0xFFC3)));
}

TEST_F(Log, OffWritesNothingAndCreatesNoFile)
{
    log() << "WinMain 0\n";
    EXPECT_FALSE(log_enabled());
    EXPECT_FALSE(std::filesystem::exists(to_utf8(log_file_path())));
}

TEST_F(Log, OnWritesUtf16WithByteOrderMark)
{
    set_log_switch(1);
    log() << 17 << "WinMain 0\n";
    EXPECT_TRUE(log_enabled());
    EXPECT_EQ(read_bytes(to_utf8(log_file_path())).substr(0, 4), std::string("\xFF\xFE"
                                                                             "1\0",
                                                                             4));
    EXPECT_EQ(log_text(), u"\uFEFF17WinMain 0\n");
}

TEST_F(Log, SwitchingOffAndOnAgainStartsAFreshFile)
{
    set_log_switch(1);
    log() << "before\n";
    set_log_switch(0);
    log() << "while off\n";
    set_log_switch(2);
    log() << "after\n";
    EXPECT_EQ(log_text(), u"\uFEFFafter\n");
}

// The switch is kept per thread between registry reads: a write of this
// process reaches every thread's next call, one of another process (the file
// replaced under the registry) is seen soon after.
TEST_F(Log, SwitchChangesReachEveryThreadAndOtherProcessesChangesAreSeenSoon)
{
    std::thread([] { log() << "worker while off\n"; }).join();
    set_log_switch(1);
    std::thread([] { log() << "worker after\n"; }).join();
    EXPECT_EQ(log_text(), u"\uFEFFworker after\n");

    const std::string registry = std::getenv("PICTAVIO_REGISTRY");
    {
        std::ofstream other(registry + ".other");
        other << "Kelm registry 1\n[HKEY_CURRENT_USER\\Software\\Kelm]\n\"Log\"=dword:00000000\n";
    }
    std::filesystem::rename(registry + ".other", registry);
    const auto start = std::chrono::steady_clock::now();
    while (log_enabled() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        log() << "until the change is seen\n";
    EXPECT_FALSE(log_enabled());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(Log, StreamHeldAcrossSwitchOffWritesNothing)
{
    set_log_switch(1);
    LogStream& held = log();
    held << "one\n";
    set_log_switch(0);
    log();
    held << "late\n";
    EXPECT_EQ(log_text(), u"\uFEFFone\n");
}

TEST_F(Log, UnwritableLocationIsSkippedSilently)
{
    const std::string old_tmp = std::getenv("TMPDIR");
    setenv("TMPDIR", (sandbox() + "/no/such/folder").c_str(), 1);
    set_log_switch(1);
    log() << "lost\n";
    log().flush();
    EXPECT_TRUE(log_enabled());
    EXPECT_FALSE(std::filesystem::exists(sandbox() + "/no/such"));
    set_log_switch(0);
    log();
    setenv("TMPDIR", old_tmp.c_str(), 1);

    // Once the place is writable again, the next switch-on logs there.
    set_log_switch(1);
    log() << "found\n";
    log().flush();
    EXPECT_EQ(log_text(), u"\uFEFFfound\n");
}

TEST_F(Log, FatalErrorLogsFlushesAndEndsWithoutDestructors)
{
    set_log_switch(1);
    struct Marker {
        ~Marker() { log() << "destructor ran\n"; }
    };
    EXPECT_EXIT(
        {
            Marker marker;
            log() << "start\n";
            fatal_error("instance != 0", "Application::Application");
        },
        testing::ExitedWithCode(0), "");
    const String text = log_text();
    const String last = u"Gluck: instance != 0 @ Application::Application\n";
    ASSERT_GE(text.size(), last.size());
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
    EXPECT_EQ(text.find(u"destructor ran"), String::npos);
}

// Writers on several threads while the switch flips: no crash, no torn write,
// and the file written after the last switch-on holds only whole lines.
TEST_F(Log, SwitchFlipsWhileThreadsWrite)
{
    std::atomic<bool> running{true};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t, &running] {
            const String line = u"thread " + to_string16(t) + u" writes one whole line\n";
            while (running)
                log() << line;
        });
    }
    for (int flip = 0; flip < 50; ++flip)
        set_log_switch(flip % 2);
    set_log_switch(1);
    log();
    running = false;
    for (std::thread& writer : writers)
        writer.join();

    const String text = log_text();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], u'\uFEFF');
    std::size_t start = 1;
    while (start < text.size()) {
        const std::size_t end = text.find(u'\n', start);
        ASSERT_NE(end, String::npos);
        const String line = text.substr(start, end - start);
        EXPECT_TRUE(line.size() == 30 && line.starts_with(u"thread ") && line.ends_with(u" writes one whole line"))
            << to_utf8(line);
        start = end + 1;
    }
}
