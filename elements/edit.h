#pragma once
// "edit": a text that takes keys and typed characters at its own caret;
// "label_edit": a container linking an edit box with its caption text.

#include "elements/text_element.h"

class Edit;

// The platform's text input window, when the application has one: it takes
// over typing for the focused edit.
class TextInputWindow {
public:
    // The edit got the focus: show the input window for it.
    virtual void open(Edit& edit) = 0;
    // The edit lost the focus or disappeared.
    virtual void close(Edit& edit) = 0;
    // The selection of the focused edit, in characters.
    virtual void set_selection(Edit& edit, int start, int end) = 0;

protected:
    ~TextInputWindow() = default;
};

// Told when the focus moves between edits, so that the application can make
// its window ready for typing (elements know nothing of the window).
class EditFocusListener {
public:
    // edit took the focus; null: no edit holds it any more.
    virtual void on_edit_focus_changed(Edit* edit) = 0;

protected:
    ~EditFocusListener() = default;
};

class Edit : public TextElement {
public:
    explicit Edit(Element* parent);
    ~Edit() override;

    // The text attributes, then "background_color".
    void bind(Properties& skin, const SkinNode* node) override;
    // The text's set_text, then the listener hears of the change.
    void set_text(StringView text) override;
    // Blinks the caret of the focused edit.
    void update(double seconds) override;
    // Hiding the focused edit gives the focus up.
    void on_visibility_changed(bool visible, bool effective) override;
    // Places the children and keeps the caret in view.
    void layout_vertical() override;
    // Pen-down focuses the edit, or moves the caret of the focused one.
    bool on_stylus(const StylusEvent& event) override;
    // Caret keys, Backspace and Enter of the focused edit.
    bool on_key(const KeyEvent& event) override;
    // Inserts typed text at the caret of the focused edit.
    bool on_char(const CharEvent& event) override;
    // Background, text, then the caret.
    void draw_content(DrawTarget& target, Point origin) override;

    // Passes a selection to the platform text input window when it is in use.
    void set_selection(int start, int end);
    // Makes this the focused edit (opening the platform input when there is one).
    void focus();
    // Gives the focus up if this edit holds it.
    void unfocus();
    bool is_focused() const { return focused_edit == this; }
    // Caret position in characters of the shown text.
    int caret() const;
    // Puts the caret at the character boundary nearest to a position in the shown text.
    void set_caret(int caret);
    bool is_caret_on() const { return m_caret_on; }
    bool uses_text_input_window() const { return m_uses_text_input; }

    // The focused edit of the application, or null.
    static Edit* focused() { return focused_edit; }
    // Installs the platform text input window (null: edits use their own caret).
    static void set_text_input_window(TextInputWindow* window) { text_input_window = window; }
    // Installs the listener told of focus changes (null: none).
    static void set_focus_listener(EditFocusListener* listener) { focus_listener = listener; }

private:
    // Gives the focus up without telling the focus listener.
    void release_focus();
    // Line holding the caret (the last line for a caret at the end).
    size_t caret_line() const;
    // Caret position (element coordinates, before scrolling) of a character index.
    Point caret_point(int caret) const;
    // Character index nearest to a point in element coordinates.
    int caret_at(Point point) const;
    void move_caret_by_line(int lines);
    // Caret at a position in the text.
    void place_caret(int position);
    void insert_at_caret(StringView typed);
    void erase_before_caret();
    // The new text with the caret at a position in it.
    void replace_text(String edited, int caret);

    static inline Edit* focused_edit = nullptr;
    static inline TextInputWindow* text_input_window = nullptr;
    static inline EditFocusListener* focus_listener = nullptr;

    Color m_background{0, 0, 0, 255};
    int m_caret = 0;  // position in the text, not in the shown text
    double m_blink = 1.0;
    bool m_caret_on = false;
    bool m_uses_text_input = false;
};

class LabelEdit : public Element, private TextChangeListener, private ElementObserver {
public:
    explicit LabelEdit(Element* parent);

    // Base attributes and children; requires "#edit" and "#text".
    void bind(Properties& skin, const SkinNode* node) override;
    // Every child but the caption by its anchors: the caption goes with the edit.
    void layout_horizontal() override;
    void layout_vertical() override;

    Edit* edit() const { return m_edit; }
    Element* label() const { return m_label; }

private:
    // The caption stands in the edit while the edit is empty.
    void on_text_changed(TextElement* element) override;
    // The caption is laid over the edit wherever the edit is placed.
    void on_width_changed(Element* element, int width) override;
    void on_height_changed(Element* element, int height) override;

    Edit* m_edit = nullptr;
    Element* m_label = nullptr;
};
