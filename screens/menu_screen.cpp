#include "screens/menu_screen.h"

#include "platform/log.h"
#include "platform/paths.h"
#include "screens/about_screen.h"
#include "screens/required_element.h"
#include "shell/application.h"
#include "shell/game_base.h"
#include "skin/plexor.h"

namespace {

Button* required_button(Element& owner, StringView id, ButtonListener* listener)
{
    auto* button = required<Button>(owner, id);
    button->set_listener(listener);
    return button;
}

}  // namespace

MenuScreen::MenuScreen(Properties& skin) : Element(nullptr), SkinListener(skin), m_skin(skin)
{
    set_visible(false);
    log() << "menu form\n";
    load_skin();
    m_about_screen = std::make_unique<AboutScreen>(skin);
    m_popup = std::make_unique<MenuPopup>(*this, skin, u"Menu", u"MenuElement");
}

MenuScreen::~MenuScreen()
{
    if (Application* app = Application::instance())
        app->close_screen(this);
}

void MenuScreen::load_skin()
{
    load_required_node(m_skin, u"MenuForm");
    m_btn_back = required_button(*this, u"btnBack", this);
    m_btn_exit = required_button(*this, u"btnExit", this);
    m_btn_collapse = required_button(*this, u"btnCollapse", this);
    m_btn_help = required_button(*this, u"btnHelp", this);
    m_btn_about = required_button(*this, u"btnAbout", this);
    m_btn_language = required_button(*this, u"btnLanguage", this);
    m_btn_back->set_caption(m_skin.translate(u"Back"));
    m_btn_exit->set_caption(m_skin.translate(u"Exit"));
    m_btn_collapse->set_caption(m_skin.translate(u"Minimize"));
    m_btn_help->set_caption(m_skin.translate(u"Help"));
    m_btn_about->set_caption(m_skin.translate(u"About"));
    m_btn_language->set_caption(m_skin.translate(u"Language"));
}

void MenuScreen::on_skin_reloaded(Properties&)
{
    load_skin();
}

String MenuScreen::help_path() const
{
    return u"%app_path%/" + m_skin.translate(u"Help_link");
}

bool MenuScreen::on_click(Button* button, const ButtonEvent&)
{
    Application* app = Application::instance();
    GameBase* base = GameBase::instance();
    if (button == m_btn_back && app) {
        app->close_screen(this);
    } else if (button == m_btn_exit && base) {
        base->windows().post_quit_message(0);
    } else if (button == m_btn_collapse && base) {
        base->minimise();
    } else if (button == m_btn_help) {
        if (!execute_file(help_path(), u""))
            log() << "MenuScreen::on_click help not opened " << help_path() << "\n";
    } else if (button == m_btn_about && app) {
        app->show_screen(m_about_screen.get(), false);
    } else if (button == m_btn_language) {
        m_popup->open_menu(u"Language", u"", true);
    }
    return true;
}

void MenuScreen::on_menu(MenuPopup&, StringView id, String&, MenuItems& items)
{
    std::vector<MenuEntry> entries;
    const bool changed =
        m_skin.translations().handle_language_command(AboutScreen::application_name, id, entries, u"MenuElement");
    items.clear();
    for (const MenuEntry& entry : entries) {
        MenuItem item;
        item.key = entry.command;
        item.text = entry.caption;
        item.node = entry.node_name;
        item.checked = entry.checked;
        items.push_back(item);
    }
    // Every screen binds its node again and takes the new texts.
    if (changed)
        m_skin.send_reload_skin();
}
