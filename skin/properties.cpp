#include "skin/properties.h"

#include <algorithm>
#include "pixels/bmp_reader.h"
#include "platform/file.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/tick.h"
#include "skin/skin_bitmap_file.h"

// A skin file larger than this is refused before anything is allocated for it.
static constexpr std::uint64_t max_skin_file_size = 64u << 20;

// Seconds since start as decimal text with three places ("0.125"); the
// timer restarts, so consecutive readings time consecutive steps.
static String lap_seconds(std::uint32_t& start)
{
    const std::uint32_t now = get_tick_count();
    const std::uint32_t elapsed = now - start;
    start = now;
    String fraction = to_string16(elapsed % 1000);
    fraction.insert(0, 3 - fraction.size(), u'0');
    return to_string16(elapsed / 1000) + u"." + fraction;
}

// ---- SkinListener ---------------------------------------------------------------

SkinListener::SkinListener(Properties& properties)
    : m_properties(&properties), m_serial(properties.m_next_listener_serial++)
{
    properties.m_listeners.push_back(this);
}

SkinListener::~SkinListener()
{
    if (m_properties != nullptr)
        std::erase(m_properties->m_listeners, this);
}

// ---- PropertiesImpl ---------------------------------------------------------------

PropertiesImpl::PropertiesImpl(StringView path, int vertical_dpi)
{
    m_complete = load(path, vertical_dpi);
}

void PropertiesImpl::swap(PropertiesImpl& other) noexcept
{
    m_file.swap(other.m_file);
    m_pictures.swap(other.m_pictures);
    m_bitmaps.swap(other.m_bitmaps);
    m_fonts.swap(other.m_fonts);
    m_strings.swap(other.m_strings);
    std::swap(m_scale_shift, other.m_scale_shift);
    std::swap(m_complete, other.m_complete);
}

static void log_entry_sizes()
{
    log() << "sizeof(Node*4)=" << unsigned(sizeof(Node) * 4) << "\n"
          << "sizeof(IntegerNode*4)=" << unsigned(sizeof(IntegerNode) * 4) << "\n"
          << "sizeof(PointNode*4)=" << unsigned(sizeof(PointNode) * 4) << "\n"
          << "sizeof(Node)=" << unsigned(sizeof(Node)) << "\n"
          << "sizeof(IntegerNode)=" << unsigned(sizeof(IntegerNode)) << "\n"
          << "IntegerNode::Size=" << unsigned(IntegerNode::Size) << "\n"
          << "sizeof(PointNode)=" << unsigned(sizeof(PointNode)) << "\n"
          << "PointNode::Size=" << unsigned(PointNode::Size) << "\n"
          << "sizeof(ColorNode)=" << unsigned(sizeof(ColorNode)) << "\n"
          << "ColorNode::Size=" << unsigned(ColorNode::Size) << "\n"
          << "sizeof(StringNode)=" << unsigned(sizeof(StringNode)) << "\n"
          << "StringNode::Size=" << unsigned(StringNode::Size) << "\n"
          << "sizeof(PictureNode)=" << unsigned(sizeof(PictureNode)) << "\n"
          << "PictureNode::Size=" << unsigned(PictureNode::Size) << "\n";
}

// Reads the whole file in one request. A missing file reads as size 0 and
// is then refused by the size check without a message, like a short one.
static bool read_whole_file(StringView path, std::vector<std::uint8_t>& bytes)
{
    File file;
    if (!file.open(path, File::read_mode))
        return true;
    const std::uint64_t size = file.size();
    if (size > max_skin_file_size)
        return false;
    bytes.resize(static_cast<std::size_t>(size));
    return file.read(bytes.data(), static_cast<std::uint32_t>(size)) == size;
}

bool PropertiesImpl::load(StringView path, int vertical_dpi)
{
    log_entry_sizes();
    std::uint32_t lap = get_tick_count();
    std::vector<std::uint8_t> bytes;
    if (!read_whole_file(path, bytes)) {
        log() << "Error: skin [" << path << "] failed to load\n";
        return false;
    }
    // Size, magic and every offset, index, count and string are checked here.
    if (!m_file.open(std::move(bytes)))
        return false;
    m_scale_shift = vertical_dpi >= 192 ? 1 : 0;
    if (!load_bitmaps(path, lap))
        return false;
    create_fonts(vertical_dpi);
    copy_strings();
    log() << "PropertiesImpl::PropertiesImpl fonts create time=" << lap_seconds(lap) << "\n";
    return true;
}

// Each bitmap lies beside the skin file; one that fails fails the whole skin.
bool PropertiesImpl::load_bitmaps(StringView path, std::uint32_t& lap)
{
    const String folder = folder_of(path);
    const std::uint32_t count = m_file.header()->picture_count;
    m_pictures.resize(count);
    m_bitmaps.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const StringView name = m_file.bitmap_name(i);
        const String bitmap_path = join_path(strip_trailing_separator(folder), name);
        std::shared_ptr<SkinBitmap> bitmap;
        m_pictures[i] = load_565(bitmap_path, bitmap);
        if (m_pictures[i].size() == Size{0, 0}) {
            log() << "PropertiesImpl::PropertiesImpl picture failed to load {" << name << "}\n";
            return false;
        }
        m_bitmaps[i] = bitmap.get();
        log() << "PropertiesImpl::PropertiesImpl picture load time=" << lap_seconds(lap) << " {" << name << "}\n";
    }
    return true;
}

void PropertiesImpl::create_fonts(int vertical_dpi)
{
    const std::uint32_t count = m_file.header()->font_count;
    m_fonts.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        FontSpec spec;
        spec.scale = 1 << m_scale_shift;
        spec.screen_dpi = vertical_dpi;
        parse_font_description(m_file.font_description(i), spec);
        m_fonts.emplace_back(spec);
    }
}

void PropertiesImpl::copy_strings()
{
    const std::uint32_t count = m_file.header()->string_count;
    m_strings.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        m_strings.emplace_back(m_file.string(i));
}

// ---- Properties ---------------------------------------------------------------------

Properties::~Properties()
{
    for (SkinListener* listener : m_listeners)
        listener->m_properties = nullptr;
}

String Properties::translate(StringView key) const
{
    return m_translations.translate(key);
}

bool Properties::load_skin(StringView path, int vertical_dpi)
{
    log() << "Properties::load_skin 1\n";
    PropertiesImpl loaded(path, vertical_dpi);
    log() << "Properties::load_skin 2\n";
    if (!loaded.is_loaded())
        return false;
    log() << "Properties::load_skin 3\n";
    m_skin.swap(loaded);
    return true;  // the previous skin is released with the temporary
}

// Listeners may come and go while they are told (a screen rebuilding its
// tree destroys and creates others): only those registered at the start of
// the call and still registered when their turn comes are called. The serial
// keeps a listener created during the call at a freed one's address out.
void Properties::send_reload_skin()
{
    std::uint32_t start = get_tick_count();
    std::vector<std::pair<SkinListener*, std::uint64_t>> listeners;
    for (SkinListener* listener : m_listeners)
        listeners.emplace_back(listener, listener->m_serial);
    for (const auto& [listener, serial] : listeners) {
        if (std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end() &&
            listener->m_serial == serial)
            listener->on_skin_reloaded(*this);
    }
    log() << "PropertiesImpl::send_reload_skin the rest time=" << lap_seconds(start) << "\n";
}

const SkinNode* Properties::find_node(StringView name) const
{
    return m_skin.file().find_node(name);
}

int Properties::child_count(const SkinNode* node) const
{
    return node == nullptr ? 0 : node->child_count;
}

const SkinNode* Properties::child(const SkinNode* node, int index) const
{
    return m_skin.file().child(*node, index);
}

std::int32_t Properties::get_int(const SkinNode* node, StringView key, std::int32_t fallback) const
{
    const IntegerNode* entry = node ? m_skin.file().find_int(*node, key) : nullptr;
    return entry ? entry->value : fallback;
}

const Font& Properties::get_font(const SkinNode* node, StringView key, const Font& fallback) const
{
    const IntegerNode* entry = node ? m_skin.file().find_font(*node, key) : nullptr;
    return entry ? m_skin.fonts()[static_cast<std::size_t>(entry->value)] : fallback;
}

Point Properties::get_point(const SkinNode* node, StringView key, Point fallback) const
{
    const PointNode* entry = node ? m_skin.file().find_point(*node, key) : nullptr;
    if (entry == nullptr)
        return fallback;
    const std::int32_t scale = 1 << m_skin.scale_shift();
    return {entry->x * scale, entry->y * scale};
}

const String& Properties::get_string(const SkinNode* node, StringView key, const String& fallback) const
{
    const StringNode* entry = node ? m_skin.file().find_string(*node, key) : nullptr;
    return entry ? m_skin.strings()[entry->index] : fallback;
}

SkinPicture Properties::get_picture(const SkinNode* node, StringView key, const SkinPicture& fallback) const
{
    const PictureNode* entry = node ? m_skin.file().find_picture(*node, key) : nullptr;
    if (entry == nullptr)
        return fallback;
    const int shift = m_skin.scale_shift();
    auto corner = [shift](std::uint16_t x, std::uint16_t y) { return Point{x << shift, y << shift}; };
    SkinPicture picture;
    picture.origin = corner(entry->x0, entry->y0);
    picture.inner_top_left = corner(entry->x1, entry->y1);
    picture.inner_bottom_right = corner(entry->x2, entry->y2);
    picture.size_corner = corner(entry->x3, entry->y3);
    picture.bitmap = m_skin.pictures()[entry->picture].bitmap;
    picture.scale_shift = shift;
    picture.flag = entry->flag != 0;
    return picture;
}

Color Properties::get_color(const SkinNode* node, StringView key, Color fallback) const
{
    const ColorNode* entry = node ? m_skin.file().find_color(*node, key) : nullptr;
    return entry ? Color{entry->red, entry->green, entry->blue, 255} : fallback;
}
