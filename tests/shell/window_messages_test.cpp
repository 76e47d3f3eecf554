// The message queue on the real loop: posting from other threads, the order
// of posted messages, paint and timers, copy data, capture and destruction.

#include <gtest/gtest.h>
#include <thread>
#include <vector>
#include "platform/tick.h"
#include "window_test_loop.h"

namespace {

class WindowMessagesTest : public testing::Test {
protected:
    WindowMessagesTest() : m_windows(dummy_window_options()) {}

    // A window that records every message it receives.
    WindowId recording_window()
    {
        return m_windows.create_window(u"test", [this](const Message& message) {
            m_received.push_back(message);
            return m_windows.default_procedure(message);
        });
    }
    std::vector<unsigned> received_ids() const
    {
        std::vector<unsigned> ids;
        for (const Message& message : m_received)
            ids.push_back(message.id);
        return ids;
    }

    // Declared first: the window system still sends WM_DESTROY while it ends.
    std::vector<Message> m_received;
    WindowSystem m_windows;
};

}  // namespace

TEST_F(WindowMessagesTest, CreationIsSentBeforeTheWindowIsReturned)
{
    WindowId window = recording_window();
    ASSERT_NE(window, 0u);
    ASSERT_EQ(received_ids(), std::vector<unsigned>{WM_CREATE});
    EXPECT_TRUE(m_windows.has_video());
    EXPECT_EQ(m_windows.video_driver(), "dummy");
}

TEST_F(WindowMessagesTest, PostedMessagesFromOtherThreadsArriveInOrder)
{
    WindowId window = recording_window();
    std::thread poster([&] {
        for (unsigned n = 0; n < 100; ++n)
            m_windows.post_message(window, WM_USER + 1, n, -static_cast<std::intptr_t>(n));
        m_windows.post_quit_message(0);
    });
    ASSERT_TRUE(run_message_loop(m_windows));
    poster.join();
    std::vector<std::uintptr_t> order;
    for (const Message& message : m_received) {
        if (message.id == WM_USER + 1) {
            EXPECT_EQ(message.lparam, -static_cast<std::intptr_t>(message.wparam));
            order.push_back(message.wparam);
        }
    }
    ASSERT_EQ(order.size(), 100u);
    for (unsigned n = 0; n < 100; ++n)
        EXPECT_EQ(order[n], n);
}

TEST_F(WindowMessagesTest, QuitCarriesItsCodeAndEndsGetMessage)
{
    m_windows.post_quit_message(3);
    Message message;
    EXPECT_FALSE(m_windows.get_message(message));
    EXPECT_EQ(message.id, static_cast<unsigned>(WM_QUIT));
    EXPECT_EQ(message.wparam, 3u);
    EXPECT_FALSE(m_windows.peek_message(message));
}

TEST_F(WindowMessagesTest, PostedComeBeforePaintAndPaintBeforeTimers)
{
    WindowId window = recording_window();
    m_windows.set_timer(window, 7, 0);
    m_windows.invalidate_window(window);
    m_windows.invalidate_window(window);
    m_windows.post_message(window, WM_USER + 2, 0, 0);
    Message message;
    std::vector<unsigned> ids;
    for (int n = 0; n < 3 && m_windows.peek_message(message); ++n)
        ids.push_back(message.id);
    EXPECT_EQ(ids, (std::vector<unsigned>{WM_USER + 2, WM_PAINT, WM_TIMER}));
    EXPECT_EQ(message.wparam, 7u);
}

TEST_F(WindowMessagesTest, TimerRepeatsUntilKilledAndNeverRunsEarly)
{
    WindowId window = recording_window();
    std::uint32_t start = get_tick_count();
    std::vector<std::uint32_t> ticks;
    m_windows.set_window_procedure(window, [&](const Message& message) {
        if (message.id == WM_TIMER) {
            ticks.push_back(get_tick_count());
            if (ticks.size() == 3) {
                EXPECT_TRUE(m_windows.kill_timer(window, 1));
                m_windows.post_quit_message(0);
            }
        }
        return std::intptr_t(0);
    });
    m_windows.set_timer(window, 1, 20);
    ASSERT_TRUE(run_message_loop(m_windows));
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_GE(ticks[0] - start, 20u);
    EXPECT_GE(ticks[2] - start, 60u);
    EXPECT_FALSE(m_windows.kill_timer(window, 1));
}

TEST_F(WindowMessagesTest, CopyDataKeepsItsTagAndBytes)
{
    WindowId window = recording_window();
    std::thread sender([&] {
        m_windows.post_copy_data(window, 0, {'a', 0, 'b', 0});
        m_windows.post_quit_message(0);
    });
    ASSERT_TRUE(run_message_loop(m_windows));
    sender.join();
    ASSERT_EQ(m_received.back().id, static_cast<unsigned>(WM_COPYDATA));
    EXPECT_EQ(m_received.back().wparam, 0u);
    EXPECT_EQ(m_received.back().data, (std::vector<std::uint8_t>{'a', 0, 'b', 0}));
}

TEST_F(WindowMessagesTest, DestroyingAWindowSendsDestroyAndDropsItsMessagesAndTimers)
{
    WindowId window = recording_window();
    m_windows.post_message(window, WM_USER + 3, 0, 0);
    m_windows.set_timer(window, 1, 0);
    m_windows.invalidate_window(window);
    m_windows.destroy_window(window);
    EXPECT_EQ(received_ids(), (std::vector<unsigned>{WM_CREATE, WM_DESTROY}));
    EXPECT_FALSE(m_windows.is_window(window));
    Message message;
    EXPECT_FALSE(m_windows.peek_message(message));
}

TEST_F(WindowMessagesTest, CloseWithoutHandlingDestroysTheWindow)
{
    WindowId window = recording_window();
    m_windows.post_message(window, WM_CLOSE, 0, 0);
    Message message;
    ASSERT_TRUE(m_windows.peek_message(message));
    m_windows.dispatch_message(message);
    EXPECT_FALSE(m_windows.is_window(window));
    EXPECT_EQ(received_ids(), (std::vector<unsigned>{WM_CREATE, WM_CLOSE, WM_DESTROY}));
}

TEST_F(WindowMessagesTest, ReleasingTheCaptureTellsTheWindowAtOnce)
{
    WindowId window = recording_window();
    m_windows.set_capture(window);
    EXPECT_EQ(m_windows.capture(), window);
    m_windows.release_capture();
    EXPECT_EQ(m_windows.capture(), 0u);
    EXPECT_EQ(received_ids(), (std::vector<unsigned>{WM_CREATE, WM_CAPTURECHANGED}));
    m_windows.release_capture();
    EXPECT_EQ(m_received.size(), 2u);
}

TEST_F(WindowMessagesTest, WaitingForOneMessageLeavesTheOthersQueued)
{
    WindowId window = recording_window();
    WindowId other = m_windows.create_message_window(nullptr);
    m_windows.post_message(window, WM_USER + 1, 1, 0);
    std::thread poster([&] { m_windows.post_message(other, WM_USER + 5, 2, 0); });
    Message message;
    m_windows.wait_for_message(other, WM_USER + 5, message);
    poster.join();
    EXPECT_EQ(message.wparam, 2u);
    ASSERT_TRUE(m_windows.peek_message(message));
    EXPECT_EQ(message.id, static_cast<unsigned>(WM_USER + 1));
}

TEST_F(WindowMessagesTest, MessageBoxWithoutAScreenGoesToStandardError)
{
    WindowId window = recording_window();
    testing::internal::CaptureStderr();
    m_windows.message_box(window, u"Pictavio", u"NoSkins");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Pictavio: NoSkins\n");
}
