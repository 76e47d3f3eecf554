#pragma once
// The about screen: the program's logo, name and version; "btnBack" returns.

#include "elements/button.h"
#include "skin/properties.h"

class AboutScreen : public Element, public SkinListener, public ButtonListener {
public:
    // The name and version the screen shows.
    static constexpr const char16_t* application_name = u"Pictavio";
    static constexpr const char16_t* version = u"1.01";

    // Binds "About" (the skin's node errors are not caught).
    explicit AboutScreen(Properties& skin);
    ~AboutScreen() override;
    // Binds "About" again.
    void on_skin_reloaded(Properties& skin) override;
    // "btnBack" closes the screen.
    bool on_click(Button* button, const ButtonEvent& event) override;

private:
    void load_skin();

    Properties& m_skin;
    Button* m_btn_back = nullptr;
};
