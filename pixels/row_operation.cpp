#include "pixels/row_operation.h"

#include <algorithm>
#include <cstring>

// The per-pixel rules. A translucent source pixel (opacity flag clear) holds
// its colour already multiplied by its opacity, so adding a shifted and
// masked share of the destination blends without a multiplication.

Pixel combine_keyed(Pixel s, Pixel d)
{
    return s == key_color ? d : s;
}

namespace {

// Written without branches so that the compiler turns a row into vector code:
// an opaque source adds a share of 0, and the key colour keeps d.
Pixel add_share(Pixel s, Pixel d, Pixel share)
{
    const Pixel added = static_cast<Pixel>(s + ((s & opacity_flag) ? 0 : share));
    return s == key_color ? d : added;
}

}  // namespace

Pixel combine_quarter(Pixel s, Pixel d)
{
    return add_share(s, d, (d >> 2) & 0x39E7);
}

Pixel combine_half(Pixel s, Pixel d)
{
    return add_share(s, d, (d >> 1) & 0x7BEF);
}

Pixel combine_three_quarters(Pixel s, Pixel d)
{
    return add_share(s, d, static_cast<Pixel>(((d >> 2) & 0x39E7) + ((d >> 1) & 0x7BEF)));
}

Pixel combine_opaque_only(Pixel s, Pixel d)
{
    return (s & opacity_flag) ? s : d;
}

Pixel combine_marking(Pixel s, Pixel d)
{
    return s == d ? d : static_cast<Pixel>(s | opacity_flag);
}

namespace {

// One class per rule: the loops are written once and the rule is inlined
// into each of them, so a row costs one virtual call.
template <Pixel (*Combine)(Pixel, Pixel)>
class CombiningOperation : public RowOperation {
public:
    void copy(Pixel* dst_first, Pixel* dst_last, const Pixel* src) const override
    {
        for (Pixel* dst = dst_first; dst < dst_last; ++dst, ++src)
            *dst = Combine(*src, *dst);
    }

    void scaled_copy(Pixel* dst_first, Pixel* dst_last, const Pixel* src_row, std::uint32_t start,
                     std::uint32_t step) const override
    {
        std::uint32_t position = start;
        for (Pixel* dst = dst_first; dst < dst_last; ++dst, position += step)
            *dst = Combine(src_row[position >> 10], *dst);
    }

    void doubled_copy(Pixel* dst, const Pixel* src_row, std::int32_t start, std::int32_t count,
                      int shift) const override
    {
        for (std::int32_t i = 0; i < count; ++i)
            dst[i] = Combine(src_row[(start + i) >> shift], dst[i]);
    }

    void repeated_copy(Pixel* dst, const Pixel* src_row, std::int32_t start, std::int32_t count, int shift,
                       std::int32_t wrap_start, std::int32_t wrap_end) const override
    {
        std::int32_t position = start;
        for (std::int32_t i = 0; i < count; ++i) {
            dst[i] = Combine(src_row[position >> shift], dst[i]);
            position = position + 1 == wrap_end ? wrap_start : position + 1;
        }
    }

    std::unique_ptr<RowOperation> clone() const override { return std::make_unique<CombiningOperation>(); }
};

Pixel take_source(Pixel s, Pixel)
{
    return s;
}

// The plain copy moves whole runs with memmove (a blit may copy within one buffer).
class PlainCopyOperation : public CombiningOperation<take_source> {
public:
    void copy(Pixel* dst_first, Pixel* dst_last, const Pixel* src) const override
    {
        if (dst_last > dst_first)
            std::memmove(dst_first, src, std::size_t(dst_last - dst_first) * sizeof(Pixel));
    }

    std::unique_ptr<RowOperation> clone() const override { return std::make_unique<PlainCopyOperation>(); }
};

const PlainCopyOperation plain_copy;
const CombiningOperation<combine_keyed> keyed;
const CombiningOperation<combine_quarter> quarter;
const CombiningOperation<combine_half> half;
const CombiningOperation<combine_three_quarters> three_quarters;
const CombiningOperation<combine_opaque_only> opaque_only;
const CombiningOperation<combine_marking> marking;

const RowOperation* const alpha_operations[5] = {&keyed, &quarter, &half, &three_quarters, &opaque_only};

}  // namespace

const RowOperation& plain_copy_operation()
{
    return plain_copy;
}

const RowOperation& alpha_operation(int level)
{
    return *alpha_operations[std::clamp(level, 0, 4)];
}

int alpha_level(int alpha)
{
    return std::clamp(alpha / 64, 0, 4);
}

const RowOperation& operation_for_alpha(int alpha)
{
    return alpha_operation(alpha_level(alpha));
}

const RowOperation& marking_operation()
{
    return marking;
}
