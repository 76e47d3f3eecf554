#pragma once
// Menu popups: a small overlay screen listing menu items in a virtual list.
// The items are not in the skin: each time a menu opens, the popup asks its
// owner for the caption and the items of a menu id. Choosing an item opens
// the menu named by the item's key, so submenus, confirmations and actions
// all go the same way; an id without items closes the popup.

#include <vector>
#include "elements/button.h"
#include "elements/virtual_list.h"
#include "platform/text.h"

class MenuPopup;
class Properties;

// One menu entry as the owner describes it.
struct MenuItem {
    // The item's id; also the language key of its text.
    String key;
    // Shown text; empty: the translation of key.
    String text;
    // Free for the owner; the popup does not read it.
    String extra;
    // Skin node that draws the item; empty: the popup's default item node.
    String node;
    // A disabled item is drawn from its node name + "Disabled" and cannot be chosen.
    bool enabled = true;
    // Shows the item's "separator" child.
    bool separator = false;
    // Shows the item's "checked" child.
    bool checked = false;
};

using MenuItems = std::vector<MenuItem>;

// The owner of a popup: says what each menu id holds.
class MenuProvider {
public:
    virtual ~MenuProvider() = default;
    // Fills items for menu id (and may change the caption); no items closes the popup.
    virtual void on_menu(MenuPopup& popup, StringView id, String& caption, MenuItems& items) = 0;
};

// A list row showing one menu item.
class MenuRow : public ListRow, public ButtonListener {
public:
    explicit MenuRow(MenuPopup& popup);
    // Loads the item's node and shows its text, separator and check mark.
    void fill(VirtualList& list, bool is_new) override;
    // The "About", "Help", "Minimize" and "Exit" buttons open the menu of their id.
    bool on_click(Button* button, const ButtonEvent& event) override;

private:
    MenuPopup& m_popup;
};

class MenuPopup : public Element, public ListAdapter {
public:
    // Loads node_name ("panel" and "vlist" required, "caption" optional);
    // item_node_name draws items without a node of their own.
    MenuPopup(MenuProvider& owner, Properties& skin, StringView node_name, StringView item_node_name);
    ~MenuPopup() override;

    // Opens menu id (caption empty: the translation of id); first: not on screen yet.
    void open_menu(StringView id, StringView caption, bool first);
    // Takes the popup off the screen stack.
    void close();
    // Backspace closes the popup.
    bool on_key(const KeyEvent& event) override;
    // Runs a menu opening asked for by a row's button (never from inside its click).
    void update(double seconds) override;

    ListRow* create_row(VirtualList& list, int index) override;
    // An enabled item opens the menu of its key.
    void on_row_activated(VirtualList& list, int index) override;

    // Asks for the menu id to be opened at the next frame, with the caption (empty: its translation).
    void open_menu_later(StringView id, StringView caption);
    const MenuItems& items() const { return m_items; }
    const String& caption_text() const { return m_caption_text; }
    const String& current_id() const { return m_current_id; }
    Properties& skin() const { return m_skin; }
    const String& item_node_name() const { return m_item_node_name; }
    // The node that draws item: its own or the default, + "Disabled" when disabled.
    String item_node(const MenuItem& item) const;
    VirtualList& list() const { return *m_list; }
    Element& panel() const { return *m_panel; }
    Element* caption() const { return m_caption; }
    // Whether the popup is on the screen stack.
    bool is_shown() const;

private:
    Element& required_child(StringView id);

    MenuProvider& m_owner;
    Properties& m_skin;
    String m_item_node_name;
    Element* m_caption = nullptr;
    Element* m_panel = nullptr;
    VirtualList* m_list = nullptr;
    MenuItems m_items;
    String m_caption_text;
    String m_current_id;
    String m_deferred_id;
    String m_deferred_caption;
    bool m_has_deferred = false;
};
