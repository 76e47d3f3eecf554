#include "skin/font.h"

#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include "platform/log.h"
#include "platform/tick.h"

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
    static const std::unique_ptr<FcConfig, void (*)(FcConfig*)> config(FcInitLoadConfigAndFonts(), FcConfigDestroy);
    return config.get();
}

struct FaceFile {
    std::string path;
    int index = 0;
};

// Asks fontconfig for the face: an unknown family falls back to an installed
// sans face, because "sans-serif" follows the wanted family in the pattern.
// With a character given, fontconfig prefers faces that have it, and only
// a face that has it is taken.
bool find_face_file(const String& face, bool bold, bool italic, FaceFile& found, char32_t character = 0)
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
    if (character != 0) {
        FcCharSet* wanted = FcCharSetCreate();
        FcCharSetAddChar(wanted, character);
        FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
        FcCharSetDestroy(wanted);
    }
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return false;
    FcChar8* file = nullptr;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
    if (ok && character != 0) {
        FcCharSet* covered = nullptr;
        ok = FcPatternGetCharSet(match, FC_CHARSET, 0, &covered) == FcResultMatch &&
             FcCharSetHasChar(covered, character);
    }
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

}  // namespace

FontRep::FontRep(const FontSpec& spec) : m_spec(spec), m_face_name(spec.face.substr(0, max_face_length))
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
    for (Fallback& fallback : m_fallbacks)
        FT_Done_Face(fallback.face);
    if (m_face)
        FT_Done_Face(m_face);
}

void FontRep::create_face()
{
    const std::uint32_t started = get_tick_count();
    const std::int32_t height = m_spec.logical_height();
    // The character height is given at 96 dots per inch and doubled by the
    // scale on a high-density screen; the line names the display's own dpi.
    const std::int32_t dpi = m_spec.screen_dpi > 0 ? m_spec.screen_dpi : 96 * m_spec.scale;
    log() << "dpiy=" << dpi << " log_font.lfHeight=" << height << "}\n";
    const std::int32_t pixels = std::abs(height);
    FaceFile file;
    FT_Face face = nullptr;
    if (pixels > 0 && pixels <= max_pixel_height && freetype() &&
        find_face_file(m_face_name, m_spec.bold, m_spec.italic, file) &&
        FT_New_Face(freetype(), file.path.c_str(), file.index, &face) == 0) {
        if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels)) == 0) {
            m_face = face;
        } else {
            FT_Done_Face(face);
        }
    }
    if (!m_face)
        log() << "ERROR: FontRep::FontRep() Failed to create font\n";
    log() << "Creating font: {" << m_face_name << "} elapsed=" << seconds_text(get_tick_count() - started) << "\n";
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

FontRep* FontRep::stand_in() const
{
    if (m_face || m_spec.point_size == 0)
        return nullptr;
    FontRep* fallback = Font().get();
    return fallback != this && fallback->m_face ? fallback : nullptr;
}

std::int32_t FontRep::descent() const
{
    const FontRep* other = stand_in();
    return other ? other->m_descent : m_descent;
}

std::int32_t FontRep::line_height() const
{
    const FontRep* other = stand_in();
    return other ? other->m_line_height : m_line_height;
}

FT_FaceRec_* FontRep::face() const
{
    const FontRep* other = stand_in();
    return other ? other->m_face : m_face;
}

std::recursive_mutex& font_lock()
{
    static std::recursive_mutex* lock = new std::recursive_mutex;  // lives until the process ends
    return *lock;
}

void FontRep::on_orientation_changed()
{
    clear_width_cache();
}

void FontRep::clear_width_cache()
{
    const std::lock_guard lock(font_lock());
    m_width_cache.clear();
}

FT_FaceRec_* FontRep::face_for(char32_t c)
{
    const std::lock_guard lock(font_lock());
    if (FontRep* other = stand_in())
        return other->face_for(c);
    if (!m_face || FT_Get_Char_Index(m_face, c) != 0)
        return m_face;
    const auto known = m_fallback_of.find(c);
    FT_Face face = known != m_fallback_of.end() ? known->second : find_fallback(c);
    return face ? face : m_face;
}

// A face already opened for other characters serves c when it has it (one
// script usually comes from one face); otherwise fontconfig names an
// installed face, opened once per file at this font's size and style. The
// answer is remembered for c.
FT_FaceRec_* FontRep::find_fallback(char32_t c)
{
    for (const Fallback& fallback : m_fallbacks) {
        if (FT_Get_Char_Index(fallback.face, c) != 0) {
            m_fallback_of[c] = fallback.face;
            return fallback.face;
        }
    }
    FaceFile file;
    FT_Face face = nullptr;
    if (find_face_file(m_face_name, m_spec.bold, m_spec.italic, file, c)) {
        for (const Fallback& fallback : m_fallbacks)
            if (fallback.path == file.path && fallback.index == file.index)
                face = fallback.face;
        FT_Face opened = nullptr;
        if (!face && FT_New_Face(freetype(), file.path.c_str(), file.index, &opened) == 0) {
            if (FT_Set_Pixel_Sizes(opened, 0, FT_UInt(std::abs(m_spec.logical_height()))) == 0) {
                m_fallbacks.push_back({file.path, file.index, opened});
                face = opened;
                log() << "Font fallback: {" << from_utf8(file.path) << "} for " << std::uint32_t(c) << "\n";
            } else {
                FT_Done_Face(opened);
            }
        }
        if (face && FT_Get_Char_Index(face, c) == 0)
            face = nullptr;
    }
    m_fallback_of[c] = face;
    return face;
}

std::int32_t FontRep::glyph_advance(char32_t c)
{
    const std::lock_guard lock(font_lock());
    FT_Face face = face_for(c);
    if (!face || FT_Load_Char(face, c, FT_LOAD_DEFAULT) != 0)
        return 0;
    return static_cast<std::int32_t>((face->glyph->advance.x + 32) >> 6);
}

void FontRep::measure_uncached(StringView text)
{
    // One pass over every character not yet cached: the running extents of
    // the scratch string, each width being the step from the previous one.
    ++m_system_measures;
    m_scratch_extents.clear();
    std::int32_t extent = 0;
    for (char32_t c : m_scratch_chars) {
        extent += glyph_advance(c);
        m_scratch_extents.push_back(extent);
    }
    for (std::size_t k = 0; k < m_scratch_chars.size(); ++k) {
        const std::int32_t width = m_scratch_extents[k] - (k > 0 ? m_scratch_extents[k - 1] : 0);
        m_scratch_widths[std::size_t(m_scratch_positions[k])] = width;
        m_width_cache[character_at(text, std::size_t(m_scratch_positions[k]))] = width;
    }
}

Size FontRep::measure(StringView text, std::int32_t max_width, std::int32_t* fit_count, std::int32_t* descent,
                      std::vector<std::int32_t>* prefix_widths)
{
    const std::lock_guard lock(font_lock());
    if (descent)
        *descent = FontRep::descent();
    if (prefix_widths)
        prefix_widths->resize(text.size());
    if (fit_count)
        *fit_count = 0;
    if (text.empty())
        return {0, 0};
    m_scratch_widths.assign(text.size(), 0);
    m_scratch_chars.clear();
    m_scratch_positions.clear();
    std::size_t units = 1;
    for (std::size_t i = 0; i < text.size(); i += units) {
        const char32_t c = character_at(text, i, &units);
        auto cached = m_width_cache.find(c);
        if (cached != m_width_cache.end()) {
            m_scratch_widths[i] = cached->second;
        } else {
            m_scratch_chars.push_back(c);
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
    return {total, line_height()};
}

char32_t character_at(StringView text, std::size_t i, std::size_t* units)
{
    const char32_t first = text[i];
    const bool pair =
        first >= 0xD800 && first <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (units)
        *units = pair ? 2 : 1;
    if (!pair)
        return first;
    return 0x10000 + ((first - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
}

Font::Font()
{
    // One process-wide font of the default description (12-point "Tahoma",
    // which resolves to an installed sans face), so that text whose element
    // names no font is still shown; copies share it.
    static const Font default_font{FontSpec()};
    m_rep = default_font.m_rep;
}

Font::Font(const FontSpec& spec) : m_rep(std::make_shared<FontRep>(spec)) {}

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

}  // namespace

bool parse_horizontal_alignment(StringView name, int& value)
{
    return match_alignment(horizontal_names, name, value);
}

bool parse_vertical_alignment(StringView name, int& value)
{
    return match_alignment(vertical_names, name, value);
}
