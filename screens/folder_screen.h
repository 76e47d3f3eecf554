#pragma once
// The folder screen: the pictures of one album as a grid of thumbnails in a
// virtual list, loaded one per frame from the preview files; a tap on a
// thumbnail opens the picture viewer, "btnBack" returns to the albums.

#include <memory>
#include <vector>
#include "elements/button.h"
#include "elements/virtual_list.h"
#include "library/folder.h"
#include "library/library_event.h"
#include "skin/properties.h"

class PictureViewer;
class ProgressBar;

class FolderScreen : public Element,
                     public SkinListener,
                     public LibraryObserver,
                     public ListAdapter,
                     public ButtonListener {
public:
    // Most thumbnails a row holds.
    static constexpr int max_per_row = 6;
    // Design pixels a thumbnail takes in a row, and the margin of the row.
    static constexpr int thumbnail_pitch = 58;
    static constexpr int row_margin = 8;

    // Binds "Folder" (the skin's node errors are not caught) and listens to the library.
    explicit FolderScreen(Properties& skin);
    ~FolderScreen() override;

    // Lists the album's pictures, corrects its size and key picture, and shows the screen.
    void open(const Folder& album);
    // Library events, then the next thumbnail.
    void update(double seconds) override;
    // Recomputes the thumbnails per row when the width changed.
    void layout_horizontal() override;
    // The screen size changed: the thumbnails per row follow it.
    void on_resolution_changed();
    // Binds "Folder" again.
    void on_skin_reloaded(Properties& skin) override;
    // Progress, end of the previews and finished pictures of this album.
    void on_library_event(const LibraryEvent& event) override;
    // A row of up to six thumbnails.
    ListRow* create_row(VirtualList& list, int index) override;
    // Taps reach the thumbnails' buttons, not the rows.
    void on_row_activated(VirtualList& list, int index) override;
    // "btnBack" closes the screen.
    bool on_click(Button* button, const ButtonEvent& event) override;
    // The picture at index was tapped: the one place that opens the viewer.
    void open_picture_viewer(int index);

    // Thumbnails per row for a screen design_width design pixels wide (1 to 6).
    static int per_row_for_width(int design_width);

    const Folder& album() const { return m_album; }
    const std::vector<String>& pictures() const { return m_pictures; }
    // The thumbnail of picture index; an empty picture until it is loaded.
    const SkinPicture& thumbnail(int index) const { return m_thumbnails[index]; }
    bool is_bad(int index) const { return m_bad[index]; }
    int per_row() const { return m_per_row; }
    int row_count() const;
    int next_load() const { return m_next_load; }
    VirtualList* list() const { return m_list; }
    const Properties& skin() const { return m_skin; }

private:
    void load_skin();
    void list_pictures();
    void recompute_per_row();
    void load_next_thumbnail();
    void refresh_row(int row);
    void load_thumbnail(int index);

    Properties& m_skin;
    Button* m_btn_back = nullptr;
    VirtualList* m_list = nullptr;
    Button* m_btn_text = nullptr;
    ProgressBar* m_progress = nullptr;
    SkinPicture m_frame_picture;
    Folder m_album;
    std::vector<String> m_pictures;
    std::vector<SkinPicture> m_thumbnails;
    std::vector<bool> m_bad;
    int m_per_row = 1;
    int m_last_width = 0;
    int m_next_load = 0;
    // Made at the first tap on a thumbnail, once the application runs.
    std::unique_ptr<PictureViewer> m_viewer;
};
