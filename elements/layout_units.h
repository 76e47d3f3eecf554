#pragma once
// Anchor modes and the placement formulas that turn a parent's size, a
// child's borders and its natural size into the child's size and offset.

#include <optional>
#include "platform/text.h"

enum AnchorMode {
    MIN_SIDE = 0,
    BOTH_SIDE = 1,
    MAX_SIDE = 2,
    RATIO = 3,
    CENTER = 4,
    MIN_SIDE_NO_SIZE = 5,
    MAX_SIDE_NO_SIZE = 6,
};

// One row of the anchor name table, in 8-bit and UTF-16 form.
struct AnchorModeName {
    int value;
    const char* name;
    const char16_t* wide_name;
};

// The seven anchor names in value order.
extern const AnchorModeName anchor_mode_names[7];

// The mode named exactly (case-sensitive, whole text) by text, or none.
std::optional<int> anchor_mode_from_text(StringView text);

// Size of a child along one axis (never negative).
int anchored_size(int mode, int border_min, int natural, int border_max, int parent);
// Offset of a child of the given size from the parent's near edge.
int anchored_offset(int mode, int border_min, int size, int border_max, int parent);
// How much a child of natural size widens its parent's measured size.
int anchored_need(int mode, int border_min, int natural, int border_max);
// The borders a table cell keeps along one axis: the near border for the
// MIN_SIDE modes, the far one for the MAX_SIDE modes, else both.
int anchored_border_sum(int mode, int border_min, int border_max);

// a + b, held inside the int range.
int saturated_add(long long a, long long b);
