#include "screens/picture_pane.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include "pixels/render_draw.h"
#include "pixels/row_operation.h"
#include "shell/script_elements.h"
#include "skin/element_type_registry.h"
#include "skin/properties.h"

namespace {

// Tiles of one level a view of size covers at most: the columns and rows it
// spans plus one for a view that does not start on a tile edge.
int tiles_per_view(Size view, Size tile)
{
    int columns = (std::max(view.width, 1) + tile.width - 1) / tile.width + 1;
    int rows = (std::max(view.height, 1) + tile.height - 1) / tile.height + 1;
    return columns * rows;
}

// Entries for the current level, whose tiles show at down to half their
// size, as many as the next coarser level needs, and a few spare; never
// unbounded.
int capacity_for(Size view, Size tile)
{
    const Size half{std::max(tile.width / 2, 1), std::max(tile.height / 2, 1)};
    return std::clamp(tiles_per_view(view, half) + tiles_per_view(view, tile) + 4, 16, 128);
}

int ceil_div(long long value, long long divisor)
{
    return static_cast<int>((value + divisor - 1) / divisor);
}

double move_towards(double value, double target, double step)
{
    if (value < target)
        return std::min(value + step, target);
    return std::max(value - step, target);
}

// Allowed view centres along one axis (full-size pixels): the middle when the
// picture is narrower than the view, else so that the picture covers the view.
PanePoint center_range(double picture, double view, double scale)
{
    if (picture * scale <= view)
        return {picture / 2.0, picture / 2.0};
    double half = view / 2.0 / scale;
    return {half, picture - half};
}

Element* create_big_picture(Element& parent)
{
    return new PicturePane(&parent);
}

}  // namespace

PicturePane::PicturePane(Element* parent) : Element(parent) {}

PicturePane::~PicturePane() = default;

void PicturePane::bind(Properties& skin, const SkinNode* node)
{
    Element::bind(skin, node);
    m_empty_color = skin.get_color(node, u"empty_color", Color{0, 0, 0, 255});
    m_empty_font = skin.get_font(node, u"empty_font", Font());
    const String key = skin.get_string(node, u"empty_text", String());
    m_empty_text = key.empty() ? String() : skin.translate(key);
    make_empty_picture();
}

// The empty picture stands for every tile that has not arrived: the empty
// colour with the empty text in the inverted colour.
void PicturePane::make_empty_picture()
{
    m_empty_picture.recreate(m_tile);
    if (!m_empty_picture.buffer())
        return;
    m_empty_picture.buffer()->clear(m_empty_color.to_pixel() | opacity_flag);
    if (m_empty_text.empty())
        return;
    Color inverted{static_cast<std::uint8_t>(255 - m_empty_color.red),
                   static_cast<std::uint8_t>(255 - m_empty_color.green),
                   static_cast<std::uint8_t>(255 - m_empty_color.blue), 255};
    draw_text(m_empty_picture, m_empty_font, inverted, m_empty_text, Rect::of({0, 0}, m_tile), align_center,
              align_vcenter, true);
}

void PicturePane::on_visibility_changed(bool visible, bool effective)
{
    Element::on_visibility_changed(visible, effective);
    if (effective)
        return;
    m_fling_speed = 0.0;
    m_pen_down = false;
}

// ---- levels ----

int PicturePane::top_level_for(Size picture, Size tile)
{
    if (tile.width <= 0 || tile.height <= 0)
        return 0;
    long long across = std::max(ceil_div(std::max(picture.width, 0), tile.width), 1);
    long long down = std::max(ceil_div(std::max(picture.height, 0), tile.height), 1);
    int level = 0;
    while ((1LL << level) < across || (1LL << level) < down)
        ++level;
    return level;
}

int PicturePane::lowest_level_for(Size screen, Size tile, int top)
{
    for (int n = top; n > 0; --n)
        if (screen.width >= (static_cast<long long>(tile.width) << n) &&
            screen.height >= (static_cast<long long>(tile.height) << n))
            return n;
    return 0;
}

double PicturePane::clamp_zoom(double zoom, int lowest, int top)
{
    if (!(zoom >= lowest) || zoom > top)
        return lowest;
    return zoom;
}

int PicturePane::current_level() const
{
    int level = static_cast<int>(std::ceil(m_zoom_target));
    return std::clamp(level, std::min(m_min_tile_level, m_top_level), m_top_level);
}

Size PicturePane::view_size() const
{
    return m_landscape ? Size{height(), width()} : Size{width(), height()};
}

void PicturePane::configure(Size tile, Size picture, bool landscape)
{
    {
        MutexLock lock(m_lock);
        m_cache.clear();
    }
    m_tile = {std::max(tile.width, 1), std::max(tile.height, 1)};
    m_picture = {std::max(picture.width, 0), std::max(picture.height, 0)};
    m_landscape = landscape;
    m_top_level = top_level_for(m_picture, m_tile);
    m_lowest_level = lowest_level_for(view_size(), m_tile, m_top_level);
    m_min_tile_level = 0;
    m_capacity = capacity_for(view_size(), m_tile);
    m_zoom = m_zoom_target = clamp_zoom(m_zoom, m_lowest_level, m_top_level);
    m_center = {m_picture.width / 2.0, m_picture.height / 2.0};
    m_fling_speed = 0.0;
    m_shift = 0.0;
    if (m_empty_picture.size() != m_tile)
        make_empty_picture();
    mark_dirty();
}

void PicturePane::configure_empty(bool landscape)
{
    configure({256, 256}, {0, 0}, landscape);
}

// ---- zoom ----

double PicturePane::scale() const
{
    return std::exp2(m_zoom - m_top_level);
}

void PicturePane::set_zoom(double zoom)
{
    m_zoom = m_zoom_target = clamp_zoom(zoom, m_lowest_level, m_top_level);
    clamp_center(false);
    mark_dirty();
}

void PicturePane::zoom_towards(double target, Point anchor)
{
    target = std::clamp(target, double(m_lowest_level), double(m_top_level));
    if (target == m_zoom_target)
        return;
    m_zoom_target = target;
    m_anchor_picture = picture_point(anchor);
    PanePoint view = view_point(anchor);
    Size size = view_size();
    m_anchor_view = {view.x - size.width / 2.0, view.y - size.height / 2.0};
    m_fling_speed = 0.0;
    mark_dirty();
}

void PicturePane::zoom_at(double zoom, Point anchor)
{
    zoom_towards(zoom, anchor);
    if (!is_zooming())
        return;
    m_zoom = m_zoom_target;
    // A step of no time places the view from the anchor at the new zoom.
    step_zoom(0.0);
}

void PicturePane::zoom_towards_center(double target)
{
    Size size = view_size();
    PanePoint c = scroll_position();
    PanePoint span = picture_span();
    // The point of the picture at the middle of the view, as a pane-local point.
    double u = span.x + c.x;
    double v = size.height / 2.0;
    Point local = m_landscape ? Point{static_cast<int>(std::lround(width() - v)), static_cast<int>(std::lround(u))}
                              : Point{static_cast<int>(std::lround(u)), static_cast<int>(std::lround(v))};
    zoom_towards(target, local);
}

void PicturePane::stop_zoom()
{
    if (m_zoom_target == m_zoom)
        return;
    m_zoom_target = m_zoom;
    mark_dirty();
}

// The zoom moves faster the more whole levels it still has to cross, so a
// jump of several levels takes about as long as a jump of one.
void PicturePane::step_zoom(double seconds)
{
    int levels = std::abs(static_cast<int>(std::floor(m_zoom_target)) - static_cast<int>(std::floor(m_zoom)));
    m_zoom = move_towards(m_zoom, m_zoom_target, zoom_speed * std::max(1, levels) * seconds);
    double s = scale();
    m_center = {m_anchor_picture.x - m_anchor_view.x / s, m_anchor_picture.y - m_anchor_view.y / s};
    clamp_center(false);
    mark_dirty();
}

// ---- geometry ----

PanePoint PicturePane::content_size() const
{
    double s = scale();
    return {m_picture.width * s, m_picture.height * s};
}

PanePoint PicturePane::scroll_position() const
{
    double s = scale();
    return {m_center.x * s, m_center.y * s};
}

void PicturePane::set_scroll(double x, double y)
{
    double s = scale();
    m_center = {x / s, y / s};
    m_fling_speed = 0.0;
    mark_dirty();
}

void PicturePane::scroll_by(double dx, double dy)
{
    double s = scale();
    m_center.x += dx / s;
    m_center.y += dy / s;
    mark_dirty();
}

PanePoint PicturePane::center_range_x() const
{
    return center_range(m_picture.width, view_size().width, scale());
}

PanePoint PicturePane::center_range_y() const
{
    return center_range(m_picture.height, view_size().height, scale());
}

void PicturePane::clamp_center(bool allow_x_overscroll)
{
    PanePoint rx = center_range_x();
    PanePoint ry = center_range_y();
    if (!allow_x_overscroll)
        m_center.x = std::clamp(m_center.x, rx.x, rx.y);
    m_center.y = std::clamp(m_center.y, ry.x, ry.y);
}

double PicturePane::overscroll() const
{
    PanePoint range = center_range_x();
    double s = scale();
    if (m_center.x < range.x)
        return (m_center.x - range.x) * s;
    if (m_center.x > range.y)
        return (m_center.x - range.y) * s;
    return 0.0;
}

PanePoint PicturePane::picture_span() const
{
    PanePoint content = content_size();
    double start = view_size().width / 2.0 - m_center.x * scale() + m_shift;
    return {start, start + content.x};
}

// A change far below a pixel (rounding of the placement arithmetic) is no
// change: it would only make the pane redraw.
void PicturePane::set_shift(double shift)
{
    if (std::abs(shift - m_shift) < 1e-6)
        return;
    m_shift = shift;
    mark_dirty();
}

// In landscape the view is the pane turned clockwise: the picture's x axis
// runs down the pane and its y axis from the pane's right edge to the left.
PanePoint PicturePane::view_point(Point local) const
{
    if (m_landscape)
        return {local.y - m_shift, double(width()) - local.x};
    return {local.x - m_shift, double(local.y)};
}

PanePoint PicturePane::picture_point(Point local) const
{
    Size size = view_size();
    PanePoint view = view_point(local);
    double s = scale();
    return {m_center.x + (view.x - size.width / 2.0) / s, m_center.y + (view.y - size.height / 2.0) / s};
}

Size PicturePane::level_size(int level) const
{
    const int reduction = m_top_level - level;
    return {ceil_div(m_picture.width, 1LL << reduction), ceil_div(m_picture.height, 1LL << reduction)};
}

Size PicturePane::tile_grid(int level) const
{
    const Size reduced = level_size(level);
    return {ceil_div(reduced.width, m_tile.width), ceil_div(reduced.height, m_tile.height)};
}

TileRange PicturePane::covered_tiles(int level) const
{
    TileRange range;
    if (is_empty() || level < 0 || level > m_top_level)
        return range;
    double factor = std::exp2(m_zoom - level);
    double tile_w = m_tile.width * factor;
    double tile_h = m_tile.height * factor;
    PanePoint c = scroll_position();
    Size view = view_size();
    Size grid = tile_grid(level);
    range.first_x = std::max(0, static_cast<int>(std::floor((c.x - view.width / 2.0) / tile_w)));
    range.last_x = std::min(grid.width - 1, static_cast<int>(std::floor((c.x + view.width / 2.0) / tile_w)));
    range.first_y = std::max(0, static_cast<int>(std::floor((c.y - view.height / 2.0) / tile_h)));
    range.last_y = std::min(grid.height - 1, static_cast<int>(std::floor((c.y + view.height / 2.0) / tile_h)));
    return range;
}

// A view rectangle (u across the picture's x axis, v along its y axis, both
// counted from the picture's corner) as a pane rectangle at origin.
Rect PicturePane::view_to_screen(const Rect& view_rect, Point origin) const
{
    if (!m_landscape)
        return {origin.x + view_rect.left, origin.y + view_rect.top, origin.x + view_rect.right,
                origin.y + view_rect.bottom};
    return {origin.x + width() - view_rect.bottom, origin.y + view_rect.left, origin.x + width() - view_rect.top,
            origin.y + view_rect.right};
}

// The picture's corner in the view, in whole pixels, so that every tile
// keeps its displayed size while the picture moves.
Point PicturePane::picture_corner() const
{
    PanePoint c = scroll_position();
    Size view = view_size();
    return {static_cast<int>(std::lround(view.width / 2.0 - c.x + m_shift)),
            static_cast<int>(std::lround(view.height / 2.0 - c.y))};
}

// The part of tile (tx, ty) of level that holds picture: where it lies in the
// tile's surface of size stored (turned in landscape) and where it shows on
// the pane. A surface smaller than a tile (the bad placeholder bitmap) stands
// at the tile's corner at the tile's scale. Tile edges are rounded from the
// picture's corner, so neighbours meet exactly.
PicturePane::TilePlace PicturePane::place_tile(int tx, int ty, int level, Point origin, Size stored) const
{
    const Size reduced = level_size(level);
    const Size upright = m_landscape ? Size{stored.height, stored.width} : stored;
    const int part_w = std::clamp(reduced.width - tx * m_tile.width, 0, std::min(m_tile.width, upright.width));
    const int part_h = std::clamp(reduced.height - ty * m_tile.height, 0, std::min(m_tile.height, upright.height));
    const double factor = std::exp2(m_zoom - level);
    auto at = [factor](long long pixels) { return static_cast<int>(std::lround(pixels * factor)); };
    const long long x0 = 1LL * tx * m_tile.width, y0 = 1LL * ty * m_tile.height;
    const Point corner = picture_corner();
    Rect view{corner.x + at(x0), corner.y + at(y0), corner.x + at(x0 + part_w), corner.y + at(y0 + part_h)};
    Rect source = m_landscape ? Rect{stored.width - part_h, 0, stored.width, part_w} : Rect{0, 0, part_w, part_h};
    return {source, view_to_screen(view, origin)};
}

// A whole tile as the pane receives it: turned in landscape.
Size PicturePane::stored_tile_size() const
{
    return m_landscape ? Size{m_tile.height, m_tile.width} : m_tile;
}

// ---- cache ----

PicturePane::Entry* PicturePane::find_entry(int tx, int ty, int level)
{
    for (Entry& entry : m_cache)
        if (entry.tx == tx && entry.ty == ty && entry.level == level)
            return &entry;
    return nullptr;
}

// An entry for the tile: the existing one, a new one while there is room, or
// the one used longest ago. An entry already used in this frame is never
// taken, so a cache too small for the view cannot make tiles chase each other.
PicturePane::Entry* PicturePane::obtain_entry(int tx, int ty, int level)
{
    if (Entry* entry = find_entry(tx, ty, level))
        return entry;
    if (!may_make_entries())
        return nullptr;
    Entry* entry = nullptr;
    if (static_cast<int>(m_cache.size()) < m_capacity) {
        entry = &m_cache.emplace_back();
    } else {
        auto oldest = std::min_element(m_cache.begin(), m_cache.end(),
                                       [](const Entry& a, const Entry& b) { return a.stamp < b.stamp; });
        if (oldest == m_cache.end() || oldest->stamp >= m_stamp)
            return nullptr;
        entry = &*oldest;
    }
    *entry = Entry{tx, ty, level, m_stamp, true, false, false, nullptr, nullptr, 0.0};
    return entry;
}

// While the zoom moves or the picture flies no entry is made: the tiles
// passed on the way would only push out the ones needed afterwards.
bool PicturePane::may_make_entries() const
{
    return !is_zooming() && !is_flinging();
}

int PicturePane::cache_size()
{
    MutexLock lock(m_lock);
    return static_cast<int>(m_cache.size());
}

bool PicturePane::has_real_tile(int tx, int ty, int level)
{
    MutexLock lock(m_lock);
    Entry* entry = find_entry(tx, ty, level);
    return entry && entry->real;
}

bool PicturePane::all_visible_tiles_real()
{
    int level = current_level();
    TileRange range = covered_tiles(level);
    for (int ty = range.first_y; ty <= range.last_y; ++ty)
        for (int tx = range.first_x; tx <= range.last_x; ++tx)
            if (!has_real_tile(tx, ty, level))
                return false;
    return true;
}

void PicturePane::deliver_tile(int tx, int ty, int level, std::unique_ptr<RenderSurface> tile)
{
    MutexLock lock(m_lock);
    Entry* entry = find_entry(tx, ty, level);
    if (!entry || !tile)
        return;
    entry->surface = std::move(tile);
    entry->scaled.reset();
    entry->placeholder = false;
    entry->real = true;
    mark_dirty();
}

bool PicturePane::tile_needed(int tx, int ty, int level, double* distance)
{
    if (distance) {
        double factor = std::exp2(m_zoom - level);
        PanePoint c = scroll_position();
        double dx = (tx + 0.5) * m_tile.width * factor - c.x;
        double dy = (ty + 0.5) * m_tile.height * factor - c.y;
        *distance = dx * dx + dy * dy;
    }
    MutexLock lock(m_lock);
    return find_entry(tx, ty, level) != nullptr;
}

// ---- drawing ----

// Only the picture is drawn: its tiles, or the empty picture where a tile
// has not arrived. Whatever lies around it belongs to the screen behind, so
// panes standing side by side never cover each other's pictures.
void PicturePane::draw_content(DrawTarget& target, Point origin)
{
    ++m_stamp;
    if (is_empty())
        return;
    const Rect pane = Rect::of(origin, size());
    std::vector<TileAsk> asks;
    {
        ClipScope pane_clip(target, origin, size());
        MutexLock lock(m_lock);
        draw_current_level(target, origin, asks);
        draw_real_tiles(target, origin, pane);
    }
    // Asked outside the lock: the requester looks into the cache to prune its queue.
    if (m_requester)
        for (const TileAsk& ask : asks)
            m_requester->add_tile(this, ask.tx, ask.ty, ask.level);
}

// Placeholders of the current level; the tiles missing from the cache are
// asked for once the zoom stands still and the picture does not fly.
void PicturePane::draw_current_level(DrawTarget& target, Point origin, std::vector<TileAsk>& asks)
{
    int level = current_level();
    TileRange range = covered_tiles(level);
    bool may_ask = !is_zooming() && !is_flinging();
    const PixelBuffer* empty = m_empty_picture.buffer();
    for (int ty = range.first_y; ty <= range.last_y; ++ty)
        for (int tx = range.first_x; tx <= range.last_x; ++tx) {
            Entry* entry = obtain_entry(tx, ty, level);
            if (!entry)
                continue;
            entry->stamp = m_stamp;
            if (entry->real)
                continue;
            if (empty) {
                const Rect place = place_tile(tx, ty, level, origin, stored_tile_size()).screen;
                scaled_blit(target, *empty, empty->bounds(), place, plain_copy_operation());
            }
            if (may_ask && !entry->asked) {
                entry->asked = true;
                asks.push_back({tx, ty, level});
            }
        }
}

// Every tile that has arrived and lies in view, coarse levels first, so a
// sharper tile of another level covers a coarser one and a level being
// zoomed to shows through wherever its tiles are already there. A coarser
// tile that the current level's tiles hide entirely is not drawn at all.
void PicturePane::draw_real_tiles(DrawTarget& target, Point origin, const Rect& pane)
{
    std::vector<Entry*> shown;
    for (Entry& entry : m_cache) {
        if (!entry.real || !entry.surface || !entry.surface->buffer() ||
            intersect(place_tile(entry.tx, entry.ty, entry.level, origin, entry.surface->size()).screen, pane)
                .is_empty())
            continue;
        if (hidden_by_current_level(entry))
            entry.scaled.reset();  // an enlarged copy is large; it is not needed any more
        else
            shown.push_back(&entry);
    }
    std::stable_sort(shown.begin(), shown.end(), [](const Entry* a, const Entry* b) { return a->level < b->level; });
    for (Entry* entry : shown)
        draw_tile(target, *entry, place_tile(entry->tx, entry->ty, entry->level, origin, entry->surface->size()));
}

// Whether every tile of the current level over a coarser entry has arrived.
bool PicturePane::hidden_by_current_level(const Entry& entry)
{
    const int level = current_level();
    if (entry.level >= level)
        return false;
    const int ratio = 1 << (level - entry.level);
    const Size grid = tile_grid(level);
    for (int ty = entry.ty * ratio; ty < (entry.ty + 1) * ratio && ty < grid.height; ++ty)
        for (int tx = entry.tx * ratio; tx < (entry.tx + 1) * ratio && tx < grid.width; ++tx) {
            const Entry* finer = find_entry(tx, ty, level);
            if (!finer || !finer->real)
                return false;
        }
    return true;
}

// A tile shown at its own size is copied. While the zoom moves, the tiles
// are scaled without filtering: the picture changes every frame and
// filtering all of it each time would slow the animation down. Once the zoom
// rests, each tile is filtered once to its displayed size and the copy kept,
// so a picture standing still or dragged costs only copies.
void PicturePane::draw_tile(DrawTarget& target, Entry& entry, const TilePlace& place)
{
    const PixelBuffer& tile = *entry.surface->buffer();
    const Size shown{place.screen.width(), place.screen.height()};
    if (shown == Size{place.source.width(), place.source.height()}) {
        blit(target, tile, {place.source.left, place.source.top}, shown, {place.screen.left, place.screen.top},
             plain_copy_operation());
        return;
    }
    if (is_zooming()) {
        entry.scaled.reset();
        scaled_blit(target, tile, place.source, place.screen, plain_copy_operation());
        return;
    }
    if (!entry.scaled || entry.scaled_zoom != m_zoom || entry.scaled->size() != shown) {
        entry.scaled = std::make_unique<RenderSurface>(shown);
        entry.scaled_zoom = m_zoom;
        if (!entry.scaled->buffer()) {
            entry.scaled.reset();
            filtered_scaled_blit(target, tile, place.source, place.screen, plain_copy_operation());
            return;
        }
        filtered_scaled_blit(*entry.scaled, tile, place.source, Rect::of({0, 0}, shown), plain_copy_operation());
    }
    draw_surface(target, *entry.scaled, {place.screen.left, place.screen.top}, plain_copy_operation());
}

// ---- motion ----

void PicturePane::update(double seconds)
{
    Element::update(seconds);
    if (m_pen_down)
        m_tracker.update(seconds);
    if (is_zooming())
        step_zoom(seconds);
    if (is_flinging())
        step_fling(seconds);
    else if (!m_pen_down && m_settling)
        step_settle(seconds);
}

bool PicturePane::hit_test(Point point) const
{
    return m_interactive && Element::hit_test(point);
}

bool PicturePane::on_stylus(const StylusEvent& event)
{
    if (event.down && !event.cancelled) {
        m_tracker.pen_down(event.x, event.y, event.time);
        m_pen_down = true;
        m_last_pen = {event.x, event.y};
        m_fling_speed = 0.0;
        return true;
    }
    if (!m_pen_down)
        return false;
    m_pen_down = false;
    m_tracker.pen_up(event.x, event.y, event.time);
    if (event.cancelled)
        return true;
    if (!m_tracker.is_dragging()) {
        if (m_listener)
            m_listener->on_pane_tap(this, {event.x - x(), event.y - y()});
        return true;
    }
    start_fling();
    if (m_listener)
        m_listener->on_pane_release(this);
    return true;
}

void PicturePane::on_stylus_move(const StylusMove& move)
{
    if (!m_pen_down)
        return;
    m_tracker.pen_move(move.x, move.y, move.time);
    if (!m_tracker.is_dragging())
        return;
    move_by_pen(move.x - m_last_pen.x, move.y - m_last_pen.y);
    m_last_pen = {move.x, move.y};
    if (m_listener)
        m_listener->on_pane_drag(this);
}

void PicturePane::end_drag()
{
    m_pen_down = false;
    m_fling_speed = 0.0;
}

// The picture follows the pen; across the picture's x axis it may go past
// its edge (the viewer turns that into a swipe), along the other it may not.
void PicturePane::move_by_pen(int dx, int dy)
{
    double du = m_landscape ? dy : dx;
    double dv = m_landscape ? -dx : dy;
    double s = scale();
    m_center.x -= du / s;
    m_center.y -= dv / s;
    clamp_center(true);
    mark_dirty();
}

void PicturePane::start_fling()
{
    // The tracker's velocity already points against the pen, the way the view moves.
    double vx = m_tracker.velocity_x(), vy = m_tracker.velocity_y();
    double du = m_landscape ? vy : vx;
    double dv = m_landscape ? -vx : vy;
    PanePoint rx = center_range_x(), ry = center_range_y();
    if ((du < 0 && m_center.x <= rx.x) || (du > 0 && m_center.x >= rx.y))
        du = 0;
    if ((dv < 0 && m_center.y <= ry.x) || (dv > 0 && m_center.y >= ry.y))
        dv = 0;
    du = std::clamp(du, -max_fling_speed, max_fling_speed);
    dv = std::clamp(dv, -max_fling_speed, max_fling_speed);
    double speed = std::hypot(du, dv);
    m_fling_speed = speed;
    if (speed > 0)
        m_fling_direction = {du / speed, dv / speed};
    mark_dirty();
}

// The fling slows by (2 speed + 9) per second, five times as hard while the
// picture stands beyond its edge; it stops at the edges of the picture.
void PicturePane::step_fling(double seconds)
{
    double brake = (2.0 * m_fling_speed + 9.0) * seconds;
    const bool beyond_edge = overscroll() != 0.0;
    if (beyond_edge) {
        brake *= 5.0;
        m_fling_direction.x = 0.0;
    }
    m_fling_speed = std::max(0.0, m_fling_speed - brake);
    double s = scale();
    m_center.x += m_fling_direction.x * m_fling_speed * seconds / s;
    m_center.y += m_fling_direction.y * m_fling_speed * seconds / s;
    PanePoint rx = center_range_x();
    PanePoint ry = center_range_y();
    if (!beyond_edge && (m_center.x <= rx.x || m_center.x >= rx.y)) {
        m_fling_direction.x = 0.0;
        m_center.x = std::clamp(m_center.x, rx.x, rx.y);
    }
    if (m_center.y <= ry.x || m_center.y >= ry.y) {
        m_fling_direction.y = 0.0;
        m_center.y = std::clamp(m_center.y, ry.x, ry.y);
    }
    if (m_fling_direction.x == 0.0 && m_fling_direction.y == 0.0)
        m_fling_speed = 0.0;
    mark_dirty();
}

// A picture left beyond its edge slides back, quickly at first.
void PicturePane::step_settle(double seconds)
{
    double over = overscroll();
    if (over == 0.0)
        return;
    double s = scale();
    double step = std::max(std::abs(over) * std::min(1.0, 12.0 * seconds), 1.0);
    double moved = move_towards(over, 0.0, step);
    m_center.x += (moved - over) / s;
    if (moved == 0.0)
        clamp_center(false);
    mark_dirty();
}

// ---- registration ----

namespace {

// The dump line of a pane: its zoom with two decimals, then the exact scale
// of the shown picture to its full size and the view centre in displayed
// pixels, from which a script finds the picture point under any pixel.
std::string pane_dump_detail(const Element& element)
{
    const auto* pane = dynamic_cast<const PicturePane*>(&element);
    if (!pane)
        return {};
    const PanePoint content = pane->content_size();
    const PanePoint scroll = pane->scroll_position();
    const double scale = pane->picture_size().width > 0 ? content.x / pane->picture_size().width : 0.0;
    char text[128];
    std::snprintf(text, sizeof text, " zoom=%.2f scale=%.6f scroll=%.2f,%.2f", pane->zoom(), scale, scroll.x, scroll.y);
    return text;
}

}  // namespace

BigPictureRegistration::BigPictureRegistration()
{
    ElementTypeRegistry::instance().register_type(u"bigpicture", create_big_picture);
    add_dump_detail(pane_dump_detail);
}

BigPictureRegistration::~BigPictureRegistration()
{
    ElementTypeRegistry::instance().unregister_type(u"bigpicture");
}
