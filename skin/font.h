#pragma once
// Fonts: a skin font description made into a FreeType face, with cached
// character widths for measuring and text drawing into 16-bit targets. A
// character the face lacks is measured and drawn from another installed face
// that has it (found through fontconfig, same size and style). Text is
// UTF-16: a surrogate pair is one character, its width counted at its first
// unit and 0 at its second.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>
#include "pixels/pixel_types.h"
#include "pixels/render_surface.h"
#include "platform/text.h"
#include "skin/orientation_observer.h"

struct FT_FaceRec_;

// What a skin font description is parsed into.
struct FontSpec {
    std::int32_t point_size = 12;
    std::int32_t scale = 1;  // 2 to the power of the skin's scale shift
    bool bold = false;
    bool italic = false;
    bool underline = false;
    String face = u"Tahoma";
    std::int32_t screen_dpi = 0;  // the display's vertical dots per inch; 0: not known (96 x scale)

    // Character height in pixels, negative: size x scale x -96 / 72.
    std::int32_t logical_height() const { return point_size * scale * -96 / 72; }
};

// Fonts and their faces are shared by the interface thread and the thread
// that builds the screens at start-up (and a failed font measures with the
// default font's face): measuring and drawing text hold this lock.
std::recursive_mutex& font_lock();

// One created font. Lives as long as a Font handle refers to it.
class FontRep : public OrientationObserver {
public:
    // Never fails as an object. A font whose face could not be created
    // measures, draws and takes its metrics from the default font's face, so
    // that its text is still shown; one of point size 0 has no face at all:
    // it measures 0, draws nothing and keeps the default metrics.
    explicit FontRep(const FontSpec& spec);
    ~FontRep() override;

    // Clears the width cache: glyph widths are measured again after a rotation.
    void on_orientation_changed() override;

    // Whether a face was created (false for point size 0 or a failed creation).
    bool has_face() const { return m_face != nullptr; }
    const FontSpec& spec() const { return m_spec; }
    // The face cut to 31 characters, as the font was asked for.
    const String& face_name() const { return m_face_name; }
    // Descent in pixels (0 without any face).
    std::int32_t descent() const;
    // Line height in pixels (20 without any face).
    std::int32_t line_height() const;
    // Ascent in pixels: line height minus descent.
    std::int32_t ascent() const { return line_height() - descent(); }

    // (total width, line height); (0, 0) for empty text. Each out-parameter may be null.
    // fit_count: whole characters before the running width first exceeds max_width
    // (the whole length when max_width <= 0 or all fits); prefix_widths[i]: width
    // of characters 0..i.
    Size measure(StringView text, std::int32_t max_width = 0, std::int32_t* fit_count = nullptr,
                 std::int32_t* descent = nullptr, std::vector<std::int32_t>* prefix_widths = nullptr);
    // Empties the character width cache.
    void clear_width_cache();
    // Number of characters in the width cache.
    std::size_t cached_width_count() const { return m_width_cache.size(); }
    // How many times the glyph engine was asked for widths (diagnostics).
    std::uint64_t system_measure_count() const { return m_system_measures; }

    // Width of one character from the face that draws it (0 without any face).
    std::int32_t glyph_advance(char32_t c);
    // The FreeType face the font draws with: its own, or the default font's
    // when its own failed (null without any); for the text drawing code.
    FT_FaceRec_* face() const;
    // The face that draws c: the font's own when it has the character, else an
    // installed face that has it (looked up once per character), else the
    // font's own (which then shows its missing-glyph box).
    FT_FaceRec_* face_for(char32_t c);
    // Faces opened for characters the font's own face lacks.
    std::size_t fallback_face_count() const { return m_fallbacks.size(); }

private:
    struct Fallback {
        std::string path;
        int index = 0;
        FT_FaceRec_* face = nullptr;
    };

    void create_face();
    void read_metrics();
    // The default font when this one's face could not be created and the
    // default has one; else null (this font measures and draws by itself).
    FontRep* stand_in() const;
    void measure_uncached(StringView text);
    FT_FaceRec_* find_fallback(char32_t c);

    FT_FaceRec_* m_face = nullptr;
    FontSpec m_spec;
    String m_face_name;
    std::int32_t m_descent = 0;
    std::int32_t m_line_height = 20;
    std::u32string m_scratch_chars;
    std::vector<std::int32_t> m_scratch_positions;
    std::vector<std::int32_t> m_scratch_widths;
    std::vector<std::int32_t> m_scratch_extents;
    std::map<char32_t, std::int32_t> m_width_cache;
    std::vector<Fallback> m_fallbacks;
    // The face each looked-up character lacking from the own face is drawn with (null: none has it).
    std::map<char32_t, FT_FaceRec_*> m_fallback_of;
    std::uint64_t m_system_measures = 0;
};

// A shared handle to a FontRep; copying shares the font.
class Font {
public:
    // A copy of the one process-wide default handle (a font of the default FontSpec).
    Font();
    // A new font from spec.
    explicit Font(const FontSpec& spec);

    FontRep* get() const { return m_rep.get(); }
    FontRep* operator->() const { return m_rep.get(); }
    FontRep& operator*() const { return *m_rep; }
    // Whether both handles share one FontRep.
    bool operator==(const Font& other) const { return m_rep == other.m_rep; }

private:
    std::shared_ptr<FontRep> m_rep;
};

// The character starting at text[i] and the number of units it takes (2 for a
// surrogate pair, else 1; a lone surrogate is one character of its own).
char32_t character_at(StringView text, std::size_t i, std::size_t* units = nullptr);

// Alignment values named by text attributes.
enum HorizontalAlignment { align_left = 0, align_center = 1, align_right = 2, align_justify = 3 };
enum VerticalAlignment { align_top = 0, align_vcenter = 1, align_bottom = 2 };

// "LEFT", "CENTER", "RIGHT", "JUSTIFY" (exact match) into value; false leaves it.
bool parse_horizontal_alignment(StringView name, int& value);
// "TOP", "VCENTER", "BOTTOM" (exact match) into value; false leaves it.
bool parse_vertical_alignment(StringView name, int& value);

// Size the text takes when drawn on one line per line break: (widest line or 0, lines x height).
Size measure_box(const Font& font, StringView text);

// Draws text into rect with the alignments, word wrap or a single line, and
// end/word ellipsis; changed pixels are written with the opacity flag set.
// Only pixels inside (clip_position, clip_size) are written; either one given
// as (-1, -1) is taken from rect as clipped to the buffer.
void draw_text(DrawTarget& target, const Font& font, Color color, StringView text, const Rect& rect, int horizontal,
               int vertical, bool wrap, Point clip_position = {-1, -1}, Size clip_size = {-1, -1});
