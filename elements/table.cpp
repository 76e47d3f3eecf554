#include "elements/table.h"

#include <algorithm>
#include "elements/layout_units.h"

namespace {

using Wide = __int128;

// floor(total x part / whole) for non-negative values, without overflow.
long long proportional(long long total, long long part, long long whole)
{
    return static_cast<long long>(static_cast<Wide>(total) * part / whole);
}

// Grows each cell from its minimum toward its natural size: the space is
// offered in equal integer portions; what a cell cannot take goes round
// again among the cells still growing.
void grow_to_natural(const std::vector<TableCell>& cells, std::vector<long long>& sizes, long long space)
{
    std::vector<size_t> growing;
    for (size_t i = 0; i < cells.size(); ++i)
        if (sizes[i] < cells[i].natural)
            growing.push_back(i);
    while (space > 0 && !growing.empty()) {
        long long k = static_cast<long long>(growing.size());
        long long collected = 0;
        std::vector<size_t> still_growing;
        for (long long j = 1; j <= k; ++j) {
            size_t i = growing[static_cast<size_t>(j - 1)];
            long long offer = proportional(space, j, k) - proportional(space, j - 1, k);
            long long take = std::min(offer, cells[i].natural - sizes[i]);
            sizes[i] += take;
            collected += offer - take;
            if (sizes[i] < cells[i].natural)
                still_growing.push_back(i);
        }
        space = collected;
        growing.swap(still_growing);
    }
}

// Extra room beyond every natural size goes to the cells with a positive
// ratio; the divisor is the number of such cells, not the ratio sum.
void share_by_ratio(const std::vector<TableCell>& cells, std::vector<long long>& sizes, long long extra)
{
    long long with_ratio =
        std::count_if(cells.begin(), cells.end(), [](const TableCell& cell) { return cell.ratio > 0; });
    if (with_ratio == 0)
        return;
    long long running = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].ratio <= 0)
            continue;
        long long before = running;
        running += cells[i].ratio;
        sizes[i] += proportional(extra, running, with_ratio) - proportional(extra, before, with_ratio);
    }
}

int to_int(long long value)
{
    return saturated_add(value, 0);
}

}  // namespace

std::vector<TableSlot> share_table_length(const std::vector<TableCell>& cells, int length)
{
    std::vector<TableSlot> slots(cells.size());
    long long borders = 0, sum_natural = 0, sum_minimum = 0;
    for (const TableCell& cell : cells) {
        borders += cell.border_sum;
        sum_natural += cell.natural;
        sum_minimum += cell.minimum;
    }
    long long room = static_cast<long long>(length) - borders;
    if (room <= 0)
        return slots;

    std::vector<long long> sizes(cells.size());
    if (sum_minimum < room) {
        for (size_t i = 0; i < cells.size(); ++i)
            sizes[i] = cells[i].minimum;
        grow_to_natural(cells, sizes, std::min(sum_natural, room) - sum_minimum);
        if (sum_natural < room)
            share_by_ratio(cells, sizes, room - sum_natural);
    } else {
        long long running = 0;
        for (size_t i = 0; i < cells.size(); ++i) {
            long long before = running;
            running += cells[i].minimum;
            sizes[i] = proportional(room, running, sum_minimum) - proportional(room, before, sum_minimum);
        }
    }
    long long start = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        long long cell_length = sizes[i] + cells[i].border_sum;
        slots[i] = {to_int(start), to_int(cell_length), to_int(sizes[i])};
        start += cell_length;
    }
    return slots;
}

namespace {

// The table axis of a child: horizontal for rows, vertical for columns.
struct Axis {
    bool horizontal;
    int anchor(const Element* e) const { return horizontal ? e->anchor_x() : e->anchor_y(); }
    int near(const Element* e) const { return horizontal ? e->border_min().x : e->border_min().y; }
    int far(const Element* e) const { return horizontal ? e->border_max().x : e->border_max().y; }
    int design(const Element* e) const { return horizontal ? e->design_size().x : e->design_size().y; }
    const MeasuredSize& measured(Element* e) const { return horizontal ? e->measured_width() : e->measured_height(); }
};

std::vector<Element*> visible_children(const Element& table)
{
    std::vector<Element*> visible;
    for (Element* child : table.children())
        if (child->is_visible())
            visible.push_back(child);
    return visible;
}

// The design size only raises the natural size: a table may still shrink to
// what its cells can give up.
void measure_table(Element& table, Axis axis, MeasuredSize& pair)
{
    pair.natural = std::max(pair.natural, axis.design(&table));
    long long need = 0, give = 0;
    for (Element* child : visible_children(table)) {
        const MeasuredSize& measured = axis.measured(child);
        need += anchored_need(axis.anchor(child), axis.near(child), measured.natural, axis.far(child));
        give += static_cast<long long>(measured.natural) - measured.minimum;
    }
    pair.natural = std::max(pair.natural, to_int(need));
    pair.minimum = std::max(pair.minimum, to_int(need - give));
}

void layout_table(Element& table, Axis axis)
{
    std::vector<Element*> visible = visible_children(table);
    std::vector<TableCell> cells;
    cells.reserve(visible.size());
    for (Element* child : visible) {
        const MeasuredSize& measured = axis.measured(child);
        cells.push_back({measured.natural, measured.minimum,
                         anchored_border_sum(axis.anchor(child), axis.near(child), axis.far(child)),
                         child->table_ratio()});
    }
    int start = axis.horizontal ? table.x() : table.y();
    std::vector<TableSlot> slots = share_table_length(cells, axis.horizontal ? table.width() : table.height());
    for (size_t i = 0; i < visible.size(); ++i) {
        Element* child = visible[i];
        const TableSlot& slot = slots[i];
        if (slot.length == 0) {
            // No room at all: the child collapses at the table's start.
            if (axis.horizontal)
                child->set_horizontal(start, 0);
            else
                child->set_vertical(start, 0);
            continue;
        }
        int size = anchored_size(axis.anchor(child), axis.near(child), slot.content, axis.far(child), slot.length);
        int offset = anchored_offset(axis.anchor(child), axis.near(child), size, axis.far(child), slot.length);
        int at = saturated_add(static_cast<long long>(start) + slot.start, offset);
        if (axis.horizontal)
            child->set_horizontal(at, size);
        else
            child->set_vertical(at, size);
    }
}

}  // namespace

RowTable::RowTable(Element* parent) : Element(parent) {}

void RowTable::measure_width(MeasuredSize& pair)
{
    measure_table(*this, Axis{true}, pair);
}

void RowTable::layout_horizontal()
{
    layout_table(*this, Axis{true});
}

ColumnTable::ColumnTable(Element* parent) : Element(parent) {}

void ColumnTable::measure_height(MeasuredSize& pair)
{
    measure_table(*this, Axis{false}, pair);
}

void ColumnTable::layout_vertical()
{
    layout_table(*this, Axis{false});
}
