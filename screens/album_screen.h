#pragma once
// The album screen, the program's main screen: the albums of the photo
// library in a virtual list, the search button with its progress bar, the
// warning shown while there is no album, the main menu and the exit
// confirmation. It owns the folder and the menu screens.

#include <memory>
#include <vector>
#include "elements/button.h"
#include "elements/virtual_list.h"
#include "library/folder.h"
#include "library/library_event.h"
#include "shell/application_listener.h"
#include "shell/menu_popup.h"
#include "skin/properties.h"

class FolderScreen;
class MenuScreen;
class ProgressBar;
class TextElement;

class AlbumScreen : public Element,
                    public ApplicationListener,
                    public SkinListener,
                    public LibraryObserver,
                    public ListAdapter,
                    public ButtonListener,
                    public MenuProvider {
public:
    // Binds "Main" (the skin's node errors are not caught), builds the folder and menu screens.
    explicit AlbumScreen(Properties& skin);
    ~AlbumScreen() override;

    // Library events once per frame.
    void update(double seconds) override;
    // The menus of this screen: "MainMenu", the exit confirmation "Exit" and "ReallyExit".
    void on_menu(MenuPopup& popup, StringView id, String& caption, MenuItems& items) override;
    // SOFT_LEFT and the context-menu key open "MainMenu" while this screen is on top.
    bool on_key(const KeyEvent& event) override;
    // The display changed: direct mode with the current orientation; the grid follows.
    void on_layout_changed() override;
    // Binds "Main" again, keeping the list's place.
    void on_skin_reloaded(Properties& skin) override;
    // Album list changes, search end, progress and finished previews.
    void on_library_event(const LibraryEvent& event) override;
    // An album row, or an empty placeholder while a search runs.
    ListRow* create_row(VirtualList& list, int index) override;
    // Opens the album as a grid.
    void on_row_activated(VirtualList& list, int index) override;
    // "btnSearch" starts a search, "btnMenu" shows the menu screen.
    bool on_click(Button* button, const ButtonEvent& event) override;

    bool is_searching() const { return m_searching; }
    VirtualList* list() const { return m_list; }
    Button* search_button() const { return m_btn_search; }
    ProgressBar* progress() const { return m_progress; }
    Element* warning_image() const { return m_warning_image; }
    TextElement* warning_text() const { return m_warning_text; }
    FolderScreen& folder_screen() const { return *m_folder_screen; }
    MenuScreen& menu_screen() const { return *m_menu_screen; }
    MenuPopup& popup() const { return *m_popup; }
    Properties& skin() const { return m_skin; }

private:
    void load_skin();
    bool show_albums();
    void open_main_menu();
    // btnSearch's action: disabled until the library's work ends, rows empty until the search ends.
    void start_search();

    Properties& m_skin;
    Button* m_btn_search = nullptr;
    Button* m_btn_menu = nullptr;
    VirtualList* m_list = nullptr;
    ProgressBar* m_progress = nullptr;
    Element* m_warning_image = nullptr;
    TextElement* m_warning_text = nullptr;
    bool m_searching = false;
    std::unique_ptr<FolderScreen> m_folder_screen;
    std::unique_ptr<MenuScreen> m_menu_screen;
    std::unique_ptr<MenuPopup> m_popup;
};
