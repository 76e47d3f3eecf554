#pragma once
// The picture viewer: one picture of an album full screen in three tiled
// panes (previous, current, next), zoomed, dragged, swiped or stepped to its
// neighbours and turned to landscape. Tiles are made one at a time by the
// viewer's tile worker from each slot's tile source and handed to the panes,
// at most one per frame, so the user-interface thread never decodes.
//
// The tiles travel through a TileQueue, whose locks are taken in this order
// when several are held: the tile lock, the queue lock, a pane's cache lock,
// the finished lock, the flag lock.

#include <array>
#include <functional>
#include <memory>
#include <vector>
#include "elements/button.h"
#include "library/library_event.h"
#include "library/piece_creator.h"
#include "screens/picture_pane.h"
#include "screens/tile_queue.h"
#include "skin/properties.h"

class CActiveScheduler;
class CTimer;
class TextElement;

// The state of a picture slot's tile source.
enum SlotState { slot_preview_ready = 0, slot_preview_pending = 1, slot_bad_picture = 2 };

// One of the three pictures the viewer holds, with the pane that shows it.
struct PictureSlot {
    std::unique_ptr<PieceCreator> creator;
    int state = slot_preview_ready;
    // Set exactly while the slot shows its picture by direct decoding.
    bool direct_ok = true;
    double fit_zoom = 0.0;
    PicturePane* pane = nullptr;
};

class PictureViewer : public Element,
                      public LibraryObserver,
                      public PaneListener,
                      public TileRequester,
                      public ButtonListener,
                      private TileMaker {
public:
    // Seconds the controls stay after opening or a single tap.
    static constexpr double controls_time = 4.0;
    // Seconds within which a second tap makes a double tap.
    static constexpr double double_tap_time = 0.3;
    // Pixels between neighbouring pictures.
    static constexpr int picture_gap = 20;

    // Binds "Image" (node errors are not caught), listens to the library and
    // starts the tile worker; placeholders come from placeholder_folder.
    explicit PictureViewer(Properties& skin, StringView placeholder_folder = u"%app_path%/skins/bin/");
    // Stops and joins the tile worker before the tile sources go.
    ~PictureViewer() override;

    // Shows picture index of pictures (under drive) once the viewer is on top.
    void open(const std::vector<String>& pictures, int index, StringView drive);
    // Controls, library events, zoom buttons, one finished tile, the slide.
    void update(double seconds) override;
    // The skin's "outside_color" under everything: the panes draw only their pictures.
    void draw_content(DrawTarget& target, Point origin) override;
    // Panes take the whole screen.
    void layout_horizontal() override;
    // Panes take the whole screen; a new screen size reloads the pictures.
    void layout_vertical() override;
    // Keys go to the buttons that the skin binds to them; the desktop keys
    // ("+", "-", "0", Page Up, Page Down, Home, End) zoom and step.
    bool on_key(const KeyEvent& event) override;
    // The wheel zooms around the pointer, a pinch around the fingers' midpoint.
    bool on_gesture(const GestureEvent& event) override;

    // A finished preview reloads a slot that shows a placeholder or a preview.
    void on_library_event(const LibraryEvent& event) override;
    // Queues a tile for the worker, pruning what the panes no longer need.
    void add_tile(PicturePane* pane, int tx, int ty, int z) override;
    void on_pane_drag(PicturePane* pane) override;
    void on_pane_release(PicturePane* pane) override;
    void on_pane_tap(PicturePane* pane, Point point) override;
    bool on_click(Button* button, const ButtonEvent& event) override;

    // "Set Right": the next picture becomes the current one.
    void step_right();

    PictureSlot& slot_at(int position) { return m_slots[m_order[position]]; }
    PicturePane& pane_at(int position) { return *slot_at(position).pane; }
    int index() const { return m_index; }
    int picture_count() const { return static_cast<int>(m_pictures.size()); }
    bool is_opened() const { return m_opened; }
    bool is_landscape() const { return m_landscape; }
    bool controls_shown() const { return m_controls_shown; }
    bool is_sliding() const { return m_slide != 0; }
    bool is_tap_zooming() const { return m_tap_zoom; }
    // The counter text: "<index + 1> <of> <count>".
    String counter_text() const;
    // The zoom that fits a picture of size into a screen (already turned for landscape).
    static double fit_zoom_for(Size picture, Size screen, int top_level);
    // "btnMinus"'s target from the pane's target zoom and the slot's fit zoom.
    static double minus_target(double target, double fit);
    // Requests waiting for the tile worker.
    int queued_count() { return m_tiles.queued_count(); }
    Button* button(StringView id) const;
    // Called by the tile worker before it makes each tile, so that a test can
    // hold the worker inside a decode; set only while no tile is queued.
    void set_tile_probe(std::function<void()> probe) { m_tile_probe = std::move(probe); }

private:
    // ---- slots (position 0 left, 1 centre, 2 right) ----
    void load_slot(int position);
    void fit_slot(int position);
    void clear_slot(int position);
    // Loads and fits every slot that has a picture and places the panes.
    void open_picture();
    // "Set Left": the previous picture becomes the current one.
    void step_left();
    // The tap timer completed: a single tap shows or hides the controls.
    void on_single_tap();
    // Shows picture index of the album (first or last, from the keys).
    void go_to(int index);
    // Flips landscape and refits every pane.
    void toggle_landscape();
    // Closes the viewer and returns to the screen below.
    void close();

    // The tile of a request from its slot's tile source or placeholder (on the tile worker).
    std::unique_ptr<RenderSurface> make_tile(const TileRequest& request) override;
    std::unique_ptr<RenderSurface> bad_tile() const;
    // Whether the request's pane still has a cache entry for the tile.
    bool tile_needed(const TileRequest& request) override;

    void bind_skin();
    void replace_creator(PictureSlot& slot, std::unique_ptr<PieceCreator> creator, int state, bool direct_ok);
    bool has_picture(int position) const;
    int slot_index_of(const PicturePane* pane) const;
    Size screen_size() const;
    void empty_pane(int position);
    void center_pane(int position);
    void place_panes();
    void update_controls(double seconds);
    void update_zoom_buttons();
    void deliver_one_tile();
    void update_landscape_button();
    void update_slide(double seconds);
    void start_slide(int direction);
    void swipe_past_limit(PicturePane& pane);
    void zoom_in();
    void zoom_out();
    void zoom_to_fit();
    // Zoom kept where the buttons keep it: from the fit zoom to the top level.
    double clamped_zoom(double zoom);
    Point pane_local(Point screen) const;
    bool on_desktop_key(const KeyEvent& event);
    void step_by_key(int key);
    void set_counter();
    void reset_motion();

    Properties& m_skin;
    Color m_outside_color{0, 0, 0, 255};
    String m_placeholder_folder;
    std::unique_ptr<PixelBuffer> m_load_bitmap;
    std::unique_ptr<PixelBuffer> m_bad_bitmap;

    Button* m_btn_back = nullptr;
    Button* m_btn_minus = nullptr;
    Button* m_btn_plus = nullptr;
    Button* m_btn_landscape = nullptr;
    TextElement* m_num_text = nullptr;
    Button* m_btn_log2 = nullptr;
    // Buttons of the skin that exist only for their keys (optional).
    Button* m_key_prev = nullptr;
    Button* m_key_next = nullptr;
    Button* m_key_zoom_in = nullptr;
    Button* m_key_zoom_out = nullptr;
    Button* m_key_controls = nullptr;

    std::vector<String> m_pictures;
    int m_index = 0;
    String m_drive;
    bool m_opened = false;
    bool m_landscape = false;
    // The screen size the slots were last fitted to.
    Size m_fitted_screen;

    std::array<PictureSlot, 3> m_slots;
    // Slot index shown at each position (left, centre, right).
    std::array<int, 3> m_order{0, 1, 2};

    double m_controls_timer = 0.0;
    bool m_controls_shown = true;
    CActiveScheduler& m_scheduler;
    std::unique_ptr<CTimer> m_tap_timer;
    bool m_tap_zoom = false;
    // The centre pane's zoom and the fingers' span when the pinch began; span 0 when none runs.
    double m_pinch_zoom = 0.0;
    double m_pinch_span = 0.0;
    // -1 sliding to the previous picture, +1 to the next, 0 none.
    int m_slide = 0;

    std::function<void()> m_tile_probe;

    // Declared last: its worker, which reads the slots and the placeholders,
    // is stopped before they go.
    TileQueue m_tiles;
};
