#include "pixels/render_draw.h"

namespace {

// The part of rect that may be drawn: inside the clip and inside the buffer.
Rect visible_part(const DrawTarget& target, const Rect& rect)
{
    return intersect(intersect(rect, target.clip()), target.buffer()->bounds());
}

bool lies_inside(const PixelBuffer& buffer, const Rect& rect)
{
    return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom
        && rect.right <= buffer.width() && rect.bottom <= buffer.height();
}

} // namespace

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

void blit(DrawTarget& target, const PixelBuffer& source, Point src_origin, Size size,
          Point dst_origin, const RowOperation& operation)
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

void scaled_blit(DrawTarget& target, const PixelBuffer& source, const Rect& src_rect,
                 const Rect& dst_rect, const RowOperation& operation)
{
    if (!target.buffer() || src_rect.is_empty() || dst_rect.is_empty()
        || !lies_inside(source, src_rect))
        return;
    const Rect area = visible_part(target, dst_rect);
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

void draw_surface(DrawTarget& target, const RenderSurface& surface, Point dst_origin,
                  const RowOperation& operation)
{
    if (const PixelBuffer* buffer = surface.buffer())
        blit(target, *buffer, {0, 0}, buffer->size(), dst_origin, operation);
}
