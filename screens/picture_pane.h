#pragma once
// "bigpicture": one picture shown from square tiles at a fractional zoom
// level. The pane keeps a small cache of tile surfaces, asks its requester
// for the tiles it lacks, draws what it has (sharper tiles over coarser ones
// so the picture never goes blank while zooming), animates the zoom, and
// turns the pen into drags, flings and taps for its listener.

#include <memory>
#include <vector>
#include "elements/element.h"
#include "elements/pen_tracker.h"
#include "platform/thread.h"
#include "platform/thread_annotations.h"
#include "skin/font.h"

class PicturePane;

// Receives the pane's requests for tiles it does not have.
class TileRequester {
public:
    // The pane needs tile (tx, ty) of level; it arrives later through deliver_tile.
    virtual void add_tile(PicturePane* pane, int tx, int ty, int level) = 0;

protected:
    ~TileRequester() = default;
};

// Told what the pen does with the pane's picture.
class PaneListener {
public:
    // The pen moved the picture.
    virtual void on_pane_drag(PicturePane* pane) = 0;
    // The pen was lifted after moving the picture.
    virtual void on_pane_release(PicturePane* pane) = 0;
    // The pen tapped the pane at a pane-local point.
    virtual void on_pane_tap(PicturePane* pane, Point point) = 0;

protected:
    ~PaneListener() = default;
};

struct PanePoint {
    double x = 0.0;
    double y = 0.0;
};

// Range of tile columns and rows, both ends inclusive; empty when last < first.
struct TileRange {
    int first_x = 0;
    int last_x = -1;
    int first_y = 0;
    int last_y = -1;
    bool is_empty() const { return last_x < first_x || last_y < first_y; }
};

class PicturePane : public Element {
public:
    // Zoom levels per second of the animation (times the levels still to go).
    static constexpr double zoom_speed = 2.0;
    // Largest fling speed along either axis, displayed pixels per second.
    static constexpr double max_fling_speed = 2000.0;

    explicit PicturePane(Element* parent);
    ~PicturePane() override;

    // Base attributes, then "empty_color", "empty_font" and "empty_text".
    void bind(Properties& skin, const SkinNode* node) override;
    // A hidden pane stops moving and drops the pen.
    void on_visibility_changed(bool visible, bool effective) override;
    // Zoom animation, fling and the return of an overscrolled picture.
    void update(double seconds) override;
    // The visible tiles scaled to the zoom, asking for the missing ones.
    void draw_content(DrawTarget& target, Point origin) override;
    // Only an interactive pane takes the pen.
    bool hit_test(Point point) const override;
    // Drags the picture while the pen is down.
    void on_stylus_move(const StylusMove& move) override;
    // Pen-down starts a gesture; pen-up ends it as a tap or a release with a fling.
    bool on_stylus(const StylusEvent& event) override;
    // The pen lets go of the picture: its further moves and its lifting are ignored.
    void end_drag();

    // A tile arrived: stored when its cache entry still exists, else dropped.
    virtual void deliver_tile(int tx, int ty, int level, std::unique_ptr<RenderSurface> tile);
    // Puts the view centre at point (displayed pixels) at once, stopping any fling.
    virtual void set_scroll(double x, double y);
    // Moves the view centre (displayed pixels) by the given amount, without limits.
    virtual void scroll_by(double dx, double dy);
    // Whether the tile still has a cache entry; distance gets its centre's squared
    // distance from the view centre in displayed pixels.
    virtual bool tile_needed(int tx, int ty, int level, double* distance);
    // Displayed size of the picture at the current zoom.
    virtual PanePoint content_size() const;
    // The view centre in displayed pixels.
    virtual PanePoint scroll_position() const;

    // New picture geometry: clears the cache, computes the levels and clamps the zoom.
    void configure(Size tile, Size picture, bool landscape);
    // An empty pane (256 x 256 tiles, no picture).
    void configure_empty(bool landscape);
    // Whether the pane shows no picture.
    bool is_empty() const { return m_picture.width <= 0 || m_picture.height <= 0; }
    Size tile_size() const { return m_tile; }
    Size picture_size() const { return m_picture; }
    bool landscape() const { return m_landscape; }
    // The level of the full-size picture.
    int top_level() const { return m_top_level; }
    // The coarsest level the pane zooms out to.
    int lowest_level() const { return m_lowest_level; }
    // Coarsest level the tile source can serve; coarser levels are drawn from it.
    void set_min_tile_level(int level) { m_min_tile_level = level; }
    // The level whose tiles are asked for and drawn over the others: the finer
    // of the two levels around the zoom target (reduced, never enlarged).
    int current_level() const;

    // ---- zoom ----
    double zoom() const { return m_zoom; }
    double zoom_target() const { return m_zoom_target; }
    // Sets zoom and target at once (clamped), keeping the view centre.
    void set_zoom(double zoom);
    // Animates the zoom to target (kept in the levels) holding the picture
    // point under anchor (pane-local) in place.
    void zoom_towards(double target, Point anchor);
    // Sets zoom and target at once (kept in the levels) holding the picture
    // point under anchor (pane-local) in place.
    void zoom_at(double zoom, Point anchor);
    // Animates the zoom to target holding the view centre in place.
    void zoom_towards_center(double target);
    // Ends the zoom animation where it stands.
    void stop_zoom();
    bool is_zooming() const { return m_zoom != m_zoom_target; }
    // Zoom kept in [lowest, top]; above top it falls back to lowest.
    static double clamp_zoom(double zoom, int lowest, int top);
    // Smallest k with 2^k tiles covering the picture in both directions.
    static int top_level_for(Size picture, Size tile);
    // Largest n <= top with the screen at least tile * 2^n in both directions, or 0.
    static int lowest_level_for(Size screen, Size tile, int top);

    // ---- geometry ----
    // Pane size with width and height exchanged in landscape.
    Size view_size() const;
    // Tiles of level that the view covers, limited to the level's tile grid.
    TileRange covered_tiles(int level) const;
    // Picture point (full-size pixels) under a pane-local point.
    PanePoint picture_point(Point local) const;
    // Displayed-pixel distance the view stands beyond its allowed range along
    // the picture's x axis: negative when the picture was dragged towards its
    // right (the previous picture), positive towards its left.
    double overscroll() const;
    // Where the picture starts and ends along the picture's x axis, in view pixels.
    PanePoint picture_span() const;
    // Shift of the whole pane along the picture's x axis (side panes of a swipe).
    void set_shift(double shift);
    double shift() const { return m_shift; }
    // Whether the pane takes the pen (the centre pane of the viewer).
    void set_interactive(bool on) { m_interactive = on; }
    // Whether an overscrolled picture returns to its range by itself.
    void set_settling(bool on) { m_settling = on; }
    bool is_flinging() const { return m_fling_speed > 0.0; }
    bool is_pen_down() const { return m_pen_down; }
    void set_requester(TileRequester* requester) { m_requester = requester; }
    void set_listener(PaneListener* listener) { m_listener = listener; }

    // ---- cache ----
    // Most tiles the cache holds.
    int cache_capacity() const { return m_capacity; }
    int cache_size();
    // Whether tile (tx, ty, level) holds a delivered surface.
    bool has_real_tile(int tx, int ty, int level);
    // Whether every tile the view covers at the current level has arrived.
    bool all_visible_tiles_real();
    // Stamp of the last frame drawn (entries used in it carry it).
    long frame_stamp() const { return m_stamp; }

private:
    struct Entry {
        int tx = 0;
        int ty = 0;
        int level = 0;
        long stamp = 0;
        bool placeholder = true;
        bool real = false;
        bool asked = false;
        std::unique_ptr<RenderSurface> surface;
        // The surface filtered to its displayed size at scaled_zoom.
        std::unique_ptr<RenderSurface> scaled;
        double scaled_zoom = 0.0;
    };
    // Where a tile's picture part lies in its surface and on the pane.
    struct TilePlace {
        Rect source;
        Rect screen;
    };
    struct TileAsk {
        int tx;
        int ty;
        int level;
    };

    double scale() const;
    PanePoint center_range_x() const;
    PanePoint center_range_y() const;
    void clamp_center(bool allow_x_overscroll);
    // The view position (u across, v down the picture's axes) of a pane-local point.
    PanePoint view_point(Point local) const;
    Entry* find_entry(int tx, int ty, int level) REQUIRES(m_lock);
    Entry* obtain_entry(int tx, int ty, int level) REQUIRES(m_lock);
    Size level_size(int level) const;
    Size tile_grid(int level) const;
    Point picture_corner() const;
    TilePlace place_tile(int tx, int ty, int level, Point origin, Size stored) const;
    Size stored_tile_size() const;
    Rect view_to_screen(const Rect& view_rect, Point origin) const;
    bool may_make_entries() const;
    void draw_current_level(DrawTarget& target, Point origin, std::vector<TileAsk>& asks) REQUIRES(m_lock);
    void draw_real_tiles(DrawTarget& target, Point origin, const Rect& pane) REQUIRES(m_lock);
    bool hidden_by_current_level(const Entry& entry) REQUIRES(m_lock);
    void draw_tile(DrawTarget& target, Entry& entry, const TilePlace& place);
    void make_empty_picture();
    void step_zoom(double seconds);
    void step_fling(double seconds);
    void step_settle(double seconds);
    void start_fling();
    void move_by_pen(int dx, int dy);

    Mutex m_lock;
    std::vector<Entry> m_cache GUARDED_BY(m_lock);
    int m_capacity = 16;
    long m_stamp = 0;

    TileRequester* m_requester = nullptr;
    PaneListener* m_listener = nullptr;
    Color m_empty_color{0, 0, 0, 255};
    Font m_empty_font;
    String m_empty_text;
    RenderSurface m_empty_picture;

    Size m_tile{256, 256};
    Size m_picture;
    int m_top_level = 0;
    int m_lowest_level = 0;
    int m_min_tile_level = 0;
    bool m_landscape = false;
    double m_zoom = 0.0;
    double m_zoom_target = 0.0;
    PanePoint m_center;          // full-size picture pixels
    PanePoint m_anchor_picture;  // picture point kept in place while zooming
    PanePoint m_anchor_view;     // its offset from the view centre
    double m_shift = 0.0;
    bool m_interactive = false;
    bool m_settling = true;

    PenTracker m_tracker;
    bool m_pen_down = false;
    Point m_last_pen;
    PanePoint m_fling_direction;
    double m_fling_speed = 0.0;
};

// Registers the element type "bigpicture" for its lifetime.
class BigPictureRegistration {
public:
    BigPictureRegistration();
    ~BigPictureRegistration();
    BigPictureRegistration(const BigPictureRegistration&) = delete;
    BigPictureRegistration& operator=(const BigPictureRegistration&) = delete;
};
