// The edit's typing on the text itself (tabs and line breaks the program set
// survive), the focus listener's view of focus changes, and the label_edit's
// caption following its edit.

#include <gtest/gtest.h>
#include <vector>
#include "element_test_support.h"
#include "elements/edit.h"
#include "elements/layout_units.h"
#include "platform/key_codes.h"

namespace {

class EditTyping : public ::testing::Test {
protected:
    void SetUp() override
    {
        edit = new Edit(&root);
        edit->set_font(test_font());
        edit->set_alignment(align_left, align_top);
        edit->set_wrap(true);
        lay_out(root, {200, 60});
        edit->focus();
    }
    void type(StringView text) { edit->on_char({String(text)}); }
    void key(int code) { edit->on_key({code, true, true}); }
    void caret_to_end() { edit->set_caret(static_cast<int>(edit->shown_text().size())); }

    Element root{nullptr};
    Edit* edit = nullptr;
};

class FocusRecorder : public EditFocusListener {
public:
    FocusRecorder() { Edit::set_focus_listener(this); }
    ~FocusRecorder() { Edit::set_focus_listener(nullptr); }
    void on_edit_focus_changed(Edit* edit) override { changes.push_back(edit); }
    std::vector<Edit*> changes;
};

}  // namespace

TEST_F(EditTyping, TypingAtTheEndKeepsTheProgramsTabsAndLineBreaks)
{
    edit->set_text(u"a\tb\r\nc");
    ASSERT_EQ(edit->shown_text(), u"a    b\nc");
    caret_to_end();
    type(u"d");
    EXPECT_EQ(edit->text(), u"a\tb\r\ncd");
    key(key_enter);
    type(u"e");
    EXPECT_EQ(edit->text(), u"a\tb\r\ncd\ne");
    EXPECT_EQ(edit->caret(), static_cast<int>(edit->shown_text().size()));
}

TEST_F(EditTyping, BackspaceTakesATabOrALineBreakPairAsOneCharacter)
{
    edit->set_text(u"a\tb\r\nc");
    caret_to_end();
    key(key_backspace);
    key(key_backspace);
    EXPECT_EQ(edit->text(), u"a\tb") << "\\r\\n goes as one line break";
    key(key_backspace);
    key(key_backspace);
    EXPECT_EQ(edit->text(), u"a");
    EXPECT_EQ(edit->caret(), 1);
}

TEST_F(EditTyping, CaretStepsOverATabAndStopsOnlyAtItsSides)
{
    edit->set_text(u"a\tb");
    edit->set_caret(0);
    key(key_right);
    EXPECT_EQ(edit->caret(), 1);
    key(key_right);
    EXPECT_EQ(edit->caret(), 5) << "over the four spaces in one step";
    key(key_left);
    EXPECT_EQ(edit->caret(), 1);
    // A place among the tab's spaces goes to the nearer side.
    edit->set_caret(2);
    EXPECT_EQ(edit->caret(), 1);
    edit->set_caret(3);
    EXPECT_EQ(edit->caret(), 5);
    type(u"x");
    EXPECT_EQ(edit->text(), u"a\txb");
}

TEST_F(EditTyping, SingleLineEditKeepsLineBreaksItShowsAsSpaces)
{
    edit->set_wrap(false);
    edit->set_text(u"x\r\ny");
    ASSERT_EQ(edit->shown_text(), u"x  y");
    edit->set_caret(1);
    type(u"-");
    EXPECT_EQ(edit->text(), u"x-\r\ny");
    caret_to_end();
    key(key_backspace);
    key(key_backspace);
    EXPECT_EQ(edit->text(), u"x-\r") << "on one line each unit shows as a character of its own";
}

TEST(EditFocus, ListenerHearsEachHolderAndTheEndOfTyping)
{
    FocusRecorder recorder;
    Element root(nullptr);
    auto* first = new Edit(&root);
    auto* second = new Edit(&root);
    first->focus();
    first->focus();
    second->focus();
    EXPECT_EQ(recorder.changes, (std::vector<Edit*>{first, second})) << "no moment without a focused edit";
    first->unfocus();
    EXPECT_EQ(recorder.changes.size(), 2u) << "an edit without the focus has nothing to give up";
    second->set_visible(false);
    EXPECT_EQ(recorder.changes.back(), nullptr);
    first->focus();
    delete first;
    EXPECT_EQ(recorder.changes.back(), nullptr) << "a destroyed edit leaves no typing behind";
    EXPECT_EQ(Edit::focused(), nullptr);
}

TEST(EditFocus, OwnCaretStillBlinksWithAListener)
{
    FocusRecorder recorder;
    Element root(nullptr);
    auto* edit = new Edit(&root);
    edit->focus();
    EXPECT_FALSE(edit->uses_text_input_window());
    edit->update(0.02);
    edit->update(0.5);
    EXPECT_TRUE(edit->is_caret_on());
}

class LabelEditLayout : public SkinTest {};

TEST_F(LabelEditLayout, CaptionIsLaidOverItsEditWhereverTheEditGoes)
{
    load(R"(
node Field {
    string type = "node"
    node {
        string type = "label_edit"
        string id = "name"
        node {
            string type = "edit"
            string id = "#edit"
            point border_min = 10 4
            point border_max = 30 6
        }
        node {
            string type = "text"
            string id = "#text"
        }
    }
}
)");
    auto screen = build(u"Field");
    Element* edit = screen->find_by_id(u"#edit");
    Element* caption = screen->find_by_id(u"#text");
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(caption, nullptr);
    for (Size size : {Size{200, 40}, Size{120, 30}}) {
        lay_out(*screen, size);
        EXPECT_EQ(edit->x(), 10);
        EXPECT_EQ(edit->width(), size.width - 40);
        EXPECT_EQ(caption->x(), edit->x());
        EXPECT_EQ(caption->width(), edit->width());
        EXPECT_EQ(caption->y(), edit->y());
        EXPECT_EQ(caption->height(), edit->height());
    }
}
