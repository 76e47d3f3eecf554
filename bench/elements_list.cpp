// Frame cost of a scrolling virtual list with few and with a million rows
// (it must not depend on the row count), and the layout of a screen-sized
// tree after a change of resolution.

#include <benchmark/benchmark.h>
#include "elements/color_element.h"
#include "elements/layout_units.h"
#include "elements/table.h"
#include "elements/text_element.h"
#include "elements/virtual_list.h"
#include "pixels/render_surface.h"
#include "skin/font.h"
#include "skin/orientation_observer.h"

namespace {

const Font& bench_font()
{
    static const Font font(FontSpec{9, 1, false, false, false, u"DejaVu Sans"});
    return font;
}

// A row like an album row: a background and a caption.
class AlbumRow : public ListRow {
public:
    AlbumRow() : ListRow(nullptr)
    {
        set_design_size({0, 48});
        auto* background = new ColorElement(this);
        background->set_color({250, 250, 250, 255});
        background->set_borders({0, 0}, {0, 1});
        m_caption = new TextElement(this);
        m_caption->set_font(bench_font());
        m_caption->set_alignment(align_left, align_vcenter);
        m_caption->set_borders({12, 0}, {0, 0});
    }
    void fill(VirtualList&, bool) override { m_caption->set_text(u"Album " + to_string16(index())); }

private:
    TextElement* m_caption;
};

class AlbumAdapter : public ListAdapter {
public:
    void on_row_activated(VirtualList&, int) override {}
    ListRow* create_row(VirtualList&, int) override { return new AlbumRow(); }
};

void lay_out(Element& root, Size size)
{
    root.set_horizontal(0, size.width);
    root.set_vertical(0, size.height);
}

// One frame: the pen drags the list by a few pixels, then update, layout
// and draw, as the frame loop does. The drag turns at the list's ends so
// that both lists keep scrolling.
void scrolling_list_frame(benchmark::State& state)
{
    const Size screen{480, 640};
    Element root(nullptr);
    auto* list = new VirtualList(&root);
    AlbumAdapter adapter;
    list->reset(static_cast<int>(state.range(0)));
    list->set_adapter(&adapter);
    lay_out(root, screen);
    RenderSurface surface(screen);
    int pen_y = 320;
    int time = 0;
    int step = -7;
    list->on_stylus({240, pen_y, time, 0, true, false});
    for (auto _ : state) {
        bool at_top = list->before_first() == -1 && list->offset() >= 0;
        bool at_end = list->end_index() == list->count() && list->rows_height() + list->offset() <= screen.height;
        if ((at_top && step > 0) || (at_end && step < 0))
            step = -step;
        pen_y += step;
        time += 20;
        list->on_stylus_move({240, pen_y, time});
        root.update(0.02);
        lay_out(root, screen);
        root.draw(surface, {0, 0});
        benchmark::DoNotOptimize(surface.buffer()->at(0, 0));
    }
    state.counters["rows_alive"] = static_cast<double>(list->rows().size());
}
BENCHMARK(scrolling_list_frame)->Arg(100)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// A settings-like screen: a column of 20 rows, each a row table of four
// boxes with a caption and a spacer: 202 elements in all.
std::unique_ptr<Element> make_screen()
{
    auto screen = std::make_unique<Element>(nullptr);
    auto* column = new ColumnTable(screen.get());
    for (int row = 0; row < 20; ++row) {
        auto* line = new RowTable(column);
        line->set_borders({4, 2}, {4, 2});
        for (int cell = 0; cell < 4; ++cell) {
            auto* box = new ColorElement(line);
            box->set_design_size({cell == 1 ? 10 : 24 + cell * 8, 20});
            box->set_table_ratio(cell == 1 ? 1 : 0);
            box->set_anchors(cell == 3 ? MAX_SIDE : MIN_SIDE, CENTER);
            auto* text = new TextElement(box);
            text->set_font(bench_font());
            text->set_text(u"Item " + to_string16(row * 4 + cell));
        }
        new ColorElement(line);
    }
    return screen;
}

// A rotation: the fonts forget their glyph widths, every text lays its
// lines out again, and the whole tree is measured and placed at the new size.
void layout_after_resolution_change(benchmark::State& state)
{
    long before = Element::live_count();
    auto screen = make_screen();
    long elements = Element::live_count() - before;
    bool portrait = true;
    for (auto _ : state) {
        portrait = !portrait;
        OrientationObserver::notify_all();
        lay_out(*screen, portrait ? Size{240, 320} : Size{800, 480});
        benchmark::DoNotOptimize(screen->children().front()->height());
    }
    state.counters["elements"] = static_cast<double>(elements);
}
BENCHMARK(layout_after_resolution_change)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
