#include "skin/font.h"

#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include "platform/tick.h"
#include "platform/log.h"

namespace {

// Face names are cut to 31 characters, as the system's font records hold them.
constexpr std::size_t max_face_length = 31;
// Larger character heights are refused as a failed creation: glyph bitmaps
// of such fonts would need unbounded memory.
constexpr std::int32_t max_pixel_height = 4096;
constexpr std::size_t scratch_reserve = 100;

// The one FreeType library of the process; fonts live on the user-interface
// thread only. It is kept to the end of the run, like the fonts made from it.
FT_Library freetype()
{
    static FT_Library library = [] {
        FT_Library created = nullptr;
        if (FT_Init_FreeType(&created) != 0)
            return FT_Library(nullptr);
        return created;
    }();
    return library;
}

// The font configuration of the process, loaded on first use and released at
// exit (the library's shared default configuration is never freed whole).
FcConfig* font_config()
{
    static const std::unique_ptr<FcConfig, void (*)(FcConfig*)> config(FcInitLoadConfigAndFonts(),
                                                                         FcConfigDestroy);
    return config.get();
}

struct FaceFile {
    std::string path;
    int index = 0;
};

// Asks fontconfig for the face: an unknown family falls back to an installed
// sans face, because "sans-serif" follows the wanted family in the pattern.
bool find_face_file(const String& face, bool bold, bool italic, FaceFile& found)
{
    FcConfig* config = font_config();
    FcPattern* pattern = config ? FcPatternCreate() : nullptr;
    if (!pattern)
        return false;
    if (!face.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(to_utf8(face).c_str()));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;
    FcChar8* file = nullptr;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
    if (ok) {
        found.path = reinterpret_cast<const char*>(file);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &found.index) != FcResultMatch)
            found.index = 0;
    }
    FcPatternDestroy(match);
    return ok;
}

// Seconds with three decimals, for the timing lines of the log.
String seconds_text(std::uint32_t milliseconds)
{
    String fraction = to_string16(milliseconds % 1000);
    while (fraction.size() < 3)
        fraction.insert(fraction.begin(), u'0');
    return to_string16(milliseconds / 1000) + u"." + fraction;
}

std::int32_t rounded_up_pixels(long value_26_6)
{
    return static_cast<std::int32_t>((value_26_6 + 63) >> 6);
}

} // namespace

FontRep::FontRep(const FontSpec& spec)
    : m_spec(spec), m_face_name(spec.face.substr(0, max_face_length))
{
    m_scratch_chars.reserve(scratch_reserve);
    m_scratch_positions.reserve(scratch_reserve);
    m_scratch_widths.reserve(scratch_reserve);
    m_scratch_extents.reserve(scratch_reserve);
    if (spec.point_size == 0)
        return;
    create_face();
    read_metrics();
}

FontRep::~FontRep()
{
    if (m_face)
        FT_Done_Face(m_face);
}

void FontRep::create_face()
{
    const std::uint32_t started = get_tick_count();
    const std::int32_t height = m_spec.logical_height();
    // The character height is given at 96 dots per inch and doubled by the
    // scale on a high-density screen, so the screen counts as 96 x scale.
    log() << "dpiy=" << 96 * m_spec.scale << " log_font.lfHeight=" << height << "}\n";
    const std::int32_t pixels = std::abs(height);
    FaceFile file;
    FT_Face face = nullptr;
    if (pixels > 0 && pixels <= max_pixel_height && freetype()
        && find_face_file(m_face_name, m_spec.bold, m_spec.italic, file)
        && FT_New_Face(freetype(), file.path.c_str(), file.index, &face) == 0) {
        if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels)) == 0) {
            m_face = face;
        } else {
            FT_Done_Face(face);
        }
    }
    if (!m_face)
        log() << "ERROR: FontRep::FontRep() Failed to create font\n";
    log() << "Creating font: {" << m_face_name << "} elapsed="
          << seconds_text(get_tick_count() - started) << "\n";
}

void FontRep::read_metrics()
{
    if (!m_face)
        return;
    // The line height is ascent plus descent, without the face's line gap.
    const FT_Size_Metrics& metrics = m_face->size->metrics;
    m_descent = rounded_up_pixels(-metrics.descender);
    m_line_height = rounded_up_pixels(metrics.ascender) + m_descent;
}

void FontRep::on_orientation_changed()
{
    clear_width_cache();
}

void FontRep::clear_width_cache()
{
    m_width_cache.clear();
}

std::int32_t FontRep::glyph_advance(char16_t c) const
{
    if (!m_face || FT_Load_Char(m_face, c, FT_LOAD_DEFAULT) != 0)
        return 0;
    return static_cast<std::int32_t>((m_face->glyph->advance.x + 32) >> 6);
}

void FontRep::measure_uncached(StringView text)
{
    // One query for every character not yet cached: the running extents of
    // the scratch string, each width being the step from the previous one.
    ++m_system_measures;
    m_scratch_extents.clear();
    std::int32_t extent = 0;
    for (char16_t c : m_scratch_chars) {
        extent += glyph_advance(c);
        m_scratch_extents.push_back(extent);
    }
    for (std::size_t k = 0; k < m_scratch_chars.size(); ++k) {
        const std::int32_t width = m_scratch_extents[k] - (k > 0 ? m_scratch_extents[k - 1] : 0);
        m_scratch_widths[std::size_t(m_scratch_positions[k])] = width;
        m_width_cache[text[std::size_t(m_scratch_positions[k])]] = width;
    }
}

Size FontRep::measure(StringView text, std::int32_t max_width, std::int32_t* fit_count,
                      std::int32_t* descent, std::vector<std::int32_t>* prefix_widths)
{
    if (descent)
        *descent = m_descent;
    if (prefix_widths)
        prefix_widths->resize(text.size());
    if (fit_count)
        *fit_count = 0;
    if (text.empty())
        return {0, 0};
    m_scratch_widths.resize(text.size());
    m_scratch_chars.clear();
    m_scratch_positions.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto cached = m_width_cache.find(text[i]);
        if (cached != m_width_cache.end()) {
            m_scratch_widths[i] = cached->second;
        } else {
            m_scratch_chars.push_back(text[i]);
            m_scratch_positions.push_back(std::int32_t(i));
        }
    }
    if (!m_scratch_chars.empty())
        measure_uncached(text);
    std::int32_t total = 0;
    auto fits = static_cast<std::int32_t>(text.size());
    bool exceeded = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        total += m_scratch_widths[i];
        if (prefix_widths)
            (*prefix_widths)[i] = total;
        if (!exceeded && max_width > 0 && total > max_width) {
            fits = std::int32_t(i);
            exceeded = true;
        }
    }
    if (fit_count)
        *fit_count = fits;
    return {total, m_line_height};
}

Font::Font()
{
    // One process-wide font of the default description (12-point "Tahoma",
    // which resolves to an installed sans face), so that text whose element
    // names no font is still shown; copies share it.
    static const Font default_font{FontSpec()};
    m_rep = default_font.m_rep;
}

Font::Font(const FontSpec& spec) : m_rep(std::make_shared<FontRep>(spec))
{
}

namespace {

struct AlignmentName {
    int value;
    const char16_t* name;
};

bool match_alignment(const AlignmentName* table, StringView name, int& value)
{
    for (const AlignmentName* entry = table; entry->name; ++entry) {
        if (name == entry->name) {
            value = entry->value;
            return true;
        }
    }
    return false;
}

const AlignmentName horizontal_names[] = {{align_left, u"LEFT"},
                                          {align_center, u"CENTER"},
                                          {align_right, u"RIGHT"},
                                          {align_justify, u"JUSTIFY"},
                                          {0, nullptr}};
const AlignmentName vertical_names[] = {
    {align_top, u"TOP"}, {align_vcenter, u"VCENTER"}, {align_bottom, u"BOTTOM"}, {0, nullptr}};

} // namespace

bool parse_horizontal_alignment(StringView name, int& value)
{
    return match_alignment(horizontal_names, name, value);
}

bool parse_vertical_alignment(StringView name, int& value)
{
    return match_alignment(vertical_names, name, value);
}
