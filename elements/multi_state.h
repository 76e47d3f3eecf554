#pragma once
// "checkbox": a multi-state element that shows one of N state buttons
// ("#state_0" ...) and steps to the next state when the shown one is clicked.

#include <vector>
#include "elements/button.h"

class MultiState;

class MultiStateListener {
public:
    // The shown state button was clicked; the listener decides what follows.
    virtual bool on_click(MultiState* element, bool flag) = 0;
    // The current state changed.
    virtual void on_state_changed(MultiState* element, bool flag);

protected:
    ~MultiStateListener() = default;
};

class MultiState : public Element, private ButtonListener {
public:
    explicit MultiState(Element* parent);

    // Base attributes; "states", the caption and the required state buttons.
    void bind(Properties& skin, const SkinNode* node) override;

    // Shows state index (0 <= index < count); the listener hears of a change.
    void set_state(int index, bool flag);
    // Steps to the next state, after the last back to 0.
    void next_state(bool flag);
    int state() const { return m_current; }
    int state_count() const { return m_count; }
    // The caption shown by the current state button.
    void set_caption(StringView text);
    void set_listener(MultiStateListener* listener) { m_listener = listener; }

private:
    bool on_click(Button* button, const ButtonEvent& event) override;

    MultiStateListener* m_listener = nullptr;
    int m_count = 2;
    std::vector<Button*> m_buttons;
    int m_current = 0;
    String m_caption;
};
