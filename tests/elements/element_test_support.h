#pragma once
// Helpers of the element tests: leaf elements of a chosen size that record
// the pen events they get, and a fixture that compiles skin descriptions.

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>
#include "elements/element.h"
#include "elements/virtual_list.h"
#include "skin/properties.h"
#include "skin_frame.h"

// A leaf with a fixed natural and minimum size that records pen events.
class Box : public Element {
public:
    explicit Box(Element* parent, Size natural = {0, 0}, Size minimum = {-1, -1})
        : Element(parent), m_natural(natural), m_minimum{minimum.width < 0 ? natural.width : minimum.width,
                                                         minimum.height < 0 ? natural.height : minimum.height}
    {
    }
    void measure_width(MeasuredSize& pair) override
    {
        Element::measure_width(pair);
        pair.natural = std::max(pair.natural, m_natural.width);
        pair.minimum = std::max(pair.minimum, m_minimum.width);
    }
    void measure_height(MeasuredSize& pair) override
    {
        Element::measure_height(pair);
        pair.natural = std::max(pair.natural, m_natural.height);
        pair.minimum = std::max(pair.minimum, m_minimum.height);
    }
    bool on_stylus(const StylusEvent& event) override
    {
        events.push_back(event);
        if (takes_children_first && Element::on_stylus(event))
            return true;
        return takes_pen;
    }
    void on_stylus_move(const StylusMove& move) override
    {
        moves.push_back(move);
        Element::on_stylus_move(move);
    }
    void layout_horizontal() override
    {
        ++horizontal_layouts;
        Element::layout_horizontal();
    }
    void set_natural(Size natural)
    {
        m_natural = m_minimum = natural;
        invalidate_measurements();
    }

    std::vector<StylusEvent> events;
    std::vector<StylusMove> moves;
    bool takes_pen = true;
    bool takes_children_first = false;
    int horizontal_layouts = 0;

private:
    Size m_natural;
    Size m_minimum;
};

// A child of parent with anchors and borders, as a skin node would give.
inline Box* add_box(Element& parent, Size natural, int anchor_x = 1, int anchor_y = 1, Point border_min = {},
                    Point border_max = {})
{
    Box* box = new Box(&parent, natural);
    box->set_anchors(anchor_x, anchor_y);
    box->set_borders(border_min, border_max);
    return box;
}

// A font with a face (the default font has none and measures nothing).
inline const Font& test_font()
{
    static const Font font(FontSpec{9, 1, false, false, false, u"DejaVu Sans"});
    return font;
}

// A root element placed like a screen.
inline std::unique_ptr<Element> make_screen(Size size)
{
    auto screen = std::make_unique<Element>(nullptr);
    screen->set_horizontal(0, size.width);
    screen->set_vertical(0, size.height);
    return screen;
}

inline void lay_out(Element& root, Size size)
{
    root.set_horizontal(0, size.width);
    root.set_vertical(0, size.height);
}

inline StylusEvent pen_down(int x, int y, int time = 0)
{
    return {x, y, time, 0, true, false};
}

inline StylusEvent pen_up(int x, int y, int time = 0)
{
    return {x, y, time, 0, false, false};
}

// Compiles skin descriptions into a temporary folder and loads them.
class SkinTest : public ::testing::Test {
protected:
    void load(std::string_view description)
    {
        std::string folder =
            ::testing::TempDir() + "elements_skin_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string error;
        ASSERT_TRUE(load_skin_description(skin, description, folder, "", error)) << error;
        ensure_element_types();
    }
    // The tree of a named node under a fresh screen element.
    std::unique_ptr<Element> build(StringView node)
    {
        auto screen = std::make_unique<Element>(nullptr);
        EXPECT_TRUE(screen->load_from_node(skin, node));
        return screen;
    }

    Properties skin;
};

// A list row of a fixed height that counts its fills.
class FixedRow : public ListRow {
public:
    explicit FixedRow(int height) : ListRow(nullptr) { set_design_size({0, height}); }
    void fill(VirtualList&, bool) override { ++fills; }
    int fills = 0;
};

// Rows of one height for any index below count; records taps.
class FixedRowAdapter : public ListAdapter {
public:
    explicit FixedRowAdapter(int row_height) : m_row_height(row_height) {}
    void on_row_activated(VirtualList&, int index) override { activated.push_back(index); }
    ListRow* create_row(VirtualList&, int index) override
    {
        ++created;
        if (index == missing) {
            missing = -1;  // the item is gone; the next one takes its index
            return nullptr;
        }
        return new FixedRow(m_row_height);
    }
    std::vector<int> activated;
    int created = 0;
    int missing = -1;

private:
    int m_row_height;
};
