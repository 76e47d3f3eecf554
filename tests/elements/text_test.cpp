// Line layout with wrapping and corners, text measuring, drag limits, and
// the edit's caret, keys, typed text and blinking on a simulated clock.

#include <gtest/gtest.h>
#include "element_test_support.h"
#include "elements/edit.h"
#include "elements/layout_units.h"
#include "elements/text_element.h"
#include "elements/virtual_list.h"
#include "pixels/render_draw.h"
#include "platform/key_codes.h"

namespace {

const char16_t* sentence = u"The quick brown fox jumps over the lazy dog and keeps running far away";

TextElement* add_text(Element& parent, StringView text, bool wrap)
{
    auto* element = new TextElement(&parent);
    element->set_font(test_font());
    element->set_wrap(wrap);
    element->set_alignment(align_left, align_top);
    element->set_text(text);
    return element;
}

StringView line_text(const TextElement& text, const TextLine& line)
{
    return StringView(text.shown_text()).substr(static_cast<size_t>(line.first), static_cast<size_t>(line.count));
}

}  // namespace

TEST(TextLayout, WrapsAtSpacesWithinTheWidth)
{
    Element root(nullptr);
    TextElement* text = add_text(root, sentence, true);
    lay_out(root, {120, 300});
    ASSERT_GT(text->lines().size(), 2u);
    String joined;
    for (const TextLine& line : text->lines()) {
        EXPECT_LE(line.width, 120);
        StringView shown = line_text(*text, line);
        EXPECT_NE(shown.front(), u' ');
        EXPECT_NE(shown.back(), u' ');
        EXPECT_EQ(line.width, text->font()->measure(shown).width);
        joined += String(shown) + u" ";
    }
    EXPECT_EQ(joined, String(sentence) + u" ");
    EXPECT_EQ(text->text_height(), static_cast<int>(text->lines().size()) * text->font()->line_height());
}

TEST(TextLayout, LineBreaksTabsAndLongWords)
{
    Element root(nullptr);
    TextElement* text = add_text(root, u"\n\nab\tc\r\nWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW", true);
    lay_out(root, {60, 300});
    ASSERT_GE(text->lines().size(), 5u);
    EXPECT_EQ(text->lines()[0].count, 0);
    EXPECT_EQ(text->lines()[1].count, 0);
    EXPECT_EQ(line_text(*text, text->lines()[2]), u"ab    c");
    for (size_t i = 3; i < text->lines().size(); ++i) {
        EXPECT_GT(text->lines()[i].count, 0);
        EXPECT_LE(text->lines()[i].width, 60);
    }
    // On one line each carriage return and each line feed is a space.
    text->set_wrap(false);
    EXPECT_EQ(text->lines().size(), 1u);
    EXPECT_EQ(text->shown_text().substr(0, 11), u"  ab    c  ");
}

class TextMeasuring : public SkinTest {};

// A row of a wrapping text and a fixed box narrower than the text's one
// line: the text wraps, and once wrapped it asks for no more than its lines,
// so the box keeps its own width.
TEST_F(TextMeasuring, WrappedTextInANarrowerRowLeavesItsNeighbourItsRoom)
{
    load(R"(
font body = "9 0 0 0 DejaVu Sans"
node Screen {
    string type = "node"
    node {
        string type = "htable"
        string id = "row"
        node {
            string type = "text"
            string id = "words"
            font font = body
            int wrap = 1
            int grow_min = 1
        }
        node {
            string type = "color"
            string id = "box"
            point design_size = 20 10
        }
    }
}
)");
    auto screen = build(u"Screen");
    auto* words = dynamic_cast<TextElement*>(screen->find_by_id(u"words"));
    ASSERT_NE(words, nullptr);
    words->set_text(sentence);
    ASSERT_GT(words->text_width(), 300) << "one line before any layout";
    lay_out(*screen, {200, 100});
    EXPECT_GT(words->lines().size(), 1u);
    Element* row = screen->find_by_id(u"row");
    EXPECT_EQ(row->measured_width().natural, words->text_width() + 20) << "the wrapped lines count";
    lay_out(*screen, {210, 100});
    EXPECT_GT(words->lines().size(), 1u);
    EXPECT_LE(words->text_width(), words->width());
    EXPECT_EQ(screen->find_by_id(u"box")->width(), 20);
}

TEST(TextScrolling, SingleLineDragStaysWithinItsWidth)
{
    Element root(nullptr);
    TextElement* text = add_text(root, sentence, false);
    text->set_anchors(MIN_SIDE, MIN_SIDE);
    text->set_design_size({100, 20});
    lay_out(root, {200, 100});
    ASSERT_GT(text->text_width(), 100);
    ASSERT_TRUE(text->can_scroll());
    root.on_stylus(pen_down(50, 10, 0));
    root.on_stylus_move({80, 10, 10});
    root.on_stylus_move({95, 10, 20});
    EXPECT_EQ(text->scroll_x(), 0) << "never to the right of its start";
    for (int step = 1; step <= 100; ++step)
        root.on_stylus_move({95 - step * 20, 10, 20 + step * 10});
    EXPECT_EQ(text->scroll_x(), -text->text_width());
    root.on_stylus(pen_up(0, 10, 2000));
    EXPECT_EQ(text->scroll_y(), 0.0);
}

TEST(TextScrolling, ShortTextLeavesThePenToItsParent)
{
    Element root(nullptr);
    TextElement* text = add_text(root, u"Hi", false);
    lay_out(root, {200, 100});
    EXPECT_FALSE(text->can_scroll());
    EXPECT_FALSE(root.on_stylus(pen_down(10, 10)));
}

TEST(TextScrolling, LongTextInAListRowLeavesThePenToTheRowAndEndsInAnEllipsis)
{
    FixedRow row(20);
    TextElement* text = add_text(row, sentence, false);
    text->set_anchors(MIN_SIDE, MIN_SIDE);
    text->set_design_size({100, 20});
    lay_out(row, {200, 20});
    ASSERT_GT(text->text_width(), 100);
    EXPECT_TRUE(text->in_list_row());
    EXPECT_FALSE(text->can_scroll());
    EXPECT_FALSE(row.on_stylus(pen_down(50, 10, 0))) << "the row sees the tap";
    row.on_stylus_move({10, 10, 10});
    EXPECT_EQ(text->scroll_x(), 0);

    // Drawn, the line stops inside the text's rectangle with an ellipsis:
    // the same pixels as the text cut to fit and ended with one.
    RenderSurface shown({200, 20});
    fill_rect(shown, {0, 0, 200, 20}, 0xFFFF);
    text->draw(shown, {0, 0});
    RenderSurface expected({200, 20});
    fill_rect(expected, {0, 0, 200, 20}, 0xFFFF);
    draw_text(expected, test_font(), text->color(), sentence, {0, 0, 100, 20}, align_left, align_top, false);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(shown.buffer()->at(x, y), expected.buffer()->at(x, y)) << x << "," << y;
}

class EditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        edit = new Edit(&root);
        edit->set_font(test_font());
        edit->set_alignment(align_left, align_top);
        lay_out(root, {200, 40});
    }
    void type(StringView text) { edit->on_char({String(text)}); }
    bool key(int code) { return edit->on_key({code, true, true}); }

    Element root{nullptr};
    Edit* edit = nullptr;
};

TEST_F(EditTest, PenFocusesThenMovesTheCaret)
{
    EXPECT_FALSE(edit->on_char({u"x"})) << "an edit without focus takes no text";
    root.on_stylus(pen_down(5, 5));
    root.on_stylus(pen_up(5, 5));
    EXPECT_TRUE(edit->is_focused());
    type(u"hello");
    EXPECT_EQ(edit->text(), u"hello");
    EXPECT_EQ(edit->caret(), 5);
    root.on_stylus(pen_down(0, 5));
    root.on_stylus(pen_up(0, 5));
    EXPECT_EQ(edit->caret(), 0);
    Edit* other = new Edit(&root);
    other->focus();
    EXPECT_FALSE(edit->is_focused());
    other->set_visible(false);
    EXPECT_EQ(Edit::focused(), nullptr);
}

TEST_F(EditTest, KeysMoveAndDelete)
{
    edit->focus();
    type(u"abc");
    EXPECT_TRUE(key(key_left));
    EXPECT_TRUE(key(key_backspace));
    EXPECT_EQ(edit->text(), u"ac");
    EXPECT_EQ(edit->caret(), 1);
    EXPECT_TRUE(key(key_right));
    EXPECT_TRUE(key(key_right));
    EXPECT_EQ(edit->caret(), 2);
    EXPECT_TRUE(key(key_enter));
    EXPECT_EQ(edit->text(), u"ac");
    EXPECT_FALSE(key(key_a));
    EXPECT_FALSE(edit->on_key({key_left, false, true}));
    for (int i = 0; i < 5; ++i)
        key(key_backspace);
    EXPECT_EQ(edit->text(), u"");
    EXPECT_EQ(edit->caret(), 0);
}

TEST_F(EditTest, ASurrogatePairMovesAndDeletesAsOneCharacter)
{
    edit->focus();
    type(u"a\U0001F600b");
    ASSERT_EQ(edit->caret(), 4);
    EXPECT_TRUE(key(key_left));
    EXPECT_TRUE(key(key_left));
    EXPECT_EQ(edit->caret(), 1) << "over the pair in one step";
    EXPECT_TRUE(key(key_right));
    EXPECT_EQ(edit->caret(), 3);
    EXPECT_TRUE(key(key_backspace));
    EXPECT_EQ(edit->text(), u"ab") << "both halves go";
    EXPECT_EQ(edit->caret(), 1);
    // A lone half is one character of its own.
    edit->set_text(String{u'x', char16_t(0xDE00)});
    key(key_right);
    key(key_right);
    key(key_backspace);
    EXPECT_EQ(edit->text(), u"x");
}

TEST_F(EditTest, UpAndDownMoveBetweenLines)
{
    edit->set_wrap(true);
    edit->focus();
    type(u"first");
    key(key_enter);
    type(u"second line");
    EXPECT_EQ(edit->lines().size(), 2u);
    key(key_up);
    EXPECT_LE(edit->caret(), 5);
    key(key_up);
    EXPECT_EQ(edit->caret(), 0);
    key(key_down);
    key(key_down);
    EXPECT_EQ(edit->caret(), static_cast<int>(edit->text().size()));
}

TEST_F(EditTest, CaretBlinksOnTheFrameClock)
{
    edit->update(0.3);
    EXPECT_FALSE(edit->is_caret_on());
    edit->focus();
    edit->update(0.02);  // the timer wraps: off at the start of a period
    EXPECT_FALSE(edit->is_caret_on());
    edit->update(0.45);
    EXPECT_FALSE(edit->is_caret_on());
    edit->update(0.05);
    EXPECT_TRUE(edit->is_caret_on());
    edit->update(0.49);
    EXPECT_TRUE(edit->is_caret_on());
    edit->update(0.02);
    EXPECT_FALSE(edit->is_caret_on());
    edit->unfocus();
    edit->update(0.6);
    EXPECT_FALSE(edit->is_caret_on());
}
