#include "screens/folder_screen.h"

#include <algorithm>
#include "elements/image_element.h"
#include "elements/progress_bar.h"
#include "library/photo_library.h"
#include "platform/directory_walker.h"
#include "platform/log.h"
#include "screens/required_element.h"
#include "screens/thumbnail.h"
#include "screens/viewer.h"
#include "shell/application.h"
#include "skin/plexor.h"

namespace {

// The picture an image element holds in the skin, or the empty one.
const SkinPicture& picture_of(Element* element)
{
    static const SkinPicture none;
    auto* image = dynamic_cast<ImageElement*>(element);
    return image ? image->picture() : none;
}

// Collects the paths a directory walk finds.
class PathCollector : public DirectoryCollector {
public:
    explicit PathCollector(std::vector<String>& paths) : m_paths(paths) {}
    bool on_file(const String& path) override
    {
        m_paths.push_back(path);
        return true;
    }
    bool on_directory(const String&) override { return true; }

private:
    std::vector<String>& m_paths;
};

}  // namespace

// One row of the grid: six picture buttons, of which per_row are used.
class FolderRow : public ListRow, public ButtonListener {
public:
    FolderRow(FolderScreen& screen, Properties& skin) : ListRow(nullptr), m_screen(screen)
    {
        load_required_node(skin, u"FolderElement");
        m_bad = required<Element>(*this, u"bad");
        m_loading = required<Element>(*this, u"loading");
        m_bad->set_visible(false);
        m_loading->set_visible(false);
        for (int i = 0; i < FolderScreen::max_per_row; ++i) {
            const String name = u"button" + from_ascii(std::to_string(i));
            m_buttons[i] = required<Button>(*this, name);
            m_buttons[i]->set_listener(this);
            m_images[i] = required<ImageElement>(*m_buttons[i], u"image");
        }
    }

    void fill(VirtualList&, bool) override
    {
        const int per_row = m_screen.per_row();
        const int count = static_cast<int>(m_screen.pictures().size());
        const int first = index() * per_row;
        const int shown = std::clamp(count - first, 0, per_row);
        for (int i = 0; i < FolderScreen::max_per_row; ++i) {
            m_buttons[i]->set_visible(i < per_row);
            m_images[i]->set_visible(i < shown);
            if (i < shown)
                m_images[i]->set_picture(look_of(first + i));
        }
    }

    bool on_click(Button* button, const ButtonEvent&) override
    {
        const auto slot = std::find(m_buttons, m_buttons + FolderScreen::max_per_row, button) - m_buttons;
        const int picture = index() * m_screen.per_row() + static_cast<int>(slot);
        if (index() >= 0 && picture < static_cast<int>(m_screen.pictures().size()))
            m_screen.open_picture_viewer(picture);
        return true;
    }

private:
    const SkinPicture& look_of(int picture) const
    {
        const SkinPicture& thumbnail = m_screen.thumbnail(picture);
        if (thumbnail.bitmap != SkinBitmap::empty())
            return thumbnail;
        return picture_of(m_screen.is_bad(picture) ? m_bad : m_loading);
    }

    FolderScreen& m_screen;
    Element* m_bad = nullptr;
    Element* m_loading = nullptr;
    Button* m_buttons[FolderScreen::max_per_row] = {};
    ImageElement* m_images[FolderScreen::max_per_row] = {};
};

FolderScreen::FolderScreen(Properties& skin) : Element(nullptr), SkinListener(skin), m_skin(skin)
{
    set_visible(false);
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->add_observer(this);
    log() << "folder form\n";
    load_skin();
}

FolderScreen::~FolderScreen()
{
    if (Application* app = Application::instance())
        app->close_screen(this);
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->remove_observer(this);
}

void FolderScreen::load_skin()
{
    load_required_node(m_skin, u"Folder");
    m_btn_back = required<Button>(*this, u"btnBack");
    m_btn_back->set_listener(this);
    m_list = required<VirtualList>(*this, u"listFolder");
    m_list->set_adapter(this);
    m_progress = required<ProgressBar>(*this, u"progress");
    m_progress->set_observer(nullptr);
    m_btn_text = required<Button>(*this, u"btnText");
    m_btn_text->set_observer(nullptr);
    m_btn_text->set_listener(nullptr);
    Element* frame = required<Element>(*this, u"bad");
    Element* loading = required<Element>(*this, u"loading");
    m_frame_picture = picture_of(frame);
    frame->set_visible(false);
    loading->set_visible(false);
    m_btn_text->set_enabled(false);
    m_progress->set_visible(false);
    if (!m_pictures.empty()) {
        // A reload (a new language) keeps the open album and its thumbnails.
        m_btn_text->set_caption(PhotoLibrary::album_name(m_album.folder_path));
        m_list->reset(row_count());
    }
}

void FolderScreen::on_skin_reloaded(Properties&)
{
    load_skin();
}

void FolderScreen::list_pictures()
{
    m_pictures.clear();
    PathCollector collector(m_pictures);
    walk_directory(m_album.folder_path, u"*.jpg", u"", false, collector);
    walk_directory(m_album.folder_path, u"*.jpeg", u"", false, collector);
}

void FolderScreen::open(const Folder& album)
{
    m_album = album;
    list_pictures();
    const int count = static_cast<int>(m_pictures.size());
    PhotoLibrary* library = PhotoLibrary::instance();
    if (library && count != m_album.size)
        library->set_folder_size(m_album.key_picture_path, count);
    m_album.size = count;
    if (library && count > 0 && m_pictures.front() != m_album.key_picture_path) {
        library->set_key_picture(m_album.key_picture_path, m_pictures.front());
        m_album.key_picture_path = m_pictures.front();
    }
    // The first placement after opening only records its width: per_row is
    // computed for the screen's width below.
    m_last_width = 0;
    m_btn_text->set_caption(PhotoLibrary::album_name(m_album.folder_path));
    m_thumbnails.assign(m_pictures.size(), SkinPicture{});
    m_bad.assign(m_pictures.size(), false);
    m_next_load = 0;
    recompute_per_row();
    if (Application* app = Application::instance())
        app->show_screen(this, false);
}

int FolderScreen::per_row_for_width(int design_width)
{
    return std::clamp((design_width - row_margin) / thumbnail_pitch, 1, max_per_row);
}

int FolderScreen::row_count() const
{
    const int count = static_cast<int>(m_pictures.size());
    return (count + m_per_row - 1) / m_per_row;
}

void FolderScreen::recompute_per_row()
{
    int screen_width = width();
    if (Application* app = Application::instance())
        screen_width = app->game_base().client_area().client_width;
    m_per_row = per_row_for_width(screen_width >> m_skin.scale_shift());
    m_list->reset(row_count());
}

void FolderScreen::layout_horizontal()
{
    Element::layout_horizontal();
    if (m_last_width == 0)
        m_last_width = width();
    if (width() != m_last_width) {
        m_last_width = width();
        recompute_per_row();
    }
}

void FolderScreen::on_resolution_changed()
{
    recompute_per_row();
}

void FolderScreen::update(double seconds)
{
    Element::update(seconds);
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->dispatch_events();
    load_next_thumbnail();
}

void FolderScreen::load_next_thumbnail()
{
    const int count = static_cast<int>(m_pictures.size());
    if (m_next_load >= count)
        return;
    // A row is filled again once all its thumbnails are loaded, not on every
    // thumbnail: filling a row sets all its images again. A full row is
    // filled when the load reaches the next row.
    load_thumbnail(m_next_load);
    if (m_next_load % m_per_row == 0)
        refresh_row(m_next_load / m_per_row - 1);
    ++m_next_load;
    // At the end the last row is filled, whether it is short (the row
    // count / per_row) or full (the one before it).
    if (m_next_load == count) {
        refresh_row(count / m_per_row);
        refresh_row(count / m_per_row - 1);
    }
}

void FolderScreen::refresh_row(int row)
{
    // Before the first row there is none (the list's rows of index -1 are removed ones).
    if (row >= 0)
        m_list->refresh(row);
}

void FolderScreen::load_thumbnail(int index)
{
    if (m_thumbnails[index].bitmap != SkinBitmap::empty())
        return;
    const Size size{m_frame_picture.size().width, m_frame_picture.size().height};
    switch (make_framed_thumbnail(m_pictures[index], m_album.drive_path, m_frame_picture, size, m_thumbnails[index])) {
    case ThumbnailState::made:
        m_bad[index] = false;
        break;
    case ThumbnailState::bad:
        m_bad[index] = true;
        break;
    case ThumbnailState::pending:
        if (PhotoLibrary* library = PhotoLibrary::instance())
            library->add_picture(m_pictures[index], m_album.drive_path);
        break;
    }
}

void FolderScreen::on_library_event(const LibraryEvent& event)
{
    if (event.progress) {
        m_progress->set_visible(true);
        m_progress->set_value(event.progress_ratio);
    }
    if (event.cache_complete)
        m_progress->set_visible(false);
    if (event.picture_complete) {
        const auto found = std::find(m_pictures.begin(), m_pictures.end(), event.picture_path);
        if (found == m_pictures.end())
            return;
        const int index = static_cast<int>(found - m_pictures.begin());
        // The embedded thumbnail shown while the preview was pending gives way to the real one.
        m_thumbnails[index] = SkinPicture{};
        load_thumbnail(index);
        m_list->refresh(index / m_per_row);
        log() << "refresh " << event.picture_path << " num " << index << "\n";
    }
}

ListRow* FolderScreen::create_row(VirtualList&, int)
{
    return new FolderRow(*this, m_skin);
}

void FolderScreen::on_row_activated(VirtualList&, int) {}

bool FolderScreen::on_click(Button* button, const ButtonEvent&)
{
    if (button == m_btn_back)
        if (Application* app = Application::instance())
            app->close_screen(this);
    return true;
}

void FolderScreen::open_picture_viewer(int index)
{
    log() << "picture tapped " << m_pictures[index] << " num " << index << "\n";
    Application* app = Application::instance();
    if (!app)
        return;
    if (!m_viewer)
        m_viewer = std::make_unique<PictureViewer>(m_skin);
    // Placed at this screen's size first, so the pictures are fitted to the screen they are shown on.
    m_viewer->set_horizontal(x(), width());
    m_viewer->set_vertical(y(), height());
    m_viewer->open(m_pictures, index, m_album.drive_path);
    app->show_screen(m_viewer.get(), false);
}
