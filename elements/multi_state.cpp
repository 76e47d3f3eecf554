#include "elements/multi_state.h"

#include <algorithm>
#include "elements/attributes.h"
#include "skin/plexor.h"
#include "skin/properties.h"

void MultiStateListener::on_state_changed(MultiState*, bool) {}

MultiState::MultiState(Element* parent) : Element(parent) {}

// Every state needs its button; a state count below 1 would leave nothing
// to show and nothing to step through, so at least one state is kept.
void MultiState::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_count = std::max(skin.get_int(node, u"states", 2), 1);
    m_caption = get_translated(skin, node, u"text");
    m_buttons.clear();
    for (int i = 0; i < m_count; ++i) {
        String wanted = u"#state_" + to_string16(i);
        Button* button = dynamic_cast<Button*>(find_by_id(wanted));
        if (!button)
            throw plexor::NodeNotFound(id(), wanted);
        m_buttons.push_back(button);
    }
    m_current = 0;
    for (int i = 0; i < m_count; ++i) {
        m_buttons[i]->set_listener(this);
        m_buttons[i]->set_visible(i == m_current);
    }
    m_buttons[m_current]->set_caption(m_caption);
}

void MultiState::set_state(int index, bool flag)
{
    if (index == m_current || index < 0 || index >= static_cast<int>(m_buttons.size()))
        return;
    m_buttons[m_current]->set_visible(false);
    m_current = index;
    m_buttons[m_current]->set_caption(m_caption);
    m_buttons[m_current]->set_visible(true);
    if (m_listener)
        m_listener->on_state_changed(this, flag);
}

void MultiState::next_state(bool flag)
{
    if (m_buttons.empty())
        return;
    set_state((m_current + 1) % static_cast<int>(m_buttons.size()), flag);
}

void MultiState::set_caption(StringView text)
{
    m_caption = String(text);
    if (!m_buttons.empty())
        m_buttons[m_current]->set_caption(m_caption);
}

// Only the shown state button counts; a listener takes the decision over.
bool MultiState::on_click(Button* button, const ButtonEvent&)
{
    if (m_buttons.empty() || button != m_buttons[m_current])
        return false;
    if (m_listener)
        return m_listener->on_click(this, true);
    next_state(true);
    return true;
}
