#include "screens/viewer.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include "elements/text_element.h"
#include "library/cache_piece_creator.h"
#include "library/jpeg_piece_creator.h"
#include "library/oriented_piece_creator.h"
#include "library/photo_library.h"
#include "library/preview_file.h"
#include "pixels/bmp_reader.h"
#include "pixels/render_draw.h"
#include "platform/file.h"
#include "platform/key_codes.h"
#include "platform/log.h"
#include "screens/required_element.h"
#include "screens/tile_transform.h"
#include "shell/active_scheduler.h"
#include "shell/application.h"
#include "shell/timer.h"
#include "skin/plexor.h"

namespace {

// The single tile that stands for a whole picture without tiles, and the
// part of it the picture covers.
constexpr Size placeholder_tile_size{64, 64};
constexpr Size placeholder_picture_size{45, 45};
// The coarsest reduction a direct decode offers is 1/8: three levels below the top.
constexpr int direct_decode_levels = 3;
// Slide towards the neighbour: a share of the distance per second, and at least this speed.
constexpr double slide_rate = 12.0;
// Zoom levels per notch of the mouse wheel.
constexpr double wheel_zoom_step = 0.5;
constexpr double slide_min_speed = 400.0;

std::unique_ptr<PixelBuffer> read_placeholder(const String& path)
{
    File file(path, File::read_mode);
    std::unique_ptr<PixelBuffer> bitmap = file.is_open() ? read_bmp_565(file) : nullptr;
    if (!bitmap)
        log() << "load_565 " << path << " is not 16bit bitmap\n";
    return bitmap;
}

double round_half_up(double value)
{
    return std::floor(value + 0.5);
}

}  // namespace

PictureViewer::PictureViewer(Properties& skin, StringView placeholder_folder)
    : Element(nullptr), m_skin(skin), m_placeholder_folder(placeholder_folder),
      m_scheduler(CActiveScheduler::current()), m_tiles(*this, static_cast<int>(m_slots.size()))
{
    log() << "image form\n";
    bind_skin();
    m_load_bitmap = read_placeholder(m_placeholder_folder + u"load.bmp");
    m_bad_bitmap = read_placeholder(m_placeholder_folder + u"bad.bmp");
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->add_observer(this);
    m_tap_timer = std::make_unique<CTimer>(m_scheduler, [this] { on_single_tap(); });
    m_tiles.start();
}

// The tile worker reads the slots and the placeholders: it ends before any
// of them goes.
PictureViewer::~PictureViewer()
{
    m_tiles.stop();
    m_scheduler.cancel(*m_tap_timer);
}

void PictureViewer::bind_skin()
{
    load_required_node(m_skin, u"Image");
    m_outside_color = m_skin.get_color(m_skin.find_node(u"Image"), u"outside_color", Color{0, 0, 0, 255});
    m_btn_back = required<Button>(*this, u"btnBack");
    m_btn_minus = required<Button>(*this, u"btnMinus");
    m_btn_plus = required<Button>(*this, u"btnPlus");
    m_btn_landscape = required<Button>(*this, u"btnLandscape");
    m_num_text = required<TextElement>(*this, u"btnNumText");
    m_btn_log2 = required<Button>(*this, u"btnLog2");
    const char16_t* pane_ids[3] = {u"left", u"center", u"right"};
    for (int i = 0; i < 3; ++i) {
        PicturePane* pane = required<PicturePane>(*this, pane_ids[i]);
        pane->set_requester(this);
        pane->set_listener(this);
        m_slots[i].pane = pane;
    }
    for (Button* button : {m_btn_back, m_btn_minus, m_btn_plus, m_btn_landscape, m_btn_log2})
        button->set_listener(this);
    m_btn_log2->set_visible(false);
    // Buttons that only carry a key binding of the skin; a skin may leave them out.
    m_key_prev = dynamic_cast<Button*>(find_by_id(u"keyPrevious"));
    m_key_next = dynamic_cast<Button*>(find_by_id(u"keyNext"));
    m_key_zoom_in = dynamic_cast<Button*>(find_by_id(u"keyZoomIn"));
    m_key_zoom_out = dynamic_cast<Button*>(find_by_id(u"keyZoomOut"));
    m_key_controls = dynamic_cast<Button*>(find_by_id(u"keyControls"));
    for (Button* button : {m_key_prev, m_key_next, m_key_zoom_in, m_key_zoom_out, m_key_controls})
        if (button) {
            button->set_listener(this);
            button->set_visible(false);
        }
}

Button* PictureViewer::button(StringView id) const
{
    return dynamic_cast<Button*>(find_by_id(id));
}

// ---- opening ----

void PictureViewer::open(const std::vector<String>& pictures, int index, StringView drive)
{
    m_pictures = pictures;
    m_index = std::clamp(index, 0, std::max(0, picture_count() - 1));
    m_drive = String(drive);
    m_landscape = false;
    for (PictureSlot& slot : m_slots)
        slot.pane->configure_empty(false);
    m_btn_back->set_visible(false);
    m_num_text->set_visible(false);
    m_btn_minus->set_visible(false);
    m_btn_landscape->set_visible(false);
    log() << "Landscape not visible\n";
    m_tiles.set_drained(true, "open");
    m_controls_timer = 0.0;
    m_controls_shown = true;
    set_counter();
    m_opened = true;
    if (!m_pictures.empty())
        open_picture();
}

String PictureViewer::counter_text() const
{
    return from_ascii(std::to_string(m_index + 1)) + u" " + m_skin.translate(u"of") + u" " +
           from_ascii(std::to_string(picture_count()));
}

void PictureViewer::set_counter()
{
    m_num_text->set_text(counter_text());
}

bool PictureViewer::has_picture(int position) const
{
    int picture = m_index + position - 1;
    return picture >= 0 && picture < picture_count();
}

// The screen the panes fill; before the viewer is placed, the program's
// client area (the viewer is shown full screen).
Size PictureViewer::screen_size() const
{
    if (width() > 0 && height() > 0)
        return size();
    if (GameBase* base = GameBase::instance()) {
        DisplayMode mode = base->client_area();
        return {mode.client_width, mode.client_height};
    }
    return size();
}

void PictureViewer::open_picture()
{
    reset_motion();
    m_fitted_screen = screen_size();
    for (int position = 0; position < 3; ++position)
        if (has_picture(position)) {
            load_slot(position);
            fit_slot(position);
        }
    if (PhotoLibrary* library = PhotoLibrary::instance())
        if (has_picture(1))
            library->prioritise_picture(m_pictures[m_index]);
    for (int position : {0, 2})
        if (!has_picture(position))
            empty_pane(position);
    place_panes();
}

void PictureViewer::empty_pane(int position)
{
    PicturePane& pane = pane_at(position);
    pane.configure_empty(m_landscape);
    pane.set_scroll(0.0, 0.0);
}

void PictureViewer::center_pane(int position)
{
    PicturePane& pane = pane_at(position);
    PanePoint content = pane.content_size();
    pane.set_scroll(content.x / 2.0, content.y / 2.0);
}

// ---- slots ----

// The creator is swapped under the tile lock, so the worker never uses one
// that is being destroyed; the old one goes after the lock is released. The
// swap starts a new load of the slot: tiles asked for before are stale.
void PictureViewer::replace_creator(PictureSlot& slot, std::unique_ptr<PieceCreator> creator, int state, bool direct_ok)
{
    std::unique_ptr<PieceCreator> old;
    m_tiles.reload_slot(static_cast<int>(&slot - m_slots.data()), [&] {
        old = std::move(slot.creator);
        slot.creator = std::move(creator);
        slot.state = state;
        slot.direct_ok = direct_ok;
    });
}

void PictureViewer::load_slot(int position)
{
    PictureSlot& slot = slot_at(position);
    const String& picture = m_pictures[m_index + position - 1];
    const String preview = preview_path(picture, m_drive);
    if (preview.empty() || PhotoLibrary::is_bad_preview(preview)) {
        log() << "reset PieceCrt2 begin\n";
        auto creator = std::make_unique<JpegPieceCreator>(picture);
        const bool ok = creator->ok();
        replace_creator(slot, with_orientation(std::move(creator), picture), slot_bad_picture, ok);
        log() << "reset PieceCrt2\n";
    } else if (is_preview_ready(picture, m_drive)) {
        auto creator = std::make_unique<CachePieceCreator>(picture, m_drive);
        // A preview whose picture is gone or unreadable has no size to show:
        // the slot shows the single bad tile instead of nothing.
        const int state = creator->ok() ? slot_preview_ready : slot_bad_picture;
        if (!creator->ok())
            log() << "Bad picture in creation\n";
        replace_creator(slot, with_orientation(std::move(creator), picture), state, false);
        log() << "reset\n";
    } else {
        log() << "reset PieceCrt1 begin\n";
        auto creator = std::make_unique<JpegPieceCreator>(picture);
        const bool ok = creator->ok();
        replace_creator(slot, with_orientation(std::move(creator), picture), slot_preview_pending, ok);
        log() << "reset PieceCrt1\n";
        if (PhotoLibrary* library = PhotoLibrary::instance())
            library->prioritise_picture(picture);
    }
}

double PictureViewer::fit_zoom_for(Size picture, Size screen, int top_level)
{
    if (picture.width <= 0 || picture.height <= 0 || screen.width <= 0 || screen.height <= 0)
        return 0.0;
    double across = top_level + std::log2(double(screen.width) / picture.width);
    double down = top_level + std::log2(double(screen.height) / picture.height);
    double fit = (across < 0 && down < 0) ? std::max(across, down) : std::min(across, down);
    return std::min(fit, double(top_level));
}

void PictureViewer::fit_slot(int position)
{
    PictureSlot& slot = slot_at(position);
    PicturePane& pane = *slot.pane;
    Size screen = screen_size();
    if (m_landscape)
        screen = {screen.height, screen.width};
    double fit = 0.0;
    if (slot.creator && (slot.state == slot_preview_ready || slot.direct_ok)) {
        const Size picture = slot.creator->size();
        const int top = slot.creator->levels();
        pane.configure({tile_size, tile_size}, picture, m_landscape);
        // A direct decode reduces by 1/8 at most: coarser levels are drawn from that one.
        if (slot.state != slot_preview_ready)
            pane.set_min_tile_level(std::max(0, top - direct_decode_levels));
        if (!m_landscape)
            log() << "restart " << position << "\n";
        fit = fit_zoom_for(picture, screen, top);
    } else {
        pane.configure(placeholder_tile_size, placeholder_picture_size, m_landscape);
    }
    pane.set_zoom(fit);
    slot.fit_zoom = pane.zoom();
    center_pane(position);
}

int PictureViewer::slot_index_of(const PicturePane* pane) const
{
    for (int i = 0; i < 3; ++i)
        if (m_slots[i].pane == pane)
            return i;
    return -1;
}

// The first queued request and the first finished tile stay: the worker may
// be working on the one, and the other is the next to be handed over.
void PictureViewer::clear_slot(int position)
{
    m_tiles.clear_slot(m_order[position]);
}

// ---- tiles ----

void PictureViewer::add_tile(PicturePane* pane, int tx, int ty, int z)
{
    const int slot = slot_index_of(pane);
    if (slot < 0)
        return;
    log() << "add tile " << m_slots[slot].fit_zoom << " " << tx << " " << ty << " " << z << "\n";
    m_tiles.add(TileRequest{tx, ty, z, slot, 0, m_landscape, nullptr});
}

// Under the queue lock; takes the pane's cache lock.
bool PictureViewer::tile_needed(const TileRequest& request)
{
    return m_slots[request.slot].pane->tile_needed(request.tx, request.ty, request.z, nullptr);
}

// On the tile worker under the tile lock, where the slot's tile source and
// state cannot change.
std::unique_ptr<RenderSurface> PictureViewer::make_tile(const TileRequest& request)
{
    if (m_tile_probe)
        m_tile_probe();
    const PictureSlot& slot = m_slots[request.slot];
    std::unique_ptr<RenderSurface> tile;
    if (!slot.direct_ok && slot.state == slot_preview_pending)
        tile = framed_bitmap(m_load_bitmap.get(), placeholder_tile_size);
    else if (!slot.direct_ok && slot.state == slot_bad_picture)
        tile = framed_bitmap(m_bad_bitmap.get(), placeholder_tile_size);
    else if (slot.creator)
        tile = slot.creator->get_piece(request.tx, request.ty, request.z);
    if (!tile || !tile->buffer())
        tile = bad_tile();
    if (request.landscape && tile && tile->buffer())
        tile = turn_clockwise(*tile->buffer());
    return tile;
}

// A tile that fails to decode is the bad placeholder bitmap itself (black
// when there is none); the pane shows it at the tile's corner.
std::unique_ptr<RenderSurface> PictureViewer::bad_tile() const
{
    if (!m_bad_bitmap)
        return framed_bitmap(nullptr, {tile_size, tile_size});
    return framed_bitmap(m_bad_bitmap.get(), m_bad_bitmap->size());
}

// One finished tile per frame goes to its pane; tiles made for an earlier
// load of their slot are thrown away on the way.
void PictureViewer::deliver_one_tile()
{
    std::optional<TileRequest> request = m_tiles.take_finished();
    if (!request)
        return;
    PictureSlot& slot = m_slots[request->slot];
    log() << "found " << slot.fit_zoom << " " << request->tx << " " << request->ty << " " << request->z << "\n";
    slot.pane->deliver_tile(request->tx, request->ty, request->z, std::move(request->surface));
}

// ---- frame ----

void PictureViewer::update(double seconds)
{
    Element::update(seconds);
    update_controls(seconds);
    if (PhotoLibrary* library = PhotoLibrary::instance())
        library->dispatch_events();
    update_zoom_buttons();
    deliver_one_tile();
    update_landscape_button();
    update_slide(seconds);
    if (m_tap_zoom && !pane_at(1).is_zooming())
        m_tap_zoom = false;
    place_panes();
}

// The panes draw only their pictures and leave the rest of the screen as it
// was; without this fill the pixels of an earlier frame (another picture, the
// other orientation, a pane's old place in a swipe) would stay around them
// whenever the skin puts no background of its own behind the panes.
void PictureViewer::draw_content(DrawTarget& target, Point origin)
{
    fill_rect(target, Rect::of(origin, size()), m_outside_color.to_pixel());
    Element::draw_content(target, origin);
}

void PictureViewer::update_controls(double seconds)
{
    const bool show = m_controls_shown && m_controls_timer < controls_time;
    m_btn_back->set_visible(show);
    m_num_text->set_visible(show);
    m_btn_landscape->set_visible(show);
    if (show) {
        m_controls_timer += seconds;
    } else {
        m_controls_shown = false;
        m_controls_timer = 0.0;
    }
}

void PictureViewer::update_zoom_buttons()
{
    PicturePane& pane = pane_at(1);
    m_btn_minus->set_visible(pane.zoom() > slot_at(1).fit_zoom);
    m_btn_plus->set_visible(!pane.is_empty() && pane.zoom() + 1.0 <= pane.top_level());
}

// The button is enabled again once the worker has made every tile queued
// since the turn, so the view is not turned again while tiles of the old
// orientation are still being made.
void PictureViewer::update_landscape_button()
{
    if (m_tiles.drained("update") && !m_btn_landscape->is_enabled()) {
        m_btn_landscape->set_enabled(true);
        log() << "Landscape enabled\n";
    }
}

// The centre pane sits at its place; the side panes keep their pictures
// 20 pixels beyond the centre picture's edges.
void PictureViewer::place_panes()
{
    PicturePane& center = pane_at(1);
    center.set_shift(0.0);
    PanePoint span = center.picture_span();
    PicturePane& left = pane_at(0);
    PicturePane& right = pane_at(2);
    // A pane's span includes its shift: the new shift is worked out from the
    // unshifted span, so panes already in place are left untouched (and not redrawn).
    left.set_shift(span.x - picture_gap - (left.picture_span().y - left.shift()));
    right.set_shift(span.y + picture_gap - (right.picture_span().x - right.shift()));
    for (int position = 0; position < 3; ++position)
        pane_at(position).set_interactive(position == 1);
}

// Each frame moves the pictures towards the neighbour the swipe chose; once
// the neighbour stands within a pixel of the centre, the step is made.
void PictureViewer::update_slide(double seconds)
{
    if (m_slide == 0)
        return;
    PicturePane& neighbour = pane_at(m_slide < 0 ? 0 : 2);
    const double distance = neighbour.shift();
    if (std::abs(distance) < 1.0) {
        if (m_slide < 0)
            step_left();
        else
            step_right();
        return;
    }
    double step = std::max(std::abs(distance) * slide_rate * seconds, slide_min_speed * seconds);
    step = std::min(step, std::abs(distance));
    pane_at(1).scroll_by(distance > 0 ? step : -step, 0.0);
}

void PictureViewer::reset_motion()
{
    m_slide = 0;
    m_tap_zoom = false;
    for (PictureSlot& slot : m_slots) {
        slot.pane->stop_zoom();
        slot.pane->set_settling(true);
    }
}

// ---- stepping ----

void PictureViewer::step_left()
{
    if (m_index <= 0)
        return;
    log() << "Set Left\n";
    clear_slot(2);
    log() << "Set Left clear end\n";
    --m_index;
    m_order = {m_order[2], m_order[0], m_order[1]};
    reset_motion();
    if (m_index > 0) {
        load_slot(0);
        fit_slot(0);
    } else {
        empty_pane(0);
    }
    center_pane(1);
    pane_at(2).set_zoom(slot_at(2).fit_zoom);
    center_pane(2);
    place_panes();
    set_counter();
}

void PictureViewer::step_right()
{
    if (m_index + 1 >= picture_count())
        return;
    log() << "Set Right\n";
    clear_slot(0);
    log() << "Set Right clear end\n";
    ++m_index;
    m_order = {m_order[1], m_order[2], m_order[0]};
    reset_motion();
    if (m_index + 1 < picture_count()) {
        load_slot(2);
        fit_slot(2);
    } else {
        empty_pane(2);
    }
    center_pane(1);
    pane_at(0).set_zoom(slot_at(0).fit_zoom);
    center_pane(0);
    place_panes();
    set_counter();
}

// ---- pen ----

void PictureViewer::on_pane_drag(PicturePane* pane)
{
    place_panes();
    if (pane == &pane_at(1) && m_slide == 0)
        swipe_past_limit(*pane);
}

// A swipe: as soon as the centre picture has been dragged more than a quarter
// of the screen beyond its limit towards a neighbour that exists, the pen lets
// go of it and the pictures slide to the neighbour; the pen's further moves
// and its lifting neither drag the new picture nor step again.
void PictureViewer::swipe_past_limit(PicturePane& pane)
{
    const double quarter = pane.view_size().width / 4.0;
    const double over = pane.overscroll();
    const int direction = over < -quarter ? -1 : (over > quarter ? 1 : 0);
    if (direction == 0 || !has_picture(direction < 0 ? 0 : 2))
        return;
    pane.end_drag();
    start_slide(direction);
}

// Below the swipe limit the picture returns to its place by itself.
void PictureViewer::on_pane_release(PicturePane*) {}

void PictureViewer::on_pane_tap(PicturePane* pane, Point point)
{
    if (pane != &pane_at(1) || m_slide != 0)
        return;
    if (!m_tap_timer->is_active() || m_tap_zoom) {
        m_tap_timer->after(double_tap_time);
        return;
    }
    const PictureSlot& slot = slot_at(1);
    const double zoom = pane->zoom();
    if (zoom + 1.0 > pane->top_level())
        return;
    if (slot.state != slot_preview_ready && slot.direct_ok && zoom + 1.0 > 2.0)
        return;
    m_tap_zoom = true;
    pane->zoom_towards(round_half_up(zoom) + 1.0, point);
    m_scheduler.cancel(*m_tap_timer);
}

void PictureViewer::on_single_tap()
{
    m_controls_shown = !m_controls_shown;
    m_controls_timer = 0.0;
    mark_dirty();
}

// ---- buttons and keys ----

bool PictureViewer::on_click(Button* button, const ButtonEvent&)
{
    if (button == m_btn_back)
        close();
    else if (button == m_btn_plus || button == m_key_zoom_in)
        zoom_in();
    else if (button == m_btn_minus || button == m_key_zoom_out)
        zoom_out();
    else if (button == m_btn_landscape)
        toggle_landscape();
    else if (button == m_key_controls)
        on_single_tap();
    else if (button == m_key_prev)
        start_slide(-1);
    else if (button == m_key_next)
        start_slide(1);
    return true;
}

// The pictures slide towards the neighbour in direction (-1 previous, +1
// next) when there is one; the centre picture no longer returns to its place.
void PictureViewer::start_slide(int direction)
{
    if (m_slide != 0 || !has_picture(direction < 0 ? 0 : 2))
        return;
    m_slide = direction;
    PicturePane& center = pane_at(1);
    PanePoint scroll = center.scroll_position();
    center.set_scroll(scroll.x, scroll.y);
    center.set_settling(false);
}

bool PictureViewer::on_key(const KeyEvent& event)
{
    for (Button* button : {m_btn_back, m_btn_minus, m_btn_plus, m_btn_landscape, m_key_prev, m_key_next, m_key_zoom_in,
                           m_key_zoom_out, m_key_controls})
        if (button && button->bound_key() == event.key)
            return button->on_key(event);
    return on_desktop_key(event);
}

bool PictureViewer::on_desktop_key(const KeyEvent& event)
{
    const int key = event.key;
    if (key != key_plus && key != key_minus && key != key_0 && key != key_page_up && key != key_page_down &&
        key != key_home && key != key_end)
        return false;
    if (!event.pressed || !m_opened || m_pictures.empty())
        return true;
    if (key == key_plus)
        zoom_in();
    else if (key == key_minus)
        zoom_out();
    else if (key == key_0)
        zoom_to_fit();
    else
        step_by_key(key);
    return true;
}

// Stepping by key shows the controls, so the counter tells where it went.
void PictureViewer::step_by_key(int key)
{
    if (key == key_page_up)
        start_slide(-1);
    else if (key == key_page_down)
        start_slide(1);
    else if (key == key_home)
        go_to(0);
    else
        go_to(picture_count() - 1);
    m_controls_shown = true;
    m_controls_timer = 0.0;
    mark_dirty();
}

void PictureViewer::go_to(int index)
{
    if (index == m_index || index < 0 || index >= picture_count())
        return;
    for (int position = 0; position < 3; ++position)
        clear_slot(position);
    m_index = index;
    open_picture();
    set_counter();
}

void PictureViewer::zoom_to_fit()
{
    PicturePane& pane = pane_at(1);
    if (!pane.is_empty())
        pane.zoom_towards_center(slot_at(1).fit_zoom);
}

double PictureViewer::clamped_zoom(double zoom)
{
    PicturePane& pane = pane_at(1);
    return std::clamp(zoom, slot_at(1).fit_zoom, std::max(slot_at(1).fit_zoom, double(pane.top_level())));
}

Point PictureViewer::pane_local(Point screen) const
{
    const PicturePane& pane = *m_slots[m_order[1]].pane;
    return {screen.x - pane.x(), screen.y - pane.y()};
}

// One notch is half a level; notches turned while the zoom still moves add
// to its target. A pinch follows the fingers at once: each doubling of their
// span is one level.
bool PictureViewer::on_gesture(const GestureEvent& event)
{
    PicturePane& pane = pane_at(1);
    if (!m_opened || pane.is_empty() || m_slide != 0)
        return true;
    const Point anchor = pane_local({event.x, event.y});
    switch (event.kind) {
    case GestureEvent::wheel:
        m_tap_zoom = false;
        pane.zoom_towards(clamped_zoom(pane.zoom_target() + wheel_zoom_step * event.notches), anchor);
        break;
    case GestureEvent::pinch_begin:
        pane.stop_zoom();
        m_pinch_zoom = pane.zoom();
        m_pinch_span = event.span;
        break;
    case GestureEvent::pinch_move:
    case GestureEvent::pinch_end:
        if (m_pinch_span > 0.0 && event.span > 0.0)
            pane.zoom_at(clamped_zoom(m_pinch_zoom + std::log2(event.span / m_pinch_span)), anchor);
        if (event.kind == GestureEvent::pinch_end)
            m_pinch_span = 0.0;
        break;
    }
    return true;
}

void PictureViewer::zoom_in()
{
    PicturePane& pane = pane_at(1);
    if (pane.is_zooming() || pane.is_empty())
        return;
    const double target = round_half_up(pane.zoom()) + 1.0;
    if (target > pane.top_level())
        return;
    pane.zoom_towards_center(target);
}

double PictureViewer::minus_target(double target, double fit)
{
    const double rounded_fit = round_half_up(fit);
    if ((target == 1.0 && rounded_fit == 0.0) || (target == 2.0 && rounded_fit == 1.0))
        return fit;
    return std::max(target - 1.0, fit);
}

void PictureViewer::zoom_out()
{
    PicturePane& pane = pane_at(1);
    if (pane.is_zooming() || pane.zoom() <= slot_at(1).fit_zoom)
        return;
    pane.zoom_towards_center(minus_target(pane.zoom_target(), slot_at(1).fit_zoom));
}

void PictureViewer::toggle_landscape()
{
    for (int position = 0; position < 3; ++position)
        clear_slot(position);
    m_landscape = !m_landscape;
    open_picture();
    m_btn_landscape->set_enabled(false);
    log() << "Landscape disabled\n";
    m_tiles.set_drained(false, "toggle_landscape");
}

void PictureViewer::close()
{
    m_tiles.idle();
    for (int position = 0; position < 3; ++position)
        clear_slot(position);
    reset_motion();
    m_opened = false;
    m_scheduler.cancel(*m_tap_timer);
    if (Application* app = Application::instance())
        app->close_screen(this);
}

// ---- library and layout ----

void PictureViewer::on_library_event(const LibraryEvent& event)
{
    if (!event.picture_complete || !m_opened)
        return;
    for (int position = 0; position < 3; ++position) {
        if (!has_picture(position) || m_pictures[m_index + position - 1] != event.picture_path)
            continue;
        if (slot_at(position).direct_ok)
            return;
        clear_slot(position);
        log() << "on_document_refresh begin\n";
        load_slot(position);
        log() << "on_document_refresh load end\n";
        fit_slot(position);
        log() << "on_document_refresh resize end\n";
        place_panes();
        return;
    }
}

void PictureViewer::layout_horizontal()
{
    Element::layout_horizontal();
    for (PictureSlot& slot : m_slots)
        slot.pane->set_horizontal(x(), width());
}

void PictureViewer::layout_vertical()
{
    Element::layout_vertical();
    for (PictureSlot& slot : m_slots)
        slot.pane->set_vertical(y(), height());
    if (m_opened && !m_pictures.empty() && size() != m_fitted_screen)
        open_picture();
}
