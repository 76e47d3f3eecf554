#include "pixels/render_draw.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The part of rect that may be drawn: inside the clip and inside the buffer.
Rect visible_part(const DrawTarget& target, const Rect& rect)
{
    return intersect(intersect(rect, target.clip()), target.buffer()->bounds());
}

bool lies_inside(const PixelBuffer& buffer, const Rect& rect)
{
    return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom &&
           rect.right <= buffer.width() && rect.bottom <= buffer.height();
}

// The weights of one filter tap sum to this.
constexpr std::uint32_t weight_one = 1u << 16;

// How the destination pixels of one axis take their source pixels: for each,
// the first source pixel, how many follow, their weights (in 1/weight_one,
// summing to weight_one) and the source pixel under its centre.
struct AxisTaps {
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> count;
    std::vector<std::int32_t> centre;
    std::vector<std::size_t> offset;
    std::vector<std::uint32_t> weights;
};

// Appends one destination pixel's taps, turning the shares (summing to 1)
// into whole weights; what rounding leaves over goes to the largest share.
void add_taps(AxisTaps& taps, std::int32_t first, const std::vector<double>& shares)
{
    taps.first.push_back(first);
    taps.count.push_back(static_cast<std::int32_t>(shares.size()));
    taps.offset.push_back(taps.weights.size());
    const std::size_t base = taps.weights.size();
    const std::size_t largest = base + std::size_t(std::max_element(shares.begin(), shares.end()) - shares.begin());
    std::uint32_t total = 0;
    for (double share : shares) {
        const auto weight = static_cast<std::uint32_t>(std::lround(share * weight_one));
        taps.weights.push_back(weight);
        total += weight;
    }
    taps.weights[largest] += weight_one - total;
}

// The taps of destination pixels [from, to) of an axis where dest_length
// pixels show source_length: the source pixels each destination pixel covers,
// by the part of it they cover, when the axis shrinks; the two source pixels
// around its centre, linearly weighted, when it grows or stays.
AxisTaps axis_taps(std::int32_t source_length, std::int32_t dest_length, std::int32_t from, std::int32_t to)
{
    AxisTaps taps;
    const double ratio = double(source_length) / dest_length;
    std::vector<double> shares;
    for (std::int32_t i = from; i < to; ++i) {
        taps.centre.push_back(std::min(source_length - 1, static_cast<std::int32_t>((i + 0.5) * ratio)));
        shares.clear();
        if (dest_length < source_length) {
            const double start = i * ratio, end = start + ratio;
            const auto first = static_cast<std::int32_t>(start);
            const std::int32_t last = std::min(source_length, static_cast<std::int32_t>(std::ceil(end)));
            for (std::int32_t p = first; p < last; ++p)
                shares.push_back((std::min<double>(p + 1, end) - std::max<double>(p, start)) / ratio);
            add_taps(taps, first, shares);
        } else {
            const double position = std::clamp((i + 0.5) * ratio - 0.5, 0.0, double(source_length - 1));
            const auto first = static_cast<std::int32_t>(position);
            const double fraction = position - first;
            shares.push_back(1.0 - fraction);
            if (fraction > 0.0)
                shares.push_back(fraction);
            add_taps(taps, first, shares);
        }
    }
    return taps;
}

// Weighted colour sums of source pixels (key pixels left out) and the weight they had.
struct ColourSums {
    std::uint64_t red = 0;
    std::uint64_t green = 0;
    std::uint64_t blue = 0;
    std::uint64_t cover = 0;
};

// The mean colour of sums with green's lowest bit (the opacity flag) set as
// flag asks: of the two green values around the mean, the one with that bit.
Pixel mean_pixel(const ColourSums& sums, Pixel flag)
{
    const std::uint64_t half = sums.cover / 2;
    const auto red = static_cast<Pixel>((sums.red + half) / sums.cover);
    const auto blue = static_cast<Pixel>((sums.blue + half) / sums.cover);
    auto green = static_cast<Pixel>(sums.green / sums.cover);
    const Pixel wanted = flag ? 1 : 0;
    if ((green & 1) != wanted)
        green = green == 63 ? 62 : green + 1;
    return static_cast<Pixel>(std::min<Pixel>(red, 31) << 11 | green << 5 | std::min<Pixel>(blue, 31));
}

// The part of dst_rect a scaled copy of src_rect writes: empty when there is
// no buffer, either rectangle is empty or src_rect leaves the source.
Rect scaled_area(DrawTarget& target, const PixelBuffer& source, const Rect& src_rect, const Rect& dst_rect)
{
    if (!target.buffer() || src_rect.is_empty() || dst_rect.is_empty() || !lies_inside(source, src_rect))
        return Rect{};
    return visible_part(target, dst_rect);
}

}  // namespace

void fill_rect(DrawTarget& target, const Rect& rect, Pixel value)
{
    apply_span(target, rect, FillSpan(value));
}

void apply_span(DrawTarget& target, const Rect& rect, const SpanOperation& operation)
{
    if (!target.buffer())
        return;
    const Rect area = visible_part(target, rect);
    for (std::int32_t y = area.top; y < area.bottom; ++y) {
        Pixel* row = target.buffer()->row(y);
        operation.apply(row + area.left, row + area.right);
    }
}

void blit(DrawTarget& target, const PixelBuffer& source, Point src_origin, Size size, Point dst_origin,
          const RowOperation& operation)
{
    if (!target.buffer() || !lies_inside(source, Rect::of(src_origin, size)))
        return;
    const Rect area = visible_part(target, Rect::of(dst_origin, size));
    if (area.is_empty())
        return;
    const std::int32_t dx = src_origin.x - dst_origin.x;
    const std::int32_t dy = src_origin.y - dst_origin.y;
    PixelBuffer& destination = *target.buffer();
    // Within one buffer, a copy downwards runs bottom-up so rows are read before
    // they are overwritten.
    const bool bottom_up = &source == &destination && dy < 0;
    for (std::int32_t i = 0; i < area.height(); ++i) {
        const std::int32_t y = bottom_up ? area.bottom - 1 - i : area.top + i;
        Pixel* row = destination.row(y);
        operation.copy(row + area.left, row + area.right, source.row(y + dy) + area.left + dx);
    }
}

void scaled_blit(DrawTarget& target, const PixelBuffer& source, const Rect& src_rect, const Rect& dst_rect,
                 const RowOperation& operation)
{
    const Rect area = scaled_area(target, source, src_rect, dst_rect);
    if (area.is_empty())
        return;
    // 10 fractional bits; sides are at most 32768, so positions fit in 32 bits.
    const std::uint32_t step_x = (std::uint32_t(src_rect.width()) << 10) / std::uint32_t(dst_rect.width());
    const std::uint32_t step_y = (std::uint32_t(src_rect.height()) << 10) / std::uint32_t(dst_rect.height());
    const auto start_x = std::uint32_t(std::uint64_t(area.left - dst_rect.left) * step_x);
    std::uint64_t position_y = std::uint64_t(area.top - dst_rect.top) * step_y;
    for (std::int32_t y = area.top; y < area.bottom; ++y, position_y += step_y) {
        const Pixel* src_row = source.row(src_rect.top + std::int32_t(position_y >> 10)) + src_rect.left;
        Pixel* row = target.buffer()->row(y);
        operation.scaled_copy(row + area.left, row + area.right, src_row, start_x, step_x);
    }
}

void draw_surface(DrawTarget& target, const RenderSurface& surface, Point dst_origin, const RowOperation& operation)
{
    if (const PixelBuffer* buffer = surface.buffer())
        blit(target, *buffer, {0, 0}, buffer->size(), dst_origin, operation);
}

// Each destination row first sums its source rows per source column (the
// vertical taps), then each destination pixel sums those columns (the
// horizontal taps). The row goes to the operation as one run.
void filtered_scaled_blit(DrawTarget& target, const PixelBuffer& source, const Rect& src_rect, const Rect& dst_rect,
                          const RowOperation& operation)
{
    const Rect area = scaled_area(target, source, src_rect, dst_rect);
    if (area.is_empty())
        return;
    const AxisTaps across =
        axis_taps(src_rect.width(), dst_rect.width(), area.left - dst_rect.left, area.right - dst_rect.left);
    const AxisTaps down =
        axis_taps(src_rect.height(), dst_rect.height(), area.top - dst_rect.top, area.bottom - dst_rect.top);
    const std::int32_t column_first = across.first.front();
    const std::size_t columns = std::size_t(across.first.back() + across.count.back() - column_first);
    std::vector<ColourSums> column_sums(columns);
    std::vector<Pixel> out(std::size_t(area.width()));
    for (std::int32_t y = 0; y < area.height(); ++y) {
        std::fill(column_sums.begin(), column_sums.end(), ColourSums{});
        for (std::int32_t k = 0; k < down.count[y]; ++k) {
            const std::uint64_t weight = down.weights[down.offset[y] + k];
            const Pixel* src = source.row(src_rect.top + down.first[y] + k) + src_rect.left + column_first;
            for (std::size_t c = 0; c < columns; ++c) {
                const Pixel p = src[c];
                if (p == key_color)
                    continue;
                ColourSums& sums = column_sums[c];
                sums.red += weight * (p >> 11);
                sums.green += weight * ((p >> 5) & 63);
                sums.blue += weight * (p & 31);
                sums.cover += weight;
            }
        }
        const Pixel* centre_row = source.row(src_rect.top + down.centre[y]) + src_rect.left;
        for (std::size_t x = 0; x < out.size(); ++x) {
            const Pixel centre = centre_row[across.centre[x]];
            ColourSums sums;
            for (std::int32_t k = 0; k < across.count[x]; ++k) {
                const std::uint64_t weight = across.weights[across.offset[x] + k];
                const ColourSums& column = column_sums[std::size_t(across.first[x] - column_first + k)];
                sums.red += weight * column.red;
                sums.green += weight * column.green;
                sums.blue += weight * column.blue;
                sums.cover += weight * column.cover;
            }
            out[x] = centre == key_color || sums.cover == 0 ? centre : mean_pixel(sums, centre & opacity_flag);
        }
        Pixel* row = target.buffer()->row(area.top + y);
        operation.copy(row + area.left, row + area.right, out.data());
    }
}
