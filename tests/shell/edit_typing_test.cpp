// Typing through the window: the focused edit of the topmost screen gets the
// keys and characters before the screen, and the window follows the focus
// into and out of typing.

#include "app_test_support.h"

#include "display/display.h"
#include "elements/edit.h"
#include "elements/layout_units.h"

namespace {

constexpr int virtual_key_left = 37;
constexpr int virtual_key_backspace = 8;

// A screen that passes the pen to its children and keeps what reaches it of the keys.
class TypingScreen : public Element {
public:
    TypingScreen() : Element(nullptr)
    {
        edit = new Edit(this);
        edit->set_font(Font(FontSpec{9, 1, false, false, false, u"DejaVu Sans"}));
        edit->set_anchors(MIN_SIDE, MIN_SIDE);
        edit->set_borders({10, 10}, {0, 0});
        edit->set_design_size({100, 20});
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

    Edit* edit = nullptr;
    std::vector<KeyEvent> keys;
    std::vector<String> chars;
};

class EditTyping : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_screen = std::make_unique<TypingScreen>();
        app().show_screen(m_screen.get(), false);
    }
    void TearDown() override
    {
        m_screen.reset();
        AppTest::TearDown();
    }
    WindowId window() { return game_base().main_window(); }
    void tap(int x, int y)
    {
        windows().post_message(window(), WM_LBUTTONDOWN, 1, make_position_lparam(x, y));
        windows().post_message(window(), WM_LBUTTONUP, 0, make_position_lparam(x, y));
        pump();
    }
    void press(int virtual_key)
    {
        windows().post_message(window(), WM_KEYDOWN, virtual_key, 1);
        windows().post_message(window(), WM_KEYUP, virtual_key, 1 | key_repeat_flag | key_release_flag);
        pump();
    }
    void type(char16_t character)
    {
        windows().post_message(window(), WM_CHAR, character, 1);
        pump();
    }
    Edit& edit() { return *m_screen->edit; }

    std::unique_ptr<TypingScreen> m_screen;
};

class EditTypingInDirectMode : public EditTyping {
protected:
    CommandLineOptions options() const override
    {
        CommandLineOptions result = EditTyping::options();
        result.display = DisplayChoice::offscreen;
        return result;
    }
};

}  // namespace

TEST_F(EditTyping, FocusedEditTakesItsKeysAndCharactersBeforeTheScreen)
{
    tap(20, 15);
    ASSERT_TRUE(edit().is_focused());
    type(u'h');
    type(u'i');
    press(virtual_key_left);
    press(virtual_key_backspace);
    EXPECT_EQ(edit().text(), u"i");
    EXPECT_TRUE(m_screen->chars.empty());
    // What the edit leaves, the screen gets: key-ups and keys it has no use for.
    ASSERT_EQ(m_screen->keys.size(), 2u);
    EXPECT_FALSE(m_screen->keys[0].pressed);
    press('A');
    ASSERT_EQ(m_screen->keys.size(), 4u);
    EXPECT_EQ(m_screen->keys[2].key, key_a);
    EXPECT_TRUE(m_screen->keys[2].pressed);
}

TEST_F(EditTyping, WithoutAFocusedEditTheScreenGetsEverything)
{
    type(u'h');
    press(virtual_key_backspace);
    EXPECT_EQ(edit().text(), u"");
    EXPECT_EQ(m_screen->chars, std::vector<String>{u"h"});
    EXPECT_EQ(m_screen->keys.size(), 2u);
}

TEST_F(EditTyping, AnOverlayAboveTheEditGetsTheTyping)
{
    tap(20, 15);
    ASSERT_TRUE(edit().is_focused());
    RecordingScreen overlay(m_skin, u"Overlay");
    app().show_screen(&overlay, true);
    type(u'x');
    EXPECT_EQ(edit().text(), u"");
    EXPECT_EQ(overlay.chars, std::vector<String>{u"x"});
    EXPECT_EQ(game_base().edit_element(), nullptr) << "the hidden edit gave typing up";
    app().close_screen(&overlay);
}

TEST_F(EditTyping, WindowFollowsTheFocusIntoAndOutOfTyping)
{
    tap(20, 15);
    EXPECT_EQ(game_base().edit_element(), &edit());
    auto* other = new Edit(m_screen.get());
    other->focus();
    EXPECT_EQ(game_base().edit_element(), other);
    delete other;
    EXPECT_EQ(game_base().edit_element(), nullptr) << "a destroyed edit is not left behind in the window";
}

TEST_F(EditTypingInDirectMode, TypingRunsOnWindowFramesWithTheEditsOwnCaret)
{
    game_base().set_direct_mode(0);
    ASSERT_NE(game_base().display(), nullptr);
    tap(20, 15);
    ASSERT_TRUE(edit().is_focused());
    EXPECT_EQ(game_base().display(), nullptr) << "typing leaves direct mode";
    EXPECT_FALSE(edit().uses_text_input_window());
    app().update(0.02);
    app().update(0.5);
    EXPECT_TRUE(edit().is_caret_on());
    EXPECT_TRUE(app().needs_frame(false));
    edit().set_visible(false);
    EXPECT_EQ(game_base().edit_element(), nullptr);
    EXPECT_NE(game_base().display(), nullptr) << "and comes back when typing ends";
}
