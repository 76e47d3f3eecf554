#pragma once
// Row operations: combine a run of source pixels into a run of destination
// pixels. Chosen once per draw; one virtual call per row run.

#include <cstdint>
#include <memory>
#include "pixels/pixel_types.h"

class RowOperation {
public:
    virtual ~RowOperation() = default;
    // One source pixel per destination pixel in [dst_first, dst_last).
    virtual void copy(Pixel* dst_first, Pixel* dst_last, const Pixel* src) const = 0;
    // Source index = position >> 10, position from start growing by step.
    virtual void scaled_copy(Pixel* dst_first, Pixel* dst_last, const Pixel* src_row, std::uint32_t start,
                             std::uint32_t step) const = 0;
    // Destination pixel i takes source index (start + i) >> shift.
    virtual void doubled_copy(Pixel* dst, const Pixel* src_row, std::int32_t start, std::int32_t count,
                              int shift) const = 0;
    // Destination pixel i takes source index position >> shift; position starts at
    // start and wraps to wrap_start when it reaches wrap_end.
    virtual void repeated_copy(Pixel* dst, const Pixel* src_row, std::int32_t start, std::int32_t count, int shift,
                               std::int32_t wrap_start, std::int32_t wrap_end) const = 0;
    // A new object of the same kind.
    virtual std::unique_ptr<RowOperation> clone() const = 0;
};

// d = s.
const RowOperation& plain_copy_operation();
// Alpha level 0..4: keyed, quarter, half, three quarters, opaque only.
const RowOperation& alpha_operation(int level);
// Level for an alpha value: alpha / 64 clamped to 0..4.
int alpha_level(int alpha);
// The shared operation for an alpha value.
const RowOperation& operation_for_alpha(int alpha);
// Text marking: s where s equals d, else s with the opacity flag set.
const RowOperation& marking_operation();

// The per-pixel rules, for callers that combine single pixels.
Pixel combine_keyed(Pixel s, Pixel d);
Pixel combine_quarter(Pixel s, Pixel d);
Pixel combine_half(Pixel s, Pixel d);
Pixel combine_three_quarters(Pixel s, Pixel d);
Pixel combine_opaque_only(Pixel s, Pixel d);
Pixel combine_marking(Pixel s, Pixel d);
