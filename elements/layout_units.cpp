#include "elements/layout_units.h"

#include <algorithm>
#include <climits>

const AnchorModeName anchor_mode_names[7] = {
    {MIN_SIDE, "MIN_SIDE", u"MIN_SIDE"},
    {BOTH_SIDE, "BOTH_SIDE", u"BOTH_SIDE"},
    {MAX_SIDE, "MAX_SIDE", u"MAX_SIDE"},
    {RATIO, "RATIO", u"RATIO"},
    {CENTER, "CENTER", u"CENTER"},
    {MIN_SIDE_NO_SIZE, "MIN_SIDE_NO_SIZE", u"MIN_SIDE_NO_SIZE"},
    {MAX_SIDE_NO_SIZE, "MAX_SIDE_NO_SIZE", u"MAX_SIDE_NO_SIZE"},
};

// The length picks the candidates, so a lookup costs at most two compares.
std::optional<int> anchor_mode_from_text(StringView text)
{
    switch (text.size()) {
    case 5:
        if (text == u"RATIO")
            return RATIO;
        break;
    case 6:
        if (text == u"CENTER")
            return CENTER;
        break;
    case 8:
        if (text == u"MIN_SIDE")
            return MIN_SIDE;
        if (text == u"MAX_SIDE")
            return MAX_SIDE;
        break;
    case 9:
        if (text == u"BOTH_SIDE")
            return BOTH_SIDE;
        break;
    case 16:
        if (text == u"MIN_SIDE_NO_SIZE")
            return MIN_SIDE_NO_SIZE;
        if (text == u"MAX_SIDE_NO_SIZE")
            return MAX_SIDE_NO_SIZE;
        break;
    default:
        break;
    }
    return std::nullopt;
}

int saturated_add(long long a, long long b)
{
    return static_cast<int>(std::clamp(a + b, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

// All arithmetic is done in 64 bits: skin borders and natural sizes are
// untrusted and their sums must not wrap into a huge or negative size.
int anchored_size(int mode, int border_min, int natural, int border_max, int parent)
{
    long long p = parent;
    long long size;
    switch (mode) {
    case BOTH_SIDE:
        size = p - border_min - border_max;
        break;
    case MIN_SIDE:
        size = std::min(p - border_min, static_cast<long long>(natural));
        break;
    case MAX_SIDE:
        size = std::min(p - border_max, static_cast<long long>(natural));
        break;
    case RATIO:
    case CENTER:
        size = std::min(p - border_min - border_max, static_cast<long long>(natural));
        break;
    default:
        size = natural;
        break;
    }
    return static_cast<int>(std::clamp(size, 0LL, static_cast<long long>(INT_MAX)));
}

int anchored_offset(int mode, int border_min, int size, int border_max, int parent)
{
    switch (mode) {
    case MAX_SIDE:
    case MAX_SIDE_NO_SIZE:
        return saturated_add(std::max(static_cast<long long>(parent) - size - border_max, 0LL), 0);
    case CENTER: {
        long long centre = (static_cast<long long>(parent) - border_min - border_max) / 2;
        long long half = size / 2;
        return saturated_add(border_min, half >= centre ? 0 : centre - half);
    }
    default:
        return border_min;
    }
}

int anchored_need(int mode, int border_min, int natural, int border_max)
{
    switch (mode) {
    case MIN_SIDE:
        return saturated_add(border_min, natural);
    case MAX_SIDE:
        return saturated_add(natural, border_max);
    case MIN_SIDE_NO_SIZE:
    case MAX_SIDE_NO_SIZE:
        return 0;
    default:
        return saturated_add(static_cast<long long>(border_min) + natural, border_max);
    }
}

int anchored_border_sum(int mode, int border_min, int border_max)
{
    switch (mode) {
    case MIN_SIDE:
    case MIN_SIDE_NO_SIZE:
        return border_min;
    case MAX_SIDE:
    case MAX_SIDE_NO_SIZE:
        return border_max;
    default:
        return saturated_add(border_min, border_max);
    }
}
