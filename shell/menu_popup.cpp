// Menu popups and their rows.

#include "shell/menu_popup.h"

#include "platform/key_codes.h"
#include "shell/application.h"
#include "skin/plexor.h"
#include "skin/properties.h"

namespace {

constexpr StringView disabled_suffix = u"Disabled";
constexpr StringView row_buttons[] = {u"About", u"Help", u"Minimize", u"Exit"};

bool same_keys(const MenuItems& a, const MenuItems& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].key != b[i].key)
            return false;
    return true;
}

}  // namespace

// ---- rows ----

MenuRow::MenuRow(MenuPopup& popup) : ListRow(nullptr), m_popup(popup) {}

void MenuRow::fill(VirtualList& /*list*/, bool /*is_new*/)
{
    const MenuItems& items = m_popup.items();
    if (index() < 0 || index() >= static_cast<int>(items.size()))
        return;
    const MenuItem& item = items[index()];
    const String node = m_popup.item_node(item);
    load_required_node(m_popup.skin(), node);
    set_text_by_id(u"#text", item.text.empty() ? m_popup.skin().translate(item.key) : item.text);
    if (Element* separator = find_by_id(u"separator"))
        separator->set_visible(item.separator);
    if (Element* checked = find_by_id(u"checked"))
        checked->set_visible(item.checked);
    for (StringView id : row_buttons)
        if (auto* button = dynamic_cast<Button*>(find_by_id(id)))
            button->set_listener(this);
}

// Opening a menu may rebuild the rows, this one included, so it waits for
// the next frame instead of running inside the button's click.
bool MenuRow::on_click(Button* button, const ButtonEvent& /*event*/)
{
    m_popup.open_menu_later(button->id(), button->caption());
    return true;
}

// ---- popup ----

MenuPopup::MenuPopup(MenuProvider& owner, Properties& skin, StringView node_name, StringView item_node_name)
    : Element(nullptr), m_owner(owner), m_skin(skin), m_item_node_name(item_node_name)
{
    load_required_node(skin, node_name);
    m_panel = &required_child(u"panel");
    m_panel->set_observer(nullptr);
    m_list = dynamic_cast<VirtualList*>(&required_child(u"vlist"));
    if (!m_list)
        throw plexor::NodeNotFound(id(), u"vlist");
    m_list->set_adapter(this);
    m_caption = find_by_id(u"caption");
    if (m_caption)
        m_caption->set_observer(nullptr);
}

MenuPopup::~MenuPopup()
{
    if (m_list)
        m_list->set_adapter(nullptr);
    close();
}

Element& MenuPopup::required_child(StringView id)
{
    Element* child = find_by_id(id);
    if (!child)
        throw plexor::NodeNotFound(this->id(), String(id));
    return *child;
}

bool MenuPopup::is_shown() const
{
    const Application* app = Application::instance();
    if (!app)
        return false;
    for (int i = 0; i < app->screen_count(); ++i)
        if (app->screen_at(i) == this)
            return true;
    return false;
}

void MenuPopup::close()
{
    if (Application* app = Application::instance())
        app->close_screen(this);
}

void MenuPopup::open_menu(StringView id, StringView caption, bool first)
{
    m_current_id = String(id);
    String caption_text = caption.empty() ? m_skin.translate(id) : String(caption);
    MenuItems old_items = std::move(m_items);
    m_items.clear();
    m_owner.on_menu(*this, id, caption_text, m_items);
    m_caption_text = caption_text;
    if (!first && same_keys(old_items, m_items)) {
        // The same menu again: the rows show the new states, nothing moves.
        for (int i = 0; i < static_cast<int>(m_items.size()); ++i)
            m_list->refresh(i);
    } else {
        m_panel->set_visible(false);
        m_list->reset(static_cast<int>(m_items.size()));
        if (m_items.empty()) {
            close();
            return;
        }
        if (first || !is_shown())
            Application::instance()->show_screen(this, true);
        m_panel->show_animated(true);
    }
    if (m_caption)
        m_caption->set_text_by_id(m_caption->id(), m_caption_text);
}

void MenuPopup::open_menu_later(StringView id, StringView caption)
{
    m_deferred_id = String(id);
    m_deferred_caption = String(caption);
    m_has_deferred = true;
}

void MenuPopup::update(double seconds)
{
    Element::update(seconds);
    if (m_has_deferred) {
        m_has_deferred = false;
        open_menu(m_deferred_id, m_deferred_caption, false);
    }
}

bool MenuPopup::on_key(const KeyEvent& event)
{
    if (event.key == key_backspace && event.pressed) {
        close();
        return true;
    }
    return Element::on_key(event);
}

String MenuPopup::item_node(const MenuItem& item) const
{
    String node = item.node.empty() ? m_item_node_name : item.node;
    if (!item.enabled)
        node += disabled_suffix;
    return node;
}

// A missing node is reported before the row exists, so that nothing is left
// half made when the error leaves the list.
ListRow* MenuPopup::create_row(VirtualList& /*list*/, int index)
{
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return nullptr;
    const String node = item_node(m_items[index]);
    if (!m_skin.find_node(node))
        throw plexor::NodeNotFoundInSkin(node);
    return new MenuRow(*this);
}

void MenuPopup::on_row_activated(VirtualList& /*list*/, int index)
{
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return;
    const MenuItem item = m_items[index];
    if (item.enabled)
        open_menu(item.key, item.text, false);
}
