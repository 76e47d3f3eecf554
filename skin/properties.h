#pragma once
// The live skin resources: the loaded skin file with its bitmaps, fonts and
// strings, the typed attribute lookups, and the language texts in its base part.

#include <cstdint>
#include <memory>
#include <vector>
#include "pixels/pixel_types.h"
#include "platform/language.h"
#include "platform/text.h"
#include "skin/font.h"
#include "skin/skin_bitmap.h"
#include "skin/skin_file.h"
#include "skin/skin_picture.h"

class Properties;

// Base of every object that must react to a skin change; registers itself
// with the Properties it is given for as long as it lives.
class SkinListener {
public:
    explicit SkinListener(Properties& properties);
    virtual ~SkinListener();
    SkinListener(const SkinListener&) = delete;
    SkinListener& operator=(const SkinListener&) = delete;

    // Called by send_reload_skin after the skin (or the language) changed.
    virtual void on_skin_reloaded(Properties& properties) = 0;

private:
    friend class Properties;
    Properties* m_properties;
    std::uint64_t m_serial;  // tells a listener from a later one at the same address
};

// The resources of one loaded skin file. Built from a file by the loading
// constructor; complete exactly when is_loaded().
class PropertiesImpl {
public:
    // The empty state: nothing loaded, scale shift 0.
    PropertiesImpl() = default;
    // Reads the skin at path (macros expanded) for a screen of vertical_dpi, logging each step.
    PropertiesImpl(StringView path, int vertical_dpi);
    PropertiesImpl(const PropertiesImpl&) = delete;
    PropertiesImpl& operator=(const PropertiesImpl&) = delete;

    // Whether a skin was loaded completely (the header is set).
    bool is_loaded() const { return m_complete; }
    // Exchanges every skin resource with other.
    void swap(PropertiesImpl& other) noexcept;

    const SkinFile& file() const { return m_file; }
    const std::vector<SkinPicture>& pictures() const { return m_pictures; }
    const std::vector<SkinBitmap*>& bitmaps() const { return m_bitmaps; }
    const std::vector<Font>& fonts() const { return m_fonts; }
    const std::vector<String>& strings() const { return m_strings; }
    int scale_shift() const { return m_scale_shift; }

private:
    bool load(StringView path, int vertical_dpi);
    bool load_bitmaps(StringView path, std::uint32_t& lap);
    void create_fonts(int vertical_dpi);
    void copy_strings();

    SkinFile m_file;
    std::vector<SkinPicture> m_pictures;
    std::vector<SkinBitmap*> m_bitmaps;
    std::vector<Font> m_fonts;
    std::vector<String> m_strings;
    int m_scale_shift = 0;
    bool m_complete = false;
};

// The one live skin resources object of the program.
class Properties {
public:
    Properties() = default;
    // Detaches the listeners still registered.
    ~Properties();

    // ---- Language texts -------------------------------------------------------
    Translations& translations() { return m_translations; }
    const Translations& translations() const { return m_translations; }
    // The text for key, or the key itself when the language has none.
    String translate(StringView key) const;

    // ---- Loading ----------------------------------------------------------------
    // Loads the skin at path all or nothing: true when it is now the live skin;
    // false leaves the previous skin (or the empty state) untouched.
    bool load_skin(StringView path, int vertical_dpi);
    // Tells every registered listener, in registration order, that the skin changed.
    void send_reload_skin();
    // Whether a skin is loaded.
    bool is_loaded() const { return m_skin.is_loaded(); }
    // 1 when the skin was loaded for a screen of 192 dpi or more, else 0.
    int scale_shift() const { return m_skin.scale_shift(); }
    // The live skin's resources (file, pictures, bitmaps, fonts, strings).
    const PropertiesImpl& skin() const { return m_skin; }

    // ---- Nodes --------------------------------------------------------------------
    // The named node of the node name tree, or null (never throws).
    const SkinNode* find_node(StringView name) const;
    // Number of children of node (0 for null).
    int child_count(const SkinNode* node) const;
    // Child index of node, 0 <= index < child_count(node).
    const SkinNode* child(const SkinNode* node, int index) const;

    // ---- Attributes: each searches its own table and returns the default when absent
    // The integer, unscaled.
    std::int32_t get_int(const SkinNode* node, StringView key, std::int32_t fallback) const;
    // The font the entry names, else fallback.
    const Font& get_font(const SkinNode* node, StringView key, const Font& fallback) const;
    // The point scaled by the scale shift; the fallback unscaled.
    Point get_point(const SkinNode* node, StringView key, Point fallback) const;
    // The string the entry names, else fallback.
    const String& get_string(const SkinNode* node, StringView key, const String& fallback) const;
    // The picture with scaled corners sharing its bitmap, else a copy of fallback.
    SkinPicture get_picture(const SkinNode* node, StringView key, const SkinPicture& fallback) const;
    // The colour with alpha 255, else fallback unchanged.
    Color get_color(const SkinNode* node, StringView key, Color fallback) const;

private:
    friend class SkinListener;

    Translations m_translations;
    std::vector<SkinListener*> m_listeners;
    std::uint64_t m_next_listener_serial = 0;
    PropertiesImpl m_skin;
};
