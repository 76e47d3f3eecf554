#pragma once
// "htable" and "vtable": line their visible children up along one axis and
// share the table's length among them by their sizes and "table_ratio".

#include <vector>
#include "elements/element.h"

// One visible child along the table's axis.
struct TableCell {
    int natural = 0;     // n: natural size
    int minimum = 0;     // m: minimum size
    int border_sum = 0;  // e: borders the child keeps
    int ratio = 0;       // r: its table_ratio
};

// Where one cell lands: its start from the table's start, its length
// (content plus borders) and the content size handed to the child.
struct TableSlot {
    int start = 0;
    int length = 0;
    int content = 0;
};

// Shares length among cells (the table layout rule); one slot per cell.
std::vector<TableSlot> share_table_length(const std::vector<TableCell>& cells, int length);

class RowTable : public Element {
public:
    explicit RowTable(Element* parent);
    // Sum of the visible children's widths with their borders.
    void measure_width(MeasuredSize& pair) override;
    // Places the visible children from left to right.
    void layout_horizontal() override;
};

class ColumnTable : public Element {
public:
    explicit ColumnTable(Element* parent);
    // Sum of the visible children's heights with their borders.
    void measure_height(MeasuredSize& pair) override;
    // Places the visible children from top to bottom.
    void layout_vertical() override;
};
