#include "pixels/pixel_span.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace {

// The dimming masks for one pixel (held in a 32-bit integer) or for two
// pixels in one 32-bit word (masks repeated in both halves). Every
// term keeps each colour field inside its own bits, so no carry or borrow
// crosses from one pixel into the other and both forms agree.
struct DimMasks {
    std::uint32_t m1, m2, m3, m4, add;
};
constexpr DimMasks single_masks{0x7BEF, 0x39E7, 0x18E3, 0x0861, 0x0861};
constexpr DimMasks pair_masks{0x7BEF7BEF, 0x39E739E7, 0x18E318E3, 0x08610861, 0x08610861};

template <int K>
std::uint32_t dim_value(std::uint32_t a, const DimMasks& m)
{
    const std::uint32_t h1 = (a >> 1) & m.m1;
    const std::uint32_t q2 = (a >> 2) & m.m2;
    const std::uint32_t e3 = (a >> 3) & m.m3;
    const std::uint32_t s4 = (a >> 4) & m.m4;
    switch (K) {
    case 0:
        return 0;
    case 1:
        return s4;
    case 2:
        return e3;
    case 3:
        return q2 - s4;
    case 4:
        return q2;
    case 5:
        return q2 + s4 + m.add;
    case 6:
        return h1 - e3;
    case 7:
        return h1 - s4;
    case 8:
        return h1;
    case 9:
        return h1 + s4 + m.add;
    case 10:
        return h1 + e3 + m.add;
    case 11:
        return h1 + e3 + s4 + m.add;
    case 12:
        return a - q2;
    case 13:
        return a - q2 + s4;
    case 14:
        return a - e3;
    case 15:
        return a - s4;
    default:
        return a;
    }
}

// Two pixels as one 32-bit word; may alias the 16-bit pixels it covers.
using PixelPair [[gnu::may_alias]] = std::uint32_t;

// Applies single to an unaligned first or last pixel and pair to every
// aligned pair between them.
template <class Single, class Pair>
void for_each_pair(Pixel* first, Pixel* last, Single single, Pair pair)
{
    if (first < last && (reinterpret_cast<std::uintptr_t>(first) & 2) != 0)
        single(*first++);
    const std::size_t count = first < last ? std::size_t(last - first) / 2 : 0;
    auto* pairs = reinterpret_cast<PixelPair*>(first);
    for (std::size_t i = 0; i < count; ++i)
        pair(pairs[i]);
    if (first + 2 * count < last)
        single(*(last - 1));
}

template <int K>
void dim_run(Pixel* first, Pixel* last)
{
    for_each_pair(
        first, last, [](Pixel& p) { p = static_cast<Pixel>(dim_value<K>(p, single_masks)); },
        [](PixelPair& p) { p = dim_value<K>(p, pair_masks); });
}

using DimRun = void (*)(Pixel*, Pixel*);
using DimRule = std::uint32_t (*)(std::uint32_t, const DimMasks&);

template <int... K>
constexpr auto make_runs(std::integer_sequence<int, K...>)
{
    return std::array<DimRun, sizeof...(K)>{dim_run<K>...};
}
template <int... K>
constexpr auto make_rules(std::integer_sequence<int, K...>)
{
    return std::array<DimRule, sizeof...(K)>{dim_value<K>...};
}

constexpr auto dim_runs = make_runs(std::make_integer_sequence<int, 17>{});
constexpr auto dim_rules = make_rules(std::make_integer_sequence<int, 17>{});

}  // namespace

void FillSpan::apply(Pixel* first, Pixel* last) const
{
    // The pixel duplicated into a 32-bit word writes aligned pairs at once.
    const Pixel value = m_value;
    const std::uint32_t doubled = std::uint32_t(value) * 0x10001u;
    for_each_pair(
        first, last, [value](Pixel& p) { p = value; }, [doubled](PixelPair& p) { p = doubled; });
}

DimSpan::DimSpan(int level) : m_level(std::clamp(level, 0, 16)) {}

void DimSpan::apply(Pixel* first, Pixel* last) const
{
    dim_runs[m_level](first, last);
}

int dim_level(int alpha)
{
    return std::clamp((alpha + 8) / 16, 0, 16);
}

Pixel dim_pixel(Pixel a, int level)
{
    return static_cast<Pixel>(dim_rules[std::clamp(level, 0, 16)](a, single_masks));
}
