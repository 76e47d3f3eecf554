#include "screens/album_screen.h"

#include "elements/image_element.h"
#include "elements/progress_bar.h"
#include "elements/text_element.h"
#include "library/photo_library.h"
#include "library/preview_file.h"
#include "platform/key_codes.h"
#include "platform/log.h"
#include "screens/folder_screen.h"
#include "screens/menu_screen.h"
#include "screens/required_element.h"
#include "screens/thumbnail.h"
#include "shell/application.h"
#include "shell/game_base.h"
#include "skin/plexor.h"

namespace {

const SkinPicture& picture_of(ImageElement* image)
{
    return image->picture();
}

// The row made while a search runs: no children, so no height; the rows are
// made again when the search completes.
class PlaceholderRow : public ListRow {
public:
    PlaceholderRow() : ListRow(nullptr) {}
    void fill(VirtualList&, bool) override {}
};

// One album: its framed preview (or the loading or bad look), name and size.
class AlbumRow : public ListRow {
public:
    AlbumRow(Properties& skin, const Folder& album) : ListRow(nullptr), m_skin(skin), m_album(album)
    {
        load_required_node(skin, u"AlbumElement");
        m_image = required<ImageElement>(*this, u"image");
        m_loading = required<ImageElement>(*this, u"loading");
        m_bad = required<ImageElement>(*this, u"bad");
        m_name = required<TextElement>(*this, u"name");
        m_count = required<TextElement>(*this, u"count");
        m_frame_picture = m_image->picture();
        m_loading->set_visible(false);
        m_bad->set_visible(false);
    }

    void fill(VirtualList&, bool) override
    {
        const String preview = preview_path(m_album.key_picture_path, m_album.drive_path);
        log() << "Name " << m_album.key_picture_path << "\n";
        log() << "Drive " << m_album.drive_path << "\n";
        log() << "Cache " << preview << "\n";
        SkinPicture framed;
        // The frame's size is the image's size on the screen: the thumbnail is made at it.
        switch (make_framed_thumbnail(m_album.key_picture_path, m_album.drive_path, m_frame_picture,
                                      m_frame_picture.size(), framed)) {
        case ThumbnailState::made:
            m_image->set_picture(framed);
            break;
        case ThumbnailState::bad:
            m_image->set_picture(picture_of(m_bad));
            break;
        case ThumbnailState::pending:
            m_image->set_picture(framed.bitmap != SkinBitmap::empty() ? framed : picture_of(m_loading));
            if (PhotoLibrary* library = PhotoLibrary::instance())
                library->add_picture(m_album.key_picture_path, m_album.drive_path);
            break;
        }
        m_name->set_text(shown_name());
        m_count->set_text(from_ascii(std::to_string(m_album.size)));
    }

private:
    // The pictures folder is named in the language of the texts.
    String shown_name() const
    {
        StringView path = m_album.folder_path;
        while (!path.empty() && (path.back() == u'/' || path.back() == u'\\'))
            path.remove_suffix(1);
        return path == u"%my_documents%" ? m_skin.translate(u"PicturesFolder") : PhotoLibrary::album_name(path);
    }

    Properties& m_skin;
    Folder m_album;
    ImageElement* m_image = nullptr;
    ImageElement* m_loading = nullptr;
    ImageElement* m_bad = nullptr;
    TextElement* m_name = nullptr;
    TextElement* m_count = nullptr;
    SkinPicture m_frame_picture;
};

MenuItem menu_item(StringView key, StringView node)
{
    MenuItem item;
    item.key = String(key);
    item.node = String(node);
    return item;
}

int album_count()
{
    PhotoLibrary* library = PhotoLibrary::instance();
    return library ? library->get_folders_size() : 0;
}

}  // namespace

AlbumScreen::AlbumScreen(Properties& skin) : Element(nullptr), SkinListener(skin), m_skin(skin)
{
    set_visible(false);
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->add_observer(this);
    m_folder_screen = std::make_unique<FolderScreen>(skin);
    m_menu_screen = std::make_unique<MenuScreen>(skin);
    m_popup = std::make_unique<MenuPopup>(*this, skin, u"Menu", u"MenuElement");
    log() << "album form\n";
    load_skin();
    m_progress->set_visible(false);
    m_warning_image->set_visible(true);
    m_warning_text->set_visible(true);
    log() << "album skin load\n";
    show_albums();
    // The first start (no album list yet) searches as if btnSearch were tapped.
    if (PhotoLibrary* library = PhotoLibrary::instance(); library && !library->had_album_list())
        start_search();
}

AlbumScreen::~AlbumScreen()
{
    if (Application* app = Application::instance()) {
        if (app->listener() == this)
            app->set_listener(nullptr);
        app->close_screen(this);
    }
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->remove_observer(this);
}

void AlbumScreen::load_skin()
{
    // A reload (a new language) rebuilds the tree; the list keeps its place.
    const double offset = m_list ? m_list->offset() : 0.0;
    const bool search_enabled = m_btn_search ? m_btn_search->is_enabled() : true;
    const bool progress_shown = m_progress && m_progress->is_visible();
    const double progress_value = m_progress ? m_progress->value() : 0.0;
    load_required_node(m_skin, u"Main");
    m_btn_search = required<Button>(*this, u"btnSearch");
    m_btn_search->set_listener(this);
    m_btn_menu = required<Button>(*this, u"btnMenu");
    m_btn_menu->set_listener(this);
    m_list = required<VirtualList>(*this, u"listApps");
    m_list->set_adapter(this);
    m_progress = required<ProgressBar>(*this, u"progress");
    m_warning_image = required<Element>(*this, u"warning_image");
    m_warning_text = required<TextElement>(*this, u"warning_text");
    m_progress->set_observer(nullptr);
    m_warning_image->set_observer(nullptr);
    m_warning_text->set_observer(nullptr);
    m_warning_text->set_text(m_skin.translate(u"WARNING_MESSAGE"));
    m_btn_search->set_enabled(search_enabled);
    m_progress->set_value(progress_value);
    m_progress->set_visible(progress_shown);
    if (show_albums())
        m_list->set_offset(offset);
}

void AlbumScreen::on_skin_reloaded(Properties&)
{
    load_skin();
}

bool AlbumScreen::show_albums()
{
    const int count = album_count();
    if (count < 1)
        return false;
    m_list->reset(count);
    m_list->set_visible(true);
    m_warning_image->set_visible(false);
    m_warning_text->set_visible(false);
    return true;
}

void AlbumScreen::update(double seconds)
{
    Element::update(seconds);
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->dispatch_events();
}

void AlbumScreen::on_library_event(const LibraryEvent& event)
{
    if (event.folders_changed)
        show_albums();
    if (event.search_complete) {
        m_searching = false;
        show_albums();
        // A search that queued no preview ends without cache_complete.
        std::int32_t value = 0;
        std::int32_t maximum = 0;
        if (PhotoLibrary* library = PhotoLibrary::instance())
            library->read_progress(value, maximum);
        if (value >= maximum)
            m_btn_search->set_enabled(true);
    }
    if (event.progress) {
        m_progress->set_visible(true);
        m_progress->set_value(event.progress_ratio);
    }
    if (event.cache_complete) {
        m_progress->set_visible(false);
        m_btn_search->set_enabled(true);
    }
    if (event.picture_complete) {
        PhotoLibrary* library = PhotoLibrary::instance();
        const int index = library ? library->search_folder_num(event.picture_path) : -1;
        log() << event.picture_path << " " << index << "\n";
        if (index != -1)
            m_list->refresh(index);
    }
}

ListRow* AlbumScreen::create_row(VirtualList&, int index)
{
    PhotoLibrary* library = PhotoLibrary::instance();
    if (m_searching || !library)
        return new PlaceholderRow();
    if (index >= library->get_folders_size())
        return nullptr;
    return new AlbumRow(m_skin, library->get_folder(index));
}

void AlbumScreen::on_row_activated(VirtualList& list, int index)
{
    PhotoLibrary* library = PhotoLibrary::instance();
    if (&list != m_list || !library || index < 0 || index >= library->get_folders_size())
        return;
    const Folder album = library->get_folder(index);
    library->set_current_folder(album.folder_path);
    m_folder_screen->open(album);
}

bool AlbumScreen::on_click(Button* button, const ButtonEvent&)
{
    Application* app = Application::instance();
    if (button == m_btn_menu && app) {
        app->show_screen(m_menu_screen.get(), false);
    } else if (button == m_btn_search) {
        start_search();
    }
    return true;
}

void AlbumScreen::start_search()
{
    m_btn_search->set_enabled(false);
    m_searching = true;
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->need_search();
}

void AlbumScreen::on_menu(MenuPopup&, StringView id, String& caption, MenuItems& items)
{
    items.clear();
    if (id == u"MainMenu") {
        items.push_back(menu_item(u"Back", u"MenuElementCancel"));
        items.push_back(menu_item(u"Exit", u""));
    } else if (id == u"Exit") {
        caption = m_skin.translate(u"ExitCaption");
        items.push_back(menu_item(u"ReallyExit", u"MenuElementRed"));
        items.push_back(menu_item(u"Cancel", u"MenuElementCancel"));
    } else if (id == u"ReallyExit") {
        if (GameBase* base = GameBase::instance())
            base->windows().post_quit_message(0);
    }
}

void AlbumScreen::open_main_menu()
{
    m_popup->open_menu(u"MainMenu", u"", true);
}

bool AlbumScreen::on_key(const KeyEvent& event)
{
    Application* app = Application::instance();
    const bool menu_key = event.key == key_soft_left || event.key == key_context_menu;
    if (!menu_key || !event.pressed || !event.first || !app || app->top_screen() != this)
        return false;
    open_main_menu();
    return true;
}

void AlbumScreen::on_layout_changed()
{
    if (GameBase* base = GameBase::instance())
        base->set_direct_mode(base->display_mode().orientation);
    m_folder_screen->on_resolution_changed();
}
