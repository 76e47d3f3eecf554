#pragma once
// Drawing onto a draw target. Every operation clips to the target's clip and
// to the buffers' bounds and does nothing for an empty result or null buffer.

#include "pixels/pixel_span.h"
#include "pixels/render_surface.h"
#include "pixels/row_operation.h"

// Fills rect with one pixel value.
void fill_rect(DrawTarget& target, const Rect& rect, Pixel value);
// Applies an in-place span operation (dimming) to rect.
void apply_span(DrawTarget& target, const Rect& rect, const SpanOperation& operation);
// 1:1 copy of size pixels from source at src_origin to dst_origin; refused
// when the source rectangle is not inside the source buffer.
void blit(DrawTarget& target, const PixelBuffer& source, Point src_origin, Size size, Point dst_origin,
          const RowOperation& operation);
// Nearest-neighbour resampling of src_rect onto dst_rect (10 fractional bits).
void scaled_blit(DrawTarget& target, const PixelBuffer& source, const Rect& src_rect, const Rect& dst_rect,
                 const RowOperation& operation);
// Filtered resampling of src_rect onto dst_rect, each axis on its own: an
// area average (box filter) where it shrinks, bilinear where it grows. Key
// pixels take no part in the average; a destination pixel is the key when
// the source pixel under its centre is, and carries that pixel's opacity flag.
void filtered_scaled_blit(DrawTarget& target, const PixelBuffer& source, const Rect& src_rect, const Rect& dst_rect,
                          const RowOperation& operation);
// Blit of a whole surface to dst_origin.
void draw_surface(DrawTarget& target, const RenderSurface& surface, Point dst_origin, const RowOperation& operation);
