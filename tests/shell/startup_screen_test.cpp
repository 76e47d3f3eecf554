// The start screen: its loader builds the main screen on its own thread, the
// hand-over installs it, skin errors on the loader reach the main thread, and
// destruction stops the loader.

#include "app_test_support.h"

#include <atomic>
#include <chrono>
#include <thread>
#include "shell/start_screen.h"
#include "skin/plexor.h"

namespace {

// A main screen that is also the application listener.
class MainScreen : public RecordingScreen, public RecordingListener {
public:
    MainScreen(Properties& skin) : RecordingScreen(skin, u"PlainScreen") {}
};

class StartScreenTest : public AppTest {
protected:
    void TearDown() override
    {
        set_main_screen_factory(nullptr);
        AppTest::TearDown();
    }
    // Advances frames until the loader has ended (bounded, so a broken loader fails instead of hanging).
    void wait_for_loader(StartScreen& start)
    {
        for (int i = 0; i < 1000 && !start.loader_done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(start.loader_done());
    }
};

}  // namespace

TEST_F(StartScreenTest, LoaderBuildsTheMainScreenAndTheFirstFrameAfterHandsOver)
{
    std::atomic<std::thread::id> built_on{};
    set_main_screen_factory([&built_on](Properties& skin) {
        built_on = std::this_thread::get_id();
        return std::make_unique<MainScreen>(skin);
    });
    StartScreen start(m_skin);
    EXPECT_EQ(app().top_screen(), &start);
    EXPECT_EQ(render_frame()->at(1, 1), rgb_to_pixel(20, 60, 140)) << "the splash is drawn";
    wait_for_loader(start);
    EXPECT_NE(built_on.load(), std::this_thread::get_id());
    auto* main = dynamic_cast<MainScreen*>(start.main_screen());
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(start.handed_over());
    app().update(0.02);
    EXPECT_TRUE(start.handed_over());
    EXPECT_EQ(app().listener(), main);
    EXPECT_EQ(main->layout_changes, 1);
    EXPECT_EQ(app().top_screen(), main);
    EXPECT_EQ(app().screen_count(), 1) << "the start screen left the stack";
    EXPECT_EQ(main->closed, std::vector<Element*>{&start});
    app().update(0.02);
    EXPECT_EQ(main->updates, 1);
}

TEST_F(StartScreenTest, DestroyingTheStartScreenClearsTheStackAndTheListener)
{
    set_main_screen_factory([](Properties& skin) { return std::make_unique<MainScreen>(skin); });
    {
        StartScreen start(m_skin);
        wait_for_loader(start);
        app().update(0.02);
        ASSERT_NE(app().listener(), nullptr);
    }
    EXPECT_EQ(app().listener(), nullptr);
    EXPECT_EQ(app().screen_count(), 0);
}

TEST_F(StartScreenTest, StoppingDuringThePauseBuildsNothing)
{
    std::atomic<int> calls{0};
    set_main_screen_factory([&calls](Properties& skin) {
        ++calls;
        return std::make_unique<MainScreen>(skin);
    });
    {
        StartScreen start(m_skin);
    }
    EXPECT_EQ(calls.load(), 0);
    EXPECT_EQ(app().screen_count(), 0);
}

TEST_F(StartScreenTest, SkinErrorOfTheMainScreenEndsTheProgramInOrder)
{
    set_main_screen_factory(
        [](Properties&) -> std::unique_ptr<Element> { throw plexor::NodeNotFoundInSkin(u"AlbumScreen"); });
    StartScreen start(m_skin);
    wait_for_loader(start);
    EXPECT_NE(start.load_error().find(u"AlbumScreen"), String::npos);
    testing::internal::CaptureStderr();
    app().update(0.02);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("Pictavio: NoSkins"), std::string::npos) << message;
    EXPECT_EQ(app().top_screen(), &start) << "nothing was handed over";
    const WindowId main = game_base().main_window();
    game_base().run_message_loop();
    EXPECT_FALSE(windows().is_window(main)) << "the window was closed";
}

TEST_F(StartScreenTest, SlowLoaderGetsTheProcessorAfterHalfASecond)
{
    Event release(true);
    set_main_screen_factory([&release](Properties& skin) {
        release.wait();
        return std::make_unique<MainScreen>(skin);
    });
    StartScreen start(m_skin);
    using clock = std::chrono::steady_clock;
    app().update(0.1);
    EXPECT_LT(start.shown_time(), 0.5);
    for (int i = 0; i < 5; ++i)
        app().update(0.1);
    EXPECT_GT(start.shown_time(), 0.5);
    const auto begin = clock::now();
    app().update(0.02);
    EXPECT_GE(clock::now() - begin, std::chrono::milliseconds(100)) << "the frame paused for the loader";
    EXPECT_FALSE(start.handed_over());
    release.set();
    wait_for_loader(start);
    app().update(0.02);
    EXPECT_TRUE(start.handed_over());
}

TEST_F(StartScreenTest, WithoutAFactoryTheStartScreenStays)
{
    StartScreen start(m_skin);
    wait_for_loader(start);
    app().update(0.02);
    EXPECT_EQ(app().top_screen(), &start);
    EXPECT_EQ(start.main_screen(), nullptr);
}

TEST(StartScreenSkin, MissingSplashIsReportedByName)
{
    const std::string folder = testing::TempDir() + "pictavio_nosplash";
    std::filesystem::create_directories(folder);
    const std::string description = folder + "/nosplash.txt";
    std::ofstream(description) << "node Other {\n    string type = \"node\"\n}\n";
    const std::string path = compile_test_skin(description, folder);
    Properties skin;
    ASSERT_TRUE(skin.load_skin(from_utf8(path), 96));
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    Application application(u"Pictavio");
    try {
        StartScreen start(skin);
        ADD_FAILURE() << "no exception";
    } catch (const plexor::NodeNotFoundInSkin& error) {
        EXPECT_EQ(error.node_name(), u"Splash");
    }
    EXPECT_EQ(application.screen_count(), 0);
    std::filesystem::remove_all(folder);
}
