// Menu popups: opening, refreshing in place, closing on an empty item list,
// disabled items and the Backspace key.

#include "app_test_support.h"

#include <map>
#include "elements/button.h"
#include "shell/menu_popup.h"
#include "skin/plexor.h"

namespace {

// Menus by id; counts the questions it was asked.
class TestMenus : public MenuProvider {
public:
    void on_menu(MenuPopup&, StringView id, String& caption, MenuItems& items) override
    {
        asked.push_back(String(id));
        auto found = menus.find(String(id));
        if (found != menus.end())
            items = found->second;
        if (id == u"Renamed")
            caption = u"New caption";
    }
    std::map<String, MenuItems> menus;
    std::vector<String> asked;
};

MenuItem item(StringView key, bool enabled = true)
{
    MenuItem result;
    result.key = String(key);
    result.enabled = enabled;
    return result;
}

class Menus : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        m_menus.menus[u"Main"] = {item(u"Help"), item(u"Language"), item(u"Exit", false)};
        m_menus.menus[u"Language"] = {item(u"English"), item(u"Deutsch")};
        m_popup = std::make_unique<MenuPopup>(m_menus, m_skin, u"Menu", u"MenuElement");
        m_screen = std::make_unique<RecordingScreen>(m_skin, u"PlainScreen");
        app().show_screen(m_screen.get(), false);
    }
    void TearDown() override
    {
        m_popup.reset();
        m_screen.reset();
        AppTest::TearDown();
    }
    // Runs frames so that the list creates its rows.
    void frames(int count = 3)
    {
        for (int i = 0; i < count; ++i) {
            app().update(0.02);
            render_frame();
        }
    }
    MenuRow* row(int index)
    {
        for (const auto& each : m_popup->list().rows())
            if (each->index() == index)
                return dynamic_cast<MenuRow*>(each.get());
        return nullptr;
    }

    TestMenus m_menus;
    std::unique_ptr<MenuPopup> m_popup;
    std::unique_ptr<RecordingScreen> m_screen;
};

}  // namespace

TEST_F(Menus, OpeningShowsTheItemsAsAnOverlayWithTheTranslatedCaption)
{
    m_popup->open_menu(u"Main", u"", true);
    EXPECT_EQ(app().top_screen(), m_popup.get());
    EXPECT_TRUE(app().is_overlay_at(1));
    EXPECT_EQ(m_popup->list().count(), 3);
    EXPECT_EQ(m_popup->caption_text(), u"Main") << "no language file: the key itself";
    frames();
    ASSERT_NE(row(0), nullptr);
    EXPECT_TRUE(m_popup->panel().is_visible());
}

TEST_F(Menus, OwnerMayChangeTheCaption)
{
    m_menus.menus[u"Renamed"] = {item(u"One")};
    m_popup->open_menu(u"Renamed", u"Old caption", true);
    EXPECT_EQ(m_popup->caption_text(), u"New caption");
}

TEST_F(Menus, OpeningTheSameMenuAgainRefreshesTheRowsInPlace)
{
    m_popup->open_menu(u"Main", u"", true);
    frames();
    MenuRow* first = row(0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->find_by_id(u"checked"), nullptr);
    EXPECT_FALSE(first->find_by_id(u"checked")->is_visible());
    m_menus.menus[u"Main"][0].checked = true;
    m_popup->open_menu(u"Main", u"", false);
    EXPECT_EQ(row(0), first) << "the list was not reset";
    EXPECT_TRUE(first->find_by_id(u"checked")->is_visible()) << "the row shows the new state";
    EXPECT_EQ(app().screen_count(), 2) << "the popup was not shown a second time";
}

TEST_F(Menus, ChoosingAnItemOpensItsMenuAndResetsTheList)
{
    m_popup->open_menu(u"Main", u"", true);
    frames();
    m_popup->list().set_offset(5.0);
    m_popup->on_row_activated(m_popup->list(), 1);
    EXPECT_EQ(m_menus.asked.back(), u"Language");
    EXPECT_EQ(m_popup->list().count(), 2);
    EXPECT_EQ(m_popup->current_id(), u"Language");
    EXPECT_EQ(m_popup->list().offset(), 0.0) << "a new menu starts at the top";
    frames();
    EXPECT_NE(row(0), nullptr);
    EXPECT_EQ(row(2), nullptr);
    EXPECT_EQ(app().screen_count(), 2);
}

TEST_F(Menus, AnItemWithoutAMenuClosesThePopup)
{
    m_popup->open_menu(u"Main", u"", true);
    frames();
    m_popup->on_row_activated(m_popup->list(), 0);
    EXPECT_EQ(m_menus.asked.back(), u"Help");
    EXPECT_EQ(app().top_screen(), m_screen.get());
    EXPECT_FALSE(m_popup->is_shown());
}

TEST_F(Menus, DisabledItemsUseTheirOwnNodeAndIgnoreTaps)
{
    m_popup->open_menu(u"Main", u"", true);
    frames();
    MenuRow* disabled = row(2);
    ASSERT_NE(disabled, nullptr);
    EXPECT_EQ(disabled->find_by_id(u"separator"), nullptr) << "drawn from MenuElementDisabled";
    EXPECT_NE(row(0)->find_by_id(u"separator"), nullptr) << "drawn from MenuElement";
    const std::size_t asked = m_menus.asked.size();
    m_popup->on_row_activated(m_popup->list(), 2);
    EXPECT_EQ(m_menus.asked.size(), asked);
    EXPECT_EQ(app().top_screen(), m_popup.get());
}

TEST_F(Menus, BackspaceClosesFromAnyLevelAndOtherKeysPassOn)
{
    m_popup->open_menu(u"Main", u"", true);
    m_popup->on_row_activated(m_popup->list(), 1);
    EXPECT_FALSE(m_popup->on_key({key_enter, true, true}));
    EXPECT_FALSE(m_popup->on_key({key_backspace, false, true})) << "a release does not close";
    EXPECT_TRUE(m_popup->is_shown());
    app().on_key({key_backspace, true, true});
    EXPECT_FALSE(m_popup->is_shown());
    EXPECT_EQ(app().top_screen(), m_screen.get());
}

TEST_F(Menus, ItemNodeMissingFromTheSkinIsReported)
{
    MenuItem odd = item(u"Odd");
    odd.node = u"NoSuchNode";
    m_menus.menus[u"Odd"] = {odd};
    m_popup->open_menu(u"Odd", u"", true);
    EXPECT_THROW(frames(), plexor::NodeNotFoundInSkin);
}

TEST_F(Menus, PopupNodeWithoutAListIsRefused)
{
    EXPECT_THROW(MenuPopup(m_menus, m_skin, u"Overlay", u"MenuElement"), plexor::NodeNotFound);
    EXPECT_THROW(MenuPopup(m_menus, m_skin, u"NoSuchMenu", u"MenuElement"), plexor::NodeNotFoundInSkin);
}

TEST_F(Menus, TapsOnRowsChooseEnabledItemsOnly)
{
    m_popup->open_menu(u"Main", u"", true);
    frames(20);
    auto tap = [this](int y) {
        StylusEvent down;
        down.x = 60;
        down.y = y;
        down.time = 1000;
        down.down = true;
        app().on_stylus(down);
        StylusEvent up = down;
        up.down = false;
        up.time = 1050;
        app().on_stylus(up);
        frames();
    };
    const std::size_t asked = m_menus.asked.size();
    tap(20 + 2 * 20 + 10);
    EXPECT_EQ(m_menus.asked.size(), asked) << "the disabled Exit row";
    tap(20 + 1 * 20 + 10);
    ASSERT_EQ(m_menus.asked.size(), asked + 1);
    EXPECT_EQ(m_menus.asked.back(), u"Language");
}

// A button inside a row opens the menu of its id, captioned as the button is.
TEST_F(Menus, ARowButtonOpensItsMenuWithItsCaption)
{
    MenuItem with_button = item(u"Help");
    with_button.node = u"MenuElementWithAbout";
    m_menus.menus[u"Main"] = {with_button};
    m_menus.menus[u"About"] = {item(u"Version")};
    m_popup->open_menu(u"Main", u"", true);
    frames();
    ASSERT_NE(row(0), nullptr);
    auto* button = dynamic_cast<Button*>(row(0)->find_by_id(u"About"));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(row(0)->on_click(button, ButtonEvent{}));
    EXPECT_EQ(m_popup->current_id(), u"Main") << "not inside the click";
    frames(1);
    EXPECT_EQ(m_popup->current_id(), u"About");
    EXPECT_EQ(m_popup->caption_text(), u"Program info");
}
