#pragma once
// Element: a rectangle in the tree of skinned user-interface elements. Built
// from a skin node, it places its children by their anchors, draws them
// (optionally through a cached image), dispatches pen and key events and
// carries the dirty and layout flags that the frame loop consumes.

#include <memory>
#include <vector>
#include "elements/events.h"
#include "pixels/pixel_types.h"
#include "pixels/render_surface.h"
#include "pixels/row_operation.h"
#include "platform/text.h"

class Properties;
struct SkinNode;
class Element;
class VisibilityAnimation;

// A measured size along one axis: what the element takes when there is room
// (natural) and the least it accepts (minimum); -1 = not measured.
struct MeasuredSize {
    int natural = -1;
    int minimum = -1;
    bool is_valid() const { return natural >= 0; }
};

// Told when an element's placement changes.
class ElementObserver {
public:
    virtual ~ElementObserver() = default;
    // The element was placed horizontally with this width.
    virtual void on_width_changed(Element* element, int width) = 0;
    // The element was placed vertically with this height.
    virtual void on_height_changed(Element* element, int height) = 0;
};

class Element {
public:
    // Attaches the new element to parent (null for a screen or a list row).
    explicit Element(Element* parent);
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;

    // ---- virtual operations, in interface order ----
    // Logs one line for this element and dumps the children one level deeper.
    virtual void dump(int level);
    // Text kinds whose id matches show text; the call goes on to every child.
    virtual void set_text_by_id(StringView id, StringView text);
    // Appends a child (ownership passes to this element).
    virtual void add_child(Element* element);
    // Removes a child without destroying it.
    virtual void remove_child(Element* element);
    // Reads the node's attributes and creates the children through the registry.
    virtual void bind(Properties& skin, const SkinNode* node);
    // Leaves the parent, then destroys the children.
    virtual ~Element();
    // Sets the own enabled flag.
    virtual void set_enabled(bool value);
    // The effective enabled state changed: passes it to the children.
    virtual void on_enabled_changed(bool enabled, bool effective);
    // Sets the own visible flag.
    virtual void set_visible(bool value);
    // The effective visibility changed: passes it to the children.
    virtual void on_visibility_changed(bool visible, bool effective);
    // Per-frame advance by the elapsed seconds.
    virtual void update(double seconds);
    // Draws the element's look with its top-left corner at origin.
    virtual void draw_content(DrawTarget& target, Point origin);
    // Places every child horizontally.
    virtual void layout_horizontal();
    // Places every child vertically.
    virtual void layout_vertical();
    // Computes (natural, minimum) width into pair, which arrives as (0, 0).
    virtual void measure_width(MeasuredSize& pair);
    // Unused interface slot; returns 0.
    virtual int reserved_after_width();
    // Computes (natural, minimum) height into pair, which arrives as (0, 0).
    virtual void measure_height(MeasuredSize& pair);
    // Unused interface slot; returns 0.
    virtual int reserved_after_height();
    // Whether point lies inside the element's rectangle.
    virtual bool hit_test(Point point) const;
    // Pen movement: passed to the child holding the capture.
    virtual void on_stylus_move(const StylusMove& move);
    // Pen-down or pen-up: dispatched to the topmost child under the pen, with capture.
    virtual bool on_stylus(const StylusEvent& event);
    // Unused interface slot; returns 0.
    virtual int reserved_after_stylus();
    // A key; true when handled.
    virtual bool on_key(const KeyEvent& event);
    // Typed text; true when handled.
    virtual bool on_char(const CharEvent& event);
    // Wheel or pinch: offered to the topmost visible, enabled child under the point; true when handled.
    virtual bool on_gesture(const GestureEvent& event);

    // ---- tree ----
    // The element with this id among the descendants (children first), or null.
    Element* find_by_id(StringView id) const;
    // Rebuilds the children from the named node; false (nothing changed) when absent.
    bool load_from_node(Properties& skin, StringView node_name);
    // The same for a node the caller cannot work without: throws
    // plexor::NodeNotFoundInSkin naming it when the skin lacks it.
    void load_required_node(Properties& skin, StringView node_name);
    // Destroys every child.
    void destroy_children();
    Element* parent() const { return m_parent; }
    Element* root() const { return m_root; }
    // Sets the screen that owns this element and its descendants (list rows
    // live outside any child list and take their list's root).
    void set_root(Element* root);
    const std::vector<Element*>& children() const { return m_children; }
    const String& id() const { return m_id; }
    void set_id(StringView id) { m_id = String(id); }
    void set_observer(ElementObserver* observer) { m_observer = observer; }
    ElementObserver* observer() const { return m_observer; }

    // ---- placement ----
    // Places the element horizontally and lays its children out when anything changed.
    void set_horizontal(int x, int width);
    // Places the element vertically and lays its children out when anything changed.
    void set_vertical(int y, int height);
    // The cached measurement, computed when invalid.
    const MeasuredSize& measured_width();
    const MeasuredSize& measured_height();
    // Forgets the measurements of this element and its ancestors; asks for a layout.
    void invalidate_measurements();
    // Marks this element and its ancestors for redrawing.
    void mark_dirty();

    int x() const { return m_x; }
    int y() const { return m_y; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    Point position() const { return {m_x, m_y}; }
    Size size() const { return {m_width, m_height}; }
    int anchor_x() const { return m_anchor_x; }
    int anchor_y() const { return m_anchor_y; }
    void set_anchors(int anchor_x, int anchor_y)
    {
        m_anchor_x = anchor_x;
        m_anchor_y = anchor_y;
    }
    Point border_min() const { return m_border_min; }
    Point border_max() const { return m_border_max; }
    void set_borders(Point border_min, Point border_max);
    Point design_size() const { return m_design_size; }
    void set_design_size(Point design_size);
    int table_ratio() const { return m_table_ratio; }
    void set_table_ratio(int ratio) { m_table_ratio = ratio; }

    // ---- state ----
    bool is_visible() const { return m_visible; }
    bool is_effectively_visible() const { return m_visible && m_parent_visible; }
    bool is_enabled() const { return m_enabled; }
    bool is_effectively_enabled() const { return m_enabled && m_parent_enabled; }
    bool is_dirty() const { return m_dirty; }
    bool is_layout_invalid() const { return m_layout_invalid; }
    Element* captured() const { return m_captured; }

    // ---- drawing ----
    // Draws the element at origin: its animation, its cached image or its content.
    void draw(DrawTarget& target, Point origin);
    // Turns the cached image on or off; alpha -1 copies it, else blends by alpha level.
    void set_cache(bool on, int alpha = -1);
    const RenderSurface& cache_surface() const { return m_cache_surface; }
    // Renders the element's own image into the cache surface (magenta background).
    void render_into_cache();

    // ---- visibility animation ----
    // Shows or hides the element, animated when it has a visibility animation.
    void show_animated(bool show);
    // Selects the animation by kind name; an unknown name removes it.
    void set_visibility_animation(StringView kind);
    VisibilityAnimation* visibility_animation() const { return m_visibility_animation.get(); }

    // Number of live elements (diagnostics).
    static long live_count();

protected:
    // Places one child by its anchors inside this element (both need the parent's size).
    void place_child_horizontally(Element* child);
    void place_child_vertically(Element* child);
    // Sends a cancelled pen-up to the child holding the capture and clears it.
    void cancel_capture();
    // Creates the children of node through the element type registry.
    void bind_children(Properties& skin, const SkinNode* node);

private:
    void set_parent_visible(bool value);
    void set_parent_enabled(bool value);

    std::unique_ptr<VisibilityAnimation> m_visibility_animation;
    String m_id;
    Element* m_parent = nullptr;
    ElementObserver* m_observer = nullptr;
    int m_anchor_x = 1;
    int m_anchor_y = 1;
    Point m_border_min;
    Point m_design_size;
    MeasuredSize m_width_measure;
    MeasuredSize m_height_measure;
    Point m_border_max;
    bool m_visible = true;
    bool m_parent_visible = true;
    bool m_enabled = true;
    bool m_parent_enabled = true;
    bool m_dirty = true;
    bool m_layout_invalid = true;
    Element* m_root = nullptr;
    RenderSurface m_cache_surface;
    bool m_cache = false;
    std::unique_ptr<RowOperation> m_cache_blitter;
    int m_x = 0;
    int m_y = 0;
    int m_width = 0;
    int m_height = 0;
    std::vector<Element*> m_children;
    Element* m_captured = nullptr;
    int m_table_ratio = 0;
};
