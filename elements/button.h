#pragma once
// "button": turns pen taps and one bound key into clicks, shows a normal,
// pressed or disabled look and carries a caption for its "#text" descendant.

#include "elements/element.h"

class Button;

// What a button tells the screen that drives it.
struct ButtonEvent {
    Point point;
    bool flag = false;
};

struct ButtonDrag {
    Point point;
    Point delta;  // in: the movement; out: the part the listener used
};

class ButtonListener {
public:
    // A press ended over the enabled button without a cancel; the result is the button's.
    virtual bool on_click(Button* button, const ButtonEvent& event) = 0;
    // Pressed turned on or off; flag: disabled, else the pen event's cancel flag.
    virtual void on_press_changed(Button* button, const ButtonEvent& event);
    // The pen holds the button: (0, 0) on pen-down, then each movement.
    virtual void on_drag(Button* button, ButtonDrag& drag);

protected:
    ~ButtonListener() = default;
};

class Button : public Element {
public:
    explicit Button(Element* parent);

    // Base attributes, then the looks, "bind_key" and the caption from "text".
    void bind(Properties& skin, const SkinNode* node) override;
    // Base behaviour, then the look follows the new state.
    void on_enabled_changed(bool enabled, bool effective) override;
    // Reports the pen's movement to the listener while the pen holds the button.
    void on_stylus_move(const StylusMove& move) override;
    // Presses or releases by pen; always takes the pen.
    bool on_stylus(const StylusEvent& event) override;
    // Presses or releases by the bound key.
    bool on_key(const KeyEvent& event) override;

    // Shows text in the "#text" descendant; nothing happens for the same text.
    void set_caption(StringView text);
    const String& caption() const { return m_caption; }
    void set_listener(ButtonListener* listener) { m_listener = listener; }
    ButtonListener* listener() const { return m_listener; }
    // The key code that presses the button (0 = none).
    int bound_key() const { return m_bound_key; }
    void set_bound_key(int key) { m_bound_key = key; }
    // Pressed by the pen, the key or another source.
    bool is_pressed() const { return m_pen_pressed || m_key_pressed || m_other_pressed; }

protected:
    // A third press source for derived kinds; returns the state change's result.
    bool set_other_pressed(bool pressed, Point point);

private:
    bool state_changed(bool was_pressed, bool cancelled, Point point);
    void apply_look();

    ButtonListener* m_listener = nullptr;
    Element* m_normal_look = nullptr;
    Element* m_pressed_look = nullptr;
    Element* m_disabled_look = nullptr;
    int m_bound_key = 0;
    String m_caption;
    bool m_pen_pressed = false;
    bool m_key_pressed = false;
    bool m_other_pressed = false;
    Point m_last_pen;
};
