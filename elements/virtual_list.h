#pragma once
// "vlist": a vertical list of any length whose rows are created on demand
// by an adapter, so that only the rows covering the visible area exist. It
// scrolls by dragging, coasts with friction after a flick, resists being
// pulled past its ends, springs back, and lets rows grow in and shrink out.

#include <deque>
#include <memory>
#include "elements/element.h"
#include "elements/pen_tracker.h"

class VirtualList;

// A row of a list: any element kind with an index, an animated height and a fill.
class ListRow : public Element {
public:
    // parent is normally null: rows live outside every child list.
    explicit ListRow(Element* parent);

    // Shows the data of the row's index.
    virtual void fill(VirtualList& list, bool is_new) = 0;

    // Data index of the row; -1 once its item was removed.
    int index() const { return m_index; }
    void set_index(int index) { m_index = index; }
    // Current (animated) height.
    double height_now() const { return m_height_now; }
    void set_height_now(double height) { m_height_now = height; }
    bool is_animating() const { return m_animating; }
    void set_animating(bool animating) { m_animating = animating; }
    // Shows "#vlist_normal", "#vlist_pressed" or "#vlist_selected".
    void apply_look(bool pressed, bool selected);

private:
    int m_index = -1;
    double m_height_now = 0.0;
    bool m_animating = false;
};

// The owner of a list's data: makes rows and hears of taps.
class ListAdapter {
public:
    virtual ~ListAdapter() = default;
    // The row of index was tapped.
    virtual void on_row_activated(VirtualList& list, int index) = 0;
    // A new row for index, or null when the item no longer exists.
    virtual ListRow* create_row(VirtualList& list, int index) = 0;
};

class VirtualList : public Element {
public:
    explicit VirtualList(Element* parent);
    ~VirtualList() override;

    // Base attributes; scroll borders, "locked" and "grow".
    void bind(Properties& skin, const SkinNode* node) override;
    // Height animation, gap filling, coasting, friction and spring-back.
    void update(double seconds) override;
    // The skin children where no row covers the list, then the rows.
    void draw_content(DrawTarget& target, Point origin) override;
    // Base behaviour; the rows follow the list's visibility.
    void on_visibility_changed(bool visible, bool effective) override;
    // Places the children; every row is placed again at the list's width.
    void layout_horizontal() override;
    // Places the children; keeps the end in place when the list got shorter.
    void layout_vertical() override;
    // With grow, the rows' height plus the scroll borders.
    void measure_height(MeasuredSize& pair) override;
    // Drags the rows with resistance past the ends.
    void on_stylus_move(const StylusMove& move) override;
    // Taps rows, starts and ends drags and flicks.
    bool on_stylus(const StylusEvent& event) override;
    // The wheel scrolls about a row per notch, coasting as after a flick.
    bool on_gesture(const GestureEvent& event) override;
    // The coasting speed that the list's friction brings to rest after about distance pixels.
    static double coasting_speed_for(double distance);

    // Sets the adapter and resets the list with the current count.
    void set_adapter(ListAdapter* adapter);
    // Forgets every row: count items, scrolled to the top.
    void reset(int count);
    // Fills the row of index again, if it exists.
    void refresh(int index);
    // The item at index left the data; its row shrinks away.
    void remove(int index);
    // An item was inserted at index; its row grows in when it is on screen.
    void insert(int index);
    // Marks index as selected (-1: none).
    void set_selected_index(int index);

    int count() const { return m_count; }
    int selected_index() const { return m_selected_index; }
    double offset() const { return m_offset; }
    void set_offset(double offset);
    double velocity() const { return m_velocity; }
    int before_first() const { return m_before_first; }
    int end_index() const { return m_end_index; }
    double rows_height() const { return m_rows_height; }
    int rows_target_height() const { return m_rows_target_height; }
    int animating_rows() const { return m_animating; }
    const std::deque<std::unique_ptr<ListRow>>& rows() const { return m_rows; }
    ListRow* pressed_row() const { return m_pressed_row; }
    const PenTracker& tracker() const { return m_tracker; }
    int scroll_border_min() const { return m_scroll_border_min; }
    int scroll_border_max() const { return m_scroll_border_max; }
    void set_scroll_borders(int border_min, int border_max);
    bool is_locked() const { return m_locked; }
    bool grows() const { return m_grow; }
    void set_grow(bool grow) { m_grow = grow; }

    // Speed a flick may give, pixels per second.
    static constexpr double max_speed = 2000.0;
    // Speed rows grow and shrink at, pixels per second.
    static constexpr double row_speed = 200.0;
    // Speed of the spring-back, pixels per second.
    static constexpr double spring_speed = 400.0;
    // Rows that may grow at once.
    static constexpr int max_animating = 4;

    // Creates, drops and re-anchors rows so that they cover the list.
    void fill();

private:
    using Rows = std::deque<std::unique_ptr<ListRow>>;

    int viewport_height() const;
    std::unique_ptr<ListRow> make_row(int index);
    void bind_row(ListRow& row, int index, bool is_new);
    void place_row(ListRow& row);
    void apply_row_look(ListRow& row);
    void release_pressed_row();
    bool holds(const ListRow* row) const;
    void destroy_row(Rows::iterator row);
    void immediate_clamp();
    void add_rows_above();
    void drop_rows_above();
    void add_rows_below();
    void drop_rows_below();
    void refill_from_end();
    bool prepend_row();
    void animate_heights(double seconds, int anchor);
    void fill_gaps(int anchor);
    bool fill_gap(Rows::iterator before, int first, int last, bool from_end);
    void apply_friction(double seconds);
    void spring_back(double seconds);
    void sum_heights();
    ListRow* row_at(int screen_y) const;
    Point row_local(const ListRow& row, int screen_x, int screen_y) const;
    int row_top(const ListRow& row) const;
    bool beyond_an_end() const;
    bool may_add_row() const;

    int m_scroll_border_min = 0;
    int m_scroll_border_max = 0;
    bool m_locked = false;
    bool m_grow = false;
    ListAdapter* m_adapter = nullptr;
    Rows m_rows;
    int m_before_first = -1;
    int m_end_index = 0;
    bool m_refill = true;
    ListRow* m_pressed_row = nullptr;
    int m_selected_index = -1;
    double m_rows_height = 0.0;
    int m_rows_target_height = 0;
    int m_count = 0;
    int m_animating = 0;
    int m_last_height = 0;
    double m_offset = 0.0;
    double m_velocity = 0.0;
    PenTracker m_tracker;
    StylusEvent m_saved_event;
    Point m_pen_down_point;
};
