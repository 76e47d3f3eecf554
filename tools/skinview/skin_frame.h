#pragma once
// Renders screens of a skin description without the application: compiles
// the description, builds the element tree of one node, lays it out at a
// chosen size, runs frames on a simulated clock and writes the frame as a
// 16-bit BMP. Used by the skinview tool and by the element tests.

#include <memory>
#include <string>
#include <vector>
#include "elements/element.h"
#include "elements/virtual_list.h"
#include "pixels/render_surface.h"
#include "skin/properties.h"

// Registers the element kinds once per process.
void ensure_element_types();

// Compiles a skin description (the skin compiler's text format) into
// folder/name.skin and makes it the live skin of skin. Bitmaps named by the
// description are taken from bitmap_folder (copied beside the skin file).
// False with error on a bad description or a skin that does not load.
bool load_skin_description(Properties& skin, std::string_view source, const std::string& folder,
                           const std::string& bitmap_folder, std::string& error);

// A row built from a skin node that shows "<prefix> <index>" in its "#text".
class SkinRow : public ListRow {
public:
    SkinRow(Properties& skin, const SkinNode* node);
    void fill(VirtualList& list, bool is_new) override;
    int fills() const { return m_fills; }

private:
    int m_fills = 0;
};

// Rows for a list: count items, each a SkinRow of the same node.
class SkinRowAdapter : public ListAdapter {
public:
    SkinRowAdapter(Properties& skin, const SkinNode* row_node);
    void on_row_activated(VirtualList& list, int index) override;
    ListRow* create_row(VirtualList& list, int index) override;

    // Indices tapped so far, in order.
    const std::vector<int>& activated() const { return m_activated; }
    // Index whose row the adapter refuses (the item is gone), or -1.
    void set_missing(int index) { m_missing = index; }

private:
    Properties& m_skin;
    const SkinNode* m_row_node;
    std::vector<int> m_activated;
    int m_missing = -1;
};

// One screen: a root element holding the tree of a skin node.
class SkinFrame {
public:
    explicit SkinFrame(Properties& skin);

    // Builds the tree of node_name; throws plexor::NodeNotFoundInSkin when absent.
    void load(StringView node_name);
    // Gives every "vlist" of the tree count rows made from the node row_node_name.
    void fill_lists(StringView row_node_name, int count);
    // Places the screen at (0, 0) with size, as the frame loop does.
    void lay_out(Size size);
    // One frame: update by seconds, then layout at the current size.
    void step(double seconds);
    // Draws the whole frame (background black) and returns it.
    const PixelBuffer* draw();
    // Draws and writes the frame as a 16-bit BMP.
    bool write_bmp(const std::string& path);

    Element& root() { return *m_root; }
    Size size() const { return m_size; }

private:
    Properties& m_skin;
    std::unique_ptr<Element> m_root;
    std::vector<std::unique_ptr<SkinRowAdapter>> m_adapters;
    RenderSurface m_surface;
    Size m_size;
};
