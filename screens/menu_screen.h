#pragma once
// The menu screen: back, language, help, about, minimise and exit. The
// language button opens a popup of the installed languages; choosing one
// rebuilds every screen with the new texts.

#include <memory>
#include <vector>
#include "elements/button.h"
#include "shell/menu_popup.h"
#include "skin/properties.h"

class AboutScreen;

class MenuScreen : public Element, public SkinListener, public ButtonListener, public MenuProvider {
public:
    // Binds "MenuForm" (the skin's node errors are not caught) and builds the about screen.
    explicit MenuScreen(Properties& skin);
    ~MenuScreen() override;
    // Binds "MenuForm" again.
    void on_skin_reloaded(Properties& skin) override;
    // The six buttons.
    bool on_click(Button* button, const ButtonEvent& event) override;
    // The language menu ("Language") and the choice of a language; the number of items.
    void on_menu(MenuPopup& popup, StringView id, String& caption, MenuItems& items) override;
    // The page the help button opens: "%app_path%/" and the language's "Help_link".
    String help_path() const;

    AboutScreen& about_screen() const { return *m_about_screen; }
    MenuPopup& popup() const { return *m_popup; }

private:
    void load_skin();

    Properties& m_skin;
    Button* m_btn_back = nullptr;
    Button* m_btn_exit = nullptr;
    Button* m_btn_collapse = nullptr;
    Button* m_btn_help = nullptr;
    Button* m_btn_about = nullptr;
    Button* m_btn_language = nullptr;
    std::unique_ptr<AboutScreen> m_about_screen;
    std::unique_ptr<MenuPopup> m_popup;
};
