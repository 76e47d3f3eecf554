#include "screens/about_screen.h"

#include "platform/log.h"
#include "shell/application.h"
#include "skin/plexor.h"

AboutScreen::AboutScreen(Properties& skin) : Element(nullptr), SkinListener(skin), m_skin(skin)
{
    set_visible(false);
    log() << "about form\n";
    load_skin();
}

AboutScreen::~AboutScreen()
{
    if (Application* app = Application::instance())
        app->close_screen(this);
}

void AboutScreen::load_skin()
{
    load_required_node(m_skin, u"About");
    m_btn_back = dynamic_cast<Button*>(find_by_id(u"btnBack"));
    if (!m_btn_back)
        throw plexor::NodeNotFound(id(), u"btnBack");
    m_btn_back->set_listener(this);
    set_text_by_id(u"appName", application_name);
    set_text_by_id(u"version", m_skin.translate(u"Version") + u" " + version);
}

void AboutScreen::on_skin_reloaded(Properties&)
{
    load_skin();
}

bool AboutScreen::on_click(Button* button, const ButtonEvent&)
{
    if (button == m_btn_back)
        if (Application* app = Application::instance())
            app->close_screen(this);
    return true;
}
